#include "ListReader.h"
#include "ReaderBuilder.h"
#include "ReaderPreferences.h"

#include <ombra/messages.h>

#include <exception>
#include <new>

OBListReader::OBListReader(int readerId, const bool* defaults, int count)
    : defaults_(defaults), count_(count < kMaxPreferences ? count : kMaxPreferences), next_(0) {
    SetReaderID(readerId);
    // The reader's own list, for hosts that ask for it outside a conversion.
    OBPreferenceList* own = new OBPreferenceList;
    if (own) {
        obreader::AddBooleanPreferences(own, readerId, defaults_, count_);
        SetPrefs(own);
    }
}

OBListReader::~OBListReader() {
    Clear();
}

void OBListReader::GetStreamPrefs(OBStream* /*input*/, OBPreferenceList* list) {
    if (list) obreader::AddBooleanPreferences(list, GetReaderID(), defaults_, count_);
}

// Running out of memory anywhere in the plug-in, the base class's
// per-thread state included, is reported as such.
void OBListReader::Init(OBStream* input, OBPreferenceList* preferences) {
    try {
        OBReader::Init(input, preferences);
        Clear();
        SetStream(input);
        bool flags[kMaxPreferences];
        for (int i = 0; i < count_; ++i)
            flags[i] = obreader::BooleanPreference(preferences, i, defaults_[i]);
        Read(input, flags);
    } catch (const std::bad_alloc&) {
        obreader::LoggingProblems().Report(OBERR::kOutOfMemory);
    } catch (const std::exception&) {
        obreader::LoggingProblems().Report(OBERR::kMalformedInput);
    }
}

void OBListReader::Clear() {
    for (Element* e : elements_)
        delete e;
    elements_.Clear();
    next_ = 0;
    version_.clear();
}

void OBListReader::Reset() {
    Clear();
    SetStream(nullptr);
    OBReader::Reset();
}

Element* OBListReader::GetFirstElement() {
    next_ = 0;
    return GetNextElement();
}

Element* OBListReader::GetNextElement() {
    if (next_ >= elements_.size()) return nullptr;
    return elements_[next_++];
}

void OBListReader::GetFileVersion(COBString& version) {
    version.SetXString(version_.data(), static_cast<long long>(version_.size()));
}
