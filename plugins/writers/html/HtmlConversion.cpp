#include "HtmlConversion.h"

#include <ombra/views.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace obwalk;

namespace {

// The units of a string value.
bool Units(Value* v, WOBString& out) {
    int script = -1;
    return GetText(v, out, script);
}

} // namespace

OBHtmlConversion::OBHtmlConversion(OBStream* output, const OBHtmlOptions& options)
    : OBWalkConversion(output, options.includeHidden), options_(options), styles_(walker_, report_),
      blockCount_(0), language_(nullptr), openRun_(nullptr), runOpen_(false), linkDepth_(0),
      pageSection_(-1), lastPage_(-1), pendingNote_(0), pictures_(0), tagCount_(0), splitBegin_(0),
      splitEnd_(0), headingText_(false), firstParagraph_(false) {}

OBHtmlConversion::~OBHtmlConversion() = default;

// ---- the document -------------------------------------------------------------------

void OBHtmlConversion::BeginDocument() {
    language_ = DocumentLanguage(walker_);
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
    output_.Write(body_);
    output_.Write("</body>\n</html>\n");
}

void OBHtmlConversion::WriteHead(Utf8Text& out) {
    DocumentInfo info;
    ReadDocumentInfo(walker_, info);
    out.Append("<!DOCTYPE html>\n<html lang=\"");
    out.Append(language_ ? language_ : "und");
    out.Append("\">\n<head>\n<meta charset=\"utf-8\">\n");
    out.Append("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    out.Append("<title>");
    const Utf8Text& title = !info.title.IsEmpty()      ? info.title
                            : !firstHeading_.IsEmpty() ? firstHeading_
                                                       : firstText_;
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
        styles_.Stylesheet(out, options_.styleClasses);
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

// ---- stories, notes and texts --------------------------------------------------------

void OBHtmlConversion::BeginStory(const OBWalkStory& story) {
    PageMarkers(story.place.firstPage, false);
    body_.Append(story.vertical ? "<section class=\"story vertical\" id=\"story-"
                                : "<section class=\"story\" id=\"story-");
    body_.AppendNumber(story.index + 1);
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

void OBHtmlConversion::BeginText(const OBWalkText&) {
    underValid_ = underValuesValid_ = false; // what lies under runs changes
    Block block = {tagCount_, blockText_.Size(), 0,        0, false, false, false,
                   false,     pendingNote_,      language_};
    pendingNote_ = 0;
    if (!PushAt(blocks_, blockCount_, block)) problems_.Report(OBERR::kOutOfMemory);
}

void OBHtmlConversion::EndText(const OBWalkText&) {
    underValid_ = underValuesValid_ = false; // what lies under runs changes
    if (blockCount_ == 0) return;
    CloseRun();
    CloseParagraph();
    Block& block = Top();
    while (tagCount_ > block.tagBase)
        PopTag();
    if (block.note) pendingNote_ = block.note; // nothing was written: the caller links back
    blockText_.Truncate(block.attrs);
    --blockCount_;
}

void OBHtmlConversion::BeginParagraph(const OBWalkParagraph& paragraph) {
    underValid_ = underValuesValid_ = false; // what lies under runs changes
    if (blockCount_ == 0) return;
    Block& block = Top();
    CloseRun();
    CloseParagraph();
    blockText_.Truncate(block.attrs);
    Element* style = paragraph.style;
    int level = HeadingOf(style);
    Utf8Text& tag = blockText_;
    tag.Append('<');
    tag.Append(level ? "h" : "p");
    if (level) tag.AppendNumber(level);
    if (options_.styleClasses) {
        const OBHtmlStyles::Name& name = styles_.ParagraphClass(style);
        if (!name.empty()) {
            tag.Append(" class=\"");
            tag.Append(name.data(), static_cast<long long>(name.size()));
            tag.Append('"');
        }
        Utf8Text& css = scratchCss_;
        css.Clear();
        Element* run = paragraph.run;
        if (run) {
            styles_.ParagraphCss(ParagraphAttributesOf(run), css);
            styles_.CharacterCss(CharacterAttributesOf(run), css);
            if (!css.IsEmpty()) {
                if (!styleUnderValid_ || styleUnderStyle_ != style) {
                    styleUnderCss_.Truncate(0);
                    styles_.ParagraphCss(walker_.ParagraphStyleFormat(style), styleUnderCss_);
                    styles_.CharacterCss(walker_.ParagraphStyleCharacterFormat(style),
                                         styleUnderCss_);
                    styleUnder_.Of(styleUnderCss_);
                    styleUnderStyle_ = style;
                    styleUnderValid_ = true;
                    ++styleUnderVersion_;
                }
                paragraphRepeats_.Apply(css, styleUnder_, styleUnderVersion_);
            }
        }
        if (!css.IsEmpty()) {
            css.Truncate(css.Size() - 2); // the last "; "
            tag.Append(" style=\"");
            AppendEscaped(tag, css, true);
            tag.Append('"');
        }
    }
    // The paragraph's language where its first character's script names
    // another than the document's; its runs say theirs where they differ.
    block.language = language_;
    const char* language = TextLanguage(paragraph.script, paragraph.characterFormat);
    if (language &&
        (!language_ || (language != language_ && std::strcmp(language, language_) != 0))) {
        tag.Append(" lang=\"");
        tag.Append(language);
        tag.Append('"');
        block.language = language;
    }
    tag.Append('>');
    block.attrsLength = blockText_.Size() - block.attrs;
    block.level = level;
    block.pending = true;
    block.table = false;
    styles_.CountParagraphLosses(paragraph.format);
    headingText_ = level > 0 && firstHeading_.IsEmpty();
}

void OBHtmlConversion::EndParagraph(const OBWalkParagraph&) {
    underValid_ = underValuesValid_ = false; // what lies under runs changes
    if (blockCount_ == 0) return;
    Block& block = Top();
    CloseRun();
    if (!block.open && !block.table && block.pending) EnsureParagraph(); // an empty paragraph
    CloseParagraph();
    block.pending = false;
    block.table = false;
    headingText_ = false;
    firstParagraph_ = false;
}

int OBHtmlConversion::HeadingOf(Element* style) {
    if (!style) return 0;
    if (style == lastHeadingStyle_) return lastHeading_; // paragraphs mostly repeat their style
    auto found = headings_.find(style);
    int level = found != headings_.end() ? found->second
                                         : (headings_[style] = HeadingLevel(walker_, style));
    lastHeadingStyle_ = style;
    lastHeading_ = level;
    return level;
}

void OBHtmlConversion::EnsureParagraph() {
    if (blockCount_ == 0) return;
    Block& block = Top();
    if (block.open) return;
    if (block.pending) {
        body_.Append(blockText_.Data() + block.attrs, block.attrsLength);
    } else {
        body_.Append("<p>");
        block.level = 0;
        block.language = language_;
    }
    block.open = true;
    block.content = false;
    if (block.note) {
        NoteNumber(block.note);
        block.note = 0;
        block.content = true;
    }
}

void OBHtmlConversion::CloseParagraph() {
    if (blockCount_ == 0) return;
    Block& block = Top();
    if (!block.open) return;
    while (tagCount_ > block.tagBase)
        PopTag();
    runOpen_ = false;
    if (!block.content) body_.Append("<br>");
    if (block.level) {
        body_.Append("</h");
        body_.AppendNumber(block.level);
        body_.Append(">\n");
    } else {
        body_.Append("</p>\n");
    }
    block.open = false;
}

// ---- markup ----------------------------------------------------------------------------

void OBHtmlConversion::PushTag(int kind, const Utf8Text& open, const char* close) {
    Tag tag = {kind, tagText_.Size(), open.Size(), 0, 0, 0};
    tagText_.Append(open);
    tag.close = tagText_.Size();
    tagText_.Append(close);
    tag.closeLength = tagText_.Size() - tag.close;
    if (!PushAt(tags_, tagCount_, tag)) {
        problems_.Report(OBERR::kOutOfMemory);
        tagText_.Truncate(tag.open);
        return;
    }
    body_.Append(open);
}

void OBHtmlConversion::PopTag() {
    if (tagCount_ == 0) return;
    Tag tag = tags_[--tagCount_];
    body_.Append(tagText_.Data() + tag.close, tag.closeLength);
    if (tag.kind == kLinkTag) --linkDepth_;
    // A ruby's or warichu's points that were not reached go with it.
    while (splitEnd_ > splitBegin_ && splits_[splitEnd_ - 1].level >= tagCount_)
        --splitEnd_;
    tagText_.Truncate(tag.open);
}

void OBHtmlConversion::CloseTagsFrom(int level) {
    for (int i = tagCount_ - 1; i >= level; --i)
        body_.Append(tagText_.Data() + tags_[i].close, tags_[i].closeLength);
}

void OBHtmlConversion::ReopenTagsFrom(int level) {
    for (int i = level; i < tagCount_; ++i)
        body_.Append(tagText_.Data() + tags_[i].open, tags_[i].openLength);
}

void OBHtmlConversion::CloseRun() {
    while (tagCount_ > 0 && tags_[tagCount_ - 1].kind == kRunTag)
        PopTag();
    runOpen_ = false;
}

// Leaves out of a run's own CSS what its character style and paragraph give
// it already (older documents repeat the whole formatting on every run). The
// CSS of what lies under the run is kept while the paragraph and the run's
// character style stay.
void OBHtmlConversion::UnderRun(const OBWalkRun& run, Utf8Text& css) {
    if (!underValid_ || underStyle_ != run.characterStyle) {
        nextUnderCss_.Clear();
        if (run.inherited) {
            underValues_.Read(run.inherited, OBHtmlStyles::RunValues::kCss);
            styles_.CharacterCss(underValues_, nextUnderCss_);
        }
        // Paragraphs mostly repeat what lies under their runs.
        if (underVersion_ == 0 || nextUnderCss_.Size() != underCss_.Size() ||
            std::memcmp(nextUnderCss_.Data(), underCss_.Data(),
                        static_cast<std::size_t>(underCss_.Size())) != 0) {
            underCss_.Clear();
            underCss_.Append(nextUnderCss_);
            under_.Of(underCss_);
            ++underVersion_;
        }
        underValid_ = true;
        underStyle_ = run.characterStyle;
    }
    runRepeats_.Apply(css, under_, underVersion_);
}

// The run's character style as a class, its own formatting as an inline
// style (bold and italics as strong and em where what lies under it is
// neither), and its language where it differs from the document's.
void OBHtmlConversion::OpenRun(const OBWalkRun& run) {
    runOpen_ = true;
    openRun_ = run.run;
    // The run's formatting is its own over what lies under it, which stays
    // while the paragraph and the run's character style do.
    if (!underValuesValid_ || underValuesStyle_ != run.characterStyle) {
        underValues_.Read(run.inherited, OBHtmlStyles::RunValues::kOthers);
        underValuesStyle_ = run.characterStyle;
        underValuesValid_ = true;
    }
    OBHtmlStyles::RunValues own, format;
    own.Read(run.local);
    format = own;
    format.Over(underValues_);
    styles_.CountRunLosses(format);
    bool bold = false, italic = false, under = false;
    using R = OBHtmlStyles::RunValues;
    bool strong = GetFlag(own.v[R::kBold], bold) && bold &&
                  !(GetFlag(underValues_.v[R::kBold], under) && under);
    under = false;
    bool em = GetFlag(own.v[R::kItalics], italic) && italic &&
              !(GetFlag(underValues_.v[R::kItalics], under) && under);
    Utf8Text& open = scratchOpen_; // kept from run to run with its room
    open.Clear();
    open.Append("<span");
    long long bare = open.Size();
    if (options_.styleClasses) {
        const OBHtmlStyles::Name& name = styles_.CharacterClass(run.characterStyle);
        if (!name.empty()) {
            open.Append(" class=\"");
            open.Append(name.data(), static_cast<long long>(name.size()));
            open.Append('"');
        }
        Utf8Text& css = scratchCss_;
        css.Clear();
        if (run.local) styles_.CharacterCss(own, css, strong, em);
        if (!css.IsEmpty()) UnderRun(run, css);
        if (!css.IsEmpty()) {
            css.Truncate(css.Size() - 2);
            open.Append(" style=\"");
            AppendEscaped(open, css, true);
            open.Append('"');
        }
    }
    const char* language = TextLanguage(run.script, format.v[R::kDictionaryLanguage]);
    const char* around = blockCount_ > 0 ? Top().language : language_;
    if (language && (!around || (language != around && std::strcmp(language, around) != 0))) {
        open.Append(" lang=\"");
        open.Append(language);
        open.Append('"');
    }
    if (open.Size() > bare) {
        open.Append('>');
        PushTag(kRunTag, open, "</span>");
    }
    Utf8Text& tag = scratchOpen_;
    tag.Clear();
    if (strong) tag.Append("<strong>"), PushTag(kRunTag, tag, "</strong>"), tag.Clear();
    if (em) tag.Append("<em>"), PushTag(kRunTag, tag, "</em>");
}

void OBHtmlConversion::OnText(const unsigned short* units, long long n, const OBWalkRun& run) {
    if (blockCount_ == 0 || n <= 0) return;
    EnsureParagraph();
    ReachPosition(run.position);
    if (!runOpen_ || openRun_ != run.run) {
        CloseRun();
        OpenRun(run);
    }
    if (headingText_ && firstHeading_.Size() < 200) firstHeading_.AppendUtf16(units, n);
    if (firstText_.Size() < 80 && (firstText_.IsEmpty() || firstParagraph_))
        firstText_.AppendUtf16(units, n), firstParagraph_ = true;
    long long at = run.position, end = run.position + n;
    while (at < end) {
        long long stop = end;
        for (int i = splitBegin_; i < splitEnd_; ++i)
            if (splits_[i].position > at && splits_[i].position < stop) stop = splits_[i].position;
        Escaped(units + (at - run.position), stop - at);
        at = stop;
        if (at < end) ReachPosition(at);
    }
    Top().content = true;
}

// Writes the markup due between characters up to position: one ruby
// reading per base character, the line change of a warichu. The elements
// opened inside the ruby or warichu close around it.
void OBHtmlConversion::ReachPosition(long long position) {
    while (splitBegin_ < splitEnd_ && splits_[splitBegin_].position <= position) {
        Split split = splits_[splitBegin_++];
        if (split.level >= tagCount_) continue;
        CloseTagsFrom(split.level + 1);
        body_.Append(tagText_.Data() + split.markup, split.markupLength);
        ReopenTagsFrom(split.level + 1);
    }
    if (splitBegin_ == splitEnd_) splitBegin_ = splitEnd_ = 0;
}

void OBHtmlConversion::AddSplit(long long position, int level, const Utf8Text& markup) {
    // The markup lives in tagText_ above the tag it belongs to, so it goes
    // when the tag does.
    Split split = {position, level, tagText_.Size(), markup.Size()};
    tagText_.Append(markup);
    if (!PushAt(splits_, splitEnd_, split)) problems_.Report(OBERR::kOutOfMemory);
}

void OBHtmlConversion::OnBreak(OBWALK::BreakKind kind, const OBWalkRun&) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    if (kind == OBWALK::kTab)
        body_.Append('\t');
    else if (kind == OBWALK::kLineBreak)
        body_.Append("<br>");
    else
        body_.Append("<br class=\"frame-break\">");
    Top().content = true;
}

// ---- spans -------------------------------------------------------------------------------

void OBHtmlConversion::BeginSpan(const OBWalkSpan& span) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    CloseRun();
    Utf8Text open;
    switch (span.kind) {
    case OBWALK::kLink: {
        Utf8Text href;
        if (span.link) LinkUrl(*span.link, href);
        if (linkDepth_ > 0 || href.IsEmpty()) {
            if (linkDepth_ > 0 && !span.resumed) report_.Add(OBREPORT::kLinksInLinksLeftOut);
            PushTag(kSpanTag, open, "");
            return;
        }
        open.Append("<a href=\"");
        AppendEscaped(open, href, true);
        open.Append("\">");
        PushTag(kLinkTag, open, "</a>");
        ++linkDepth_;
        return;
    }
    case OBWALK::kRuby:
        BeginRuby(span);
        return;
    case OBWALK::kWarichu:
        BeginWarichu(span);
        return;
    case OBWALK::kKenten: {
        Utf8Text css;
        if (KentenCss(span.element, css)) {
            open.Append("<span class=\"kenten\" style=\"");
            AppendEscaped(open, css, true);
            open.Append("\">");
        }
        PushTag(kSpanTag, open, open.IsEmpty() ? "" : "</span>");
        return;
    }
    default:
        open.Append("<span class=\"tcy\" style=\"text-combine-upright: all\">");
        PushTag(kSpanTag, open, "</span>");
        return;
    }
}

// A ruby: one rt per base character when the readings are one per
// character and as many as the characters, else one rt for the whole base.
void OBHtmlConversion::BeginRuby(const OBWalkSpan& span) {
    Utf8Text open;
    open.Append("<ruby>");
    Element* attributes = span.element->GetChild(EL::kRubiAttributes);
    int position = 0;
    if (GetEnum(OBGetAttributeValue(attributes, AN::kPosition), position) &&
        position == RKPE::kBelowLeft) {
        open.Truncate(0);
        open.Append("<ruby style=\"ruby-position: under\">");
    }
    PushTag(kRubyTag, open, "</ruby>");
    int level = tagCount_ - 1;
    tags_[level].group = 1;
    const OBWalkText* text = walker_.CurrentText();
    WOBString reading;
    if (span.resumed || !text || !PerCharacterRuby(span.element) ||
        !Units(OBGetAttributeValue(span.element, AN::kRubiText), reading))
        return;
    // Readings and base characters, each counted.
    const unsigned short* r = reading.GrabWString();
    RubyPairs pairs(text->units, span.start, span.end, r, reading.Length());
    if (!pairs.Matches()) return;
    long long at = 0, from = 0, to = 0;
    while (pairs.Next(at, from, to)) {
        Utf8Text markup;
        markup.Append("<rp>(</rp><rt>");
        AppendEscapedUtf16(markup, r + from, to - from);
        markup.Append("</rt><rp>)</rp>");
        AddSplit(at, level, markup);
    }
    tags_[level].group = 0;
}

// Warichu: two lines in an inline box, the first holding the first half
// of the characters.
void OBHtmlConversion::BeginWarichu(const OBWalkSpan& span) {
    Utf8Text open;
    open.Append("<span class=\"warichu\" style=\"display: inline-flex; flex-direction: column; "
                "vertical-align: middle; font-size: 50%; line-height: 1.1\">"
                "<span class=\"warichu-line\">");
    PushTag(kWarichuTag, open, "</span></span>");
    const OBWalkText* text = walker_.CurrentText();
    if (span.resumed || !text) return;
    long long half = (CountCharacters(text->units, span.start, span.end) + 1) / 2, at = span.start;
    for (long long k = 0; k < half && at < span.end; ++k)
        at = NextCharacter(text->units, at, span.end);
    if (at <= span.start || at >= span.end) return;
    Utf8Text markup;
    markup.Append("</span><span class=\"warichu-line\">");
    AddSplit(at, tagCount_ - 1, markup);
}

void OBHtmlConversion::EndSpan(const OBWalkSpan& span) {
    if (blockCount_ == 0) return;
    CloseRun();
    if (!span.continues) ReachPosition(span.end);
    if (tagCount_ <= Top().tagBase) return;
    Tag& tag = tags_[tagCount_ - 1];
    if (tag.kind == kRubyTag) {
        if (span.continues) {
            body_.Append("<rt></rt>"); // the reading goes with the last piece
        } else if (tag.group) {
            WOBString reading;
            Units(OBGetAttributeValue(span.element, AN::kRubiText), reading);
            body_.Append("<rp>(</rp><rt>");
            AppendEscapedUtf16(body_, reading.GrabWString(), reading.Length());
            body_.Append("</rt><rp>)</rp>");
        }
    }
    PopTag();
}

// ---- anchored things ------------------------------------------------------------------------

void OBHtmlConversion::OnTarget(const OBWalkTarget& target) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    body_.Append("<span id=\"target-");
    body_.AppendNumber(target.number);
    body_.Append("\"></span>");
}

void OBHtmlConversion::OnFootnote(const OBWalkNote& note, const OBWalkRun&) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    Note entry = {note.number, note.text};
    if (!(note.endnote ? endnotes_ : footnotes_).Add(entry)) problems_.Report(OBERR::kOutOfMemory);
    if (linkDepth_ > 0) {
        body_.Append("<sup class=\"noteref\" id=\"noteref-");
    } else {
        body_.Append("<a class=\"noteref\" href=\"#note-");
        body_.AppendNumber(note.number);
        body_.Append("\" id=\"noteref-");
    }
    body_.AppendNumber(note.number);
    body_.Append(linkDepth_ > 0 ? "\">" : "\" role=\"doc-noteref\"><sup>");
    body_.AppendNumber(note.number);
    body_.Append(linkDepth_ > 0 ? "</sup>" : "</sup></a>");
    Top().content = true;
}

void OBHtmlConversion::OnVariable(Element* variable, const OBWalkRun& run) {
    if (blockCount_ == 0 || obwalk::IsNoteNumber(walker_.CurrentText(), run)) return;
    EnsureParagraph();
    WOBString shown;
    Units(OBGetAttributeValue(variable, AN::kStaticText), shown);
    body_.Append("<span class=\"variable\">");
    Escaped(shown.GrabWString(), shown.Length());
    body_.Append("</span>");
    Top().content = true;
}

void OBHtmlConversion::OnTable(Element* table, const OBWalkRun&) {
    if (blockCount_ == 0) return;
    CloseRun();
    CloseParagraph();
    Top().table = true;
    const OBWalkText* text = walker_.CurrentText();
    int depth = text ? text->depth + 1 : 1;
    if (depth > OBWALK::kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    OBWalkTable grid;
    if (!walker_.ReadTable(table, grid)) return;
    body_.Append("<table>\n");
    static const char* const kGroups[] = {"thead", "tbody", "tfoot"};
    int bounds[4] = {0, grid.headerRows, grid.rows.Count() - grid.footerRows, grid.rows.Count()};
    for (int group = 0; group < 3; ++group) {
        if (bounds[group] >= bounds[group + 1]) continue;
        body_.Append('<');
        body_.Append(kGroups[group]);
        body_.Append(">\n");
        for (int r = bounds[group]; r < bounds[group + 1]; ++r) {
            const OBWalkRow row = grid.rows[r];
            body_.Append("<tr>");
            for (int k = row.firstCell; k < row.firstCell + row.cellCount; ++k) {
                const OBWalkCell cell = grid.cells[k];
                body_.Append(group == 0 ? "<th" : "<td");
                if (cell.rowSpan > 1) {
                    body_.Append(" rowspan=\"");
                    body_.AppendNumber(cell.rowSpan);
                    body_.Append('"');
                }
                if (cell.columnSpan > 1) {
                    body_.Append(" colspan=\"");
                    body_.AppendNumber(cell.columnSpan);
                    body_.Append('"');
                }
                body_.Append('>');
                if (cell.text) walker_.Walk(cell.text, OBWALK::kCellText, depth + 1);
                body_.Append(group == 0 ? "</th>" : "</td>");
            }
            body_.Append("</tr>\n");
        }
        body_.Append("</");
        body_.Append(kGroups[group]);
        body_.Append(">\n");
    }
    body_.Append("</table>\n");
}

void OBHtmlConversion::OnPicture(const OBWalkPicture& picture) {
    ++pictures_;
    if (picture.path.IsEmpty()) return; // counted by the walker
    Utf8Text img;
    Utf8Text url;
    PathToUrl(picture.path, options_.pictureFolder, url);
    img.Append("<img src=\"");
    AppendEscaped(img, url, true);
    img.Append("\" alt=\"");
    AppendEscaped(img, picture.alt, true);
    img.Append('"');
    double width = picture.box.Width().Value();
    if (width > 0 && width < 1e6) {
        img.Append(" style=\"width: ");
        img.AppendReal(width, 2);
        img.Append("pt\"");
    }
    img.Append('>');
    Utf8Text href;
    if (picture.link && (!picture.inlined || linkDepth_ == 0)) LinkUrl(*picture.link, href);
    if (picture.inlined) {
        if (blockCount_ == 0) return;
        EnsureParagraph();
        Top().content = true;
    } else {
        PageMarkers(picture.page, false);
        body_.Append("<figure class=\"picture\">");
    }
    if (!href.IsEmpty()) {
        body_.Append("<a href=\"");
        AppendEscaped(body_, href, true);
        body_.Append("\">");
    }
    body_.Append(img);
    if (!href.IsEmpty()) body_.Append("</a>");
    if (!picture.inlined) body_.Append("</figure>\n");
}

// ---- escaping -----------------------------------------------------------------------------

void OBHtmlConversion::Escaped(const unsigned short* units, long long n) {
    AppendEscapedUtf16(body_, units, n);
}

// Text as HTML: the characters with a meaning escaped, controls and
// noncharacters (which HTML does not allow) as U+FFFD. In blocks: each unit
// takes at most 5 bytes ("&amp;"), a pair 4 for its 2 units.
void OBHtmlConversion::AppendEscapedUtf16(Utf8Text& out, const unsigned short* units, long long n) {
    constexpr long long kBlock = 4096;
    for (long long i = 0; units && i < n;) {
        long long end = n - i > kBlock ? i + kBlock : n;
        char* p = out.Reserve(5 * (end - i) + 1);
        if (!p) return;
        char* start = p;
        while (i < end) {
#if defined(__SSE2__)
            // Printable ASCII without escapes, sixteen units a step: sixteen
            // bytes go down; those of the plain units before the first other count.
            while (end - i >= 16) {
                __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
                __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
                __m128i bytes = _mm_packus_epi16(a, b); // units above 0xFF as 0xFF
                __m128i high = _mm_packs_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
                __m128i ok = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x1F)),
                                           _mm_cmpeq_epi8(high, _mm_setzero_si128()));
                __m128i special =
                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')),
                                              _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<'))),
                                 _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('>')),
                                              _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F))));
                unsigned plain =
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(special, ok)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
                int taken = plain == 0xFFFF ? 16 : __builtin_ctz(~plain);
                p += taken;
                i += taken;
                if (taken < 16) break;
            }
            if (i == end) break;
#endif
            unsigned short u = units[i];
            if (u >= 0x20 && u < 0x7F && u != '&' && u != '<' && u != '>') {
                *p++ = static_cast<char>(u);
                ++i;
                continue;
            }
            const char* escape = u == '&'   ? "&amp;"
                                 : u == '<' ? "&lt;"
                                 : u == '>' ? "&gt;"
                                            : nullptr;
            bool bad = (u < 0x20 && u != '\t' && u != '\n') || (u >= 0x7F && u < 0xA0) ||
                       u == 0xFFFE || u == 0xFFFF || (u >= 0xFDD0 && u <= 0xFDEF);
            if (!escape && !bad) {
                i += PutUtf8(units, n, i, p);
                continue;
            }
            if (!escape) escape = "\xEF\xBF\xBD";
            while (*escape)
                *p++ = *escape++;
            ++i;
        }
        out.Commit(p - start);
    }
}

void OBHtmlConversion::AppendEscaped(Utf8Text& out, const Utf8Text& text, bool attribute) {
    const char* s = text.Data();
    long long from = 0, n = text.Size();
    for (long long i = 0; i < n;) {
#if defined(__SSE2__)
        // Mostly nothing needs escaping: sixteen bytes a step up to the first that may.
        if (n - i >= 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, _mm_set1_epi8('&')),
                                                     _mm_cmpeq_epi8(a, _mm_set1_epi8('<'))),
                                        _mm_or_si128(_mm_cmpeq_epi8(a, _mm_set1_epi8('>')),
                                                     _mm_cmpeq_epi8(a, _mm_set1_epi8(0x7F))));
            if (attribute) stop = _mm_or_si128(stop, _mm_cmpeq_epi8(a, _mm_set1_epi8('"')));
            // Bytes up to 0x1F, unsigned.
            stop = _mm_or_si128(
                stop, _mm_cmpeq_epi8(_mm_max_epu8(a, _mm_set1_epi8(0x1F)), _mm_set1_epi8(0x1F)));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
            if (mask == 0) {
                i += 16;
                continue;
            }
            i += __builtin_ctz(mask);
        }
#endif
        unsigned char c = static_cast<unsigned char>(s[i]);
        const char* escape = c == '&'                ? "&amp;"
                             : c == '<'              ? "&lt;"
                             : c == '>'              ? "&gt;"
                             : c == '"' && attribute ? "&quot;"
                                                     : nullptr;
        bool bad = (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F;
        if (!escape && !bad) {
            ++i;
            continue;
        }
        out.Append(s + from, i - from);
        if (escape) out.Append(escape);
        from = ++i;
    }
    out.Append(s + from, n - from);
}
