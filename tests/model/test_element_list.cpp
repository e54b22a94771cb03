// ElementList against a model: random operations applied to the list and to
// a std::vector that states each operation's rule, compared after every step,
// with memory running out at every point of the run.
#include <ombra/elements.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {

using Model = std::vector<Element*>;

class ElementListModel {
public:
    explicit ElementListModel(unsigned seed) : rng_(seed) {}

    // Runs `steps` random operations; false at the first difference.
    bool Run(int steps) {
        ElementList list(static_cast<long long>(Pick(-1, 4)));
        Model model;
        for (int step = 0; step < steps; ++step) {
            long long refused = ombra_test::Stats().refused;
            Model before = model;
            const char* name = Apply(list, model);
            bool ranOut = ombra_test::Stats().refused != refused;
            const Model& expected = ranOut ? before : model;
            if (ranOut) model = before;
            EXPECT_EQ(Contents(list), expected) << name << " at step " << step;
            EXPECT_GE(list.Capacity(), list.size()) << name;
            if (::testing::Test::HasFailure()) return false;
        }
        return true;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    Element* Any() { return &items_[Pick(0, 9)]; }
    static Model Contents(const ElementList& list) { return Model(list.begin(), list.end()); }
    static bool Inside(long long i, const Model& m) {
        return i >= 0 && i < static_cast<long long>(m.size());
    }
    static bool Position(long long i, const Model& m) {
        return i >= 0 && i <= static_cast<long long>(m.size());
    }

    // One operation on both, the model written from the documented rules.
    const char* Apply(ElementList& list, Model& m) {
        long long size = static_cast<long long>(m.size());
        long long i = Pick(-2, static_cast<int>(size) + 2),
                  j = Pick(-2, static_cast<int>(size) + 2);
        long long n = Pick(-1, 12);
        Element* e = Any();
        switch (Pick(0, 15)) {
        case 0:
            list.Append(e);
            m.push_back(e);
            return "Append";
        case 1:
            list.Append(e, i);
            if (i >= size - 1)
                m.push_back(e);
            else if (i + 1 >= 0)
                m.insert(m.begin() + i + 1, e);
            return "Append after";
        case 2:
            list.Insert(e, i, n);
            if (Position(i, m) && n > 0) m.insert(m.begin() + i, static_cast<std::size_t>(n), e);
            return "Insert n copies";
        case 3: {
            list.Insert(e, i);
            if (Position(i, m)) m.insert(m.begin() + i, e);
            return "Insert";
        }
        case 4: {
            // A range from the list's own storage, which may move as it grows.
            long long a = std::min(std::max(i, 0LL), size), b = std::min(std::max(j, a), size);
            long long at = Pick(0, static_cast<int>(size));
            Model range(m.begin() + a, m.begin() + b);
            list.Insert(list.begin() + a, list.begin() + b, at);
            m.insert(m.begin() + at, range.begin(), range.end());
            return "Insert own range";
        }
        case 5:
            list.Remove(i);
            if (i >= 0 && size > 0) m.erase(m.begin() + std::min(i, size - 1));
            return "Remove";
        case 6:
            list.Remove(i, j);
            if (i >= 0 && i <= j && j <= size) m.erase(m.begin() + i, m.begin() + j);
            return "Remove range";
        case 7:
            list.Replace(i, e);
            if (Inside(i, m)) m[static_cast<std::size_t>(i)] = e;
            return "Replace";
        case 8: {
            long long at = list.Location(e);
            auto found = std::find(m.begin(), m.end(), e);
            EXPECT_EQ(at, found == m.end() ? -1 : found - m.begin());
            EXPECT_EQ(list.Last(), m.empty() ? nullptr : m.back());
            return "Location";
        }
        case 9:
            list.resize(n, e);
            if (n >= 0) m.resize(static_cast<std::size_t>(n), e);
            return "resize";
        case 10: {
            long long at = std::min(std::max(i, 0LL), size);
            Element** slot = list.insert(list.begin() + at, e);
            m.insert(m.begin() + at, e);
            if (slot) {
                EXPECT_EQ(slot - list.begin(), at);
            }
            return "insert";
        }
        case 11:
            if (size > 0) {
                long long at = std::min(std::max(i, 0LL), size - 1);
                EXPECT_EQ(list.erase(list.begin() + at), list.begin() + at);
                m.erase(m.begin() + at);
            }
            return "erase";
        case 12: {
            ElementList copy(list); // whole, or empty without memory
            EXPECT_TRUE(Contents(copy) == m || copy.size() == 0);
            EXPECT_EQ(copy.Capacity(), copy.size());
            ElementList target(n);
            target.Append(e);
            Model held = Contents(target);
            target = list; // takes the contents, or changes nothing without memory
            EXPECT_TRUE(Contents(target) == m || Contents(target) == held);
            Model copied = Contents(copy);
            ElementList moved(static_cast<ElementList&&>(copy));
            target = static_cast<ElementList&&>(moved);
            EXPECT_EQ(Contents(target), copied);
            EXPECT_EQ(copy.size(), 0);
            return "copies";
        }
        case 13:
            if (list.Preallocate(size + n) == 1) {
                EXPECT_GE(list.Capacity(), size + n);
            }
            return "Preallocate";
        case 14: {
            // A block larger than max(n, count) shrinks to exactly that (a
            // new block, so without memory it stays, unless it goes entirely).
            long long had = list.Capacity(), target = std::max(n, size);
            long long refused = ombra_test::Stats().refused;
            list.Shrink(n);
            if (ombra_test::Stats().refused == refused || target == 0) {
                EXPECT_EQ(list.Capacity(), had > target ? target : had);
            }
            return "Shrink";
        }
        default:
            list.Sort([](const void* a, const void* b) {
                Element* x = *static_cast<Element* const*>(a);
                Element* y = *static_cast<Element* const*>(b);
                return x < y ? -1 : (x > y ? 1 : 0);
            });
            std::sort(m.begin(), m.end());
            return "Sort";
        }
    }

    std::mt19937 rng_;
    Element items_[10];
};

TEST(ElementList, BehavesAsItsModelWhateverMemoryRemains) {
    ombra_test::ConversionState state;
    for (unsigned seed = 1; seed <= 20; ++seed)
        ASSERT_TRUE(ElementListModel(seed).Run(400)) << "seed " << seed;
    EXPECT_GT(ombra_test::SweepAllocationFailures([] { return ElementListModel(7).Run(150); }), 10);
}

TEST(ElementList, EqualityIsPointerIdentitySlotBySlot) {
    ombra_test::ConversionState state;
    Element a, b;
    ElementList x, y, shorter;
    for (Element* e : {&a, &b}) {
        x.Append(e);
        y.Append(e);
    }
    shorter.Append(&a);
    EXPECT_EQ(x == y, 1);
    EXPECT_EQ(x == shorter, 0);
    y.Replace(0, &b);
    EXPECT_EQ(x != y, 1);
    EXPECT_EQ(ElementList() == ElementList(4), 1);
    EXPECT_EQ(ElementList(5).Capacity(), 5);
    EXPECT_EQ(ElementList(-3).ChunkSize(), 8);
}

} // namespace
