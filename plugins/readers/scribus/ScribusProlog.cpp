// The prolog of a Scribus file (see ScribusProlog.h). pugixml skips a
// document type declaration and keeps references to its entities as
// written, so they are replaced in the text before the tree is made.
#include "ScribusProlog.h"
#include "ScribusXmlScan.h"

#include <Utf8Put.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

namespace scribus {
namespace detail {

namespace {

// The XML reader's classes of bytes: white space, and the bytes of names.
bool IsSpace(unsigned char c) {
    return xmlscan::Is(static_cast<char>(c), xmlscan::kSpace);
}

bool IsNameByte(unsigned char c) {
    return xmlscan::Is(static_cast<char>(c), xmlscan::kSymbol);
}

bool StartsWith(const char* p, std::size_t i, std::size_t size, std::string_view lead) {
    return size - i >= lead.size() && std::memcmp(p + i, lead.data(), lead.size()) == 0;
}

// Past the first close at or after i; size when there is none.
std::size_t Past(const char* p, std::size_t i, std::size_t size, std::string_view close) {
    for (; i < size; ++i)
        if (StartsWith(p, i, size, close)) return i + close.size();
    return size;
}

// The general entities of an internal subset: those with a value, and the
// names of those without one (external), whose references stay as written.
struct Declared {
    std::map<std::string, std::string, std::less<>> values;
    std::set<std::string, std::less<>> external;
};

// Past the declaration whose text goes on at i: its '>', quoted texts
// skipped.
std::size_t DeclarationEnd(const char* p, std::size_t i, std::size_t size) {
    for (char quote = 0; i < size; ++i) {
        const char c = p[i];
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return i + 1;
    }
    return size;
}

// The character references of an entity's literal replaced by their
// characters, as UTF-8: XML does that where the entity is declared, and the
// text they give is read again where it is used ("&#38;amp;" is "&amp;"
// there). A reference to no character stays as written.
std::string Declare(std::string_view literal) {
    std::string text;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        // A reference to a character has at most eight digits (and leading
        // zeros, rare enough to be left as written): the search stays short.
        const std::size_t end =
            literal.compare(i, 2, "&#") == 0 ? literal.substr(0, i + 12).find(';', i) : i;
        const bool hex = literal.compare(i, 3, "&#x") == 0;
        if (end == std::string_view::npos || end <= i + 2 + hex) {
            text += literal[i];
            continue;
        }
        std::uint32_t code = 0;
        for (std::size_t k = i + 2 + hex; k < end && code <= 0x10FFFF; ++k) {
            const unsigned c = static_cast<unsigned char>(literal[k]);
            const unsigned digit = c - '0' <= 9                   ? c - '0'
                                   : hex && (c | 0x20) - 'a' <= 5 ? (c | 0x20) - 'a' + 10
                                                                  : 0x110000;
            code = digit > 15 ? 0x110000 : code * (hex ? 16 : 10) + digit;
        }
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            text += literal[i];
            continue;
        }
        obutf8::Append(text, code);
        i = end;
    }
    return text;
}

// One "<!ENTITY" declaration, its keyword ending before i; past it. The
// first declaration of a name counts, as in XML; the five predefined names
// keep their meaning.
std::size_t ReadEntity(const char* p, std::size_t i, std::size_t size, Declared& declared) {
    while (i < size && IsSpace(static_cast<unsigned char>(p[i])))
        ++i;
    if (i < size && p[i] == '%') return DeclarationEnd(p, i, size); // a parameter entity
    const std::size_t name = i;
    while (i < size && IsNameByte(static_cast<unsigned char>(p[i])))
        ++i;
    std::string key(p + name, i - name);
    while (i < size && IsSpace(static_cast<unsigned char>(p[i])))
        ++i;
    static const std::set<std::string_view> kPredefined = {"amp", "lt", "gt", "quot", "apos"};
    const bool usable = !key.empty() && !kPredefined.count(key) && !declared.values.count(key) &&
                        !declared.external.count(key);
    if (i < size && (p[i] == '"' || p[i] == '\'')) {
        const char* end = static_cast<const char*>(std::memchr(p + i + 1, p[i], size - i - 1));
        if (!end) return size;
        if (usable)
            declared.values.emplace(std::move(key),
                                    Declare(std::string_view(p + i + 1, end - (p + i + 1))));
        i = static_cast<std::size_t>(end - p) + 1;
    } else if (usable) {
        declared.external.insert(std::move(key));
    }
    return DeclarationEnd(p, i, size);
}

// The declarations of the internal subset [i, end).
void ReadSubset(const char* p, std::size_t i, std::size_t end, Declared& declared) {
    while (i < end) {
        if (StartsWith(p, i, end, "<!--"))
            i = Past(p, i + 4, end, "-->");
        else if (StartsWith(p, i, end, "<?"))
            i = Past(p, i + 2, end, "?>");
        else if (StartsWith(p, i, end, "<!ENTITY") && i + 8 < end &&
                 IsSpace(static_cast<unsigned char>(p[i + 8])))
            i = ReadEntity(p, i + 8, end, declared);
        else if (StartsWith(p, i, end, "<!"))
            i = DeclarationEnd(p, i + 2, end);
        else
            ++i;
    }
}

// The end of the document type declaration whose "<!" is at p + i: past
// its '>', brackets, quoted texts and comments followed; size when it is
// not within the bytes.
std::size_t DocumentTypeEnd(const unsigned char* p, std::size_t i, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(p);
    int depth = 0;
    unsigned char quote = 0;
    for (i += 2; i < size; ++i) {
        const unsigned char c = p[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (StartsWith(text, i, size, "<!--")) {
            i = Past(text, i + 4, size, "-->") - 1; // the loop steps past its '>'
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            depth -= depth > 0;
        } else if (c == '>' && depth == 0) {
            return i + 1;
        }
    }
    return size;
}

class Expander {
public:
    Expander(const Declared& declared, std::size_t limit, std::string& out)
        : declared_(declared), limit_(limit), out_(out) {}

    // Appends text, its references to declared entities replaced; within a
    // value (depth > 0) quotes and '<' become references.
    void Append(std::string_view text, int depth) {
        std::size_t i = 0;
        while (i < text.size() && !limited_) {
            const std::size_t amp = text.find('&', i);
            Copy(text.substr(i, amp == std::string_view::npos ? amp : amp - i), depth);
            if (amp == std::string_view::npos) return;
            i = Reference(text, amp, depth);
        }
    }

    bool Limited() const { return limited_; }
    std::size_t unknown = 0;

private:
    // The reference at amp: expanded, or copied as written; past it.
    std::size_t Reference(std::string_view text, std::size_t amp, int depth) {
        // Values that expand to nothing grow no text: the references read
        // count against the limit as well.
        if (++references_ > limit_) {
            limited_ = true;
            return text.size();
        }
        std::size_t end = amp + 1;
        while (end < text.size() && end - amp <= kMaxName &&
               IsNameByte(static_cast<unsigned char>(text[end])))
            ++end;
        if (end == amp + 1 || end >= text.size() || text[end] != ';') {
            Copy(text.substr(amp, 1), 0);
            return amp + 1;
        }
        const std::string_view name = text.substr(amp + 1, end - amp - 1);
        const auto found = declared_.values.find(name);
        if (found == declared_.values.end() || depth >= kMaxDepth || active_.count(found->first)) {
            // Unknown names are pugixml's to keep; external and looping ones
            // are counted.
            if (found != declared_.values.end() || declared_.external.count(name)) ++unknown;
            Copy(text.substr(amp, end + 1 - amp), 0);
            return end + 1;
        }
        active_.insert(found->first);
        Append(found->second, depth + 1);
        active_.erase(found->first);
        return end + 1;
    }

    // Appends text as it is, or within a value (depth > 0) with its quotes
    // and '<' as references; up to the limit.
    void Copy(std::string_view text, int depth) {
        if (depth == 0) {
            const std::size_t n = std::min(text.size(), limit_ - out_.size());
            out_.append(text.data(), n);
            limited_ = limited_ || n < text.size();
            return;
        }
        for (const char c : text) {
            std::string_view piece(&c, 1);
            if (c == '<') piece = "&lt;";
            if (c == '"') piece = "&quot;";
            if (c == '\'') piece = "&apos;";
            if (piece.size() > limit_ - out_.size()) {
                limited_ = true;
                return;
            }
            out_.append(piece);
        }
    }

    static constexpr std::size_t kMaxName = 256;
    static constexpr int kMaxDepth = 64;
    const Declared& declared_;
    const std::size_t limit_;
    std::string& out_;
    std::set<std::string_view> active_;
    std::size_t references_ = 0;
    bool limited_ = false;
};

} // namespace

std::size_t FirstElement(const unsigned char* p, std::size_t size, std::size_t* doctype) {
    std::size_t i = size >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF ? 3 : 0;
    if (doctype) *doctype = size;
    const char* text = reinterpret_cast<const char*>(p);
    while (i < size) {
        if (IsSpace(p[i])) {
            ++i;
        } else if (StartsWith(text, i, size, "<?")) {
            i = Past(text, i + 2, size, "?>");
        } else if (StartsWith(text, i, size, "<!--")) {
            i = Past(text, i + 4, size, "-->");
        } else if (StartsWith(text, i, size, "<!")) {
            if (doctype && StartsWith(text, i, size, "<!DOCTYPE")) *doctype = i;
            i = DocumentTypeEnd(p, i, size);
        } else {
            return p[i] == '<' && i + 1 < size ? i : size;
        }
    }
    return size;
}

EntityExpansion ExpandEntities(const char* bytes, std::size_t size, std::size_t limit,
                               std::string& out) {
    EntityExpansion expansion;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t start = size;
    FirstElement(p, size, &start);
    if (start == size) return expansion;
    const std::size_t end = DocumentTypeEnd(p, start, size);
    // The subset's '[' comes after the name and the external identifier,
    // whose quoted texts may hold one.
    std::size_t subset = start;
    for (char quote = 0; subset < end && (quote || bytes[subset] != '['); ++subset) {
        const char c = bytes[subset];
        if (quote ? c == quote : c == '"' || c == '\'') quote = quote ? 0 : c;
    }
    if (subset == end) return expansion;
    Declared declared;
    ReadSubset(bytes, subset + 1, end, declared);
    if (declared.values.empty() && declared.external.empty()) return expansion;
    out.clear();
    out.reserve(std::min(size, limit));
    Expander expander(declared, limit, out);
    const std::size_t kept = std::min(end, limit);
    out.append(bytes, kept);
    if (kept == end) expander.Append(std::string_view(bytes + end, size - end), 0);
    expansion.unknown = expander.unknown;
    expansion.result = expander.Limited() || kept < end ? EntityExpansion::Result::kLimited
                                                        : EntityExpansion::Result::kExpanded;
    return expansion;
}

} // namespace detail
} // namespace scribus
