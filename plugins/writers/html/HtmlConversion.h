// The HTML writer's conversion: document-model Elements in, one HTML5
// document out. The plug-in class only hands its Elements on; everything
// else is here, so it can be driven without the pump.
#ifndef OMBRA_HTMLWRITER_CONVERSION_H
#define OMBRA_HTMLWRITER_CONVERSION_H

#include "HtmlOptions.h"
#include "HtmlStyles.h"
#include "MarkupStack.h"
#include "WalkLists.h"
#include "WalkConversion.h"
#include "WriterTools.h"

#include <unordered_map>

/// Writes a publication as one HTML5 document in UTF-8 when the conversion
/// ends (docs/writers.md describes the markup): metadata in title and meta
/// elements, the language of the text in lang, a stylesheet from the
/// styles, each story a section in reading order with pictures on the
/// pages between them, paragraphs as p or, for heading styles, h1 to h6
/// (list paragraphs as the items of ul and ol, nested by level),
/// character formatting as em, strong and spans, tables with thead, tbody,
/// tfoot and spans, notes linked both ways at the end of their story (or
/// of the document for endnotes), hyperlinks as a, pictures as img, and
/// the Japanese constructions as the web writes them: ruby with rp
/// fallbacks, kenten as text-emphasis, tate-chu-yoko as
/// text-combine-upright, vertical stories in vertical-rl, warichu as two
/// lines in an inline flex box.
///
/// What HTML cannot hold is counted and logged when the conversion ends
/// (WriterReport.def); problems with the tree are reported as the walker
/// finds them.
class OBHtmlConversion : public OBWalkConversion {
public:
    /// output is not owned; the options are copied.
    OBHtmlConversion(OBStream* output, const OBHtmlOptions& options);
    ~OBHtmlConversion() override;

    /// UTF-16 text as HTML text: &, < and > escaped, controls and
    /// noncharacters as U+FFFD, unpaired surrogates too.
    static void AppendEscapedUtf16(obwalk::Utf8Text& out, const unsigned short* units, long long n);

private:
    enum TagKind : int { kRunTag, kSpanTag, kLinkTag, kRubyTag, kWarichuTag, kTcyTag };
    /// Where the walk of one text stands (texts nest: cells in cells).
    struct Block {
        int tagBase;     ///< tags_ that belong to the texts around
        long long attrs; ///< the paragraph's start tag in blockText_
        long long attrsLength;
        int level;            ///< the paragraph's heading level; 0 for p
        bool pending;         ///< a paragraph began and is not open yet
        bool open;            ///< its element is open
        bool content;         ///< the open element holds something
        bool table;           ///< the paragraph held a table
        int note;             ///< a note whose number goes before the text
        const char* language; ///< the paragraph's, where its lang says it
        obwalk::ListNesting lists;
    };
    struct Note {
        int number;
        Element* text;
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
    void ListMarkup(const OBWalkListItem& item);
    void OnPicture(const OBWalkPicture& picture) override;

    // Markup.
    Block& Top() { return blocks_[blockCount_ - 1]; }
    void Escaped(const unsigned short* units, long long n);
    static void AppendEscaped(obwalk::Utf8Text& out, const obwalk::Utf8Text& text, bool attribute);
    static void AppendStyleAttribute(obwalk::Utf8Text& out, obwalk::Utf8Text& css);
    void PushTag(int kind, const obwalk::Utf8Text& open, const char* close);
    void PopTag();
    void CloseRun();
    void OpenRun(const OBWalkRun& run);
    void RunMarkup(const OBWalkRun& run, obwalk::Utf8Text& span, bool& strong, bool& em,
                   bool countLosses = true);
    void CountTcyLoss(const OBWalkRun& run);
    void UnderRun(const OBWalkRun& run);
    const char* RunLanguage(int script, Value* dictionaryLanguage);
    void RunStyle(const OBWalkRun& run, const OBHtmlStyles::RunValues& own, bool strong, bool em,
                  obwalk::Utf8Text& open);
    void EnsureParagraph();
    void CloseParagraph();
    void ReachPosition(long long position, int from = 0);
    void AddSplit(long long position, int level, const obwalk::Utf8Text& markup);
    void BeginRuby(const OBWalkSpan& span);
    void BeginWarichu(const OBWalkSpan& span);
    void OpenTcy();
    int HeadingOf(Element* paragraphStyle);
    struct ParagraphStart;
    const ParagraphStart* FindParagraphStart(const OBWalkParagraph& paragraph) const;
    void KeepParagraphStart(const OBWalkParagraph& paragraph, int level, const char* language);
    void ParagraphTag(const OBWalkParagraph& paragraph, int& level, const char*& language);
    void ParagraphStyle(const OBWalkParagraph& paragraph, obwalk::Utf8Text& tag);
    void WriteNotes(OBBaseTypeCollection<Note>& notes, bool endnotes);
    void NoteNumber(int number);
    void PageMarkers(int page, bool atEnd);
    bool IsLinkedPage(int page) const;
    void WriteHead(obwalk::Utf8Text& out);
    void WriteBody();
    void NoteTitle(const unsigned short* units, long long n);
    void LogReport() override;

    OBHtmlOptions options_;
    OBHtmlStyles styles_;

    obwalk::Utf8Text body_;
    obwalk::Utf8Text blockText_;
    obwalk::Utf8Text firstHeading_;      // the title when the metadata has none
    obwalk::Utf8Text firstText_;         // or else the first paragraph's start
    obwalk::MarkupStack tags_;           // the elements open in the texts walked now
    OBBaseTypeCollection<Block> blocks_; // the first blockCount_ are the texts walked now
    int blockCount_;
    OBBaseTypeCollection<Note> footnotes_;
    OBBaseTypeCollection<Note> endnotes_;
    std::unordered_map<const Element*, int, std::hash<const Element*>,
                       std::equal_to<const Element*>,
                       obwalk::Allocator<std::pair<const Element* const, int>>>
        headings_;                              // the heading level of each paragraph style met
    const Element* lastHeadingStyle_ = nullptr; // the last looked up in headings_
    int lastHeading_ = 0;
    OBBaseTypeCollection<int> linkedPages_;
    OBBaseTypeCollection<long long> horizontalStories_; // where each one's opening tag ends
    const char* language_;                              // the document's; null for undetermined
    Element* openRun_; // the run whose markup is open, when runOpen_
    bool runOpen_;
    bool listsWritten_ = false;   // a ul or ol: the stylesheet hides their markers
    bool tcyDue_ = false;         // a tcy began and opens with its text, in that run's markup
    bool tcyLossCounted_ = false; // a run in it lost its markup
    obwalk::Utf8Text openSpan_;   // that markup: its span's opening tag, strong and em
    bool openStrong_ = false, openEm_ = false;
    // The CSS of what lies under the runs of a character style in this
    // paragraph, and under paragraphs of a paragraph style.
    OBHtmlStyles::Unders unders_, styleUnders_;
    const OBHtmlStyles::Unders::Under* under_ = nullptr; // none before the first
    const OBHtmlStyles::Unders::Under* styleUnder_ = nullptr;
    obwalk::Utf8Text nextUnderCss_;
    Value* underCssValues_[OBHtmlStyles::RunValues::kCssCount] = {}; // under_ was made of
    unsigned long long underSerial_ = 0; // and the kept CSS they gave (0 for none)

    obwalk::Utf8Text scratchOpen_, scratchCss_; // a run's or paragraph's markup being made
    OBHtmlStyles::Repeats runRepeats_;
    // The style attributes of the last paragraphs, by the CSS of their own
    // they were made of and the version of their style's.
    OBHtmlKeptTexts paragraphStyles_;
    // The style attributes of the last runs, by the kept CSS they were made
    // of and the version of what lay under them.
    struct RunStyleEntry {
        unsigned long long serial = 0; // 0 for none
        unsigned version = 0;
        obwalk::Utf8Text attribute;
    };
    static constexpr int kRunStyles = 8;
    RunStyleEntry runStyles_[kRunStyles];
    int nextRunStyle_ = 0;
    Element* underStyle_ = nullptr;
    Element* styleUnderStyle_ = nullptr;
    bool underValid_ = false, styleUnderValid_ = false;
    // The paragraph's formatting when the runs' under state was made: a
    // kept chain when the paragraph had none of its own (plain).
    OBMCharacterAttributes* underFormat_ = nullptr;
    bool underPlain_ = false;
    // The start tags of the last plain paragraphs, by style, formatting and
    // the script of their first character.
    struct ParagraphStart {
        Element* style = nullptr;
        OBMCharacterAttributes* format = nullptr;
        int script = 0;
        int level = 0;
        const char* language = nullptr;
        bool known = false;
        obwalk::Utf8Text tag;
    };
    static constexpr int kParagraphStarts = 8;
    ParagraphStart paragraphStarts_[kParagraphStarts];
    int nextParagraphStart_ = 0;
    // The values the runs of a character style take from under them in this
    // paragraph besides their CSS.
    OBHtmlStyles::RunValues underValues_;
    Element* underValuesStyle_ = nullptr;
    bool underValuesValid_ = false;
    // What the last run's language was found from, and the lang it shows.
    struct RunLanguageMemo {
        int script;
        Value* value;
        const char* around;
        const char* shown;
        bool known;
    };
    RunLanguageMemo runLanguage_ = {0, nullptr, nullptr, nullptr, false};
    // The last run's own values (runs reopen in every paragraph they cross).
    OBHtmlStyles::RunValues ownValues_;
    OBMCharacterAttributes* ownSource_ = nullptr;
    bool ownKnown_ = false;
    int linkDepth_;
    int pageSection_; // the page whose section is open, or -1
    int lastPage_;    // the last page whose beginning is marked
    int pendingNote_; // the number of the note whose text is walked next
    long long pictures_;
    bool headingText_;    // the text walked now is the first heading's
    bool firstParagraph_; // or the first paragraph's
};

#endif
