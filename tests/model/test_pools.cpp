// Value pools: one registry slot per supported size, chunk growth, reuse.
#include <ombra/pools.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

namespace {

TEST(ValuePools, LookupBySize) {
    IPool* p24 = OBGetValuePool(24);
    ASSERT_NE(p24, nullptr);
    EXPECT_NE(p24, OBGetValuePool(40));
    EXPECT_EQ(OBGetValuePool(24), p24);
    for (std::size_t unsupported : {0, 8, 72, 84, 148, 1000}) {
        EXPECT_EQ(OBGetValuePool(unsupported), nullptr) << unsupported;
        EXPECT_EQ(OBValuePoolAllocate(unsupported), nullptr) << unsupported;
    }
    for (std::size_t n = 0; n <= 200; ++n)
        EXPECT_EQ(OBGetValuePool(n) != nullptr, OBIsPooledSize(n)) << n;
}

TEST(ValuePools, ReleasedBlockIsReused) {
    IPool* pool = OBGetValuePool(40);
    void* a = pool->malloc();
    pool->free(a);
    void* b = pool->malloc();
    EXPECT_EQ(a, b);
    pool->free(b);
    pool->free(nullptr);
    // So through the thread's cache.
    a = OBValuePoolAllocate(40);
    ASSERT_NE(a, nullptr);
    OBValuePoolRelease(a, 40);
    EXPECT_EQ(OBValuePoolAllocate(40), a);
    OBValuePoolRelease(a, 40);
    OBValuePoolRelease(nullptr, 40);
}

TEST(ValuePools, ExhaustedMemoryGivesNullBlock) {
    OBGetValuePool(100)->purge();
    IPool* pool = OBGetValuePool(128);
    pool->purge();
    ombra_test::FailAllocationsAfter fail(0);
    EXPECT_EQ(pool->malloc(), nullptr);
    EXPECT_EQ(OBValuePoolAllocate(100), nullptr);
}

TEST(ValuePools, ConcurrentAllocationsReceiveDistinctBlocks) {
    IPool* pool = OBGetValuePool(28);
    std::vector<void*> blocks(1000);
    auto take = [&](std::size_t from) {
        for (std::size_t i = from; i < from + 500; ++i)
            blocks[i] = pool->malloc();
    };
    std::thread t1(take, 0), t2(take, 500);
    t1.join();
    t2.join();
    std::set<void*> all(blocks.begin(), blocks.end());
    EXPECT_EQ(all.size(), blocks.size());
    EXPECT_EQ(all.count(nullptr), 0u);
    for (void* p : blocks)
        pool->free(p);
}

// The second round takes back what the first one's releases handed on from
// the thread's cache (whole batches; single blocks for the smallest size).
TEST(ValuePoolCache, ManyLiveBlocksAreDistinctAndSurviveReuse) {
    for (std::size_t size : {12, 24, 144}) {
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(testing::Message() << size << " bytes, round " << round);
            std::vector<void*> blocks;
            for (int i = 0; i < 1000; ++i) {
                void* p = OBValuePoolAllocate(size);
                ASSERT_NE(p, nullptr);
                std::memset(p, i & 0xFF, size);
                blocks.push_back(p);
            }
            std::set<void*> distinct(blocks.begin(), blocks.end());
            EXPECT_EQ(distinct.size(), blocks.size());
            for (int i = 0; i < 1000; ++i)
                EXPECT_EQ(static_cast<unsigned char*>(blocks[i])[size - 1], i & 0xFF);
            for (void* p : blocks)
                OBValuePoolRelease(p, size);
        }
    }
}

TEST(ValuePoolCache, BlocksCrossThreadsAndReturnWhenAThreadEnds) {
    std::vector<void*> made(100);
    std::thread maker([&] {
        for (auto& p : made)
            p = OBValuePoolAllocate(52);
    });
    maker.join();
    // Released on another thread than the one that took them.
    std::thread releaser([&] {
        for (void* p : made)
            OBValuePoolRelease(p, 52);
    });
    releaser.join();
    // The ended thread's cache went back to the shared pool.
    IPool* pool = OBGetValuePool(52);
    std::vector<void*> taken(200);
    for (void*& p : taken)
        p = pool->malloc();
    std::set<void*> returned(taken.begin(), taken.end());
    for (void* p : made)
        EXPECT_EQ(returned.count(p), 1u);
    for (void* p : taken)
        pool->free(p);
}

TEST(ValuePoolCache, PurgeDropsCachedBlocksSafely) {
    void* a = OBValuePoolAllocate(96);
    ASSERT_NE(a, nullptr);
    OBValuePoolRelease(a, 96); // now cached by this thread
    {
        OBMemoryService transient(nullptr, nullptr, nullptr, nullptr); // empties the pools
    }
    void* b = OBValuePoolAllocate(96); // from a fresh chunk, not the dropped cache
    ASSERT_NE(b, nullptr);
    std::memset(b, 0xAB, 96);
    OBValuePoolRelease(b, 96);
}

std::atomic<long long> gOwnBlocks{0};
void* OwnAllocate(unsigned long long size) {
    ++gOwnBlocks;
    return std::malloc(size);
}
void OwnRelease(void* block) {
    --gOwnBlocks;
    std::free(block);
}

TEST(ValuePools, AServiceGetsBackItsPoolMemoryWhateverTheOrderOfTeardown) {
    OBMemoryService* installed = OBMemoryHandler::GetMemoryService();
    // 0: uninstalled, then deleted; 1: deleted while another is installed;
    // 2: deleted while installed.
    for (int order = 0; order < 3; ++order) {
        SCOPED_TRACE(order);
        OBMemoryService* own =
            new OBMemoryService(OwnAllocate, OwnRelease, OwnAllocate, OwnRelease);
        OBMemoryHandler::SetMemoryService(own);
        IPool* pool = OBGetValuePool(52);
        ASSERT_NE(pool, nullptr);
        pool->purge();
        void* block = pool->malloc(); // a chunk (and perhaps the handle) from own
        ASSERT_NE(block, nullptr);
        pool->free(block);
        EXPECT_GT(gOwnBlocks.load(), 0);
        OBMemoryHandler::SetMemoryService(order == 0 ? nullptr : installed);
        if (order == 2) OBMemoryHandler::SetMemoryService(own);
        delete own;
        EXPECT_EQ(gOwnBlocks.load(), 0);
        EXPECT_EQ(OBMemoryHandler::GetMemoryService(), order == 1 ? installed : nullptr);
        OBMemoryHandler::SetMemoryService(installed);
    }
    void* again = OBValuePoolAllocate(52); // the pools come back on demand
    ASSERT_NE(again, nullptr);
    OBValuePoolRelease(again, 52);
}

} // namespace
