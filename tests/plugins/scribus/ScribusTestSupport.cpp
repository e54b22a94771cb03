#include "ScribusTestSupport.h"

#include <fstream>
#include <sstream>

namespace scribus_test {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Fixture(const std::string& name) {
#ifdef OMBRA_SCRIBUS_DATA_DIR
    return ReadFile(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/" + name);
#else
    return ReadFile(name);
#endif
}

scribus::ParseResult ParseBytes(const std::string& bytes, const scribus::ParseOptions& options) {
    return scribus::Parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), options);
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned cp = text[i];
        if (cp == scribus::kParagraphSeparator) { out += "\xC2\xB6"; continue; }
        if (cp == scribus::kLineBreak) { out += "|"; continue; }
        if (cp == scribus::kObjectReplacement) { out += "#"; continue; }
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) out += static_cast<char>(cp);
        else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        unsigned cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += 1 + extra;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string CheckCoverage(const scribus::Story& story) {
    std::size_t pos = 0;
    for (const auto& r : story.runs) {
        if (r.start != pos) return "character run starts at " + std::to_string(r.start) + ", expected " + std::to_string(pos);
        if (r.length == 0) return "empty character run";
        pos += r.length;
    }
    if (pos != story.text.size()) return "character runs end at " + std::to_string(pos);
    pos = 0;
    for (std::size_t i = 0; i < story.paragraphs.size(); ++i) {
        const auto& p = story.paragraphs[i];
        if (p.start != pos) return "paragraph starts at " + std::to_string(p.start) + ", expected " + std::to_string(pos);
        pos += p.length;
        bool last = i + 1 == story.paragraphs.size();
        if (!last && (p.length == 0 || story.text[pos - 1] != scribus::kParagraphSeparator))
            return "paragraph " + std::to_string(i) + " does not end with a separator";
    }
    if (story.paragraphs.empty()) return "no paragraphs";
    if (pos != story.text.size()) return "paragraphs end at " + std::to_string(pos);
    for (const auto& m : story.markers) {
        bool isBreak = m.kind == scribus::Marker::Kind::kColumnBreak || m.kind == scribus::Marker::Kind::kFrameBreak;
        char16_t placeholder = isBreak ? scribus::kBreak : scribus::kObjectReplacement;
        if (m.position >= story.text.size() || story.text[m.position] != placeholder)
            return "marker at " + std::to_string(m.position) + " has no placeholder";
    }
    return std::string();
}

int FindColor(const scribus::Document& doc, const std::string& name) {
    for (std::size_t i = 0; i < doc.colors.size(); ++i)
        if (doc.colors[i].name == name) return static_cast<int>(i);
    return -1;
}

} // namespace scribus_test
