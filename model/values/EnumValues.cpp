// The 83 enumeration values, expanded from their table.
#include <ombra/values.h>

short ValueEnumBase::IsEqual(Value* other) {
    if (!Value::IsEqual(other)) return 0;
    ValueEnumBase* same = dynamic_cast<ValueEnumBase*>(other);
    return same && same->member_ == member_ ? 1 : 0;
}

#define OB_VALUE_ENUM_DEFINE_(Code, Class, Space, Enum)                                            \
    Value& Class::operator=(Value& other) {                                                        \
        if (Class* same = dynamic_cast<Class*>(&other)) {                                          \
            Space::Enum member = static_cast<Space::Enum>(0);                                      \
            same->Get(member);                                                                     \
            Init(member);                                                                          \
        }                                                                                          \
        return *this;                                                                              \
    }                                                                                              \
    void Class::Get(Space::Enum& member) const {                                                   \
        if (IsInitialized()) member = static_cast<Space::Enum>(member_);                           \
    }
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    OB_VALUE_ENUM_DEFINE_(Code, Class, Space, Enum)                                                \
    static_assert(Class::kType == VT::TypeName, #Class);
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    OB_VALUE_ENUM_DEFINE_(Code, Class, Space, Enum)                                                \
    static_assert(Class::kType == VT::TypeName, #Class);
#include <ombra/defs/ValueEnums.def>
