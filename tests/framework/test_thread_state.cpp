// Releasing a thread's state before the thread ends: everything the core made
// for it goes back to the memory service, and the thread can start again.
#include <ombra/ombra.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/TestSupport.h"

namespace {

long long Outstanding() {
    ombra_test::AllocationStats& stats = ombra_test::Stats();
    return stats.allocations.load() - stats.releases.load();
}

// Uses every piece of per-thread state; true when the conversion worked.
bool UseTheCore() {
    OBErrorUtils::OBSetGlobalErrorCode(7, 1234);
    LocaleUtil::SetCurrentLocale(OBL::kJapanese);
    OBIDGenerator::Init();
    OBIDGenerator::GetID();
    ElementUtil::Init();
    OBLumHandler::SetLumService(new OBConvertorLumService);
    unsigned short units[4] = {};
    return OBLumHandler::GetLumService()->CharToTextChar("\x93\xFA\x96\x7B", 4, units, 4,
                                                         WSE::kJapaneseScript,
                                                         CPGE::kCodePageFromScript) == 2 &&
           units[0] == 0x65E5 && units[1] == 0x672C;
}

TEST(ThreadState, ReleasingGivesEverythingBackAndTheThreadCanStartAgain) {
    std::thread([] {
        long long before = Outstanding();
        ASSERT_TRUE(UseTheCore());
        EXPECT_GT(Outstanding(), before);

        OBReleaseThreadState();
        EXPECT_EQ(Outstanding(), before);
        EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 0);
        EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kEnglish);
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);

        // What the thread needs again is made anew; a second release is harmless.
        EXPECT_TRUE(UseTheCore());
        EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 7);
        OBReleaseThreadState();
        OBReleaseThreadState();
        EXPECT_EQ(Outstanding(), before);
    }).join();
}

} // namespace
