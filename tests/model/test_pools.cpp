// Value pools: one registry slot per supported size, chunk growth, reuse.
#include <ombra/pools.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

namespace {

TEST(ValuePools, LookupBySize) {
    IPool* p24 = OBGetValuePool(24);
    IPool* p40 = OBGetValuePool(40);
    ASSERT_NE(p24, nullptr);
    ASSERT_NE(p40, nullptr);
    EXPECT_NE(p24, p40);
    EXPECT_EQ(OBGetValuePool(24), p24);
    for (std::size_t unsupported : {0, 8, 11, 13, 72, 84, 148, 1000})
        EXPECT_EQ(OBGetValuePool(unsupported), nullptr) << unsupported;
    int supported = 0;
    for (std::size_t n = 0; n <= 200; ++n)
        if (OBGetValuePool(n)) {
            ++supported;
            EXPECT_TRUE(OBIsPooledSize(n));
        }
    EXPECT_EQ(supported, 21);
}

TEST(ValuePools, ReleasedBlockIsReused) {
    IPool* pool = OBGetValuePool(40);
    void* a = pool->malloc();
    pool->free(a);
    void* b = pool->malloc();
    EXPECT_EQ(a, b);
    pool->free(b);
    pool->free(nullptr);
}

TEST(ValuePools, ChunksStartAt32BlocksAndDouble) {
    IPool* pool = OBGetValuePool(144);
    pool->purge();
    auto& stats = ombra_test::Stats();
    long long before = stats.allocations;
    std::vector<void*> blocks;
    for (int i = 0; i < 32; ++i) blocks.push_back(pool->malloc());
    EXPECT_EQ(stats.allocations, before + 1); // one chunk of 32
    unsigned long long firstChunk = stats.lastSize;
    EXPECT_GE(firstChunk, 32u * 144u);
    blocks.push_back(pool->malloc()); // the 33rd
    EXPECT_EQ(stats.allocations, before + 2);
    EXPECT_GE(stats.lastSize, 64u * 144u);
    EXPECT_LT(stats.lastSize, 65u * 144u);
    std::set<void*> distinct(blocks.begin(), blocks.end());
    EXPECT_EQ(distinct.size(), blocks.size());
    long long releases = stats.releases;
    pool->purge(); // chunks go back to the service at once
    EXPECT_EQ(stats.releases, releases + 2);
    blocks.clear();
    before = stats.allocations;
    void* again = pool->malloc();
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(stats.allocations, before + 1);
    EXPECT_LT(stats.lastSize, 33u * 144u); // back to a chunk of 32
    pool->free(again);
}

TEST(ValuePools, ExhaustedMemoryGivesNullBlock) {
    IPool* pool = OBGetValuePool(128);
    pool->purge();
    ombra_test::FailAllocationsAfter fail(0);
    EXPECT_EQ(pool->malloc(), nullptr);
}

TEST(ValuePools, ConcurrentAllocationsReceiveDistinctBlocks) {
    IPool* pool = OBGetValuePool(28);
    const int perThread = 500;
    std::vector<void*> a(perThread), b(perThread);
    std::thread t1([&] { for (auto& p : a) p = pool->malloc(); });
    std::thread t2([&] { for (auto& p : b) p = pool->malloc(); });
    t1.join();
    t2.join();
    std::set<void*> all(a.begin(), a.end());
    all.insert(b.begin(), b.end());
    EXPECT_EQ(all.size(), 2u * perThread);
    EXPECT_EQ(all.count(nullptr), 0u);
    for (void* p : a) pool->free(p);
    for (void* p : b) pool->free(p);
}

} // namespace
