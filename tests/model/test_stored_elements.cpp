// Stored elements: the ready-made element classes that hold their values.
#include <ombra/storedelements.h>
#include <ombra/strings.h>
#include <ombra/typedstreams.h>
#include <ombra/valueutil.h>
#include <ombra/values.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using ombra_test::ConversionState;

TEST(StoredElements, EveryViewKindHasOneAndNothingElse) {
    ConversionState state;
    int made = 0;
    for (int k = 0; k <= EL::kUndefined; ++k) {
        EL::ElementTypeEnum kind = static_cast<EL::ElementTypeEnum>(k);
        Element* e = OBCreateStoredElement(kind);
        if (k < 228) {
            ASSERT_NE(e, nullptr) << k;
            EXPECT_EQ(e->GetElementType(), kind);
            EXPECT_NE(OBGetAttributeStore(e), nullptr);
            ++made;
        } else {
            EXPECT_EQ(e, nullptr) << k;
        }
        delete e;
    }
    EXPECT_EQ(made, 228);
    OBMPublication plain;
    EXPECT_EQ(OBGetAttributeStore(&plain), nullptr);
    EXPECT_EQ(OBGetAttributeStore(nullptr), nullptr);
}

TEST(StoredElements, AccessorsHandOutWhatWasStored) {
    ConversionState state;
    OBStoredPublication pub;
    EXPECT_EQ(pub.GetPageWidth(), nullptr);
    ASSERT_EQ(pub.SetLength(AN::kPageWidth, 595.5), 1);
    ASSERT_EQ(pub.SetBool(AN::kIsFacingPage, true), 1);
    ASSERT_EQ(pub.SetInteger(AN::kStartPageNum, 3), 1);

    // Seen through the view and through the generic access alike.
    OBMPublication* view = &pub;
    ASSERT_NE(view->GetPageWidth(), nullptr);
    OBReal inches;
    static_cast<ValueLength*>(view->GetPageWidth())->Get(UNITS::LINEAR::kInches, inches);
    EXPECT_NEAR(static_cast<double>(inches), 595.5 / 72, 1e-9);
    EXPECT_EQ(OBGetAttributeValue(&pub, AN::kPageWidth), view->GetPageWidth());
    short facing = 0;
    static_cast<ValueBool16*>(view->GetIsFacingPage())->Get(facing);
    EXPECT_EQ(facing, 1);
    EXPECT_EQ(OBGetAttributeValue(&pub, AN::kPageHeight), nullptr);
    // An attribute the kind does not carry is stored but never handed out.
    pub.SetUtf8(AN::kRubiText, "x");
    EXPECT_EQ(OBGetAttributeValue(&pub, AN::kRubiText), nullptr);

    // A value set again replaces the old one.
    pub.SetInteger(AN::kStartPageNum, 9);
    int page = 0;
    static_cast<ValueInteger32*>(view->GetStartPageNum())->Get(page);
    EXPECT_EQ(page, 9);
    EXPECT_EQ(pub.Remove(AN::kStartPageNum), 1);
    EXPECT_EQ(pub.Remove(AN::kStartPageNum), 0);
    EXPECT_EQ(view->GetStartPageNum(), nullptr);
}

TEST(StoredElements, IndexedAttributesAndStrings) {
    ConversionState state;
    OBStoredMultiInk ink;
    ink.SetId(AN::kNthColorID, 11, 0);
    ink.SetId(AN::kNthColorID, 12, 1);
    ink.SetPercent(AN::kNthColorPercentage, 0.25, 1);
    ink.SetInteger(AN::kNumberOfComponents, 2);
    unsigned id = 0;
    static_cast<ValueOBID*>(OBGetAttributeValue(&ink, AN::kNthColorID, 1))->Get(id);
    EXPECT_EQ(id, 12u);
    EXPECT_EQ(ink.GetNthColorPercentage(0), nullptr);
    EXPECT_EQ(ink.GetNthColorID(2), nullptr);

    OBStoredRubiRun ruby;
    ASSERT_EQ(ruby.SetUtf8(AN::kRubiText, "\xE3\x81\x8B\xE3\x82\x93"), 1); // かん
    WOBString reading;
    static_cast<ValueString*>(ruby.GetRubiText())->Get(reading);
    ASSERT_EQ(reading.Length(), 2);
    EXPECT_EQ(reading.GetChar(0), 0x304B);
    EXPECT_EQ(reading.GetChar(1), 0x3093);
    EXPECT_EQ(ruby.SetUtf8(AN::kFont, "\xC3"), 0); // malformed UTF-8 is refused
}

TEST(StoredElements, TheElementOwnsItsStreamsAndValues) {
    ConversionState state;
    auto& stats = ombra_test::Stats();
    long long allocated = 0, released = 0;
    // The second round runs on blocks the value pools already hold.
    for (int round = 0; round < 2; ++round) {
        allocated = stats.allocations;
        released = stats.releases;
        OBStoredChildStory story;
        const char text[] = "H\0i\0";
        OBStream* stream = OBStreamUtilRef::CreateBufferStreamRead(
            reinterpret_cast<const unsigned char*>(text), 4);
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(story.SetStream(AN::kTextStream, stream), 1);
        OBStream* held = nullptr;
        static_cast<ValueStream*>(story.GetTextStream())->Get(held);
        EXPECT_EQ(held, stream);
        held->Seek(0, kSeekFromStart);
        unsigned char bytes[4] = {};
        EXPECT_EQ(held->XferByte(bytes, 4), 4);
        EXPECT_EQ(std::memcmp(bytes, text, 4), 0);
        story.SetRect(AN::kInlineObjectList, OBRect(1, 2, 3, 4)); // any value kind may be stored
        for (int i = 0; i < 40; ++i)
            story.SetInteger(AN::kTextDirection, i, i); // growth
        EXPECT_EQ(story.Count(), 42);
    }
    // Everything the element took from the memory service went back.
    EXPECT_EQ(stats.allocations - allocated, stats.releases - released);
}

TEST(StoredElements, ExhaustedMemoryRecyclesTheValueAndKeepsTheRest) {
    ConversionState state;
    ombra_test::SweepAllocationFailures([&] {
        OBStoredColor other;
        Value* flag = nullptr;
        ValueUtil::CreateValueBool16(1, flag);
        bool set = other.SetUtf8(AN::kName, "Red") == 1;
        for (int i = 0; i < 7; ++i) // fill the first block
            set = other.SetInteger(AN::kTint, i, i + 1) == 1 && set;
        // A value the store cannot take is recycled, not leaked.
        bool overprint = flag && other.Set(AN::kOverprint, flag) == 1;
        EXPECT_EQ(other.GetOverprint() != nullptr, overprint);
        if (auto* name = dynamic_cast<ValueString*>(other.GetName())) {
            EXPECT_EQ(name->GetPtr()->Length(), 3); // read without allocating
        }
        return set && overprint;
    });
    EXPECT_EQ(OBStoredColor().Set(AN::kOverprint, nullptr), 0);
}

} // namespace
