// Element identifiers: per-thread id counters, and id stacks and tables
// against models of them, with memory running out at every point.
#include <ombra/identifiers.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <thread>
#include <vector>

namespace {

using Ids = std::vector<unsigned int>;

// Runs `body` on a fresh thread, so every case starts without a counter.
template <class F> void OnFreshThread(F body) {
    std::thread worker(body);
    worker.join();
}

TEST(IDGenerator, CountsFromZeroPerThreadUntilReset) {
    OnFreshThread([] {
        EXPECT_EQ(OBIDGenerator::GetID(), kOBNoID); // never prepared
        ASSERT_EQ(OBIDGenerator::Init(), 1);
        EXPECT_EQ(OBIDGenerator::GetID(), 0u);
        EXPECT_EQ(OBIDGenerator::GetID(), 1u);
        std::thread other([] {
            OBIDGenerator::Init();
            EXPECT_EQ(OBIDGenerator::GetID(), 0u) << "each thread counts for itself";
        });
        other.join();
        ASSERT_EQ(OBIDGenerator::Init(), 1); // a second Init keeps counting
        EXPECT_EQ(OBIDGenerator::GetID(), 2u);
        OBIDGenerator::Reset();
        EXPECT_EQ(OBIDGenerator::GetID(), kOBNoID);
        OBIDGenerator::Reset(); // twice is harmless
        ASSERT_EQ(OBIDGenerator::Init(), 1);
        EXPECT_EQ(OBIDGenerator::GetID(), 0u);
    });
}

TEST(IDGenerator, CounterLivesOnTheMemoryService) {
    // A thread that ends without Reset still hands its counter back.
    auto& stats = ombra_test::Stats();
    long long releases = stats.releases;
    OnFreshThread([] { OBIDGenerator::Init(); });
    EXPECT_EQ(stats.releases, releases + 1);
    OnFreshThread([] {
        ombra_test::SweepAllocationFailures([] {
            bool ok = OBIDGenerator::Init() == 1;
            EXPECT_EQ(OBIDGenerator::GetID(), ok ? 0u : kOBNoID);
            OBIDGenerator::Reset();
            return ok;
        });
    });
}

// Random pushes, pops and copies against a vector; a push that finds no
// memory answers 0 and leaves the stack as it was.
bool StackFollowsItsModel(unsigned seed) {
    std::mt19937 rng(seed);
    OBIDStack stack;
    Ids model;
    for (int step = 0; step < 300; ++step) {
        unsigned int id = rng() % 20;
        unsigned int top = model.empty() ? kOBNoID : model.back();
        switch (rng() % 6) {
        case 0:
        case 1:
            if (stack.push(id) == 1) model.push_back(id);
            break;
        case 2:
            EXPECT_EQ(stack.pop(), top);
            if (!model.empty()) model.pop_back();
            break;
        case 3: {
            OBIDStack copy(stack); // all the ids, or none without memory
            EXPECT_TRUE(copy.size() == 0 || copy.capacity() == stack.size());
            OBIDStack target;
            target.push(id);
            long long held = target.size();
            target = stack; // takes the ids, or nothing changes without memory
            EXPECT_TRUE(target.size() == stack.size() || target.size() == held);
            EXPECT_TRUE(target.top() == stack.top() || target.size() == held);
            while (!copy.empty()) {
                unsigned int popped = copy.pop();
                EXPECT_EQ(popped, model[static_cast<std::size_t>(copy.size())]);
            }
            break;
        }
        case 4:
            EXPECT_EQ(stack.isPresent(id),
                      std::find(model.begin(), model.end(), id) != model.end() ? 1 : 0);
            break;
        default:
            if (rng() % 8 == 0) {
                stack.clear();
                model.clear();
            }
        }
        EXPECT_EQ(stack.size(), static_cast<long long>(model.size()));
        EXPECT_EQ(stack.top(), model.empty() ? kOBNoID : model.back());
        long long index = static_cast<long long>(rng() % 25) - 2;
        bool inside = index >= 0 && index < static_cast<long long>(model.size());
        EXPECT_EQ(stack.at(index), inside ? model[static_cast<std::size_t>(index)] : kOBNoID);
        if (::testing::Test::HasFailure()) return false;
    }
    return true;
}

TEST(IDStack, FollowsItsModelWhateverMemoryRemains) {
    for (unsigned seed = 1; seed <= 10; ++seed)
        ASSERT_TRUE(StackFollowsItsModel(seed));
    ombra_test::SweepAllocationFailures([] { return StackFollowsItsModel(3); });
}

// Random adds and deletes against a vector: Delete removes the first
// occurrence, and compacting drops the empty marker kOBNoID too.
bool TableFollowsItsModel(unsigned seed) {
    std::mt19937 rng(seed);
    OBIDTable table;
    Ids model;
    for (int step = 0; step < 400; ++step) {
        unsigned int id = rng() % 16 == 0 ? kOBNoID : rng() % 30;
        if (rng() % 3 != 0) {
            if (table.Add(id) == 1) model.push_back(id);
        } else {
            table.Delete(id);
            auto found = std::find(model.begin(), model.end(), id);
            if (found != model.end()) {
                model.erase(found);
                model.erase(std::remove(model.begin(), model.end(), kOBNoID), model.end());
            }
        }
        EXPECT_EQ(table.Count(), static_cast<int>(model.size()));
        EXPECT_GE(table.Capacity(), table.Count());
        for (int i = -1; i <= table.Count(); ++i)
            EXPECT_EQ(table.At(i), i >= 0 && i < table.Count() ? model[i] : kOBNoID);
        unsigned int probe = rng() % 30;
        EXPECT_EQ(table.Lookup(probe),
                  std::find(model.begin(), model.end(), probe) != model.end() ? 1 : 0);
        if (::testing::Test::HasFailure()) return false;
    }
    return true;
}

TEST(IDTable, FollowsItsModelWhateverMemoryRemains) {
    for (unsigned seed = 1; seed <= 5; ++seed)
        ASSERT_TRUE(TableFollowsItsModel(seed));
    ombra_test::SweepAllocationFailures([] { return TableFollowsItsModel(2); });
}

TEST(IDTable, AssignmentSharesTheBlock) {
    OBIDTable original;
    original.Add(1);
    original.Add(2);
    // Only one of two tables that share a block may be destroyed, so the
    // copies live in raw storage and are never destroyed.
    alignas(OBIDTable) unsigned char storage[2][sizeof(OBIDTable)];
    OBIDTable* shared = ::new (static_cast<void*>(storage[0])) OBIDTable;
    *shared = original;
    shared->Delete(1); // visible through the shared block
    EXPECT_EQ(original.At(0), 2u);

    // Assigning over a table with a block of its own hands that block back.
    OBIDTable* other = ::new (static_cast<void*>(storage[1])) OBIDTable;
    other->Add(7);
    long long releases = ombra_test::Stats().releases;
    *other = original;
    EXPECT_EQ(ombra_test::Stats().releases, releases + 1);
    EXPECT_EQ(other->Lookup(2), 1);
    EXPECT_EQ(other->Lookup(7), 0);
}

} // namespace
