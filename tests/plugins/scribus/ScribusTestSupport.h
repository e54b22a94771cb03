// Helpers for the Scribus parser's tests and corpus check.
#ifndef OMBRA_TESTS_SCRIBUS_SUPPORT_H
#define OMBRA_TESTS_SCRIBUS_SUPPORT_H

#include <ScribusParser.h>

#include <string>

namespace scribus_test {

/// The whole file, or an empty string when it cannot be read.
std::string ReadFile(const std::string& path);

/// A fixture from tests/data/scribus.
std::string Fixture(const std::string& name);

scribus::ParseResult ParseBytes(const std::string& bytes,
                                const scribus::ParseOptions& options = scribus::ParseOptions());

/// Story text as UTF-8, with the special characters spelled out:
/// paragraph end "¶", line break "|", tab "\t", objects and variables "#",
/// breaks "\f".
std::string Utf8(const std::u16string& text);

/// UTF-8 as UTF-16 (characters outside the basic plane as surrogate pairs).
std::u16string FromUtf8(const std::string& text);

/// Empty when the story's runs and paragraphs cover its text without gaps
/// or overlaps; otherwise what is wrong.
std::string CheckCoverage(const scribus::Story& story);

/// Index of the paragraph or character style with that name, or -1.
int FindColor(const scribus::Document& doc, const std::string& name);

} // namespace scribus_test

#endif
