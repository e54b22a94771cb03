// The text writer's conversion: document-model Elements in, plain text out.
// The plug-in class only hands its Elements on; everything else is here, so
// it can be driven without the pump.
#ifndef OMBRA_TEXTWRITER_CONVERSION_H
#define OMBRA_TEXTWRITER_CONVERSION_H

#include "StoryWalker.h"
#include "TextEncoder.h"
#include "TextLineWrapper.h"
#include "TextProblems.h"
#include "TextWriterOptions.h"
#include "WriterReport.h"

#include <ombra/collection.h>
#include <ombra/elements.h>
#include <ombra/streams.h>

/// Writes the text of a publication as its Elements arrive, in the order
/// and shape that docs/document-model.md gives:
///
/// - the Publication and the pages, when a geometry unit is chosen, as a
///   report at the top: page size and margins, then each page's size;
/// - every story of the StoryList in reading order, one blank line between
///   stories (the break text instead when breaks are marked and the story
///   starts on a later page than the one before ended on);
/// - paragraphs on lines of their own, optionally led by their style's tag;
///   forced line breaks end a line; tabs stay tabs; column and frame breaks
///   end the line or, when marked, become a line with the break text;
/// - tables where their anchor stands: one line per row, cells separated by
///   tabs, a spanning cell followed by empty cells for the columns it spans;
/// - footnotes as "[n]" in the text and, after their story, "[n] " and the
///   note's text; endnotes the same way after the last story;
/// - ruby as the base text followed by the reading in parentheses (full-width
///   parentheses after ideographic base text), or the base text alone;
///   variables as the text they last showed; kenten, warichu and tate-chu-yoko
///   as their plain text.
/// Stories whose frames all lie on master pages or hidden layers (or are
/// hidden themselves) are left out unless the options include them; stories
/// without any frame are written.
///
/// The story walker (StoryWalker.h) hands it the stories as they arrive.
/// The walker keeps pointers to styles, layers and master pages it received
/// and reads them while later Elements arrive: they must live until Finish,
/// which the document-model conventions guarantee. Nothing is deleted.
///
/// A tree that breaks the conventions is written as far as it can be: what
/// is skipped or repaired is reported through OBTextProblems (the per-thread
/// error code and the conversion log): a story without text or a list
/// holding the wrong kinds as kMalformedInput, a run or position outside
/// its text as kBadValue (anchors outside the text are written at its
/// end), a reference to an id that never arrived as kBrokenReference,
/// nesting deeper than 32 levels as kLimitExceeded.
class OBTextConversion : private OBWalkHandler {
public:
    OB_MEMORY_OPERATORS

    /// output is not owned; the options are copied.
    OBTextConversion(OBStream* output, const OBTextWriterOptions& options);
    OBTextConversion(const OBTextConversion&) = delete;
    OBTextConversion& operator=(const OBTextConversion&) = delete;
    ~OBTextConversion() override;

    /// One top-level Element; null ends the conversion (Finish).
    void PutElement(Element* element);
    /// Writes the endnotes and hands every byte to the stream; later
    /// Elements are ignored. Logs what the text could not hold.
    void Finish();

    const OBTextProblems& GetProblems() const { return problems_; }
    const OBWriterReport& GetReport() const { return report_; }
    long long GetReplacedCharacters() const { return encoder_.GetReplacedCount(); }
    long long GetBytesWritten() const { return encoder_.GetBytesWritten(); }
    bool HasWriteFailed() const { return encoder_.HasFailed(); }
    int GetStoriesWritten() const { return storiesWritten_; }
    int GetStoriesLeftOut() const { return static_cast<int>(walker_.Counts().storiesLeftOut); }

private:
    struct Note {
        int number;
        Element* note;
    };
    enum Mode : int { kStoryText, kNoteText, kCellText, kInlineCellText };
    /// Where the walk of one text stands (texts nest: cells in cells).
    struct Body {
        Mode mode;
        bool pendingTag; // the paragraph's style tag is due before its first content
        long long paragraphStart;
        bool blockInParagraph; // the paragraph holds a table
    };

    // The walk.
    void OnPage(const OBWalkPage& page) override;
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
    void OnFootnote(const OBWalkNote& note, const OBWalkRun& run) override;
    void OnTable(Element* table, const OBWalkRun& run) override;
    void OnVariable(Element* variable, const OBWalkRun& run) override;

    Body& Top() { return bodies_[bodyCount_ - 1]; }
    bool InCell() { return Top().mode == kCellText || Top().mode == kInlineCellText; }
    void WriteTable(Element* table, Mode mode, int depth);
    void WriteNotes(OBBaseTypeCollection<Note>& notes, int depth);
    void WriteStyleTag(long long position);
    void FlushPendingTag();
    void WriteRuby(const OBWalkSpan& ruby);
    void WriteLiteral(const unsigned short* units, long long n, WSE::WritingScriptEnum script,
                      unsigned flags = 0);
    void WriteAscii(const char* text, WSE::WritingScriptEnum script, unsigned flags = 0);
    void WriteBreak();
    void ReportPublication(Element* publication);
    void WriteDocumentInfo();
    void ReportPageSize(const char* label, Element* source, Element* fallback);
    void ReportLine(const char* text);
    void LogReport();

    OBTextWriterOptions options_;
    OBTextProblems problems_;
    OBWriterReport report_;
    OBTextEncoder encoder_;
    OBTextLineWrapper lines_;
    OBStoryWalker walker_;

    OBBaseTypeCollection<Body> bodies_; // the first bodyCount_ are the texts walked now
    OBBaseTypeCollection<Note> footnotes_;
    OBBaseTypeCollection<Note> endnotes_;
    OBBaseTypeCollection<OBWalkSpan> afterParagraph_; // rubies whose base ends a paragraph
    long long rubyStart_ = -1, rubyEnd_ = -1;         // the base of the ruby walked in
    Mode cellMode_;                                   // the mode of the cells WriteTable walks
    int bodyCount_;
    int storiesWritten_;
    int previousLastPage_;
    bool reported_;   // the geometry report wrote lines
    bool afterBlock_; // the last thing written was a table, which ended its line
    bool infoWritten_;
    bool begun_;
    bool finished_;
};

#endif
