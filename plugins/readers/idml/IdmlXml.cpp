#include "IdmlXml.h"

#include <cstring>

namespace idml {
namespace xml {

bool Load(pugi::xml_document& doc, std::string& bytes, bool story, bool& malformed) {
    malformed = false;
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
    for (pugi::xml_node p : n.child("Properties").children())
        if (FindAttr(p.name(), a)) entries.Add(a, p.child_value());
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
            for (std::size_t i = at; p != ascii; ++p, ++i)
                out[i] = static_cast<char16_t>(*p);
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
        if (i <= more || cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
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
