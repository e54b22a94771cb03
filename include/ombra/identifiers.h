// Element identifiers: the per-thread id counter, id stacks and id tables.
#ifndef OMBRA_IDENTIFIERS_H
#define OMBRA_IDENTIFIERS_H

#include <ombra/export.h>

/// The all-ones id: the top of an empty OBIDStack and the empty slot of an
/// OBIDTable.
constexpr unsigned int kOBNoID = 0xFFFFFFFFu;

/// Hands out element ids from a counter kept separately for each thread, so
/// every conversion numbers its Elements from 0.
class OMBRA_API OBIDGenerator {
public:
    /// Prepares the calling thread's counter at 0; an existing counter stays.
    /// The reader and writer base classes call it when a conversion starts.
    /// Returns 0 when the counter's memory cannot be obtained.
    static short Init();
    /// The calling thread's next id (the first is 0). A thread whose counter
    /// was never prepared receives kOBNoID.
    static unsigned int GetID();
    /// Discards the calling thread's counter; the next Init starts from 0.
    static void Reset();
};

/// A stack of ids for nesting. Storage grows by the chunk size (8), one
/// slot before it is full; a failed allocation leaves the stack unchanged.
class OMBRA_API OBIDStack {
public:
    OB_MEMORY_OPERATORS

    /// Empty, chunk size 8, no storage.
    OBIDStack() noexcept;
    /// The same ids and chunk size, with exactly as many slots as ids (none
    /// when memory runs out).
    OBIDStack(const OBIDStack& other) noexcept;
    /// Takes exactly as many slots as `other` holds ids and copies them;
    /// keeps its own chunk size. Nothing happens when both hold the same ids
    /// or when memory runs out.
    OBIDStack& operator=(const OBIDStack& other) noexcept;
    ~OBIDStack();

    /// Pushes `id`; 0 (and nothing pushed) when the stack cannot grow.
    short push(unsigned int id) noexcept;
    /// The top id, or kOBNoID for an empty stack.
    unsigned int top() const noexcept;
    /// Removes and returns the top id, or kOBNoID for an empty stack.
    unsigned int pop() noexcept;
    /// 1 when `id` is anywhere on the stack.
    short isPresent(unsigned int id) const noexcept;
    /// Empties the stack and releases its storage.
    void clear() noexcept;
    void Reset() noexcept { clear(); }

    long long size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }
    long long capacity() const noexcept { return capacity_; }
    long long chunkSize() const noexcept { return chunkSize_; }
    /// The id at `index` (0 is the bottom), or kOBNoID outside the stack.
    unsigned int at(long long index) const noexcept {
        return (index >= 0 && index < count_) ? data_[index] : kOBNoID;
    }

private:
    unsigned int* data_;
    long long count_;
    long long chunkSize_;
    long long capacity_;
};

/// An unordered collection of ids (duplicates allowed). Storage starts at
/// 100 slots and doubles; kOBNoID marks an empty slot and is dropped by the
/// next compaction.
class OMBRA_API OBIDTable {
public:
    OB_MEMORY_OPERATORS

    OBIDTable() noexcept : data_(nullptr), count_(0), capacity_(0) {}
    ~OBIDTable();
    /// Shares the other table's storage (a shallow copy): afterwards only one
    /// of the two may be destroyed. Its own storage, unless shared, is released.
    OBIDTable& operator=(const OBIDTable& other) noexcept;
    /// Copying by construction would share storage as well; use operator=.
    OBIDTable(const OBIDTable&) = delete;

    /// Appends `id`; 0 (and nothing appended) when the table cannot grow.
    short Add(unsigned int id) noexcept;
    /// 1 when `id` is among the entries.
    short Lookup(unsigned int id) const noexcept;
    /// Removes the first entry equal to `id`; a non-member changes nothing.
    void Delete(unsigned int id) noexcept;

    int Count() const noexcept { return count_; }
    int Capacity() const noexcept { return capacity_; }
    /// The entry at `index`, or kOBNoID outside the table.
    unsigned int At(int index) const noexcept {
        return (index >= 0 && index < count_) ? data_[index] : kOBNoID;
    }

protected:
    /// Moves the entries that are not kOBNoID down over the empty slots,
    /// keeping their order, and sets the count to their number.
    void Compact() noexcept;

private:
    unsigned int* data_;
    int count_;
    int capacity_;
};

#endif
