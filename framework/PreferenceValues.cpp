// The preferences' exchange of document-model Values. Until the value
// classes join the library these operations hand out and take nothing.
#include <ombra/preferences.h>

#include "framework/FrameworkInternal.h"

void OBBooleanPreference::GetDefaultValue(Value*& value) { value = nullptr; }
void OBBooleanPreference::GetCurrentValue(Value*& value) { value = nullptr; }
void OBBooleanPreference::SetCurrentValue(Value*&) {}
void OBGroupPreference::GetDefaultValue(Value*& value) { value = nullptr; }
void OBGroupPreference::GetCurrentValue(Value*& value) { value = nullptr; }
void OBGroupPreference::SetCurrentValue(Value*&) {}
void OBIntegerPreference::GetDefaultValue(Value*& value) { value = nullptr; }
void OBIntegerPreference::GetCurrentValue(Value*& value) { value = nullptr; }
void OBIntegerPreference::SetCurrentValue(Value*&) {}
void OBIntegerPreference::SetMinimumValue(Value*&) {}
void OBIntegerPreference::SetMaximumValue(Value*&) {}
void OBIntegerPreference::GetMinimumValue(Value*) const {}
void OBIntegerPreference::GetMaximumValue(Value*) const {}
void OBRealPreference::GetDefaultValue(Value*& value) { value = nullptr; }
void OBRealPreference::GetCurrentValue(Value*& value) { value = nullptr; }
void OBRealPreference::SetCurrentValue(Value*&) {}
void OBRealPreference::SetMinimumValue(Value*&) {}
void OBRealPreference::SetMaximumValue(Value*&) {}
void OBRealPreference::GetMinimumValue(Value*) const {}
void OBRealPreference::GetMaximumValue(Value*) const {}
void OBStringPreference::GetDefaultValue(Value*& value) { value = nullptr; }
void OBStringPreference::GetCurrentValue(Value*& value) { value = nullptr; }
void OBStringPreference::SetCurrentValue(Value*&) {}
void OBEnumPreference::GetDefaultValue(Value*& value) { value = nullptr; }
void OBEnumPreference::GetCurrentValue(Value*& value) { value = nullptr; }
void OBEnumPreference::SetCurrentValue(Value*&) {}

namespace obframework {
void SetThroughValue(OBPreference*, short) {}
void SetThroughValue(OBPreference*, int) {}
void SetThroughValue(OBPreference*, const COBString&) {}
} // namespace obframework
