// References to the character 0 in XML, which pugixml would make a NUL that
// ends the text they lie in. Header only: the Scribus parser builds without
// the core.
#ifndef OMBRA_READER_XML_REFERENCES_H
#define OMBRA_READER_XML_REFERENCES_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace obreader {

/// The length of the reference to the character 0 at `at` ("&#0;", "&#x00;"),
/// or 0 for anything else. The code wraps at 2^32, as pugixml's does.
inline std::size_t ZeroReference(const std::string& bytes, std::size_t at) {
    if (bytes.compare(at, 2, "&#") != 0) return 0;
    std::size_t i = at + 2;
    const bool hex = i < bytes.size() && bytes[i] == 'x';
    const std::size_t first = i += hex ? 1 : 0;
    std::uint32_t code = 0;
    for (; i < bytes.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(bytes[i]);
        if (c - '0' <= 9)
            code = code * (hex ? 16 : 10) + (c - '0');
        else if (hex && (c | ' ') - 'a' <= 5)
            code = code * 16 + ((c | ' ') - 'a' + 10);
        else
            break;
    }
    return i > first && i < bytes.size() && bytes[i] == ';' && code == 0 ? i + 1 - at : 0;
}

/// pugixml makes a reference to the character 0 a NUL inside the value,
/// which then ends it: each becomes U+FFFD (shorter, so in place), in text
/// and attribute values, not in comments, CDATA and processing
/// instructions. True when there was one.
inline bool ReplaceZeroReferences(std::string& bytes) {
    std::size_t at = bytes.find("&#");
    while (at != std::string::npos && !ZeroReference(bytes, at))
        at = bytes.find("&#", at + 2);
    if (at == std::string::npos) return false;
    std::size_t out = 0;
    bool tag = false;
    char quote = 0; // in a tag, of the value it is in
    for (std::size_t in = 0; in < bytes.size();) {
        const char c = bytes[in];
        const char* close = nullptr;
        if (!tag && c == '<')
            close = bytes.compare(in, 4, "<!--") == 0        ? "-->"
                    : bytes.compare(in, 9, "<![CDATA[") == 0 ? "]]>"
                    : bytes.compare(in, 2, "<?") == 0        ? "?>"
                                                             : nullptr;
        if (close) { // copied as it is
            std::size_t end = std::min(bytes.find(close, in + 2), bytes.size());
            end = std::min(end + std::strlen(close), bytes.size());
            std::memmove(&bytes[out], &bytes[in], end - in);
            out += end - in;
            in = end;
            continue;
        }
        if (const std::size_t n = c == '&' ? ZeroReference(bytes, in) : 0) {
            for (char u : {'\xEF', '\xBF', '\xBD'})
                bytes[out++] = u;
            in += n;
            continue;
        }
        if (!tag)
            tag = c == '<';
        else if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else
            tag = c != '>';
        bytes[out++] = bytes[in++];
    }
    bytes.resize(out);
    return true;
}

} // namespace obreader

#endif
