#include <ombra/elements.h>
#include <ombra/pools.h>

// ---- ValuePooled ----

ValuePooled::~ValuePooled() = default;

void* ValuePooled::operator new(std::size_t size) noexcept {
    IPool* pool = OBGetValuePool(size);
    return pool ? pool->malloc() : nullptr;
}

void ValuePooled::operator delete(void* block, std::size_t size) noexcept {
    if (!block) return;
    // The size is that of the object's own class, so the block goes back
    // to the pool it came from.
    if (IPool* pool = OBGetValuePool(size)) pool->free(block);
}

// ---- Value ----

Value::Value(VT::ValueTypeEnum type) noexcept : type_(type), initialized_(1) {}

Value::~Value() = default;

void Value::GetType(VT::ValueTypeEnum& type) const { type = type_; }

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
