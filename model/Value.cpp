#include <ombra/elements.h>
#include <ombra/pools.h>

// ---- ValuePooled ----

ValuePooled::~ValuePooled() = default;

// Values are made and released by the hundred thousand: they go through the
// calling thread's cache of the size's pool, which takes no lock on most calls.
void* ValuePooled::operator new(std::size_t size) noexcept {
    return OBValuePoolAllocate(size);
}

void ValuePooled::operator delete(void* block, std::size_t size) noexcept {
    // The size is that of the object's own class, so the block goes back
    // to the pool it came from.
    OBValuePoolRelease(block, size);
}

// ---- Value ----

Value::Value(VT::ValueTypeEnum type) noexcept : type_(type), initialized_(1) {}

Value::~Value() = default;

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
