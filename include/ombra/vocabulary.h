// The vocabulary of the document model, shared by the library and plug-ins:
// element kinds, attribute names, value types, the domain enumerations that
// enumeration values hold, and the accessor sets of the typed views. Every list
// is expanded from its table in <ombra/defs/>.
#ifndef OMBRA_VOCABULARY_H
#define OMBRA_VOCABULARY_H

#include <cstddef>
#include <ombra/export.h>

/// Element kinds. 0 to 227 are the named kinds with a view class each
/// (`EL::kPublication`, …); 228 has no name; 229 to 231 are named kinds without
/// a view class; 232 (`EL::kKinsokuTableList232`) repeats the name of 120;
/// 233 (`EL::kUndefined`) is what a lookup by an unknown name yields.
namespace EL {
enum ElementTypeEnum : int {
#define OB_ELEMENT_KIND(Number, Name) k##Name = Number,
#define OB_ELEMENT_ALIAS(Number, Ident, Name) k##Ident = Number,
#define OB_ELEMENT_UNNAMED(Number, Ident) k##Ident = Number,
#include <ombra/defs/ElementKinds.def>
};
} // namespace EL

/// Value types. Every value class reports one of them from `GetType`;
/// `VT::ekUndefined` (101) stands for no type.
namespace VT {
enum ValueTypeEnum : int {
#define OB_VALUE_TYPE(Number, Name, ValueClass, MadeClass) Name = Number,
#include <ombra/defs/ValueTypes.def>
};
} // namespace VT

/// Attribute names. 0 to 973 are named (`AN::kName`, …); 974 to 977 have no
/// name; 978 (`AN::kUndefined`) is what a lookup by an unknown name yields.
namespace AN {
enum AttrNameEnum : int {
#define OB_ATTR_NAME(Number, Name, ValueType) k##Name = Number,
#define OB_ATTR_UNNAMED(Number, Ident) k##Ident = Number,
#include <ombra/defs/AttrNames.def>
};
} // namespace AN

/// The domain enumerations held by the enumeration value classes, each in its
/// own short namespace (`AE::AlignmentEnum`, `CSE::CapStyleEnum`, …). Each
/// starts with `kUndefined` = 0, the member of a value that was never set.
/// `WSE::WritingScriptEnum` and `CPGE::CodePageEnum` belong to the text service.
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    namespace Space {                                                                              \
    enum Enum : int {
#define OB_VALUE_ENUM_MEMBER(Space, Member, Number) Member = Number,
#define OB_VALUE_ENUM_END(Code, Space, Enum)                                                       \
    }                                                                                              \
    ;                                                                                              \
    }
#include <ombra/defs/ValueEnums.def>

/// A slot of the element-kind dictionary.
struct OBElementKindName {
    EL::ElementTypeEnum type;
    const char* name;
};

/// An attribute name with the value type it carries unless a view class binds
/// it otherwise (see OBViewAccessorInfo).
struct OBAttrNameInfo {
    AN::AttrNameEnum attr;
    const char* name;
    VT::ValueTypeEnum valueType;
};

/// A value type with its value classes: `valueClass` reports the type from
/// GetType (null when no class does); `madeClass` is what ValueUtil::Create
/// makes for it (null when it makes nothing).
struct OBValueTypeInfo {
    VT::ValueTypeEnum type;
    const char* name;
    const char* valueClass;
    const char* madeClass;
};

namespace obvocab {
constexpr const char* ClassOrNull(const char* name) {
    return name[0] == 'v' && name[1] == 'o' && name[2] == 'i' && name[3] == 'd' && name[4] == 0
               ? nullptr
               : name;
}
constexpr char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr bool Equal(const char* a, const char* b, bool ignoreCase) {
    if (!a || !b) return false;
    for (; *a && *b; ++a, ++b)
        if (ignoreCase ? Lower(*a) != Lower(*b) : *a != *b) return false;
    return *a == *b;
}
} // namespace obvocab

/// The 232 filled slots of the element-kind dictionary, in table order.
inline constexpr OBElementKindName kOBElementKindNames[] = {
#define OB_ELEMENT_KIND(Number, Name) {EL::k##Name, #Name},
#define OB_ELEMENT_ALIAS(Number, Ident, Name) {EL::k##Ident, #Name},
#include <ombra/defs/ElementKinds.def>
};

/// The 974 attribute names; entry i is attribute name i.
inline constexpr OBAttrNameInfo kOBAttrNames[] = {
#define OB_ATTR_NAME(Number, Name, ValueType) {AN::k##Name, #Name, VT::ValueType},
#include <ombra/defs/AttrNames.def>
};

/// The 155 value types; entry i is value type i.
inline constexpr OBValueTypeInfo kOBValueTypes[] = {
#define OB_VALUE_TYPE(Number, Name, ValueClass, MadeClass)                                         \
    {VT::Name, #Name, obvocab::ClassOrNull(#ValueClass), obvocab::ClassOrNull(#MadeClass)},
#include <ombra/defs/ValueTypes.def>
};

/// Number of values of each enumeration, named or not.
constexpr int kOBElementTypeCount = EL::kUndefined + 1;
constexpr int kOBAttrNameCount = AN::kUndefined + 1;
constexpr int kOBValueTypeCount = sizeof(kOBValueTypes) / sizeof(kOBValueTypes[0]);
/// Number of named entries: filled dictionary slots and attribute names.
constexpr int kOBElementKindNameCount =
    sizeof(kOBElementKindNames) / sizeof(kOBElementKindNames[0]);
constexpr int kOBAttrNamedCount = sizeof(kOBAttrNames) / sizeof(kOBAttrNames[0]);

/// The name of an element kind (the first dictionary slot that holds it), or
/// null for a value without a name.
constexpr const char* OBElementTypeName(EL::ElementTypeEnum type) {
    for (const OBElementKindName& slot : kOBElementKindNames)
        if (slot.type == type) return slot.name;
    return nullptr;
}

/// The element kind of the first dictionary slot whose name matches, ignoring
/// ASCII letter case; `EL::kUndefined` when none does.
constexpr EL::ElementTypeEnum OBElementTypeFromName(const char* name) {
    for (const OBElementKindName& slot : kOBElementKindNames)
        if (obvocab::Equal(slot.name, name, true)) return slot.type;
    return EL::kUndefined;
}

/// The name of an attribute, or null for a value without a name.
constexpr const char* OBAttrNameString(AN::AttrNameEnum attr) {
    return attr >= 0 && attr < kOBAttrNamedCount ? kOBAttrNames[attr].name : nullptr;
}

/// The attribute whose name matches exactly (letter case counts);
/// `AN::kUndefined` when none does.
constexpr AN::AttrNameEnum OBAttrNameFromString(const char* name) {
    for (const OBAttrNameInfo& info : kOBAttrNames)
        if (obvocab::Equal(info.name, name, false)) return info.attr;
    return AN::kUndefined;
}

/// The value type an attribute carries by default; `VT::ekUndefined` for a
/// value without a name.
constexpr VT::ValueTypeEnum OBAttrDefaultValueType(AN::AttrNameEnum attr) {
    return attr >= 0 && attr < kOBAttrNamedCount ? kOBAttrNames[attr].valueType : VT::ekUndefined;
}

/// The entry of a value type, or null outside 0 to 154.
constexpr const OBValueTypeInfo* OBFindValueType(VT::ValueTypeEnum type) {
    return type >= 0 && type < kOBValueTypeCount ? &kOBValueTypes[type] : nullptr;
}

/// The name of a value type ("ekString", …), or null outside 0 to 154.
constexpr const char* OBValueTypeName(VT::ValueTypeEnum type) {
    return type >= 0 && type < kOBValueTypeCount ? kOBValueTypes[type].name : nullptr;
}

/// The value type whose name matches exactly; `VT::ekUndefined` when none does.
constexpr VT::ValueTypeEnum OBValueTypeFromName(const char* name) {
    for (const OBValueTypeInfo& info : kOBValueTypes)
        if (obvocab::Equal(info.name, name, false)) return info.type;
    return VT::ekUndefined;
}

/// True when values of `type` have a class of their own that reports it and
/// that the factory (or, for ekAlignmentEnum, its typed creator) makes: only
/// such types can be handed out by an accessor and read back by their type.
constexpr bool OBIsAccessorValueType(VT::ValueTypeEnum type) {
    // Indexes rather than pointer tests keep this a constant expression under
    // the sanitizers.
    return type >= 0 && type < kOBValueTypeCount && kOBValueTypes[type].valueClass &&
           (!kOBValueTypes[type].madeClass ||
            obvocab::Equal(kOBValueTypes[type].valueClass, kOBValueTypes[type].madeClass, false));
}

/// One accessor of a typed view class.
struct OBViewAccessorInfo {
    const char* viewClass;       ///< "OBMPublication"
    EL::ElementTypeEnum kind;    ///< the element kind of the class
    AN::AttrNameEnum attr;       ///< the attribute it hands out
    const char* accessor;        ///< "GetPageWidth"; indexed ones take an int
    short indexed;               ///< 1 for GetNth…(int n), else 0
    VT::ValueTypeEnum valueType; ///< the type of the value it hands out
    int slot;                    ///< virtual slot within the class, 0 after the destructor
};

/// A typed view class with its accessors in slot order.
struct OBViewClassInfo {
    const char* viewClass;
    EL::ElementTypeEnum kind;
    const OBViewAccessorInfo* accessors; ///< null when the class declares none
    int accessorCount;
};

/// A member of a domain enumeration.
struct OBValueEnumMember {
    int number;
    const char* name; ///< the enumerator, "kLeft"
};

/// An enumeration value class and its enumeration.
struct OBValueEnumInfo {
    VT::ValueTypeEnum type;           ///< its type code
    const char* typeName;             ///< "ekAlignmentEnum"
    const char* valueClass;           ///< "ValueAlignmentEnum"
    const char* nameSpace;            ///< "AE"
    const char* enumName;             ///< "AlignmentEnum"
    const char* creator;              ///< "CreateValueAlignmentEnum", the ValueUtil creator
    short external;                   ///< 1 when the text service declares the enumeration
    const OBValueEnumMember* members; ///< null when external
    int memberCount;
};

/// The 228 view classes in kind order (kinds 0 to 227).
OMBRA_API const OBViewClassInfo* OBGetViewClasses(int& count);
/// The view class of `kind`, or null for a kind without one.
OMBRA_API const OBViewClassInfo* OBGetViewClass(EL::ElementTypeEnum kind);
/// All accessors, class by class in kind order, each class's in slot order.
OMBRA_API const OBViewAccessorInfo* OBGetViewAccessors(int& count);
/// The accessor through which elements of `kind` hand out `attr`, or null
/// when that kind does not carry the attribute.
OMBRA_API const OBViewAccessorInfo* OBFindViewAccessor(EL::ElementTypeEnum kind,
                                                       AN::AttrNameEnum attr);

/// The 83 enumeration value classes in type-code order.
OMBRA_API const OBValueEnumInfo* OBGetValueEnums(int& count);
/// The enumeration value class of `type`, or null when `type` has none.
OMBRA_API const OBValueEnumInfo* OBFindValueEnum(VT::ValueTypeEnum type);
/// The enumerator name of `member` in the enumeration of `type` ("kLeft"), or
/// null when the enumeration is unknown, external, or has no such member.
OMBRA_API const char* OBValueEnumMemberName(VT::ValueTypeEnum type, int member);

#endif
