// The HTML conversion's blocks: texts and their paragraphs (p or a
// heading) with the elements open in them, breaks and targets between
// runs, tables and pictures.
#include "HtmlConversion.h"

#include <cstring>

using namespace obwalk;

// ---- texts and paragraphs -------------------------------------------------------------

void OBHtmlConversion::BeginText(const OBWalkText&) {
    underValid_ = underValuesValid_ = underPlain_ = false; // what lies under runs changes
    Block block = {tags_.Count(), blockText_.Size(), 0,         0, false, false, false,
                   false,         pendingNote_,      language_, {}};
    pendingNote_ = 0;
    if (!PushAt(blocks_, blockCount_, block)) problems_.Report(OBERR::kOutOfMemory);
}

void OBHtmlConversion::EndText(const OBWalkText&) {
    underValid_ = underValuesValid_ = underPlain_ = false; // what lies under runs changes
    if (blockCount_ == 0) return;
    CloseRun();
    CloseParagraph();
    ListMarkup(OBWalkListItem{});
    Block& block = Top();
    while (tags_.Count() > block.tagBase)
        PopTag();
    if (block.note) pendingNote_ = block.note; // nothing was written: the caller links back
    blockText_.Truncate(block.attrs);
    --blockCount_;
}

void OBHtmlConversion::BeginParagraph(const OBWalkParagraph& paragraph) {
    if (blockCount_ == 0) {
        underValid_ = underValuesValid_ = false;
        return;
    }
    Block& block = Top();
    CloseRun();
    CloseParagraph();
    ListMarkup(paragraph.list);
    blockText_.Truncate(block.attrs);
    // A paragraph without formatting of its own stands on its style's
    // formatting alone, kept for the conversion: its start tag, and what
    // lies under its runs, are those of the last such paragraph of the
    // style and script.
    Element* run = paragraph.run;
    bool plain = !ParagraphAttributesOf(run) && !CharacterAttributesOf(run);
    if (!plain || !underPlain_ || underFormat_ != paragraph.characterFormat)
        underValid_ = underValuesValid_ = false; // what lies under runs changes
    underPlain_ = plain;
    underFormat_ = paragraph.characterFormat;
    int level = 0;
    const char* language = language_;
    if (const ParagraphStart* start = plain ? FindParagraphStart(paragraph) : nullptr) {
        blockText_.Append(start->tag);
        level = start->level;
        language = start->language;
    } else {
        ParagraphTag(paragraph, level, language);
        if (plain) KeepParagraphStart(paragraph, level, language);
    }
    block.language = language;
    block.attrsLength = blockText_.Size() - block.attrs;
    block.level = level;
    block.pending = true;
    block.table = false;
    styles_.CountParagraphLosses(paragraph.format);
    headingText_ = level > 0 && firstHeading_.IsEmpty();
    if (paragraph.marker) ListMarker(paragraph.marker);
}

// The lists that end before the paragraph, and the one it opens or the
// item it starts. The marker stays the paragraph's text, so the lists
// show none of their own: .list in the embedded stylesheet, else said on
// each list.
void OBHtmlConversion::ListMarkup(const OBWalkListItem& item) {
    obwalk::ListNesting& lists = Top().lists;
    const obwalk::ListNesting::Step step = lists.Next(item);
    for (int d = lists.Depth() - 1; d >= lists.Depth() - step.close; --d)
        body_.Append(lists.At(d).kind == OBWALK::kNumbered ? "</li>\n</ol>\n" : "</li>\n</ul>\n");
    lists.Take(step, item);
    if (step.item) body_.Append("</li>\n<li>");
    if (!step.open) return;
    listsWritten_ = true;
    const char* own = options_.stylesheet == OBHTML::kEmbedded ? "" : " style=\"list-style: none\"";
    body_.Append(item.kind == OBWALK::kBulleted ? "<ul class=\"list\"" : "<ol class=\"list\"");
    body_.Append(own);
    if (item.kind == OBWALK::kBulleted) {
        body_.Append(">\n<li>");
        return;
    }
    if (item.number != 1) {
        body_.Append(" start=\"");
        body_.AppendNumber(item.number);
        body_.Append('"');
    }
    static const struct {
        int style;
        const char* type;
    } kTypes[] = {{PNSE::kLowerAlpha, " type=\"a\""},
                  {PNSE::kUpperAlpha, " type=\"A\""},
                  {PNSE::kLowerRoman, " type=\"i\""},
                  {PNSE::kUpperRoman, " type=\"I\""}};
    for (const auto& t : kTypes)
        if (t.style == item.style) body_.Append(t.type);
    body_.Append(">\n<li>");
}

// The marker's text in a span of its own, its separator after it.
void OBHtmlConversion::ListMarker(Value* marker) {
    const obwalk::MarkerText m(marker);
    if (m.length == 0) return;
    EnsureParagraph();
    body_.Append("<span class=\"list-marker\">");
    Escaped(m.units, m.end);
    body_.Append("</span>");
    Escaped(m.units + m.end, m.length - m.end);
    Top().content = true;
}

const OBHtmlConversion::ParagraphStart*
OBHtmlConversion::FindParagraphStart(const OBWalkParagraph& paragraph) const {
    for (const ParagraphStart& start : paragraphStarts_)
        if (start.known && start.style == paragraph.style &&
            start.format == paragraph.characterFormat && start.script == paragraph.script)
            return &start;
    return nullptr;
}

// Keeps the start tag just made, at the end of blockText_.
void OBHtmlConversion::KeepParagraphStart(const OBWalkParagraph& paragraph, int level,
                                          const char* language) {
    ParagraphStart& start = paragraphStarts_[nextParagraphStart_];
    nextParagraphStart_ = (nextParagraphStart_ + 1) % kParagraphStarts;
    start.known = false;
    start.tag.Clear();
    start.tag.Append(blockText_.Data() + Top().attrs, blockText_.Size() - Top().attrs);
    if (start.tag.Failed()) return;
    start.style = paragraph.style;
    start.format = paragraph.characterFormat;
    start.script = paragraph.script;
    start.level = level;
    start.language = language;
    start.known = true;
}

// The paragraph's start tag, appended to blockText_: p or a heading, its
// style's class, its own formatting as an inline style, its language.
void OBHtmlConversion::ParagraphTag(const OBWalkParagraph& paragraph, int& level,
                                    const char*& language) {
    Element* style = paragraph.style;
    level = HeadingOf(style);
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
        ParagraphStyle(paragraph, tag);
    }
    // The paragraph's language where its first character's script names
    // another than the document's; its runs say theirs where they differ.
    language = language_;
    const char* own = TextLanguage(paragraph.script, paragraph.characterFormat);
    if (own && (!language_ || (own != language_ && std::strcmp(own, language_) != 0))) {
        tag.Append(" lang=\"");
        tag.Append(own);
        tag.Append('"');
        language = own;
    }
    tag.Append('>');
}

// The paragraph run's own formatting as a style attribute, without what
// its style gives already.
void OBHtmlConversion::ParagraphStyle(const OBWalkParagraph& paragraph, Utf8Text& tag) {
    Element* style = paragraph.style;
    Utf8Text& css = scratchCss_;
    css.Clear();
    Element* run = paragraph.run;
    if (!run) return;
    styles_.ParagraphCss(ParagraphAttributesOf(run), css);
    styles_.CharacterCss(CharacterAttributesOf(run), css);
    if (css.IsEmpty()) return;
    if (!styleUnderValid_ || styleUnderStyle_ != style) {
        nextUnderCss_.Clear();
        styles_.ParagraphCss(walker_.ParagraphStyleFormat(style), nextUnderCss_);
        styles_.CharacterCss(walker_.ParagraphStyleCharacterFormat(style), nextUnderCss_);
        styleUnder_ = &styleUnders_.Of(nextUnderCss_);
        styleUnderStyle_ = style;
        styleUnderValid_ = true;
    }
    // Paragraphs repeat a few: the attribute is kept by the CSS it was made
    // of and the version of their style's.
    const unsigned version = styleUnder_->version;
    if (const Utf8Text* kept = paragraphStyles_.Find(css, version)) {
        tag.Append(*kept);
        return;
    }
    OBHtmlKeptTexts::Entry& entry = paragraphStyles_.Claim(css);
    OBHtmlStyles::WithoutRepeats(css, styleUnder_->declarations);
    AppendStyleAttribute(entry.to, css);
    tag.Append(entry.to);
    OBHtmlKeptTexts::Keep(entry, version);
}

void OBHtmlConversion::EndParagraph(const OBWalkParagraph&) {
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
    while (tags_.Count() > block.tagBase)
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

// ---- the elements open in a text -----------------------------------------------------

void OBHtmlConversion::PushTag(int kind, const Utf8Text& open, const char* close) {
    if (!tags_.Push(kind, open, close)) {
        problems_.Report(OBERR::kOutOfMemory);
        return;
    }
    body_.Append(open);
}

void OBHtmlConversion::PopTag() {
    if (tags_.Count() == 0) return;
    if (tags_.Pop(body_).kind == kLinkTag) --linkDepth_;
}

void OBHtmlConversion::CloseRun() {
    while (tags_.Count() > 0 && tags_.Last().kind == kRunTag)
        PopTag();
    runOpen_ = false;
}

// ---- breaks and targets -----------------------------------------------------------------

void OBHtmlConversion::OnBreak(OBWALK::BreakKind kind, const OBWalkRun&) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    NoteTitle(nullptr, 0);
    if (kind == OBWALK::kTab)
        body_.Append('\t');
    else if (kind == OBWALK::kLineBreak)
        body_.Append("<br>");
    else
        body_.Append("<br class=\"frame-break\">");
    Top().content = true;
}

void OBHtmlConversion::OnTarget(const OBWalkTarget& target) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    body_.Append("<span id=\"target-");
    body_.AppendNumber(target.number);
    body_.Append("\"></span>");
}

// ---- tables and pictures -----------------------------------------------------------------

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
    Utf8Text located;
    LocatePicture(picture.path, options_.documentFolder, located);
    PathToUrl(located, options_.pictureFolder, url);
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
    if (picture.link && (!picture.inlined || linkDepth_ == 0) && !LinkUrl(*picture.link, href))
        report_.Add(OBREPORT::kScriptLinksLeftOut);
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
