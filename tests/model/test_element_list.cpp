// ElementList: the growable array of Element pointers behind every child list.
#include <ombra/elements.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

class ElementListTest : public ::testing::Test {
protected:
    ombra_test::ConversionState state_;
    Element items_[40];

    Element* E(int i) { return &items_[i]; }

    // A list holding items first .. first + n - 1, appended one by one.
    void Fill(ElementList& list, int n, int first = 0) {
        for (int i = 0; i < n; ++i)
            list.Append(E(first + i));
    }

    // The list's contents as item numbers (-1 for a pointer not in items_).
    std::vector<int> Items(const ElementList& list) {
        std::vector<int> out;
        for (long long i = 0; i < list.size(); ++i) {
            long long k = list[i] - items_;
            out.push_back(k >= 0 && k < 40 ? static_cast<int>(k) : -1);
        }
        return out;
    }
    static std::vector<int> V(std::initializer_list<int> v) { return v; }
};

// ---------------------------------------------------------------- capacities

TEST_F(ElementListTest, ConstructionFixesChunkAndCapacity) {
    ElementList plain;
    EXPECT_EQ(plain.ChunkSize(), 8);
    EXPECT_EQ(plain.Capacity(), 0);
    EXPECT_EQ(plain.empty(), 1);

    ElementList zero(0);
    EXPECT_EQ(zero.ChunkSize(), 8);
    EXPECT_EQ(zero.Capacity(), 0);
    zero.Append(E(0));
    EXPECT_EQ(zero.Capacity(), 8);

    ElementList five(5);
    EXPECT_EQ(five.ChunkSize(), 5);
    EXPECT_EQ(five.Capacity(), 5);

    ElementList negative(-3);
    EXPECT_EQ(negative.ChunkSize(), 8);
    EXPECT_EQ(negative.Capacity(), 0);

    EXPECT_EQ(plain.max_size(), 2305843009213693951LL);
}

TEST_F(ElementListTest, AppendGrowsLinearlyByTheChunk) {
    ElementList list;
    std::vector<long long> capacities;
    for (int i = 0; i < 20; ++i) {
        list.Append(E(i));
        capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities[7], 8);
    EXPECT_EQ(capacities[8], 16);
    EXPECT_EQ(capacities[16], 24);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(list[i], E(i));

    list.SetChunkSize(3);
    list.SetChunkSize(0); // ignored
    list.SetChunkSize(-2);
    EXPECT_EQ(list.ChunkSize(), 3);
    Fill(list, 5, 20); // 25 fits into 24 + 3
    EXPECT_EQ(list.Capacity(), 27);

    ElementList custom(2);
    Fill(custom, 5);
    EXPECT_EQ(custom.Capacity(), 6); // 2, 4, 6
}

TEST_F(ElementListTest, InsertGrowsByTheLargerOfCountAndChunk) {
    std::vector<const Element*> many;
    for (int i = 10; i < 30; ++i)
        many.push_back(E(i));

    ElementList full;
    Fill(full, 8);
    full.Insert(many.data(), many.data() + 20, 3);
    EXPECT_EQ(full.Capacity(), 28);
    std::vector<int> expected = {0, 1, 2};
    for (int i = 10; i < 30; ++i)
        expected.push_back(i);
    for (int i = 3; i < 8; ++i)
        expected.push_back(i);
    EXPECT_EQ(Items(full), expected);

    ElementList small;
    Fill(small, 8);
    small.Insert(many.data(), many.data() + 3, 8);
    EXPECT_EQ(small.Capacity(), 16);
    EXPECT_EQ(Items(small), V({0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12}));

    // With room to spare the block stays and the tail moves up in place.
    Element** block = small.begin();
    small.Insert(E(39), 1, 2);
    EXPECT_EQ(small.begin(), block);
    EXPECT_EQ(small.Capacity(), 16);
    EXPECT_EQ(Items(small), V({0, 39, 39, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12}));
}

TEST_F(ElementListTest, StorageNeverShrinksByItself) {
    ElementList list;
    Fill(list, 12);
    list.Remove(0, 10);
    list.Clear();
    EXPECT_EQ(list.size(), 0);
    EXPECT_EQ(list.Capacity(), 16);

    Fill(list, 3);
    list.Shrink(0);
    EXPECT_EQ(list.Capacity(), 3);
    EXPECT_EQ(Items(list), V({0, 1, 2}));
    list.Clear();
    list.Shrink(0);
    EXPECT_EQ(list.begin(), nullptr);

    EXPECT_EQ(list.Preallocate(5), 1);
    EXPECT_EQ(list.Preallocate(2), 1); // already room
    EXPECT_EQ(list.Capacity(), 5);
}

// ---------------------------------------------------------------- inserting and appending

TEST_F(ElementListTest, InsertsActOnlyInsideTheList) {
    ElementList list;
    Fill(list, 3);
    list.Insert(E(9), -1);
    list.Insert(E(9), 4);
    list.Insert(E(9), 1, 0);
    list.Insert(E(9), 1, -2);
    EXPECT_EQ(Items(list), V({0, 1, 2}));

    list.Insert(E(9));
    EXPECT_EQ(Items(list), V({9, 0, 1, 2}));
    list.Insert(E(8), 4); // at count: appends
    EXPECT_EQ(Items(list), V({9, 0, 1, 2, 8}));
    list.Insert(E(7), 2, 3);
    EXPECT_EQ(Items(list), V({9, 0, 7, 7, 7, 1, 2, 8}));

    const Element* none[] = {E(5)};
    list.Insert(none, none, 0); // an empty range
    list.Insert(none + 1, none, 0);
    EXPECT_EQ(list.size(), 8);
}

TEST_F(ElementListTest, InsertRangeFromTheListItself) {
    ElementList list;
    Fill(list, 5);
    list.Preallocate(20);
    // In place: the source slots move while the tail moves up.
    list.Insert(list.begin() + 1, list.begin() + 4, 2);
    EXPECT_EQ(Items(list), V({0, 1, 1, 2, 3, 2, 3, 4}));

    ElementList full;
    Fill(full, 8);
    full.Insert(full.begin(), full.end(), 8); // grows: read from the old block
    EXPECT_EQ(Items(full), V({0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7}));

    ElementList one;
    Fill(one, 2);
    one.Insert(one[1], 0, 3); // an element taken from a slot that moves
    EXPECT_EQ(Items(one), V({1, 1, 1, 0, 1}));
    one.Append(one[0]);
    EXPECT_EQ(Items(one), V({1, 1, 1, 0, 1, 1}));
}

TEST_F(ElementListTest, AppendAfterAnIndex) {
    ElementList list;
    Fill(list, 5);
    list.Append(E(9), 1);
    EXPECT_EQ(Items(list), V({0, 1, 9, 2, 3, 4}));
    list.Append(E(8), 5);
    list.Append(E(7), 99);
    EXPECT_EQ(Items(list), V({0, 1, 9, 2, 3, 4, 8, 7}));
    list.Append(E(6), -1);
    EXPECT_EQ(list[0], E(6));
    list.Append(E(5), -7); // before the start: nothing
    EXPECT_EQ(list.size(), 9);
}

// ---------------------------------------------------------------- removing, replacing, finding

TEST_F(ElementListTest, RemoveRules) {
    ElementList list;
    Fill(list, 3);
    list.Remove(7); // at or past the end drops the last slot
    EXPECT_EQ(Items(list), V({0, 1}));
    list.Remove(-1); // a negative index removes nothing
    EXPECT_EQ(Items(list), V({0, 1}));
    list.Remove(0);
    list.Remove(0);
    list.Remove(0); // empty: nothing
    EXPECT_EQ(list.size(), 0);

    ElementList five;
    Fill(five, 5);
    five.Remove(1, 3);
    EXPECT_EQ(Items(five), V({0, 3, 4}));
    five.Remove(2, 1); // reversed range: nothing
    five.Remove(1, 9); // past the end: nothing
    five.Remove(-1, 1);
    EXPECT_EQ(Items(five), V({0, 3, 4}));
    five.Remove(1, 3); // up to the last slot
    EXPECT_EQ(Items(five), V({0}));
}

TEST_F(ElementListTest, ReplaceLocateAndSort) {
    ElementList list;
    Fill(list, 4);
    list.Replace(2, E(9));
    list.Replace(4, E(8)); // outside: nothing
    list.Replace(-1, E(8));
    EXPECT_EQ(Items(list), V({0, 1, 9, 3}));
    list.Append(E(9));
    EXPECT_EQ(list.Location(E(9)), 2);
    EXPECT_EQ(list.Location(E(8)), -1);
    EXPECT_EQ(list.Last(), E(9));

    // The comparison receives pointers to slots.
    list.Sort([](const void* a, const void* b) {
        const Element* x = *static_cast<Element* const*>(a);
        const Element* y = *static_cast<Element* const*>(b);
        return x->GetId() < y->GetId() ? 1 : (x->GetId() > y->GetId() ? -1 : 0);
    });
    EXPECT_EQ(Items(list), V({9, 9, 3, 1, 0}));
    EXPECT_EQ(ElementList().Last(), nullptr);
}

// ---------------------------------------------------------------- copies and equality

TEST_F(ElementListTest, CopiesAndAssignment) {
    ElementList source(3);
    Fill(source, 5); // capacity 6 by chunks of 3
    ElementList copy(source);
    EXPECT_EQ(copy.Capacity(), 5); // exactly the count
    EXPECT_EQ(copy.ChunkSize(), 3);
    EXPECT_EQ(Items(copy), Items(source));

    ElementList big;
    Fill(big, 12); // capacity 16
    big = source;
    EXPECT_EQ(big.Capacity(), 16); // enough room: the block stays
    EXPECT_EQ(big.ChunkSize(), 3);
    ElementList small(2);
    Fill(small, 2);
    small = big;
    EXPECT_EQ(small.Capacity(), 5);
    EXPECT_EQ(Items(small), Items(source));

    Element** block = small.begin();
    ElementList& same = small;
    small = same;
    EXPECT_EQ(small.begin(), block);
    ElementList moved(static_cast<ElementList&&>(small));
    EXPECT_EQ(moved.begin(), block);
    EXPECT_EQ(small.size(), 0);
    EXPECT_EQ(small.begin(), nullptr);
}

TEST_F(ElementListTest, EqualityIsPointerIdentitySlotBySlot) {
    ElementList a, b;
    Fill(a, 4);
    Fill(b, 4);
    EXPECT_EQ(a == b, 1);
    b.Replace(0, E(1));
    b.Replace(1, E(0));
    EXPECT_EQ(a == b, 0);
    EXPECT_EQ(a != b, 1);
    ElementList shorter;
    Fill(shorter, 3);
    EXPECT_EQ(a == shorter, 0);
    EXPECT_EQ(ElementList() == ElementList(4), 1);
}

// ---------------------------------------------------------------- standard companions

TEST_F(ElementListTest, StandardContainerCompanions) {
    ElementList list;
    list.push_back(E(0));
    list.push_back(E(1));
    list.push_back(E(2));
    Element** at = list.insert(list.end(), E(8));
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at, list.end() - 1);
    Element* foreign[2] = {E(3), E(4)};
    EXPECT_EQ(list.insert(foreign, E(9)), nullptr); // not a position of this list
    Element** pos = list.begin() + 1;
    EXPECT_EQ(list.erase(pos), pos);
    EXPECT_EQ(list.erase(list.begin() + 1, list.begin() + 2), list.begin() + 1);
    EXPECT_EQ(Items(list), V({0, 8}));

    list.insert(list.begin(), 2, E(5));
    list.insert(list.end(), foreign, foreign + 2);
    list.pop_back();
    EXPECT_EQ(Items(list), V({5, 5, 0, 8, 3}));
    list.resize(7, E(6));
    EXPECT_EQ(Items(list), V({5, 5, 0, 8, 3, 6, 6}));
    list.resize(2);
    list.resize(-1); // nothing
    EXPECT_EQ(Items(list), V({5, 5}));
    ElementList empty;
    EXPECT_NE(empty.insert(empty.begin(), E(1)), nullptr);
}

// ---------------------------------------------------------------- running out of memory

TEST_F(ElementListTest, WithoutMemoryTheListStaysUnchanged) {
    ElementList list;
    Fill(list, 8);
    std::vector<int> before = Items(list);
    Element** block = list.begin();
    {
        ombra_test::FailAllocationsAfter failing(0);
        list.Append(E(9));
        list.Insert(E(9), 3);
        list.Insert(E(9), 0, 20);
        list.Append(E(9), 2);
        const Element* range[] = {E(9), E(9), E(9)};
        list.Insert(range, range + 3, 1);
        EXPECT_EQ(list.insert(list.begin(), E(9)), nullptr);
        EXPECT_EQ(list.Preallocate(100), 0);
        list.Remove(0);
        list.Shrink(0); // a smaller block cannot be had either
        ElementList copy(list);
        EXPECT_EQ(copy.size(), 0);
        ElementList target;
        target = list;
        EXPECT_EQ(target.size(), 0);
        ElementList sized(4);
        EXPECT_EQ(sized.Capacity(), 0);
    }
    EXPECT_EQ(list.begin(), block);
    EXPECT_EQ(list.Capacity(), 8);
    before.erase(before.begin());
    EXPECT_EQ(Items(list), before);

    {
        ombra_test::WithoutMemoryService none;
        ElementList list2;
        list2.Append(E(0));
        EXPECT_EQ(list2.size(), 0);
    }
}

} // namespace
