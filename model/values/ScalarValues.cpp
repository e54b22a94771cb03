// The scalar values: one number each, compared exactly (the real within the
// tolerance of OBReal).
#include <ombra/values.h>

// Assignment and equality read the other value through its own class:
// a value of another class (a plug-in's, say) with the same type code is
// left alone rather than misread.
#define OB_DEFINE_SCALAR_VALUE(Class, Code, T, GetQualifier)                                       \
    Value& Class::operator=(Value& other) {                                                        \
        if (Class* same = dynamic_cast<Class*>(&other)) {                                          \
            value_ = same->value_;                                                                 \
            SetInitialized(1);                                                                     \
        }                                                                                          \
        return *this;                                                                              \
    }                                                                                              \
    short Class::IsEqual(Value* other) {                                                           \
        if (!Value::IsEqual(other)) return 0;                                                      \
        Class* same = dynamic_cast<Class*>(other);                                                 \
        return same && value_ == same->value_ ? 1 : 0;                                             \
    }                                                                                              \
    void Class::Get(T& value) GetQualifier {                                                       \
        if (IsInitialized()) value = value_;                                                       \
    }

#define OB_SCALAR_MUTABLE
#define OB_SCALAR_VALUE OB_DEFINE_SCALAR_VALUE
#include <ombra/defs/ScalarValues.def>
#undef OB_SCALAR_MUTABLE
#undef OB_DEFINE_SCALAR_VALUE
