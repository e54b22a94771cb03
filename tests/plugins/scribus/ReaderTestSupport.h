// Helpers for the Scribus reader's suites: one conversion through the
// reader object with its Elements kept until the end of the test, and ways
// to look into the tree.
#ifndef OMBRA_TESTS_SCRIBUS_READER_SUPPORT_H
#define OMBRA_TESTS_SCRIBUS_READER_SUPPORT_H

#include <ScribusReader.h>

#include <ombra/diagnostics.h>
#include <ombra/elements.h>
#include <ombra/preferences.h>
#include <ombra/streams.h>

#include <functional>
#include <string>
#include <vector>

namespace scribus_reader_test {

/// The fixture file tests/data/scribus/NAME.
std::string Fixture(const std::string& name);
std::string ReadFile(const std::string& path);

/// Runs the reader over bytes as the pump does (GetStreamPrefs, Init, the
/// Elements) and keeps everything until destroyed, which resets the reader.
/// `adjust` may change the preference list before Init.
class Conversion {
public:
    /// With failAfter >= 0 the memory service fails from that allocation of
    /// Init on.
    explicit Conversion(const std::string& bytes,
                        const std::function<void(OBPreferenceList&)>& adjust = nullptr,
                        long long failAfter = -1);
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    const std::vector<Element*>& Top() const { return top_; }
    /// The top-level Element of that kind, or null.
    Element* TopOf(EL::ElementTypeEnum kind) const;
    /// The per-thread error code after the last Element.
    int Error() const { return error_; }
    /// The string ids logged during the conversion.
    const std::vector<unsigned>& Log() const { return log_; }
    bool Logged(int code) const;

private:
    std::string bytes_;
    ScribusReader* reader_;
    OBStream* stream_;
    OBConversionLogger logger_;
    std::vector<Element*> top_;
    std::vector<unsigned> log_;
    int error_;
};

/// Direct children of that kind, in order.
std::vector<Element*> Children(Element* e, EL::ElementTypeEnum kind);
/// Every element of that kind below e (e included), in document order.
std::vector<Element*> Descendants(Element* e, EL::ElementTypeEnum kind);
/// The element with that id below any of the roots, or null.
Element* FindId(const std::vector<Element*>& roots, unsigned id);

/// Values through the view accessors (null-safe).
bool Int(Element* e, AN::AttrNameEnum attr, long long& out);
bool Flag(Element* e, AN::AttrNameEnum attr, bool& out);
bool Id(Element* e, AN::AttrNameEnum attr, unsigned& out);
bool Points(Element* e, AN::AttrNameEnum attr, double& out);
bool Ratio(Element* e, AN::AttrNameEnum attr, double& out);
/// A string value as UTF-8, "" when absent.
std::string Str(Element* e, AN::AttrNameEnum attr);
/// An enumeration's member number, -1 when absent.
int EnumOf(Element* e, AN::AttrNameEnum attr);

/// The text of a ChildStory's stream, read from the start.
std::u16string StoryText(Element* childStory);
std::string Utf8(const std::u16string& text);

/// Empty when every value stored on every element below the roots has the
/// type that the accessor table binds for the element's kind (or, for an
/// attribute the kind has no accessor for, the attribute's own type);
/// otherwise what is wrong, one line per fault.
std::string CheckValueTypes(const std::vector<Element*>& roots);

/// Empty when the story's runs cover its text without gaps or overlaps and
/// every range lies inside it.
std::string CheckRuns(Element* childStory);

/// Words (runs of letters and digits of any script) of a UTF-16 text.
std::vector<std::u16string> Words(const std::u16string& text);
/// 1 when needle's words appear in order, one after the other, in hay.
bool ContainsRun(const std::vector<std::u16string>& hay, const std::vector<std::u16string>& needle);

} // namespace scribus_reader_test

#endif

#include <ombra/convertor.h>

namespace scribus_reader_test {

/// The core with the built scribus.obrd and the story-text writer
/// (writer id 301), as a host sets it up; one per suite.
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

} // namespace scribus_reader_test
