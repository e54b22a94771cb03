// The document-model vocabulary: element kinds, attribute names, value types,
// enumeration value classes and view accessor sets. The numbers are the
// .def tables'; these tests check that every lookup agrees with the tables
// both ways (constexpr lookups and the DictElements/DictAttrs dictionaries)
// and that the tables keep the rules plug-ins rely on.
#include <ombra/elements.h>
#include <ombra/strings.h>
#include <ombra/vocabulary.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

VT::ValueTypeEnum Binding(EL::ElementTypeEnum kind, AN::AttrNameEnum attr) {
    const OBViewAccessorInfo* a = OBFindViewAccessor(kind, attr);
    return a ? a->valueType : VT::ekUndefined;
}

bool EndsWith(const std::string& s, const char* tail) {
    std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The dictionaries' answers: the name ("UNDEFINED" when none) and whether found.
std::pair<std::string, bool> KindName(int kind) {
    COBString name("stale");
    bool found = DictElements::GetStringById(static_cast<EL::ElementTypeEnum>(kind), name);
    return {name.GrabCString(), found};
}
std::pair<int, bool> KindOf(const char* text) {
    EL::ElementTypeEnum id = EL::kPublication;
    bool found = DictElements::GetIdByString(COBString(text), id);
    return {id, found};
}
std::string AttrName(int attr) {
    COBString name("stale");
    DictAttrs::GetStringByNameId(static_cast<AN::AttrNameEnum>(attr), name);
    return name.GrabCString();
}
int AttrOf(const char* text) {
    AN::AttrNameEnum id = AN::kName;
    DictAttrs::GetNameIdByString(COBString(text), id);
    return id;
}

TEST(Vocabulary, ElementKindsBothWaysInEveryLookup) {
    // Every slot's name finds its own kind, except a repeated name, which
    // finds the earlier slot; letter case does not count.
    std::set<int> seen;
    for (const OBElementKindName& slot : kOBElementKindNames) {
        EXPECT_TRUE(seen.insert(slot.type).second) << slot.name;
        EXPECT_STREQ(OBElementTypeName(slot.type), slot.name);
        EXPECT_EQ(KindName(slot.type), std::make_pair(std::string(slot.name), true));
        EL::ElementTypeEnum first = OBElementTypeFromName(slot.name);
        EXPECT_STREQ(OBElementTypeName(first), slot.name);
        EXPECT_LE(first, slot.type) << slot.name;
        EXPECT_EQ(KindOf(slot.name), std::make_pair(static_cast<int>(first), true));
        std::string upper = slot.name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(OBElementTypeFromName(upper.c_str()), first);
    }
    EXPECT_EQ(OBElementTypeFromName("KinsokuTableList"), EL::kKinsokuTableList);
    for (int unnamed : {int(EL::kUnnamed228), int(EL::kUndefined), -1, kOBElementTypeCount}) {
        EXPECT_EQ(OBElementTypeName(static_cast<EL::ElementTypeEnum>(unnamed)), nullptr);
        EXPECT_EQ(KindName(unnamed), std::make_pair(std::string("UNDEFINED"), false)) << unnamed;
    }
    for (const char* unknown : {"Publicatio", "Publications", "", "UNDEFINED"}) {
        EXPECT_EQ(OBElementTypeFromName(unknown), EL::kUndefined) << unknown;
        EXPECT_EQ(KindOf(unknown), std::make_pair(static_cast<int>(EL::kUndefined), false));
    }
    EXPECT_EQ(OBElementTypeFromName(nullptr), EL::kUndefined);
}

TEST(Vocabulary, AttributeNamesBothWaysAndCaseSensitive) {
    for (int i = 0; i < kOBAttrNamedCount; ++i) {
        AN::AttrNameEnum attr = static_cast<AN::AttrNameEnum>(i);
        ASSERT_EQ(kOBAttrNames[i].attr, i);
        const char* name = OBAttrNameString(attr);
        ASSERT_NE(name, nullptr) << i;
        EXPECT_EQ(OBAttrNameFromString(name), attr) << name;
        EXPECT_EQ(AttrName(i), name);
        EXPECT_EQ(AttrOf(name), i);
    }
    // Irregular spellings are names of their own.
    EXPECT_NE(AN::kNumberofSteps, AN::kNumberOfSteps);
    EXPECT_NE(AN::kFillId, AN::kFillID);
    EXPECT_EQ(AttrOf("Levelnorestart"), AN::kLevelnorestart);
    for (const char* unknown : {"name", "NAME", "LevelNoRestart", "", "UNDEFINED"}) {
        EXPECT_EQ(AttrOf(unknown), AN::kUndefined) << unknown;
        EXPECT_EQ(OBAttrNameFromString(unknown), AN::kUndefined) << unknown;
    }
    EXPECT_EQ(OBAttrNameFromString(nullptr), AN::kUndefined);
    for (int unnamed : {kOBAttrNamedCount, int(AN::kUndefined), kOBAttrNameCount, -1}) {
        EXPECT_EQ(OBAttrNameString(static_cast<AN::AttrNameEnum>(unnamed)), nullptr);
        EXPECT_EQ(AttrName(unnamed), "UNDEFINED") << unnamed;
    }
}

TEST(Vocabulary, ValueTypesAndTheirClasses) {
    std::set<std::string> names;
    for (int i = 0; i < kOBValueTypeCount; ++i) {
        VT::ValueTypeEnum type = static_cast<VT::ValueTypeEnum>(i);
        const char* name = OBValueTypeName(type);
        ASSERT_NE(name, nullptr);
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(OBValueTypeFromName(name), type) << name;
        EXPECT_EQ(OBFindValueType(type)->type, type);
    }
    EXPECT_EQ(OBValueTypeName(static_cast<VT::ValueTypeEnum>(kOBValueTypeCount)), nullptr);
    EXPECT_EQ(OBValueTypeName(static_cast<VT::ValueTypeEnum>(-1)), nullptr);
    EXPECT_EQ(OBValueTypeFromName("ekNoSuchType"), VT::ekUndefined);
    // A type can carry accessors only when a class of its own reports it.
    EXPECT_TRUE(OBIsAccessorValueType(VT::ekAlignmentEnum));
    EXPECT_TRUE(OBIsAccessorValueType(VT::ekMeasurement));
    for (VT::ValueTypeEnum t : {VT::ekIdRef, VT::ekStream, VT::ekUnsignedInt32, VT::ekUndefined})
        EXPECT_FALSE(OBIsAccessorValueType(t)) << OBValueTypeName(t);
}

// Every enumeration and view row is found by its own keys; what no row
// names finds nothing.
TEST(Vocabulary, EnumerationsAndViewAccessorsAreFoundByTheirKeys) {
    int count = 0;
    const OBValueEnumInfo* enums = OBGetValueEnums(count);
    ASSERT_GT(count, 0);
    for (int i = 0; i < count; ++i) {
        const OBValueEnumInfo& e = enums[i];
        EXPECT_STREQ(OBValueTypeName(e.type), e.typeName);
        EXPECT_STREQ(OBFindValueType(e.type)->valueClass, e.valueClass);
        EXPECT_TRUE(OBIsAccessorValueType(e.type)) << e.valueClass;
        EXPECT_EQ(OBFindValueEnum(e.type), &e);
        for (int m = 0; !e.external && m < e.memberCount; ++m)
            EXPECT_STREQ(OBValueEnumMemberName(e.type, m), e.members[m].name);
        EXPECT_EQ(OBValueEnumMemberName(e.type, e.memberCount), nullptr);
        EXPECT_EQ(OBValueEnumMemberName(e.type, -1), nullptr);
    }
    EXPECT_EQ(OBFindValueEnum(VT::ekCodePageEnum)->external, 1);
    EXPECT_EQ(OBFindValueEnum(VT::ekEnum), nullptr);
    EXPECT_EQ(OBValueEnumMemberName(VT::ekString, 0), nullptr);

    int classCount = 0, accessorCount = 0, total = 0;
    const OBViewClassInfo* classes = OBGetViewClasses(classCount);
    OBGetViewAccessors(accessorCount);
    for (int k = 0; k < classCount; ++k) {
        EXPECT_EQ(OBGetViewClass(classes[k].kind), &classes[k]);
        total += classes[k].accessorCount;
        for (int s = 0; s < classes[k].accessorCount; ++s) {
            const OBViewAccessorInfo& a = classes[k].accessors[s];
            EXPECT_EQ(OBFindViewAccessor(classes[k].kind, a.attr), &a) << a.accessor;
            EXPECT_TRUE(OBIsAccessorValueType(a.valueType)) << a.accessor;
        }
    }
    EXPECT_EQ(total, accessorCount);
    for (int k : {int(EL::kUnnamed228), int(EL::kUndefined), -1}) {
        EXPECT_EQ(OBGetViewClass(static_cast<EL::ElementTypeEnum>(k)), nullptr) << k;
        EXPECT_EQ(OBFindViewAccessor(static_cast<EL::ElementTypeEnum>(k), AN::kName), nullptr);
    }
    EXPECT_EQ(OBFindViewAccessor(EL::kPublication, AN::kFontSize), nullptr);
    EXPECT_EQ(OBFindViewAccessor(EL::kColorList, AN::kName), nullptr);
}

// The type that the naming rules imply for an attribute, or ekUndefined when
// no rule speaks about it.
VT::ValueTypeEnum RuleFor(const std::string& name) {
    if (EndsWith(name, "IdRefList")) return VT::ekIdRefList;
    if ((EndsWith(name, "ID") || EndsWith(name, "Id") || EndsWith(name, "IdRef")) &&
        name != "UniqueID")
        return VT::ekId;
    if (EndsWith(name, "ColorRef")) return VT::ekId;
    if (name.compare(0, 2, "Is") == 0)
        return name == "IsClosedList" ? VT::ekBool16List : VT::ekBool16;
    if (name == "Name" || name == "Title" || name == "Font") return VT::ekString;
    // A star's inset is a ratio; a drop cap either drops or hangs.
    if ((EndsWith(name, "Margin") || EndsWith(name, "Indent") || EndsWith(name, "Inset") ||
         EndsWith(name, "Standoff") || name == "FontSize" || name == "Leading") &&
        name != "StarInset" && name != "DropCapDropOrHangingIndent")
        return VT::ekMeasurement;
    if (name == "Rotation" || name == "Skew" || EndsWith(name, "Angle"))
        return VT::ekAngularMeasurement;
    if (name == "Tint" || name == "Shade" || EndsWith(name, "Scale") || name == "Opacity")
        return VT::ekPercent;
    if (name == "BoundingBox" || name == "RelativeBoundingBox") return VT::ekRect;
    if (name == "TransformationMatrix") return VT::ekMatrix;
    return VT::ekUndefined;
}

TEST(Vocabulary, ValueTypeBindingFollowsTheAttribute) {
    int count = 0;
    const OBViewAccessorInfo* all = OBGetViewAccessors(count);
    int ruled = 0;
    for (int i = 0; i < count; ++i) {
        const OBViewAccessorInfo& a = all[i];
        std::string name = OBAttrNameString(a.attr);
        std::string where = std::string(a.viewClass) + "::" + a.accessor;
        VT::ValueTypeEnum expected = RuleFor(name);
        if (expected != VT::ekUndefined) {
            ++ruled;
            EXPECT_EQ(a.valueType, expected) << where;
        }
        // Where a value type is an enumeration, its value class exists.
        bool isEnum = EndsWith(OBValueTypeName(a.valueType), "Enum");
        EXPECT_EQ(isEnum, OBFindValueEnum(a.valueType) != nullptr) << where;
    }
    // The rules speak about a good share of the table, so this test has teeth.
    EXPECT_GT(ruled, 400);
    // "Type", "Position" and "Mode" mean something else in each class.
    EXPECT_EQ(Binding(EL::kColor, AN::kType), VT::ekColorTypeEnum);
    EXPECT_EQ(Binding(EL::kOLEDataItem, AN::kType), VT::ekString);
    EXPECT_EQ(Binding(EL::kTab, AN::kPosition), VT::ekMeasurement);
    EXPECT_EQ(Binding(EL::kTransparency, AN::kMode), VT::ekTransparencyModeEnum);
    EXPECT_EQ(OBAttrDefaultValueType(AN::kType), VT::ekString);
    EXPECT_EQ(OBAttrDefaultValueType(AN::kUndefined), VT::ekUndefined);
    EXPECT_EQ(Binding(EL::kChildStory, AN::kTextStream), VT::ekIStreamPointer);
}

} // namespace
