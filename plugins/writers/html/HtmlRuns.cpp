// The HTML conversion's inline runs: runs with their formatting, spans
// (links, ruby, warichu), notes and variables in the text, and text
// escaped as HTML.
#include "HtmlConversion.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

using namespace obwalk;

namespace {

// Plain units are printable ASCII without an escape. Packed to bytes with
// unsigned saturation every other unit becomes 0x00 or a byte from 0x80 up,
// so "above 0x1F as a signed byte" leaves out controls and non-ASCII at once.

#if defined(__x86_64__)
inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// The plain units at the start of units (n >= 32), 32 a step, as bytes at
// out (room for n): how many. Bytes after them go down too; stopped says
// the step ended at one that is not plain.
__attribute__((target("avx2"))) long long PlainUnitsAvx2(const unsigned short* units, long long n,
                                                         char* out, bool& stopped) {
    long long done = 0;
    stopped = false;
    while (n - done >= 32) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units + done));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units + done + 16));
        __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8); // lanes in order
        __m256i ok = _mm256_cmpgt_epi8(bytes, _mm256_set1_epi8(0x1F));
        __m256i special =
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('&')),
                                            _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('<'))),
                            _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('>')),
                                            _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(0x7F))));
        auto plain = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_andnot_si256(special, ok)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), bytes);
        int taken = plain == 0xFFFFFFFFu ? 32 : __builtin_ctz(~plain);
        done += taken;
        if (taken < 32) {
            stopped = true;
            break;
        }
    }
    return done;
}
#endif

#if defined(__SSE2__)
// Sixteen units packed to bytes, and which of them are plain (a bit each).
inline unsigned PlainMask16(const unsigned short* units, __m128i& bytes) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
    bytes = _mm_packus_epi16(a, b);
    __m128i ok = _mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x1F));
    __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')),
                                                _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<'))),
                                   _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('>')),
                                                _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F))));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(special, ok)));
}

// The last units before end (3 to 15 of them, end >= 16) as bytes at out
// (room for 16) when all are plain: the 16 units that end there are looked
// at once, those before them only read.
inline bool PlainTail(const unsigned short* units, long long rest, long long end, char* out) {
    __m128i bytes;
    unsigned plain = PlainMask16(units + end - 16, bytes);
    unsigned wanted = (0xFFFFu << (16 - rest)) & 0xFFFFu;
    if ((plain & wanted) != wanted) return false;
    alignas(16) char shifted[32] = {};
    _mm_store_si128(reinterpret_cast<__m128i*>(shifted), bytes);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(shifted + 16 - rest)));
    return true;
}

// As PlainUnitsAvx2 for n >= 16, with as wide steps as the processor has.
inline long long PlainUnits(const unsigned short* units, long long n, char* out) {
    long long done = 0;
#if defined(__x86_64__)
    if (n >= 32 && HasAvx2()) {
        bool stopped = false;
        done = PlainUnitsAvx2(units, n, out, stopped);
        if (stopped) return done;
    }
#endif
    while (n - done >= 16) {
        __m128i bytes;
        unsigned plain = PlainMask16(units + done, bytes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), bytes);
        int taken = plain == 0xFFFF ? 16 : __builtin_ctz(~plain);
        done += taken;
        if (taken < 16) break;
    }
    return done;
}
#endif

} // namespace

// ---- runs ------------------------------------------------------------------------------

// Keeps the CSS of what lies under the runs (their character style's and
// the paragraph's) while the paragraph and the run's character style stay.
void OBHtmlConversion::UnderRun(const OBWalkRun& run) {
    if (underValid_ && underStyle_ == run.characterStyle) return;
    using R = OBHtmlStyles::RunValues;
    // RunMarkup has read what lies under this run.
    underValid_ = true;
    underStyle_ = run.characterStyle;
    // Paragraphs mostly repeat what lies under their runs: the very values
    // (their styles'), or the same CSS.
    if (under_ && std::equal(underValues_.v, underValues_.v + R::kCssCount, underCssValues_))
        return;
    std::copy(underValues_.v, underValues_.v + R::kCssCount, underCssValues_);
    nextUnderCss_.Clear();
    unsigned long long serial =
        run.inherited ? styles_.CharacterCss(underValues_, nextUnderCss_) : 0;
    // Or the same CSS from other values (each paragraph's own): the kept
    // CSS it was made of tells.
    if (under_ && serial != 0 && serial == underSerial_) return;
    under_ = &unders_.Of(nextUnderCss_);
    underSerial_ = serial;
}

// The run's own CSS as a style attribute, without what its character style
// and paragraph give it already (older documents repeat the whole
// formatting on every run). Runs repeat a few: the attribute is kept by the
// kept CSS it was made of and the version of what lay under it.
void OBHtmlConversion::RunStyle(const OBWalkRun& run, const OBHtmlStyles::RunValues& own,
                                bool strong, bool em, Utf8Text& open) {
    Utf8Text& css = scratchCss_;
    css.Clear();
    unsigned long long serial = styles_.CharacterCss(own, css, strong, em);
    if (css.IsEmpty()) return;
    UnderRun(run);
    for (const RunStyleEntry& entry : runStyles_)
        if (serial != 0 && entry.serial == serial && entry.version == under_->version) {
            open.Append(entry.attribute);
            return;
        }
    runRepeats_.Apply(css, under_->declarations, under_->version);
    RunStyleEntry& entry = runStyles_[nextRunStyle_];
    nextRunStyle_ = (nextRunStyle_ + 1) % kRunStyles;
    entry.serial = 0; // until it holds the attribute
    entry.attribute.Clear();
    AppendStyleAttribute(entry.attribute, css);
    open.Append(entry.attribute);
    if (entry.attribute.Failed()) return;
    entry.serial = serial;
    entry.version = under_->version;
}

// The run's character style as a class, its own formatting as an inline
// style (bold and italics as strong and em where what lies under it is
// neither), and its language where it differs from the document's: the
// span's opening tag in span (empty when the run needs none), and whether
// strong and em follow it. Its losses are counted unless countLosses is off.
void OBHtmlConversion::RunMarkup(const OBWalkRun& run, Utf8Text& span, bool& strong, bool& em,
                                 bool countLosses) {
    // The run's formatting is its own over what lies under it, which stays
    // while the paragraph and the run's character style do.
    if (!underValuesValid_ || underValuesStyle_ != run.characterStyle) {
        styles_.ReadValues(run.inherited, underValues_, OBHtmlStyles::RunValues::kAll);
        underValuesStyle_ = run.characterStyle;
        underValuesValid_ = true;
    }
    if (!ownKnown_ || ownSource_ != run.local) {
        ownValues_.Read(run.local);
        ownSource_ = run.local;
        ownKnown_ = true;
    }
    const OBHtmlStyles::RunValues& own = ownValues_;
    using R = OBHtmlStyles::RunValues;
    // The losses and the language come from the whole formatting: the slots
    // after the CSS's are all it is asked for.
    R format;
    for (int k = R::kCssCount; k < R::kCount; ++k)
        format.v[k] = own.v[k] ? own.v[k] : underValues_.v[k];
    if (countLosses) styles_.CountRunLosses(format);
    bool bold = false, italic = false, under = false;
    strong = GetFlag(own.v[R::kBold], bold) && bold &&
             !(GetFlag(underValues_.v[R::kBold], under) && under);
    under = false;
    em = GetFlag(own.v[R::kItalics], italic) && italic &&
         !(GetFlag(underValues_.v[R::kItalics], under) && under);
    span.Clear();
    span.Append("<span");
    if (options_.styleClasses) {
        const OBHtmlStyles::Name& name = styles_.CharacterClass(run.characterStyle);
        if (!name.empty()) {
            span.Append(" class=\"");
            span.Append(name.data(), static_cast<long long>(name.size()));
            span.Append('"');
        }
        if (run.local) RunStyle(run, own, strong, em, span);
    }
    if (const char* language = RunLanguage(run.script, format.v[R::kDictionaryLanguage])) {
        span.Append(" lang=\"");
        span.Append(language);
        span.Append('"');
    }
    if (span.Size() > 5)
        span.Append('>');
    else
        span.Clear();
}

// A run that shows as the open one does goes on in its markup: runs that
// differ only in what HTML leaves out (a font) make one span, not one each.
void OBHtmlConversion::OpenRun(const OBWalkRun& run) {
    bool strong = false, em = false;
    Utf8Text& span = scratchOpen_; // kept from run to run with its room
    RunMarkup(run, span, strong, em);
    openRun_ = run.run;
    if (runOpen_ && strong == openStrong_ && em == openEm_ && span.Size() == openSpan_.Size() &&
        std::memcmp(span.Data(), openSpan_.Data(), static_cast<std::size_t>(span.Size())) == 0)
        return;
    CloseRun();
    runOpen_ = true;
    openSpan_ = span;
    openStrong_ = strong;
    openEm_ = em;
    if (!span.IsEmpty()) PushTag(kRunTag, span, "</span>");
    Utf8Text& tag = scratchOpen_;
    tag.Clear();
    if (strong) tag.Append("<strong>"), PushTag(kRunTag, tag, "</strong>"), tag.Clear();
    if (em) tag.Append("<em>"), PushTag(kRunTag, tag, "</em>");
}

// The run's language where it differs from what is around it, or null.
// Runs mostly repeat the last one's script, language and surroundings.
const char* OBHtmlConversion::RunLanguage(int script, Value* dictionaryLanguage) {
    const char* around = blockCount_ > 0 ? Top().language : language_;
    if (runLanguage_.known && runLanguage_.script == script &&
        runLanguage_.value == dictionaryLanguage && runLanguage_.around == around)
        return runLanguage_.shown;
    const char* language = TextLanguage(script, dictionaryLanguage);
    bool differs =
        language && (!around || (language != around && std::strcmp(language, around) != 0));
    runLanguage_ =
        RunLanguageMemo{script, dictionaryLanguage, around, differs ? language : nullptr, true};
    return runLanguage_.shown;
}

void OBHtmlConversion::OnText(const unsigned short* units, long long n, const OBWalkRun& run) {
    if (blockCount_ == 0 || n <= 0) return;
    EnsureParagraph();
    ReachPosition(run.position);
    // A tcy's text stands flat in its span (browsers combine no more), in
    // the markup of the run it begins with.
    if (tags_.Count() == 0 || tags_.Last().kind != kTcyTag) {
        if (!runOpen_ || openRun_ != run.run) OpenRun(run);
        if (tcyDue_) OpenTcy();
    } else if (openRun_ != run.run && !tcyLossCounted_) {
        CountTcyLoss(run);
    }
    NoteTitle(units, n);
    tags_.Cut(
        run.position, n, [&](long long from, long long k) { Escaped(units + from, k); },
        [this](long long at) { ReachPosition(at); });
    Top().content = true;
}

// A run inside a tcy whose markup differs from the one the tcy stands in
// loses it (the tcy's text is flat): counted once a tcy.
void OBHtmlConversion::CountTcyLoss(const OBWalkRun& run) {
    bool strong = false, em = false;
    Utf8Text& span = scratchOpen_;
    RunMarkup(run, span, strong, em, false);
    if (strong == openStrong_ && em == openEm_ && span.Size() == openSpan_.Size() &&
        std::memcmp(span.Data(), openSpan_.Data(), static_cast<std::size_t>(span.Size())) == 0)
        return;
    report_.Add(OBREPORT::kTcyFormattingLeftOut);
    tcyLossCounted_ = true;
}

// The first heading's text, and the first paragraph's, for a title when
// the metadata has none; a break in them (n is 0) is a space there.
void OBHtmlConversion::NoteTitle(const unsigned short* units, long long n) {
    static const unsigned short kSpace = ' ';
    const bool separator = n == 0;
    if (separator) units = &kSpace, n = 1;
    n = std::min(n, 256LL); // more than a title shows (ShortTitle)
    if (headingText_ && firstHeading_.Size() < 200 && !(separator && firstHeading_.IsEmpty()))
        firstHeading_.AppendUtf16(units, n);
    if (firstText_.Size() < 80 && (firstText_.IsEmpty() ? !separator : firstParagraph_))
        firstText_.AppendUtf16(units, n), firstParagraph_ = true;
}

// Writes the markup due between characters up to position: one ruby
// reading per base character, the line change of a warichu (of the
// elements from level from up). The elements opened inside the ruby or
// warichu close around it.
void OBHtmlConversion::ReachPosition(long long position, int from) {
    tags_.Reach(
        position, body_, [this](const char* markup, long long n) { body_.Append(markup, n); },
        [](MarkupStack::Entry&, MarkupStack::Entry&) {}, from);
}

void OBHtmlConversion::AddSplit(long long position, int level, const Utf8Text& markup) {
    if (!tags_.AddSplit(position, level, markup)) problems_.Report(OBERR::kOutOfMemory);
}

// ---- spans -------------------------------------------------------------------------------

void OBHtmlConversion::BeginSpan(const OBWalkSpan& span) {
    if (blockCount_ == 0) return;
    EnsureParagraph();
    if (tcyDue_) OpenTcy();
    CloseRun();
    ReachPosition(span.start); // what is due there stands outside the span
    Utf8Text open;
    switch (span.kind) {
    case OBWALK::kLink: {
        Utf8Text href;
        if (span.link && !LinkUrl(*span.link, href) && !span.resumed)
            report_.Add(OBREPORT::kScriptLinksLeftOut);
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
        tcyDue_ = true;
        if (!span.resumed) tcyLossCounted_ = false;
        return;
    }
}

void OBHtmlConversion::OpenTcy() {
    tcyDue_ = false;
    Utf8Text open;
    open.Append("<span class=\"tcy\" style=\"text-combine-upright: all\">");
    PushTag(kTcyTag, open, "</span>");
}

// A ruby: one rt per base character when the readings are one per
// character and as many as the characters, else one rt for the whole base.
// A piece that the reading does not go with is its base alone.
void OBHtmlConversion::BeginRuby(const OBWalkSpan& span) {
    Utf8Text open;
    if (BaseAlone(walker_.CurrentText(), span)) {
        PushTag(kSpanTag, open, "");
        return;
    }
    open.Append(RubyStartTag(span.element));
    int level = tags_.Count();
    PushTag(kRubyTag, open, "</ruby>");
    if (tags_.Count() == level) return; // no memory for it
    tags_[level].group = 1;
    auto split = [&](long long at, const unsigned short* reading, long long n) {
        Utf8Text markup;
        markup.Append("<rp>(</rp><rt>");
        AppendEscapedUtf16(markup, reading, n);
        markup.Append("</rt><rp>)</rp>");
        AddSplit(at, level, markup);
    };
    if (PerCharacterReadings(walker_.CurrentText(), span, split)) tags_[level].group = 0;
}

// Warichu: two lines in an inline box, the first holding the first half
// of the characters; a ruby or tcy that half would cut goes whole to the
// line whose half it ends nearer.
void OBHtmlConversion::BeginWarichu(const OBWalkSpan& span) {
    Utf8Text open;
    open.Append("<span class=\"warichu\" style=\"display: inline-flex; flex-direction: column; "
                "vertical-align: middle; font-size: 50%; line-height: 1.1\">"
                "<span class=\"warichu-line\">");
    int level = tags_.Count();
    PushTag(kWarichuTag, open, "</span></span>");
    if (tags_.Count() == level) return; // no memory for it
    const OBWalkText* text = walker_.CurrentText();
    if (span.resumed || !text) return;
    long long half = (CountCharacters(text->units, span.start, span.end) + 1) / 2, at = span.start;
    for (long long k = 0; k < half && at < span.end; ++k)
        at = NextCharacter(text->units, at, span.end);
    long long start = 0, end = 0;
    if (walker_.UncutSpanAcross(at, span.start, start, end))
        at = (end - at <= at - start && end < span.end) || start <= span.start ? end : start;
    if (at <= span.start || at >= span.end) return;
    Utf8Text markup;
    markup.Append("</span><span class=\"warichu-line\">");
    AddSplit(at, level, markup);
}

// The span's own points (a ruby's last reading) go before it closes, those
// of the elements around it after, so that it is not closed and opened
// again empty around them.
void OBHtmlConversion::EndSpan(const OBWalkSpan& span) {
    if (blockCount_ == 0) return;
    if (span.kind == OBWALK::kTcy && tcyDue_) {
        tcyDue_ = false; // no text, no span
        return;
    }
    if (tags_.Count() == 0 || tags_.Last().kind != kTcyTag) CloseRun();
    const bool open = tags_.Count() > Top().tagBase;
    // A piece that ends before its span does holds what is due up to its end.
    ReachPosition(span.continues ? span.at : span.end, open ? tags_.Count() - 1 : 0);
    if (!open) return;
    MarkupStack::Entry& tag = tags_.Last();
    if (tag.kind == kRubyTag && !span.continues && tag.group) {
        WOBString reading;
        GetUnits(OBGetAttributeValue(span.element, AN::kRubiText), reading);
        body_.Append("<rp>(</rp><rt>");
        AppendEscapedUtf16(body_, reading.GrabWString(), reading.Length());
        body_.Append("</rt><rp>)</rp>");
    }
    PopTag();
    if (!span.continues) ReachPosition(span.end);
}

// ---- notes and variables in the text --------------------------------------------------

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
    GetUnits(OBGetAttributeValue(variable, AN::kStaticText), shown);
    body_.Append("<span class=\"variable\">");
    Escaped(shown.GrabWString(), shown.Length());
    body_.Append("</span>");
    Top().content = true;
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
        bool tailTried = false;
        while (i < end) {
#if defined(__SSE2__)
            if (end - i >= 16) {
                long long taken = PlainUnits(units + i, end - i, p);
                p += taken;
                i += taken;
                if (i == end) break;
            } else if (!tailTried && end - i >= 3 && end >= 16) {
                // Room for 16 bytes: the block took 5 for each unit.
                tailTried = true;
                if (PlainTail(units, end - i, end, p)) {
                    p += end - i;
                    i = end;
                    break;
                }
            }
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

// CSS declarations, each ending in "; ", as an escaped style attribute;
// none gives none.
void OBHtmlConversion::AppendStyleAttribute(Utf8Text& out, Utf8Text& css) {
    if (css.IsEmpty()) return;
    css.Truncate(css.Size() - 2); // the last "; "
    out.Append(" style=\"");
    AppendEscaped(out, css, true);
    out.Append('"');
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
