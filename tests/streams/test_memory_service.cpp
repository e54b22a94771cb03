// The memory service, the memory helpers and the C-string functions.
#include <ombra/elements.h>
#include <ombra/memory.h>
#include <ombra/storedelements.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int gCustomAllocs = 0, gDefaultAllocs = 0, gCustomFrees = 0, gDefaultFrees = 0;
// An allocator pair that counts its calls in the counters given.
template <int* calls> void* Alloc(unsigned long long n) {
    ++*calls;
    return std::malloc(n);
}
template <int* calls> void Free(void* p) {
    ++*calls;
    std::free(p);
}

struct Counted {
    OB_MEMORY_OPERATORS
    int payload[4] = {1, 2, 3, 4};
};

TEST(MemoryService, DefaultPairIsUsedUntilSwitchedOff) {
    gCustomAllocs = gDefaultAllocs = gCustomFrees = gDefaultFrees = 0;
    OBMemoryService service(Alloc<&gCustomAllocs>, Free<&gCustomFrees>, Alloc<&gDefaultAllocs>,
                            Free<&gDefaultFrees>);
    EXPECT_EQ(service.GetDefault(), 1);
    service.DeAllocate(service.Allocate(16));
    EXPECT_EQ(gDefaultAllocs + gDefaultFrees, 2);
    service.SetDefault(0);
    service.DeAllocate(service.Allocate(16));
    EXPECT_EQ(gCustomAllocs + gCustomFrees, 2);

    OBMemoryService copy(nullptr, nullptr, nullptr, nullptr);
    copy = service;
    EXPECT_EQ(copy.GetDefault(), 0);
    copy.DeAllocate(copy.Allocate(8));
    EXPECT_EQ(gCustomAllocs, 2);
}

TEST(MemoryService, LibraryObjectsComeFromTheInstalledServiceOrAreNull) {
    auto& stats = ombra_test::Stats();
    long long before = stats.allocations, freed = stats.releases;
    Counted* c = new Counted;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(stats.allocations, before + 1);
    EXPECT_EQ(stats.lastSize, sizeof(Counted));
    delete c;
    EXPECT_EQ(stats.releases, freed + 1);
    Counted* array = new Counted[3];
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array[2].payload[3], 4);
    delete[] array;
    EXPECT_EQ(stats.releases, freed + 2);

    ombra_test::WithoutMemoryService none;
    EXPECT_NO_THROW(c = new Counted);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(OBLibAllocate(10), nullptr);
    OBLibFree(nullptr); // releasing null is harmless
}

// Emptied element slabs wait for the next arena of the service they came
// from; deleting a service gives every one kept back to its own service.
TEST(MemoryService, KeptElementSlabsServeAndGoBackToTheirOwnService) {
    auto build = [] {
        OBElementArena arena;
        std::vector<Element*> made;
        for (int i = 0; i < 400; ++i)
            made.push_back(OBCreateStoredElement(EL::kParagraphRun, &arena));
        for (Element* e : made)
            delete e;
    };
    delete new OBMemoryService(nullptr, nullptr, nullptr, nullptr); // none kept from here on
    OBMemoryService* installed = OBMemoryHandler::GetMemoryService();
    gCustomAllocs = gCustomFrees = 0;
    auto* mine = new OBMemoryService(nullptr, nullptr, Alloc<&gCustomAllocs>, Free<&gCustomFrees>);
    OBMemoryHandler::SetMemoryService(mine);
    build();
    const int kept = gCustomAllocs - gCustomFrees; // none when each element has a block
    build();                                       // on the kept slabs
    EXPECT_EQ(gCustomAllocs - gCustomFrees, kept);
    OBMemoryHandler::SetMemoryService(installed);
    build(); // not on this service's slabs
    delete mine;
    EXPECT_EQ(gCustomAllocs, gCustomFrees);
}

TEST(MemoryHelpers, NullArgumentsNeverFault) {
    char buffer[8] = "abcdefg";
    EXPECT_EQ(OBMemset(nullptr, 0, 4), nullptr);
    EXPECT_EQ(OBMemcmp(nullptr, buffer, 4), 0);
    EXPECT_EQ(OBMemcmp(buffer, nullptr, 4), 1);
    EXPECT_EQ(OBMemchr(nullptr, 'a', 4), nullptr);
    EXPECT_EQ(OBMemcpy(nullptr, buffer, 4), nullptr);
    OBMemmove(nullptr, buffer, 4);

    EXPECT_EQ(OBMemcpy(buffer, nullptr, 4), buffer);
    EXPECT_EQ(std::memcmp(buffer, "\0\0\0\0efg", 8), 0);
    std::strcpy(buffer, "abcdefg");
    OBMemmove(buffer + 2, nullptr, 2);
    EXPECT_EQ(std::memcmp(buffer, "ab\0\0efg", 8), 0);
    std::strcpy(buffer, "abcdefg");
    OBMemmove(buffer + 1, buffer, 4); // overlapping
    EXPECT_STREQ(buffer, "aabcdfg");
}

TEST(CStrings, BoundedCopiesAndNullArguments) {
    char b8[8] = "abcdef";
    EXPECT_STREQ(OBStrlcat(b8, "xyz", 8), "abcdefx");
    EXPECT_STREQ(OBStrlcat(b8, "q", 8), "abcdefx"); // already full: unchanged
    char one[4] = "zzz";
    EXPECT_STREQ(OBStrlcpy(one, "hello", 1), "");
    char keep[4] = "abc";
    OBStrlcpy(keep, "x", 0);
    OBStrlcat(keep, nullptr, 4);
    EXPECT_STREQ(keep, "abc");
    EXPECT_EQ(OBStrcpy(nullptr, "z"), nullptr);
    EXPECT_EQ(OBStrcpy(keep, nullptr), keep);
    EXPECT_EQ(OBStrlen(nullptr), 0u);

    // A null first string compares as 0, a null second one as 1; bytes compare
    // unsigned and results are -1, 0 or 1.
    EXPECT_EQ(OBStrcmp(nullptr, "a"), 0);
    EXPECT_EQ(OBStrcmp("a", nullptr), 1);
    EXPECT_EQ(OBStrcmp("\xE9", "a"), 1);
    EXPECT_EQ(OBStrcmp("abc", "abd"), -1);
    EXPECT_TRUE(OBStrequal(nullptr, nullptr));
    EXPECT_FALSE(OBStrequal(nullptr, "a"));
    EXPECT_EQ(OBStrcasecmp("a", "C"), 'A' - 'C');
    EXPECT_EQ(OBStrcasecmp("x", nullptr), 1);
    EXPECT_EQ(OBStrncmp(nullptr, "a", 1), 0);
    EXPECT_EQ(OBStrchr(nullptr, '/'), nullptr);
    EXPECT_EQ(OBStrstr(nullptr, "b"), nullptr);
    EXPECT_EQ(OBStrstr("a/b", nullptr), nullptr);
}

TEST(CStrings, FormattedPrinting) {
    char four[4];
    EXPECT_EQ(OBSnprintf(four, 4, "%d", 12345), 3);
    EXPECT_STREQ(four, "123");
    char* out = nullptr;
    EXPECT_EQ(OBAsprintf(nullptr, "%d", 1), -1);
    std::string longest(15998, 'x');
    EXPECT_EQ(OBAsprintf(&out, "%s", longest.c_str()), 15998);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::strlen(out), 15998u);
    std::free(out);
    std::string tooLong(15999, 'x');
    out = reinterpret_cast<char*>(1);
    EXPECT_EQ(OBAsprintf(&out, "%s", tooLong.c_str()), -1);
    EXPECT_EQ(out, nullptr);
}

} // namespace
