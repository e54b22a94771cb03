#include "HtmlStyles.h"

#include "WalkFormat.h"
#include "WriterTools.h"

#include <ombra/resolvers.h>
#include <ombra/storedelements.h>
#include <ombra/views.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <typeinfo>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace obwalk;

namespace {

bool Flag(Value* v, bool& out) {
    return GetFlag(v, out);
}

void Size(double points, const char* property, Utf8Text& css) {
    css.Append(property);
    css.Append(": ");
    css.AppendReal(points, 2);
    css.Append(points == 0 ? "; " : "pt; ");
}

void Length(Value* v, const char* property, Utf8Text& css) {
    double points = 0;
    if (GetLength(v, UNITS::LINEAR::kPoints, points)) Size(points, property, css);
}

// A name as a CSS string in single quotes.
void CssString(const Utf8Text& text, Utf8Text& css) {
    css.Append('\'');
    for (long long i = 0; i < text.Size(); ++i) {
        char c = text.Data()[i];
        if (c == '\'' || c == '\\') css.Append('\\');
        if (c == '<')
            css.Append("\\3c "); // never an end tag of the style element
        else if (static_cast<unsigned char>(c) >= 0x20)
            css.Append(c);
    }
    css.Append('\'');
}

} // namespace

OBHtmlStyles::OBHtmlStyles(OBStoryWalker& walker, OBWriterReport& report)
    : walker_(walker), report_(report) {}

const OBHtmlStyles::Name& OBHtmlStyles::ParagraphClass(Element* style) {
    return ClassOf(style, true);
}

const OBHtmlStyles::Name& OBHtmlStyles::CharacterClass(Element* style) {
    return ClassOf(style, false);
}

// "p-" or "c-" and the style's name with what a class cannot hold as '-'.
const OBHtmlStyles::Name& OBHtmlStyles::ClassOf(Element* style, bool paragraph) {
    if (!style) return empty_;
    // Paragraphs and runs mostly repeat the last style of their kind.
    LastClass& last = lastClass_[paragraph ? 1 : 0];
    if (last.style == style)
        return last.index < entries_.size() ? entries_[last.index].name : empty_;
    auto found = classes_.find(style);
    if (found != classes_.end()) {
        last = LastClass{style, found->second};
        return found->second < entries_.size() ? entries_[found->second].name : empty_;
    }
    if (!paragraph) { // a character style that sets nothing ("[None]") gets no class
        Utf8Text css;
        CharacterCss(walker_.CharacterStyleFormat(style), css);
        if (css.IsEmpty()) {
            classes_[style] = kNoClass;
            return empty_;
        }
    }
    Utf8Text text;
    GetUtf8(OBGetAttributeValue(style, AN::kName), text);
    Name name(paragraph ? "p-" : "c-");
    for (long long i = 0; i < text.Size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text.Data()[i]);
        bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                    c == '_' || c >= 0x80;
        if (keep)
            name.push_back(static_cast<char>(c));
        else if (name.back() != '-')
            name.push_back('-');
    }
    while (name.size() > 2 && name.back() == '-')
        name.pop_back();
    if (name.size() == 2) name += "style";
    Name unique = name;
    for (int n = 2; names_.count(unique); ++n)
        unique = name + "-" + Name(std::to_string(n).c_str());
    names_.insert(unique);
    classes_[style] = entries_.size();
    entries_.push_back(Entry{style, paragraph, unique});
    return entries_.back().name;
}

void OBHtmlStyles::Color(unsigned colorId, double shade, const char* property, Utf8Text& css) {
    // Runs mostly repeat a few colours: the last ones met are kept, as text.
    ColorEntry& entry = colors_[colorId % kColorEntries];
    if (!entry.known || entry.id != colorId || entry.shade != shade) {
        int rgb[3];
        bool converted = false;
        entry.known = true;
        entry.id = colorId;
        entry.shade = shade;
        entry.text[0] = '\0';
        if (!ColorRgb(walker_.FindColor(colorId), shade, rgb, converted)) return;
        if (converted && convertedColors_.insert(colorId).second)
            report_.Add(OBREPORT::kColorsConverted);
        std::snprintf(entry.text, sizeof entry.text, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
    }
    const char* text = entry.text;
    if (!*text) return;
    css.Append(property);
    css.Append(": ");
    css.Append(text);
    css.Append("; ");
}

void OBHtmlStyles::ParagraphCss(OBMParagraphAttributes* p, Utf8Text& css) {
    if (!p) return;
    int alignment = 0;
    if (GetEnum(p->GetAlignment(), alignment)) {
        static const char* const kAlign[] = {nullptr,   "left",    "center",  "right", "justify",
                                             "justify", "justify", "justify", "start", "end",
                                             "justify", "center",  "justify"};
        if (alignment > 0 && alignment < 13) {
            css.Append("text-align: ");
            css.Append(kAlign[alignment]);
            css.Append("; ");
            if (alignment == AE::kForceJustify || alignment == AE::kDistribute)
                css.Append("text-align-last: justify; ");
            if (alignment == AE::kJustifyCenter) css.Append("text-align-last: center; ");
            if (alignment == AE::kJustifyRight) css.Append("text-align-last: right; ");
        }
    }
    Length(p->GetLeftIndent(), "margin-inline-start", css);
    Length(p->GetRightIndent(), "margin-inline-end", css);
    Length(p->GetFirstIndent(), "text-indent", css);
    Length(p->GetSpaceBefore(), "margin-block-start", css);
    Length(p->GetSpaceAfter(), "margin-block-end", css);
    double ratio = 0;
    if (GetPercent(p->GetAutoLeading(), ratio) && ratio > 0) {
        css.Append("line-height: ");
        css.AppendReal(ratio, 3);
        css.Append("; ");
    } else {
        Length(p->GetLeading(), "line-height", css);
    }
    int direction = 0;
    if (GetEnum(p->GetDirection(), direction) && direction != DE::kUndefined)
        css.Append(direction == DE::kRightToLeft ? "direction: rtl; " : "direction: ltr; ");
    bool flag = false;
    if (Flag(p->GetPageBreakBefore(), flag) && flag) css.Append("break-before: page; ");
    if (Flag(p->GetColumnBreakBefore(), flag) && flag) css.Append("break-before: column; ");
    if (Flag(p->GetKeepWithNext(), flag) && flag) css.Append("break-after: avoid; ");
}

// Runs and paragraphs mostly take turns among a few fonts: the last ones'
// declarations are kept.
void OBHtmlStyles::FontCss(Value* font, Utf8Text& css) {
    auto* value = ValueAs<ValueString>(font);
    const IOBString* text = value ? value->GetPtr() : nullptr;
    if (!text) return;
    WOBString name; // 8-bit text as UTF-16; UTF-16 is compared where it is
    int script = -1;
    if (!text->IsUnicode()) GetText(font, name, script);
    const IOBString& units16 = text->IsUnicode() ? *text : name;
    const unsigned short* units = units16.GrabWString();
    std::size_t length = static_cast<std::size_t>(units16.Length());
    for (const FontEntry& entry : fonts_)
        if (entry.known && entry.name.size() == length &&
            (length == 0 || std::memcmp(entry.name.data(), units, length * 2) == 0)) {
            css.Append(entry.css);
            return;
        }
    FontEntry& entry = fonts_[nextFont_];
    nextFont_ = (nextFont_ + 1) % kFonts;
    entry.known = false;
    entry.name.assign(reinterpret_cast<const char16_t*>(units), length);
    entry.css.Truncate(0);
    Utf8Text family;
    FontFamily(font, family);
    if (!family.IsEmpty()) {
        entry.css.Append("font-family: ");
        CssString(family, entry.css);
        entry.css.Append("; ");
    }
    entry.known = true;
    css.Append(entry.css);
}

void OBHtmlStyles::RunValues::Read(OBMCharacterAttributes* c, int parts) {
#define OB_HTML_ATTR(Attr) AN::k##Attr,
    static const AN::AttrNameEnum kAttrs[] = {OB_HTML_RUN_VALUES(OB_HTML_ATTR)};
#undef OB_HTML_ATTR
    static const CharacterValueList kList(kAttrs, kCount);
    if (!c) {
        std::fill(v, v + kCount, nullptr);
    } else if (!kList.ReadStored(c, v)) {
#define OB_HTML_GET(Attr) v[k##Attr] = c->Get##Attr();
        if (parts & kCss) {
            OB_HTML_CSS_VALUES(OB_HTML_GET)
        }
        if (parts & kOthers) {
            OB_HTML_OTHER_VALUES(OB_HTML_GET)
            OB_HTML_GET(Bold)
            OB_HTML_GET(Italics)
        }
#undef OB_HTML_GET
    }
}

void OBHtmlStyles::ReadAll(OBMCharacterAttributes* source, Value** out, int depth) {
    constexpr int kCount = RunValues::kCount;
    if (source && &typeid(*source) == &typeid(OBMResolveCharacterAttributes) &&
        depth < OBWALK::kMaxDepth) {
        // What the primary source leaves unset comes from the secondary.
        auto* resolver = static_cast<OBMResolveCharacterAttributes*>(source);
        ReadAll(resolver->GetPrimary(), out, depth + 1);
        if (std::find(out, out + kCount, nullptr) == out + kCount) return;
        Value* secondary[kCount];
        ReadAll(resolver->GetSecondary(), secondary, depth + 1);
        for (int k = 0; k < kCount; ++k)
            if (!out[k]) out[k] = secondary[k];
        return;
    }
    // A style's kept chain, or a stored element (a paragraph's own values,
    // read for its style attribute and again for its runs): both give the
    // same while the conversion lasts.
    const bool chain = source && &typeid(*source) == &typeid(OBWalkKeptCharacter);
    const bool stored = source && &typeid(*source) == &typeid(OBStoredCharacterAttributes);
    ChainValues* ring = chain ? chains_ : stored ? stored_ : nullptr;
    const int size = chain ? kChains : kStored;
    for (int i = 0; ring && i < size; ++i)
        if (ring[i].chain == source) {
            std::copy(ring[i].v, ring[i].v + kCount, out);
            return;
        }
    RunValues values;
    values.Read(source);
    std::copy(values.v, values.v + kCount, out);
    if (!ring) return;
    int& next = chain ? nextChain_ : nextStored_;
    ChainValues& kept = ring[next];
    next = (next + 1) % size;
    kept.chain = source;
    std::copy(values.v, values.v + kCount, kept.v);
}

void OBHtmlStyles::ReadValues(OBMCharacterAttributes* source, RunValues& values, int parts) {
    using R = RunValues;
    const std::type_info* type = source ? &typeid(*source) : nullptr;
    if (type == &typeid(OBStoredCharacterAttributes)) { // which gives all at once
        ReadAll(source, values.v, 0);
        return;
    }
    if (type != &typeid(OBMResolveCharacterAttributes) && type != &typeid(OBWalkKeptCharacter)) {
        values.Read(source, parts);
        return;
    }
    Value* all[R::kCount];
    ReadAll(source, all, 0);
    // Only the parts asked for, as the view's getters give them.
    if (parts & R::kCss) std::copy(all, all + R::kCssCount, values.v);
    if (parts & R::kOthers) {
        std::copy(all + R::kCssCount, all + R::kCount, values.v + R::kCssCount);
        values.v[R::kBold] = all[R::kBold];
        values.v[R::kItalics] = all[R::kItalics];
    }
}

OBHtmlStyles::Facts OBHtmlStyles::Read(const RunValues& c) {
    using R = RunValues;
    Facts f;
    f.font = c.v[R::kFont];
    f.hasSize = GetLength(c.v[R::kFontSize], UNITS::LINEAR::kPoints, f.size);
    f.hasBold = Flag(c.v[R::kBold], f.bold);
    f.hasItalics = Flag(c.v[R::kItalics], f.italics);
    f.hasUnderline = Flag(c.v[R::kUnderline], f.underline);
    f.hasStrike = GetEnumOf<ValueStrikeThruTypeEnum>(c.v[R::kStrikeThru], f.strike);
    f.hasUnderlineType =
        f.underline && GetEnumOf<ValueUnderlineTypeEnum>(c.v[R::kUnderlineType], f.underlineType);
    GetPercent(c.v[R::kShade], f.shade);
    if (auto* id = ValueAs<ValueOBID>(c.v[R::kColorRef])) f.hasColor = true, id->Get(f.color);
    if (auto* id = ValueAs<ValueOBID>(c.v[R::kBackgroundShadingColorRef]))
        f.hasBackground = true, id->Get(f.background);
    f.hasCase = GetEnumOf<ValueCharacterCaseEnum>(c.v[R::kCharacterCase], f.letterCase);
    f.hasPosition = GetEnumOf<ValueCharacterPositionEnum>(c.v[R::kCharacterPosition], f.position);
    if (!f.hasPosition || f.position == CPE::kUndefined)
        f.hasShift = GetLength(c.v[R::kBaselineShift], UNITS::LINEAR::kPoints, f.shift);
    return f;
}

namespace {

// Two fonts that give the same CSS: the same value or the same text.
bool SameFont(Value* a, Value* b) {
    if (a == b) return true;
    auto* sa = ValueAs<ValueString>(a);
    auto* sb = ValueAs<ValueString>(b);
    const IOBString* ta = sa ? sa->GetPtr() : nullptr;
    const IOBString* tb = sb ? sb->GetPtr() : nullptr;
    if (!ta || !tb) return !ta && !tb;
    if (ta->IsUnicode() && tb->IsUnicode())
        return ta->Length() == tb->Length() &&
               (ta->Length() == 0 || std::memcmp(ta->GrabWString(), tb->GrabWString(),
                                                 static_cast<std::size_t>(ta->Length()) * 2) == 0);
    WOBString wa, wb;
    int script = -1;
    GetText(a, wa, script);
    GetText(b, wb, script);
    return wa.Length() == wb.Length() &&
           (wa.Length() == 0 || std::memcmp(wa.GrabWString(), wb.GrabWString(),
                                            static_cast<std::size_t>(wa.Length()) * 2) == 0);
}

} // namespace

bool OBHtmlStyles::Facts::Same(const Facts& o) const {
    return hasSize == o.hasSize && (!hasSize || size == o.size) && hasBold == o.hasBold &&
           bold == o.bold && hasItalics == o.hasItalics && italics == o.italics &&
           hasUnderline == o.hasUnderline && underline == o.underline && hasStrike == o.hasStrike &&
           strike == o.strike && hasUnderlineType == o.hasUnderlineType &&
           underlineType == o.underlineType && shade == o.shade && hasColor == o.hasColor &&
           color == o.color && hasBackground == o.hasBackground && background == o.background &&
           hasCase == o.hasCase && letterCase == o.letterCase && hasPosition == o.hasPosition &&
           position == o.position && hasShift == o.hasShift && shift == o.shift &&
           SameFont(font, o.font);
}

// Runs repeat a few formattings: the CSS of the last ones is kept.
void OBHtmlStyles::CharacterCss(OBMCharacterAttributes* c, Utf8Text& css, bool noBold,
                                bool noItalics) {
    if (!c) return;
    RunValues values;
    ReadValues(c, values, RunValues::kAll);
    CharacterCss(values, css, noBold, noItalics);
}

namespace {

unsigned long long Mix(unsigned long long h, unsigned long long v) {
    return (h ^ v) * 0x100000001B3ULL;
}

unsigned long long Bits(double d) {
    d += 0.0; // -0 as 0, as == takes them
    unsigned long long bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// Where values are looked for among the seen ones.
int SeenSlot(Value* const* values, int count, bool noBold, bool noItalics, int slots) {
    // A few of them tell runs apart; the look-up compares all.
    unsigned long long h = noBold * 2 + noItalics;
    for (int k = 0; k < count; k += 3)
        h = Mix(h, reinterpret_cast<std::uintptr_t>(values[k]) >> 3);
    return static_cast<int>((h ^ (h >> 29)) % static_cast<unsigned>(slots));
}

} // namespace

// Consistent with Facts::Same: what it takes as equal hashes alike.
unsigned long long OBHtmlStyles::Hash(const Facts& f, bool noBold, bool noItalics) {
    unsigned long long h = 0xCBF29CE484222325ULL;
    unsigned flags = f.hasSize | f.hasBold << 1 | f.bold << 2 | f.hasItalics << 3 | f.italics << 4 |
                     f.hasUnderline << 5 | f.underline << 6 | f.hasStrike << 7 |
                     f.hasUnderlineType << 8 | f.hasColor << 9 | f.hasBackground << 10 |
                     f.hasCase << 11 | f.hasPosition << 12 | f.hasShift << 13 | noBold << 14 |
                     noItalics << 15;
    h = Mix(h, flags);
    if (f.hasSize) h = Mix(h, Bits(f.size));
    h = Mix(h, Bits(f.shade));
    h = Mix(h, Bits(f.shift));
    h = Mix(h, f.color);
    h = Mix(h, f.background);
    h = Mix(h, static_cast<unsigned>(f.strike) | static_cast<unsigned long long>(f.underlineType)
                                                     << 32);
    h = Mix(h, static_cast<unsigned>(f.letterCase) | static_cast<unsigned long long>(f.position)
                                                         << 32);
    return h;
}

// Runs repeat a few formattings, mostly in the very values of a run met
// before (a style's chain, a run reopened), else in values of their own.
unsigned long long OBHtmlStyles::CharacterCss(const RunValues& values, Utf8Text& css, bool noBold,
                                              bool noItalics) {
    Seen& seen = seen_[SeenSlot(values.v, kCssValues, noBold, noItalics, kSeen)];
    if (seen.serial != 0 && kept_[seen.kept].serial == seen.serial && seen.noBold == noBold &&
        seen.noItalics == noItalics && std::equal(values.v, values.v + kCssValues, seen.values)) {
        css.Append(kept_[seen.kept].css);
        return seen.serial;
    }
    Facts facts = Read(values);
    const unsigned long long hash = Hash(facts, noBold, noItalics);
    int found = 0;
    while (found < kKept &&
           !(keptHashes_[found] == hash && kept_[found].known && kept_[found].noBold == noBold &&
             kept_[found].noItalics == noItalics && kept_[found].facts.Same(facts)))
        ++found;
    if (found == kKept) {
        found = nextKept_;
        nextKept_ = (nextKept_ + 1) % kKept;
        Kept& kept = kept_[found];
        kept.known = false;
        kept.serial = 0;
        kept.css.Clear();
        CharacterCss(facts, kept.css, noBold, noItalics);
        if (kept.css.Failed()) {
            css.Append(kept.css);
            return 0;
        }
        kept.facts = facts;
        keptHashes_[found] = hash;
        kept.noBold = noBold;
        kept.noItalics = noItalics;
        kept.known = true;
        kept.serial = ++keptSerial_;
    }
    const Kept& kept = kept_[found];
    css.Append(kept.css);
    std::copy(values.v, values.v + kCssValues, seen.values);
    seen.noBold = noBold;
    seen.noItalics = noItalics;
    seen.kept = found;
    seen.serial = kept.serial;
    return kept.serial;
}

void OBHtmlStyles::CharacterCss(const Facts& f, Utf8Text& css, bool noBold, bool noItalics) {
    FontCss(f.font, css);
    if (f.hasSize) Size(f.size, "font-size", css);
    if (!noBold && f.hasBold) css.Append(f.bold ? "font-weight: bold; " : "font-weight: normal; ");
    if (!noItalics && f.hasItalics)
        css.Append(f.italics ? "font-style: italic; " : "font-style: normal; ");
    if (f.hasUnderline || f.hasStrike) {
        bool underline = f.hasUnderline && f.underline;
        bool struck = f.hasStrike && f.strike > STE::kNone;
        css.Append("text-decoration-line: ");
        css.Append(underline && struck ? "underline line-through"
                   : underline         ? "underline"
                   : struck            ? "line-through"
                                       : "none");
        css.Append("; ");
        int type = f.underlineType;
        if (underline && f.hasUnderlineType) {
            static const char* const kStyles[] = {nullptr,  nullptr,  nullptr,  "double", nullptr,
                                                  "dotted", "dashed", "dashed", "dashed", "wavy"};
            if (type > 0 && type < 10 && kStyles[type]) {
                css.Append("text-decoration-style: ");
                css.Append(kStyles[type]);
                css.Append("; ");
            }
        }
    }
    if (f.hasColor) Color(f.color, f.shade, "color", css);
    if (f.hasBackground) Color(f.background, 1, "background-color", css);
    int value = f.letterCase;
    if (f.hasCase && value != CCE::kUndefined) {
        static const char* const kCase[] = {nullptr,
                                            "text-transform: none; font-variant-caps: normal; ",
                                            "text-transform: uppercase; ",
                                            "font-variant-caps: small-caps; ",
                                            "font-variant-caps: all-small-caps; ",
                                            "text-transform: lowercase; ",
                                            "text-transform: capitalize; "};
        if (value < 7) css.Append(kCase[value]);
    }
    value = f.position;
    if (f.hasPosition && value != CPE::kUndefined) {
        if (value == CPE::kSuperscript || value == CPE::kSuperior || value == CPE::kNumerator)
            css.Append("vertical-align: super; font-size: smaller; ");
        else if (value == CPE::kSubscript || value == CPE::kInferior || value == CPE::kDenominator)
            css.Append("vertical-align: sub; font-size: smaller; ");
        else
            css.Append("vertical-align: baseline; ");
    } else if (f.hasShift && f.shift != 0) {
        Size(f.shift, "vertical-align", css);
    }
}

void OBHtmlStyles::CountRunLosses(const RunValues& values) {
    using R = RunValues;
    Value* const* c = values.v;
    // Runs mostly repeat the values of the run before.
    Value* const* own = c + R::kHorizontalScale;
    if (!lossesKnown_ || !std::equal(own, own + kLossValues, lossValues_)) {
        std::copy(own, own + kLossValues, lossValues_);
        lossesKnown_ = true;
        double ratio = 1;
        scaling_ = (GetPercent(c[R::kHorizontalScale], ratio) && std::fabs(ratio - 1) > 1e-6) ||
                   (GetPercent(c[R::kVerticalScale], ratio) && std::fabs(ratio - 1) > 1e-6);
        bool outline = false, shadow = false;
        Flag(c[R::kOutline], outline);
        Flag(c[R::kShadow], shadow);
        outlineShadow_ = outline || shadow;
        int track = 0;
        tracking_ = (GetPercent(c[R::kRangeKerning], ratio) && std::fabs(ratio) > 1e-6) ||
                    (GetEnumOf<ValueTrackEnum>(c[R::kTrack], track) && track != TE::kUndefined &&
                     track != TE::kNoTrack && track != TE::kNormal);
    }
    if (scaling_) report_.Add(OBREPORT::kScalingLeftOut);
    if (outlineShadow_) report_.Add(OBREPORT::kOutlineShadowLeftOut);
    if (tracking_) report_.Add(OBREPORT::kTrackingLeftOut);
}

void OBHtmlStyles::CountParagraphLosses(OBMParagraphAttributes* p) {
    long long lines = 0;
    auto* v = ValueAs<ValueInteger32>(p ? p->GetDropCapNumberOfLines() : nullptr);
    int n = 0;
    if (v) v->Get(n);
    lines = n;
    if (lines > 0) report_.Add(OBREPORT::kDropCapsLeftOut);
}

namespace {

// The first of ; ' and \\ in data from `from` on, or n: sixteen bytes a step.
std::size_t NextStop(const char* data, std::size_t from, std::size_t n) {
    std::size_t i = from;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i stops = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(';')),
                                     _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\'')),
                                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
        if (auto mask = static_cast<unsigned>(_mm_movemask_epi8(stops)))
            return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    for (; i < n; ++i)
        if (data[i] == ';' || data[i] == '\'' || data[i] == '\\') return i;
    return n;
}

// The length of the declaration `css` begins with, up to its "; " outside
// quotes (font names are quoted and may hold one, quotes and backslashes).
std::size_t DeclarationSize(std::string_view css) {
    const char* data = css.data();
    const std::size_t n = css.size();
    bool quoted = false;
    for (std::size_t at = NextStop(data, 0, n); at < n; at = NextStop(data, at, n)) {
        char c = data[at];
        if (quoted && c == '\\') {
            at += 2;
            continue;
        }
        if (c == '\'')
            quoted = !quoted;
        else if (!quoted && c == ';' && at + 1 < n && data[at + 1] == ' ')
            return at + 2;
        ++at;
    }
    return n;
}

// Up to the first eight bytes of a declaration, as one number.
unsigned long long Head(std::string_view declaration) {
    unsigned long long head = 0;
    std::memcpy(&head, declaration.data(), std::min<std::size_t>(declaration.size(), 8));
    return head;
}

} // namespace

void OBHtmlStyles::Declarations::Of(const Utf8Text& css) {
    count = 0;
    std::string_view rest(css.Data(), static_cast<std::size_t>(css.Size()));
    while (!rest.empty() && count < kMax) {
        part[count] = rest.substr(0, DeclarationSize(rest));
        head[count] = Head(part[count]);
        rest.remove_prefix(part[count++].size());
    }
}

bool OBHtmlStyles::Declarations::Has(std::string_view declaration) const {
    const unsigned long long first = Head(declaration);
    const std::size_t size = declaration.size();
    for (int i = 0; i < count; ++i)
        if (head[i] == first && part[i].size() == size &&
            (size <= 8 || std::memcmp(part[i].data() + 8, declaration.data() + 8, size - 8) == 0))
            return true;
    return false;
}

void OBHtmlStyles::WithoutRepeats(Utf8Text& css, const Declarations& under) {
    if (css.IsEmpty() || under.count == 0) return;
    // What is kept moves up over what is left out, in place.
    char* text = css.Writable();
    std::string_view rest(text, static_cast<std::size_t>(css.Size()));
    long long kept = 0;
    while (!rest.empty()) {
        std::string_view declaration = rest.substr(0, DeclarationSize(rest));
        rest.remove_prefix(declaration.size());
        if (under.Has(declaration)) continue;
        if (text + kept != declaration.data())
            std::memmove(text + kept, declaration.data(), declaration.size());
        kept += static_cast<long long>(declaration.size());
    }
    css.Truncate(kept);
}

const OBHtmlStyles::Unders::Under& OBHtmlStyles::Unders::Of(const Utf8Text& css) {
    for (const Under& under : entries_)
        if (under.version != 0 && under.css.Equals(css)) return under;
    Under& under = entries_[next_];
    next_ = (next_ + 1) % kEntries;
    under.css.Clear();
    under.css.Append(css);
    under.declarations.Of(under.css);
    under.version = ++versions_;
    return under;
}

void OBHtmlStyles::Repeats::Apply(Utf8Text& css, const Declarations& under, unsigned version) {
    if (css.IsEmpty() || under.count == 0) return;
    if (const Utf8Text* kept = kept_.Find(css, version)) {
        css.Clear();
        css.Append(*kept);
        return;
    }
    OBHtmlKeptTexts::Entry& entry = kept_.Claim(css);
    WithoutRepeats(css, under);
    entry.to.Append(css);
    OBHtmlKeptTexts::Keep(entry, version);
}

void OBHtmlStyles::Stylesheet(Utf8Text& out, bool classes, bool lists) {
    out.Append("p, h1, h2, h3, h4, h5, h6 { margin: 0; white-space: pre-wrap; }\n"
               ".story { margin-block: 1em; }\n"
               ".vertical { writing-mode: vertical-rl; }\n"
               ".picture { margin: 0; }\n"
               ".notes { font-size: smaller; border-block-start: thin solid; margin-block-start: "
               "0.5em; }\n"
               "table { border-collapse: collapse; }\n"
               "td, th { border: thin solid; padding: 0.2em 0.4em; vertical-align: top; }\n"
               ".page-break { break-before: page; }\n"
               ".kenten { text-emphasis: filled sesame; }\n"
               ".tcy { text-combine-upright: all; }\n"
               ".warichu { display: inline-flex; flex-direction: column; vertical-align: middle; "
               "font-size: 50%; line-height: 1.1; }\n");
    // List paragraphs show their markers as text.
    if (lists) out.Append(".list { list-style: none; margin: 0; padding: 0; }\n");
    if (!classes) return;
    for (const Entry& entry : entries_) {
        Utf8Text css;
        if (entry.paragraph) {
            ParagraphCss(walker_.ParagraphStyleFormat(entry.style), css);
            CharacterCss(walker_.ParagraphStyleCharacterFormat(entry.style), css);
        } else {
            CharacterCss(walker_.CharacterStyleFormat(entry.style), css);
        }
        out.Append('.');
        out.Append(entry.name.data(), static_cast<long long>(entry.name.size()));
        out.Append(" { ");
        out.Append(css);
        out.Append("}\n");
    }
}
