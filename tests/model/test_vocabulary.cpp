// The document-model vocabulary: element kinds, attribute names, value types,
// enumeration value classes and view accessor sets, checked against the facts
// that plug-ins rely on (numbers, names, counts, the irregular spellings).
#include <ombra/vocabulary.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The lookups are usable in constant expressions.
static_assert(OBElementTypeFromName("publication") == EL::kPublication);
static_assert(OBAttrNameFromString("Name") == AN::kName);
static_assert(OBValueTypeFromName("ekString") == VT::ekString);

std::vector<OBViewAccessorInfo> AccessorsOf(EL::ElementTypeEnum kind) {
    const OBViewClassInfo* info = OBGetViewClass(kind);
    if (!info) return {};
    return std::vector<OBViewAccessorInfo>(info->accessors, info->accessors + info->accessorCount);
}

VT::ValueTypeEnum Binding(EL::ElementTypeEnum kind, AN::AttrNameEnum attr) {
    const OBViewAccessorInfo* a = OBFindViewAccessor(kind, attr);
    return a ? a->valueType : VT::ekUndefined;
}

bool EndsWith(const std::string& s, const char* tail) {
    std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

TEST(Vocabulary, ElementKindsByNumberAndName) {
    EXPECT_EQ(kOBElementKindNameCount, 232);
    EXPECT_EQ(kOBElementTypeCount, 234);
    EXPECT_EQ(EL::kAdjustLayoutPreferences, 0);
    EXPECT_EQ(EL::kCharacterAttributes, 30);
    EXPECT_EQ(EL::kCommomMarginPropertiesBlock, 43);
    EXPECT_EQ(EL::kKinsokuTableList, 120);
    EXPECT_EQ(EL::kParagraphStyle, 155);
    EXPECT_EQ(EL::kPublication, 163);
    EXPECT_EQ(EL::kYIQ, 227);
    EXPECT_EQ(EL::kFreeLine, 229);
    EXPECT_EQ(EL::kFreeLinePath, 231);
    EXPECT_EQ(EL::kUndefined, 233);

    // Every slot's name finds its own kind, except the repeated name, which
    // finds the earlier slot.
    std::set<int> seen;
    for (const OBElementKindName& slot : kOBElementKindNames) {
        EXPECT_TRUE(seen.insert(slot.type).second) << slot.name;
        EXPECT_STREQ(OBElementTypeName(slot.type), slot.name);
        EL::ElementTypeEnum found = OBElementTypeFromName(slot.name);
        if (slot.type == 232)
            EXPECT_EQ(found, 120);
        else
            EXPECT_EQ(found, slot.type) << slot.name;
    }
    EXPECT_STREQ(OBElementTypeName(static_cast<EL::ElementTypeEnum>(232)), "KinsokuTableList");
    for (int unnamed : {228, 233, -1, 234})
        EXPECT_EQ(OBElementTypeName(static_cast<EL::ElementTypeEnum>(unnamed)), nullptr) << unnamed;

    // Lookup by name ignores case and knows nothing but whole names.
    EXPECT_EQ(OBElementTypeFromName("KINSOKUTABLELIST"), 120);
    for (const char* unknown : {"Publicatio", "Publications", "", static_cast<const char*>(nullptr),
                                "CommonMarginPropertiesBlock"})
        EXPECT_EQ(OBElementTypeFromName(unknown), EL::kUndefined);
}

TEST(Vocabulary, AttributeNamesByNumberAndName) {
    EXPECT_EQ(kOBAttrNamedCount, 974);
    EXPECT_EQ(kOBAttrNameCount, 979);
    for (int i = 0; i < kOBAttrNamedCount; ++i) {
        AN::AttrNameEnum attr = static_cast<AN::AttrNameEnum>(i);
        ASSERT_EQ(kOBAttrNames[i].attr, i);
        const char* name = OBAttrNameString(attr);
        ASSERT_NE(name, nullptr) << i;
        EXPECT_EQ(OBAttrNameFromString(name), attr) << name;
    }
    EXPECT_EQ(AN::kName, 41);
    EXPECT_EQ(OBAttrNameFromString("name"), 978);
    EXPECT_EQ(OBAttrNameFromString(nullptr), AN::kUndefined);
    EXPECT_STREQ(OBAttrNameString(static_cast<AN::AttrNameEnum>(0)), "AdjustLayoutForColumns");
    EXPECT_EQ(AN::kQ, 973);
    for (int unnamed : {974, 977, 978, -1})
        EXPECT_EQ(OBAttrNameString(static_cast<AN::AttrNameEnum>(unnamed)), nullptr) << unnamed;

    // Irregular spellings are distinct names with their own numbers.
    EXPECT_EQ(OBAttrNameFromString("Levelnorestart"), 52);
    EXPECT_EQ(OBAttrNameFromString("NumberofSteps"), 93);
    EXPECT_EQ(OBAttrNameFromString("NumberOfSteps"), 404);
    EXPECT_EQ(OBAttrNameFromString("FillId"), 77);
    EXPECT_EQ(OBAttrNameFromString("FillID"), 407);
    EXPECT_EQ(OBAttrNameFromString("Isonfill"), 912);
    EXPECT_EQ(OBAttrNameFromString("SeperationPrinting"), 723);
    EXPECT_EQ(OBAttrNameFromString("ptStart"), 544);
}

TEST(Vocabulary, ValueTypesAndTheirClasses) {
    EXPECT_EQ(kOBValueTypeCount, 155);
    std::set<std::string> names;
    for (int i = 0; i < kOBValueTypeCount; ++i) {
        VT::ValueTypeEnum type = static_cast<VT::ValueTypeEnum>(i);
        const char* name = OBValueTypeName(type);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::strncmp(name, "ek", 2), 0) << name;
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(OBValueTypeFromName(name), type) << name;
    }
    EXPECT_EQ(OBValueTypeName(static_cast<VT::ValueTypeEnum>(155)), nullptr);
    EXPECT_EQ(OBValueTypeName(static_cast<VT::ValueTypeEnum>(-1)), nullptr);
    EXPECT_EQ(OBValueTypeFromName("ekNoSuchType"), VT::ekUndefined);
    EXPECT_EQ(VT::ekAlignmentEnum, 0);
    EXPECT_EQ(VT::ekMeasurement, 56);
    EXPECT_EQ(VT::ekUndefined, 101);
    EXPECT_EQ(VT::ekEndNoteScopeEnum, 154);

    // Where the factory stands in another class (what it makes is checked
    // with the factory).
    EXPECT_EQ(OBFindValueType(VT::ekIdRef)->valueClass, nullptr);
    EXPECT_STREQ(OBFindValueType(VT::ekIdRef)->madeClass, "ValueOBID");
    EXPECT_STREQ(OBFindValueType(VT::ekUnsignedInt32)->valueClass, "ValueUnInteger32");
    EXPECT_STREQ(OBFindValueType(VT::ekUnsignedInt32)->madeClass, "ValueInteger32");
    EXPECT_STREQ(OBFindValueType(VT::ekAlignmentEnum)->valueClass, "ValueAlignmentEnum");
    EXPECT_EQ(OBFindValueType(VT::ekAlignmentEnum)->madeClass, nullptr);

    EXPECT_TRUE(OBIsAccessorValueType(VT::ekAlignmentEnum));
    EXPECT_TRUE(OBIsAccessorValueType(VT::ekMeasurement));
    for (VT::ValueTypeEnum t : {VT::ekIdRef, VT::ekStream, VT::ekUnsignedInt32, VT::ekUndefined})
        EXPECT_FALSE(OBIsAccessorValueType(t)) << OBValueTypeName(t);
}

TEST(Vocabulary, EnumerationValueClasses) {
    int count = 0;
    const OBValueEnumInfo* enums = OBGetValueEnums(count);
    ASSERT_EQ(count, 83);
    std::set<std::string> spaces;
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        const OBValueEnumInfo& e = enums[i];
        EXPECT_GT(e.type, previous);
        previous = e.type;
        // The code is the value type whose name the row gives, and that type's
        // own class is this class.
        EXPECT_STREQ(OBValueTypeName(e.type), e.typeName);
        EXPECT_STREQ(OBFindValueType(e.type)->valueClass, e.valueClass);
        EXPECT_TRUE(OBIsAccessorValueType(e.type)) << e.valueClass;
        EXPECT_EQ(std::strncmp(e.creator, "CreateValue", 11), 0) << e.creator;
        EXPECT_TRUE(spaces.insert(e.nameSpace).second) << e.nameSpace;
        EXPECT_EQ(OBFindValueEnum(e.type), &e);
        if (e.external) {
            EXPECT_EQ(e.memberCount, 0);
            continue;
        }
        // Members: kUndefined first, numbered 0, 1, 2, … without repeats.
        ASSERT_GE(e.memberCount, 3) << e.enumName;
        EXPECT_STREQ(e.members[0].name, "kUndefined");
        std::set<std::string> members;
        for (int m = 0; m < e.memberCount; ++m) {
            EXPECT_EQ(e.members[m].number, m) << e.enumName;
            EXPECT_EQ(e.members[m].name[0], 'k') << e.members[m].name;
            EXPECT_TRUE(members.insert(e.members[m].name).second) << e.members[m].name;
            EXPECT_STREQ(OBValueEnumMemberName(e.type, m), e.members[m].name);
        }
        EXPECT_EQ(OBValueEnumMemberName(e.type, e.memberCount), nullptr);
    }

    // The two enumerations of the text service are declared there.
    ASSERT_NE(OBFindValueEnum(VT::ekWritingScriptEnum), nullptr);
    EXPECT_STREQ(OBFindValueEnum(VT::ekWritingScriptEnum)->nameSpace, "WSE");
    EXPECT_EQ(OBFindValueEnum(VT::ekCodePageEnum)->external, 1);
    EXPECT_EQ(OBFindValueEnum(VT::ekEnum), nullptr);
    EXPECT_EQ(OBValueEnumMemberName(VT::ekString, 0), nullptr);

    // Creators whose names differ from their classes, with the codes they make.
    const std::map<int, std::string> creators = {{2, "CreateValueTxtRunDirectionEnum"},
                                                 {38, "CreateValueGDDEnum"},
                                                 {99, "CreateValueTransparencyMappingMode"},
                                                 {119, "CreateValueTOPOrientationEnum"},
                                                 {154, "CreateValueEndNoteScopeTypeEnum"}};
    for (const auto& c : creators) {
        const OBValueEnumInfo* e = OBFindValueEnum(static_cast<VT::ValueTypeEnum>(c.first));
        ASSERT_NE(e, nullptr) << c.first;
        EXPECT_EQ(e->creator, c.second);
    }
    // Classes whose names differ from their value types.
    EXPECT_STREQ(OBFindValueEnum(VT::ekTxtRunDirectionEnum)->valueClass, "ValueTxtRunDirEnum");
    EXPECT_STREQ(OBFindValueEnum(VT::ekNumberingStyleEnum)->valueClass,
                 "ValuePageNumberingStyleEnum");
    EXPECT_STREQ(OBValueEnumMemberName(VT::ekCapStyleEnum, CSE::kProjecting), "kProjecting");
}

TEST(Vocabulary, ViewClassesAndAccessorSets) {
    int classCount = 0;
    const OBViewClassInfo* classes = OBGetViewClasses(classCount);
    ASSERT_EQ(classCount, 228);
    int accessorCount = 0;
    const OBViewAccessorInfo* all = OBGetViewAccessors(accessorCount);
    EXPECT_EQ(accessorCount, 1662);

    int total = 0;
    std::set<std::string> empty;
    for (int k = 0; k < classCount; ++k) {
        const OBViewClassInfo& c = classes[k];
        EXPECT_EQ(c.kind, k);
        EXPECT_EQ(std::string(c.viewClass), std::string("OBM") + OBElementTypeName(c.kind));
        EXPECT_EQ(OBGetViewClass(c.kind), &c);
        if (c.accessorCount == 0) {
            EXPECT_EQ(c.accessors, nullptr);
            empty.insert(c.viewClass);
            continue;
        }
        EXPECT_EQ(c.accessors, all + total) << c.viewClass;
        total += c.accessorCount;
        std::set<int> attrs;
        for (int s = 0; s < c.accessorCount; ++s) {
            const OBViewAccessorInfo& a = c.accessors[s];
            EXPECT_EQ(a.slot, s);
            EXPECT_TRUE(attrs.insert(a.attr).second) << a.accessor;
            // The accessor is Get plus the name of an attribute that exists; the
            // anchor views alone call theirs GetObjectA.
            const char* name = OBAttrNameString(a.attr);
            ASSERT_NE(name, nullptr) << a.accessor;
            std::string expected = std::string("Get") + name;
            if (a.attr == AN::kObject) expected += "A";
            EXPECT_EQ(std::string(a.accessor), expected);
            EXPECT_TRUE(OBIsAccessorValueType(a.valueType)) << a.accessor;
            EXPECT_EQ(OBFindViewAccessor(c.kind, a.attr), &a);
        }
    }
    EXPECT_EQ(total, 1662);

    // The lists, and a few others, have no accessors of their own.
    EXPECT_EQ(empty.size(), 76u);
    for (const char* name : {"OBMColorList", "OBMCommomMarginPropertiesBlock", "OBMDefaults",
                             "OBMHyperlinkSource", "OBMTableCellStyle", "OBMBorder"})
        EXPECT_EQ(empty.count(name), 1u) << name;

    // Kinds without a view class.
    for (int k : {228, 229, 232, 233, -1}) {
        EXPECT_EQ(OBGetViewClass(static_cast<EL::ElementTypeEnum>(k)), nullptr) << k;
        EXPECT_EQ(OBFindViewAccessor(static_cast<EL::ElementTypeEnum>(k), AN::kName), nullptr);
    }
    EXPECT_EQ(OBFindViewAccessor(EL::kPublication, AN::kFontSize), nullptr);
    EXPECT_EQ(OBFindViewAccessor(EL::kColorList, AN::kName), nullptr);
}

TEST(Vocabulary, IndexedAccessorsAndTheirCounts) {
    int count = 0;
    const OBViewAccessorInfo* all = OBGetViewAccessors(count);
    std::map<std::string, std::string> indexed;
    for (int i = 0; i < count; ++i)
        if (all[i].indexed)
            indexed[std::string(all[i].viewClass) + "::" + all[i].accessor] =
                OBValueTypeName(all[i].valueType);
    const std::map<std::string, std::string> expected = {
        {"OBMMultiInk::GetNthColorID", "ekId"},
        {"OBMMultiInk::GetNthColorPercentage", "ekPercent"},
        {"OBMColumnWidthList::GetNthColumnAlignment", "ekAlignmentEnum"},
        {"OBMColumnWidthList::GetNthColumnWidth", "ekMeasurement"},
        {"OBMStrokeStyle::GetNthSegmentLength", "ekMeasurement"},
        {"OBMClippingPath::GetNthVertexList", "ekVertexList"}};
    EXPECT_EQ(indexed, expected);
    // Each class with indexed accessors can say how many values there are.
    EXPECT_EQ(Binding(EL::kMultiInk, AN::kNumberOfComponents), VT::ekSignedInt32);
    EXPECT_EQ(Binding(EL::kClippingPath, AN::kNumberOfVertexLists), VT::ekSignedInt32);
}

TEST(Vocabulary, ResolverBasesShareTheirAccessorSets) {
    EXPECT_EQ(AccessorsOf(EL::kCharacterAttributes).size(), 81u);
    EXPECT_EQ(AccessorsOf(EL::kParagraphAttributes).size(), 77u);
    EXPECT_EQ(AccessorsOf(EL::kHyphenationAttributes).size(), 12u);
    EXPECT_STREQ(AccessorsOf(EL::kCharacterAttributes).front().accessor, "GetAutoKerning");
    EXPECT_STREQ(AccessorsOf(EL::kHyphenationAttributes).back().accessor, "GetZone");
    // The anchor views hand out the object they point at.
    EXPECT_STREQ(OBFindViewAccessor(EL::kHyperLinkDOAnchor, AN::kObject)->accessor, "GetObjectA");
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
        if (name == "CapStyle" || name == "JoinStyle" || name == "Alignment" ||
            name == "UnderlineType") {
            EXPECT_TRUE(isEnum) << where;
        }
    }
    // The rules speak about a good share of the table, so this test has teeth.
    EXPECT_GT(ruled, 400);
}

TEST(Vocabulary, ContextDecidesTheValueType) {
    // "Type", "Position" and "Mode" mean something else in each class.
    EXPECT_EQ(Binding(EL::kColor, AN::kType), VT::ekColorTypeEnum);
    EXPECT_EQ(Binding(EL::kOLEDataItem, AN::kType), VT::ekString);
    EXPECT_EQ(Binding(EL::kFootnote, AN::kPosition), VT::ekSignedInt32);
    EXPECT_EQ(Binding(EL::kTab, AN::kPosition), VT::ekMeasurement);
    EXPECT_EQ(Binding(EL::kTransparency, AN::kMode), VT::ekTransparencyModeEnum);
    EXPECT_EQ(Binding(EL::kLine, AN::kMode), VT::ekString);
    // Default bindings are what a class uses unless its context differs.
    EXPECT_EQ(OBAttrDefaultValueType(AN::kType), VT::ekString);
    EXPECT_EQ(OBAttrDefaultValueType(AN::kUndefined), VT::ekUndefined);
    // Bindings that publications need and no naming rule gives.
    EXPECT_EQ(Binding(EL::kChildStory, AN::kTextStream), VT::ekIStreamPointer);
    EXPECT_EQ(Binding(EL::kParagraphStyle, AN::kBasedOn), VT::ekId);
    EXPECT_EQ(Binding(EL::kText, AN::kInsetBox), VT::ekRect);
    EXPECT_EQ(Binding(EL::kBezier, AN::kPathPointList), VT::ekPathPointList);
    EXPECT_EQ(Binding(EL::kCMYK, AN::kCyan), VT::ekPercent);
}

} // namespace
