// The HTML conversion's frame: the document with its head, the pages
// marked between stories, and the notes written after them. The texts go
// to HtmlBlocks.cpp, the runs inside them to HtmlRuns.cpp.
#include "HtmlConversion.h"

#include <algorithm>

using namespace obwalk;

OBHtmlConversion::OBHtmlConversion(OBStream* output, const OBHtmlOptions& options)
    : OBWalkConversion(output, options.includeHidden), options_(options), styles_(walker_, report_),
      blockCount_(0), language_(nullptr), openRun_(nullptr), runOpen_(false), linkDepth_(0),
      pageSection_(-1), lastPage_(-1), pendingNote_(0), pictures_(0), headingText_(false),
      firstParagraph_(false) {}

OBHtmlConversion::~OBHtmlConversion() = default;

// ---- the document -------------------------------------------------------------------

void OBHtmlConversion::BeginDocument() {
    long long units = 0;
    language_ = DocumentLanguage(walker_, &units);
    // The body is mostly its text: room for it, its markup and the room that
    // escaping asks ahead at once spares copying the body as it grows (a few
    // MiB at most, whatever the runs claim).
    constexpr long long kMostRoom = 1LL << 22;
    body_.Reserve(units >= 0 && units < kMostRoom / 2 ? 2 * units + 4096 : kMostRoom);
    if (!LinkedPages(walker_, linkedPages_)) problems_.Report(OBERR::kOutOfMemory);
    if (linkedPages_.Count() > 1)
        std::sort(&linkedPages_[0], &linkedPages_[0] + linkedPages_.Count());
}

void OBHtmlConversion::EndDocument() {
    if (written_) return;
    written_ = true;
    PageMarkers(walker_.Pages().Count() - 1, true);
    if (pageSection_ >= 0) body_.Append("</section>\n");
    pageSection_ = -1;
    if (!endnotes_.IsEmpty()) {
        WriteNotes(endnotes_, true);
        WriteNotes(footnotes_, false); // notes that the endnotes hold
    }
    Utf8Text head;
    WriteHead(head);
    output_.Write(head);
    WriteBody();
    output_.Write("</body>\n</html>\n");
}

// A page of mostly vertical text is vertical as a whole, so that it opens
// at its start, on the right; its horizontal stories then say what they are.
void OBHtmlConversion::WriteBody() {
    if (!walker_.Counts().MostlyVertical() || body_.Failed()) {
        output_.Write(body_);
        return;
    }
    long long at = 0;
    for (int i = 0; i < horizontalStories_.Count(); ++i) {
        output_.Write(body_.Data() + at, horizontalStories_[i] - at);
        output_.Write(" style=\"writing-mode: horizontal-tb\"");
        at = horizontalStories_[i];
    }
    output_.Write(body_.Data() + at, body_.Size() - at);
    body_.Clear();
}

namespace {

// A title made from the text: without the spaces around it and, when
// longer than a browser's tab shows, cut after a word with an ellipsis.
void ShortTitle(const Utf8Text& text, Utf8Text& title) {
    constexpr long long kMost = 100;
    const char* s = text.Data();
    long long begin = 0, end = text.Size();
    while (begin < end && s[begin] == ' ')
        ++begin;
    while (end > begin && s[end - 1] == ' ')
        --end;
    if (end - begin <= kMost) {
        title.Append(s + begin, end - begin);
        return;
    }
    long long cut = begin + kMost;
    while (cut > begin && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
        --cut; // not inside a character
    long long word = cut;
    while (word > begin && s[word] != ' ')
        --word;
    if (word > begin) cut = word;
    title.Append(s + begin, cut - begin);
    title.Append("\xE2\x80\xA6"); // an ellipsis
}

} // namespace

void OBHtmlConversion::WriteHead(Utf8Text& out) {
    DocumentInfo info;
    ReadDocumentInfo(walker_, info);
    out.Append("<!DOCTYPE html>\n<html lang=\"");
    out.Append(language_ ? language_ : "und");
    out.Append(walker_.Counts().MostlyVertical() ? "\" style=\"writing-mode: vertical-rl\">\n<head>"
                                                 : "\">\n<head>\n<meta charset=\"utf-8\">\n");
    out.Append("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    out.Append("<title>");
    Utf8Text title;
    if (!info.title.IsEmpty())
        title = info.title;
    else
        ShortTitle(!firstHeading_.IsEmpty() ? firstHeading_ : firstText_, title);
    if (title.IsEmpty())
        out.Append("Untitled");
    else
        AppendEscaped(out, title, false);
    out.Append("</title>\n");
    auto meta = [&](const char* name, const Utf8Text& value) {
        if (value.IsEmpty()) return;
        out.Append("<meta name=\"");
        out.Append(name);
        out.Append("\" content=\"");
        AppendEscaped(out, value, true);
        out.Append("\">\n");
    };
    meta("author", info.author);
    meta("description", info.comments);
    meta("keywords", info.keywords);
    meta("dcterms.subject", info.subject);
    meta("dcterms.created", info.created);
    meta("dcterms.modified", info.modified);
    if (info.pages > 0) {
        Utf8Text extent;
        extent.AppendNumber(info.pages);
        extent.Append(info.pages == 1 ? " page" : " pages");
        meta("dcterms.extent", extent);
    }
    if (options_.stylesheet == OBHTML::kLinked) {
        out.Append("<link rel=\"stylesheet\" href=\"");
        AppendEscaped(out, options_.stylesheetLink, true);
        out.Append("\">\n");
    } else if (options_.stylesheet == OBHTML::kEmbedded) {
        out.Append("<style>\n");
        styles_.Stylesheet(out, options_.styleClasses, listsWritten_);
        out.Append("</style>\n");
    }
    out.Append("</head>\n<body>\n");
}

void OBHtmlConversion::LogReport() {
    ReportWhatNoMarkupHolds(pictures_);
    if (!options_.styleClasses || options_.stylesheet == OBHTML::kNoStylesheet)
        report_.Add(OBREPORT::kFormattingLeftOut,
                    walker_.ParagraphStyleCount() + walker_.CharacterStyleCount());
    report_.Log();
}

// Marks where the pages up to `page` begin (page breaks, page sections, or
// the targets of links to pages); at the end, the pages left.
void OBHtmlConversion::PageMarkers(int page, bool atEnd) {
    const OBBaseTypeCollection<OBWalkPage>& pages = walker_.Pages();
    if (page < 0 || page >= pages.Count()) {
        if (!atEnd && pageSection_ >= 0) {
            body_.Append("</section>\n"); // stories off the pages stand outside them
            pageSection_ = -1;
        }
        return;
    }
    for (int p = lastPage_ + 1; p <= page; ++p) {
        Utf8Text id;
        id.Append("page-");
        id.AppendNumber(pages[p].number);
        if (options_.pages == OBHTML::kPageSections) {
            if (pageSection_ >= 0) body_.Append("</section>\n");
            body_.Append("<section class=\"page\" id=\"");
            body_.Append(id);
            body_.Append("\">\n");
            pageSection_ = p;
        } else if (options_.pages == OBHTML::kPageBreaks || IsLinkedPage(p)) {
            body_.Append(options_.pages == OBHTML::kPageBreaks && p > 0
                             ? "<div class=\"page-break\" id=\""
                             : "<div class=\"page-start\" id=\"");
            body_.Append(id);
            body_.Append("\"></div>\n");
        }
    }
    if (page > lastPage_) lastPage_ = page;
}

bool OBHtmlConversion::IsLinkedPage(int page) const {
    const int* first = linkedPages_.IsEmpty() ? nullptr : &linkedPages_[0];
    return std::binary_search(first, first + linkedPages_.Count(), page);
}

// ---- stories and notes --------------------------------------------------------------

void OBHtmlConversion::BeginStory(const OBWalkStory& story) {
    PageMarkers(story.place.firstPage, false);
    body_.Append(story.vertical ? "<section class=\"story vertical\" id=\"story-"
                                : "<section class=\"story\" id=\"story-");
    body_.AppendNumber(story.index + 1);
    if (!story.vertical && !horizontalStories_.Add(body_.Size() + 1)) // past the quote
        problems_.Report(OBERR::kOutOfMemory);
    body_.Append(story.vertical ? "\" style=\"writing-mode: vertical-rl\">\n" : "\">\n");
}

void OBHtmlConversion::EndStory(const OBWalkStory&) {
    WriteNotes(footnotes_, false);
    body_.Append("</section>\n");
}

void OBHtmlConversion::WriteNotes(OBBaseTypeCollection<Note>& notes, bool endnotes) {
    if (notes.IsEmpty()) return;
    body_.Append(endnotes ? "<section class=\"notes endnotes\" role=\"doc-endnotes\">\n"
                          : "<aside class=\"notes\" role=\"doc-footnotes\">\n");
    // Notes may hold notes of their own, which join the list as it is written.
    for (int i = 0; i < notes.Count(); ++i) {
        Note note = notes[i];
        body_.Append("<div class=\"note\" id=\"note-");
        body_.AppendNumber(note.number);
        body_.Append("\">\n");
        pendingNote_ = note.number;
        if (note.text) walker_.Walk(note.text, OBWALK::kNoteText, 1);
        if (pendingNote_) { // a note without text still links back
            body_.Append("<p>");
            NoteNumber(pendingNote_);
            body_.Append("</p>\n");
            pendingNote_ = 0;
        }
        body_.Append("</div>\n");
    }
    body_.Append(endnotes ? "</section>\n" : "</aside>\n");
    notes.Clear();
}

void OBHtmlConversion::NoteNumber(int number) {
    body_.Append("<a class=\"note-number\" href=\"#noteref-");
    body_.AppendNumber(number);
    body_.Append("\" role=\"doc-backlink\">");
    body_.AppendNumber(number);
    body_.Append("</a> ");
}
