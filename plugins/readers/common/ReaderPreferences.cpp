#include "ReaderPreferences.h"

#include <ombra/messages.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

namespace obreader {

unsigned PreferenceResource(int readerId, int index) {
    return OBReaderResourceBase(readerId) + kOBLocaleBlock * static_cast<unsigned>(index);
}

void AddBooleanPreferences(OBPreferenceList* list, int readerId, const bool* defaults, int count) {
    if (!list) return;
    for (int i = 0; i < count; ++i) {
        short flag = defaults[i] ? 1 : 0;
        OBBooleanPreference* p = new OBBooleanPreference(flag, PreferenceResource(readerId, i));
        if (!p) return;
        p->SetCurrentValue(flag);
        list->Add(p);
    }
}

bool BooleanPreference(OBPreferenceList* list, int index, bool fallback) {
    OBPreference* p = nullptr;
    if (list) list->GetNthPreference(index, &p);
    if (!p || p->GetValueType() != VT::ekBool16) return fallback;
    if (auto* b = dynamic_cast<OBBooleanPreference*>(p)) return b->GetCurrentValue() == 1;
    Value* v = nullptr;
    p->GetCurrentValue(v);
    short flag = fallback ? 1 : 0;
    if (auto* b = dynamic_cast<ValueBool16*>(v)) b->Get(flag);
    ValueUtil::Recycle(v);
    return flag == 1;
}

} // namespace obreader
