// Preferences set by name and value text.
#include <ombra/resources.h>
#include <ombra/settings.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "framework/FrameworkInternal.h"
#include "streams/memory/StdAllocator.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

struct OBPreferenceSettings::Impl {
    OB_MEMORY_OPERATORS
    OBVector<std::pair<OBStdString, OBStdString>> items;
};

OBPreferenceSettings::OBPreferenceSettings() : impl_(new Impl) {}

OBPreferenceSettings::OBPreferenceSettings(const OBPreferenceSettings& other) : impl_(new Impl) {
    *this = other;
}

OBPreferenceSettings& OBPreferenceSettings::operator=(const OBPreferenceSettings& other) {
    if (this == &other || !impl_) return *this;
    try {
        impl_->items = other.impl_ ? other.impl_->items : decltype(impl_->items)();
    } catch (const std::bad_alloc&) {
        impl_->items.clear();
    }
    return *this;
}

OBPreferenceSettings::~OBPreferenceSettings() {
    delete impl_;
}

short OBPreferenceSettings::Add(const std::string& name, const std::string& value) {
    if (!impl_) return 0;
    try {
        impl_->items.emplace_back(OBStdString(name.data(), name.size()),
                                  OBStdString(value.data(), value.size()));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int OBPreferenceSettings::GetCount() const {
    return impl_ ? static_cast<int>(impl_->items.size()) : 0;
}

std::string OBPreferenceSettings::GetName(int n) const {
    if (n < 0 || n >= GetCount()) return std::string();
    const OBStdString& s = impl_->items[static_cast<std::size_t>(n)].first;
    return std::string(s.data(), s.size());
}

std::string OBPreferenceSettings::GetValue(int n) const {
    if (n < 0 || n >= GetCount()) return std::string();
    const OBStdString& s = impl_->items[static_cast<std::size_t>(n)].second;
    return std::string(s.data(), s.size());
}

void OBPreferenceSettings::Clear() {
    if (impl_) impl_->items.clear();
}

namespace {

// A name as it is compared: ASCII letters in lower case, spaces, hyphens
// and underscores as one space, runs of them as one.
std::string Folded(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == ' ' || c == '-' || c == '_' || c == '\t') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// Equal when folded, or equal to the display text without its closing
// remark in parentheses.
bool SameName(const std::string& display, const std::string& name) {
    if (display.empty()) return false;
    std::string a = Folded(display), b = Folded(name);
    if (a == b) return true;
    std::size_t open = a.rfind(" (");
    return open != std::string::npos && a.back() == ')' && a.compare(0, open, b) == 0 &&
           open == b.size();
}

std::string ResourceText(unsigned id) {
    char text[kOBResourceBufferSize];
    int n = OBLoadResourceString(id, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

std::string EnglishName(OBPreference* p) {
    std::string text = ResourceText(p->GetResourceID() + OBL::kEnglish);
    if (!text.empty()) return text;
    COBString name;
    p->GetMenuName(name, OBL::kEnglish);
    return name.IsNull() ? std::string() : std::string(name.GrabCString());
}

std::string EntryName(OBEnumPreference* e, int n) {
    COBString text;
    e->GetNthEnumerationString(n, text, OBL::kEnglish);
    return text.IsNull() ? std::string() : std::string(text.GrabCString());
}

bool ReadBool(const std::string& text, short& out) {
    static const char* const kOn[] = {"on", "yes", "true", "1"};
    static const char* const kOff[] = {"off", "no", "false", "0"};
    std::string folded = Folded(text);
    for (const char* word : kOn)
        if (folded == word) return (out = 1), true;
    for (const char* word : kOff)
        if (folded == word) return (out = 0), true;
    return false;
}

bool ReadReal(const std::string& text, double& out) {
    if (text.empty() || text.size() > 64 || text.find_first_of(" \t\n") != std::string::npos)
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return end && *end == 0 && errno == 0 && std::isfinite(out);
}

bool ReadInt(const std::string& text, int min, int max, bool ranged, int& out) {
    double value = 0;
    if (!ReadReal(text, value) || value != std::floor(value) ||
        text.find_first_of(".eExX") != std::string::npos)
        return false;
    if (value < -2147483648.0 || value > 2147483647.0) return false;
    if (ranged && (value < min || value > max)) return false;
    out = static_cast<int>(value);
    return true;
}

std::string Number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Kinds the core does not know by class are reached through their Value.
void SetReal(OBPreference* p, double value) {
    if (auto* real = dynamic_cast<OBRealPreference*>(p)) return real->SetCurrentValue(value);
    Value* v = nullptr;
    ValueUtil::CreateValueOBReal(OBReal(value), v);
    p->SetCurrentValue(v);
    ValueUtil::Recycle(v);
}

void SetText(OBPreference* p, const std::string& text) {
    COBString value;
    value.SetXString(text.data(), static_cast<long long>(text.size()));
    if (auto* s = dynamic_cast<OBStringPreference*>(p)) return s->SetCurrentValue(value);
    if (auto* e = dynamic_cast<OBEnumPreference*>(p)) return e->SetCurrentValue(value);
    obframework::SetThroughValue(p, value);
}

short SetEnumeration(OBPreference* p, const std::string& text, std::string* accepted) {
    auto* e = dynamic_cast<OBEnumPreference*>(p);
    std::string all;
    for (int n = 0; e && n < e->GetNumberOfEnumerations(); ++n) {
        std::string entry = EntryName(e, n);
        if (SameName(entry, text)) {
            SetText(p, entry);
            return 1;
        }
        all += (n ? ", " : "") + entry;
    }
    if (accepted) *accepted = e ? "one of " + all : "an entry of the list";
    return 0;
}

void Collect(OBPreferenceList* list, const std::string& name, OBL::LocaleIDEnum locale,
             OBPreference** found, int max, int& count) {
    for (int i = 0; list && i < list->GetNumberOfPreferences(); ++i) {
        OBPreference* p = nullptr;
        list->GetNthPreference(i, &p);
        if (!p) continue;
        if (OBPreferenceNameMatches(p, name, locale)) {
            if (count < max && found) found[count] = p;
            ++count;
        }
        OBPreferenceList* constituents = nullptr;
        if (auto* group = dynamic_cast<OBGroupPreference*>(p))
            group->GetConstituentPreferenceList(&constituents);
        Collect(constituents, name, locale, found, max, count);
    }
}

} // namespace

short OBSettingNameMatches(const std::string& display, const std::string& name) {
    return !name.empty() && SameName(display, name) ? 1 : 0;
}

short OBPreferenceNameMatches(OBPreference* p, const std::string& name, OBL::LocaleIDEnum locale) {
    if (!p || name.empty()) return 0;
    if (SameName(EnglishName(p), name)) return 1;
    return locale != OBL::kEnglish && SameName(ResourceText(p->GetResourceID() + locale), name) ? 1
                                                                                                : 0;
}

int OBFindPreferences(OBPreferenceList* list, const std::string& name, OBPreference** found,
                      int max, OBL::LocaleIDEnum locale) {
    int count = 0;
    Collect(list, name, locale, found, max, count);
    return count;
}

short OBSetPreferenceFromText(OBPreference* p, const std::string& text, std::string* accepted) {
    if (!p) return 0;
    switch (p->GetValueType()) {
    case VT::ekBool16: {
        short flag = 0;
        if (!ReadBool(text, flag)) break;
        if (auto* b = dynamic_cast<OBBooleanPreference*>(p))
            b->SetCurrentValue(flag);
        else if (auto* g = dynamic_cast<OBGroupPreference*>(p))
            g->SetCurrentValue(flag);
        else
            obframework::SetThroughValue(p, flag);
        return 1;
    }
    case VT::ekSignedInt32: {
        auto* i = dynamic_cast<OBIntegerPreference*>(p);
        bool ranged = i && i->GetMinimumValue() < i->GetMaximumValue();
        int value = 0;
        if (ReadInt(text, ranged ? i->GetMinimumValue() : 0, ranged ? i->GetMaximumValue() : 0,
                    ranged, value)) {
            if (i)
                i->SetCurrentValue(value);
            else
                obframework::SetThroughValue(p, value);
            return 1;
        }
        if (accepted)
            *accepted = ranged ? "a whole number from " + std::to_string(i->GetMinimumValue()) +
                                     " to " + std::to_string(i->GetMaximumValue())
                               : "a whole number";
        return 0;
    }
    case VT::ekOBReal: {
        auto* r = dynamic_cast<OBRealPreference*>(p);
        bool ranged = r && r->GetMinimumValue() < r->GetMaximumValue();
        double value = 0;
        if (ReadReal(text, value) && (!ranged || (value >= r->GetMinimumValue().Value() &&
                                                  value <= r->GetMaximumValue().Value()))) {
            SetReal(p, value);
            return 1;
        }
        if (accepted)
            *accepted = ranged ? "a number from " + Number(r->GetMinimumValue().Value()) + " to " +
                                     Number(r->GetMaximumValue().Value())
                               : "a number";
        return 0;
    }
    case VT::ekEnum:
        return SetEnumeration(p, text, accepted);
    case VT::ekString:
        SetText(p, text);
        return 1;
    default:
        if (accepted) *accepted = "nothing: its kind cannot be set by name";
        return 0;
    }
    if (accepted) *accepted = "on or off";
    return 0;
}

std::string OBPreferenceValueText(OBPreference* p) {
    if (!p) return std::string();
    Value* value = nullptr;
    p->GetCurrentValue(value);
    std::string text;
    if (auto* b = dynamic_cast<ValueBool16*>(value)) {
        short flag = 0;
        b->Get(flag);
        text = flag == 1 ? "on" : "off";
    } else if (auto* i = dynamic_cast<ValueInteger32*>(value)) {
        int n = 0;
        i->Get(n);
        text = std::to_string(n);
    } else if (auto* r = dynamic_cast<ValueOBReal*>(value)) {
        OBReal x;
        r->Get(x);
        text = Number(x.Value());
    } else if (auto* s = dynamic_cast<ValueString*>(value)) {
        const IOBString* str = s->GetPtr();
        if (str && !str->IsUnicode() && !str->IsNull()) text = str->GrabCString();
    }
    ValueUtil::Recycle(value);
    return text;
}

int OBApplyPreferenceSettings(OBPreferenceList* list, const OBPreferenceSettings& settings) {
    int set = 0;
    constexpr int kMax = 16;
    for (int n = 0; list && n < settings.GetCount(); ++n) {
        OBPreference* found[kMax];
        int count = OBFindPreferences(list, settings.GetName(n), found, kMax);
        for (int k = 0; k < count && k < kMax; ++k)
            set += OBSetPreferenceFromText(found[k], settings.GetValue(n));
    }
    return set;
}
