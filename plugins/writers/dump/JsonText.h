// JSON text for the structure dump: strings escaped so that the output is
// valid JSON whatever the document holds.
#ifndef OMBRA_PLUGINS_JSONTEXT_H
#define OMBRA_PLUGINS_JSONTEXT_H

#include <cstddef>
#include <string>

namespace ombra_dump {

/// Appends the UTF-16 units as the inside of a JSON string (no quotes):
/// surrogate pairs become UTF-8, an unpaired surrogate becomes its \u
/// escape, and '"', '\\', control characters, DEL and U+2028/U+2029 are
/// escaped.
void AppendJsonUtf16(std::string& out, const unsigned short* units, std::size_t count);

/// Appends UTF-8 bytes as the inside of a JSON string, escaped as above. A
/// surrogate written as three bytes (as the core encodes an unpaired one)
/// becomes its \u escape; any other byte that does not start a well-formed
/// sequence becomes \ufffd.
void AppendJsonUtf8(std::string& out, const char* bytes, std::size_t count);

/// Appends a finite number in its shortest form that reads back exactly;
/// returns false, appending nothing, for NaN and the infinities (which JSON
/// has no numbers for).
bool AppendJsonNumber(std::string& out, double value);

} // namespace ombra_dump

#endif
