#include "IdmlTestSupport.h"

#include <ombra/storedelements.h>
#include <ombra/strings.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <ombra/memory.h>

#include "plugins/PluginTestSupport.h"

#include <cmath>
#include <cstdlib>
#include <locale>
#include <memory>

namespace idml_test {

std::string Package(const std::string& name) {
    return ReadFile(std::string(OMBRA_IDML_PACKAGES) + "/" + name + ".idml");
}

namespace {

void* ServiceAllocate(unsigned long long n) {
    return plugin_test::HeapAllocate(static_cast<std::size_t>(n));
}

OBMemoryService gOneShot(ServiceAllocate, std::free, ServiceAllocate, std::free);

} // namespace

Reading::Reading(const std::string& bytes, const std::vector<std::pair<int, bool>>& prefs,
                 long long failAfter)
    : ReaderRun(
          bytes,
          [&prefs](OBPreferenceList& list) {
              for (const auto& p : prefs) {
                  OBPreference* pref = nullptr;
                  list.GetNthPreference(p.first, &pref);
                  if (auto* b = dynamic_cast<OBBooleanPreference*>(pref))
                      b->SetCurrentValue(p.second);
              }
          },
          failAfter, &gOneShot) {}

std::vector<std::string> Reading::Texts() const {
    std::vector<std::string> out;
    for (Element* list : top)
        if (list->GetElementType() == EL::kStoryList)
            for (unsigned long long i = 0; i < list->GetChildCount(); ++i)
                out.push_back(Text(list->GetNthChild(i)));
    return out;
}

double Degrees(Element* e, AN::AttrNameEnum attr) {
    OBReal r = std::nan("");
    if (auto* v = dynamic_cast<ValueAngle*>(OBGetAttributeValue(e, attr)))
        v->Get(UNITS::ANGULAR::kDegrees, r);
    return r;
}

std::string Text(Element* story) {
    if (story && story->GetElementType() == EL::kParentStory)
        story = story->GetChild(EL::kChildStory);
    return ombra_test::Utf8(ombra_test::StoryText(story));
}

std::vector<std::pair<long long, long long>> Ranges(Element* e, EL::ElementTypeEnum kind) {
    std::vector<std::pair<long long, long long>> out;
    for (Element* r : Below(e, kind))
        out.emplace_back(Int(r, AN::kStartCharacterPosition), Int(r, AN::kEndCharacterPosition));
    return out;
}

std::string CheckStories(const std::vector<Element*>& roots, bool complete) {
    std::string faults;
    for (Element* root : roots)
        for (Element* child : Below(root, EL::kChildStory)) {
            const long long length = static_cast<long long>(ombra_test::StoryText(child).size());
            if (complete) faults += ombra_test::CheckRuns(child);
            // Each kind in its own list (not a nested story's); paragraph
            // and character runs in order.
            for (auto [kind, list] : {std::pair{EL::kParagraphRun, EL::kParagraphRunList},
                                      {EL::kCharacterRun, EL::kCharacterRunList},
                                      {EL::kRubiRun, EL::kRubiRunList},
                                      {EL::kKentenRun, EL::kKentenRunList},
                                      {EL::kWarichuRun, EL::kWarichuRunList},
                                      {EL::kTCYRun, EL::kTCYRunList}}) {
                bool ordered = kind == EL::kParagraphRun || kind == EL::kCharacterRun;
                long long at = 0;
                for (auto r : Ranges(child->GetChild(list), kind)) {
                    if (r.first < (ordered ? at : 0) || r.second <= r.first || r.second > length)
                        faults += std::string(OBElementTypeName(kind)) + " outside the text at " +
                                  std::to_string(r.first) + "\n";
                    at = r.second;
                }
            }
            for (Element* e : Below(child->GetChild(EL::kTableRunList), EL::kTableRun))
                if (Int(e, AN::kTextIndex) < 0 || Int(e, AN::kTextIndex) >= length)
                    faults += "table run\n";
        }
    return faults;
}

std::vector<std::string> Words(const std::string& text) {
    static const std::locale utf8("C.UTF-8");
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(utf8);
    std::vector<std::string> out;
    std::string word;
    for (std::size_t i = 0; i <= text.size();) {
        unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        wchar_t cp = static_cast<wchar_t>(extra == 0 ? c : c & (0x3F >> extra));
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        bool letter = c && (cp == L'_' || ctype.is(std::ctype_base::alnum, cp));
        if (letter) word.append(text, i, static_cast<std::size_t>(extra + 1));
        if (!letter && !word.empty()) out.push_back(std::move(word)), word.clear();
        i += static_cast<std::size_t>(extra + 1);
    }
    return out;
}

} // namespace idml_test
