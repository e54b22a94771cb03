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
    void Class::Init(const T& value) {                                                             \
        value_ = value;                                                                            \
        SetInitialized(1);                                                                         \
    }                                                                                              \
    void Class::Get(T& value) GetQualifier {                                                       \
        if (IsInitialized()) value = value_;                                                       \
    }

#define OB_NOTHING
OB_DEFINE_SCALAR_VALUE(ValueBool16, ekBool16, short, const)
OB_DEFINE_SCALAR_VALUE(ValueChar, ekChar, unsigned short, const)
OB_DEFINE_SCALAR_VALUE(ValueInteger16, ekSignedShort16, short, OB_NOTHING)
OB_DEFINE_SCALAR_VALUE(ValueInteger32, ekSignedInt32, int, const)
OB_DEFINE_SCALAR_VALUE(ValueInteger64, ekSignedInt64, long long, const)
OB_DEFINE_SCALAR_VALUE(ValueUnInteger16, ekUnsignedShort16, unsigned short, const)
OB_DEFINE_SCALAR_VALUE(ValueUnInteger32, ekUnsignedInt32, unsigned int, const)
OB_DEFINE_SCALAR_VALUE(ValueUnInteger64, ekUnsignedInt64, unsigned long long, const)
OB_DEFINE_SCALAR_VALUE(ValueOBID, ekId, unsigned int, const)
OB_DEFINE_SCALAR_VALUE(ValueOBReal, ekOBReal, OBReal, OB_NOTHING)
