// The pandoc conversion: the JSON it writes, element by element, and the
// walk of stories, texts, runs and spans. The document with its
// metadata is in PandocDocument.cpp, tables and pictures in
// PandocTablesAndPictures.cpp, lists in PandocLists.cpp.
#include "PandocConversion.h"
#include "PandocInlines.h"

#include "JsonText.h"
#include "UnitScan.h"

#include <ombra/views.h>

#include <algorithm>
#include <cstring>
#include <new>

using namespace obwalk;
using namespace obpandoc;

namespace {

constexpr long long kFlushSize = 64 * 1024;

// Text as pandoc inlines: each run of spaces a Space, each word a Str
// whose text append(out, units, count) writes; before() comes before each.
template <class Unit, class Before, class Append>
void Words(const Unit* s, long long n, Utf8Text& out, Before before, Append append) {
    long long i = 0;
    while (i < n) {
        before();
        if (s[i] == ' ') {
            while (i < n && s[i] == ' ')
                ++i;
            out.Append("{\"t\":\"Space\"}");
            continue;
        }
        long long from = i;
        while (i < n && s[i] != ' ')
            ++i;
        out.Append("{\"t\":\"Str\",\"c\":\"");
        append(out, s + from, static_cast<std::size_t>(i - from));
        out.Append("\"}");
    }
}

} // namespace

namespace obpandoc {

void Quoted(Utf8Text& out, const Utf8Text& text) {
    out.Append('"');
    objson::AppendJsonUtf8(out, text.Data(), static_cast<std::size_t>(text.Size()));
    out.Append('"');
}

void Inlines(Utf8Text& out, const Utf8Text& text) {
    bool first = true;
    Words(
        text.Data(), text.Size(), out,
        [&] {
            if (!first) out.Append(',');
            first = false;
        },
        objson::AppendJsonUtf8<Utf8Text>);
}

} // namespace obpandoc

OBPandocConversion::OBPandocConversion(OBStream* output, const OBPandocOptions& options)
    : OBWalkConversion(output, options.includeHidden), options_(options), blockCount_(0),
      language_(nullptr), openRun_(nullptr), runOpen_(false), linkDepth_(0), lastPage_(-1),
      pictures_(0), rubyWide_(false), begun_(false), headers_(0) {}

OBPandocConversion::~OBPandocConversion() = default;

// ---- JSON ---------------------------------------------------------------------------------

void OBPandocConversion::Item() {
    if (frames_.Count() > 0 && frames_.Last().items++ > 0) out_.Append(',');
}

void OBPandocConversion::Open(int kind, const Utf8Text& open, const char* close) {
    Item();
    bool pushed = frames_.Push(kind, open, close);
    out_.Append(open);
    if (!pushed) {
        // Without memory the element stays empty, and the JSON whole.
        problems_.Report(OBERR::kOutOfMemory);
        out_.Append(close);
    }
}

void OBPandocConversion::Close() {
    if (frames_.Count() == 0) return;
    if (frames_.Pop(out_).kind == kLinkFrame) --linkDepth_;
    Flush(false);
}

void OBPandocConversion::CloseTo(int count) {
    while (frames_.Count() > count && frames_.Count() > 0)
        Close();
}

void OBPandocConversion::Leaf(const char* json) {
    Item();
    out_.Append(json);
}

void OBPandocConversion::Leaf(const Utf8Text& json) {
    Item();
    out_.Append(json);
}

// Words as Words writes them. Plain ASCII words (most are) and spaces go
// into room reserved for a stretch of units at once, straight from the
// units; other words take the general way.
void OBPandocConversion::Str(const unsigned short* units, long long n) {
    static const char kOpen[] = "{\"t\":\"Str\",\"c\":\"";
    static const char kSpace[] = "{\"t\":\"Space\"}";
    constexpr long long kOpenSize = sizeof kOpen - 1, kSpaceSize = sizeof kSpace - 1;
    constexpr long long kStretch = 1024;
    // A one-unit word with the comma before it and the end after it takes
    // the most per unit; NarrowPlain may write 8 bytes beyond.
    constexpr long long kMostPerUnit = 1 + kOpenSize + 1 + 2;
    long long* items = frames_.Count() > 0 ? &frames_.Last().items : nullptr;
    long long i = 0;
    while (i < n) {
        const long long stretchEnd = std::min(n, i + kStretch);
        char* const start = out_.Reserve(kMostPerUnit * (stretchEnd - i) + 8);
        if (!start) { // no room: the general way, which counts the failure
            Words(
                units + i, n - i, out_, [this] { Item(); }, objson::AppendJsonUtf16<Utf8Text>);
            return;
        }
        char* p = start;
        bool plain = true;
        while (plain && i < stretchEnd) {
            if (items && (*items)++ > 0) *p++ = ',';
            if (units[i] == ' ') {
                while (i < n && units[i] == ' ')
                    ++i;
                std::memcpy(p, kSpace, kSpaceSize);
                p += kSpaceSize;
                continue;
            }
            const long long end = obscan::NarrowPlain(units, i, stretchEnd, p + kOpenSize);
            plain = end == n || units[end] == ' ';
            if (plain) {
                std::memcpy(p, kOpen, kOpenSize);
                p += kOpenSize + (end - i);
                *p++ = '"';
                *p++ = '}';
                i = end;
            }
        }
        out_.Commit(p - start);
        if (plain) continue;
        // A word with more than plain ASCII, or one beyond the stretch: its
        // item was counted above.
        const long long from = i;
        while (i < n && units[i] != ' ')
            ++i;
        out_.Append(kOpen, kOpenSize);
        objson::AppendJsonUtf16(out_, units + from, static_cast<std::size_t>(i - from));
        out_.Append("\"}", 2);
    }
}

void OBPandocConversion::StrUtf8(const char* text) {
    Item();
    out_.Append("{\"t\":\"Str\",\"c\":\"");
    objson::AppendJsonUtf8(out_, text, std::strlen(text));
    out_.Append("\"}");
}

void OBPandocConversion::Raw(const char* html) {
    Item();
    out_.Append("{\"t\":\"RawInline\",\"c\":[\"html\",\"");
    objson::AppendJsonUtf8(out_, html, std::strlen(html));
    out_.Append("\"]}");
}

// An Attr: [id, [classes], [[key, value]]]; classes space-separated.
void OBPandocConversion::Attr(Utf8Text& out, const char* id, const char* classes, const char* key,
                              const Utf8Text* value) {
    out.Append("[\"");
    objson::AppendJsonUtf8(out, id, std::strlen(id));
    out.Append("\",[");
    for (const char* c = classes; c && *c;) {
        const char* end = std::strchr(c, ' ');
        std::size_t n = end ? static_cast<std::size_t>(end - c) : std::strlen(c);
        if (c != classes) out.Append(',');
        out.Append('"');
        objson::AppendJsonUtf8(out, c, n);
        out.Append('"');
        c = end ? end + 1 : c + n;
    }
    out.Append("],[");
    if (key && value) {
        out.Append("[\"");
        out.Append(key);
        out.Append("\",");
        Quoted(out, *value);
        out.Append(']');
    }
    out.Append("]]");
}

void OBPandocConversion::Flush(bool force) {
    if (force || out_.Size() >= kFlushSize) output_.Write(out_);
}

// ---- stories and texts ------------------------------------------------------------------------

void OBPandocConversion::BeginStory(const OBWalkStory& story) {
    PageAnchors(story.place.firstPage, false);
    Utf8Text open, id, style;
    id.Append("story-");
    id.AppendNumber(story.index + 1);
    style.Append("writing-mode: vertical-rl");
    open.Append("{\"t\":\"Div\",\"c\":[");
    Attr(open, id.Data(), story.vertical ? "story vertical" : "story",
         story.vertical ? "style" : nullptr, &style);
    open.Append(",[");
    Open(kBlockFrame, open, "]]}");
}

void OBPandocConversion::EndStory(const OBWalkStory&) {
    Close();
}

void OBPandocConversion::BeginText(const OBWalkText&) {
    Block block = {frames_.Count(), -1, -1,      nullptr, language_, language_,
                   false,           0,  nullptr, false,   {},        {}};
    if (!PushAt(blocks_, blockCount_, block)) problems_.Report(OBERR::kOutOfMemory);
}

void OBPandocConversion::EndText(const OBWalkText&) {
    if (blockCount_ == 0) return;
    CloseParagraph();
    CloseStyleDiv();
    ListBlocks(OBWalkListItem{}, nullptr);
    CloseTo(Top().frameBase);
    --blockCount_;
}

void OBPandocConversion::BeginParagraph(const OBWalkParagraph& paragraph) {
    if (blockCount_ == 0) return;
    CloseParagraph();
    OBWalkListItem list = paragraph.list;
    if (!ShowsAsList(list, paragraph.marker)) list.kind = OBWALK::kNotListed;
    ListBlocks(list, paragraph.marker);
    Block& block = Top();
    block.pending = true;
    block.table = false;
    block.paragraphStyle = paragraph.style;
    block.language = TextLanguage(paragraph.script, paragraph.characterFormat);
    if (!block.language) block.language = language_;
    block.level = 0;
    if (paragraph.style) {
        auto found = headings_.find(paragraph.style);
        block.level = found != headings_.end()
                          ? found->second
                          : (headings_[paragraph.style] = HeadingLevel(walker_, paragraph.style));
    }
    // In a list the list shows the marker, as the format writes one.
    if (paragraph.marker && list.kind == OBWALK::kNotListed)
        ListMarker(paragraph.marker);
    else if (paragraph.marker)
        report_.Add(OBREPORT::kListMarkersAsFormats);
}

void OBPandocConversion::EndParagraph(const OBWalkParagraph&) {
    if (blockCount_ == 0) return;
    Block& block = Top();
    if (block.pending && block.paragraph < 0 && !block.table) EnsureParagraph(); // an empty one
    CloseParagraph();
    block.pending = false;
    block.table = false;
}

// Opens the paragraph: in the Div that names its style and, where it
// differs from the document's, its language (the one open when the
// paragraph before had the same), a Para or a Header.
void OBPandocConversion::EnsureParagraph() {
    if (blockCount_ == 0) return;
    Block& block = Top();
    if (block.paragraph >= 0) return;
    Element* style = block.pending ? block.paragraphStyle : nullptr;
    // Paragraphs mostly repeat their style: its name is kept.
    const bool named = options_.styleNames && style && block.level == 0;
    if (named && style != namedStyle_) {
        styleName_.Clear();
        GetUtf8(OBGetAttributeValue(style, AN::kName), styleName_);
        namedStyle_ = styleName_.Failed() ? nullptr : style;
    }
    const bool hasName = named && !styleName_.IsEmpty();
    const char* language = block.pending && block.level == 0 ? block.language : language_;
    bool otherLanguage = language && (!language_ || std::strcmp(language, language_) != 0);
    if (block.styleDiv >= 0 &&
        (block.divStyle != style || block.divLanguage != (otherLanguage ? language : language_) ||
         (!hasName && !otherLanguage)))
        CloseStyleDiv();
    Utf8Text& open = scratch_; // kept with its room from paragraph to paragraph
    if ((hasName || otherLanguage) && block.styleDiv < 0) {
        open.Clear();
        open.Append("{\"t\":\"Div\",\"c\":[[\"\",[],[");
        if (hasName) {
            open.Append("[\"custom-style\",");
            Quoted(open, styleName_);
            open.Append(']');
        }
        if (otherLanguage) {
            open.Append(hasName ? ",[\"lang\",\"" : "[\"lang\",\"");
            open.Append(language);
            open.Append("\"]");
        }
        open.Append("]],[");
        Open(kBlockFrame, open, "]]}");
        block.styleDiv = frames_.Count() - 1;
        block.divStyle = style;
        block.divLanguage = otherLanguage ? language : language_;
    }
    open.Clear();
    if (block.pending && block.level > 0) {
        // Headers need identifiers: EPUB splits its chapters at them.
        open.Append("{\"t\":\"Header\",\"c\":[");
        open.AppendNumber(block.level);
        open.Append(",[\"heading-");
        open.AppendNumber(++headers_);
        open.Append("\",[],[]],[");
        Open(kBlockFrame, open, "]]}");
    } else {
        open.Append("{\"t\":\"Para\",\"c\":[");
        Open(kBlockFrame, open, "]}");
    }
    block.paragraph = frames_.Count() - 1;
    WriteDueAnchors();
}

// The anchors of the pages that begin here, as empty Spans.
void OBPandocConversion::WriteDueAnchors() {
    for (int i = 0; i < dueAnchors_.Count(); ++i) {
        Utf8Text anchor, id;
        id.Append("page-");
        id.AppendNumber(walker_.Pages()[dueAnchors_[i]].number);
        anchor.Append("{\"t\":\"Span\",\"c\":[");
        Attr(anchor, id.Data(), nullptr);
        anchor.Append(",[]]}");
        Leaf(anchor);
    }
    dueAnchors_.Clear();
}

void OBPandocConversion::CloseParagraph() {
    if (blockCount_ == 0) return;
    CloseRun();
    Block& block = Top();
    if (block.paragraph < 0) return;
    CloseTo(block.paragraph);
    block.paragraph = -1;
}

void OBPandocConversion::CloseStyleDiv() {
    if (blockCount_ == 0) return;
    Block& block = Top();
    if (block.styleDiv < 0) return;
    CloseParagraph();
    CloseTo(block.styleDiv);
    block.styleDiv = -1;
    block.divStyle = nullptr;
    block.divLanguage = language_;
}

// ---- runs -------------------------------------------------------------------------------------

void OBPandocConversion::CloseRun() {
    while (frames_.Count() > 0 && frames_.Last().kind == kRunFrame)
        Close();
    runOpen_ = false;
}

// Bold, italics and the rest that the run's own formatting or its
// character style set, and the paragraph's does not, as pandoc's inline
// kinds; the character style's name and the run's language in a Span. Their
// openings go into runOpenings_, outermost first, their closes into closes;
// how many.
int OBPandocConversion::RunOpenings(const OBWalkRun& run, const char* closes[kRunKinds]) {
    OBMCharacterAttributes* paragraph = nullptr;
    if (blockCount_ > 0 && Top().paragraphStyle)
        paragraph = walker_.ParagraphStyleCharacterFormat(Top().paragraphStyle);
    OBMResolveCharacterAttributes own(run.local, walker_.CharacterStyleFormat(run.characterStyle));
    auto flag = [&](Value* (OBMCharacterAttributes::*getter)()) {
        bool on = false, under = false;
        GetFlag((own.*getter)(), on);
        if (paragraph) GetFlag((paragraph->*getter)(), under);
        return on && !under;
    };
    // Runs mostly repeat their character style: its name is kept. A style
    // that sets nothing ("[None]", or one based on it alone) is no style to
    // name.
    const bool named = options_.styleNames && run.characterStyle;
    if (named && run.characterStyle != namedRunStyle_) {
        runStyleName_.Clear();
        if (!SetsNothing(walker_, run.characterStyle))
            GetUtf8(OBGetAttributeValue(run.characterStyle, AN::kName), runStyleName_);
        namedRunStyle_ = runStyleName_.Failed() ? nullptr : run.characterStyle;
    }
    const bool hasName = named && !runStyleName_.IsEmpty();
    const char* language = TextLanguage(run.script, run.format);
    const char* around = blockCount_ > 0 && Top().styleDiv >= 0 ? Top().divLanguage : language_;
    if (language && around && std::strcmp(language, around) == 0) language = nullptr;
    int n = 0;
    if (hasName || language) {
        Utf8Text& open = runOpenings_[n];
        open.Clear();
        open.Append("{\"t\":\"Span\",\"c\":[[\"\",[],[");
        if (hasName) {
            open.Append("[\"custom-style\",");
            Quoted(open, runStyleName_);
            open.Append(']');
        }
        if (language) {
            if (hasName) open.Append(',');
            open.Append("[\"lang\",\"");
            open.Append(language);
            open.Append("\"]");
        }
        open.Append("]],[");
        closes[n++] = "]]}";
    }
    int value = 0;
    bool strike =
        GetEnumOf<ValueStrikeThruTypeEnum>(own.GetStrikeThru(), value) && value > STE::kNone;
    int position = 0;
    GetEnumOf<ValueCharacterPositionEnum>(own.GetCharacterPosition(), position);
    int letterCase = 0;
    GetEnumOf<ValueCharacterCaseEnum>(own.GetCharacterCase(), letterCase);
    struct Kind {
        bool on;
        const char* name;
    } kinds[] = {
        {flag(&OBMCharacterAttributes::GetBold), "Strong"},
        {flag(&OBMCharacterAttributes::GetItalics), "Emph"},
        {flag(&OBMCharacterAttributes::GetUnderline), "Underline"},
        {strike, "Strikeout"},
        {position == CPE::kSuperscript || position == CPE::kSuperior, "Superscript"},
        {position == CPE::kSubscript || position == CPE::kInferior, "Subscript"},
        {letterCase == CCE::kSmallCaps || letterCase == CCE::kAllSmallCaps, "SmallCaps"},
    };
    for (const Kind& kind : kinds) {
        if (!kind.on) continue;
        Utf8Text& open = runOpenings_[n];
        open.Clear();
        open.Append("{\"t\":\"");
        open.Append(kind.name);
        open.Append("\",\"c\":[");
        closes[n++] = "]}";
    }
    return n;
}

// The run's inlines. Those of the run before stay open as far as this run
// has the same: runs that differ only in what pandoc's model does not hold
// (a font, a colour) make one Emph, not one each, which markdown writes as
// "*Eug**è**ne*" and reads back as bold.
void OBPandocConversion::OpenRun(const OBWalkRun& run) {
    const char* closes[kRunKinds];
    const int n = RunOpenings(run, closes);
    int first = frames_.Count();
    if (runOpen_)
        while (first > 0 && frames_[first - 1].kind == kRunFrame)
            --first;
    int kept = 0;
    while (kept < n && first + kept < frames_.Count() &&
           frames_.OpenedWith(first + kept, runOpenings_[kept]))
        ++kept;
    CloseTo(first + kept);
    for (int i = kept; i < n; ++i)
        Open(kRunFrame, runOpenings_[i], closes[i]);
    runOpen_ = true;
    openRun_ = run.run;
}

void OBPandocConversion::OnText(const unsigned short* units, long long n, const OBWalkRun& run) {
    if (blockCount_ == 0 || n <= 0) return;
    EnsureParagraph();
    ReachPosition(run.position);
    // A tcy's text stands flat in its Span, in the inlines of the run it begins with.
    if (frames_.Count() == 0 || frames_.Last().kind != kTcyFrame) {
        if (!runOpen_ || openRun_ != run.run) OpenRun(run);
        if (tcyDue_) OpenTcy();
    } else if (openRun_ != run.run && !tcyLossCounted_) {
        CountTcyLoss(run);
    }
    frames_.Cut(
        run.position, n, [&](long long from, long long k) { Str(units + from, k); },
        [this](long long at) { ReachPosition(at); });
}

// A run inside a tcy whose inlines differ from those the tcy stands in
// loses them (the tcy's text is flat): counted once a tcy.
void OBPandocConversion::CountTcyLoss(const OBWalkRun& run) {
    const char* closes[kRunKinds];
    const int n = RunOpenings(run, closes);
    const int tcy = frames_.Count() - 1;
    int first = tcy;
    while (first > 0 && frames_[first - 1].kind == kRunFrame)
        --first;
    bool same = tcy - first == n;
    for (int k = 0; same && k < n; ++k)
        same = frames_.OpenedWith(first + k, runOpenings_[k]);
    if (same) return;
    report_.Add(OBREPORT::kTcyFormattingLeftOut);
    tcyLossCounted_ = true;
}

// Whether nothing but the inlines just opened stands in the paragraph.
bool OBPandocConversion::AtParagraphStart() {
    if (blockCount_ == 0 || Top().paragraph < 0) return false;
    for (int level = Top().paragraph; level < frames_.Count(); ++level)
        if (frames_[level].items > (level + 1 < frames_.Count() ? 1 : 0)) return false;
    return true;
}

void OBPandocConversion::OnBreak(OBWALK::BreakKind kind, const OBWalkRun&) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    if (kind != OBWALK::kTab)
        Leaf("{\"t\":\"LineBreak\"}");
    else if (!AtParagraphStart()) // one that indents the paragraph would make markdown code
        StrUtf8("\t");
}

// The reading of each base character of a per-character ruby goes after
// it, in the ruby's Span: the inlines opened inside close around it, and
// those reopened follow their outer array's items.
void OBPandocConversion::ReachPosition(long long position, int from) {
    frames_.Reach(
        position, out_,
        [this](const char* markup, long long n) {
            Utf8Text reading;
            reading.Append(markup, n);
            Reading(reading);
        },
        [this](MarkupStack::Entry& outer, MarkupStack::Entry& frame) {
            if (outer.items++ > 0) out_.Append(',');
            frame.items = 0;
        },
        from);
}

void OBPandocConversion::AddSplit(long long position, int level, const Utf8Text& markup) {
    if (!frames_.AddSplit(position, level, markup)) problems_.Report(OBERR::kOutOfMemory);
}

// ---- spans ----------------------------------------------------------------------------------

void OBPandocConversion::BeginSpan(const OBWalkSpan& span) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    if (tcyDue_) OpenTcy();
    CloseRun();
    ReachPosition(span.start); // what is due there stands outside the span
    Utf8Text open, css;
    switch (span.kind) {
    case OBWALK::kLink: {
        Utf8Text url;
        if (span.link && !LinkUrl(*span.link, url) && !span.resumed)
            report_.Add(OBREPORT::kScriptLinksLeftOut);
        if (linkDepth_ > 0 || url.IsEmpty()) {
            if (linkDepth_ > 0 && !span.resumed) report_.Add(OBREPORT::kLinksInLinksLeftOut);
            open.Append("{\"t\":\"Span\",\"c\":[[\"\",[],[]],[");
            Open(kSpanFrame, open, "]]}");
            return;
        }
        Utf8Text close;
        close.Append("],[");
        Quoted(close, url);
        close.Append(",\"\"]]}");
        open.Append("{\"t\":\"Link\",\"c\":[[\"\",[],[]],[");
        Open(kLinkFrame, open, close.Data());
        ++linkDepth_;
        return;
    }
    case OBWALK::kRuby:
        BeginRuby(span);
        return;
    case OBWALK::kKenten:
        KentenCss(span.element, css);
        open.Append("{\"t\":\"Span\",\"c\":[");
        Attr(open, "", "kenten", css.IsEmpty() ? nullptr : "style", &css);
        open.Append(",[");
        Open(kSpanFrame, open, "]]}");
        return;
    case OBWALK::kTcy:
        tcyDue_ = true;
        if (!span.resumed) tcyLossCounted_ = false;
        return;
    default: { // warichu: in parentheses
        open.Append("{\"t\":\"Span\",\"c\":[");
        Attr(open, "", "warichu", nullptr);
        open.Append(",[");
        Open(kSpanFrame, open, "]]}");
        const OBWalkText* text = walker_.CurrentText();
        bool wide = text && IsIdeographic(text->units[span.start]);
        if (!span.resumed) StrUtf8(wide ? "\xEF\xBC\x88" : "(");
        return;
    }
    }
}

// The span's own points go before it closes, those around it after.
void OBPandocConversion::EndSpan(const OBWalkSpan& span) {
    if (blockCount_ == 0) return;
    if (span.kind == OBWALK::kTcy && tcyDue_) {
        tcyDue_ = false; // no text, no Span
        return;
    }
    if (frames_.Count() == 0 || frames_.Last().kind != kTcyFrame) CloseRun();
    const bool open = frames_.Count() > Top().frameBase;
    // A piece that ends before its span does holds what is due up to its end.
    ReachPosition(span.continues ? span.at : span.end, open ? frames_.Count() - 1 : 0);
    if (!open) return;
    if (span.kind == OBWALK::kRuby) {
        EndRuby(span);
    } else if (span.kind == OBWALK::kWarichu && !span.continues) {
        const OBWalkText* text = walker_.CurrentText();
        bool wide = text && IsIdeographic(text->units[span.start]);
        StrUtf8(wide ? "\xEF\xBC\x89" : ")");
    }
    Close();
    if (!span.continues) ReachPosition(span.end);
}

void OBPandocConversion::OpenTcy() {
    tcyDue_ = false;
    Utf8Text open, css;
    css.Append("text-combine-upright: all");
    open.Append("{\"t\":\"Span\",\"c\":[");
    Attr(open, "", "tcy", "style", &css);
    open.Append(",[");
    Open(kTcyFrame, open, "]]}");
}

// Ruby: a Span around "<ruby>", the base, the reading in parentheses
// inside HTML rp and rt, and "</ruby>". HTML and EPUB show ruby; every
// other format drops the raw HTML and shows base(reading). A piece that
// the reading does not go with is its base alone, in a plain Span.
void OBPandocConversion::BeginRuby(const OBWalkSpan& span) {
    Utf8Text open;
    const OBWalkText* text = walker_.CurrentText();
    if (BaseAlone(text, span)) {
        open.Append("{\"t\":\"Span\",\"c\":[[\"\",[],[]],[");
        Open(kSpanFrame, open, "]]}");
        return;
    }
    open.Append("{\"t\":\"Span\",\"c\":[");
    Attr(open, "", "ruby", nullptr);
    open.Append(",[");
    int level = frames_.Count();
    Open(kRubyFrame, open, "]]}");
    if (frames_.Count() == level) return; // no memory for it
    frames_[level].group = 1;
    if (options_.ruby == OBPANDOC::kRubyMarkup) Raw(RubyStartTag(span.element));
    rubyWide_ = text && IsIdeographic(text->units[span.start]);
    if (options_.ruby == OBPANDOC::kRubyBaseOnly) return;
    auto split = [&](long long at, const unsigned short* reading, long long n) {
        Utf8Text piece;
        piece.AppendUtf16(reading, n);
        AddSplit(at, level, piece);
    };
    if (PerCharacterReadings(text, span, split)) frames_[level].group = 0;
}

void OBPandocConversion::EndRuby(const OBWalkSpan& span) {
    MarkupStack::Entry& frame = frames_.Last();
    if (frame.kind != kRubyFrame) return; // a piece without reading
    if (span.continues) {
        if (options_.ruby == OBPANDOC::kRubyMarkup) Raw("</ruby>");
        return;
    }
    if (frame.group && options_.ruby != OBPANDOC::kRubyBaseOnly) {
        Utf8Text reading;
        GetUtf8(OBGetAttributeValue(span.element, AN::kRubiText), reading);
        const OBWalkText* text = walker_.CurrentText();
        rubyWide_ = text && IsIdeographic(text->units[span.start]);
        Reading(reading);
    }
    if (options_.ruby == OBPANDOC::kRubyMarkup) Raw("</ruby>");
}

void OBPandocConversion::Reading(const Utf8Text& reading) {
    if (options_.ruby == OBPANDOC::kRubyBaseOnly) return;
    bool markup = options_.ruby == OBPANDOC::kRubyMarkup;
    if (markup) Raw("<rp>");
    StrUtf8(rubyWide_ ? "\xEF\xBC\x88" : "(");
    if (markup) Raw("</rp><rt>");
    Item();
    Inlines(out_, reading);
    if (reading.IsEmpty()) out_.Append("{\"t\":\"Str\",\"c\":\"\"}");
    if (markup) Raw("</rt><rp>");
    StrUtf8(rubyWide_ ? "\xEF\xBC\x89" : ")");
    if (markup) Raw("</rp>");
}

// ---- anchored things ---------------------------------------------------------------------------

void OBPandocConversion::OnTarget(const OBWalkTarget& target) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    Utf8Text anchor, id;
    id.Append("target-");
    id.AppendNumber(target.number);
    anchor.Append("{\"t\":\"Span\",\"c\":[");
    Attr(anchor, id.Data(), nullptr);
    anchor.Append(",[]]}");
    Leaf(anchor);
}

void OBPandocConversion::OnFootnote(const OBWalkNote& note, const OBWalkRun&) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    const OBWalkText* text = walker_.CurrentText();
    Utf8Text open;
    open.Append("{\"t\":\"Note\",\"c\":[");
    Open(kBlockFrame, open, "]}");
    if (note.text) walker_.Walk(note.text, OBWALK::kNoteText, text ? text->depth + 1 : 1);
    Close();
}

void OBPandocConversion::OnVariable(Element* variable, const OBWalkRun& run) {
    if (blockCount_ == 0 || obwalk::IsNoteNumber(walker_.CurrentText(), run)) return;
    EnsureParagraph();
    WOBString shown;
    GetUnits(OBGetAttributeValue(variable, AN::kStaticText), shown);
    Str(shown.GrabWString(), shown.Length());
}
