#include <ombra/elements.h>
#include <ombra/identifiers.h>
#include <ombra/memory.h>

#include "model/ElementRoom.h"

#include <algorithm>
#include <functional>

namespace {

// Borrowed lists are kept sorted by address for binary search.
bool LessAddress(const Element* a, const Element* b) {
    return std::less<const Element*>()(a, b);
}

bool SortedContains(const ElementList* list, const Element* e) {
    if (!list || !e) return false;
    Element* const* first = list->begin();
    Element* const* last = list->end();
    Element* const* at = std::lower_bound(first, last, e, LessAddress);
    return at != last && *at == e;
}

// A sorted copy of the non-null pointers of `from` that are not in the
// sorted `except`; ok becomes false (and the result null) without memory.
ElementList* SortedSet(const ElementList& from, const ElementList* except, bool& ok) {
    ElementList* set = new ElementList;
    if (!set || (from.size() > 0 && !set->Preallocate(from.size()))) {
        delete set;
        ok = false;
        return nullptr;
    }
    for (long long i = 0; i < from.size(); ++i)
        if (from[i] && !SortedContains(except, from[i])) set->Append(from[i]);
    // A child a list holds twice is one entry, so that forgetting it once
    // forgets it.
    std::sort(set->begin(), set->end(), LessAddress);
    set->resize(std::unique(set->begin(), set->end()) - set->begin());
    return set;
}

} // namespace

Element::Element() noexcept
    : id_(OBIDGenerator::GetID()), type_(EL::kUndefined), children_(), borrowed_(nullptr) {}

Element::Element(const Element& other) noexcept
    : id_(other.id_), type_(other.type_), children_(), borrowed_(nullptr) {
    AssignFrom(const_cast<Element&>(other), false);
}

Element::Element(Element&& other) noexcept
    : id_(other.id_), type_(other.type_), children_(), borrowed_(nullptr) {
    AssignFrom(other, true);
}

Element& Element::operator=(const Element& other) noexcept {
    if (this != &other) {
        id_ = other.id_;
        type_ = other.type_;
        AssignFrom(const_cast<Element&>(other), false);
    }
    return *this;
}

Element& Element::operator=(Element&& other) noexcept {
    if (this != &other) {
        id_ = other.id_;
        type_ = other.type_;
        AssignFrom(other, true);
    }
    return *this;
}

namespace {

// Out of the destructor's way, whose loop over owned children then keeps
// its bounds in registers.
__attribute__((noinline)) void DeleteOwnedChildren(const ElementList& children,
                                                   const ElementList* borrowed) {
    for (long long i = 0; i < children.size(); ++i) {
        Element* child = children[i];
        if (child && !SortedContains(borrowed, child)) delete child;
    }
}

} // namespace

Element::~Element() {
    if (borrowed_) {
        DeleteOwnedChildren(children_, borrowed_);
        delete borrowed_;
        return;
    }
    // The usual tree, where every child is owned.
    if (children_.size()) ombra_detail::EndOwnedChildren(children_.begin(), children_.end());
}

short Element::IsBorrowed(const Element* child) const noexcept {
    return SortedContains(borrowed_, child) ? 1 : 0;
}

short Element::OwnsChild(const Element* child) const noexcept {
    if (!child || children_.Location(child) < 0) return 0;
    return IsBorrowed(child) ? 0 : 1;
}

void Element::ForgetBorrowed(const Element* child) noexcept {
    if (!borrowed_ || !child) return;
    Element** first = borrowed_->begin();
    Element** last = borrowed_->end();
    Element** at = std::lower_bound(first, last, child, LessAddress);
    if (at != last && *at == child) borrowed_->erase(at);
    if (borrowed_->size() == 0) {
        delete borrowed_;
        borrowed_ = nullptr;
    }
}

// True when `target` is `root` or lies anywhere below it.
bool Element::SubtreeHolds(const Element* root, const Element* target) noexcept {
    if (root == target) return true;
    for (long long i = 0; i < root->children_.size(); ++i) {
        const Element* child = root->children_[i];
        if (child && SubtreeHolds(child, target)) return true;
    }
    return false;
}

// Takes over other's child pointers. Afterwards this Element owns the
// children it owned before and still holds and, when takeOwnership is set,
// those that other owned (other then borrows all of its children). It
// deletes the children it owned that the new list no longer holds. Without
// memory nothing changes (a constructed Element then stays empty).
void Element::AssignFrom(Element& other, bool takeOwnership) noexcept {
    const ElementList& source = other.children_;
    if (source.size() == 0 && children_.size() == 0) {
        // The common case of leaf Elements: nothing to share or delete.
        if (takeOwnership) {
            delete other.borrowed_;
            other.borrowed_ = nullptr;
        }
        return;
    }

    // Everything that can fail comes before the first change.
    if (!children_.Preallocate(source.size())) return;
    bool ok = true;
    ElementList* sourceSet = SortedSet(source, nullptr, ok);
    ElementList* owned = ok ? SortedSet(children_, borrowed_, ok) : nullptr;
    // When other lies inside a child that is about to be deleted, it goes
    // with that child: its children then pass to us as on a move.
    for (long long i = 0; ok && !takeOwnership && owned && i < owned->size(); ++i) {
        Element* child = (*owned)[i];
        if (!SortedContains(sourceSet, child) && SubtreeHolds(child, &other)) takeOwnership = true;
    }
    ElementList* borrowed = ok ? SortedSet(source, nullptr, ok) : nullptr;
    ElementList* otherBorrowsAll = ok && takeOwnership ? SortedSet(source, nullptr, ok) : nullptr;
    if (!ok) {
        delete sourceSet;
        delete owned;
        delete borrowed;
        delete otherBorrowsAll;
        return;
    }

    // Borrowed from now on: other's children except those that stay or become ours.
    long long kept = 0;
    for (long long i = 0; i < borrowed->size(); ++i) {
        Element* child = (*borrowed)[i];
        bool ours = SortedContains(owned, child) || (takeOwnership && !other.IsBorrowed(child));
        if (!ours) (*borrowed)[kept++] = child;
    }
    borrowed->resize(kept);
    // To delete: what we owned and the new list drops.
    long long doomed = 0;
    for (long long i = 0; i < owned->size(); ++i) {
        Element* child = (*owned)[i];
        if (!SortedContains(sourceSet, child)) (*owned)[doomed++] = child;
    }
    owned->resize(doomed);

    children_ = source; // cannot fail: the capacity was made above
    delete borrowed_;
    borrowed_ = borrowed;
    if (kept == 0) {
        delete borrowed_;
        borrowed_ = nullptr;
    }
    if (takeOwnership) {
        delete other.borrowed_;
        other.borrowed_ = otherBorrowsAll;
        if (otherBorrowsAll && otherBorrowsAll->size() == 0) {
            delete otherBorrowsAll;
            other.borrowed_ = nullptr;
        }
    }
    delete sourceSet;
    // Last, since other may be one of them or lie inside one.
    for (long long i = 0; i < owned->size(); ++i)
        delete (*owned)[i];
    delete owned;
}

// The list's own chunk keeps short lists small; past it, doubling makes n
// additions cost O(n) copies. When doubling finds no memory, the list's
// own smaller step may still succeed.
void Element::MakeRoomForChild() noexcept {
    long long count = children_.size();
    if (children_.Capacity() == 0) ombra_detail::NoteChildren(type_);
    if (count < children_.Capacity() || count < children_.ChunkSize()) return;
    children_.Preallocate(2 * count);
}

short Element::AddChildGrowing(Element* child) noexcept {
    if (!child) return 0;
    MakeRoomForChild();
    long long before = children_.size();
    children_.Append(child);
    return children_.size() > before ? 1 : 0;
}

short Element::ReserveChildren(long long n) noexcept {
    return children_.Preallocate(n);
}

short Element::AddChildBeforePosition(Element* child, long long pos) noexcept {
    if (!child || pos < 0 || pos >= children_.size()) return 0;
    MakeRoomForChild();
    long long before = children_.size();
    children_.Insert(child, pos);
    return children_.size() > before ? 1 : 0;
}

Element* Element::GetChild(EL::ElementTypeEnum type) const noexcept {
    long long pos = -1;
    return GetChildAndItsPosition(type, pos);
}

Element* Element::GetChildAndItsPosition(EL::ElementTypeEnum type, long long& pos) const noexcept {
    pos = -1;
    for (long long i = 0; i < children_.size(); ++i) {
        Element* child = children_[i];
        if (child && child->type_ == type) {
            pos = i;
            return child;
        }
    }
    return nullptr;
}

Element* Element::GetNthChild(unsigned long long n) const noexcept {
    if (n >= static_cast<unsigned long long>(children_.size())) return nullptr;
    return children_[static_cast<long long>(n)];
}

void Element::RemoveNthChild(unsigned long long n, bool destroy) noexcept {
    if (n >= static_cast<unsigned long long>(children_.size())) return;
    long long i = static_cast<long long>(n);
    Element* child = children_[i];
    children_.Remove(i);
    if (!child) return;
    if (IsBorrowed(child)) {
        // A borrowed child belongs to another Element: it is only detached.
        if (children_.Location(child) < 0) ForgetBorrowed(child);
        return;
    }
    if (destroy && children_.Location(child) < 0) delete child;
}

void Element::RemoveAllChildren(bool destroy) noexcept {
    if (children_.size() == 0) return;
    if (destroy) {
        for (long long i = 0; i < children_.size(); ++i) {
            Element* child = children_[i];
            if (child && !IsBorrowed(child)) delete child;
        }
    }
    children_.Clear();
    delete borrowed_;
    borrowed_ = nullptr;
}
