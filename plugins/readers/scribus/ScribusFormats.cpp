// Character and paragraph formatting as styles and text elements write it,
// and when two formats are the same.
#include "ScribusInternal.h"

#include <emmintrin.h>

#include <cstring>
#include <functional>
#include <tuple>

namespace scribus {
namespace detail {

namespace {

// Every field of a format, for comparing and hashing them alike.
auto Fields(const CharacterAttributes& a) {
    return std::tie(a.font, a.size, a.fillColor, a.fillShade, a.strokeColor, a.strokeShade,
                    a.backgroundColor, a.backgroundShade, a.tracking, a.scaleH, a.scaleV,
                    a.baselineShift, a.effects, a.underlineOffset, a.underlineWidth, a.strikeOffset,
                    a.strikeWidth, a.shadowX, a.shadowY, a.outlineWidth, a.language,
                    a.fontFeatures);
}

auto Fields(const ParagraphAttributes& a) {
    return std::tie(a.alignment, a.direction, a.lineSpacingMode, a.lineSpacing, a.leftIndent,
                    a.rightIndent, a.firstIndent, a.spaceBefore, a.spaceAfter, a.dropCap,
                    a.dropCapLines, a.dropCapOffset, a.tabs, a.characterStyle);
}

auto Fields(const ListAttributes& a) {
    return std::tie(a.bullet, a.bulletText, a.numbered, a.numbering, a.format, a.level, a.start,
                    a.prefix, a.suffix, a.restart);
}

std::uint64_t Bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Exact equality (doubles to the bit) and a hash that agrees with it.
bool Identical(double a, double b) {
    return Bits(a) == Bits(b);
}
template <class T> bool Identical(const T& a, const T& b) {
    return a == b;
}
bool Identical(const TabStop& a, const TabStop& b) {
    return Identical(a.position, b.position) && a.type == b.type && a.fill == b.fill;
}
template <class T> bool Identical(const std::vector<T>& a, const std::vector<T>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!Identical(a[i], b[i])) return false;
    return true;
}
template <class T> bool Identical(const std::optional<T>& a, const std::optional<T>& b) {
    return a.has_value() == b.has_value() && (!a || Identical(*a, *b));
}

std::uint64_t Mix(std::uint64_t h, std::uint64_t v) {
    return (h ^ v) * 0x9E3779B97F4A7C15ull + (h >> 29);
}
std::uint64_t HashOf(double v) {
    return Bits(v);
}
std::uint64_t HashOf(const std::string& v) {
    return std::hash<std::string>()(v);
}
template <class T> std::uint64_t HashOf(const T& v) {
    return static_cast<std::uint64_t>(v);
}
template <class T> std::uint64_t HashOf(const std::optional<T>& v) {
    return v ? Mix(1, HashOf(*v)) : 0;
}

template <class Tuple, std::size_t... I>
bool AllIdentical(const Tuple& a, const Tuple& b, std::index_sequence<I...>) {
    return (Identical(std::get<I>(a), std::get<I>(b)) && ...);
}
template <class Tuple, std::size_t... I>
std::uint64_t HashAll(const Tuple& t, std::index_sequence<I...>) {
    std::uint64_t h = 0;
    ((h = Mix(h, HashOf(std::get<I>(t)))), ...);
    return h;
}

template <class A> bool SameFields(const A& a, const A& b) {
    auto ta = Fields(a), tb = Fields(b);
    return AllIdentical(ta, tb, std::make_index_sequence<std::tuple_size<decltype(ta)>::value>());
}
// The hash covers the fields formats mostly differ in, which is cheaper
// than all of them and agrees with SameFields as well.
auto HashedFields(const CharacterAttributes& a) {
    return std::tie(a.font, a.size, a.fillColor, a.effects, a.tracking);
}
auto HashedFields(const ParagraphAttributes& a) {
    return std::tie(a.alignment, a.lineSpacing, a.leftIndent, a.firstIndent, a.spaceBefore,
                    a.spaceAfter, a.character.font, a.character.size, a.character.fillColor,
                    a.character.effects);
}
template <class A> std::uint64_t HashFields(const A& a) {
    auto t = HashedFields(a);
    return HashAll(t, std::make_index_sequence<std::tuple_size<decltype(t)>::value>());
}
bool SameFields(const ParagraphAttributes& a, const ParagraphAttributes& b) {
    auto ta = Fields(a), tb = Fields(b);
    return AllIdentical(ta, tb, std::make_index_sequence<std::tuple_size<decltype(ta)>::value>()) &&
           SameFields(a.list, b.list) && SameFields(a.character, b.character);
}

} // namespace

// Formats mostly repeat one of the two asked for before: those are
// compared first, the table searched only when both differ.
template <class F, class A>
std::uint32_t FormatTables::Find(std::vector<F>& list, Index& index, const std::string& style,
                                 const A& local) {
    if (index.last && list[index.last - 1].style == style &&
        SameFields(list[index.last - 1].local, local))
        return index.last - 1;
    if (index.before && list[index.before - 1].style == style &&
        SameFields(list[index.before - 1].local, local)) {
        std::swap(index.last, index.before);
        return index.last - 1;
    }
    if (2 * (list.size() + 1) > index.slots.size()) {
        std::vector<std::uint32_t> slots(index.slots.empty() ? 64 : 2 * index.slots.size(), 0);
        for (std::uint32_t i = 0; i < list.size(); ++i) {
            std::size_t h =
                Mix(HashOf(list[i].style), HashFields(list[i].local)) & (slots.size() - 1);
            while (slots[h])
                h = (h + 1) & (slots.size() - 1);
            slots[h] = i + 1;
        }
        index.slots.swap(slots);
    }
    const std::size_t mask = index.slots.size() - 1;
    std::size_t h = Mix(HashOf(style), HashFields(local)) & mask;
    for (; index.slots[h]; h = (h + 1) & mask) {
        const F& f = list[index.slots[h] - 1];
        if (f.style == style && SameFields(f.local, local)) {
            index.before = index.last;
            return index.last = index.slots[h], index.last - 1;
        }
    }
    // A story brings dozens of formats: room for 16 spares the first moves.
    if (list.capacity() == 0) list.reserve(16);
    list.push_back(F{style, local});
    index.slots[h] = static_cast<std::uint32_t>(list.size());
    index.before = index.last;
    index.last = index.slots[h];
    return index.last - 1;
}

std::uint32_t FormatTables::Paragraph(const std::string& style, const ParagraphAttributes& local) {
    return Find(doc_.paragraphFormats, paragraphs_, style, local);
}

std::uint32_t FormatTables::FrameDefaults(const std::string& style,
                                          const ParagraphAttributes& local) {
    const std::vector<ParagraphFormat>& list = doc_.paragraphFormats;
    if (frameDefaults_ && frameDefaults_ <= list.size()) {
        const ParagraphFormat& f = list[frameDefaults_ - 1];
        if (f.style == style && SameFields(f.local, local)) return frameDefaults_ - 1;
    }
    const std::uint32_t index = Paragraph(style, local);
    frameDefaults_ = index + 1;
    return index;
}

std::uint32_t FormatTables::Character(const std::string& style, const CharacterAttributes& local) {
    return Find(doc_.characterFormats, characters_, style, local);
}

bool SameCharacter(const CharacterAttributes& a, const CharacterAttributes& b) {
    return a.font == b.font && a.size == b.size && a.fillColor == b.fillColor &&
           a.fillShade == b.fillShade && a.strokeColor == b.strokeColor &&
           a.strokeShade == b.strokeShade && a.backgroundColor == b.backgroundColor &&
           a.backgroundShade == b.backgroundShade && a.tracking == b.tracking &&
           a.scaleH == b.scaleH && a.scaleV == b.scaleV && a.baselineShift == b.baselineShift &&
           a.effects == b.effects && a.underlineOffset == b.underlineOffset &&
           a.underlineWidth == b.underlineWidth && a.strikeOffset == b.strikeOffset &&
           a.strikeWidth == b.strikeWidth && a.shadowX == b.shadowX && a.shadowY == b.shadowY &&
           a.outlineWidth == b.outlineWidth && a.language == b.language &&
           a.fontFeatures == b.fontFeatures;
}

namespace {
bool SameTabs(const std::optional<std::vector<TabStop>>& a,
              const std::optional<std::vector<TabStop>>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    if (a->size() != b->size()) return false;
    for (std::size_t i = 0; i < a->size(); ++i)
        if ((*a)[i].position != (*b)[i].position || (*a)[i].type != (*b)[i].type ||
            (*a)[i].fill != (*b)[i].fill)
            return false;
    return true;
}
} // namespace

bool SameParagraph(const ParagraphAttributes& a, const ParagraphAttributes& b) {
    return a.alignment == b.alignment && a.direction == b.direction &&
           a.lineSpacingMode == b.lineSpacingMode && a.lineSpacing == b.lineSpacing &&
           a.leftIndent == b.leftIndent && a.rightIndent == b.rightIndent &&
           a.firstIndent == b.firstIndent && a.spaceBefore == b.spaceBefore &&
           a.spaceAfter == b.spaceAfter && a.dropCap == b.dropCap &&
           a.dropCapLines == b.dropCapLines && a.dropCapOffset == b.dropCapOffset &&
           SameTabs(a.tabs, b.tabs) && a.characterStyle == b.characterStyle &&
           SameFields(a.list, b.list) && SameCharacter(a.character, b.character);
}

bool FeaturesToEffects(const char* text, unsigned& effects) {
    static const struct {
        const char* name;
        std::size_t length;
        unsigned bit;
    } kFeatures[] = {
        {"superscript", 11, kSuperscript},
        {"subscript", 9, kSubscript},
        {"outline", 7, kOutline},
        {"underline", 9, kUnderline},
        {"strike", 6, kStrikeThrough},
        {"allcaps", 7, kAllCaps},
        {"smallcaps", 9, kSmallCaps},
        {"shadowed", 8, kShadowed},
        {"underlinewords", 14, kUnderlineWords},
    };
    // "inherit" keeps the style's effects and adds the listed ones; without
    // it the list is the whole set. Other words ("shyphen" marks a
    // hyphenation point) are not effects.
    bool inherit = false, effect = false;
    unsigned bits = 0;
    const char* p = text;
    while (p && *p) {
        while (*p == ' ')
            ++p;
        const char* w = p;
        while (*p && *p != ' ')
            ++p;
        std::size_t len = static_cast<std::size_t>(p - w);
        if (len == 0) break;
        for (const auto& f : kFeatures) {
            if (f.length == len && std::memcmp(f.name, w, len) == 0) {
                bits |= f.bit;
                effect = true;
            }
        }
        if (len == 7 && std::memcmp(w, "inherit", 7) == 0) inherit = true;
    }
    if (inherit && !effect) return false; // nothing set here
    effects = bits;
    return true;
}

// Every attribute ReadCharacterFields reads: the key covers them all.
const AttrId kCharacterFieldAttrs[] = {
    kAttr_FONT,    kAttr_FONTSIZE, kAttr_FCOLOR,       kAttr_FSHADE, kAttr_SCOLOR, kAttr_SSHADE,
    kAttr_BGCOLOR, kAttr_BGSHADE,  kAttr_KERN,         kAttr_SCALEH, kAttr_SCALEV, kAttr_BASEO,
    kAttr_TXTULP,  kAttr_TXTULW,   kAttr_TXTSTP,       kAttr_TXTSTW, kAttr_TXTSHX, kAttr_TXTSHY,
    kAttr_TXTOUT,  kAttr_LANGUAGE, kAttr_FONTFEATURES,
};

namespace {
// Each attribute's place in kCharacterFieldAttrs, from 1; 0 for the others.
struct CharacterFieldPlaces {
    unsigned char at[kAttrCount] = {};
    CharacterFieldPlaces() {
        for (std::size_t i = 0; i < sizeof kCharacterFieldAttrs / sizeof kCharacterFieldAttrs[0];
             ++i)
            at[kCharacterFieldAttrs[i]] = static_cast<unsigned char>(i + 1);
    }
};
const CharacterFieldPlaces kFieldPlaces;
} // namespace

// The fields the element has, in its order: each as its place and its value
// with the NUL after it (a value holds no NUL). Elements mostly carry few of
// them, so only the attributes present are looked at.
void CharacterFieldsKey(const Attrs& a, std::string& key) {
    // Sized first and written in place, short values 16 bytes at once (each
    // has kValuePadding readable bytes after its NUL).
    std::uint32_t lengths[kAttrCount];
    std::size_t size = 0;
    for (std::size_t i = 0; i < a.Count(); ++i) {
        const AttrId id = a.IdAt(i);
        if (!kFieldPlaces.at[id]) continue;
        const char* v = a.Get(id);
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
        const unsigned nul =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, _mm_setzero_si128())));
        lengths[i] = static_cast<std::uint32_t>(nul ? __builtin_ctz(nul) : std::strlen(v));
        size += 1 + lengths[i] + 1;
    }
    key.resize(size + 16); // 16: what a short value's store writes past it
    char* k = &key[0];
    for (std::size_t i = 0; i < a.Count(); ++i) {
        const AttrId id = a.IdAt(i);
        const unsigned char place = kFieldPlaces.at[id];
        if (!place) continue;
        const char* v = a.Get(id);
        *k++ = static_cast<char>(place);
        if (lengths[i] < 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(k),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(v)));
        else
            std::memcpy(k, v, lengths[i] + 1);
        k += lengths[i] + 1;
    }
    key.resize(size);
}

bool SameCharacterFieldsKey(const Attrs& a, const std::string& key) {
    const char* k = key.c_str();
    const char* const end = k + key.size();
    for (std::size_t i = 0; i < a.Count(); ++i) {
        const AttrId id = a.IdAt(i);
        const unsigned char place = kFieldPlaces.at[id];
        if (!place) continue;
        if (k == end || static_cast<unsigned char>(*k++) != place) return false;
        const char* v = a.Get(id);
        while (*v && *v == *k)
            ++v, ++k;
        if (*v != *k++) return false;
    }
    return k == end;
}

bool HasCharacterField(const Attrs& a, std::size_t from) {
    for (std::size_t i = from; i < a.Count(); ++i)
        if (kFieldPlaces.at[a.IdAt(i)]) return true;
    return false;
}

void ReadCharacterAttributes(Context& ctx, const Attrs& a, CharacterAttributes& out) {
    ReadCharacterFields(ctx, a, out);
    ReadCharacterEffects(ctx, a, out);
}

void ReadCharacterFields(Context& ctx, const Attrs& a, CharacterAttributes& out) {
    // `out` may hold an earlier element's attributes: every field is set or
    // cleared, and a text reuses the room of the one before, so that reading
    // element after element into one object allocates nothing.
    auto str = [&](AttrId id, std::optional<std::string>& field) {
        const char* v = a.Get(id);
        if (!v)
            field.reset();
        else if (field)
            field->assign(v);
        else
            field.emplace(v);
    };
    auto num = [&](AttrId id, std::optional<double>& field) {
        field.reset();
        if (a.Has(id)) OptionalNumber(ctx, a, id, field); // elements carry few of them
    };
    str(kAttr_FONT, out.font);
    num(kAttr_FONTSIZE, out.size);
    str(kAttr_FCOLOR, out.fillColor);
    num(kAttr_FSHADE, out.fillShade);
    str(kAttr_SCOLOR, out.strokeColor);
    num(kAttr_SSHADE, out.strokeShade);
    str(kAttr_BGCOLOR, out.backgroundColor);
    num(kAttr_BGSHADE, out.backgroundShade);
    num(kAttr_KERN, out.tracking);
    num(kAttr_SCALEH, out.scaleH);
    num(kAttr_SCALEV, out.scaleV);
    num(kAttr_BASEO, out.baselineShift);
    num(kAttr_TXTULP, out.underlineOffset);
    num(kAttr_TXTULW, out.underlineWidth);
    num(kAttr_TXTSTP, out.strikeOffset);
    num(kAttr_TXTSTW, out.strikeWidth);
    num(kAttr_TXTSHX, out.shadowX);
    num(kAttr_TXTSHY, out.shadowY);
    num(kAttr_TXTOUT, out.outlineWidth);
    str(kAttr_LANGUAGE, out.language);
    str(kAttr_FONTFEATURES, out.fontFeatures);
}

void ReadCharacterEffects(Context& ctx, const Attrs& a, CharacterAttributes& out) {
    out.effects.reset();
    if (const char* f = a.Get(kAttr_FEATURES)) {
        unsigned bits;
        if (FeaturesToEffects(f, bits)) out.effects = bits;
    } else if (a.Has(kAttr_EFFECT)) {
        out.effects = Effects(ctx, a, kAttr_EFFECT);
    }
}

namespace {

// Bullets and numbers; a text past kLongestAffix bytes is cut, at a
// character's first byte.
void ReadListFields(Context& ctx, const Attrs& a, ListAttributes& out) {
    constexpr std::size_t kLongestAffix = 64;
    auto text = [&](AttrId id, std::optional<std::string>& field) {
        const char* v = a.Get(id);
        if (!v) return;
        std::size_t n = std::strlen(v);
        if (n > kLongestAffix)
            for (n = kLongestAffix; n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80;)
                --n;
        field = std::string(v, n);
    };
    auto integer = [&](AttrId id, std::optional<int>& field, int low, int high) {
        if (!a.Has(id)) return;
        std::optional<double> v;
        OptionalNumber(ctx, a, id, v);
        if (v) field = *v < low ? low : *v > high ? high : static_cast<int>(*v);
    };
    if (a.Has(kAttr_Bullet)) out.bullet = Flag(a, kAttr_Bullet, false);
    text(kAttr_BulletStr, out.bulletText);
    if (a.Has(kAttr_Numeration)) out.numbered = Flag(a, kAttr_Numeration, false);
    text(kAttr_NumerationName, out.numbering);
    integer(kAttr_NumerationFormat, out.format, 0, 99);
    integer(kAttr_NumerationLevel, out.level, 0, 8);
    integer(kAttr_NumerationStart, out.start, -1000000, 1000000);
    text(kAttr_NumerationPrefix, out.prefix);
    text(kAttr_NumerationSuffix, out.suffix);
    integer(kAttr_NumerationRestart, out.restart, 0, 99);
}

} // namespace

void ParagraphFormatReader::Start(Context& ctx, const Attrs& a, ParagraphAttributes& out) {
    out_ = &out;
    stops_.clear();
    sawTabs_ = full_ = false;
    // Elements carry few of these: the absent ones cost no call.
    auto num = [&](AttrId id, std::optional<double>& field) {
        if (a.Has(id)) OptionalNumber(ctx, a, id, field);
    };
    auto integer = [&](AttrId id, std::optional<int>& field) {
        if (!a.Has(id)) return;
        std::optional<double> v;
        OptionalNumber(ctx, a, id, v);
        if (v) field = static_cast<int>(*v);
    };
    integer(kAttr_ALIGN, out.alignment);
    if (out.alignment && (*out.alignment < 0 || *out.alignment > 4)) out.alignment = 0;
    integer(kAttr_DIRECTION, out.direction);
    integer(kAttr_LINESPMode, out.lineSpacingMode);
    if (!out.lineSpacingMode && a.Has(kAttr_BASE) && Flag(a, kAttr_BASE, false))
        out.lineSpacingMode = 2;
    num(kAttr_LINESP, out.lineSpacing);
    num(kAttr_INDENT, out.leftIndent);
    num(kAttr_RMARGIN, out.rightIndent);
    num(kAttr_FIRST, out.firstIndent);
    num(kAttr_VOR, out.spaceBefore);
    num(kAttr_NACH, out.spaceAfter);
    if (a.Has(kAttr_DROP) && *a.Get(kAttr_DROP)) out.dropCap = Flag(a, kAttr_DROP, false);
    integer(kAttr_DROPLIN, out.dropCapLines);
    num(kAttr_DROPDIST, out.dropCapOffset);
    if (const char* cs = a.Get(kAttr_CPARENT)) out.characterStyle = std::string(cs);
    ReadListFields(ctx, a, out.list);
    // Old styles list tab positions in TABS; newer ones use Tabs children.
    if (const char* tabs = a.Get(kAttr_TABS)) {
        std::vector<double> v;
        NumberList(tabs, v, 2000);
        if (!v.empty()) {
            std::vector<TabStop> stops;
            stops.reserve(v.size() / 2);
            for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
                TabStop t;
                t.type = static_cast<int>(v[i]);
                t.position = v[i + 1];
                stops.push_back(t);
            }
            out.tabs = std::move(stops);
        }
    }
    HeldWarnings* before = ctx.Hold(&held_);
    ReadCharacterAttributes(ctx, a, out.character);
    ctx.Hold(before);
}

void ParagraphFormatReader::Resume(ParagraphAttributes& out) {
    out_ = &out;
    stops_.clear();
    sawTabs_ = full_ = false;
}

void ParagraphFormatReader::Tab(Context& ctx, const Attrs& a) {
    if (full_) return;
    sawTabs_ = true;
    TabStop s;
    s.position = Number(ctx, a, kAttr_Pos, 0);
    s.type = static_cast<int>(Integer(ctx, a, kAttr_Type, 0));
    s.fill = ToUtf16(ctx, a.Get(kAttr_Fill));
    stops_.push_back(std::move(s));
    full_ = stops_.size() > 1000;
}

void ParagraphFormatReader::End(Context& ctx) {
    if (sawTabs_ && out_) out_->tabs = std::move(stops_);
    stops_.clear();
    // Mostly nothing was held: Release would still reset the list.
    if (!held_.entries.empty() || !held_.keys.empty() || held_.plain || held_.dropped)
        ctx.Release(held_);
    out_ = nullptr;
}

} // namespace detail
} // namespace scribus
