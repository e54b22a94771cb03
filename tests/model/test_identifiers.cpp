// Element identifiers: per-thread id counters, id stacks and id tables.
#include <ombra/identifiers.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

// Runs `body` on a fresh thread, so every case starts without a counter.
template <class F> void OnFreshThread(F body) {
    std::thread worker(body);
    worker.join();
}

// ---------------------------------------------------------------- OBIDGenerator

TEST(IDGenerator, CountsFromZeroUntilReset) {
    OnFreshThread([] {
        EXPECT_EQ(OBIDGenerator::GetID(), kOBNoID); // never prepared
        ASSERT_EQ(OBIDGenerator::Init(), 1);
        EXPECT_EQ(OBIDGenerator::GetID(), 0u);
        EXPECT_EQ(OBIDGenerator::GetID(), 1u);
        EXPECT_EQ(OBIDGenerator::GetID(), 2u);
        ASSERT_EQ(OBIDGenerator::Init(), 1); // a second Init keeps counting
        EXPECT_EQ(OBIDGenerator::GetID(), 3u);
        OBIDGenerator::Reset();
        EXPECT_EQ(OBIDGenerator::GetID(), kOBNoID);
        OBIDGenerator::Reset(); // twice is harmless
        ASSERT_EQ(OBIDGenerator::Init(), 1);
        EXPECT_EQ(OBIDGenerator::GetID(), 0u);
    });
}

TEST(IDGenerator, EachThreadHasItsOwnCounter) {
    // Both threads prepare their counters before either takes an id.
    std::mutex lock;
    std::condition_variable ready;
    int prepared = 0;
    std::vector<unsigned int> ids[2];
    auto work = [&](int which) {
        OBIDGenerator::Init();
        std::unique_lock<std::mutex> guard(lock);
        ++prepared;
        ready.notify_all();
        ready.wait(guard, [&] { return prepared == 2; });
        for (int i = 0; i < 3; ++i)
            ids[which].push_back(OBIDGenerator::GetID());
    };
    std::thread first(work, 0), second(work, 1);
    first.join();
    second.join();
    EXPECT_EQ(ids[0], (std::vector<unsigned int>{0, 1, 2}));
    EXPECT_EQ(ids[1], ids[0]);
}

TEST(IDGenerator, CounterLivesOnTheMemoryService) {
    // A thread that ends without Reset still hands its counter back.
    auto& stats = ombra_test::Stats();
    long long releases = stats.releases;
    OnFreshThread([] { OBIDGenerator::Init(); });
    EXPECT_EQ(stats.releases, releases + 1);

    OnFreshThread([] {
        {
            ombra_test::FailAllocationsAfter fail(0);
            EXPECT_EQ(OBIDGenerator::Init(), 0);
        }
        EXPECT_EQ(OBIDGenerator::GetID(), kOBNoID);
        EXPECT_EQ(OBIDGenerator::Init(), 1);
        EXPECT_EQ(OBIDGenerator::GetID(), 0u);
    });
}

// ---------------------------------------------------------------- OBIDStack

TEST(IDStack, LastInFirstOut) {
    OBIDStack stack;
    EXPECT_EQ(stack.top(), kOBNoID);
    for (unsigned int id : {1u, 2u, 3u})
        EXPECT_EQ(stack.push(id), 1);
    EXPECT_EQ(stack.at(0), 1u);
    EXPECT_EQ(stack.at(3), kOBNoID);
    EXPECT_EQ(stack.pop(), 3u);
    EXPECT_EQ(stack.pop(), 2u);
    EXPECT_EQ(stack.pop(), 1u);
    EXPECT_EQ(stack.pop(), kOBNoID);
    EXPECT_EQ(stack.size(), 0);
    EXPECT_EQ(stack.top(), kOBNoID);
    EXPECT_EQ(stack.push(9), 1); // still usable after underflow
    EXPECT_EQ(stack.top(), 9u);
}

TEST(IDStack, GrowsByEightOneSlotEarly) {
    OBIDStack stack;
    EXPECT_EQ(stack.capacity(), 0);
    EXPECT_EQ(stack.chunkSize(), 8);
    std::vector<long long> capacities;
    for (unsigned int id = 0; id < 16; ++id) {
        stack.push(id);
        capacities.push_back(stack.capacity());
    }
    // Pushes 1-7 fit the first 8 slots; the 8th (7 on the stack) grows to 15;
    // the 15th (14 on the stack) grows to 22.
    std::vector<long long> expected = {8, 8, 8, 8, 8, 8, 8, 15, 15, 15, 15, 15, 15, 15, 22, 22};
    EXPECT_EQ(capacities, expected);
    for (unsigned int id = 0; id < 16; ++id)
        EXPECT_EQ(stack.at(id), id);

    EXPECT_EQ(stack.isPresent(7), 1);
    EXPECT_EQ(stack.isPresent(16), 0);
    stack.clear();
    EXPECT_EQ(stack.capacity(), 0);
    EXPECT_EQ(stack.isPresent(0), 0);
}

TEST(IDStack, CopiesTakeExactlyTheirIds) {
    OBIDStack stack;
    for (unsigned int id : {10u, 20u, 30u})
        stack.push(id);
    OBIDStack copy(stack);
    EXPECT_EQ(copy.capacity(), 3);
    EXPECT_EQ(copy.pop(), 30u);
    EXPECT_EQ(stack.top(), 30u); // deep
    copy.push(31);               // 2 on a 3-slot block: grows to 2 + 8
    EXPECT_EQ(copy.capacity(), 10);

    OBIDStack assigned;
    assigned.push(1);
    assigned = stack;
    EXPECT_EQ(assigned.capacity(), 3);
    EXPECT_EQ(assigned.top(), 30u);
    const OBIDStack& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.size(), 3);
    // Equal contents: nothing happens, not even a reallocation.
    OBIDStack same;
    for (unsigned int id : {10u, 20u, 30u})
        same.push(id);
    same = stack;
    EXPECT_EQ(same.capacity(), 8);
}

TEST(IDStack, FailedAllocationLeavesTheStackUnchanged) {
    OBIDStack stack;
    for (unsigned int id = 0; id < 7; ++id)
        stack.push(id);
    {
        ombra_test::FailAllocationsAfter fail(0);
        EXPECT_EQ(stack.push(7), 0); // would grow
        EXPECT_EQ(stack.size(), 7);
        EXPECT_EQ(stack.top(), 6u);
        OBIDStack fresh;
        EXPECT_EQ(fresh.push(1), 0);
        OBIDStack copy(stack);
        EXPECT_EQ(copy.size(), 0);
        OBIDStack target;
        target = stack;
        EXPECT_EQ(target.size(), 0);
        EXPECT_EQ(new OBIDStack, nullptr);
    }
    EXPECT_EQ(stack.push(7), 1);
    EXPECT_EQ(stack.at(7), 7u);
}

// ---------------------------------------------------------------- OBIDTable

TEST(IDTable, StartsAtAHundredAndDoubles) {
    OBIDTable table;
    EXPECT_EQ(table.Capacity(), 0);
    table.Add(0);
    EXPECT_EQ(table.Capacity(), 100);
    for (unsigned int id = 1; id < 100; ++id)
        table.Add(id);
    EXPECT_EQ(table.Capacity(), 100);
    table.Add(100);
    EXPECT_EQ(table.Capacity(), 200);
    for (unsigned int id = 101; id < 201; ++id)
        table.Add(id);
    EXPECT_EQ(table.Capacity(), 400);
    for (unsigned int id = 0; id < 201; ++id)
        ASSERT_EQ(table.At(id), id);
    EXPECT_EQ(table.Lookup(201), 0);
    EXPECT_EQ(table.At(201), kOBNoID);
    EXPECT_EQ(table.At(-1), kOBNoID);
}

TEST(IDTable, DeleteRemovesTheFirstOccurrenceAndCompacts) {
    OBIDTable table;
    for (unsigned int id : {5u, 7u, 5u, 9u})
        table.Add(id);
    table.Delete(5);
    table.Delete(42); // not a member
    EXPECT_EQ(table.Count(), 3);
    EXPECT_EQ(table.Lookup(5), 1); // the second 5 is still there
    EXPECT_EQ(table.At(0), 7u);
    EXPECT_EQ(table.At(1), 5u);

    // The empty marker can be added; the next compaction drops it.
    table.Add(kOBNoID);
    table.Add(11);
    EXPECT_EQ(table.Count(), 5);
    table.Delete(7);
    EXPECT_EQ(table.Count(), 3);
    EXPECT_EQ(table.At(2), 11u);
    EXPECT_EQ(table.Lookup(kOBNoID), 0);
}

TEST(IDTable, FailedAllocationLeavesTheTableUnchanged) {
    OBIDTable table;
    {
        ombra_test::FailAllocationsAfter fail(0);
        EXPECT_EQ(table.Add(1), 0);
        EXPECT_EQ(table.Count(), 0);
    }
    for (unsigned int id = 0; id < 100; ++id)
        ASSERT_EQ(table.Add(id), 1);
    {
        ombra_test::FailAllocationsAfter fail(0);
        EXPECT_EQ(table.Add(100), 0);
        EXPECT_EQ(table.Count(), 100);
        EXPECT_EQ(table.Lookup(99), 1);
    }
    EXPECT_EQ(table.Add(100), 1);
    EXPECT_EQ(table.Capacity(), 200);
}

TEST(IDTable, AssignmentSharesTheBlock) {
    OBIDTable original;
    original.Add(1);
    original.Add(2);
    // Only one of two tables that share a block may be destroyed, so the
    // copy lives in raw storage and is never destroyed.
    alignas(OBIDTable) unsigned char storage[sizeof(OBIDTable)];
    OBIDTable* shared = ::new (static_cast<void*>(storage)) OBIDTable;
    *shared = original;
    EXPECT_EQ(shared->Lookup(2), 1);
    shared->Delete(1); // visible through the shared block
    EXPECT_EQ(original.At(0), 2u);

    // Assigning over a table with a block of its own hands that block back.
    auto& stats = ombra_test::Stats();
    alignas(OBIDTable) unsigned char storage2[sizeof(OBIDTable)];
    OBIDTable* other = ::new (static_cast<void*>(storage2)) OBIDTable;
    other->Add(7);
    long long releases = stats.releases;
    *other = original;
    EXPECT_EQ(stats.releases, releases + 1);
    EXPECT_EQ(other->Lookup(2), 1);
    EXPECT_EQ(other->Lookup(7), 0);
}

} // namespace
