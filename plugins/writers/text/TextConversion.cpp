#include "TextConversion.h"

#include "WriterTools.h"

#include <ombra/memory.h>
#include <ombra/scripts.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <cmath>
#include <new>

using namespace obwalk;

namespace {

OBWalkOptions WalkOptions(const OBTextWriterOptions& options) {
    OBWalkOptions walk;
    walk.includeHidden = options.includeHidden;
    return walk;
}

// A number for the geometry report: at most three decimals, no trailing zeros.
void FormatNumber(double value, char* out, int size) {
    if (!std::isfinite(value) || std::fabs(value) > 1e12) {
        OBSnprintf(out, static_cast<std::size_t>(size), "?");
        return;
    }
    long long scaled = std::llround(std::fabs(value) * 1000.0);
    long long whole = scaled / 1000;
    int fraction = static_cast<int>(scaled % 1000);
    const char* sign = value < 0 && scaled != 0 ? "-" : "";
    if (fraction == 0) {
        OBSnprintf(out, static_cast<std::size_t>(size), "%s%lld", sign, whole);
        return;
    }
    char digits[4];
    OBSnprintf(digits, sizeof digits, "%03d", fraction);
    int n = 3;
    while (n > 0 && digits[n - 1] == '0')
        --n;
    digits[n] = 0;
    OBSnprintf(out, static_cast<std::size_t>(size), "%s%lld.%s", sign, whole, digits);
}

const char* UnitLabel(UNITS::LINEAR::UnitEnum unit) {
    switch (unit) {
    case UNITS::LINEAR::kInches:
        return "in";
    case UNITS::LINEAR::kTwips:
        return "twips";
    default:
        return "pt";
    }
}

} // namespace

OBTextConversion::OBTextConversion(OBStream* output, const OBTextWriterOptions& options)
    : options_(options), encoder_(output, options, problems_), lines_(encoder_, options.wrapColumn),
      walker_(*this, problems_, WalkOptions(options)), cellMode_(kCellText), bodyCount_(0),
      storiesWritten_(0), previousLastPage_(-1), reported_(false), afterBlock_(false),
      infoWritten_(!options.documentInfo), begun_(false), finished_(false) {}

OBTextConversion::~OBTextConversion() = default;

void OBTextConversion::PutElement(Element* element) {
    if (finished_) return;
    if (!begun_) {
        begun_ = true;
        encoder_.Begin();
    }
    if (!element) {
        Finish();
        return;
    }
    try {
        if (element->GetElementType() == EL::kPublication && options_.reportGeometry)
            ReportPublication(element);
        walker_.Put(element);
    } catch (const std::bad_alloc&) {
        problems_.Report(OBERR::kOutOfMemory);
        bodyCount_ = 0;
    } catch (...) {
        // An element class of another plug-in threw from an accessor.
        problems_.Report(OBERR::kMalformedInput);
        bodyCount_ = 0;
    }
}

void OBTextConversion::Finish() {
    if (finished_) return;
    if (!begun_) {
        begun_ = true;
        encoder_.Begin();
    }
    try {
        walker_.Finish();
        WriteDocumentInfo();
        if (!endnotes_.IsEmpty()) {
            if (!lines_.IsLineEmpty()) lines_.EndLine();
            if (storiesWritten_ > 0 || reported_) lines_.EndLine();
            WriteNotes(endnotes_, 0);
            WriteNotes(footnotes_, 0); // notes that the endnotes hold
        }
        if (!lines_.IsLineEmpty()) lines_.EndLine();
    } catch (const std::bad_alloc&) {
        problems_.Report(OBERR::kOutOfMemory);
    } catch (...) {
        problems_.Report(OBERR::kMalformedInput);
    }
    encoder_.Flush();
    LogReport();
    finished_ = true;
}

// What plain text cannot hold, counted for the conversion log.
void OBTextConversion::LogReport() {
    const OBWalkCounts& c = walker_.Counts();
    report_.Add(OBREPORT::kStoriesLeftOut, c.storiesLeftOut);
    report_.Add(options_.rubyReadings ? OBREPORT::kRubyAsText : OBREPORT::kRubyLeftOut, c.rubies);
    report_.Add(OBREPORT::kKentenLeftOut, c.kentens);
    report_.Add(OBREPORT::kWarichuAsText, c.warichus);
    report_.Add(OBREPORT::kTcyAsText, c.tcys);
    report_.Add(OBREPORT::kVerticalAsHorizontal, c.verticalStories);
    report_.Add(OBREPORT::kLinksLeftOut, c.links);
    report_.Add(OBREPORT::kPicturesLeftOut, c.pictures);
    report_.Add(OBREPORT::kShapesLeftOut, c.shapes);
    report_.Add(OBREPORT::kTablesAsText, c.tables);
    report_.Add(OBREPORT::kVariablesAsText, c.variables);
    report_.Add(OBREPORT::kObjectStylesIgnored, c.objectStyles);
    report_.Add(OBREPORT::kIndexLeftOut, c.indexEntries);
    report_.Add(OBREPORT::kTocStylesLeftOut, c.tocStyles);
    report_.Add(OBREPORT::kFormattingLeftOut,
                walker_.ParagraphStyleCount() + walker_.CharacterStyleCount());
    report_.Log();
}

// ---- the geometry report -----------------------------------------------------------

void OBTextConversion::ReportPublication(Element* publication) {
    ReportPageSize("Page size", publication, nullptr);
    double top = 0, bottom = 0, left = 0, right = 0;
    UNITS::LINEAR::UnitEnum unit = options_.geometryUnit;
    bool any = GetLength(publication, AN::kTopMargin, unit, top);
    any = GetLength(publication, AN::kBottomMargin, unit, bottom) || any;
    any = GetLength(publication, AN::kLeftMargin, unit, left) || any;
    any = GetLength(publication, AN::kRightMargin, unit, right) || any;
    if (!any) return;
    char t[32], b[32], l[32], r[32], line[192];
    FormatNumber(top, t, sizeof t);
    FormatNumber(bottom, b, sizeof b);
    FormatNumber(left, l, sizeof l);
    FormatNumber(right, r, sizeof r);
    OBSnprintf(line, sizeof line, "Margins: top %s, bottom %s, left %s, right %s %s", t, b, l, r,
               UnitLabel(unit));
    ReportLine(line);
}

// "Title: ..." and the rest of the publication's metadata, each string in
// its own script, before the first story.
void OBTextConversion::WriteDocumentInfo() {
    if (infoWritten_) return;
    infoWritten_ = true;
    Element* meta = walker_.MetaData();
    struct Field {
        const char* label;
        Element* source;
        AN::AttrNameEnum attr;
    } fields[] = {{"Title: ", meta, AN::kTitle},
                  {"Author: ", meta, AN::kAuthor},
                  {"Author: ", walker_.Publication(), AN::kAuthorName},
                  {"Subject: ", meta, AN::kSubject},
                  {"Keywords: ", meta, AN::kKeywords}};
    bool author = false;
    for (const Field& field : fields) {
        WOBString text;
        int script = -1;
        bool isAuthor = field.label[0] == 'A';
        if ((isAuthor && author) ||
            !GetText(OBGetAttributeValue(field.source, field.attr), text, script) || text.IsNull())
            continue;
        author = author || isAuthor;
        if (!lines_.IsLineEmpty()) lines_.EndLine();
        WriteAscii(field.label, WSE::kSystemScript);
        WriteLiteral(text.GrabWString(), text.Length(),
                     script >= 0 ? static_cast<WSE::WritingScriptEnum>(script)
                                 : WSE::kSystemScript);
        lines_.EndLine();
        reported_ = true;
    }
    DocumentInfo info;
    ReadDocumentInfo(walker_, info);
    char line[96];
    if (!info.created.IsEmpty())
        OBSnprintf(line, sizeof line, "Created: %s", info.created.Data()), ReportLine(line);
    if (!info.modified.IsEmpty())
        OBSnprintf(line, sizeof line, "Modified: %s", info.modified.Data()), ReportLine(line);
    if (info.pages > 0) OBSnprintf(line, sizeof line, "Pages: %lld", info.pages), ReportLine(line);
}

void OBTextConversion::OnPage(const OBWalkPage& page) {
    if (!options_.reportGeometry) return;
    char label[48];
    OBSnprintf(label, sizeof label, "Page %lld", page.number);
    ReportPageSize(label, page.master, walker_.Publication());
}

void OBTextConversion::ReportLine(const char* text) {
    if (!lines_.IsLineEmpty()) lines_.EndLine();
    encoder_.WriteAscii(text);
    encoder_.LineEnd();
    reported_ = true;
}

void OBTextConversion::ReportPageSize(const char* label, Element* source, Element* fallback) {
    UNITS::LINEAR::UnitEnum unit = options_.geometryUnit;
    double width = 0, height = 0;
    bool known = GetLength(source, AN::kPageWidth, unit, width) &&
                 GetLength(source, AN::kPageHeight, unit, height);
    if (!known)
        known = GetLength(fallback, AN::kPageWidth, unit, width) &&
                GetLength(fallback, AN::kPageHeight, unit, height);
    char line[160];
    if (known) {
        char w[32], h[32];
        FormatNumber(width, w, sizeof w);
        FormatNumber(height, h, sizeof h);
        OBSnprintf(line, sizeof line, "%s: %s x %s %s", label, w, h, UnitLabel(unit));
    } else {
        OBSnprintf(line, sizeof line, "%s: unknown", label);
    }
    ReportLine(line);
}

// ---- stories and notes ------------------------------------------------------------------

void OBTextConversion::BeginStory(const OBWalkStory& story) {
    WriteDocumentInfo();
    if (!lines_.IsLineEmpty()) lines_.EndLine();
    if (storiesWritten_ > 0 || reported_) {
        int firstPage = story.place.firstPage;
        bool newPage = storiesWritten_ > 0 && firstPage >= 0 && previousLastPage_ >= 0 &&
                       firstPage > previousLastPage_;
        if (options_.markBreaks && newPage)
            WriteBreak();
        else
            lines_.EndLine();
    }
    afterBlock_ = false;
}

void OBTextConversion::EndStory(const OBWalkStory& story) {
    if (!lines_.IsLineEmpty()) lines_.EndLine();
    if (!footnotes_.IsEmpty()) {
        lines_.EndLine();
        WriteNotes(footnotes_, 0);
    }
    ++storiesWritten_;
    if (story.place.lastPage >= 0) previousLastPage_ = story.place.lastPage;
}

void OBTextConversion::WriteNotes(OBBaseTypeCollection<Note>& notes, int depth) {
    // Notes may hold notes of their own, which join the list as it is written.
    for (int i = 0; i < notes.Count(); ++i) {
        Note note = notes[i];
        char marker[24];
        OBSnprintf(marker, sizeof marker, "[%d] ", note.number);
        WriteAscii(marker, WSE::kSystemScript);
        Element* text = note.note->GetChild(EL::kChildStory);
        if (text)
            walker_.Walk(text, OBWALK::kNoteText, depth + 1);
        else
            problems_.Report(OBERR::kMalformedInput);
        if (!lines_.IsLineEmpty()) lines_.EndLine();
    }
    notes.Clear();
}

void OBTextConversion::OnFootnote(const OBWalkNote& note, const OBWalkRun& run) {
    FlushPendingTag();
    Note entry = {note.number, note.note};
    if (!(note.endnote ? endnotes_ : footnotes_).Add(entry)) problems_.Report(OBERR::kOutOfMemory);
    char marker[24];
    OBSnprintf(marker, sizeof marker, "[%d]", note.number);
    WriteAscii(marker, run.script, OBTextLineWrapper::kGlue);
}

// ---- one text: a story's, a note's or a table cell's --------------------------------

void OBTextConversion::BeginText(const OBWalkText& text) {
    Mode mode = text.kind == OBWALK::kStoryText  ? kStoryText
                : text.kind == OBWALK::kNoteText ? kNoteText
                                                 : cellMode_;
    Body body = {mode, options_.markStyles && (mode == kStoryText || mode == kNoteText), 0, false};
    if (!PushAt(bodies_, bodyCount_, body)) problems_.Report(OBERR::kOutOfMemory);
}

void OBTextConversion::EndText(const OBWalkText& text) {
    if (bodyCount_ == 0) return;
    // The tag of a last paragraph that holds nothing but its tag.
    Body& body = Top();
    if (body.pendingTag && !body.blockInParagraph && body.paragraphStart < text.length)
        FlushPendingTag();
    --bodyCount_;
}

// A list paragraph's marker comes first, after its style tag.
void OBTextConversion::BeginParagraph(const OBWalkParagraph& paragraph) {
    if (!paragraph.marker || bodyCount_ == 0) return;
    WOBString marker;
    int script = -1;
    if (!GetText(paragraph.marker, marker, script) || marker.Length() == 0) return;
    FlushPendingTag();
    WriteLiteral(marker.GrabWString(), marker.Length(),
                 script >= 0 ? static_cast<WSE::WritingScriptEnum>(script) : paragraph.script);
}

void OBTextConversion::EndParagraph(const OBWalkParagraph& paragraph) {
    if (!paragraph.hasEnd || bodyCount_ == 0) return;
    const OBWalkText* text = walker_.CurrentText();
    long long length = text ? text->length : 0;
    if (InCell()) {
        if (paragraph.end < length) lines_.Put(' ', text->ScriptAt(paragraph.end - 1));
    } else {
        Body& body = Top();
        if (!body.blockInParagraph) FlushPendingTag();
        if (!(lines_.IsLineEmpty() && afterBlock_)) lines_.EndLine();
        afterBlock_ = false;
        body.blockInParagraph = false;
        body.pendingTag = options_.markStyles && paragraph.end < length;
        body.paragraphStart = paragraph.end;
    }
    for (int i = 0; i < afterParagraph_.Count(); ++i)
        WriteRuby(afterParagraph_[i]);
    afterParagraph_.Clear();
}

// A ruby's base stays on one line with its reading: a wrapped line breaks
// before the base's first character only.
void OBTextConversion::OnText(const unsigned short* units, long long n, const OBWalkRun& run) {
    FlushPendingTag();
    long long free = n;
    if (options_.wrapColumn > 0 && options_.rubyReadings && run.position >= rubyStart_ &&
        run.position < rubyEnd_)
        free = run.position == rubyStart_ ? std::min(n, 1LL) : 0;
    lines_.Put(units, free, run.script);
    lines_.Put(units + free, n - free, run.script, OBTextLineWrapper::kGlue);
    afterBlock_ = false;
}

void OBTextConversion::OnBreak(OBWALK::BreakKind kind, const OBWalkRun& run) {
    if (bodyCount_ == 0) return;
    if (InCell()) {
        lines_.Put(' ', run.script);
        return;
    }
    switch (kind) {
    case OBWALK::kLineBreak:
        FlushPendingTag();
        lines_.EndLine();
        break;
    case OBWALK::kTab:
        FlushPendingTag();
        lines_.Put('\t', run.script);
        afterBlock_ = false;
        break;
    default: // a column or frame break
        if (options_.markBreaks)
            WriteBreak();
        else if (!lines_.IsLineEmpty())
            lines_.EndLine();
        break;
    }
}

void OBTextConversion::BeginSpan(const OBWalkSpan& span) {
    if (span.kind == OBWALK::kRuby) rubyStart_ = span.start, rubyEnd_ = span.end;
}

// Ruby readings follow the last character of their base, after the
// paragraph's end when that is the last character.
void OBTextConversion::EndSpan(const OBWalkSpan& span) {
    if (span.kind == OBWALK::kRuby) rubyStart_ = rubyEnd_ = -1;
    if (span.kind != OBWALK::kRuby || span.continues || !options_.rubyReadings) return;
    const OBWalkText* text = walker_.CurrentText();
    if (text && text->units[span.end - 1] == 0x2029) {
        if (!afterParagraph_.Add(span)) problems_.Report(OBERR::kOutOfMemory);
        return;
    }
    WriteRuby(span);
}

void OBTextConversion::WriteRuby(const OBWalkSpan& span) {
    WOBString reading;
    int readingScript = -1;
    if (!GetText(OBGetAttributeValue(span.element, AN::kRubiText), reading, readingScript) ||
        reading.IsNull())
        return;
    const OBWalkText* text = walker_.CurrentText();
    if (!text) return;
    WSE::WritingScriptEnum s = readingScript >= 0
                                   ? static_cast<WSE::WritingScriptEnum>(readingScript)
                                   : text->ScriptAt(span.start);
    bool wide = IsIdeographic(text->units[span.start]);
    lines_.Put(wide ? 0xFF08 : '(', s, OBTextLineWrapper::kGlue);
    WriteLiteral(reading.GrabWString(), reading.Length(), s, OBTextLineWrapper::kGlue);
    lines_.Put(wide ? 0xFF09 : ')', s, OBTextLineWrapper::kGlue);
}

void OBTextConversion::OnVariable(Element* variable, const OBWalkRun& run) {
    FlushPendingTag();
    WOBString shown;
    int script = -1;
    if (GetText(OBGetAttributeValue(variable, AN::kStaticText), shown, script))
        WriteLiteral(shown.GrabWString(), shown.Length(),
                     script >= 0 ? static_cast<WSE::WritingScriptEnum>(script) : run.script);
}

void OBTextConversion::OnTable(Element* table, const OBWalkRun& run) {
    const OBWalkText* text = walker_.CurrentText();
    if (bodyCount_ == 0 || !text) return;
    if (InCell()) {
        lines_.Put(' ', run.script);
        WriteTable(table, kInlineCellText, text->depth + 1);
    } else {
        // A paragraph that holds only a table gets no tag.
        WriteTable(table, Top().mode, text->depth + 1);
        if (bodyCount_ > 0) Top().blockInParagraph = true;
    }
}

void OBTextConversion::FlushPendingTag() {
    if (bodyCount_ == 0 || !Top().pendingTag) return;
    Top().pendingTag = false;
    WriteStyleTag(Top().paragraphStart);
}

void OBTextConversion::WriteStyleTag(long long position) {
    Element* style = walker_.ParagraphStyleOf(walker_.ParagraphRunAt(position));
    WOBString name;
    int nameScript = -1;
    if (!style || !GetText(OBGetAttributeValue(style, AN::kName), name, nameScript)) return;
    const OBWalkText* text = walker_.CurrentText();
    WSE::WritingScriptEnum script = nameScript >= 0
                                        ? static_cast<WSE::WritingScriptEnum>(nameScript)
                                        : (text ? text->ScriptAt(position) : WSE::kSystemScript);
    const unsigned short* t = options_.styleTemplate.GrabWString();
    long long n = options_.styleTemplate.Length();
    for (long long i = 0; i < n; ++i) {
        if (t[i] == '%' && i + 1 < n && t[i + 1] == 's') {
            WriteLiteral(name.GrabWString(), name.Length(), script);
            ++i;
        } else if (t[i] == '%' && i + 1 < n && t[i + 1] == '%') {
            WriteLiteral(t + i, 1, script);
            ++i;
        } else {
            WriteLiteral(t + i, 1, script);
        }
    }
}

// ---- tables --------------------------------------------------------------------

void OBTextConversion::WriteTable(Element* table, Mode mode, int depth) {
    if (depth > OBWALK::kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    const bool inlineCells = mode == kInlineCellText;
    OBWalkTable grid;
    if (!walker_.ReadTable(table, grid)) return;
    if (!inlineCells && !lines_.IsLineEmpty()) lines_.EndLine();
    bool firstCell = true;
    for (int r = 0; r < grid.rows.Count(); ++r) {
        const OBWalkRow row = grid.rows[r];
        int column = 0;
        for (int k = row.firstCell; k < row.firstCell + row.cellCount; ++k) {
            const OBWalkCell cell = grid.cells[k];
            if (!cell.cell) continue; // a place no cell fills: the tabs around say it
            if (inlineCells) {
                if (!firstCell) lines_.Put(' ', WSE::kSystemScript);
            } else {
                for (; column < cell.column; ++column)
                    if (column > 0) lines_.Put('\t', WSE::kSystemScript);
                if (cell.column > 0) lines_.Put('\t', WSE::kSystemScript);
            }
            firstCell = false;
            if (cell.text) {
                cellMode_ = inlineCells ? kInlineCellText : kCellText;
                walker_.Walk(cell.text, OBWALK::kCellText, depth + 1);
            }
            int last = cell.column + cell.columnSpan - 1;
            for (column = cell.column + 1; column <= last; ++column)
                if (!inlineCells) lines_.Put('\t', WSE::kSystemScript);
        }
        if (!inlineCells) {
            for (; column < row.width; ++column)
                if (column > 0) lines_.Put('\t', WSE::kSystemScript);
            lines_.EndLine();
        }
    }
    if (!inlineCells) afterBlock_ = true;
}

// ---- writing -----------------------------------------------------------------------

void OBTextConversion::WriteBreak() {
    if (!lines_.IsLineEmpty()) lines_.EndLine();
    WriteLiteral(options_.breakText.GrabWString(), options_.breakText.Length(), WSE::kSystemScript);
    lines_.EndLine();
    afterBlock_ = false;
}

void OBTextConversion::WriteLiteral(const unsigned short* units, long long n,
                                    WSE::WritingScriptEnum script, unsigned flags) {
    for (long long i = 0; units && i < n; ++i) {
        if (units[i] == 0x0A)
            lines_.EndLine();
        else
            lines_.Put(units[i], script, flags);
    }
    if (n > 0) afterBlock_ = false;
}

void OBTextConversion::WriteAscii(const char* text, WSE::WritingScriptEnum script, unsigned flags) {
    for (; text && *text; ++text) {
        lines_.Put(static_cast<unsigned char>(*text), script, flags);
        flags &= ~static_cast<unsigned>(OBTextLineWrapper::kGlue);
    }
    afterBlock_ = false;
}
