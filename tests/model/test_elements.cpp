// Element: kinds, ids, children and their ownership; ElementList against a
// model; ElementUtil's per-thread levels; the abstract Value and its pooled
// allocation; id counters, stacks and tables against models of them.
#include <ombra/elements.h>
#include <ombra/identifiers.h>
#include <ombra/pools.h>
#include <ombra/storedelements.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace {

using ombra_test::ConversionState;

// An Element that notes its destruction; so do its copies and moves of
// any Element.
class Tracked : public Element {
public:
    Tracked(std::vector<const Element*>* died, EL::ElementTypeEnum type = EL::kText)
        : Element(type), died_(died) {}
    Tracked(const Element& o, std::vector<const Element*>* died) : Element(o), died_(died) {}
    Tracked(Element&& o, std::vector<const Element*>* died) : Element(std::move(o)), died_(died) {}
    ~Tracked() override { died_->push_back(this); }

private:
    std::vector<const Element*>* died_;
};

// A plug-in's class on a stored one: only its own destructor notes its end.
class TrackedTable : public OBStoredTable {
public:
    explicit TrackedTable(std::vector<const Element*>* died) : died_(died) {}
    ~TrackedTable() override { died_->push_back(this); }

private:
    std::vector<const Element*>* died_;
};

// A value that notes the end of the stored element holding it, which has
// no destructor of a test's own.
class DeathNote : public Value {
public:
    DeathNote(std::vector<const Element*>* died, const Element* owner)
        : Value(VT::ekSignedInt64), died_(died), owner_(owner) {}
    ~DeathNote() override { died_->push_back(owner_); }
    Value& operator=(Value&) override { return *this; }
    short IsEqual(Value* other) override { return Value::IsEqual(other); }

private:
    std::vector<const Element*>* died_;
    const Element* owner_;
};

// ---------------------------------------------------------------- kind, id, children

TEST(ElementChildren, KindsIdsAndReservedRoomThatTakesChildrenWithoutAllocating) {
    ConversionState state;
    std::vector<const Element*> died; // outlives the parent, whose children note it
    Element untyped;
    Element parent(EL::kParentStory);
    EXPECT_EQ(untyped.GetElementType(), EL::kUndefined);
    EXPECT_EQ(parent.GetName(), EL::kParentStory);
    unsigned ids[] = {untyped.GetId(), parent.GetId(), Element().GetId()};
    EXPECT_TRUE(ids[0] == 0 && ids[1] == 1 && ids[2] == 2) << "from the thread's counter";
    std::vector<Element*> more;
    for (int i = 0; i < 40; ++i)
        more.push_back(new Tracked(&died));
    EXPECT_EQ(parent.ReserveChildren(40), 1);
    ombra_test::FailAllocationsAfter failing(0);
    for (Element* e : more)
        EXPECT_EQ(parent.AddChild(e), 1);
    EXPECT_EQ(parent.ReserveChildren(41), 0);
    EXPECT_EQ(parent.GetChildCount(), 40u);
}

// ---------------------------------------------------------------- ownership against a model

// Random adds, removals, copies, moves, assignments and deletions on a
// forest of Elements, against a model of each one's list and of the
// children it owns; every Element dies exactly when the model says. The
// forest mixes a plug-in's classes with the library's stored elements, on
// their own blocks or several to an arena's, which a tree releases in line.
class OwnershipModel {
public:
    explicit OwnershipModel(unsigned seed) : rng_(seed) {}

    // Ends by deleting the remaining roots, one a step.
    void Run(int steps) {
        for (int step = 0; step < steps || !roots_.empty(); ++step) {
            if (::testing::Test::HasFailure()) return;
            if (nodes_.empty()) Root(Make());
            const char* name = step < steps ? Apply() : "deleting the rest";
            if (step >= steps) Delete(roots_.back());
            if (!Died(name, step)) return;
            for (auto& [e, node] : nodes_) // detach what died, unread
                for (std::size_t i = node.kids.size(); i-- > 0;)
                    if (!nodes_.count(node.kids[i])) {
                        e->RemoveNthChild(i, false);
                        node.kids.erase(node.kids.begin() + static_cast<long>(i));
                    }
            Check(name, step);
        }
    }

private:
    struct Node {
        EL::ElementTypeEnum type;
        std::vector<Element*> kids;
        std::set<Element*> owned;
    };

    long long Pick(long long low, long long high) {
        return std::uniform_int_distribution<long long>(low, high)(rng_);
    }
    EL::ElementTypeEnum Type() { return Pick(0, 1) ? EL::kTable : EL::kTabRun; }
    Element* Any() {
        auto it = nodes_.begin();
        std::advance(it, Pick(0, static_cast<long long>(nodes_.size()) - 1));
        return it->first;
    }
    Element* Make() {
        const EL::ElementTypeEnum type = Type();
        switch (Pick(0, 3)) {
        case 0:
            if (type == EL::kTable) return new TrackedTable(&died_);
            break;
        case 1: {
            Element* e = OBCreateStoredElement(type, Pick(0, 1) ? &arena_ : nullptr);
            EXPECT_EQ(OBGetAttributeStore(e)->Set(AN::kName, new DeathNote(&died_, e)), 1);
            return e;
        }
        default:
            break;
        }
        return new Tracked(&died_, type);
    }
    Element* Root(Element* e) {
        roots_.push_back(e);
        nodes_[e].type = e->GetElementType();
        return e;
    }
    void Kill(Element* e) {
        for (Element* k : nodes_[e].owned)
            Kill(k);
        expected_.insert(e);
        nodes_.erase(e);
    }
    void Delete(Element* root) {
        roots_.erase(std::find(roots_.begin(), roots_.end(), root));
        Kill(root);
        delete root;
    }
    // Below tree through any child, as the assignment looks.
    bool Inside(Element* e, Element* tree) {
        for (Element* k : nodes_[tree].kids)
            if (k == e || Inside(e, k)) return true;
        return false;
    }

    bool Died(const char* name, int step) {
        std::sort(died_.begin(), died_.end()); // each once, and only those expected
        EXPECT_EQ(died_, std::vector<const Element*>(expected_.begin(), expected_.end()))
            << name << " at step " << step;
        died_.clear();
        expected_.clear();
        return !::testing::Test::HasFailure();
    }
    void Check(const char* name, int step) {
        for (auto& [e, node] : nodes_) {
            ASSERT_EQ(e->GetChildCount(), node.kids.size()) << name << " at step " << step;
            EXPECT_EQ(e->GetElementType(), node.type);
            EXPECT_EQ(e->GetNthChild(node.kids.size()), nullptr);
            EXPECT_EQ(e->GetNthChild(~0ull), nullptr);
            EXPECT_EQ(e->OwnsChild(nullptr), 0);
            for (std::size_t i = 0; i < node.kids.size(); ++i) {
                EXPECT_EQ(e->GetNthChild(i), node.kids[i]) << name << " at step " << step;
                EXPECT_EQ(e->OwnsChild(node.kids[i]), node.owned.count(node.kids[i]) ? 1 : 0)
                    << name << " at step " << step;
            }
        }
    }

    const char* Apply() {
        Element* x = Any();
        Node& node = nodes_[x];
        long long size = static_cast<long long>(node.kids.size()), i = Pick(-1, size + 1);
        bool destroy = Pick(0, 1);
        switch (Pick(0, 9)) {
        case 0:
        case 1: {
            Element* child = Make();
            nodes_[child].type = child->GetElementType();
            bool before = destroy; // AddChildBeforePosition takes no position past the last
            bool ok = before ? x->AddChildBeforePosition(child, i) == 1 : x->AddChild(child) == 1;
            EXPECT_EQ(ok, !before || (i >= 0 && i < size));
            EXPECT_EQ(x->AddChild(nullptr) + x->AddChildBeforePosition(nullptr, 0), 0);
            if (!ok) {
                Root(child);
                return "a child refused";
            }
            node.kids.insert(node.kids.begin() + (before ? i : size), child);
            node.owned.insert(child);
            return "AddChild";
        }
        case 2:
            // Re-adding a borrowed child leaves it with its owner; the second
            // entry goes again, as no list may hold a child twice.
            for (Element* k : node.kids)
                if (!node.owned.count(k)) {
                    EXPECT_EQ(x->AddChild(k), 1);
                    EXPECT_EQ(x->OwnsChild(k), 0);
                    x->RemoveNthChild(static_cast<unsigned long long>(size), destroy);
                    return "AddChild, borrowed";
                }
            return "nothing borrowed";
        case 3:
        case 4: {
            // Outside the list: nothing. Detached owned children are the caller's.
            std::vector<Element*> gone;
            if (Pick(0, 2) == 0) {
                x->RemoveAllChildren(destroy);
                gone.swap(node.kids);
            } else {
                x->RemoveNthChild(static_cast<unsigned long long>(i), destroy);
                if (i < 0 || i >= size) return "RemoveNthChild outside";
                gone.push_back(node.kids[i]);
                node.kids.erase(node.kids.begin() + i);
            }
            for (Element* k : gone)
                if (node.owned.erase(k)) destroy ? Kill(k) : void(roots_.push_back(k));
            return "Remove";
        }
        case 5: {
            auto type = Type();
            long long pos = 99;
            auto first = std::find_if(node.kids.begin(), node.kids.end(),
                                      [&](Element* k) { return nodes_[k].type == type; });
            Element* found = first == node.kids.end() ? nullptr : *first;
            EXPECT_EQ(x->GetChild(type), found);
            EXPECT_EQ(x->GetChildAndItsPosition(type, pos), found);
            EXPECT_EQ(pos, found ? first - node.kids.begin() : -1);
            return "GetChild";
        }
        case 6: {
            // A copy borrows; a move takes the ownership and leaves the pointers.
            Element* made =
                destroy ? Root(new Tracked(std::move(*x), &died_)) : Root(new Tracked(*x, &died_));
            EXPECT_EQ(made->GetId(), x->GetId());
            Node& from = nodes_[x];
            nodes_[made] = {from.type, from.kids, {}};
            if (destroy) nodes_[made].owned.swap(from.owned);
            return destroy ? "move" : "copy";
        }
        case 7:
        case 8: {
            // Owned children that stay are kept; the others go with the old
            // list, except a source inside them, whose children pass over.
            Element* y = Any();
            if (y != x && (Inside(x, y) || (Inside(y, x) && destroy)))
                return "a cycle"; // no Element may lie below itself
            Node from = nodes_[y], to = nodes_[x];
            if (destroy)
                *x = std::move(*y);
            else
                *x = *y;
            Node& target = nodes_[x];
            target = {from.type, from.kids, {}};
            for (Element* k : to.owned)
                if (std::count(from.kids.begin(), from.kids.end(), k)) target.owned.insert(k);
            bool pass = destroy;
            for (Element* k : to.owned)
                if (!target.owned.count(k) && (k == y || Inside(y, k))) pass = true;
            if (pass && y != x) {
                target.owned.insert(from.owned.begin(), from.owned.end());
                nodes_[y].owned.clear();
            }
            for (Element* k : to.owned)
                if (!target.owned.count(k)) Kill(k);
            return destroy ? "move assignment" : "assignment";
        }
        default:
            Delete(roots_[static_cast<std::size_t>(
                Pick(0, static_cast<long long>(roots_.size()) - 1))]);
            return "delete";
        }
    }

    std::mt19937 rng_;
    OBElementArena arena_; // gives its blocks back once the forest is gone
    std::map<Element*, Node> nodes_;
    std::vector<Element*> roots_;
    std::vector<const Element*> died_;
    std::set<const Element*> expected_;
};

TEST(ElementChildren, OwnershipFollowsItsModel) {
    ConversionState state;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE(seed);
        OwnershipModel(seed).Run(200);
    }
}

// Growing a child list, copying and assigning trees while memory runs out:
// a child that was not added stays the caller's, a copy is whole or empty,
// an assignment whole or not made, and deleting a tree deletes each child once.
TEST(ElementChildren, RunningOutOfMemoryLeavesEveryTreeWhole) {
    ConversionState state;
    std::vector<const Element*> died;
    ombra_test::SweepAllocationFailures([&] {
        died.clear();
        Element* parent = new Element(EL::kParentStory);
        if (!parent) return false;
        bool ok = true;
        for (int i = 0; i < 12 && ok; ++i) { // past the list's first chunk
            Tracked* child = new Tracked(&died);
            ok = child && parent->AddChild(child) == 1;
            if (child && !ok) delete child;
        }
        std::size_t before = died.size();
        unsigned long long count = parent->GetChildCount();
        {
            Element copy(*parent);
            EXPECT_TRUE(copy.GetChildCount() == 0 || copy.GetChildCount() == count);
            Element target(EL::kTable);
            target = *parent;
            EXPECT_TRUE(target.GetChildCount() == 0 || target.GetChildCount() == count);
            ok = ok && copy.GetChildCount() == count && target.GetChildCount() == count;
        }
        EXPECT_EQ(died.size(), before) << "copies delete nothing";
        delete parent;
        EXPECT_EQ(died.size(), before + count);
        return ok;
    });
}

// ---------------------------------------------------------------- ElementUtil

// Random level and referral calls against a model, on two threads at once,
// each with levels of its own: before Init and after Reset nothing happens
// and the queries answer 0; Init keeps existing values; levels wrap below 0.
bool UtilFollowsItsModel(unsigned seed) {
    std::mt19937 rng(seed);
    bool ready = false;
    int chunk = 0, relationship = 0;
    std::set<unsigned> referrals;
    for (int step = 0; step < 400; ++step) {
        unsigned id = rng() % 20, op = rng() % 8;
        void (*const levelCalls[])() = {ElementUtil::BeginChunk, ElementUtil::EndChunk,
                                        ElementUtil::BeginRelationship,
                                        ElementUtil::EndRelationship};
        if (op < 4) {
            levelCalls[op]();
            *(op < 2 ? &chunk : &relationship) += ready ? 1 - 2 * int(op % 2) : 0;
        } else if (op == 4) {
            EXPECT_EQ(ElementUtil::Init(), 1); // a second one keeps what is there
            ready = true;
        } else if (op == 5 && rng() % 4 == 0) {
            ElementUtil::Reset();
            ready = false, chunk = relationship = 0, referrals.clear();
        } else if (op > 5) {
            ElementUtil::MakeReferralElement(id);
            if (ready) referrals.insert(id);
        }
        EXPECT_EQ(ElementUtil::GetChunkStatus(), chunk);
        EXPECT_EQ(ElementUtil::GetRelationshipStatus(), relationship);
        EXPECT_EQ(ElementUtil::isReferral(id), referrals.count(id));
        if (::testing::Test::HasFailure()) return false;
    }
    ElementUtil::Reset();
    return true;
}

TEST(ElementUtilState, LevelsAndReferralsPerThread) {
    std::thread first([] { EXPECT_TRUE(UtilFollowsItsModel(1)); });
    std::thread second([] { EXPECT_TRUE(UtilFollowsItsModel(2)); });
    first.join();
    second.join();
    std::thread([] {
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
    }).join();
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
            // Equality is pointer identity slot by slot.
            EXPECT_EQ(copy == list, Contents(copy) == m ? 1 : 0);
            EXPECT_EQ(copy != list, Contents(copy) == m ? 0 : 1);
            EXPECT_EQ(copy.Capacity(), copy.size());
            ElementList target(n);
            target.Append(e);
            Model held = Contents(target);
            target = list; // takes the contents, or changes nothing without memory
            EXPECT_TRUE(Contents(target) == m || Contents(target) == held);
            if (!m.empty()) target.Replace(Pick(0, int(size) - 1), &items_[Pick(0, 9)]);
            EXPECT_EQ(target == list, Contents(target) == m ? 1 : 0);
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
    // The counter lives on the memory service: a thread that ends without
    // Reset still hands it back.
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

TEST(IDTable, FollowsItsModelWhateverMemoryRemainsAndAssignmentSharesTheBlock) {
    for (unsigned seed = 1; seed <= 5; ++seed)
        ASSERT_TRUE(TableFollowsItsModel(seed));
    ombra_test::SweepAllocationFailures([] { return TableFollowsItsModel(2); });

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
