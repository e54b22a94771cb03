// Attribute look-up, numbers, text decoding and outlines.
#include "ScribusInternal.h"

#include <ombra/utf16.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace scribus {
namespace detail {

namespace {

const char* const kAttrNames[] = {
#define SCRIBUS_ATTRIBUTE(id, text) text,
#include "ScribusAttributes.def"
};

// Open-addressing table from attribute name to id, built once. Elements
// carry up to a few hundred attributes, so a look-up reads each name only
// once, a word at a time: two words (overlapping when the name is shorter
// than 16 bytes) and the length tell every name of up to 16 bytes apart, so
// the slot's key is compared without going back to the text; longer names
// are compared in full.
class NameTable {
public:
    static constexpr std::uint32_t kBits = 10;
    static constexpr std::uint32_t kSize = 1u << kBits; // > 2 * kAttrCount
    NameTable() {
        static_assert(kSize > 2 * kAttrCount, "attribute table too small");
        for (auto& slot : slots_)
            slot.id = kAttrCount;
        for (std::uint16_t id = 0; id < kAttrCount; ++id) {
            keys_[id] = KeyOf(kAttrNames[id]);
            const std::uint64_t hash = Hash(keys_[id]);
            std::uint32_t h = static_cast<std::uint32_t>(hash >> (64 - kBits));
            while (slots_[h].id != kAttrCount)
                h = (h + 1) & (kSize - 1);
            slots_[h] = Slot{static_cast<std::uint32_t>(hash), id};
        }
    }
    int Find(const char* name) const {
        const Key key = KeyOf(name);
        const std::uint64_t hash = Hash(key);
        const std::uint32_t tag = static_cast<std::uint32_t>(hash);
        for (std::uint32_t h = static_cast<std::uint32_t>(hash >> (64 - kBits));
             slots_[h].id != kAttrCount; h = (h + 1) & (kSize - 1)) {
            if (slots_[h].tag != tag) continue;
            const Key& k = keys_[slots_[h].id];
            if (k.first == key.first && k.last == key.last && k.length == key.length &&
                (key.length <= 16 || std::memcmp(kAttrNames[slots_[h].id], name, key.length) == 0))
                return slots_[h].id;
        }
        return -1;
    }

private:
    struct Key {
        std::uint64_t first, last; // the first and the last (up to) eight bytes
        std::uint64_t length;
    };
    // Slots stay small (the table is probed once per attribute of the
    // document, and should stay in the cache); the keys sit beside them.
    struct Slot {
        std::uint32_t tag; // the low half of the hash
        std::uint32_t id;
    };
    static Key KeyOf(const char* s) {
        const std::size_t len = std::strlen(s);
        std::uint64_t first = 0, last = 0;
        if (len >= 8) {
            std::memcpy(&first, s, 8);
            std::memcpy(&last, s + len - 8, 8);
        } else if (len >= 4) {
            std::uint32_t a, b;
            std::memcpy(&a, s, 4);
            std::memcpy(&b, s + len - 4, 4);
            first = a;
            last = b;
        } else if (len > 0) {
            first = static_cast<unsigned char>(s[0]) | static_cast<unsigned char>(s[len / 2]) << 8 |
                    static_cast<unsigned char>(s[len - 1]) << 16;
        }
        return Key{first, last, len};
    }
    static std::uint64_t Hash(const Key& k) {
        return (k.first * 0x9E3779B97F4A7C15ull) ^ (k.last * 0xC2B2AE3D27D4EB4Full) ^ k.length;
    }
    Slot slots_[kSize];
    Key keys_[kAttrCount];
};

const NameTable& Names() {
    static const NameTable table;
    return table;
}

bool InRange(double v) {
    return std::isfinite(v) && v <= 1e9 && v >= -1e9;
}

const char* SkipSpace(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    return p;
}

// Plain decimals ("-12.345") make up nearly all numbers in these files.
// With at most 15 significant digits both the digits and the power of ten
// are exact doubles, so one division gives the correctly rounded value.
// The text must end with a NUL at or after end (all texts here do), so the
// scan needs no bounds checks: a NUL is neither a digit nor a point.
const char* ReadDecimal(const char* p, double& out) {
    static const double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* q = p;
    bool negative = *q == '-';
    if (negative || *q == '+') ++q;
    std::uint64_t digits = 0;
    const char* start = q;
    while (static_cast<unsigned>(*q - '0') < 10)
        digits = digits * 10 + static_cast<unsigned>(*q++ - '0');
    int count = static_cast<int>(q - start), fraction = 0;
    if (*q == '.') {
        const char* f = ++q;
        while (static_cast<unsigned>(*q - '0') < 10)
            digits = digits * 10 + static_cast<unsigned>(*q++ - '0');
        fraction = static_cast<int>(q - f);
        count += fraction;
    }
    if (count == 0 || count > 15) return nullptr;
    if (*q == 'e' || *q == 'E' || *q == 'i' || *q == 'n') return nullptr;
    double v = static_cast<double>(digits) / kPow10[fraction];
    out = negative ? -v : v;
    return q;
}

// Reads one number at p (a leading '+' allowed); returns the position after
// it, or null.
const char* ReadNumber(const char* p, const char* end, double& out) {
    if (p >= end) return nullptr;
    if (const char* q = ReadDecimal(p, out)) return q;
    if (p < end && *p == '+') ++p;
    auto r = std::from_chars(p, end, out, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr == p) return nullptr;
    return r.ptr;
}

} // namespace

Attrs::Attrs() {
    std::memset(stamp_, 0, sizeof stamp_);
    std::memset(values_, 0, sizeof values_);
}

void Attrs::Load(pugi::xml_node node) {
    if (++current_ == 0) { // the stamp wrapped: forget every old value
        std::memset(stamp_, 0, sizeof stamp_);
        current_ = 1;
    }
    const NameTable& names = Names();
    // An attribute always has a name: an empty one is the end of the list
    // (which saves asking the handle whether it is empty, a call each).
    for (pugi::xml_attribute a = node.first_attribute();; a = a.next_attribute()) {
        const char* name = a.name();
        if (!*name) break;
        int id = names.Find(name);
        if (id >= 0 && stamp_[id] != current_) { // the first of duplicates wins
            stamp_[id] = current_;
            values_[id] = a.value();
        }
    }
}

const char* Attrs::NameOf(AttrId id) {
    return id < kAttrCount ? kAttrNames[id] : "?";
}

void Context::Warn(Warning::Code code, std::string message) {
    if (result.warnings.size() >= options.maxWarnings) {
        ++result.droppedWarnings;
        return;
    }
    result.warnings.push_back(Warning{code, std::move(message)});
}

void Context::WarnOnce(Warning::Code code, const std::string& key, std::string message) {
    if (!onceKeys_.insert(std::to_string(static_cast<int>(code)) + ":" + key).second) return;
    Warn(code, std::move(message));
}

bool ParseDouble(const char* text, double& out) {
    if (!text) return false;
    double v;
    if (const char* q = ReadDecimal(text, v)) { // the common case: nothing around the number
        if (*q == 0) {
            if (!InRange(v)) return false;
            out = v;
            return true;
        }
    }
    const char* end = text + std::strlen(text);
    const char* p = SkipSpace(text, end);
    p = ReadNumber(p, end, v);
    if (!p || SkipSpace(p, end) != end || !InRange(v)) return false;
    out = v;
    return true;
}

bool ParseInt(const char* text, long long& out) {
    double v;
    if (!ParseDouble(text, v)) return false;
    out = static_cast<long long>(v); // old files write some counts as reals
    return true;
}

double Number(Context& ctx, const Attrs& a, AttrId id, double fallback) {
    const char* text = a.Get(id);
    if (!text) return fallback;
    double v;
    if (ParseDouble(text, v)) return v;
    if (*text == 0) return fallback; // an empty value means "not set"
    std::string shown(text, std::min<std::size_t>(std::strlen(text), 40));
    ctx.Warn(Warning::Code::kBadNumber, std::string("attribute ") + Attrs::NameOf(id) +
                                            " has the unusable value \"" + shown + "\"; " +
                                            std::to_string(fallback) + " is used");
    return fallback;
}

void OptionalNumber(Context& ctx, const Attrs& a, AttrId id, std::optional<double>& field) {
    const char* text = a.Get(id);
    if (!text || !*text) return;
    double v;
    if (ParseDouble(text, v)) {
        field = v;
        return;
    }
    std::string shown(text, std::min<std::size_t>(std::strlen(text), 40));
    ctx.Warn(Warning::Code::kBadNumber, std::string("attribute ") + Attrs::NameOf(id) +
                                            " has the unusable value \"" + shown +
                                            "\"; it is ignored");
}

long long Integer(Context& ctx, const Attrs& a, AttrId id, long long fallback) {
    return static_cast<long long>(Number(ctx, a, id, static_cast<double>(fallback)));
}

long long Identifier(Context& ctx, const Attrs& a, AttrId id, long long fallback) {
    const char* text = a.Get(id);
    if (!text) return fallback;
    const char* end = text + std::strlen(text);
    const char* p = SkipSpace(text, end);
    long long v = 0;
    auto r = std::from_chars(p, end, v);
    if (r.ec == std::errc() && r.ptr != p && SkipSpace(r.ptr, end) == end) return v;
    return Integer(ctx, a, id, fallback); // written as a real, or unusable: warns
}

bool Flag(const Attrs& a, AttrId id, bool fallback) {
    const char* text = a.Get(id);
    if (!text || !*text) return fallback;
    double v;
    if (ParseDouble(text, v)) return v != 0;
    if (std::strcmp(text, "true") == 0) return true;
    if (std::strcmp(text, "false") == 0) return false;
    return fallback;
}

std::string String(const Attrs& a, AttrId id) {
    const char* text = a.Get(id);
    return text ? std::string(text) : std::string();
}

void NumberList(const char* text, std::vector<double>& out, std::size_t max) {
    if (!text) return;
    const char* end = text + std::strlen(text);
    const char* p = text;
    while (out.size() < max) {
        while (p < end && (*p == ' ' || *p == ',' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
        if (p >= end) break;
        double v;
        const char* next = ReadNumber(p, end, v);
        if (!next) { // skip a token that is not a number
            while (p < end && *p != ' ' && *p != ',')
                ++p;
            continue;
        }
        out.push_back(InRange(v) ? v : 0.0);
        p = next;
    }
}

void AppendText(Context& ctx, const char* text, std::u16string& out) {
    if (!text) return;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (ctx.latin1) {
        for (; *p; ++p)
            out.push_back(static_cast<char16_t>(*p));
        return;
    }
    while (*p) {
        unsigned char c = *p;
        if (c < 0x80) {
            out.push_back(c);
            ++p;
            continue;
        }
        int extra = 0;
        std::uint32_t cp = 0, min = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
            min = 0x10000;
        }
        bool ok = extra > 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || OBUTF16::IsSurrogate(cp))) ok = false;
        if (!ok) {
            ctx.sawInvalidUtf8 = true;
            out.push_back(c); // Latin-1 reading of the stray byte
            ++p;
            continue;
        }
        unsigned short units[2];
        for (int k = 0, made = OBUTF16::Split(cp, units); k < made; ++k)
            out.push_back(static_cast<char16_t>(units[k]));
        p += extra + 1;
    }
}

std::u16string ToUtf16(Context& ctx, const char* text) {
    std::u16string s;
    AppendText(ctx, text, s);
    return s;
}

namespace {

bool Near(const Point& a, const Point& b) {
    return std::fabs(a.x - b.x) < 1e-6 && std::fabs(a.y - b.y) < 1e-6;
}

// Moves the gathered points into a new subpath of out, closing it when its
// ends meet; the subpath gets one allocation of its exact size.
void AddSubPath(std::vector<PathPoint>& points, std::vector<SubPath>& out) {
    bool closed = false;
    if (points.size() > 2 && Near(points.front().anchor, points.back().anchor)) {
        points.front().left = points.back().left;
        points.pop_back();
        closed = true;
    }
    if (!points.empty()) {
        out.emplace_back();
        out.back().points.assign(points.begin(), points.end());
        out.back().closed = closed;
    }
    points.clear();
}

void LimitWarning(Context& ctx) {
    ctx.WarnOnce(Warning::Code::kLimit, "path",
                 "an outline has more than " + std::to_string(ctx.options.maxPathPoints) +
                     " points; the rest of it is skipped");
}

} // namespace

void CoordinatesToPath(Context& ctx, const char* text, std::vector<SubPath>& out) {
    if (!text) return;
    const char* end = text + std::strlen(text);
    const char* p = text;
    // Reads the next number; junk between numbers is skipped.
    auto next = [&](double& v) {
        while (p < end) {
            while (p < end && (*p == ' ' || *p == ',' || *p == '\t' || *p == '\n' || *p == '\r'))
                ++p;
            if (p >= end) return false;
            const char* q = ReadNumber(p, end, v);
            if (q) {
                if (!InRange(v)) v = 0;
                p = q;
                return true;
            }
            while (p < end && *p != ' ' && *p != ',')
                ++p;
        }
        return false;
    };
    std::vector<PathPoint>& current = ctx.pathPoints; // the subpath being read
    current.clear();
    std::size_t total = 0;
    double q[8];
    while (true) {
        int got = 0;
        while (got < 8 && next(q[got]))
            ++got;
        if (got < 8) break;
        if (++total > ctx.options.maxPathPoints) {
            LimitWarning(ctx);
            break;
        }
        Point p1{q[0], q[1]}, c1{q[2], q[3]}, p2{q[4], q[5]}, c2{q[6], q[7]};
        if (p1.x > 900000 && p1.y > 900000) { // marker between subpaths
            AddSubPath(current, out);
            continue;
        }
        if (current.empty() || !Near(current.back().anchor, p1)) {
            AddSubPath(current, out);
            current.push_back(PathPoint{p1, p1, c1});
        } else {
            current.back().right = c1;
        }
        current.push_back(PathPoint{c2, p2, p2});
    }
    AddSubPath(current, out);
}

void SvgToPath(Context& ctx, const char* text, std::vector<SubPath>& out) {
    if (!text) return;
    const char* p = text;
    const char* end = text + std::strlen(text);
    SubPath current;
    Point pos, start, lastControl;
    char command = 0, previous = 0;
    std::size_t total = 0;
    auto flush = [&](bool closed) {
        if (current.points.empty()) return;
        if (closed) {
            current.closed = true;
            if (current.points.size() > 1 &&
                Near(current.points.front().anchor, current.points.back().anchor)) {
                current.points.front().left = current.points.back().left;
                current.points.pop_back();
            }
        }
        out.push_back(std::move(current));
        current = SubPath();
    };
    auto number = [&](double& v) {
        while (p < end && (*p == ' ' || *p == ',' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
        const char* next = ReadNumber(p, end, v);
        if (!next) return false;
        if (!InRange(v)) v = 0;
        p = next;
        return true;
    };
    auto lineTo = [&](Point to) {
        if (current.points.empty()) current.points.push_back(PathPoint{pos, pos, pos});
        current.points.push_back(PathPoint{to, to, to});
        pos = to;
    };
    auto curveTo = [&](Point c1, Point c2, Point to) {
        if (current.points.empty()) current.points.push_back(PathPoint{pos, pos, pos});
        current.points.back().right = c1;
        current.points.push_back(PathPoint{c2, to, to});
        lastControl = c2;
        pos = to;
    };
    while (p < end) {
        while (p < end && (*p == ' ' || *p == ',' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
        if (p >= end) break;
        if (++total > ctx.options.maxPathPoints) {
            LimitWarning(ctx);
            break;
        }
        char c = *p;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            command = c;
            ++p;
            if (c == 'Z' || c == 'z') {
                pos = start;
                flush(true);
                previous = c;
                continue;
            }
        } else if (!command) {
            ctx.WarnOnce(Warning::Code::kUnsupported, "svg-path",
                         "unreadable outline data skipped");
            break;
        }
        bool rel = command >= 'a';
        Point base = rel ? pos : Point{0, 0};
        double a[6];
        bool ok = true;
        switch (command) {
        case 'M':
        case 'm':
            ok = number(a[0]) && number(a[1]);
            if (ok) {
                flush(false);
                pos = start = Point{base.x + a[0], base.y + a[1]};
                current.points.push_back(PathPoint{pos, pos, pos});
                command = rel ? 'l' : 'L'; // further pairs are lines
            }
            break;
        case 'L':
        case 'l':
            ok = number(a[0]) && number(a[1]);
            if (ok) lineTo(Point{base.x + a[0], base.y + a[1]});
            break;
        case 'H':
        case 'h':
            ok = number(a[0]);
            if (ok) lineTo(Point{(rel ? pos.x : 0) + a[0], pos.y});
            break;
        case 'V':
        case 'v':
            ok = number(a[0]);
            if (ok) lineTo(Point{pos.x, (rel ? pos.y : 0) + a[0]});
            break;
        case 'C':
        case 'c':
            ok = number(a[0]) && number(a[1]) && number(a[2]) && number(a[3]) && number(a[4]) &&
                 number(a[5]);
            if (ok)
                curveTo(Point{base.x + a[0], base.y + a[1]}, Point{base.x + a[2], base.y + a[3]},
                        Point{base.x + a[4], base.y + a[5]});
            break;
        case 'S':
        case 's': {
            ok = number(a[0]) && number(a[1]) && number(a[2]) && number(a[3]);
            if (ok) {
                bool smooth =
                    previous == 'C' || previous == 'c' || previous == 'S' || previous == 's';
                Point c1 =
                    smooth ? Point{2 * pos.x - lastControl.x, 2 * pos.y - lastControl.y} : pos;
                curveTo(c1, Point{base.x + a[0], base.y + a[1]},
                        Point{base.x + a[2], base.y + a[3]});
            }
            break;
        }
        case 'Q':
        case 'q':
        case 'T':
        case 't': {
            Point q;
            if (command == 'Q' || command == 'q') {
                ok = number(a[0]) && number(a[1]) && number(a[2]) && number(a[3]);
                q = Point{base.x + a[0], base.y + a[1]};
                a[0] = a[2];
                a[1] = a[3];
            } else {
                ok = number(a[0]) && number(a[1]);
                bool smooth =
                    previous == 'Q' || previous == 'q' || previous == 'T' || previous == 't';
                q = smooth ? Point{2 * pos.x - lastControl.x, 2 * pos.y - lastControl.y} : pos;
            }
            if (ok) {
                Point to{base.x + a[0], base.y + a[1]};
                Point c1{pos.x + 2.0 / 3 * (q.x - pos.x), pos.y + 2.0 / 3 * (q.y - pos.y)};
                Point c2{to.x + 2.0 / 3 * (q.x - to.x), to.y + 2.0 / 3 * (q.y - to.y)};
                curveTo(c1, c2, to);
                lastControl = q;
            }
            break;
        }
        default:
            ctx.WarnOnce(Warning::Code::kUnsupported, std::string("svg-") + command,
                         std::string("outline command '") + command +
                             "' is not read; the outline ends there");
            ok = false;
            p = end;
            break;
        }
        if (!ok) break;
        previous = command;
    }
    flush(false);
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
           SameCharacter(a.character, b.character);
}

bool FeaturesToEffects(const char* text, unsigned& effects) {
    static const struct {
        const char* name;
        unsigned bit;
    } kFeatures[] = {
        {"superscript", kSuperscript},
        {"subscript", kSubscript},
        {"outline", kOutline},
        {"underline", kUnderline},
        {"strike", kStrikeThrough},
        {"allcaps", kAllCaps},
        {"smallcaps", kSmallCaps},
        {"shadowed", kShadowed},
        {"underlinewords", kUnderlineWords},
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
            if (std::strlen(f.name) == len && std::memcmp(f.name, w, len) == 0) {
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

void ReadCharacterAttributes(Context& ctx, const Attrs& a, CharacterAttributes& out) {
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
        OptionalNumber(ctx, a, id, field);
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
    out.effects.reset();
    if (const char* f = a.Get(kAttr_FEATURES)) {
        unsigned bits;
        if (FeaturesToEffects(f, bits)) out.effects = bits;
    } else if (a.Has(kAttr_EFFECT)) {
        out.effects = static_cast<unsigned>(Integer(ctx, a, kAttr_EFFECT, 0)) & 0x37F;
    }
}

void ReadParagraphAttributes(Context& ctx, const Attrs& a, pugi::xml_node node,
                             ParagraphAttributes& out) {
    auto num = [&](AttrId id, std::optional<double>& field) { OptionalNumber(ctx, a, id, field); };
    auto integer = [&](AttrId id, std::optional<int>& field) {
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
    // Old styles list tab positions in TABS; newer ones use Tabs children.
    if (const char* tabs = a.Get(kAttr_TABS)) {
        std::vector<double> v;
        NumberList(tabs, v, 2000);
        if (!v.empty()) {
            std::vector<TabStop> stops;
            for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
                TabStop t;
                t.type = static_cast<int>(v[i]);
                t.position = v[i + 1];
                stops.push_back(t);
            }
            out.tabs = std::move(stops);
        }
    }
    if (pugi::xml_node first = node.child("Tabs")) {
        std::vector<TabStop> stops;
        Attrs tab; // large: made only for styles that have tab stops
        for (pugi::xml_node t = first; t; t = t.next_sibling("Tabs")) {
            tab.Load(t);
            TabStop s;
            s.position = Number(ctx, tab, kAttr_Pos, 0);
            s.type = static_cast<int>(Integer(ctx, tab, kAttr_Type, 0));
            s.fill = ToUtf16(ctx, tab.Get(kAttr_Fill));
            stops.push_back(std::move(s));
            if (stops.size() > 1000) break;
        }
        out.tabs = std::move(stops);
    }
    ReadCharacterAttributes(ctx, a, out.character);
}

} // namespace detail
} // namespace scribus
