// Helpers of the IDML reader's suites: the packages make_packages.py writes,
// the reader driven as the pump drives it, and the Elements it yields.
#ifndef OMBRA_TESTS_IDML_SUPPORT_H
#define OMBRA_TESTS_IDML_SUPPORT_H

#include <IdmlReader.h>

#include <ombra/diagnostics.h>
#include <ombra/elements.h>

#include "plugins/PluginTestSupport.h"
#include "support/DocumentBuilder.h"

#include <string>
#include <utility>
#include <vector>

namespace idml_test {

using plugin_test::ReadFile;
/// A package make_packages.py wrote ("features/ruby", "damaged/truncated").
std::string Package(const std::string& name);

/// The reader run over bytes as the pump runs it, with Boolean preferences
/// (index, value) set first. With failAfter >= 0 the failAfter-th
/// allocation of Init (the memory service's, the heap's or the XML
/// parser's) fails (plugin_test::FailHeapAfter::Refused() says whether one did).
class Reading : public plugin_test::ReaderRun<IdmlReader> {
public:
    explicit Reading(const std::string& bytes, const std::vector<std::pair<int, bool>>& prefs = {},
                     long long failAfter = -1);
    /// The text of each story of the story list, as UTF-8.
    std::vector<std::string> Texts() const;
};

// Elements at or below one, and values through the view accessors, as the
// writers' suites read them.
using namespace ombra_test;
inline std::vector<Element*> Below(Element* e, EL::ElementTypeEnum kind) {
    return ombra_test::Descendants(e, kind);
}
/// An enumeration's member, -1 when absent.
inline int Member(Element* e, AN::AttrNameEnum attr) {
    return ombra_test::EnumOf(e, attr);
}
/// Degrees of an angle, NaN when absent.
double Degrees(Element* e, AN::AttrNameEnum attr);
/// The text of a ChildStory (or of a ParentStory's first one), as UTF-8.
std::string Text(Element* story);
/// [start, end) of the runs of a kind below e.
std::vector<std::pair<long long, long long>> Ranges(Element* e, EL::ElementTypeEnum kind);

/// Empty when, in every ChildStory below the roots, every run and anchor
/// lies inside the text, in order, and (when complete) the paragraph and
/// character runs cover it without gaps; otherwise what is wrong.
std::string CheckStories(const std::vector<Element*>& roots, bool complete = true);

/// The words (runs of letters, digits and underscores of any script) of UTF-8 text.
std::vector<std::string> Words(const std::string& text);

} // namespace idml_test

#endif
