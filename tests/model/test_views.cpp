// The document-model vocabulary and the typed element views expanded from
// it: every lookup agrees with the tables both ways, every kind reaches every
// accessor, a plug-in's classes override them, and values render as text.
#include <ombra/elements.h>
#include <ombra/strings.h>
#include <ombra/textservice.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>
#include <ombra/views.h>
#include <ombra/vocabulary.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using ombra_test::ConversionState;
using UNITS::LINEAR::kPoints;

TEST(Views, CopiesShareChildrenAndKeepTheId) {
    ConversionState state;
    OBMParagraphStyle* style = new OBMParagraphStyle;
    style->AddChild(new OBMParagraphRun);
    style->AddChild(new OBMParagraphRun);
    OBMParagraphStyle copy(*style);
    EXPECT_EQ(copy.GetId(), style->GetId());
    EXPECT_EQ(copy.GetElementType(), EL::kParagraphStyle);
    EXPECT_EQ(copy.GetNthChild(1), style->GetNthChild(1));
    EXPECT_EQ(copy.OwnsChild(copy.GetNthChild(1)), 0);
    OBMParagraphStyle moved(std::move(*style)); // ownership goes along
    delete style;
    EXPECT_EQ(moved.OwnsChild(moved.GetNthChild(0)), 1);
}

// ---------------------------------------------------------------- a plug-in's element class

// A reader's table cell: holds its row number and overrides one accessor.
class ReaderTableCell : public OBMTableCell {
public:
    ReaderTableCell(int row, int* deaths) : deaths_(deaths) { row_.Init(row); }
    ~ReaderTableCell() override { ++*deaths_; }
    Value* GetRowNumber() override { return &row_; }

private:
    ValueInteger32 row_;
    int* deaths_;
};

// That a view without overrides answers null is
// AttributeAccess.EveryKindReachesEveryAccessorAndNothingElse's to show.
TEST(Views, APlugInOverrideIsSeenThroughTheViewTheElementAndTheAttribute) {
    ConversionState state;
    int deaths = 0;
    OBMTableRow* row = new OBMTableRow;
    row->AddChild(new ReaderTableCell(4, &deaths));
    Element* cell = row->GetNthChild(0);
    ASSERT_EQ(cell->GetElementType(), EL::kTableCell);
    int number = -1;
    static_cast<ValueInteger32*>(static_cast<OBMTableCell*>(cell)->GetRowNumber())->Get(number);
    EXPECT_EQ(number, 4);
    EXPECT_EQ(OBGetAttributeValue(cell, AN::kRowNumber),
              static_cast<OBMTableCell*>(cell)->GetRowNumber());
    EXPECT_EQ(OBGetAttributeValue(cell, AN::kColumnNumber), nullptr); // carried, not set
    EXPECT_EQ(OBGetAttributeValue(cell, AN::kPageWidth), nullptr);    // not carried by the kind
    EXPECT_EQ(OBGetAttributeValue(cell, AN::kUndefined), nullptr);
    EXPECT_EQ(OBGetAttributeValue(cell, static_cast<AN::AttrNameEnum>(-4)), nullptr);
    EXPECT_EQ(OBGetAttributeValue(nullptr, AN::kRowNumber), nullptr);
    // An Element of the kind that is no view has no accessors to call.
    Element plain(EL::kTableCell), undefined;
    EXPECT_EQ(OBGetAttributeValue(&plain, AN::kRowNumber), nullptr);
    EXPECT_EQ(OBGetAttributeValue(&undefined, AN::kRowNumber), nullptr);
    Element* asElement = row;
    delete asElement; // the core deletes the plug-in's Elements through Element
    EXPECT_EQ(deaths, 1);
}

// ---------------------------------------------------------------- every view, every accessor

// One tag value per attribute name; a probe's accessor hands out the tag of
// its own attribute and notes the index it was asked for.
ValueInteger32 gTags[AN::kUndefined + 1];
int gLastIndex = -1;

#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    class Probe##Kind : public OBM##Kind {                                                         \
    public:
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    Value* Get##Attr() override {                                                                  \
        return &gTags[AN::k##Attr];                                                                \
    }
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    Value* Get##Name() override {                                                                  \
        return &gTags[AN::k##Attr];                                                                \
    }
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    Value* Get##Attr(int n) override {                                                             \
        gLastIndex = n;                                                                            \
        return &gTags[AN::k##Attr];                                                                \
    }
#define OB_VIEW_END(Kind)                                                                          \
    }                                                                                              \
    ;
#include <ombra/defs/ViewAccessors.def>

// For an element of each kind, every attribute name: the tag of that
// attribute exactly when the kind carries it. One call per kind keeps the
// test quick to compile.
template <class Probe, class View>
void CheckKind(EL::ElementTypeEnum kind, const char* name, std::vector<std::string>& faults,
               int& kinds, int& hits) {
    ++kinds;
    Probe probe;
    View plain; // the library's own view answers null everywhere
    if (plain.GetElementType() != kind || View::kKind != kind) faults.push_back(name);
    for (int a = 0; a <= AN::kUndefined; ++a) {
        AN::AttrNameEnum attr = static_cast<AN::AttrNameEnum>(a);
        const OBViewAccessorInfo* row = OBFindViewAccessor(kind, attr);
        gLastIndex = -1;
        Value* got = OBGetAttributeValue(&probe, attr, 3);
        if (got != (row ? &gTags[a] : nullptr)) faults.push_back(name);
        if (row && row->indexed && gLastIndex != 3) faults.push_back(std::string(name) + " index");
        if (OBGetAttributeValue(&plain, attr, 3)) faults.push_back(std::string(name) + " not null");
        if (got) ++hits;
    }
}

TEST(AttributeAccess, EveryKindReachesEveryAccessorAndNothingElse) {
    ConversionState state;
    std::vector<std::string> faults;
    int kinds = 0, hits = 0;
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    CheckKind<Probe##Kind, OBM##Kind>(EL::k##Kind, "OBM" #Kind, faults, kinds, hits);
#include <ombra/defs/ViewAccessors.def>
    int classCount = 0, accessorCount = 0;
    OBGetViewClasses(classCount);
    OBGetViewAccessors(accessorCount);
    EXPECT_EQ(kinds, classCount);
    EXPECT_EQ(hits, accessorCount);
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
}

// ---------------------------------------------------------------- text

// The text of the value that a ValueUtil creator call makes into `v`.
#define TEXT_OF(creation)                                                                          \
    [&] {                                                                                          \
        Value* v = nullptr;                                                                        \
        ValueUtil::creation;                                                                       \
        COBString out;                                                                             \
        OBValueToText(v, out);                                                                     \
        ValueUtil::Recycle(v);                                                                     \
        return std::string(out.GrabCString(), out.Length());                                       \
    }()

TEST(ValueText, NumbersUnitsAndCompoundValues) {
    EXPECT_EQ(TEXT_OF(CreateValueUnInteger(1ull << 63, v)), "-9223372036854775808"); // signed
    EXPECT_EQ(TEXT_OF(CreateValueBool16(1, v)), "true");
    EXPECT_EQ(TEXT_OF(CreateValueBool16(7, v)), "7");
    EXPECT_EQ(TEXT_OF(CreateValueChar('A', v)), "'A'");
    EXPECT_EQ(TEXT_OF(CreateValueChar('\n', v)), "U+000A");
    EXPECT_EQ(TEXT_OF(CreateValueOBID(12u, v)), "#12");
    EXPECT_EQ(TEXT_OF(CreateValueOBReal(0.1, v)), "0.1");
    EXPECT_EQ(TEXT_OF(CreateValueLength(kPoints, 12, v)), "12 points");
    EXPECT_EQ(TEXT_OF(CreateValueLength(UNITS::LINEAR::kInches, 1.25, v)), "1.25 in");
    EXPECT_EQ(TEXT_OF(CreateValueLength(UNITS::LINEAR::kEMU, 5, v)), "5 unit 13"); // no name
    EXPECT_EQ(TEXT_OF(CreateValueAngle(UNITS::ANGULAR::kDegrees, 45.0, v)), "45 degrees");
    EXPECT_EQ(TEXT_OF(CreateValuePercent(OBReal(0.25), v)), "25%");
    EXPECT_EQ(TEXT_OF(CreateValuePercent(1, 8, v)), "1/8 (12.5%)");
    EXPECT_EQ(TEXT_OF(CreateValuePoint(kPoints, 1.5, -2.0, v)), "(1.5, -2) points");
    EXPECT_EQ(TEXT_OF(CreateValueRectangle(kPoints, 10.0, 20.0, 5.0, 2.0, v)),
              "(10, 20, 5, 2) points");
    EXPECT_EQ(TEXT_OF(CreateValueMatrix(OBMatrix(1, 0, 0, 1, 10, -5), v)), "[1 0 0 1 10 -5]");
    EXPECT_EQ(TEXT_OF(CreateValueDateTime(2024, 3, 5, 14, 7, 9, v)), "2024-03-05T14:07:09");
    EXPECT_EQ(TEXT_OF(CreateValueGradientStop(0.5, 0.5, 3u, 1.0, v)),
              "(location 0.5, midpoint 0.5, color #3, tint 1)");
}

// The text of a list that `fill` fills.
template <class List, class Fill> std::string ListText(Fill fill) {
    List list;
    fill(list);
    COBString out;
    OBValueToText(&list, out);
    return out.GrabCString();
}

TEST(ValueText, StringsPathsListsEnumerationsAndStreams) {
    EXPECT_EQ(TEXT_OF(CreateValueString(COBString("say \"hi\"\\\t"), v)),
              "\"say \\\"hi\\\"\\\\\\t\"");
    const unsigned short wide[] = {'C', 'a', 'f', 0xE9, 0x65E5, 0};
    EXPECT_EQ(TEXT_OF(CreateValueString(WOBString(wide), v)), "\"Caf\xC3\xA9\xE6\x97\xA5\"");
    EXPECT_EQ(TEXT_OF(Create(VT::ekString, v)), "<no string>");
    COBString path("C:\\Images\\Logo.tif");
    EXPECT_EQ(TEXT_OF(CreateValueFileSpec(static_cast<short>(-1), 7, path, v)),
              "C:\\Images\\Logo.tif (volume -1, directory 7)");
    EXPECT_EQ(TEXT_OF(CreateValueAlignmentEnum(AE::kCenter, v)), "kCenter");
    EXPECT_EQ(TEXT_OF(CreateValueAlignmentEnum(static_cast<AE::AlignmentEnum>(999), v)), "999");
    EXPECT_EQ(TEXT_OF(CreateValueWritingScriptEnum(WSE::kGreekScript, v)), "kGreekScript");

    EXPECT_EQ(ListText<ValueIdRefList>([](auto& l) { l.Add(1), l.Add(22); }), "[#1, #22]");
    EXPECT_EQ(ListText<ValueRangeList>([](auto& l) { l.Add(0, 5); }), "[0..5]");
    EXPECT_EQ(ListText<ValueBool16List>([](auto& l) { l.Add(1), l.Add(0); }), "[true, false]");
    EXPECT_EQ(ListText<ValueStringList>([](auto& l) { l.Add(COBString("a")); }), "[\"a\"]");
    EXPECT_EQ(ListText<ValueVertexList>(
                  [](auto& l) { l.Add(OBPoint(1.0, 2.0), UNITS::LINEAR::kMillimeters); }),
              "[(1, 2)] mm");

    OBStream* stream = OBStreamUtilRef::CreateBufferStreamRead("0123456789", 10);
    stream->Seek(4, kSeekFromStart);
    EXPECT_EQ(TEXT_OF(CreateValueStream(stream, v)), "<stream, 10 bytes>");
    EXPECT_EQ(stream->Tell(), 4); // the position is restored
    delete stream;

    COBString out("old");
    EXPECT_EQ(OBValueToText(nullptr, out), 0);
    EXPECT_EQ(std::string(out.GrabCString()), "null");
    ValueInteger32 known;
    WOBString wideOut;
    EXPECT_EQ(OBValueToText(&known, wideOut), 1);
    EXPECT_EQ(wideOut.Length(), 1);
    EXPECT_EQ(wideOut.GetChar(0), '0');
}

// A plug-in's own value class: rendered by its type only.
class PluginValue : public Value {
public:
    PluginValue() : Value(VT::ekSignedInt32) {}
    Value& operator=(Value&) override { return *this; }
    short IsEqual(Value* other) override { return Value::IsEqual(other); }
};

TEST(ValueText, AClassOfAPlugInsOwnIsNamedByItsType) {
    PluginValue own;
    COBString out;
    EXPECT_EQ(OBValueToText(&own, out), 0);
    EXPECT_EQ(std::string(out.GrabCString()), "<ekSignedInt32 value>");
    ValueInteger32 real;
    EXPECT_EQ(real.IsEqual(&own), 0); // same type code, but not a value of this class
}

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
