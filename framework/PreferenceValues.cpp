// The preferences' exchange of document-model Values: each kind hands out a
// new value of its class through ValueUtil and takes only that class back.
#include <ombra/preferences.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "framework/FrameworkInternal.h"

namespace {

// Copies the payload of a value of Class into out; a value of another
// class, or one never initialised, leaves out as it was.
template <class Class, class T> void Take(Value* value, T& out) {
    if (auto* typed = dynamic_cast<Class*>(value)) {
        T payload = out;
        typed->Get(payload);
        out = payload;
    }
}

// Writes a bound into the caller's value when it is of Class.
template <class Class, class T> void Give(Value* value, const T& bound) {
    if (auto* typed = dynamic_cast<Class*>(value)) typed->Init(bound);
}

// The string a ValueString holds, as a handle of its own (empty when the
// value is of another class or holds none).
IOBStringPtr StringOf(Value* value) {
    IOBStringPtr text;
    if (auto* typed = dynamic_cast<ValueString*>(value)) typed->Get(text);
    return text;
}

} // namespace

void OBBooleanPreference::GetDefaultValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueBool16(default_, value);
}
void OBBooleanPreference::GetCurrentValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueBool16(current_, value);
}
void OBBooleanPreference::SetCurrentValue(Value*& value) {
    Take<ValueBool16>(value, current_);
}

void OBGroupPreference::GetDefaultValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueBool16(default_, value);
}
void OBGroupPreference::GetCurrentValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueBool16(current_, value);
}
void OBGroupPreference::SetCurrentValue(Value*& value) {
    Take<ValueBool16>(value, current_);
}

void OBIntegerPreference::GetDefaultValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueInteger32(default_, value);
}
void OBIntegerPreference::GetCurrentValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueInteger32(current_, value);
}
void OBIntegerPreference::SetCurrentValue(Value*& value) {
    Take<ValueInteger32>(value, current_);
}
void OBIntegerPreference::SetMinimumValue(Value*& value) {
    Take<ValueInteger32>(value, minimum_);
}
void OBIntegerPreference::SetMaximumValue(Value*& value) {
    Take<ValueInteger32>(value, maximum_);
}
void OBIntegerPreference::GetMinimumValue(Value* value) const {
    Give<ValueInteger32>(value, minimum_);
}
void OBIntegerPreference::GetMaximumValue(Value* value) const {
    Give<ValueInteger32>(value, maximum_);
}

void OBRealPreference::GetDefaultValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueOBReal(default_, value);
}
void OBRealPreference::GetCurrentValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueOBReal(current_, value);
}
void OBRealPreference::SetCurrentValue(Value*& value) {
    Take<ValueOBReal>(value, current_);
}
void OBRealPreference::SetMinimumValue(Value*& value) {
    Take<ValueOBReal>(value, minimum_);
}
void OBRealPreference::SetMaximumValue(Value*& value) {
    Take<ValueOBReal>(value, maximum_);
}
void OBRealPreference::GetMinimumValue(Value* value) const {
    Give<ValueOBReal>(value, minimum_);
}
void OBRealPreference::GetMaximumValue(Value* value) const {
    Give<ValueOBReal>(value, maximum_);
}

void OBStringPreference::GetDefaultValue(Value*& value) {
    value = nullptr;
    if (default_) ValueUtil::CreateValueString(*default_, value);
}
void OBStringPreference::GetCurrentValue(Value*& value) {
    value = nullptr;
    if (current_) ValueUtil::CreateValueString(*current_, value);
}
void OBStringPreference::SetCurrentValue(Value*& value) {
    IOBStringPtr text = StringOf(value);
    if (text.IsValid()) SetCurrentValue(*text);
}

void OBEnumPreference::GetDefaultValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueString(default_, value);
}
void OBEnumPreference::GetCurrentValue(Value*& value) {
    value = nullptr;
    ValueUtil::CreateValueString(current_, value);
}
void OBEnumPreference::SetCurrentValue(Value*& value) {
    // Entries are 8-bit display texts; UTF-16 text is not one of them.
    IOBStringPtr text = StringOf(value);
    if (text.IsValid() && !text->IsUnicode()) current_ = *static_cast<COBString*>(text.GetPtr());
}

namespace obframework {

namespace {
void Hand(OBPreference* p, Value* value) {
    Value* argument = value;
    if (value) p->SetCurrentValue(argument);
    ValueUtil::Recycle(value);
}
} // namespace

void SetThroughValue(OBPreference* p, short flag) {
    Value* value = nullptr;
    ValueUtil::CreateValueBool16(flag, value);
    Hand(p, value);
}

void SetThroughValue(OBPreference* p, int number) {
    Value* value = nullptr;
    ValueUtil::CreateValueInteger32(number, value);
    Hand(p, value);
}

void SetThroughValue(OBPreference* p, const COBString& text) {
    Value* value = nullptr;
    ValueUtil::CreateValueString(text, value);
    Hand(p, value);
}

} // namespace obframework
