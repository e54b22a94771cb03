#include "IdmlXml.h"

#include <ReaderXmlReferences.h>

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <string_view>
#include <vector>

namespace idml {
namespace xml {

bool Load(pugi::xml_document& doc, std::string& bytes, bool story, bool& malformed) {
    malformed = obreader::ReplaceZeroReferences(bytes);
    if (bytes.empty()) return false;
    const unsigned flags = pugi::parse_default | (story ? pugi::parse_pi | pugi::parse_ws_pcdata
                                                        : pugi::parse_ws_pcdata_single);
    // A terminator of its own, so that text cut off at the end of a damaged
    // part keeps its last character.
    bytes.push_back('\0');
    pugi::xml_parse_result r =
        doc.load_buffer_inplace(&bytes[0], bytes.size(), flags, pugi::encoding_utf8);
    if (r.status == pugi::status_ok) return true;
    if (r.status == pugi::status_out_of_memory) throw std::bad_alloc();
    malformed = true;
    return doc.first_child() != nullptr;
}

namespace {

// Character classes for FindTopChildren, by byte.
enum : unsigned char { kSpace = 1, kNameStart = 2, kName = 4 };
struct CharClasses {
    unsigned char of[256] = {};
    constexpr CharClasses() {
        for (unsigned char c : {' ', '\t', '\r', '\n'})
            of[c] = kSpace;
        for (int c = 0; c < 256; ++c) {
            bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
            if (start) of[c] |= kNameStart | kName;
            if ((c >= '0' && c <= '9') || c == '-' || c == '.') of[c] |= kName;
        }
    }
};
constexpr CharClasses kClass;

bool Is(char c, unsigned char classes) {
    return kClass.of[static_cast<unsigned char>(c)] & classes;
}

bool Space(char c) {
    return Is(c, kSpace);
}

// A cursor for FindTopChildren: each step accepts a subset of what pugixml
// accepts there, or fails.
struct Scanner {
    const char* p;
    const char* end;

    void SkipSpace() {
        while (p < end && Space(*p))
            ++p;
    }
    bool AllSpace(const char* to) {
        SkipSpace();
        return p >= to;
    }
    std::string_view Name() {
        const char* start = p;
        if (p < end && Is(*p, kNameStart)) {
            ++p;
#ifdef __SSE2__
            // Sixteen bytes a step: names run to a dozen letters and more.
            while (end - p >= 16) {
                const unsigned run = NameRun(p);
                p += run;
                if (run < 16) return {start, static_cast<std::size_t>(p - start)};
            }
#endif
            while (p < end && Is(*p, kName))
                ++p;
        }
        return {start, static_cast<std::size_t>(p - start)};
    }
#ifdef __SSE2__
    // How many of the 16 bytes at at are name characters, from the first.
    static unsigned NameRun(const char* at) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
        auto in = [](__m128i v, char low, char high) {
            return _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(low - 1))),
                                 _mm_cmplt_epi8(v, _mm_set1_epi8(static_cast<char>(high + 1))));
        };
        __m128i name = _mm_or_si128(in(lower, 'a', 'z'), in(c, '0', '9'));
        for (char extra : {'_', ':', '.', '-'})
            name = _mm_or_si128(name, _mm_cmpeq_epi8(c, _mm_set1_epi8(extra)));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFFu;
        return other ? static_cast<unsigned>(__builtin_ctz(other)) : 16u;
    }
#endif
    // The attributes and the end of a start tag; closed for `/>`.
    bool Attributes(bool& closed) {
        for (;;) {
            const char* before = p;
            SkipSpace();
            if (p == end) return false;
            if (*p == '>' || *p == '/') {
                closed = *p == '/';
                if (closed && (end - p < 2 || p[1] != '>')) return false;
                p += closed ? 2 : 1;
                return true;
            }
            if (p == before || Name().empty()) return false; // attributes stand apart
            SkipSpace();
            if (p == end || *p != '=') return false;
            ++p;
            SkipSpace();
            if (p == end || (*p != '"' && *p != '\'')) return false;
            const auto* close = static_cast<const char*>(std::memchr(p + 1, *p, end - p - 1));
            if (!close) return false;
            p = close + 1;
        }
    }
};

} // namespace

bool FindTopChildren(std::string_view bytes, const char* const* names, std::size_t count,
                     std::string_view* tags) {
    for (std::size_t i = 0; i < count; ++i)
        tags[i] = std::string_view();
    if (std::memchr(bytes.data(), 0, bytes.size())) return false;
    Scanner s{bytes.data(), bytes.data() + bytes.size()};
    if (bytes.compare(0, 5, "<?xml") == 0 && bytes.size() > 5 && Space(bytes[5])) {
        std::size_t close = bytes.find("?>", 6);
        if (close == std::string_view::npos) return false;
        s.p += close + 2;
    }
    std::vector<std::string_view> open; // the names of the open elements
    bool rootDone = false;
    for (;;) {
        const auto* lt = static_cast<const char*>(std::memchr(s.p, '<', s.end - s.p));
        if (open.empty() && !s.AllSpace(lt ? lt : s.end)) return false; // text beside the root
        if (!lt) break;
        const char* tag = lt;
        s.p = lt + 1;
        if (s.p < s.end && *s.p == '/') {
            ++s.p;
            if (open.empty() || s.Name() != open.back()) return false;
            s.SkipSpace();
            if (s.p == s.end || *s.p != '>') return false;
            ++s.p;
            open.pop_back();
            rootDone = open.empty();
            continue;
        }
        const std::string_view name = s.Name();
        bool closed = false;
        if (rootDone || name.empty() || !s.Attributes(closed)) return false;
        if (open.size() == 1)
            for (std::size_t i = 0; i < count; ++i)
                if (tags[i].empty() && name == names[i])
                    tags[i] = std::string_view(tag, (s.p - (closed ? 2 : 1)) - tag);
        if (!closed)
            open.push_back(name);
        else
            rootDone = open.empty();
    }
    return rootDone;
}

void FindAttrs(pugi::xml_node n, const char* const* names, std::size_t count, const char** values) {
    for (std::size_t i = 0; i < count; ++i)
        values[i] = nullptr;
    std::size_t left = count;
    for (pugi::xml_attribute a = n.first_attribute(); a && left; a = a.next_attribute()) {
        const char* name = a.name();
        for (std::size_t i = 0; i < count; ++i)
            if (!values[i] && names[i][0] == name[0] && std::strcmp(names[i], name) == 0) {
                values[i] = a.value();
                --left;
                break;
            }
    }
}

bool NumberOf(const char* value, double& out) {
    return value && ParseNumber(value, out);
}

bool FlagOf(const char* value, bool fallback) {
    bool v = fallback;
    if (value) ParseBool(value, v);
    return v;
}

bool Number(pugi::xml_node n, const char* name, double& out) {
    pugi::xml_attribute a = n.attribute(name);
    return a && ParseNumber(a.value(), out);
}

double NumberOr(pugi::xml_node n, const char* name, double fallback) {
    double v = fallback;
    Number(n, name, v);
    return v;
}

bool Flag(pugi::xml_node n, const char* name, bool fallback) {
    bool v = fallback;
    pugi::xml_attribute a = n.attribute(name);
    if (a) ParseBool(a.value(), v);
    return v;
}

std::string Ref(const char* text) {
    if (!text || !*text || std::strcmp(text, "n") == 0 || std::strcmp(text, "$ID/") == 0)
        return std::string();
    return text;
}

pugi::xml_node Property(pugi::xml_node n, const char* name) {
    return n.child("Properties").child(name);
}

void ReadAttrSet(pugi::xml_node n, AttrSet& out) {
    // Gathered by row, then stored once: styles carry a hundred attributes
    // and more.
    AttrSet::Builder entries;
    idml::Attr a;
    for (pugi::xml_attribute at : n.attributes())
        if (FindAttr(at.name(), a)) entries.Add(a, at.value());
    for (pugi::xml_node p : n.child("Properties").children()) {
        if (FindAttr(p.name(), a)) entries.Add(a, p.child_value());
        // Some (BulletChar) carry their values as attributes.
        for (pugi::xml_attribute at : p.attributes())
            if (FindAttr(at.name(), a)) entries.Add(a, at.value());
    }
    entries.Into(out);
}

bool ReadTabs(pugi::xml_node n, std::vector<TabStop>& out) {
    pugi::xml_node list = Property(n, "TabList");
    if (!list) return false;
    out.clear();
    for (pugi::xml_node item : list.children("ListItem")) {
        TabStop t;
        ParseNumber(item.child_value("Position"), t.position);
        t.alignment = item.child_value("Alignment");
        t.character = item.child_value("AlignmentCharacter");
        bool invalid = false;
        AppendUtf8(item.child_value("Leader"), t.leader, invalid);
        out.push_back(std::move(t));
    }
    return true;
}

namespace {

// The numbers of a space-separated list; false when there are not `count`.
bool Numbers(const char* text, double* out, int count) {
    std::string_view s(text ? text : "");
    std::size_t at = 0;
    for (int i = 0; i < count; ++i) {
        while (at < s.size() && s[at] == ' ')
            ++at;
        std::size_t end = s.find(' ', at);
        if (end == std::string_view::npos) end = s.size();
        if (end == at || !ParseNumber(s.substr(at, end - at), out[i])) return false;
        at = end;
    }
    return true;
}

} // namespace

bool ReadMatrix(const char* text, Matrix& m) {
    double v[6];
    if (!Numbers(text, v, 6)) return false;
    m = {v[0], v[1], v[2], v[3], v[4], v[5]};
    return true;
}

bool ReadPoint(const char* text, obreader::Point& p) {
    double v[2];
    if (!Numbers(text, v, 2)) return false;
    p = {v[0], v[1]};
    return true;
}

void ReadOutline(pugi::xml_node item, std::vector<SubPath>& out) {
    static const char* const kPoint[] = {"Anchor", "LeftDirection", "RightDirection"};
    for (pugi::xml_node path : Property(item, "PathGeometry").children("GeometryPathType")) {
        SubPath s;
        s.closed = !Flag(path, "PathOpen", false);
        for (pugi::xml_node p : path.child("PathPointArray").children("PathPointType")) {
            const char* v[3];
            FindAttrs(p, kPoint, 3, v);
            obreader::PathPoint point;
            if (!ReadPoint(v[0] ? v[0] : "", point.anchor)) continue;
            point.left = point.right = point.anchor;
            ReadPoint(v[1] ? v[1] : "", point.left);
            ReadPoint(v[2] ? v[2] : "", point.right);
            s.points.push_back(point);
        }
        if (!s.points.empty()) out.push_back(std::move(s));
    }
}

std::string DisplayName(const char* name) {
    std::string_view s = name ? name : "";
    if (s.compare(0, 4, "$ID/") == 0) s.remove_prefix(4);
    if (s == "NormalParagraphStyle") return "[Basic Paragraph]";
    if (s == "[No paragraph style]") return "[No Paragraph Style]";
    if (s == "[No character style]") return "[None]";
    return std::string(s);
}

namespace {

// Control characters but tab, line feed and carriage return: XML has no
// place for them, though a parser reads them from references (&#1;).
bool NoXmlCharacter(unsigned c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF;
}

} // namespace

void AppendUtf8(const char* text, std::u16string& out, bool& invalid) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        // A run of ASCII, the bulk of most text, in one step.
        const unsigned char* ascii = p;
        while (*ascii && *ascii < 0x80)
            ++ascii;
        if (ascii != p) {
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(ascii - p));
            bool controls = false;
            for (std::size_t i = at; p != ascii; ++p, ++i) {
                out[i] = static_cast<char16_t>(*p);
                controls |= *p < 0x20;
            }
            for (std::size_t i = at; controls && i < out.size(); ++i)
                if (NoXmlCharacter(out[i])) {
                    out[i] = 0xFFFD;
                    invalid = true;
                }
            continue;
        }
        unsigned c = *p, cp = 0;
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0) {
            out.push_back(0xFFFD);
            invalid = true;
            ++p;
            continue;
        }
        cp = more == 0 ? c : more == 1 ? (c & 0x1F) : more == 2 ? (c & 0x0F) : (c & 0x07);
        int i = 1;
        for (; i <= more && (p[i] & 0xC0) == 0x80; ++i)
            cp = (cp << 6) | (p[i] & 0x3F);
        static const unsigned kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (i <= more || cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ||
            NoXmlCharacter(cp)) {
            out.push_back(0xFFFD);
            invalid = true;
            p += i;
            continue;
        }
        p += i;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
}

} // namespace xml
} // namespace idml
