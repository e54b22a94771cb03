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

#include <functional>
#include <string>
#include <vector>

namespace scribus_test {

/// The whole file, or an empty string when it cannot be read.
std::string ReadFile(const std::string& path);
/// A fixture from tests/data/scribus.
std::string Fixture(const std::string& name);
scribus::ParseResult ParseBytes(const std::string& bytes,
                                const scribus::ParseOptions& options = scribus::ParseOptions());
/// prefix, then padding spaces, then suffix, gzip compressed.
std::string Gzip(const std::string& prefix, std::size_t padding = 0,
                 const std::string& suffix = "");

std::string Utf8(const std::u16string& text);
/// UTF-8 as UTF-16 (characters outside the basic plane as surrogate pairs).
std::u16string FromUtf8(const std::string& text);
/// Story text as UTF-8 with the special characters spelled out: paragraph
/// end "¶", line break "|", objects and variables "#".
std::string Shown(const std::u16string& text);

/// Empty when the story's runs and paragraphs cover its text without gaps
/// or overlaps; otherwise what is wrong.
std::string CheckCoverage(const scribus::Story& story);
/// Index of the colour with that name, or -1.
int FindColor(const scribus::Document& doc, const std::string& name);
/// Index of the item with that name, -1 when there is none, -2 when the
/// name is not unique.
int ItemNamed(const scribus::Document& doc, const std::string& name);

/// Words (runs of letters and digits of any script) of a UTF-16 text.
std::vector<std::u16string> Words(const std::u16string& text);
/// True when needle's words appear in order, one after the other, in hay.
bool ContainsRun(const std::vector<std::u16string>& hay, const std::vector<std::u16string>& needle);

/// The core with the built scribus.obrd and the story-text writer (writer
/// id 301), as a host sets it up.
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
};

// ---- the reader object driven directly (ReaderTestSupport.cpp) -------------

/// Runs the reader over bytes as the pump does (GetStreamPrefs, Init, the
/// Elements) and keeps everything until destroyed, which resets the reader.
/// `adjust` may change the preference list before Init; with failAfter >= 0
/// the memory service fails from that allocation of Init on, with
/// failHeapAfter >= 0 the heap (operator new, pugixml's allocations) does.
class Conversion {
public:
    explicit Conversion(const std::string& bytes,
                        const std::function<void(OBPreferenceList&)>& adjust = nullptr,
                        long long failAfter = -1, long long failHeapAfter = -1);
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    const std::vector<Element*>& Top() const { return top_; }
    /// Whether the heap refused an allocation (with failHeapAfter).
    bool HeapRefused() const { return heapRefused_; }
    /// The top-level Element of that kind, or null.
    Element* TopOf(EL::ElementTypeEnum kind) const;
    /// The per-thread error code after the last Element.
    int Error() const { return error_; }
    bool Logged(int code) const;

private:
    std::string bytes_;
    ScribusReader* reader_;
    OBStream* stream_;
    OBConversionLogger logger_;
    std::vector<Element*> top_;
    std::vector<unsigned> log_;
    int error_;
    bool heapRefused_ = false;
};

/// Direct children of that kind, in order.
std::vector<Element*> Children(Element* e, EL::ElementTypeEnum kind);
/// Every element of that kind below e (e included), in document order.
std::vector<Element*> Descendants(Element* e, EL::ElementTypeEnum kind);
/// The element with that id below any of the roots, or null.
Element* FindId(const std::vector<Element*>& roots, unsigned id);

/// Values through the view accessors: NaN, -1, kNoId or "" when absent or
/// of another type.
double Points(Element* e, AN::AttrNameEnum attr);
double Ratio(Element* e, AN::AttrNameEnum attr);
long long Int(Element* e, AN::AttrNameEnum attr);
/// 1 or 0, -1 when absent.
int Flag(Element* e, AN::AttrNameEnum attr);
/// An id value (from the view or, for the page-item attributes every item
/// carries, from the element's store).
constexpr unsigned kNoId = 0xFFFFFFFFu;
unsigned Id(Element* e, AN::AttrNameEnum attr);
std::string Str(Element* e, AN::AttrNameEnum attr);
/// An enumeration's member number.
int EnumOf(Element* e, AN::AttrNameEnum attr);

/// The text of a ChildStory's stream, read from the start.
std::u16string StoryText(Element* childStory);

/// Empty when every value stored on every element below the roots has the
/// type that the accessor table binds for the element's kind (or, for an
/// attribute the kind has no accessor for, the attribute's own type);
/// otherwise what is wrong, one line per fault.
std::string CheckValueTypes(const std::vector<Element*>& roots);
/// Empty when the story's runs cover its text without gaps or overlaps and
/// every range lies inside it.
std::string CheckRuns(Element* childStory);

} // namespace scribus_test

#endif
