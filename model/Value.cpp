#include <ombra/elements.h>

// ---- Value ----

void Value::GetType(VT::ValueTypeEnum& type) const {
    type = type_;
}

Value& Value::operator=(Value&) {
    initialized_ = 1;
    return *this;
}

short Value::IsEqual(Value* other) {
    if (!other) return 0;
    VT::ValueTypeEnum otherType = VT::ekUndefined;
    other->GetType(otherType);
    return otherType == type_ ? 1 : 0;
}
