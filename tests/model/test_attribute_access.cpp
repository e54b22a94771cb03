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
#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    CheckKind<Probe##Kind>(EL::k##Kind, "OBM" #Kind, faults, kinds, hits);
#include <ombra/defs/ViewAccessors.def>
    int classCount = 0, accessorCount = 0;
    OBGetViewClasses(classCount);
    OBGetViewAccessors(accessorCount);
    EXPECT_EQ(kinds, classCount);
    EXPECT_EQ(hits, accessorCount);
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
}

// ---------------------------------------------------------------- a plug-in's element classes

// A reader's character formatting: overrides the accessor of the one
// attribute it sets.
class ReaderCharacterAttributes : public OBMCharacterAttributes {
public:
    ReaderCharacterAttributes() { size_.Init(kPoints, OBReal(10.5)); }
    Value* GetFontSize() override { return &size_; }

private:
    ValueLength size_;
};

TEST(AttributeAccess, APlugInsOverridesAnswer) {
    ConversionState state;
    ReaderCharacterAttributes run;
    EXPECT_EQ(OBGetAttributeValue(&run, AN::kFontSize), run.GetFontSize());
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

    auto text = [](Value& list) {
        COBString out;
        OBValueToText(&list, out);
        return std::string(out.GrabCString());
    };
    ValueIdRefList ids;
    ids.Add(1);
    ids.Add(22);
    EXPECT_EQ(text(ids), "[#1, #22]");
    ValueRangeList ranges;
    ranges.Add(0, 5);
    EXPECT_EQ(text(ranges), "[0..5]");
    ValueBool16List flags;
    flags.Add(1);
    flags.Add(0);
    EXPECT_EQ(text(flags), "[true, false]");
    ValueStringList strings;
    strings.Add(COBString("a"));
    EXPECT_EQ(text(strings), "[\"a\"]");
    ValueVertexList vertices;
    vertices.Add(OBPoint(1.0, 2.0), UNITS::LINEAR::kMillimeters);
    EXPECT_EQ(text(vertices), "[(1, 2)] mm");

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

} // namespace
