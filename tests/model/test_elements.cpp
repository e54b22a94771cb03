// Element: kinds, ids, children and their ownership; ElementList against a
// model; ElementUtil's per-thread levels; the abstract Value and its pooled
// allocation; id counters, stacks and tables against models of them.
#include <ombra/elements.h>
#include <ombra/identifiers.h>
#include <ombra/pools.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace {

using ombra_test::ConversionState;

// Counts its destructions, so tests see which children were deleted.
class Probe : public Element {
public:
    explicit Probe(int* deaths, EL::ElementTypeEnum type = EL::kText)
        : Element(type), deaths_(deaths) {}
    ~Probe() override { ++*deaths_; }

private:
    int* deaths_;
};

// An Element with n Probe children.
Element* WithChildren(int* deaths, int n, EL::ElementTypeEnum type = EL::kParentStory) {
    Element* parent = new Element(type);
    for (int i = 0; i < n; ++i)
        parent->AddChild(new Probe(deaths));
    return parent;
}

// ---------------------------------------------------------------- kind, id, children

TEST(ElementChildren, KindIdsAddFindAndPosition) {
    ConversionState state;
    Element untyped;
    Element publication(EL::kPublication);
    EXPECT_EQ(untyped.GetElementType(), EL::kUndefined);
    EXPECT_EQ(publication.GetName(), EL::kPublication);
    unsigned ids[] = {untyped.GetId(), publication.GetId(), Element().GetId()};
    EXPECT_TRUE(ids[0] == 0 && ids[1] == 1 && ids[2] == 2) << "from the thread's counter";
    int deaths = 0;
    Element parent(EL::kParentStory);
    EXPECT_EQ(parent.AddChild(nullptr), 0);
    Probe* a = new Probe(&deaths, EL::kParagraphRun);
    Probe* b = new Probe(&deaths, EL::kCharacterRun);
    EXPECT_EQ(parent.AddChild(a), 1);
    EXPECT_EQ(parent.AddChild(b), 1);
    EXPECT_EQ(parent.AddChild(new Probe(&deaths, EL::kParagraphRun)), 1);

    Probe* d = new Probe(&deaths, EL::kTabRun);
    EXPECT_EQ(parent.AddChildBeforePosition(d, 3), 0); // cannot append
    EXPECT_EQ(parent.AddChildBeforePosition(d, -1), 0);
    EXPECT_EQ(parent.AddChildBeforePosition(nullptr, 0), 0);
    EXPECT_EQ(parent.GetChildCount(), 3u);
    EXPECT_EQ(parent.AddChildBeforePosition(d, 0), 1);
    EXPECT_EQ(parent.GetNthChild(0), d);
    EXPECT_EQ(parent.GetNthChild(1), a);
    EXPECT_EQ(parent.GetNthChild(4), nullptr);
    EXPECT_EQ(parent.GetNthChild(~0ull), nullptr);

    long long pos = 99;
    EXPECT_EQ(parent.GetChildAndItsPosition(EL::kParagraphRun, pos), a);
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(parent.GetChild(EL::kCharacterRun), b);
    EXPECT_EQ(parent.GetChildAndItsPosition(EL::kTable, pos), nullptr);
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(parent.OwnsChild(nullptr), 0);
    EXPECT_EQ(deaths, 0);
}

TEST(ElementChildren, RemovingDeletesOrHandsOver) {
    ConversionState state;
    int deaths = 0;
    Element* parent = WithChildren(&deaths, 4);
    Element* second = parent->GetNthChild(1);
    parent->RemoveNthChild(9, true);  // outside: nothing
    parent->RemoveNthChild(1, false); // detached: the caller owns it now
    EXPECT_EQ(parent->GetChildCount(), 3u);
    EXPECT_EQ(deaths, 0);
    delete second;
    parent->RemoveNthChild(0, true);
    EXPECT_EQ(deaths, 2);

    std::vector<Element*> rest = {parent->GetNthChild(0), parent->GetNthChild(1)};
    parent->RemoveAllChildren(false);
    EXPECT_EQ(parent->GetChildCount(), 0u);
    EXPECT_EQ(deaths, 2);
    for (Element* e : rest)
        parent->AddChild(e);
    parent->AddChild(WithChildren(&deaths, 2)); // a subtree goes as a whole
    delete parent;
    EXPECT_EQ(deaths, 6);
}

TEST(ElementChildren, ReservedRoomTakesChildrenWithoutAllocating) {
    ConversionState state;
    int deaths = 0;
    Element parent(EL::kParentStory);
    std::vector<Element*> more;
    for (int i = 0; i < 40; ++i)
        more.push_back(new Probe(&deaths));
    EXPECT_EQ(parent.ReserveChildren(40), 1);
    ombra_test::FailAllocationsAfter failing(0);
    for (Element* e : more)
        EXPECT_EQ(parent.AddChild(e), 1);
    EXPECT_EQ(parent.ReserveChildren(41), 0);
    EXPECT_EQ(parent.GetChildCount(), 40u);
}

// ---------------------------------------------------------------- shallow copies

TEST(ElementCopies, ACopySharesButNeverDeletesTheChildren) {
    ConversionState state;
    int deaths = 0;
    Element* source = WithChildren(&deaths, 3);
    Element* copy = new Element(*source);
    EXPECT_EQ(copy->GetId(), source->GetId());
    ASSERT_EQ(copy->GetChildCount(), 3u);
    EXPECT_EQ(copy->GetNthChild(2), source->GetNthChild(2));
    EXPECT_EQ(copy->OwnsChild(copy->GetNthChild(2)), 0);
    // A child added to the copy is the copy's; re-adding a borrowed pointer
    // does not take it from its owner.
    Probe* own = new Probe(&deaths);
    copy->AddChild(own);
    EXPECT_EQ(copy->OwnsChild(own), 1);
    copy->AddChild(source->GetNthChild(0));
    EXPECT_EQ(copy->OwnsChild(source->GetNthChild(0)), 0);

    // Destroy-with-children on a copy only detaches what it borrowed.
    copy->RemoveNthChild(0, true);
    EXPECT_EQ(deaths, 0);
    Element second(*source);
    delete copy;
    EXPECT_EQ(deaths, 1); // only its own child
    delete source;        // before `second`, which holds the stale pointers unread
    EXPECT_EQ(deaths, 4);
}

TEST(ElementCopies, AMoveHandsOverOwnership) {
    ConversionState state;
    int deaths = 0;
    Element* source = WithChildren(&deaths, 3);
    Element* moved = new Element(std::move(*source));
    EXPECT_EQ(source->GetChildCount(), 3u); // the pointers stay, borrowed
    EXPECT_EQ(moved->OwnsChild(moved->GetNthChild(2)), 1);
    EXPECT_EQ(source->OwnsChild(source->GetNthChild(2)), 0);
    delete source;
    EXPECT_EQ(deaths, 0);
    delete moved;
    EXPECT_EQ(deaths, 3);

    // A move of a copy keeps the children with their owner.
    Element* owner = WithChildren(&deaths, 2);
    Element borrower(*owner);
    Element target(std::move(borrower));
    EXPECT_EQ(target.OwnsChild(target.GetNthChild(0)), 0);
    delete owner;
    EXPECT_EQ(deaths, 5);
}

TEST(ElementCopies, AssignmentReplacesTheList) {
    ConversionState state;
    int deaths = 0;
    Element* a = WithChildren(&deaths, 2);
    Element* b = new Element(*a); // borrows a's two children
    Probe* extra = new Probe(&deaths);
    b->AddChild(extra);
    Element* c = WithChildren(&deaths, 1, EL::kTable);

    // a keeps the children it owned that stay in its list and borrows the rest.
    *a = *b;
    ASSERT_EQ(a->GetChildCount(), 3u);
    EXPECT_EQ(a->OwnsChild(a->GetNthChild(0)), 1);
    EXPECT_EQ(a->OwnsChild(extra), 0);
    EXPECT_EQ(deaths, 0);
    // Children a owned that the new list drops are deleted with the old list.
    *a = *c;
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(a->GetElementType(), EL::kTable);
    EXPECT_EQ(a->OwnsChild(a->GetNthChild(0)), 0);
    delete a;
    b->RemoveNthChild(0, false); // stale borrowed pointers, detached unread
    b->RemoveNthChild(0, false);
    delete b;
    delete c;
    EXPECT_EQ(deaths, 4);

    // Move assignment hands over ownership; self-assignment changes nothing.
    Element* d = WithChildren(&deaths, 2);
    Element e(EL::kParentStory);
    e.AddChild(new Probe(&deaths));
    e = std::move(*d);
    EXPECT_EQ(deaths, 5);
    delete d;
    Element& same = e;
    e = same;
    e.RemoveAllChildren(true);
    EXPECT_EQ(deaths, 7);
}

TEST(ElementCopies, AssigningFromOwnChild) {
    ConversionState state;
    int deaths = 0;
    Element* root = new Element(EL::kParentStory);
    Element* child = WithChildren(&deaths, 2, EL::kTable);
    root->AddChild(child);
    Element* grandchild = child->GetNthChild(0);
    // The child leaves root's list and is deleted; its children pass to root.
    *root = *child;
    EXPECT_EQ(root->GetElementType(), EL::kTable);
    EXPECT_EQ(root->GetNthChild(0), grandchild);
    EXPECT_EQ(root->OwnsChild(grandchild), 1);
    EXPECT_EQ(deaths, 0);
    delete root;
    EXPECT_EQ(deaths, 2);
}

// Growing a child list, copying and assigning trees while memory runs out:
// a child that was not added stays the caller's, a copy is whole or empty,
// an assignment whole or not made, and deleting a tree deletes each child once.
TEST(ElementChildren, RunningOutOfMemoryLeavesEveryTreeWhole) {
    ConversionState state;
    int deaths = 0;
    ombra_test::SweepAllocationFailures([&] {
        deaths = 0;
        Element* parent = new Element(EL::kParentStory);
        if (!parent) return false;
        bool ok = true;
        for (int i = 0; i < 12 && ok; ++i) { // past the list's first chunk
            Probe* child = new Probe(&deaths);
            ok = child && parent->AddChild(child) == 1;
            if (child && !ok) delete child;
        }
        int before = deaths;
        unsigned long long count = parent->GetChildCount();
        {
            Element copy(*parent);
            EXPECT_TRUE(copy.GetChildCount() == 0 || copy.GetChildCount() == count);
            Element target(EL::kTable);
            target = *parent;
            EXPECT_TRUE(target.GetChildCount() == 0 || target.GetChildCount() == count);
            ok = ok && copy.GetChildCount() == count && target.GetChildCount() == count;
        }
        EXPECT_EQ(deaths, before) << "copies delete nothing";
        delete parent;
        EXPECT_EQ(deaths, before + static_cast<int>(count));
        return ok;
    });
}

// ---------------------------------------------------------------- ElementUtil

TEST(ElementUtilState, LevelsAndReferralsPerThread) {
    std::thread worker([] {
        // Before Init: nothing happens and the queries answer 0.
        ElementUtil::BeginChunk();
        ElementUtil::MakeReferralElement(5);
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 0);
        EXPECT_EQ(ElementUtil::isReferral(5), 0);
        ombra_test::SweepAllocationFailures([] {
            bool ok = ElementUtil::Init() == 1;
            ElementUtil::BeginChunk();
            ElementUtil::MakeReferralElement(3);
            if (ok) {
                EXPECT_EQ(ElementUtil::GetChunkStatus(), 1);
            }
            ok = ok && ElementUtil::isReferral(3) == 1; // the push may find no memory
            ElementUtil::Reset();
            return ok;
        });
        ASSERT_EQ(ElementUtil::Init(), 1);
        ElementUtil::BeginChunk();
        ElementUtil::BeginChunk();
        ElementUtil::EndChunk();
        ElementUtil::BeginRelationship();
        EXPECT_EQ(ElementUtil::Init(), 1); // existing values stay
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 1);
        EXPECT_EQ(ElementUtil::GetRelationshipStatus(), 1);
        ElementUtil::EndRelationship();
        ElementUtil::EndRelationship(); // below 0: the counter wraps
        EXPECT_EQ(ElementUtil::GetRelationshipStatus(), -1);
        for (unsigned int id = 100; id < 120; ++id)
            ElementUtil::MakeReferralElement(id);
        EXPECT_EQ(ElementUtil::isReferral(100), 1);
        EXPECT_EQ(ElementUtil::isReferral(120), 0);

        std::thread other([] {
            ElementUtil::Init();
            EXPECT_EQ(ElementUtil::GetChunkStatus(), 0);
            EXPECT_EQ(ElementUtil::isReferral(100), 0);
            ElementUtil::BeginChunk();
            ElementUtil::Reset();
        });
        other.join();
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 1);

        ElementUtil::Reset();
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 0);
        EXPECT_EQ(ElementUtil::isReferral(100), 0);
        ElementUtil::Reset(); // twice is harmless
    });
    worker.join();
}

// ---------------------------------------------------------------- Value

// A minimal concrete value: 16 bytes of Value plus an 8-byte payload.
class Number : public Value {
public:
    explicit Number(long long n = 0, VT::ValueTypeEnum type = VT::ekSignedInt64)
        : Value(type), n_(n) {}
    Value& operator=(Value& other) override {
        n_ = static_cast<Number&>(other).n_;
        SetInitialized(1);
        return *this;
    }
    short IsEqual(Value* other) override {
        return Value::IsEqual(other) && static_cast<Number*>(other)->n_ == n_ ? 1 : 0;
    }

private:
    long long n_;
};

// A value of a size that no pool serves.
class Oversized : public Value {
public:
    Oversized() : Value(VT::ekString) {}
    Value& operator=(Value&) override { return *this; }
    short IsEqual(Value* other) override { return Value::IsEqual(other); }

private:
    [[maybe_unused]] char payload_[56] = {};
};
static_assert(!OBIsPooledSize(sizeof(Oversized)), "a size without a pool");

TEST(ValueBase, TypeEqualityAndPooledAllocation) {
    Number a(7), b(7);
    Number other(7, VT::ekSignedInt32);
    VT::ValueTypeEnum type = VT::ekUndefined;
    a.GetType(type);
    EXPECT_EQ(type, VT::ekSignedInt64);
    EXPECT_EQ(a.IsEqual(nullptr), 0);
    EXPECT_EQ(a.IsEqual(&b), 1);
    EXPECT_EQ(a.IsEqual(&other), 0); // another type, whatever the contents

    // A plug-in's own value comes from the pool of its size, if there is one.
    Value* pooled = new Number(1);
    ASSERT_NE(pooled, nullptr);
    delete pooled;                     // through the virtual destructor, back to the pool
    EXPECT_EQ(new Oversized, nullptr); // no pool: no value, no exception
}

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
