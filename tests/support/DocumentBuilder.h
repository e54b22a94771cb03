// Builds document-model trees for tests: Element trees that follow
// docs/document-model.md, made from the ready-made stored element classes
// (storedelements.h), and handed out as the top-level Elements in the order
// a reader yields them. Also the registry through which the document reader
// test plug-in (support/plugins, OBPLUGIN::kDocumentReader) yields builder-made documents
// through the real pump.
//
// Writers' tests use it directly (build, then feed each Element to the
// writer) or through the pump (register a recipe, convert the input that
// names it). Tests that need a tree breaking the conventions build a
// correct one and then change it: Find(id), FindFirst and OBGetAttributeStore
// reach every Element and its values.
//
//     ombra_test::ConversionState state;          // ids need the thread's state
//     ombra_test::DocumentBuilder b;
//     unsigned body = b.AddParagraphStyle("Body");
//     auto& story = b.AddStory();
//     story.Para("Hello, world.", body).Text("漢字", RunStyle::Script(WSE::kJapaneseScript));
//     unsigned page = b.AddPage(b.AddSpread());
//     b.AddTextFrame(page, story.Id(), OBRect(36, 36, 576, 756));
//     for (Element* e : b.Build()) writer.PutElement(e);
//
// Everything is built with the calling thread's element ids: build between
// OBReader::Init and Reset, or inside an ombra_test::ConversionState.
#ifndef OMBRA_TESTS_SUPPORT_DOCUMENTBUILDER_H
#define OMBRA_TESTS_SUPPORT_DOCUMENTBUILDER_H

#include <ombra/elements.h>
#include <ombra/geometry.h>
#include <ombra/pluginids.h>
#include <ombra/storedelements.h>
#include <ombra/textservice.h>
#include <ombra/values.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#define OMBRA_TESTDOC_API __attribute__((visibility("default")))

namespace obreader {
class ElementBuilder;
}

namespace ombra_test {

struct Building;

/// "No element": the value of every optional id argument.
constexpr unsigned kNoId = 0xFFFFFFFFu;

/// The formatting of one character run.
struct OMBRA_TESTDOC_API RunStyle {
    /// The CharacterStyle the run uses (its CharacterStyleID), or kNoId.
    unsigned characterStyle = kNoId;
    /// The run's WritingScript (a WSE value) in its CharacterAttributes, or
    /// -1 to leave it unset.
    int script = -1;

    /// Local formatting in the run's CharacterAttributes (Bold, Italics,
    /// FontSize in points, ColorRef, Font); -1, 0, kNoId and "" leave each unset.
    int bold = -1;
    int italic = -1;
    double fontSize = 0;
    unsigned color = kNoId;
    std::string font;

    RunStyle() = default;
    static RunStyle Script(WSE::WritingScriptEnum script);
    static RunStyle Style(unsigned characterStyle, int script = -1);
    RunStyle& Bold(bool on = true) { return With(bold, on); }
    RunStyle& Italic(bool on = true) { return With(italic, on); }
    RunStyle& Size(double points) { return With(fontSize, points); }
    RunStyle& Color(unsigned colorId) { return With(color, colorId); }
    RunStyle& Font(const std::string& name) { return With(font, name); }

private:
    template <class T, class V> RunStyle& With(T& field, const V& value) {
        field = value;
        return *this;
    }
};

class TableBuilder;

/// The text of a story, a footnote or a table cell, with its runs. Text is
/// given as UTF-8 (or UTF-16 with Units) and stored as the UTF-16 units of
/// the ChildStory's TextStream. Every call appends at the end and returns
/// this builder, except those that return the builder of a nested text.
///
/// Paragraphs: text collects into the current paragraph until EndPara,
/// which appends U+2029 and closes the ParagraphRun; text left open at the
/// end becomes a last paragraph without U+2029. Character runs: each call
/// that appends text makes one CharacterRun (U+2029 joins the run before
/// it), so the runs cover the text without gaps. Characters with a meaning
/// (U+2028, tab, U+000C, U+00A0 …) are written into the text as they are.
class OMBRA_TESTDOC_API TextBuilder {
public:
    TextBuilder();
    ~TextBuilder();
    TextBuilder(const TextBuilder&) = delete;
    TextBuilder& operator=(const TextBuilder&) = delete;

    /// Text(utf8, style) then EndPara(paragraphStyle).
    TextBuilder& Para(const std::string& utf8, unsigned paragraphStyle = kNoId,
                      RunStyle style = RunStyle());
    /// Appends one character run to the current paragraph.
    TextBuilder& Text(const std::string& utf8, RunStyle style = RunStyle());
    /// As Text, from UTF-16 units (unpaired surrogates and all).
    TextBuilder& Units(const std::u16string& units, RunStyle style = RunStyle());
    /// Appends U+2029 and closes the current paragraph with that style.
    TextBuilder& EndPara(unsigned paragraphStyle = kNoId);
    /// The style of the paragraph that is still open (for the last one).
    TextBuilder& ParaStyle(unsigned paragraphStyle);
    /// The list marker (a BN's BNString) of the paragraph that is still
    /// open; with a NumberingType (PNSE) also its kind of list and level.
    TextBuilder& Marker(const std::string& utf8, int numberingType = 0, int level = 1);

    /// Base text with a RubiRun over it whose RubiText is reading (below
    /// its base: RubiAttributes Position BelowLeft).
    TextBuilder& Ruby(const std::string& base, const std::string& reading,
                      RunStyle style = RunStyle(), bool below = false);
    /// Per-character ruby: a RubiRun whose RubiAttributes say kPerCharacter
    /// and whose RubiText holds one reading per base character, separated by
    /// spaces.
    TextBuilder& RubyPerCharacter(const std::string& base, const std::string& readings,
                                  RunStyle style = RunStyle());
    /// Text under a KentenRun of the kind; character is the KentenCharacter
    /// of a custom kind (0: none), belowLeft the KentenAttributes' Position.
    TextBuilder& Kenten(const std::string& utf8, KKE::KentenKindEnum kind = KKE::kSesameDot,
                        RunStyle style = RunStyle(), unsigned short character = 0,
                        bool belowLeft = false);
    /// Text under a WarichuRun.
    TextBuilder& Warichu(const std::string& utf8, RunStyle style = RunStyle());
    /// Text under a TCYRun.
    TextBuilder& Tcy(const std::string& utf8, RunStyle style = RunStyle());

    /// The span made last (ruby, kenten, warichu, tate-chu-yoko or link)
    /// goes on over the next n units, across what is made there.
    TextBuilder& Over(long long n);

    /// U+FFFC and a Footnote (IsEndNote when endnote) holding utf8 as its text.
    TextBuilder& Footnote(const std::string& utf8, bool endnote = false);
    /// U+FFFC and a Footnote; returns the builder of the note's own text.
    TextBuilder& AddFootnote(bool endnote = false);
    /// U+FFFC and a TableRun holding a Table; returns the table's builder.
    TableBuilder& AddTable(int rows, int columns);
    /// U+FFFC and a VariableRun that last showed `shown` (StaticText).
    TextBuilder& Variable(const std::string& shown);
    /// Text that a Hyperlink (to a URL) has as its HyperLinkTextSource. Only a
    /// story's own text makes the Hyperlink; in notes and cells the text is
    /// appended without one.
    TextBuilder& Link(const std::string& utf8, const std::string& url, RunStyle style = RunStyle());
    /// As Link, anchored at a page (HyperLinkPageAnchor with the page's id).
    TextBuilder& PageLink(const std::string& utf8, unsigned page, RunStyle style = RunStyle());
    /// As Link, anchored at a position of a story (HyperLinkTextAnchor).
    TextBuilder& TextLink(const std::string& utf8, unsigned story, long long position,
                          RunStyle style = RunStyle());
    /// U+FFFC for a page item anchored in the text (a picture, say): its id
    /// joins the ChildStory's InlineObjectList, in text order.
    TextBuilder& Inline(unsigned item);
    /// The text runs top to bottom (TextDirection vertical on the ChildStory
    /// and, for a story, on its ParentStory).
    TextBuilder& Vertical();

    /// The UTF-16 text so far.
    const std::u16string& Units() const { return text_; }
    long long Length() const { return static_cast<long long>(text_.size()); }

    /// Makes the ChildStory with the text stream and the run lists (used by
    /// DocumentBuilder::Build; story is the id of the ParentStory, or kNoId).
    Element* BuildChildStory(unsigned story, std::vector<Element*>& hyperlinks) const;

private:
    friend class DocumentBuilder;
    struct Span {
        long long start;
        long long end;
        unsigned id;      // paragraph or character style
        int script;       // character runs
        std::string text; // ruby reading, variable text, link URL
        int kind; // kenten kind; link: 0 URL, 1 page, 2 text; ruby: 1 per character; paragraph:
                  // NumberingType
        long long target = 0; // kenten: custom character, 1 << 16 when below; link: position;
                              // paragraph: list level
    };
    struct Note {
        long long position;
        bool endnote;
        std::unique_ptr<TextBuilder> text;
    };
    struct Anchored {
        long long position;
        std::unique_ptr<TableBuilder> table;
    };

    TextBuilder& AppendRun(const std::u16string& units, RunStyle style);
    // Text under a new entry of spans, which spans the text.
    TextBuilder& Mark(std::vector<Span>& spans, const std::string& utf8, RunStyle style, Span span);
    long long AppendObject();
    Element* BuildLink(obreader::ElementBuilder& b, unsigned story, const Span& link) const;

    std::u16string text_;
    std::vector<Span> paragraphs_;
    std::vector<Span> runs_;
    std::vector<RunStyle> runFormats_; // the local formatting of each of runs_
    std::vector<Span> rubies_;
    std::vector<Span> kentens_;
    std::vector<Span> warichus_;
    std::vector<Span> tcys_;
    std::vector<Span> variables_;
    std::vector<Span> links_;
    std::vector<Span>* marked_ = nullptr; // the list of the span made last
    std::vector<Note> notes_;
    std::vector<Anchored> tables_;
    std::vector<unsigned> inlines_;
    bool vertical_ = false;
    long long paragraphStart_;
    unsigned openParagraphStyle_;
    std::string openMarker_;
    int openListKind_ = 0, openListLevel_ = 1;
};

/// A table anchored in a text: rows x columns cells, each with a text of
/// its own. A cell spanning several rows or columns is given once, at its
/// top-left position, with its last row and column.
class OMBRA_TESTDOC_API TableBuilder {
public:
    TableBuilder(int rows, int columns);
    ~TableBuilder();
    TableBuilder(const TableBuilder&) = delete;
    TableBuilder& operator=(const TableBuilder&) = delete;

    /// A cell holding utf8 as its text; endRow/endColumn -1: no span.
    TableBuilder& Cell(int row, int column, const std::string& utf8, int endRow = -1,
                       int endColumn = -1);
    /// A cell; returns the builder of its text.
    TextBuilder& CellText(int row, int column, int endRow = -1, int endColumn = -1);
    /// The number of header rows (HeaderRows) and footer rows (FooterRows).
    TableBuilder& HeaderRows(int n);
    TableBuilder& FooterRows(int n);

    Element* BuildTable() const;

private:
    struct CellEntry {
        int row;
        int column;
        int endRow;
        int endColumn;
        std::unique_ptr<TextBuilder> text;
    };
    int rows_;
    int columns_;
    int headerRows_;
    int footerRows_ = 0;
    std::vector<CellEntry> cells_;
};

/// A story: a ParentStory (whose id frames and hyperlinks name) and its text.
class OMBRA_TESTDOC_API StoryBuilder : public TextBuilder {
public:
    /// The ParentStory's id.
    unsigned Id() const { return id_; }

private:
    friend class DocumentBuilder;
    unsigned id_ = kNoId;
    Element* parent_ = nullptr;
};

/// A whole publication. The builder owns every Element it makes until
/// Release hands them over (or until it is destroyed).
class OMBRA_TESTDOC_API DocumentBuilder {
public:
    /// A Publication of 612 x 792 points with margins of 36 points.
    DocumentBuilder();
    ~DocumentBuilder();
    DocumentBuilder(const DocumentBuilder&) = delete;
    DocumentBuilder& operator=(const DocumentBuilder&) = delete;

    /// The page size, in unit.
    DocumentBuilder& PageSize(double width, double height,
                              UNITS::LINEAR::UnitEnum unit = UNITS::LINEAR::kPoints);
    DocumentBuilder& Margins(double top, double bottom, double left, double right,
                             UNITS::LINEAR::UnitEnum unit = UNITS::LINEAR::kPoints);
    /// StartPageNum.
    DocumentBuilder& StartPage(int number);
    /// A MetaData child of the Publication.
    DocumentBuilder& MetaData(const std::string& title, const std::string& author);
    /// The values of the MetaData child (made when missing), to set more.
    OBAttributeStore& MetaDataStore();

    /// Colours (ColorList), components as ratios 0 to 1. Return the ids.
    unsigned AddRgbColor(const std::string& name, double red, double green, double blue);
    unsigned AddCmykColor(const std::string& name, double cyan, double magenta, double yellow,
                          double black);
    /// A Font of the FontList.
    unsigned AddFont(const std::string& name, WSE::WritingScriptEnum script = WSE::kRomanScript);
    /// A Layer of the LayerList (bottom first).
    unsigned AddLayer(const std::string& name, bool visible = true, bool printing = true,
                      bool locked = false);
    /// Styles with their BasedOn (and Next); script sets the WritingScript of
    /// the style's CharacterAttributes. The first paragraph style is the
    /// default style. Find(id)->GetChild(EL::kCharacterAttributes) reaches
    /// the formatting to set more.
    unsigned AddCharacterStyle(const std::string& name, unsigned basedOn = kNoId, int script = -1);
    unsigned AddParagraphStyle(const std::string& name, unsigned basedOn = kNoId,
                               unsigned next = kNoId, int script = -1);
    /// The values of a style's CharacterAttributes or ParagraphAttributes.
    OBAttributeStore& CharacterFormat(unsigned style);
    OBAttributeStore& ParagraphFormat(unsigned paragraphStyle);

    /// Master spreads and their pages; a size of 0 leaves PageWidth and
    /// PageHeight unset (the publication's size applies).
    unsigned AddMasterSpread(const std::string& name);
    unsigned AddMasterPage(unsigned masterSpread, const std::string& name, double width = 0,
                           double height = 0);
    /// Spreads and their pages in page order; master is the page's BasedOn.
    unsigned AddSpread();
    unsigned AddPage(unsigned spread, unsigned master = kNoId);

    /// Page items. container is a page or master page (the item goes into its
    /// DrawingObjectList), a spread (into its PasteboardDrawingObjectList) or
    /// a group (a member). A text frame names its story; the frames of one
    /// story are chained (PreviousTextObject, NextTextObject) in the order
    /// they are added. The Text view has no Layer accessor: a frame's layer
    /// is kept in its attribute store (OBGetAttributeStore(frame)->Find(AN::kLayer)).
    unsigned AddTextFrame(unsigned container, unsigned story, const OBRect& box,
                          unsigned layer = kNoId, bool visible = true);
    unsigned AddRectangle(unsigned container, const OBRect& box, unsigned layer = kNoId);
    unsigned AddGroup(unsigned container, unsigned layer = kNoId, bool visible = true);
    /// A Picture whose LinkInformation names path as the document stores it
    /// (no LinkedFile when path is empty), with AlternativeText alt unless empty.
    unsigned AddPicture(unsigned container, const OBRect& box, const std::string& path,
                        const std::string& alt = std::string(), unsigned layer = kNoId);

    /// A new story, last in reading order.
    StoryBuilder& AddStory();

    /// Makes the texts and returns the top-level Elements in the order a
    /// reader yields them: Publication, ColorList, FontList, LayerList,
    /// CharacterStyleList, ParagraphStyleList, MasterSpreadList,
    /// RegularSpreadList, StoryList, HyperlinkList (the lists that have
    /// entries). The builder still owns them. Later calls return the same.
    const std::vector<Element*>& Build();
    /// Build, and hands the Elements over: the caller deletes each.
    std::vector<Element*> Release();

    /// Any Element the builder made (stories, styles, pages, items, layers,
    /// colours, the Publication) by its id, or null.
    Element* Find(unsigned id) const;

private:
    Element* Keep(Element* e);
    Element* List(Element*& list, EL::ElementTypeEnum kind);
    // A new Element of the kind with that name in the list, kept.
    Element* Named(Element*& list, EL::ElementTypeEnum listKind, EL::ElementTypeEnum kind,
                   const std::string& name);
    // A page item of the kind in the container (made visible or not), kept.
    Element* Item(unsigned container, EL::ElementTypeEnum kind, unsigned layer, bool visible);

    std::unique_ptr<Building> building_;
    obreader::ElementBuilder& b_;
    OBStoredPublication* publication_;
    Element *colors_ = nullptr, *fonts_ = nullptr, *layers_ = nullptr;
    Element *characterStyles_ = nullptr, *paragraphStyles_ = nullptr;
    Element *masterSpreads_ = nullptr, *spreads_ = nullptr, *stories_ = nullptr;
    std::vector<std::unique_ptr<StoryBuilder>> storyBuilders_;
    std::map<unsigned, Element*> elements_;            // by id
    std::map<unsigned, Element*> containers_;          // where items of a page, spread or group go
    std::map<unsigned, std::vector<Element*>> frames_; // per story, in order
    std::vector<Element*> built_;
    bool released_ = false;
};

/// Depth-first, the root first: the first Element of the kind, or null.
OMBRA_TESTDOC_API Element* FindFirst(Element* root, EL::ElementTypeEnum kind);
OMBRA_TESTDOC_API Element* FindFirst(const std::vector<Element*>& roots, EL::ElementTypeEnum kind);
/// Every Element of the kind, depth-first.
OMBRA_TESTDOC_API std::vector<Element*> FindAll(const std::vector<Element*>& roots,
                                                EL::ElementTypeEnum kind);
/// Direct children of that kind, in order; every Element of the kind at or
/// below e; the Element with that id below any of the roots, or null.
OMBRA_TESTDOC_API std::vector<Element*> Children(Element* e, EL::ElementTypeEnum kind);
OMBRA_TESTDOC_API std::vector<Element*> Descendants(Element* e, EL::ElementTypeEnum kind);
OMBRA_TESTDOC_API Element* FindId(const std::vector<Element*>& roots, unsigned id);
/// Values through the view accessors: NaN, -1, kNoId or "" when absent or of
/// another type. Id also finds the page-item attributes that every item
/// carries in its store; Flag is 1, 0 or -1; EnumOf an enumeration's member.
OMBRA_TESTDOC_API double Points(Element* e, AN::AttrNameEnum attr);
OMBRA_TESTDOC_API double Ratio(Element* e, AN::AttrNameEnum attr);
OMBRA_TESTDOC_API long long Int(Element* e, AN::AttrNameEnum attr);
OMBRA_TESTDOC_API int Flag(Element* e, AN::AttrNameEnum attr);
OMBRA_TESTDOC_API unsigned Id(Element* e, AN::AttrNameEnum attr);
OMBRA_TESTDOC_API std::string Str(Element* e, AN::AttrNameEnum attr);
OMBRA_TESTDOC_API int EnumOf(Element* e, AN::AttrNameEnum attr);
/// The text of a ChildStory's stream, read from the start.
OMBRA_TESTDOC_API std::u16string StoryText(Element* childStory);
/// Empty when every value stored below the roots has the type its kind's
/// accessor binds (or, without an accessor, the attribute's own type);
/// otherwise one line per fault.
OMBRA_TESTDOC_API std::string CheckValueTypes(const std::vector<Element*>& roots);
/// Empty when the story's paragraph and character runs each cover its text
/// in order, without gaps or overlaps.
OMBRA_TESTDOC_API std::string CheckRuns(Element* childStory);
/// Empty when the ids below the roots are unique and every id value names
/// an Element below them; otherwise one line per fault. references counts
/// the id values when given.
OMBRA_TESTDOC_API std::string CheckReferences(const std::vector<Element*>& roots,
                                              int* references = nullptr);

/// UTF-8 to UTF-16 (and back), for expectations.
OMBRA_TESTDOC_API std::u16string Utf16(const std::string& utf8);
OMBRA_TESTDOC_API std::string Utf8(const std::u16string& units);

// ---- documents for the document reader ----------------------------------------

/// The document reader's id; it answers only inputs that start with
/// kTestDocumentPrefix and name a registered document.
constexpr int kDocumentReaderId = OBPLUGIN::kDocumentReader;
constexpr char kTestDocumentPrefix[] = "ombra-test-document:";

using DocumentRecipe = std::function<void(DocumentBuilder&)>;

/// Registers (or replaces) the recipe of a named document, process-wide.
/// Built in: "minimal" (one story, one paragraph), "sample" (styles,
/// layers, master and regular pages, a table, a footnote, ruby, scripts) and
/// "features" (everything the writers express: formatting in styles and
/// runs, headings, every kind of Japanese run, a vertical story, tables with
/// spans and header and footer rows, notes, links of every anchor, pictures
/// on pages and in text, variables, metadata, hidden and master-page text).
OMBRA_TESTDOC_API void RegisterTestDocument(const std::string& name, DocumentRecipe recipe);
OMBRA_TESTDOC_API void UnregisterTestDocument(const std::string& name);
OMBRA_TESTDOC_API bool HasTestDocument(const std::string& name);
/// Runs the recipe on builder; false when no document has the name.
OMBRA_TESTDOC_API bool BuildTestDocument(const std::string& name, DocumentBuilder& builder);
/// The input that makes the document reader yield the named document.
OMBRA_TESTDOC_API std::string TestDocumentInput(const std::string& name);
/// The name an input names (what follows the prefix up to the first line
/// end or space), or "" when the input does not start with the prefix.
OMBRA_TESTDOC_API std::string TestDocumentName(const std::string& input);

/// Registers a recipe for the lifetime of the object.
class OMBRA_TESTDOC_API ScopedTestDocument {
public:
    ScopedTestDocument(const std::string& name, DocumentRecipe recipe);
    ~ScopedTestDocument();
    ScopedTestDocument(const ScopedTestDocument&) = delete;
    ScopedTestDocument& operator=(const ScopedTestDocument&) = delete;

private:
    std::string name_;
};

/// What the document reader saw of the conversion: the calling thread's
/// error code each time it was asked for the next Element (so after the
/// writer took the one before), in order. Cleared by ClearReaderObservations
/// and at every reader Init.
OMBRA_TESTDOC_API std::vector<int> ReaderErrorCodes();
OMBRA_TESTDOC_API void NoteReaderErrorCode(int code);
OMBRA_TESTDOC_API void ClearReaderObservations();

} // namespace ombra_test

#endif
