// The text writer's conversion: document-model Elements in, plain text out.
// The plug-in class only hands its Elements on; everything else is here, so
// it can be driven without the pump.
#ifndef OMBRA_TEXTWRITER_CONVERSION_H
#define OMBRA_TEXTWRITER_CONVERSION_H

#include "TextEncoder.h"
#include "TextLineWrapper.h"
#include "TextProblems.h"
#include "TextWriterOptions.h"

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
/// The writer keeps pointers to styles, layers and master pages it received
/// and reads them while later Elements arrive: they must live until Finish,
/// which the document-model conventions guarantee. It never deletes them.
///
/// A tree that breaks the conventions is written as far as it can be: what
/// is skipped or repaired is reported through OBTextProblems (the per-thread
/// error code and the conversion log): a story without text or a list
/// holding the wrong kinds as kMalformedInput, a run or position outside
/// its text as kBadValue (anchors outside the text are written at its
/// end), a reference to an id that never arrived as kBrokenReference,
/// nesting deeper than 32 levels as kLimitExceeded.
class OBTextConversion {
public:
    OB_MEMORY_OPERATORS

    /// output is not owned; the options are copied.
    OBTextConversion(OBStream* output, const OBTextWriterOptions& options);
    OBTextConversion(const OBTextConversion&) = delete;
    OBTextConversion& operator=(const OBTextConversion&) = delete;
    ~OBTextConversion();

    /// One top-level Element; null ends the conversion (Finish).
    void PutElement(Element* element);
    /// Writes the endnotes and hands every byte to the stream; later
    /// Elements are ignored.
    void Finish();

    const OBTextProblems& GetProblems() const { return problems_; }
    long long GetReplacedCharacters() const { return encoder_.GetReplacedCount(); }
    long long GetBytesWritten() const { return encoder_.GetBytesWritten(); }
    bool HasWriteFailed() const { return encoder_.HasFailed(); }
    int GetStoriesWritten() const { return storiesWritten_; }
    int GetStoriesLeftOut() const { return storiesLeftOut_; }

private:
    struct IdElement {
        unsigned id;
        Element* element;
    };
    struct Layer {
        unsigned id;
        bool visible;
    };
    struct StoryPlace {
        unsigned id;
        int firstPage; // -1: on no regular page
        int lastPage;
        int shown;  // frames on regular pages or the pasteboard, visible
        int hidden; // frames on master pages, hidden or on hidden layers
    };
    struct Note {
        int number;
        Element* note;
    };
    struct Body;
    enum Mode : int { kStoryText, kNoteText, kCellText, kInlineCellText };

    void Dispatch(Element* element);
    void TakeLayers(Element* list);
    void TakeStyles(Element* list, OBBaseTypeCollection<IdElement>& styles,
                    EL::ElementTypeEnum kind, bool paragraphStyles);
    void TakeMasters(Element* list);
    void TakePages(Element* list);
    void TakeItems(Element* list, int page, bool hidden, int depth);
    void WriteStories(Element* list);
    void WriteStory(Element* story);
    void WriteStoryText(Element* childStory);
    void WriteBody(Element* childStory, Mode mode, int depth);
    void WriteTable(Element* table, Mode mode, int depth);
    void WriteNotes(OBBaseTypeCollection<Note>& notes, int depth);
    void WriteStyleTag(Body& body, long long position);
    void WriteLiteral(const unsigned short* units, long long n, WSE::WritingScriptEnum script,
                      unsigned flags = 0);
    void WriteAscii(const char* text, WSE::WritingScriptEnum script, unsigned flags = 0);
    void WriteBreak();
    void FlushPendingTag(Body& body);
    void ReportPageSize(const char* label, Element* source, Element* fallback);
    void ReportLine(const char* text);

    bool ItemHidden(Element* item);
    Element* FindStyle(OBBaseTypeCollection<IdElement>& styles, bool& sorted, unsigned id);
    Value* CharacterValue(AN::AttrNameEnum attr, Element* characterRun, Element* paragraphRun);
    Value* StyleChainValue(Element* style, bool paragraphStyle, AN::AttrNameEnum attr);
    StoryPlace* FindPlace(unsigned story, bool create);

    OBTextWriterOptions options_;
    OBTextProblems problems_;
    OBTextEncoder encoder_;
    OBTextLineWrapper lines_;

    Element* publication_;
    Element* defaultParagraphStyle_;
    OBBaseTypeCollection<IdElement> paragraphStyles_;
    OBBaseTypeCollection<IdElement> characterStyles_;
    OBBaseTypeCollection<IdElement> masterPages_;
    OBBaseTypeCollection<Layer> layers_;
    OBBaseTypeCollection<StoryPlace> places_;
    OBBaseTypeCollection<Note> footnotes_;
    OBBaseTypeCollection<Note> endnotes_;
    bool paragraphStylesSorted_;
    bool characterStylesSorted_;
    bool masterPagesSorted_;
    bool layersSorted_;
    bool placesSorted_;

    int pages_;
    int noteNumber_;
    int storiesWritten_;
    int storiesLeftOut_;
    int previousLastPage_;
    bool reported_;   // the geometry report wrote lines
    bool afterBlock_; // the last thing written was a table, which ended its line
    bool begun_;
    bool finished_;
};

#endif
