// A strict JSON reader for the host's suites: it accepts exactly the
// grammar of RFC 8259 (UTF-8 text, no trailing commas, no control
// characters in strings, no repeated member names) and builds a small tree
// to check the dump with.
#ifndef OMBRA_TESTS_TOOLS_JSON_H
#define OMBRA_TESTS_TOOLS_JSON_H

#include <string>
#include <utility>
#include <vector>

namespace ombra_test {

struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    bool boolean = false;
    std::string number; ///< as written
    /// Strings as UTF-16 units, escapes decoded (unpaired surrogates kept).
    std::u16string text;
    std::vector<Json> items;
    std::vector<std::pair<std::u16string, Json>> members;

    /// The member named key; a kNull value when there is none.
    const Json& operator[](const char16_t* key) const;
    /// Item n of an array; a kNull value outside it.
    const Json& At(std::size_t n) const;
    bool Has(const char16_t* key) const;
};

/// Parses text; false with the offset and reason of the first error.
bool ParseJson(const std::string& text, Json& out, std::string& error);

} // namespace ombra_test

#endif
