// The pandoc writer's conversion: document-model Elements in, the JSON
// document that pandoc reads with -f json out (API 1.22, the pandoc of
// Debian 12). The plug-in class only hands its Elements on.
#ifndef OMBRA_PANDOCWRITER_CONVERSION_H
#define OMBRA_PANDOCWRITER_CONVERSION_H

#include "MarkupStack.h"
#include "PandocOptions.h"
#include "WalkLists.h"
#include "WalkConversion.h"
#include "WriterTools.h"

#include <unordered_map>

/// Writes a publication as a pandoc document when the conversion ends
/// (docs/writers.md describes the mapping): each story a Div in reading
/// order with the pictures of the pages between them, paragraphs as Para
/// (grouped in Divs whose custom-style names their style) or Header for
/// heading styles, list paragraphs as the items of BulletList and
/// OrderedList, character formatting as Strong, Emph, Underline,
/// Strikeout, Superscript, Subscript, SmallCaps and Spans with
/// custom-style and lang, tables in pandoc's table model with row and
/// column spans, notes as Note, hyperlinks as Link, pictures as Image;
/// ruby as HTML ruby markup around its base and its reading in
/// parentheses, so that HTML and EPUB show ruby and every other format the
/// reading; kenten, tate-chu-yoko and vertical stories as Spans and Divs
/// whose style attributes HTML keeps; warichu in parentheses. Metadata
/// (title, author, date, keywords, subject, description, lang) goes into
/// meta.
class OBPandocConversion : public OBWalkConversion {
public:
    /// output is not owned; the options are copied.
    OBPandocConversion(OBStream* output, const OBPandocOptions& options);
    ~OBPandocConversion() override;

private:
    /// The kinds of the open JSON arrays (lists of blocks or inlines).
    enum FrameKind : int {
        kList,
        kRunFrame,
        kSpanFrame,
        kLinkFrame,
        kRubyFrame,
        kBlockFrame,
        kTcyFrame
    };
    /// Where the walk of one text stands.
    struct Block {
        int frameBase;
        int paragraph;           ///< the frame of the open Para or Header, or -1
        int styleDiv;            ///< the frame of the open custom-style Div, or -1
        Element* divStyle;       ///< the style it names
        const char* divLanguage; ///< the lang it says, where it differs from the document's
        const char* language;    ///< the paragraph's
        bool pending;            ///< a paragraph began and is not open yet
        int level;               ///< its heading level; 0 for Para
        Element* paragraphStyle;
        bool table;
        obwalk::ListNesting lists;
        int listFrames[obwalk::ListNesting::kMaxLevel]; ///< frames_ before each open list
    };

    // The walk.
    void BeginDocument() override;
    void EndDocument() override;
    void BeginStory(const OBWalkStory& story) override;
    void EndStory(const OBWalkStory& story) override;
    void BeginText(const OBWalkText& text) override;
    void EndText(const OBWalkText& text) override;
    void BeginParagraph(const OBWalkParagraph& paragraph) override;
    void EndParagraph(const OBWalkParagraph& paragraph) override;
    void OnText(const unsigned short* units, long long n, const OBWalkRun& run) override;
    void OnBreak(OBWALK::BreakKind kind, const OBWalkRun& run) override;
    void BeginSpan(const OBWalkSpan& span) override;
    void EndSpan(const OBWalkSpan& span) override;
    void OnTarget(const OBWalkTarget& target) override;
    void OnFootnote(const OBWalkNote& note, const OBWalkRun& run) override;
    void OnTable(Element* table, const OBWalkRun& run) override;
    void OnVariable(Element* variable, const OBWalkRun& run) override;
    void ListMarker(Value* marker);
    static bool ShowsAsList(const OBWalkListItem& item, Value* marker);
    void ListBlocks(const OBWalkListItem& item, Value* marker);
    void OnPicture(const OBWalkPicture& picture) override;

    // JSON.
    Block& Top() { return blocks_[blockCount_ - 1]; }
    void Item();
    void Open(int kind, const obwalk::Utf8Text& open, const char* close);
    void Close();
    void CloseTo(int count);
    void Leaf(const char* json);
    void Leaf(const obwalk::Utf8Text& json);
    void Str(const unsigned short* units, long long n);
    void StrUtf8(const char* text);
    void Raw(const char* html);
    static void Attr(obwalk::Utf8Text& out, const char* id, const char* classes,
                     const char* key = nullptr, const obwalk::Utf8Text* value = nullptr);
    void Flush(bool force);

    // Blocks and inlines.
    void EnsureParagraph();
    void CloseParagraph();
    void CloseStyleDiv();
    void CloseRun();
    static constexpr int kRunKinds = 8; // a Span and seven inline kinds
    int RunOpenings(const OBWalkRun& run, const char* closes[kRunKinds]);
    void OpenRun(const OBWalkRun& run);
    void CountTcyLoss(const OBWalkRun& run);
    void ReachPosition(long long position, int from = 0);
    bool AtParagraphStart();
    void AddSplit(long long position, int level, const obwalk::Utf8Text& markup);
    void BeginRuby(const OBWalkSpan& span);
    void EndRuby(const OBWalkSpan& span);
    void OpenTcy();
    void Reading(const obwalk::Utf8Text& reading);
    void WriteDueAnchors();
    void PageAnchors(int page, bool atEnd);
    void WriteMeta();
    void LogReport() override;

    OBPandocOptions options_;

    obwalk::Utf8Text out_;
    obwalk::MarkupStack frames_; // the open arrays; a split is a reading after a base character
    OBBaseTypeCollection<Block> blocks_;
    int blockCount_;
    OBBaseTypeCollection<int> linkedPages_;
    OBBaseTypeCollection<int> dueAnchors_; // pages whose anchors go into the next paragraph
    std::unordered_map<const Element*, int, std::hash<const Element*>,
                       std::equal_to<const Element*>,
                       obwalk::Allocator<std::pair<const Element* const, int>>>
        headings_; // the heading level of each paragraph style met
    const char* language_;
    Element* openRun_;
    bool runOpen_;
    bool tcyDue_ = false;         // a tcy began and opens with its text, in that run's inlines
    bool tcyLossCounted_ = false; // a run in it lost its inlines
    int linkDepth_;
    int lastPage_;
    long long pictures_;
    bool rubyWide_; // the ruby's base is set wide: full-width parentheses
    bool begun_;
    int headers_;
    obwalk::Utf8Text scratch_;                // an opening, kept with its room
    obwalk::Utf8Text runOpenings_[kRunKinds]; // a run's, kept with their room
    // The last paragraph and character style whose names the texts hold.
    Element* namedStyle_ = nullptr;
    Element* namedRunStyle_ = nullptr;
    obwalk::Utf8Text styleName_, runStyleName_;
};

#endif
