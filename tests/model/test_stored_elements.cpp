// Stored elements: one class per view kind, what their stores hold and
// hand out, the streams and values they own, arena blocks given back from
// any thread, a kind's room in the element's block, and exhausted memory.
#include <ombra/convertorlumservice.h>
#include <ombra/elements.h>
#include <ombra/storedelements.h>
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
#include <string>
#include <thread>
#include <vector>

namespace {

using ombra_test::ConversionState;
using UNITS::LINEAR::kPoints;

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

TEST(StoredElements, AccessorsHandOutWhatWasStoredIndexedOrNot) {
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

    // Indexed attributes and strings.
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

    // Names of every length around the string's own room, ASCII or with an
    // \u00E9 at any place, read back unit for unit.
    for (int n = 1; n <= 30; ++n) {
        for (int accent = -1; accent < n; ++accent) {
            std::string utf8;
            std::u16string want;
            for (int i = 0; i < n; ++i) {
                char16_t unit = i == accent ? u'\u00E9' : static_cast<char16_t>('!' + (i * 7) % 90);
                utf8 +=
                    i == accent ? std::string("\xC3\xA9") : std::string(1, static_cast<char>(unit));
                want += unit;
            }
            ASSERT_EQ(ruby.SetUtf8(AN::kFont, utf8.c_str()), 1);
            WOBString got;
            static_cast<ValueString*>(ruby.Find(AN::kFont))->Get(got);
            ASSERT_EQ(got.Length(), n) << utf8;
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(got.GetChar(i), want[static_cast<std::size_t>(i)]) << utf8 << " at " << i;
        }
    }
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

// A paragraph run from arena with the tints 0 to n - 1 at the indexes 0 to
// n - 1; null if any of it fails.
Element* RunWithTints(OBElementArena& arena, int n) {
    Element* run = OBCreateStoredElement(EL::kParagraphRun, &arena);
    for (int i = 0; run && i < n; ++i)
        if (OBGetAttributeStore(run)->SetInteger(AN::kTint, i, i) != 1) {
            delete run;
            return nullptr;
        }
    return run;
}

// Rounds of elements that make(arena, made) makes in an arena, which end
// with end(made, round) after the arena is gone. From the second round on,
// with the room and the pools' blocks of the first, every round gives back
// all it took.
template <class Make, class End> void ArenaRounds(int rounds, Make make, End end) {
    auto& stats = ombra_test::Stats();
    for (int round = 0; round < rounds; ++round) {
        long long allocated = stats.allocations, released = stats.releases;
        std::vector<Element*> made;
        {
            OBElementArena arena;
            make(arena, made);
        }
        if (::testing::Test::HasFatalFailure()) {
            for (Element* e : made)
                delete e;
            return;
        }
        end(made, round);
        if (round > 0) {
            EXPECT_EQ(stats.allocations - allocated, stats.releases - released) << round;
        }
    }
}

// Elements made several to a block, with the room for children and values
// that their kind needed before, hold what was set and, deleted in any order
// on two threads after their arena is gone, give every block back.
TEST(StoredElements, ArenaElementsKeepWhatWasSetAndGoBackFromAnyThread) {
    ConversionState state;
    auto make = [](OBElementArena& arena, std::vector<Element*>& made) {
        for (int i = 0; i < 300; ++i) {
            Element* run = RunWithTints(arena, 3 + i % 11);
            ASSERT_NE(run, nullptr);
            OBAttributeStore* store = OBGetAttributeStore(run);
            // Values made in the element's block, replaced or removed
            // there: a name too long for the string's own room, and
            // again, a number once or twice.
            const std::string name(40, static_cast<char>('a' + i % 26));
            ASSERT_EQ(store->SetUtf8(AN::kName, "first name, longer than the string's room"), 1);
            ASSERT_EQ(store->SetUtf8(AN::kName, name.c_str()), 1);
            ASSERT_EQ(store->SetPercent(AN::kCyan, 0.5), 1);
            if (i % 2) {
                ASSERT_EQ(store->SetPercent(AN::kCyan, 0.25), 1);
            }
            if (i % 3 == 0) {
                ASSERT_EQ(store->Remove(AN::kCyan), 1);
            }
            for (int c = 0; c < i % 13; ++c)
                ASSERT_EQ(run->AddChild(OBCreateStoredElement(EL::kCharacterRun, &arena)), 1);
            made.push_back(run);
        }
    };
    auto end = [](std::vector<Element*>& made, int) {
        for (int i = 0; i < 300; ++i) {
            ASSERT_EQ(OBGetAttributeStore(made[i])->Count(), 4 + i % 11 + (i % 3 != 0));
            WOBString name;
            static_cast<ValueString*>(OBGetAttributeStore(made[i])->Find(AN::kName))->Get(name);
            ASSERT_EQ(name.Length(), 40);
            EXPECT_EQ(name.GetChar(39), 'a' + i % 26);
            if (i % 3) {
                OBReal shade = 0;
                static_cast<ValuePercent*>(OBGetAttributeStore(made[i])->Find(AN::kCyan))
                    ->Get(shade);
                EXPECT_EQ(static_cast<double>(shade), i % 2 ? 0.25 : 0.5);
            }
            int tint = -1;
            auto* v =
                dynamic_cast<ValueInteger32*>(OBGetAttributeStore(made[i])->Find(AN::kTint, 2));
            ASSERT_NE(v, nullptr);
            v->Get(tint);
            EXPECT_EQ(tint, 2);
            ASSERT_EQ(made[i]->GetChildCount(), static_cast<unsigned long long>(i % 13));
        }
        std::thread other([&] {
            for (int i = 1; i < 300; i += 2)
                delete made[i];
        });
        for (int i = 298; i >= 0; i -= 2)
            delete made[i];
        other.join();
    };
    ArenaRounds(2, make, end);
}

// Stores of numbers, shapes and enumerations alone, in their block or past
// its room, stores given a value that holds memory, from a setter or from
// outside, streams, and names in the block that come to hold memory or go:
// deleted one by one, or as the children of one element, which ends them
// in line, every one gives back all it took.
TEST(StoredElements, StoresOfPlainValuesAndOthersGiveEverythingBack) {
    ConversionState state;
    const std::string longText(60, 'x');
    const unsigned char bytes[] = "stream";
    auto make = [&](OBElementArena& arena, std::vector<Element*>& made) {
        for (int i = 0; i < 200; ++i) {
            Element* e = RunWithTints(arena, 1 + i % 9);
            ASSERT_NE(e, nullptr);
            OBAttributeStore* store = OBGetAttributeStore(e);
            ASSERT_EQ(store->SetRect(AN::kBoundingBox, OBRect(0, 0, i, i)), 1);
            ASSERT_EQ(store->SetMember<ValueColorModelEnum>(AN::kModel, CME::kCMYK), 1);
            if (i % 4 == 1) {
                ASSERT_EQ(store->SetUtf8(AN::kName, longText.c_str()), 1);
            }
            if (i % 4 == 3) {
                ASSERT_EQ(store->SetInteger(AN::kTint, -1, 0), 1); // replaced
            }
            for (int n = 0; n < i % 5 - 2; ++n) // one stream, or a list of them
                ASSERT_EQ(store->SetStream(AN::kTextStream,
                                           OBStreamUtilRef::CreateBufferStreamRead(bytes, 6)),
                          1);
            made.push_back(e);
            // Four numbers that fit the room the kind learnt, and for
            // some a string from outside.
            Element* ink = OBCreateStoredElement(EL::kCMYK, &arena);
            ASSERT_NE(ink, nullptr);
            store = OBGetAttributeStore(ink);
            for (AN::AttrNameEnum a : {AN::kCyan, AN::kMagenta, AN::kYellow, AN::kBlack})
                ASSERT_EQ(store->SetPercent(a, 0.5), 1);
            if (i % 2) {
                Value* text = nullptr;
                ValueUtil::CreateValueString(WOBString(longText.c_str()), text);
                ASSERT_EQ(store->Set(AN::kName, text), 1);
            }
            made.push_back(ink);
            // A short name in the block, left alone, rendered in 8 bits,
            // made long, removed, replaced, or joined by another string.
            Element* color = OBCreateStoredElement(EL::kColor, &arena);
            ASSERT_NE(color, nullptr);
            store = OBGetAttributeStore(color);
            ASSERT_EQ(store->SetUtf8(AN::kName, "Black"), 1);
            auto* name = static_cast<ValueString*>(store->Find(AN::kName));
            COBString narrow;
            switch (i % 6) {
            case 1: // the rendering needs a text service, which goes with its thread
                std::thread([name, &narrow] {
                    OBLumHandler::SetLumService(new OBConvertorLumService);
                    name->Get(narrow);
                }).join();
                EXPECT_EQ(narrow.Length(), 5);
                break;
            case 2:
                name->Init(WOBString(longText.c_str()));
                break;
            case 3:
                EXPECT_EQ(store->Remove(AN::kName), 1);
                break;
            case 4:
                EXPECT_EQ(store->SetUtf8(AN::kName, longText.c_str()), 1);
                break;
            case 5:
                EXPECT_EQ(store->SetUtf8(AN::kModel, "Process"), 1);
                break;
            }
            made.push_back(color);
        }
    };
    auto end = [](std::vector<Element*>& made, int round) {
        if (round < 2) {
            for (Element* e : made)
                delete e;
        } else {
            Element* list = OBCreateStoredElement(EL::kColorList);
            ASSERT_NE(list, nullptr);
            for (Element* e : made)
                ASSERT_EQ(list->AddChild(e), 1);
            delete list;
        }
    };
    ArenaRounds(3, make, end);
}

// A run of percents set at once leaves a store as the same setters one at a
// time do: fresh attributes, ones set before, ones sharing a store's bit
// (132 and 164), a repeated one, more than the inline entries, and stores
// with or without room learnt for values.
TEST(StoredElements, PercentsSetTogetherMatchOneAtATime) {
    ConversionState state;
    const auto A = [](int attr) { return static_cast<AN::AttrNameEnum>(attr); };
    const std::vector<std::vector<AN::AttrNameEnum>> runs = {
        {AN::kCyan, AN::kMagenta, AN::kYellow, AN::kBlack},
        {AN::kRed, AN::kGreen, AN::kBlue},
        {AN::kCyan, A(164)},
        {AN::kCyan, AN::kCyan},
        {A(140), A(141), A(142), A(143), A(144), A(145)},
        {}};
    OBElementArena arena;
    for (int round = 0; round < 3; ++round)
        for (std::size_t r = 0; r < runs.size(); ++r)
            for (bool preset : {false, true}) {
                SCOPED_TRACE(std::to_string(round) + "/" + std::to_string(r));
                const auto& run = runs[r];
                std::vector<double> ratios;
                for (std::size_t i = 0; i < run.size(); ++i)
                    ratios.push_back(0.125 * static_cast<double>(i + 1 + round));
                Element* together = OBCreateStoredElement(EL::kCMYK, &arena);
                Element* apart = OBCreateStoredElement(EL::kCMYK, &arena);
                OBAttributeStore* a = OBGetAttributeStore(together);
                OBAttributeStore* b = OBGetAttributeStore(apart);
                if (preset && !run.empty()) {
                    ASSERT_EQ(a->SetPercent(run.back(), 0.9), 1);
                    ASSERT_EQ(b->SetPercent(run.back(), 0.9), 1);
                }
                short ok = 1;
                for (std::size_t i = 0; i < run.size(); ++i)
                    ok &= b->SetPercent(run[i], ratios[i]);
                EXPECT_EQ(a->SetPercents(run.data(), ratios.data(), static_cast<int>(run.size())),
                          ok);
                ASSERT_EQ(a->Count(), b->Count());
                for (int n = 0; n < a->Count(); ++n) {
                    auto attrA = static_cast<AN::AttrNameEnum>(-1);
                    auto attrB = static_cast<AN::AttrNameEnum>(-2);
                    int indexA = -1, indexB = -1;
                    OBReal got = -1, want = -2;
                    static_cast<ValuePercent*>(a->Nth(n, attrA, indexA))->Get(got);
                    static_cast<ValuePercent*>(b->Nth(n, attrB, indexB))->Get(want);
                    EXPECT_EQ(attrA, attrB);
                    EXPECT_EQ(indexA, indexB);
                    EXPECT_EQ(static_cast<double>(got), static_cast<double>(want));
                    EXPECT_EQ(a->Find(attrA) != nullptr, b->Find(attrB) != nullptr);
                }
                delete together;
                delete apart;
            }
}

// A kind's room follows what most of its elements need: one store with many
// attributes, as a style has, does not make every run after it as large.
TEST(StoredElements, OneLargeStoreDoesNotEnlargeTheElementsOfItsKindAfterIt) {
    ConversionState state;
    constexpr int kRuns = 2000;
    std::vector<Element*> made;
    long long bytes = 0;
    {
        OBElementArena arena;
        Element* style = OBCreateStoredElement(EL::kCharacterAttributes, &arena);
        ASSERT_NE(style, nullptr);
        made.push_back(style);
        for (int n = 0; n < 40; ++n)
            ASSERT_EQ(OBGetAttributeStore(style)->SetInteger(AN::kTint, n, n), 1);
        const long long before = ombra_test::Stats().bytes;
        for (int i = 0; i < kRuns; ++i) {
            Element* run = OBCreateStoredElement(EL::kCharacterAttributes, &arena);
            ASSERT_NE(run, nullptr);
            made.push_back(run);
            ASSERT_EQ(OBGetAttributeStore(run)->SetInteger(AN::kTint, i), 1);
        }
        bytes = ombra_test::Stats().bytes - before;
    }
    for (Element* e : made)
        delete e;
    EXPECT_LT(bytes / kRuns, 400) << "bytes per run with one attribute";
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
