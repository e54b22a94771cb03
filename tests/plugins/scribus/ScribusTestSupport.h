// Helpers for the Scribus suites and the corpus program: fixtures, the
// parser's model, the reader run as the pump runs it (ReaderTestSupport.cpp)
// and conversions through the real pump.
#ifndef OMBRA_TESTS_SCRIBUS_SUPPORT_H
#define OMBRA_TESTS_SCRIBUS_SUPPORT_H

#include <ScribusParser.h>
#include <ScribusReader.h>

#include <ombra/convertor.h>
#include <ombra/diagnostics.h>
#include <ombra/elements.h>
#include <ombra/preferences.h>
#include <ombra/streams.h>

#include "plugins/PluginTestSupport.h"
#include "support/DocumentBuilder.h"

#include <functional>
#include <string>
#include <vector>

namespace scribus_test {

using plugin_test::ReadFile;
/// A fixture from tests/data/scribus.
std::string Fixture(const std::string& name);
scribus::ParseResult ParseBytes(const std::string& bytes,
                                const scribus::ParseOptions& options = scribus::ParseOptions());
/// prefix, then padding spaces, then suffix, gzip compressed.
std::string Gzip(const std::string& prefix, std::size_t padding = 0,
                 const std::string& suffix = "");

inline std::u16string FromUtf8(const std::string& text) {
    return ombra_test::Utf16(text);
}
/// A field of a table: \\ is a backslash, \uXXXX the UTF-16 unit it names.
std::u16string Unescaped(const std::string& field);
/// Story text as UTF-8 with the special characters spelled out: paragraph
/// end "¶", line break "|", objects and variables "#".
std::string Shown(const std::u16string& text);

/// Empty when the story's runs and paragraphs cover its text without gaps
/// or overlaps; otherwise what is wrong.
std::string CheckCoverage(const scribus::Story& story);
/// Index of the item with that name, -1 when there is none, -2 when the
/// name is not unique.
int ItemNamed(const scribus::Document& doc, const std::string& name);

/// The core with the built readers and writers, as a host sets it up, and
/// its text convertor (writer 259) writing UTF-8 with the stories on master
/// pages and hidden layers too.
class Pump {
public:
    Pump();
    ~Pump();
    Pump(const Pump&) = delete;
    Pump& operator=(const Pump&) = delete;

    /// Converts bytes through the pump; ok is ExtractData's answer. The
    /// conversion log's string ids land in log when given.
    std::string Convert(const std::string& bytes, short& ok, std::vector<unsigned>* log = nullptr);
    OBConvertor* Convertor() { return convertor_; }

private:
    OBConvertorManager* manager_;
    OBConvertor* convertor_;
    Preferences options_{};
};

/// The reader object driven as the pump drives it; with failHeapAfter >= 0
/// the heap (operator new, pugixml's allocations) fails at that allocation
/// of Init.
using Conversion = plugin_test::ReaderRun<ScribusReader>;

/// Converts through the pump and then directly: empty when the pump ran, the
/// words of each text come out in order and the reader's tree follows the
/// conventions (value types, runs); otherwise what is wrong. The log's
/// string ids land in log, the reader's error code in error, when given.
std::string CheckConversion(Pump& pump, const std::string& bytes,
                            const std::vector<std::u16string>& texts,
                            std::vector<unsigned>* log = nullptr, int* error = nullptr);

// Reading the reader's trees (tests/support/DocumentBuilder.h).
using namespace ombra_test;

} // namespace scribus_test

#endif
