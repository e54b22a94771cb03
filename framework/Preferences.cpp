// The preference kinds without their Value exchange (PreferenceValues.cpp),
// display names and the owning preference list.
#include <ombra/memory.h>
#include <ombra/preferences.h>
#include <ombra/resources.h>

// ---- OBPreference ----------------------------------------------------------

OBPreference::OBPreference(VT::ValueTypeEnum type, unsigned int resourceId)
    : type_(type), resourceId_(resourceId) {}

OBPreference::~OBPreference() = default;

void OBPreference::GetMenuName(COBString& name, OBL::LocaleIDEnum locale) {
    // Resource ids are laid out as one block per preference, the locale code
    // being the offset into the block; the lookup adds it.
    OBLoadResourceText(resourceId_, locale, name);
}

void OBPreference::GetType(VT::ValueTypeEnum& type) const {
    type = type_;
}

// ---- the kinds --------------------------------------------------------------

OBBooleanPreference::OBBooleanPreference(short defaultValue, unsigned int resourceId)
    : OBPreference(VT::ekBool16, resourceId), default_(defaultValue), current_(0) {}

OBBooleanPreference::~OBBooleanPreference() = default;

OBGroupPreference::OBGroupPreference(unsigned int resourceId) : OBGroupPreference(resourceId, 0) {}

OBGroupPreference::OBGroupPreference(unsigned int resourceId, short defaultValue)
    : OBPreference(VT::ekBool16, resourceId), constituents_(nullptr), default_(defaultValue),
      current_(0) {}

OBGroupPreference::~OBGroupPreference() {
    delete constituents_;
}

void OBGroupPreference::GetConstituentPreferenceList(OBPreferenceList** list) const {
    if (list) *list = constituents_;
}

void OBGroupPreference::SetConstituentPreferenceList(OBPreferenceList* list) {
    constituents_ = list;
}

OBIntegerPreference::OBIntegerPreference(int defaultValue, unsigned int resourceId)
    : OBPreference(VT::ekSignedInt32, resourceId), default_(defaultValue), minimum_(0), maximum_(0),
      current_(0) {}

OBIntegerPreference::~OBIntegerPreference() = default;

OBRealPreference::OBRealPreference(OBReal defaultValue, unsigned int resourceId)
    : OBPreference(VT::ekOBReal, resourceId), default_(defaultValue), current_(0.0), minimum_(0.0),
      maximum_(0.0) {}

OBRealPreference::~OBRealPreference() = default;

OBStringPreference::OBStringPreference(const IOBString& defaultValue, unsigned int resourceId)
    : OBPreference(VT::ekString, resourceId), default_(defaultValue.Clone()), current_(nullptr) {}

OBStringPreference::~OBStringPreference() {
    delete default_;
    delete current_;
}

void OBStringPreference::SetCurrentValue(const IOBString& value) {
    IOBString* copy = value.Clone();
    if (!copy) return;
    delete current_;
    current_ = copy;
}

OBEnumPreference::OBEnumPreference(const COBString& defaultValue, unsigned int resourceId,
                                   int count, unsigned int* entryIds, OBL::LocaleIDEnum locale)
    : OBPreference(VT::ekEnum, resourceId), default_(defaultValue),
      current_(defaultValue.GetWSEScript()), count_(entryIds && count > 0 ? count : 0),
      entryIds_(entryIds), locale_(locale) {}

OBEnumPreference::~OBEnumPreference() {
    OBLibFree(entryIds_);
}

int OBEnumPreference::GetNumberOfEnumerations() {
    return count_;
}

void OBEnumPreference::GetNthEnumerationString(int n, COBString& text, OBL::LocaleIDEnum locale) {
    if (n < 0 || n >= count_) return;
    OBLoadResourceText(entryIds_[n], locale, text);
}

unsigned int OBEnumPreference::GetNthEnumerationID(int n) const {
    return n >= 0 && n < count_ ? entryIds_[n] : 0;
}

unsigned int* OBEnumPreference::CopyEntryIds(const unsigned int* ids, int count) {
    if (!ids || count < 1) return nullptr;
    auto* copy = static_cast<unsigned int*>(OBLibAllocate(sizeof(unsigned int) * count));
    if (copy) OBMemcpy(copy, ids, sizeof(unsigned int) * count);
    return copy;
}

// ---- OBPreferenceList ------------------------------------------------------

OBPreferenceList::OBPreferenceList() : items_(nullptr), count_(0), capacity_(0) {}

OBPreferenceList::~OBPreferenceList() {
    for (int i = 0; i < count_; ++i)
        delete items_[i];
    OBLibFree(items_);
}

short OBPreferenceList::Add(OBPreference* p) {
    if (!p) return 0;
    // The same object twice would be deleted twice.
    for (int i = 0; i < count_; ++i)
        if (items_[i] == p) return 0;
    if (count_ == capacity_) {
        if (capacity_ > 0x3FFFFFFF) {
            delete p;
            return 0;
        }
        int capacity = items_ ? capacity_ * 2 : 10;
        auto* grown = static_cast<OBPreference**>(OBLibAllocate(sizeof(OBPreference*) * capacity));
        if (!grown) {
            delete p;
            return 0;
        }
        if (count_) OBMemcpy(grown, items_, sizeof(OBPreference*) * count_);
        OBLibFree(items_);
        items_ = grown;
        capacity_ = capacity;
    }
    items_[count_++] = p;
    return 1;
}

void OBPreferenceList::GetNthPreference(int n, OBPreference** out) const {
    if (!out) return;
    *out = n >= 0 && n < count_ ? items_[n] : nullptr;
}

int OBPreferenceList::GetNumberOfPreferencesOfType(VT::ValueTypeEnum type) const {
    int n = 0;
    for (int i = 0; i < count_; ++i) {
        VT::ValueTypeEnum t;
        items_[i]->GetType(t);
        if (t == type) ++n;
    }
    return n;
}

void OBPreferenceList::GetNthPreferenceOfType(int n, VT::ValueTypeEnum type,
                                              OBPreference** out) const {
    if (!out) return;
    *out = nullptr;
    if (n < 1) return;
    int seen = 0;
    for (int i = 0; i < count_; ++i) {
        VT::ValueTypeEnum t;
        items_[i]->GetType(t);
        if (t == type && ++seen == n) {
            *out = items_[i];
            return;
        }
    }
}

int OBPreferenceList::GetNumberOfBooleanPreferences() const {
    return GetNumberOfPreferencesOfType(VT::ekBool16);
}
int OBPreferenceList::GetNumberOfEnumerationPreferences() const {
    return GetNumberOfPreferencesOfType(VT::ekEnum);
}
int OBPreferenceList::GetNumberOfStringResources() const {
    return GetNumberOfPreferencesOfType(VT::ekString);
}
int OBPreferenceList::GetNumberOfIntegerResources() const {
    return GetNumberOfPreferencesOfType(VT::ekSignedInt32);
}
int OBPreferenceList::GetNumberOfOBRealResources() const {
    return GetNumberOfPreferencesOfType(VT::ekOBReal);
}
