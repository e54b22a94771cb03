// Element: kinds, ids, children and their ownership; ElementUtil's per-thread
// levels; the abstract Value and its pooled allocation.
#include <ombra/elements.h>
#include <ombra/identifiers.h>
#include <ombra/pools.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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

// An Element with n Probe children of the given kinds (kText by default).
Element* WithChildren(int* deaths, int n, EL::ElementTypeEnum type = EL::kParentStory) {
    Element* parent = new Element(type);
    for (int i = 0; i < n; ++i) parent->AddChild(new Probe(deaths));
    return parent;
}

// ---------------------------------------------------------------- kind and id

TEST(ElementBasics, KindAndIdsCountUpPerThread) {
    ConversionState state;
    Element untyped;
    Element publication(EL::kPublication);
    EXPECT_EQ(untyped.GetElementType(), EL::kUndefined);
    EXPECT_EQ(static_cast<int>(untyped.GetElementType()), 233);
    EXPECT_EQ(static_cast<int>(publication.GetElementType()), 163);
    EXPECT_EQ(publication.GetName(), publication.GetElementType());
    EXPECT_EQ(untyped.GetId(), 0u);
    EXPECT_EQ(publication.GetId(), 1u);
    Element* third = new Element(EL::kColor);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->GetId(), 2u);
    delete third;
    EXPECT_EQ(untyped.GetChildCount(), 0u);

    // Another thread numbers its Elements on its own.
    std::vector<unsigned int> other;
    std::thread worker([&other] {
        ConversionState workerState;
        for (int i = 0; i < 3; ++i) other.push_back(Element(EL::kText).GetId());
    });
    worker.join();
    EXPECT_EQ(other, (std::vector<unsigned int>{0, 1, 2}));
    EXPECT_EQ(Element().GetId(), 3u);

    // A reset starts the count again.
    OBIDGenerator::Reset();
    OBIDGenerator::Init();
    EXPECT_EQ(Element().GetId(), 0u);
}

TEST(ElementBasics, NewYieldsNullWithoutMemory) {
    ConversionState state;
    ombra_test::FailAllocationsAfter failing(0);
    Element* e = new Element(EL::kText);
    EXPECT_EQ(e, nullptr);
}

// ---------------------------------------------------------------- children

TEST(ElementChildren, AddFindAndPosition) {
    ConversionState state;
    int deaths = 0;
    Element parent(EL::kParentStory);
    EXPECT_EQ(parent.AddChild(nullptr), 0);
    EXPECT_EQ(parent.GetChildCount(), 0u);

    Probe* a = new Probe(&deaths, EL::kParagraphRun);
    Probe* b = new Probe(&deaths, EL::kCharacterRun);
    Probe* c = new Probe(&deaths, EL::kParagraphRun);
    EXPECT_EQ(parent.AddChild(a), 1);
    EXPECT_EQ(parent.AddChild(b), 1);
    EXPECT_EQ(parent.AddChild(c), 1);
    EXPECT_EQ(parent.GetChildCount(), 3u);

    Probe* d = new Probe(&deaths, EL::kTabRun);
    EXPECT_EQ(parent.AddChildBeforePosition(d, 3), 0); // cannot append
    EXPECT_EQ(parent.AddChildBeforePosition(d, -1), 0);
    EXPECT_EQ(parent.AddChildBeforePosition(nullptr, 0), 0);
    EXPECT_EQ(parent.GetChildCount(), 3u);
    EXPECT_EQ(parent.AddChildBeforePosition(d, 0), 1);
    EXPECT_EQ(parent.GetNthChild(0), d);
    EXPECT_EQ(parent.GetNthChild(1), a);
    EXPECT_EQ(parent.GetNthChild(3), c);
    EXPECT_EQ(parent.GetNthChild(4), nullptr);
    EXPECT_EQ(parent.GetNthChild(~0ull), nullptr);

    long long pos = 99;
    EXPECT_EQ(parent.GetChildAndItsPosition(EL::kParagraphRun, pos), a);
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(parent.GetChild(EL::kCharacterRun), b);
    EXPECT_EQ(parent.GetChildAndItsPosition(EL::kTable, pos), nullptr);
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(parent.GetChild(EL::kTable), nullptr);
    EXPECT_EQ(parent.OwnsChild(a), 1);
    EXPECT_EQ(parent.OwnsChild(nullptr), 0);
    EXPECT_EQ(deaths, 0);
}

TEST(ElementChildren, RemovingDeletesOrHandsOver) {
    ConversionState state;
    int deaths = 0;
    Element* parent = WithChildren(&deaths, 4);
    Element* second = parent->GetNthChild(1);

    parent->RemoveNthChild(9, true); // outside: nothing
    EXPECT_EQ(parent->GetChildCount(), 4u);
    parent->RemoveNthChild(1, false); // detached: the caller owns it now
    EXPECT_EQ(parent->GetChildCount(), 3u);
    EXPECT_EQ(deaths, 0);
    delete second;
    EXPECT_EQ(deaths, 1);

    parent->RemoveNthChild(0, true);
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(parent->GetChildCount(), 2u);

    std::vector<Element*> rest = {parent->GetNthChild(0), parent->GetNthChild(1)};
    parent->RemoveAllChildren(false);
    EXPECT_EQ(parent->GetChildCount(), 0u);
    EXPECT_EQ(deaths, 2);
    for (Element* e : rest) parent->AddChild(e);
    parent->RemoveAllChildren(true);
    EXPECT_EQ(deaths, 4);
    EXPECT_EQ(parent->GetChildCount(), 0u);
    parent->RemoveAllChildren(true); // empty: nothing
    delete parent;
    EXPECT_EQ(deaths, 4);
}

TEST(ElementChildren, DestructionDeletesTheWholeTree) {
    ConversionState state;
    int deaths = 0;
    Element* root = new Element(EL::kPublication);
    for (int i = 0; i < 3; ++i) {
        Element* spread = WithChildren(&deaths, 5, EL::kRegularSpread);
        root->AddChild(spread);
    }
    root->AddChild(new Probe(&deaths));
    EXPECT_EQ(root->GetChildCount(), 4u);
    delete root;
    EXPECT_EQ(deaths, 16);
}

TEST(ElementChildren, AddChildWithoutMemoryLeavesTheChildToTheCaller) {
    ConversionState state;
    int deaths = 0;
    Element parent(EL::kParentStory);
    Probe* child = new Probe(&deaths);
    {
        ombra_test::FailAllocationsAfter failing(0);
        EXPECT_EQ(parent.AddChild(child), 0);
    }
    EXPECT_EQ(parent.GetChildCount(), 0u);
    EXPECT_EQ(parent.AddChild(child), 1);
}

// ---------------------------------------------------------------- shallow copies

TEST(ElementCopies, ACopySharesButNeverDeletesTheChildren) {
    ConversionState state;
    int deaths = 0;
    Element* source = WithChildren(&deaths, 3);
    Element* copy = new Element(*source);
    EXPECT_EQ(copy->GetId(), source->GetId());
    EXPECT_EQ(copy->GetElementType(), source->GetElementType());
    ASSERT_EQ(copy->GetChildCount(), 3u);
    for (unsigned long long i = 0; i < 3; ++i) {
        EXPECT_EQ(copy->GetNthChild(i), source->GetNthChild(i));
        EXPECT_EQ(copy->OwnsChild(copy->GetNthChild(i)), 0);
        EXPECT_EQ(source->OwnsChild(source->GetNthChild(i)), 1);
    }
    // A child added to the copy is the copy's.
    Probe* own = new Probe(&deaths);
    copy->AddChild(own);
    EXPECT_EQ(copy->OwnsChild(own), 1);
    // Re-adding a borrowed pointer does not take it from its owner.
    copy->AddChild(source->GetNthChild(0));
    EXPECT_EQ(copy->OwnsChild(source->GetNthChild(0)), 0);

    // Destroy-with-children on a copy only detaches what it borrowed.
    copy->RemoveNthChild(0, true);
    EXPECT_EQ(deaths, 0);
    delete copy;
    EXPECT_EQ(deaths, 1); // only its own child
    delete source;
    EXPECT_EQ(deaths, 4);
}

TEST(ElementCopies, TheOwnerMayGoFirst) {
    ConversionState state;
    int deaths = 0;
    Element* source = WithChildren(&deaths, 2);
    Element copy(*source);
    copy.RemoveAllChildren(true); // borrowed: only detached
    EXPECT_EQ(deaths, 0);
    Element second(*source);
    delete source;
    EXPECT_EQ(deaths, 2);
    // `second` still holds the stale pointers but never touches them.
}

TEST(ElementCopies, AMoveHandsOverOwnership) {
    ConversionState state;
    int deaths = 0;
    Element* source = WithChildren(&deaths, 3);
    Element* moved = new Element(std::move(*source));
    EXPECT_EQ(moved->GetChildCount(), 3u);
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
    Element* a = WithChildren(&deaths, 2, EL::kParentStory);
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
    EXPECT_EQ(a->GetId(), c->GetId());
    EXPECT_EQ(a->GetNthChild(0), c->GetNthChild(0));
    EXPECT_EQ(a->OwnsChild(a->GetNthChild(0)), 0);
    delete a;
    EXPECT_EQ(deaths, 2);
    b->RemoveNthChild(0, false); // stale borrowed pointers, detached unread
    b->RemoveNthChild(0, false);
    delete b;
    EXPECT_EQ(deaths, 3);
    delete c;
    EXPECT_EQ(deaths, 4);

    // Move assignment hands over ownership.
    Element* d = WithChildren(&deaths, 2);
    Element e(EL::kParentStory);
    e.AddChild(new Probe(&deaths));
    e = std::move(*d);
    EXPECT_EQ(deaths, 5);
    delete d;
    EXPECT_EQ(deaths, 5);
    e.RemoveAllChildren(true);
    EXPECT_EQ(deaths, 7);

    // Self-assignment changes nothing.
    Element* f = WithChildren(&deaths, 1);
    Element& same = *f;
    *f = same;
    EXPECT_EQ(f->OwnsChild(f->GetNthChild(0)), 1);
    delete f;
    EXPECT_EQ(deaths, 8);
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
    ASSERT_EQ(root->GetChildCount(), 2u);
    EXPECT_EQ(root->GetNthChild(0), grandchild);
    EXPECT_EQ(root->OwnsChild(grandchild), 1);
    EXPECT_EQ(deaths, 0);
    delete root;
    EXPECT_EQ(deaths, 2);
}

TEST(ElementCopies, WithoutMemoryCopiesStartEmptyAndAssignmentsChangeNothing) {
    ConversionState state;
    int deaths = 0;
    Element* source = WithChildren(&deaths, 3);
    Element* target = WithChildren(&deaths, 1);
    {
        ombra_test::FailAllocationsAfter failing(0);
        Element copy(*source);
        EXPECT_EQ(copy.GetId(), source->GetId());
        EXPECT_EQ(copy.GetChildCount(), 0u);
        *target = *source;
        EXPECT_EQ(target->GetChildCount(), 1u);
        EXPECT_EQ(deaths, 0);
    }
    delete target;
    delete source;
    EXPECT_EQ(deaths, 4);
}

// ---------------------------------------------------------------- ElementUtil

TEST(ElementUtilState, LevelsAndReferrals) {
    std::thread worker([] {
        // Before Init: nothing happens and the queries answer 0.
        ElementUtil::BeginChunk();
        ElementUtil::MakeReferralElement(5);
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 0);
        EXPECT_EQ(ElementUtil::isReferral(5), 0);

        ASSERT_EQ(ElementUtil::Init(), 1);
        ElementUtil::BeginChunk();
        ElementUtil::BeginChunk();
        ElementUtil::EndChunk();
        ElementUtil::BeginRelationship();
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 1);
        EXPECT_EQ(ElementUtil::GetRelationshipStatus(), 1);
        ElementUtil::Init(); // existing values stay
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 1);
        ElementUtil::EndRelationship();
        ElementUtil::EndRelationship(); // below 0: the counter wraps
        EXPECT_EQ(ElementUtil::GetRelationshipStatus(), -1);

        for (unsigned int id = 100; id < 120; ++id) ElementUtil::MakeReferralElement(id);
        EXPECT_EQ(ElementUtil::isReferral(100), 1);
        EXPECT_EQ(ElementUtil::isReferral(119), 1);
        EXPECT_EQ(ElementUtil::isReferral(120), 0);

        // Another thread has its own levels.
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
        ElementUtil::Init();
        EXPECT_EQ(ElementUtil::GetRelationshipStatus(), 0);
        ElementUtil::Reset();
        ElementUtil::Reset(); // twice is harmless
    });
    worker.join();
}

TEST(ElementUtilState, InitReportsMissingMemory) {
    std::thread worker([] {
        {
            ombra_test::FailAllocationsAfter failing(0);
            EXPECT_EQ(ElementUtil::Init(), 0);
        }
        EXPECT_EQ(ElementUtil::Init(), 1); // completes what was missing
        ElementUtil::BeginChunk();
        EXPECT_EQ(ElementUtil::GetChunkStatus(), 1);
        ElementUtil::Reset();
    });
    worker.join();
}

// ---------------------------------------------------------------- Value

// A minimal concrete value: 16 bytes of Value plus an 8-byte payload.
class Number : public Value {
public:
    explicit Number(long long n = 0, VT::ValueTypeEnum type = VT::ekSignedInt64)
        : Value(type), n_(n) {}
    ~Number() override = default;
    Value& operator=(Value& other) override {
        n_ = static_cast<Number&>(other).n_;
        SetInitialized(1);
        return *this;
    }
    short IsEqual(Value* other) override {
        return Value::IsEqual(other) && static_cast<Number*>(other)->n_ == n_ ? 1 : 0;
    }
    short Initialized() const { return IsInitialized(); }
    void Forget() { SetInitialized(0); }

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
    char payload_[56] = {};
};
static_assert(!OBIsPooledSize(sizeof(Oversized)), "a size without a pool");

TEST(ValueBase, TypeAndEquality) {
    Number a(7), b(7), c(8);
    Number other(7, VT::ekSignedInt32);
    VT::ValueTypeEnum type = VT::ekUndefined;
    a.GetType(type);
    EXPECT_EQ(type, VT::ekSignedInt64);
    EXPECT_EQ(a.Initialized(), 1);
    a.Forget();
    EXPECT_EQ(a.Initialized(), 0);

    EXPECT_EQ(a.IsEqual(nullptr), 0);
    EXPECT_EQ(a.IsEqual(&b), 1);
    EXPECT_EQ(a.IsEqual(&c), 0);
    EXPECT_EQ(a.IsEqual(&other), 0); // another type, whatever the contents
    Value& base = c;
    a = base;
    EXPECT_EQ(a.Initialized(), 1);
    EXPECT_EQ(a.IsEqual(&c), 1);

    // The implicit assignment of a concrete class goes through the base body.
    Number d(3);
    d.Forget();
    d = b;
    EXPECT_EQ(d.Initialized(), 1);
    EXPECT_EQ(d.IsEqual(&b), 1);
}

TEST(ValueBase, ValuesComeFromTheirSizesPool) {
    IPool* pool = OBGetValuePool(sizeof(Number));
    ASSERT_NE(pool, nullptr);
    Value* first = new Number(1);
    ASSERT_NE(first, nullptr);
    void* block = first;
    delete first; // through the virtual destructor, back to the pool
    Value* second = new Number(2);
    EXPECT_EQ(static_cast<void*>(second), block);
    delete second;

    EXPECT_EQ(new Oversized, nullptr); // no pool: no value, no exception

    pool->purge();
    {
        ombra_test::FailAllocationsAfter failing(0);
        Value* none = new Number(3);
        EXPECT_EQ(none, nullptr);
    }
    Value* third = new Number(3);
    EXPECT_NE(third, nullptr);
    delete third;
}

} // namespace
