// The story walker: the one place where writers turn the stream of
// document-model Elements into what they write. A writer hands every
// top-level Element to the walker and receives, through the handler it
// implements, the publication's pages, then its stories in reading order:
// paragraphs with their resolved formatting, text with its character
// formatting and writing script, the Japanese runs, hyperlinks and link
// targets overlaid on the text they cover, notes, tables, variables and
// pictures where they stand. docs/writers.md describes the walk.
#ifndef OMBRA_WRITERS_STORYWALKER_H
#define OMBRA_WRITERS_STORYWALKER_H

#include "WalkValues.h"
#include "WriterProblems.h"

#include <ombra/collection.h>
#include <ombra/elements.h>
#include <ombra/resolvers.h>
#include <ombra/scripts.h>

#include <functional>
#include <unordered_map>

namespace OBWALK {
/// What a walked text belongs to.
enum TextKind : int { kStoryText, kNoteText, kCellText };
/// Characters with a meaning that are no text of their own.
enum BreakKind : int {
    kLineBreak,  ///< U+2028, LF, CR, or CR LF as one
    kTab,        ///< U+0009
    kFrameBreak, ///< U+000C: a column or frame break
};
/// Ranges overlaid on the text. When two begin together the earlier kind
/// here is the outer one.
enum SpanKind : int { kLink, kWarichu, kRuby, kKenten, kTcy };
/// What a hyperlink goes to.
enum LinkKind : int { kNoTarget, kUrl, kPage, kText };
/// Nesting deeper than this (groups, tables, notes, style chains) is not followed.
constexpr int kMaxDepth = 32;
/// What a list paragraph's marker shows.
enum ListKind : int {
    kNotListed, ///< no list, or a marker whose kind is unknown
    kBulleted,
    kNumbered,
};
} // namespace OBWALK

/// A paragraph's place in a list.
struct OBWalkListItem {
    OBWALK::ListKind kind;
    int level; ///< from 1
    /// How its numbers are written (PNSE); kBullet for bullets.
    int style;
    /// The number its marker shows (kNumbered); 1 when the marker shows none.
    long long number;
};

/// One regular page, in page order.
struct OBWalkPage {
    int index;        ///< from 0
    long long number; ///< the number it shows: StartPageNum + index
    Element* page;
    Element* master; ///< its master page, or null
};

/// Where a story's frames stand.
struct OBWalkPlace {
    int firstPage; ///< page index of the first shown frame; -1: on no regular page
    int lastPage;
    int shown;  ///< frames on regular pages or the pasteboard, visible
    int hidden; ///< frames on master pages, hidden or on hidden layers
    double top; ///< the first shown frame's top and left edge, in points
    double left;
};

struct OBWalkStory {
    Element* story;    ///< the ParentStory; null for a ChildStory on its own
    Element* text;     ///< its ChildStory
    OBWalkPlace place; ///< firstPage -1 and no frames when nothing shows it
    bool vertical;     ///< its text runs top to bottom
    int index;         ///< from 0 among the stories written
};

struct OBWalkLink {
    Element* hyperlink;
    OBWALK::LinkKind kind;
    obwalk::Utf8Text url; ///< kUrl
    int page;             ///< kPage: the page index; -1 when the page is unknown
    int target;           ///< kText: the number of the target (OBWalkTarget::number)
};

/// A position that a hyperlink goes to.
struct OBWalkTarget {
    unsigned story;
    long long position;
    int number; ///< from 1, in the order the hyperlinks arrived
};

/// The text walked now: a story's, a note's or a table cell's.
struct OBWalkText {
    Element* element; ///< the ChildStory
    OBWALK::TextKind kind;
    int depth;
    const unsigned short* units;
    long long length;
    bool vertical;
    /// The writing script of the unit at i (the last one past the end).
    WSE::WritingScriptEnum ScriptAt(long long i) const;
    const unsigned char* scripts;
    const int* wideScripts; ///< instead of scripts where one is beyond a byte (bad input)
};

/// One paragraph: a stretch of text that U+2029 ends, or the text's end.
struct OBWalkParagraph {
    long long start;
    long long end;                 ///< after its U+2029
    bool hasEnd;                   ///< ends with U+2029 (the last one of a text may not)
    Element* run;                  ///< the ParagraphRun that holds start, or null
    WSE::WritingScriptEnum script; ///< of its first character
    /// With formatting (OBWalkOptions::resolveFormatting), else null: the
    /// run's own attributes before its style's chain and the default
    /// style's, and the style's chain with the default style alone.
    OBMParagraphAttributes* format;
    OBMCharacterAttributes* characterFormat;
    Element* style; ///< its ParagraphStyle or the default style (with formatting)
    /// The text of its list marker, separator included (BNString of its
    /// run's BN child), or null.
    Value* marker;
    /// With a marker, and NumberingType in its formatting (the run's own
    /// without formatting): its list; else kNotListed.
    OBWalkListItem list;
};

/// The formatting of the text handed over with it.
struct OBWalkRun {
    Element* run; ///< the CharacterRun, or null where none covers the text
    WSE::WritingScriptEnum script;
    long long position; ///< of the first unit
    /// With formatting, else null: everything that applies, nearest
    /// first (the run's own attributes, its character style's chain, the
    /// paragraph's); the run's own attributes alone; its character style.
    OBMCharacterAttributes* format;
    OBMCharacterAttributes* local;
    Element* characterStyle;
    /// What the run's own attributes override: its style's chain, then the
    /// paragraph's formatting (with formatting, else null).
    OBMCharacterAttributes* inherited;
};

struct OBWalkSpan {
    OBWALK::SpanKind kind;
    Element* element; ///< the RubiRun, KentenRun, WarichuRun, TCYRun or Hyperlink
    long long start;  ///< the whole range
    long long end;
    long long at;           ///< where this piece begins (at a begin) or ends (at an end)
    const OBWalkLink* link; ///< kLink
    /// At a begin: the span was ended before and goes on here. At an end:
    /// the span goes on after a paragraph end, a table or a crossing span.
    bool resumed;
    bool continues;
    /// At a ruby's begin: this piece ends before the ruby does (a paragraph
    /// end, a table or a crossing ruby cuts it) and so carries none of the
    /// reading, which goes with the last piece. False for the other spans.
    bool cut;
};

struct OBWalkNote {
    Element* note; ///< the Footnote
    Element* text; ///< its ChildStory, or null
    int number;    ///< from 1 through the conversion, footnotes and endnotes alike
    bool endnote;
};

struct OBWalkPicture {
    Element* picture;
    obwalk::Utf8Text path; ///< LinkedFile as the document stores it; empty when none
    obwalk::Utf8Text alt;  ///< AlternativeText
    int page;              ///< page index; -1 on a master page or the pasteboard
    OBRect box;
    bool inlined;           ///< anchored in text
    const OBWalkLink* link; ///< a hyperlink on the picture, or null
};

/// A table's cells, row by row, as the writers place them: every place of
/// the grid that no cell or span covers has one without cell or text.
struct OBWalkCell {
    Element* cell; ///< null for a place that no cell fills
    Element* text; ///< its ChildStory, or null
    int row;
    int column;
    int rowSpan;
    int columnSpan;
};
struct OBWalkRow {
    Element* row;
    int firstCell; ///< index into cells
    int cellCount;
    int width; ///< the columns known after this row: declared, widened by the cells so far
};
struct OBWalkTable {
    Element* table;
    int columns; ///< declared, widened by every cell
    int headerRows;
    int footerRows;
    OBBaseTypeCollection<OBWalkRow> rows;
    OBBaseTypeCollection<OBWalkCell> cells;
};

/// What one conversion held, counted as the walker met it: the writers
/// report from these what they could not express.
struct OBWalkCounts {
    long long rubies, kentens, warichus, tcys, links, itemLinks, pageLinks;
    long long pictures, picturesWithoutLink, shapes, tables, variables, notes;
    long long verticalStories, storiesLeftOut, breaks;
    long long objectStyles, indexEntries, tocStyles;
    long long textUnits, verticalUnits; ///< of the texts walked, and of those set vertically
    /// Most of the text runs top to bottom: so do the pages, right to left.
    bool MostlyVertical() const { return verticalUnits * 2 > textUnits; }
};

class OBWalkFormats;

/// What a writer implements; every call has an empty default.
class OBWalkHandler {
public:
    virtual ~OBWalkHandler();
    /// A regular page, as its spread arrives.
    virtual void OnPage(const OBWalkPage&) {}
    /// With deferred stories: everything has arrived and the walk starts.
    virtual void BeginDocument() {}
    virtual void EndDocument() {}
    virtual void BeginStory(const OBWalkStory&) {}
    virtual void EndStory(const OBWalkStory&) {}
    /// Around every walked text: a story's, a note's (OBStoryWalker::Walk
    /// from OnFootnote or later) and a cell's.
    virtual void BeginText(const OBWalkText&) {}
    virtual void EndText(const OBWalkText&) {}
    virtual void BeginParagraph(const OBWalkParagraph&) {}
    virtual void EndParagraph(const OBWalkParagraph&) {}
    /// n units of ordinary text, one formatting and one script.
    virtual void OnText(const unsigned short*, long long, const OBWalkRun&) {}
    virtual void OnBreak(OBWALK::BreakKind, const OBWalkRun&) {}
    /// U+FFFC that no anchor and no inline item explains.
    virtual void OnObject(const OBWalkRun&) {}
    virtual void BeginSpan(const OBWalkSpan&) {}
    virtual void EndSpan(const OBWalkSpan&) {}
    virtual void OnTarget(const OBWalkTarget&) {}
    virtual void OnFootnote(const OBWalkNote&, const OBWalkRun&) {}
    virtual void OnTable(Element* /*table*/, const OBWalkRun&) {}
    /// A VariableRun; StaticText is what it last showed.
    virtual void OnVariable(Element* /*variable*/, const OBWalkRun&) {}
    /// A picture anchored in text, or one on a page (between the stories,
    /// in reading order, with deferred stories).
    virtual void OnPicture(const OBWalkPicture&) {}
};

struct OBWalkOptions {
    /// Stories whose frames all lie on master pages or hidden layers (or
    /// are hidden) are walked too.
    bool includeHidden = false;
    /// Stories are walked when the conversion ends, after the hyperlinks
    /// (which arrive after them) and with the pictures of the pages placed
    /// among them; otherwise each as it arrives.
    bool deferStories = false;
    /// Paragraphs and runs carry their resolved formatting.
    bool resolveFormatting = false;
    /// Stories without a character are passed over (empty frames, which
    /// would give empty sections); the others keep their order and count.
    bool skipEmptyStories = false;
};

/// Walks the Elements of one conversion for one handler. The Elements must
/// live until Finish, as the document-model conventions guarantee; the
/// walker never deletes them. A tree that breaks the conventions is walked
/// as far as it can be, and what is skipped or repaired is reported to
/// `problems`. Time and memory grow linearly with the input.
class OBStoryWalker {
public:
    OB_MEMORY_OPERATORS
    OBStoryWalker(OBWalkHandler& handler, OBWriterProblems& problems, const OBWalkOptions& options);
    OBStoryWalker(const OBStoryWalker&) = delete;
    OBStoryWalker& operator=(const OBStoryWalker&) = delete;
    ~OBStoryWalker();

    /// One top-level Element in the order the reader yields them.
    void Put(Element* element);
    /// Walks what was deferred and ends the document; later calls and
    /// Elements do nothing.
    void Finish();

    /// Walks a note's or a cell's text (from a handler's call).
    void Walk(Element* childStory, OBWALK::TextKind kind, int depth);
    /// A table's rows and cells; false (reported) when it has no rows.
    bool ReadTable(Element* table, OBWalkTable& out);

    /// The text walked now, or null.
    const OBWalkText* CurrentText() const { return current_; }
    /// The ParagraphRun of the text walked now that holds position, or null.
    Element* ParagraphRunAt(long long position) const;
    /// A ruby or tate-chu-yoko (what a line change must not cut) of the
    /// text walked now that begins at from or after and holds position
    /// inside it (start < position < end), the outermost; false when none.
    bool UncutSpanAcross(long long position, long long from, long long& start,
                         long long& end) const;
    /// What arrived so far.
    Element* Publication() const { return publication_; }
    Element* MetaData() const;
    Element* DefaultParagraphStyle() const { return defaultParagraphStyle_; }
    /// A paragraph run's style, the default style when it names none;
    /// a style that never arrived is reported.
    Element* ParagraphStyleOf(Element* paragraphRun);
    Element* FindParagraphStyle(unsigned id) { return paragraphStyles_.Find(id); }
    Element* FindCharacterStyle(unsigned id) { return characterStyles_.Find(id); }
    Element* FindColor(unsigned id) { return colors_.Find(id); }
    Element* FindMasterPage(unsigned id) { return masterPages_.Find(id); }
    const OBBaseTypeCollection<OBWalkPage>& Pages() const { return pages_; }
    int ParagraphStyleCount() const { return paragraphStyles_.Count(); }
    Element* NthParagraphStyle(int n) const { return paragraphStyles_.Nth(n); }
    int CharacterStyleCount() const { return characterStyles_.Count(); }
    Element* NthCharacterStyle(int n) const { return characterStyles_.Nth(n); }
    const OBWalkCounts& Counts() const { return counts_; }
    /// With deferred stories, once everything arrived: how many units of
    /// the stories' own texts each writing script (0 to 63) covers, and
    /// each DictionaryLanguage member (0 to 63) their formatting gives, by
    /// their character runs.
    void CountScripts(long long scripts[64], long long languages[64]);
    /// The hyperlinks that arrived, in order.
    int LinkCount() const { return linkCount_; }
    const OBWalkLink& NthLink(int n) const { return links_[n]; }
    int StoriesWritten() const { return storiesWritten_; }

    /// A character attribute as the text writer resolves it: the run's
    /// own, its character style's chain, the paragraph run's, its style's
    /// chain, the default style's.
    Value* CharacterValue(AN::AttrNameEnum attr, Element* characterRun, Element* paragraphRun);
    /// The resolved formatting of a style (its chain through BasedOn, the
    /// default style last for paragraph styles), or null.
    OBMParagraphAttributes* ParagraphStyleFormat(Element* paragraphStyle);
    OBMCharacterAttributes* ParagraphStyleCharacterFormat(Element* paragraphStyle);
    OBMCharacterAttributes* CharacterStyleFormat(Element* characterStyle);

    struct TextWalk;

private:
    struct StoryEntry {
        unsigned id;
        OBWalkPlace place;
        bool vertical;
    };
    struct PictureEntry {
        Element* picture;
        int page; ///< -1 off the regular pages
        double top;
        double left;
    };
    struct LinkRange {
        unsigned story; ///< the story whose text it covers
        long long start;
        long long end; ///< -1: the whole text
        int link;      ///< index into links_
    };
    static constexpr unsigned kNoStory = 0xFFFFFFFFu;

    void Dispatch(Element* element);
    void TakeList(Element* list, obwalk::IdTable& table, EL::ElementTypeEnum kind,
                  bool paragraphStyles);
    void TakeLayers(Element* list);
    void TakeMasters(Element* list);
    void TakePages(Element* list);
    void TakeItems(Element* list, int page, bool hidden, int depth);
    void TakeHyperlinks(Element* list);
    int AddLink(Element* hyperlink, Element* anchor);
    const OBWalkLink* PictureLink(unsigned picture) const;
    void TakeStories(Element* list);
    void WalkStory(Element* story, Element* childStory);
    void WalkText(Element* childStory, OBWALK::TextKind kind, int depth, unsigned story,
                  bool vertical);
    static OBStream* TextStream(Element* childStory);
    void WalkDeferred();
    void NoteInlineItems(Element* childStory, int depth);
    bool IsInlineItem(unsigned id) const;
    void PlacePictures(int page, double top, double left);
    void WalkPicture(Element* picture, int page, bool inlined);
    bool ItemHidden(Element* item);
    StoryEntry* FindStory(unsigned id, bool create);
    Value* StyleChainValue(Element* style, bool paragraphStyle, AN::AttrNameEnum attr);
    Value* StyleValue(AN::AttrNameEnum attr, Element* characterRun, Element* paragraphRun);
    /// What the styles of the last character run asked gave (neighbouring
    /// runs mostly share their styles), with the problems that finding it
    /// reported.
    struct StyleMemo {
        bool hasCharacterStyle = false, hasParagraphStyle = false;
        unsigned characterStyle = 0, paragraphStyle = 0;
        Element* paragraphRun = nullptr;
        bool known[2] = {};
        Value* values[2] = {};
        int reports[2] = {};
        bool Same(const StyleMemo& o) const {
            return hasCharacterStyle == o.hasCharacterStyle && characterStyle == o.characterStyle &&
                   hasParagraphStyle == o.hasParagraphStyle && paragraphStyle == o.paragraphStyle &&
                   paragraphRun == o.paragraphRun;
        }
    };
    /// CharacterValue of n (at most 2) attributes at once.
    void CharacterValues(const AN::AttrNameEnum* attrs, Value** values, int n,
                         Element* characterRun, Element* paragraphRun, StyleMemo& memo);
    /// The values its styles give where the run's own gave none, key
    /// naming them.
    void StyleValues(const AN::AttrNameEnum* attrs, Value** values, int n, Element* characterRun,
                     const StyleMemo& key, StyleMemo& memo);
    OBWalkFormats* Formats();

    friend struct TextWalk;

    OBWalkHandler& handler_;
    OBWriterProblems& problems_;
    OBWalkOptions options_;
    const OBWalkText* current_;
    const TextWalk* currentWalk_;

    Element* publication_;
    Element* defaultParagraphStyle_;
    obwalk::IdTable paragraphStyles_;
    obwalk::IdTable characterStyles_;
    obwalk::IdTable masterPages_;
    obwalk::IdTable colors_;
    obwalk::IdTable layers_; // a hidden layer is entered with itself, a visible one with null
    obwalk::IdTable items_;  // page items, for the hyperlinks and inline lists that name them
    OBBaseTypeCollection<OBWalkPage> pages_;
    std::unordered_map<unsigned, StoryEntry, std::hash<unsigned>, std::equal_to<unsigned>,
                       obwalk::Allocator<std::pair<const unsigned, StoryEntry>>>
        stories_;
    std::unordered_map<unsigned, int, std::hash<unsigned>, std::equal_to<unsigned>,
                       obwalk::Allocator<std::pair<const unsigned, int>>>
        pictureLinks_; // picture id -> index into links_
    std::unordered_map<unsigned, int, std::hash<unsigned>, std::equal_to<unsigned>,
                       obwalk::Allocator<std::pair<const unsigned, int>>>
        pageAt_;      // page id -> the first index into pages_ of that page
    int pagesAt_ = 0; // pages_ entered into pageAt_ so far
    OBBaseTypeCollection<Element*> deferred_;
    OBBaseTypeCollection<PictureEntry> pictures_;
    OBBaseTypeCollection<unsigned> inlineItems_; // sorted when the walk starts
    OBWalkLink* links_;
    int linkCount_;
    int linkCapacity_;
    OBBaseTypeCollection<LinkRange> linkRanges_; // by story when the walk starts
    OBBaseTypeCollection<OBWalkTarget> targets_; // by story and position then
    OBWalkFormats* formats_;
    OBWalkCounts counts_;
    unsigned long long nextPicture_;
    int noteNumber_;
    int storiesWritten_;
    bool finished_;
};

#endif
