// The document model's node (Element), its child array (ElementList), the
// per-thread bookkeeping of readers (ElementUtil), the abstract attribute value
// (Value, ValuePooled) and the two name dictionaries (DictElements, DictAttrs).
#ifndef OMBRA_ELEMENTS_H
#define OMBRA_ELEMENTS_H

#include <cstddef>
#include <new>
#include <ombra/export.h>
#include <ombra/identifiers.h>
#include <ombra/vocabulary.h>

class Element;
class COBString;

/// The block of every Element (new and delete of any Element class): from
/// the memory service, with a word in front that says where it came from,
/// so that elements made several to a block (OBElementArena) and on their
/// own are released alike. Null when no service is installed or it has no
/// memory.
OMBRA_API void* OBElementAllocate(std::size_t size) noexcept;
OMBRA_API void OBElementRelease(void* block) noexcept;

/// A growable array of Element pointers. It neither owns nor deletes the
/// Elements it points to. Storage comes from the memory service and grows
/// linearly, by the chunk size (8 unless set otherwise), never by doubling:
/// - Append on a full list grows to count + chunk size slots;
/// - inserting n slots into a list with fewer than n free slots grows to
///   count + max(n, chunk size) slots;
/// - storage never shrinks by itself; only Shrink and assignment from a
///   larger list change the block.
/// When the memory service has no block to give, Append and the inserts
/// leave the list unchanged and Preallocate returns 0.
///
/// Elements are taken as `const Element* const&`, which accepts `Element*`
/// and `const Element*` alike; the list stores them as `Element*`.
class OMBRA_API ElementList {
public:
    OB_MEMORY_OPERATORS

    /// Chunk size 8, capacity 0, no storage. In line, with the destructor:
    /// every Element has a list.
    ElementList() noexcept
        : data_(nullptr), count_(0), chunkSize_(kDefaultChunk), capacity_(0), lent_(false) {}
    /// Count 0, chunk size n (8 when n <= 0), capacity n (0 when n <= 0 or
    /// when no memory can be had).
    explicit ElementList(long long n) noexcept;
    /// The same count, chunk size and pointers, with capacity equal to the
    /// count. Without memory the copy is empty.
    ElementList(const ElementList& other) noexcept;
    /// Takes the other list's storage; the other list is left empty.
    ElementList(ElementList&& other) noexcept;
    /// Takes count, chunk size and pointers; replaces the storage with a
    /// block of exactly `count` slots only when its own capacity is smaller.
    /// Self-assignment, and assignment without memory, change nothing.
    ElementList& operator=(const ElementList& other) noexcept;
    /// Exchanges storage with the other list.
    ElementList& operator=(ElementList&& other) noexcept;
    /// Releases the storage (not the Elements).
    ~ElementList() {
        if (data_ && !lent_) DeleteAsCharArray(data_); // most lists of leaves have none
    }

    /// 1 when both use one storage block, or hold the same count of
    /// identical pointers slot by slot (pointer identity, not equality of
    /// the Elements).
    short operator==(const ElementList& other) const noexcept;
    short operator!=(const ElementList& other) const noexcept;

    /// Adds `e` at the end.
    void Append(const Element* const& e) noexcept;
    /// Inserts `e` at index after + 1; appends when after >= count - 1.
    void Append(const Element* const& e, long long after) noexcept;
    /// Inserts `e` at index 0.
    void Insert(const Element* const& e) noexcept;
    /// Inserts `e` at `pos`. Every insert acts only when 0 <= pos <= count.
    void Insert(const Element* const& e, long long pos) noexcept;
    /// Inserts `n` copies of `e` at `pos`; n <= 0 does nothing.
    void Insert(const Element* const& e, long long pos, long long n) noexcept;
    /// Inserts the pointers of [first, last) at `pos`. The range may lie in
    /// this list's own storage.
    void Insert(const Element* const* first, const Element* const* last, long long pos) noexcept;

    /// Drops one slot: slot i when i < count - 1 (the slots above move down),
    /// the last slot when i is at or past it. Nothing on an empty list or for
    /// a negative index.
    void Remove(long long i) noexcept;
    /// Removes the slots [first, last); nothing unless 0 <= first <= last <= count.
    void Remove(long long first, long long last) noexcept;
    /// Overwrites slot i; nothing when i is outside the list.
    void Replace(long long i, const Element* const& e) noexcept;
    /// Index of the first slot holding `e`, or -1.
    long long Location(const Element* const& e) const noexcept;
    /// Sorts the slots with the C library's quicksort; `compare` receives
    /// pointers to slots (Element**).
    void Sort(int (*compare)(const void*, const void*)) noexcept;

    /// Makes room for n slots: 1 when capacity was already >= n or the block
    /// of exactly n slots was obtained; 0 (list unchanged) without memory.
    short Preallocate(long long n) noexcept;
    /// Moves the pointers into a block of exactly max(n, count) slots when
    /// capacity exceeds that; a target of 0 releases the storage.
    void Shrink(long long n) noexcept;
    /// Sets the growth step; only n > 0 takes effect.
    void SetChunkSize(long long n) noexcept;
    long long ChunkSize() const noexcept { return chunkSize_; }
    /// Slots allocated.
    long long Capacity() const noexcept { return capacity_; }
    long long capacity() const noexcept { return capacity_; }
    /// Sets the count to 0; the storage stays allocated.
    void Clear() noexcept { count_ = 0; }

    /// Slot i, unchecked: 0 <= i < size() is the caller's duty.
    Element*& operator[](long long i) noexcept { return data_[i]; }
    Element* operator[](long long i) const noexcept { return data_[i]; }
    /// The last slot's pointer, or null for an empty list.
    Element* Last() const noexcept { return count_ > 0 ? data_[count_ - 1] : nullptr; }
    long long size() const noexcept { return count_; }
    short empty() const noexcept { return count_ == 0 ? 1 : 0; }
    /// 2^61 - 1, the most 8-byte slots that 64-bit sizes can address.
    long long max_size() const noexcept { return kMaxSize; }
    static constexpr long long kMaxSize = 2305843009213693951LL;

    /// Positions for the standard algorithms (null for a list without storage).
    Element** begin() noexcept { return data_; }
    Element** end() noexcept { return data_ + count_; }
    Element* const* begin() const noexcept { return data_; }
    Element* const* end() const noexcept { return data_ + count_; }
    /// Remove of the position's index; returns the same position.
    Element** erase(Element** pos) noexcept;
    /// Remove(first, last) by positions; returns `first`.
    Element** erase(Element** first, Element** last) noexcept;
    /// Inserts before `pos` and returns the new slot's position, or null
    /// when nothing was inserted (bad position or no memory).
    Element** insert(Element** pos, const Element* const& e) noexcept;
    void insert(Element** pos, long long n, const Element* const& e) noexcept;
    void insert(Element** pos, const Element* const* first, const Element* const* last) noexcept;
    void push_back(const Element* const& e) noexcept { Append(e); }
    void pop_back() noexcept { Remove(count_ - 1); }
    short reserve(long long n) noexcept { return Preallocate(n); }
    /// Grows by appending copies of `e`, or shrinks by dropping the tail.
    void resize(long long n, const Element* const& e = nullptr) noexcept;

protected:
    /// A block of n slots from the memory service, or null.
    static Element** NewAsCharArray(long long n) noexcept;
    static void DeleteAsCharArray(Element** block) noexcept;
    /// Writes `e` into n slots from dst.
    static void FillN(Element** dst, long long n, const Element* const& e) noexcept;

private:
    long long IndexOf(Element* const* pos) const noexcept;
    /// Makes a gap of n slots at pos (0 <= pos <= count, n > 0): moves the
    /// tail up in place, or copies around the gap into a new block; returns
    /// the storage holding the gap, or null (list unchanged) without memory.
    /// CloseGap commits it once the gap is filled.
    Element** OpenGap(long long pos, long long n, long long& newCapacity) noexcept;
    void CloseGap(Element** block, long long newCapacity, long long n) noexcept;
    /// Frees the storage unless it is lent.
    void ReleaseStorage() noexcept;

    friend class Element;
    /// Uses `slots` (room for n) as storage while it suffices; the lender
    /// keeps it, and the list never frees it. Only for a list without storage.
    void UseLentSlots(Element** slots, long long n) noexcept {
        if (data_ || !slots || n <= 0) return;
        data_ = slots;
        capacity_ = n;
        lent_ = true;
    }

    static constexpr long long kDefaultChunk = 8;
    Element** data_;
    long long count_;
    long long chunkSize_;
    long long capacity_;
    bool lent_; // data_ belongs to the Element that holds the list
};

/// A node of the document model: a kind, an id and an ordered list of
/// child Elements that it owns. Attributes are not stored here: the typed
/// views (views.h) declare one virtual accessor per attribute, which the
/// Element classes of a plug-in override.
///
/// Ownership. An Element deletes the children it owns when it is destroyed
/// and through RemoveNthChild/RemoveAllChildren with destroy true. Copies
/// share child pointers, so every child has at most one owning Element:
/// - a copy (copy construction or copy assignment) borrows the children it
///   takes over: it never deletes them; the source keeps them;
/// - a move (move construction or move assignment) hands the source's
///   ownership to the target; the source keeps the pointers as a borrower;
/// - an Element keeps owning the children it owned before an assignment
///   when they are still in its new list; those no longer in it are deleted,
///   as the list that held them is replaced (when the source lies inside one
///   of them, its children pass to the target as on a move);
/// - children added later (AddChild, AddChildBeforePosition) are owned by
///   the Element they are added to, except a pointer that it already
///   borrows, which stays its owner's;
/// - RemoveNthChild and RemoveAllChildren only detach borrowed children.
/// So no child is deleted twice. A borrower must not read its borrowed
/// children after their owner deleted them, and one Element must not be
/// added to two lists (or twice to one), as with any owning container.
/// When memory runs out, an assignment changes nothing and a constructed
/// copy starts without children rather than share them unmarked.
class OMBRA_API Element {
public:
    static void* operator new(std::size_t n) noexcept { return OBElementAllocate(n); }
    static void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
        return OBElementAllocate(n);
    }
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void* p) noexcept { OBElementRelease(p); }
    static void operator delete(void* p, const std::nothrow_t&) noexcept { OBElementRelease(p); }
    static void operator delete(void*, void*) noexcept {}
    // Arrays come from the memory service as they are.
    static void* operator new[](std::size_t n) noexcept { return OBLibAllocate(n); }
    static void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
        return OBLibAllocate(n);
    }
    static void operator delete[](void* p) noexcept { OBLibFree(p); }
    static void operator delete[](void* p, const std::nothrow_t&) noexcept { OBLibFree(p); }

    /// Takes the next id of the calling thread's generator (OBIDGenerator)
    /// and the type EL::kUndefined (233): no operation sets a type later, and
    /// 233 is the type that stands for "no kind".
    Element() noexcept;
    /// Takes the next id and the given type; no children. In line: readers
    /// make Elements by the thousand.
    explicit Element(EL::ElementTypeEnum type) noexcept
        : id_(OBIDGenerator::GetID()), type_(type), children_(), borrowed_(nullptr) {}
    /// Same id, type and child pointers; the copy borrows the children.
    Element(const Element& other) noexcept;
    /// Same id, type and child pointers; ownership passes to the new Element.
    Element(Element&& other) noexcept;
    /// Copies id, type and child pointers (see Ownership above).
    Element& operator=(const Element& other) noexcept;
    Element& operator=(Element&& other) noexcept;
    /// Deletes the owned non-null children, then releases the list.
    virtual ~Element();

    /// The type (the name of a kind is its type).
    EL::ElementTypeEnum GetName() const noexcept { return type_; }
    EL::ElementTypeEnum GetElementType() const noexcept { return type_; }
    unsigned int GetId() const noexcept { return id_; }

    unsigned long long GetChildCount() const noexcept {
        return static_cast<unsigned long long>(children_.size());
    }
    /// Appends and takes ownership of `child`. Returns 1 when added; 0 for a
    /// null child or when the list cannot grow (the caller keeps the child).
    /// A full child list as long as its chunk or longer doubles, so that adding n
    /// children one by one takes time linear in n.
    short AddChild(Element* child) noexcept;
    /// Inserts `child` so that it takes index pos, 0 <= pos < child count;
    /// returns 1 when inserted (and owned), else 0 and nothing changes.
    short AddChildBeforePosition(Element* child, long long pos) noexcept;
    /// Makes room for n children, so that adding up to n allocates nothing
    /// (a reader that knows the count from its input). Returns 0 when memory
    /// runs out (nothing changes).
    short ReserveChildren(long long n) noexcept;
    /// The first child of the type, or null.
    Element* GetChild(EL::ElementTypeEnum type) const noexcept;
    /// As GetChild; pos becomes the child's index, or -1.
    Element* GetChildAndItsPosition(EL::ElementTypeEnum type, long long& pos) const noexcept;
    /// The child at index n, or null when n >= child count.
    Element* GetNthChild(unsigned long long n) const noexcept;
    /// Removes child n (n < child count). A child this Element owns is
    /// deleted when destroy is true and passes to the caller otherwise; a
    /// borrowed child is only detached.
    void RemoveNthChild(unsigned long long n, bool destroy) noexcept;
    /// Empties the list, deleting the owned children when destroy is true;
    /// with destroy false the caller takes them over. Borrowed children are
    /// only detached.
    void RemoveAllChildren(bool destroy) noexcept;
    /// 1 when this Element holds `child` and deletes it with itself.
    short OwnsChild(const Element* child) const noexcept;

private:
    short IsBorrowed(const Element* child) const noexcept;
    void ForgetBorrowed(const Element* child) noexcept;
    void MakeRoomForChild() noexcept;
    void AssignFrom(Element& other, bool takeOwnership) noexcept;
    static bool SubtreeHolds(const Element* root, const Element* target) noexcept;

    // Stored elements get room for their first children in their own block.
    friend class OBElementRoom;
    void LendChildSlots(Element** slots, long long n) noexcept { children_.UseLentSlots(slots, n); }

    unsigned int id_;
    EL::ElementTypeEnum type_;
    ElementList children_;
    /// The children this Element holds without owning them, sorted by
    /// address; null when it owns all of them.
    ElementList* borrowed_;
};

/// The calling thread's reader bookkeeping: chunk and relationship levels and
/// the referral stack. Every operation other than Init and Reset needs the
/// thread's state, which the reader and writer base classes create in their
/// Init (after OBIDGenerator::Init) and discard in their Reset. Without it
/// the operations do nothing and the queries answer 0.
class OMBRA_API ElementUtil {
public:
    /// Creates each missing value: levels 0 and an empty referral stack
    /// (chunk size 8); existing values stay. Returns 0 when memory ran out.
    static short Init();
    /// Destroys the thread's three values.
    static void Reset();

    /// The levels are unsigned counters: ending more often than beginning
    /// wraps around, and the status then reads as a negative number.
    static void BeginChunk();
    static void EndChunk();
    static int GetChunkStatus();
    static void BeginRelationship();
    static void EndRelationship();
    static int GetRelationshipStatus();

    /// Pushes `id` onto the referral stack.
    static void MakeReferralElement(unsigned int id);
    /// 1 when `id` is on the referral stack.
    static short isReferral(unsigned int id);
};

/// The root of every value class: values come from the per-size pools of
/// pools.h. `new` of a value class yields null when its size has no pool or
/// the pool has no memory (the operator does not throw); `delete` through
/// the virtual destructor returns the block to the pool of its own size.
class OMBRA_API ValuePooled {
public:
    /// Inline, so that a value's deleting destructor goes straight to the
    /// pool's operator delete.
    virtual ~ValuePooled() = default;

    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block, std::size_t size) noexcept;
    /// Placement forms, for values built in caller-provided storage.
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}

protected:
    ValuePooled() = default;
    ValuePooled(const ValuePooled&) = default;
    ValuePooled& operator=(const ValuePooled&) = default;
};

/// The abstract attribute value: a value type fixed by the concrete class
/// and an initialized flag. A concrete `Get` writes its out-parameters only
/// while the flag is set.
class OMBRA_API Value : public ValuePooled {
public:
    /// Sets the type and the initialized flag (1). Inline, with the
    /// destructor, as values are made and released by the hundred thousand.
    explicit Value(VT::ValueTypeEnum type) noexcept : type_(type), initialized_(1) {}
    ~Value() override = default;

    /// Writes the value's type.
    virtual void GetType(VT::ValueTypeEnum& type) const;
    /// Copies the other value's payload, treating it as the same class, and
    /// sets the initialized flag. The base body sets the flag (the type is
    /// the class's and stays), so the implicit copy assignment of a concrete
    /// class, which calls it, copies the payload and sets the flag as well.
    virtual Value& operator=(Value& other) = 0;
    /// Concrete classes call this first: 0 for null or another type, 1 when
    /// the types agree; they then compare payloads.
    virtual short IsEqual(Value* other) = 0;

protected:
    Value(const Value&) = default;
    short IsInitialized() const noexcept { return initialized_; }
    void SetInitialized(short initialized) noexcept { initialized_ = initialized; }

private:
    VT::ValueTypeEnum type_;
    short initialized_;
};

/// The element-kind dictionary: 232 named slots in table order.
class OMBRA_API DictElements {
public:
    /// The name of the first slot holding `id` and true; "UNDEFINED" and
    /// false for 228, 233, negative and other unnamed values.
    static bool GetStringById(EL::ElementTypeEnum id, COBString& name);
    /// The first slot whose name matches, ignoring letter case, and true;
    /// EL::kUndefined (233) and false when none does.
    static bool GetIdByString(const COBString& name, EL::ElementTypeEnum& id);
};

/// The attribute-name dictionary: slot i holds name i, 0 to 973.
class OMBRA_API DictAttrs {
public:
    /// Name number `id`; "UNDEFINED" for every value outside 0 to 973.
    static void GetStringByNameId(AN::AttrNameEnum id, COBString& name);
    /// The attribute whose name matches exactly (letter case counts), or
    /// AN::kUndefined (978).
    static void GetNameIdByString(const COBString& name, AN::AttrNameEnum& id);
};

#endif
