// Generic attribute access through the views, on plug-in-like element
// classes, and values rendered as text for structure dumps.
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>
#include <ombra/views.h>

#include "support/ConversionState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ombra_test::ConversionState;
using UNITS::LINEAR::kPoints;

// ---------------------------------------------------------------- every view, every accessor

// One tag value per attribute name; a probe's accessor hands out the tag of
// its own attribute and notes the index it was asked for.
ValueInteger32 gTags[AN::kUndefined + 1];
int gLastIndex = -1;

#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                           \
    class Probe##Kind : public OBM##Kind {                                                         \
    public:
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                     \
    Value* Get##Attr() override { return &gTags[AN::k##Attr]; }
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                            \
    Value* Get##Name() override { return &gTags[AN::k##Attr]; }
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                      \
    Value* Get##Attr(int n) override {                                                             \
        gLastIndex = n;                                                                            \
        return &gTags[AN::k##Attr];                                                                \
    }
#define OB_VIEW_END(Kind)                                                                           \
    }                                                                                              \
    ;
#include <ombra/defs/ViewAccessors.def>

// For an element of each kind, every attribute name: the tag of that
// attribute exactly when the kind carries it. One call per kind keeps the
// test quick to compile.
template <class Probe>
void CheckKind(EL::ElementTypeEnum kind, const char* name, std::vector<std::string>& faults,
               int& kinds, int& hits) {
    ++kinds;
    Probe probe;
    for (int a = 0; a <= AN::kUndefined; ++a) {
        AN::AttrNameEnum attr = static_cast<AN::AttrNameEnum>(a);
        const OBViewAccessorInfo* row = OBFindViewAccessor(kind, attr);
        gLastIndex = -1;
        Value* got = OBGetAttributeValue(&probe, attr, 3);
        if (got != (row ? &gTags[a] : nullptr)) faults.push_back(name);
        if (row && row->indexed && gLastIndex != 3) faults.push_back(std::string(name) + " index");
        if (got) ++hits;
    }
}

TEST(AttributeAccess, EveryKindReachesEveryAccessorAndNothingElse) {
    ConversionState state;
    std::vector<std::string> faults;
    int kinds = 0, hits = 0;
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                           \
    CheckKind<Probe##Kind>(EL::k##Kind, "OBM" #Kind, faults, kinds, hits);
#include <ombra/defs/ViewAccessors.def>
    EXPECT_EQ(kinds, 228);
    EXPECT_EQ(hits, 1662);
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
}

// ---------------------------------------------------------------- a plug-in's element classes

// A reader's character formatting: holds its attributes in Attribute records and
// overrides the accessors of the ones it sets.
class ReaderCharacterAttributes : public OBMCharacterAttributes {
public:
    ReaderCharacterAttributes() {
        Value* v = nullptr;
        ValueUtil::CreateValueLength(kPoints, OBReal(10.5), v);
        fontSize_.SetValue(v);
        ValueUtil::CreateValueString(COBString("Garamond"), v);
        font_.SetValue(v);
        ValueUtil::CreateValueUnderlineTypeEnum(UTE::kUndefined, v);
        underline_.SetValue(v);
    }
    Value* GetFontSize() override { return fontSize_.GetValue(); }
    Value* GetFont() override { return font_.GetValue(); }
    Value* GetUnderlineType() override { return underline_.GetValue(); }

private:
    Attribute fontSize_{AN::kFontSize, VT::ekMeasurement, nullptr};
    Attribute font_{AN::kFont, VT::ekString, nullptr};
    Attribute underline_{AN::kUnderlineType, VT::ekUnderLineTypeEnum, nullptr};
};

class ReaderMultiInk : public OBMMultiInk {
public:
    Value* GetNthColorID(int n) override {
        if (n < 0 || n >= 2) return nullptr;
        ids_[n].Init(static_cast<unsigned>(100 + n));
        return &ids_[n];
    }

private:
    ValueOBID ids_[2];
};

TEST(AttributeAccess, APlugInsOverridesAnswer) {
    ConversionState state;
    ReaderCharacterAttributes run;
    Value* size = OBGetAttributeValue(&run, AN::kFontSize);
    ASSERT_NE(size, nullptr);
    OBReal points = 0.0;
    static_cast<ValueLength*>(size)->Get(kPoints, points);
    EXPECT_EQ(points.Value(), 10.5);
    EXPECT_EQ(OBGetAttributeValue(&run, AN::kFont), run.GetFont());
    EXPECT_EQ(OBGetAttributeValue(&run, AN::kBold), nullptr);      // carried, not set
    EXPECT_EQ(OBGetAttributeValue(&run, AN::kPageWidth), nullptr); // not carried by the kind
    EXPECT_EQ(OBGetAttributeValue(&run, AN::kUndefined), nullptr);
    EXPECT_EQ(OBGetAttributeValue(&run, static_cast<AN::AttrNameEnum>(-4)), nullptr);
    EXPECT_EQ(OBGetAttributeValue(nullptr, AN::kFontSize), nullptr);

    // An Element of the kind that is no view has no accessors to call.
    Element plain(EL::kCharacterAttributes);
    EXPECT_EQ(OBGetAttributeValue(&plain, AN::kFontSize), nullptr);
    Element undefined;
    EXPECT_EQ(OBGetAttributeValue(&undefined, AN::kFontSize), nullptr);

    ReaderMultiInk ink;
    Value* second = OBGetAttributeValue(&ink, AN::kNthColorID, 1);
    ASSERT_NE(second, nullptr);
    unsigned id = 0;
    static_cast<ValueOBID*>(second)->Get(id);
    EXPECT_EQ(id, 101u);
    EXPECT_EQ(OBGetAttributeValue(&ink, AN::kNthColorID, 2), nullptr);
    EXPECT_EQ(OBGetAttributeValue(&ink, AN::kNthColorID, -1), nullptr);
}

// A dump as a tool writes it: every attribute the kind carries, by name.
TEST(AttributeAccess, DumpingAnElementsAttributes) {
    ConversionState state;
    ReaderCharacterAttributes run;
    const OBViewClassInfo* view = OBGetViewClass(run.GetElementType());
    ASSERT_NE(view, nullptr);
    std::string dump;
    for (int i = 0; i < view->accessorCount; ++i) {
        const OBViewAccessorInfo& row = view->accessors[i];
        Value* v = OBGetAttributeValue(&run, row.attr);
        if (!v) continue;
        COBString text;
        OBValueToText(v, text);
        dump += std::string(OBAttrNameString(row.attr)) + "=" + text.GrabCString() + ";";
    }
    EXPECT_EQ(dump, "Font=\"Garamond\";FontSize=10.5 points;UnderlineType=kUndefined;");
}

// ---------------------------------------------------------------- text

std::string Text(Value* v) {
    COBString out;
    OBValueToText(v, out);
    std::string s(out.GrabCString(), out.Length());
    ValueUtil::Recycle(v);
    return s;
}

TEST(ValueText, NumbersUnitsAndCompoundValues) {
    Value* v = nullptr;
    ValueUtil::CreateValueInteger32(-42, v);
    EXPECT_EQ(Text(v), "-42");
    ValueUtil::CreateValueUnInteger(1ull << 63, v); // held as a signed 64-bit value
    EXPECT_EQ(Text(v), "-9223372036854775808");
    ValueUtil::CreateValueBool16(1, v);
    EXPECT_EQ(Text(v), "true");
    ValueUtil::CreateValueBool16(7, v);
    EXPECT_EQ(Text(v), "7");
    ValueUtil::CreateValueChar('A', v);
    EXPECT_EQ(Text(v), "'A'");
    ValueUtil::CreateValueChar('\n', v);
    EXPECT_EQ(Text(v), "U+000A");
    ValueUtil::CreateValueOBID(12u, v);
    EXPECT_EQ(Text(v), "#12");
    ValueUtil::CreateValueOBReal(0.1, v);
    EXPECT_EQ(Text(v), "0.1");

    ValueUtil::CreateValueLength(kPoints, 12, v);
    EXPECT_EQ(Text(v), "12 points");
    ValueUtil::CreateValueLength(UNITS::LINEAR::kInches, 1.25, v);
    EXPECT_EQ(Text(v), "1.25 in");
    ValueUtil::CreateValueLength(UNITS::LINEAR::kEMU, 5, v); // a unit without a name
    EXPECT_EQ(Text(v), "5 unit 13");
    ValueUtil::CreateValueAngle(UNITS::ANGULAR::kDegrees, 45.0, v);
    EXPECT_EQ(Text(v), "45 degrees");
    ValueUtil::CreateValuePercent(OBReal(0.25), v);
    EXPECT_EQ(Text(v), "25%");
    ValueUtil::CreateValuePercent(1, 8, v);
    EXPECT_EQ(Text(v), "1/8 (12.5%)");
    ValueUtil::CreateValuePoint(kPoints, 1.5, -2.0, v);
    EXPECT_EQ(Text(v), "(1.5, -2) points");
    ValueUtil::CreateValueRectangle(kPoints, 10.0, 20.0, 5.0, 2.0, v);
    EXPECT_EQ(Text(v), "(10, 20, 5, 2) points");
    ValueUtil::CreateValueMatrix(OBMatrix(1, 0, 0, 1, 10, -5), v);
    EXPECT_EQ(Text(v), "[1 0 0 1 10 -5]");
    ValueUtil::CreateValueDateTime(2024, 3, 5, 14, 7, 9, v);
    EXPECT_EQ(Text(v), "2024-03-05T14:07:09");
    ValueUtil::CreateValueGradientStop(0.5, 0.5, 3u, 1.0, v);
    EXPECT_EQ(Text(v), "(location 0.5, midpoint 0.5, color #3, tint 1)");
}

TEST(ValueText, StringsPathsListsEnumerationsAndStreams) {
    Value* v = nullptr;
    ValueUtil::CreateValueString(COBString("say \"hi\"\\\t"), v);
    EXPECT_EQ(Text(v), "\"say \\\"hi\\\"\\\\\\t\"");
    const unsigned short wide[] = {'C', 'a', 'f', 0xE9, 0x65E5, 0};
    ValueUtil::CreateValueString(WOBString(wide), v);
    EXPECT_EQ(Text(v), "\"Caf\xC3\xA9\xE6\x97\xA5\"");
    ValueUtil::Create(VT::ekString, v); // no string
    EXPECT_EQ(Text(v), "<no string>");

    COBString path("C:\\Images\\Logo.tif");
    ValueUtil::CreateValueFileSpec(static_cast<short>(-1), 7, path, v);
    EXPECT_EQ(Text(v), "C:\\Images\\Logo.tif (volume -1, directory 7)");

    ValueUtil::CreateValueIdRefList(v);
    static_cast<ValueIdRefList*>(v)->Add(1);
    static_cast<ValueIdRefList*>(v)->Add(22);
    EXPECT_EQ(Text(v), "[#1, #22]");
    ValueUtil::CreateValueRangeList(v);
    static_cast<ValueRangeList*>(v)->Add(0, 5);
    EXPECT_EQ(Text(v), "[0..5]");
    ValueUtil::CreateValueBool16List(v);
    static_cast<ValueBool16List*>(v)->Add(1);
    static_cast<ValueBool16List*>(v)->Add(0);
    EXPECT_EQ(Text(v), "[true, false]");
    ValueUtil::CreateValueStringList(v);
    static_cast<ValueStringList*>(v)->Add(COBString("a"));
    EXPECT_EQ(Text(v), "[\"a\"]");
    ValueUtil::Create(VT::ekVertexList, v);
    static_cast<ValueVertexList*>(v)->Add(OBPoint(1.0, 2.0), UNITS::LINEAR::kMillimeters);
    EXPECT_EQ(Text(v), "[(1, 2)] mm");

    ValueUtil::CreateValueAlignmentEnum(AE::kCenter, v);
    EXPECT_EQ(Text(v), "kCenter");
    ValueUtil::CreateValueAlignmentEnum(static_cast<AE::AlignmentEnum>(999), v);
    EXPECT_EQ(Text(v), "999");
    ValueUtil::CreateValueWritingScriptEnum(WSE::kGreekScript, v);
    EXPECT_EQ(Text(v), "kGreekScript");

    OBStream* stream = OBStreamUtilRef::CreateBufferStreamRead("0123456789", 10);
    stream->Seek(4, kSeekFromStart);
    ValueUtil::CreateValueStream(stream, v);
    EXPECT_EQ(Text(v), "<stream, 10 bytes>");
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

} // namespace
