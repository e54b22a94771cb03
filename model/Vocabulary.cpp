// The queryable forms of the view-accessor and value-enumeration tables.
// All data is constant and built at compile time from the .def tables, so the
// queries need neither memory nor initialisation.
#include <ombra/vocabulary.h>

namespace {

// Row numbers of the accessor table. A class's Start marker takes the number
// of its first accessor and its End marker the number after its last one; the
// Resume entries step back so that markers do not occupy a row.
enum AccessorRow : int {
#define OB_VIEW_BEGIN(Kind, HasAccessors) kStart_##Kind, kResume_##Kind = kStart_##Kind - 1,
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType) kRow_##Kind##_##Attr,
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType) kRow_##Kind##_##Name,
#define OB_VIEW_INDEXED(Kind, Attr, ValueType) kRow_##Kind##_##Attr,
#define OB_VIEW_END(Kind) kEnd_##Kind, kResumeEnd_##Kind = kEnd_##Kind - 1,
#include <ombra/defs/ViewAccessors.def>
    kAccessorRowCount
};

constexpr OBViewAccessorInfo kAccessors[] = {
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    {"OBM" #Kind,                                                                                  \
     EL::k##Kind,                                                                                  \
     AN::k##Attr,                                                                                  \
     "Get" #Attr,                                                                                  \
     0,                                                                                            \
     VT::ValueType,                                                                                \
     kRow_##Kind##_##Attr - kStart_##Kind},
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    {"OBM" #Kind,                                                                                  \
     EL::k##Kind,                                                                                  \
     AN::k##Attr,                                                                                  \
     "Get" #Name,                                                                                  \
     0,                                                                                            \
     VT::ValueType,                                                                                \
     kRow_##Kind##_##Name - kStart_##Kind},
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    {"OBM" #Kind,                                                                                  \
     EL::k##Kind,                                                                                  \
     AN::k##Attr,                                                                                  \
     "Get" #Attr,                                                                                  \
     1,                                                                                            \
     VT::ValueType,                                                                                \
     kRow_##Kind##_##Attr - kStart_##Kind},
#include <ombra/defs/ViewAccessors.def>
};
static_assert(sizeof(kAccessors) / sizeof(kAccessors[0]) == kAccessorRowCount);

constexpr OBViewClassInfo kClasses[] = {
#define OB_VIEW_END(Kind)                                                                          \
    {"OBM" #Kind, EL::k##Kind, kEnd_##Kind > kStart_##Kind ? &kAccessors[kStart_##Kind] : nullptr, \
     kEnd_##Kind - kStart_##Kind},
#include <ombra/defs/ViewAccessors.def>
};
constexpr int kClassCount = sizeof(kClasses) / sizeof(kClasses[0]);

// Every accessor hands out a type that a value can report, and a class that
// says it has no accessors has none.
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    static_assert(OBIsAccessorValueType(VT::ValueType), "OBM" #Kind "::Get" #Attr);
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    static_assert(OBIsAccessorValueType(VT::ValueType), "OBM" #Kind "::Get" #Name);
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    static_assert(OBIsAccessorValueType(VT::ValueType), "OBM" #Kind "::Get" #Attr);
#define OB_VIEW_END(Kind) static_assert(kClasses[EL::k##Kind].kind == EL::k##Kind, "OBM" #Kind);
#include <ombra/defs/ViewAccessors.def>
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    static_assert((kEnd_##Kind > kStart_##Kind) == (HasAccessors != 0), "OBM" #Kind);
#include <ombra/defs/ViewAccessors.def>

// Rows of the member table, numbered as the accessor rows are.
enum MemberRow : int {
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    kMStart_##Space, kMResume_##Space = kMStart_##Space - 1,
#define OB_VALUE_ENUM_MEMBER(Space, Member, Number) kM_##Space##_##Member,
#define OB_VALUE_ENUM_END(Code, Space, Enum) kMEnd_##Space, kMResumeEnd_##Space = kMEnd_##Space - 1,
#include <ombra/defs/ValueEnums.def>
    kMemberRowCount
};

constexpr OBValueEnumMember kMembers[] = {
#define OB_VALUE_ENUM_MEMBER(Space, Member, Number) {Space::Member, #Member},
#include <ombra/defs/ValueEnums.def>
};
static_assert(sizeof(kMembers) / sizeof(kMembers[0]) == kMemberRowCount);

constexpr OBValueEnumInfo kEnums[] = {
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    {VT::TypeName,                                                                                 \
     #TypeName,                                                                                    \
     #Class,                                                                                       \
     #Space,                                                                                       \
     #Enum,                                                                                        \
     #Creator,                                                                                     \
     0,                                                                                            \
     &kMembers[kMStart_##Space],                                                                   \
     kMEnd_##Space - kMStart_##Space},
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    {VT::TypeName, #TypeName, #Class, #Space, #Enum, #Creator, 1, nullptr, 0},
#include <ombra/defs/ValueEnums.def>
};
constexpr int kEnumCount = sizeof(kEnums) / sizeof(kEnums[0]);

// The type code of each row is the value type that its name says.
#define OB_VALUE_ENUM_BEGIN(Code, TypeName, Class, Space, Enum, Creator)                           \
    static_assert(VT::TypeName == Code, #Class);
#define OB_VALUE_ENUM_EXTERNAL(Code, TypeName, Class, Space, Enum, Creator)                        \
    static_assert(VT::TypeName == Code, #Class);
#include <ombra/defs/ValueEnums.def>

} // namespace

const OBViewClassInfo* OBGetViewClasses(int& count) {
    count = kClassCount;
    return kClasses;
}

const OBViewClassInfo* OBGetViewClass(EL::ElementTypeEnum kind) {
    // Classes are in kind order from 0 (checked above), so the kind is the index.
    return kind >= 0 && kind < kClassCount ? &kClasses[kind] : nullptr;
}

const OBViewAccessorInfo* OBGetViewAccessors(int& count) {
    count = kAccessorRowCount;
    return kAccessors;
}

const OBViewAccessorInfo* OBFindViewAccessor(EL::ElementTypeEnum kind, AN::AttrNameEnum attr) {
    const OBViewClassInfo* info = OBGetViewClass(kind);
    if (!info) return nullptr;
    for (int i = 0; i < info->accessorCount; ++i)
        if (info->accessors[i].attr == attr) return &info->accessors[i];
    return nullptr;
}

const OBValueEnumInfo* OBGetValueEnums(int& count) {
    count = kEnumCount;
    return kEnums;
}

const OBValueEnumInfo* OBFindValueEnum(VT::ValueTypeEnum type) {
    for (const OBValueEnumInfo& info : kEnums)
        if (info.type == type) return &info;
    return nullptr;
}

const char* OBValueEnumMemberName(VT::ValueTypeEnum type, int member) {
    const OBValueEnumInfo* info = OBFindValueEnum(type);
    if (!info) return nullptr;
    for (int i = 0; i < info->memberCount; ++i)
        if (info->members[i].number == member) return info->members[i].name;
    return nullptr;
}
