// Checks of what the markup writers write, shared by their tests and fuzz
// targets: HTML whose elements open and close in order, and JSON that is
// one well-formed value.
#ifndef OMBRA_TESTS_SUPPORT_MARKUPCHECKS_H
#define OMBRA_TESTS_SUPPORT_MARKUPCHECKS_H

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace ombra_test {

/// True when the elements of html open and close in order (void elements
/// aside).
inline bool TagsNest(const std::string& html) {
    static const char* const kEmpty[] = {"meta", "br", "img", "hr", "link", "!DOCTYPE"};
    std::vector<std::string> open;
    for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        size_t end = html.find_first_of(" >", at);
        std::string name = html.substr(at + 1, end - at - 1);
        bool empty = false;
        for (const char* e : kEmpty)
            empty = empty || name == e;
        if (name[0] == '/') {
            if (open.empty() || open.back() != name.substr(1)) return false;
            open.pop_back();
        } else if (!empty) {
            open.push_back(name);
        }
    }
    return open.empty();
}

/// A JSON checker: Value consumes one value at `at` and says whether it was well-formed.
struct Json {
    const std::string& s;
    size_t at = 0;
    void Space() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\t' || s[at] == '\r'))
            ++at;
    }
    bool Eat(char c) {
        Space();
        if (at < s.size() && s[at] == c) return ++at, true;
        return false;
    }
    bool String() {
        if (!Eat('"')) return false;
        while (at < s.size()) {
            unsigned char c = static_cast<unsigned char>(s[at++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (at >= s.size()) return false;
            char e = s[at++];
            if (e == 'u') {
                for (int k = 0; k < 4; ++k, ++at)
                    if (at >= s.size() || !isxdigit(static_cast<unsigned char>(s[at])))
                        return false;
            } else if (!strchr("\"\\/bfnrt", e)) {
                return false;
            }
        }
        return false;
    }
    bool Value(int depth) {
        Space();
        if (at >= s.size() || depth > 2000) return false;
        char c = s[at];
        if (c == '"') return String();
        if (c == '{' || c == '[') {
            ++at;
            char close = c == '{' ? '}' : ']';
            if (Eat(close)) return true;
            do {
                if (c == '{' && !(String() && Eat(':'))) return false;
                if (!Value(depth + 1)) return false;
            } while (Eat(','));
            return Eat(close);
        }
        for (const char* word : {"true", "false", "null"})
            if (s.compare(at, strlen(word), word) == 0) return at += strlen(word), true;
        size_t start = at;
        if (s[at] == '-') ++at;
        while (at < s.size() &&
               (isdigit(static_cast<unsigned char>(s[at])) || strchr(".eE+-", s[at])))
            ++at;
        return at > start + (s[start] == '-');
    }
};

/// True when text is one well-formed JSON value and nothing else but white space.
inline bool IsJson(const std::string& text) {
    Json json{text};
    if (!json.Value(0)) return false;
    json.Space();
    return json.at == text.size();
}

} // namespace ombra_test

#endif
