// A contiguous, growable sequence of plain values on the memory service.
#ifndef OMBRA_COLLECTION_H
#define OMBRA_COLLECTION_H

#include <ombra/export.h>

#include <cstring>
#include <initializer_list>
#include <type_traits>

/// The library's contiguous sequence of plain values (points, reals, ids).
/// Storage comes from the memory service; an operation that needs memory
/// and cannot get it reports 0 and leaves the collection unchanged.
template <class T> class OBBaseTypeCollection {
    static_assert(std::is_trivially_copyable<T>::value,
                  "OBBaseTypeCollection holds plain values that copy byte for byte");

public:
    OB_MEMORY_OPERATORS

    OBBaseTypeCollection() noexcept : data_(nullptr), count_(0), capacity_(0) {}
    /// Copies `count` items; stays empty when memory runs out.
    OBBaseTypeCollection(const T* items, int count) noexcept : OBBaseTypeCollection() {
        Append(items, count);
    }
    OBBaseTypeCollection(std::initializer_list<T> items) noexcept : OBBaseTypeCollection() {
        Append(items.begin(), static_cast<int>(items.size()));
    }
    /// A deep copy; stays empty when memory runs out.
    OBBaseTypeCollection(const OBBaseTypeCollection& other) noexcept : OBBaseTypeCollection() {
        Append(other.data_, other.count_);
    }
    OBBaseTypeCollection(OBBaseTypeCollection&& other) noexcept
        : data_(other.data_), count_(other.count_), capacity_(other.capacity_) {
        other.data_ = nullptr;
        other.count_ = other.capacity_ = 0;
    }
    /// A deep copy; unchanged when memory runs out.
    OBBaseTypeCollection& operator=(const OBBaseTypeCollection& other) noexcept {
        if (this == &other) return *this;
        if (other.count_ > capacity_) {
            T* block = Allocate(other.count_);
            if (!block) return *this;
            OBLibFree(data_);
            data_ = block;
            capacity_ = other.count_;
        }
        if (other.count_ > 0) std::memcpy(data_, other.data_, sizeof(T) * other.count_);
        count_ = other.count_;
        return *this;
    }
    OBBaseTypeCollection& operator=(OBBaseTypeCollection&& other) noexcept {
        if (this != &other) {
            OBLibFree(data_);
            data_ = other.data_;
            count_ = other.count_;
            capacity_ = other.capacity_;
            other.data_ = nullptr;
            other.count_ = other.capacity_ = 0;
        }
        return *this;
    }
    ~OBBaseTypeCollection() { OBLibFree(data_); }

    int Count() const noexcept { return count_; }
    bool IsEmpty() const noexcept { return count_ == 0; }
    /// Unchecked access: the caller keeps `i` within 0 to Count() - 1.
    const T& operator[](int i) const noexcept { return data_[i]; }
    T& operator[](int i) noexcept { return data_[i]; }
    /// Checked access: 1 and `out` written when `i` is a valid index.
    short Get(int i, T& out) const noexcept {
        if (i < 0 || i >= count_) return 0;
        out = data_[i];
        return 1;
    }
    const T* Data() const noexcept { return data_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + count_; }

    /// Appends one item; 0 when memory runs out.
    short Add(const T& item) noexcept {
        T copy = item; // `item` may live in the block that is about to move
        if (count_ == capacity_ && !Grow(count_ + 1)) return 0;
        data_[count_++] = copy;
        return 1;
    }
    /// Appends `count` items; 0 (and nothing appended) when memory runs out.
    short Append(const T* items, int count) noexcept {
        if (count <= 0) return 1;
        if (!items || count > kMaxCount - count_) return 0;
        if (count_ + count > capacity_) {
            // Copy from a separate block when the source lies in our own storage.
            if (items >= data_ && items < data_ + count_) {
                OBBaseTypeCollection copy(items, count);
                if (copy.count_ != count) return 0;
                return Append(copy.data_, count);
            }
            if (!Grow(count_ + count)) return 0;
        }
        std::memmove(data_ + count_, items, sizeof(T) * count);
        count_ += count;
        return 1;
    }
    /// Makes room for `capacity` items; 0 when memory runs out.
    short Reserve(int capacity) noexcept {
        if (capacity <= capacity_) return 1;
        return Resize(capacity);
    }
    /// Removes every item and releases the storage.
    void Clear() noexcept {
        OBLibFree(data_);
        data_ = nullptr;
        count_ = capacity_ = 0;
    }

private:
    static constexpr int kMaxCount = 0x7fffffff / static_cast<int>(sizeof(T));

    static T* Allocate(int count) noexcept {
        return static_cast<T*>(OBLibAllocate(sizeof(T) * static_cast<std::size_t>(count)));
    }
    short Grow(int needed) noexcept {
        if (needed > kMaxCount) return 0;
        int grown = capacity_ < 8 ? 8 : (capacity_ > kMaxCount / 2 ? kMaxCount : capacity_ * 2);
        return Resize(grown < needed ? needed : grown);
    }
    short Resize(int capacity) noexcept {
        if (capacity > kMaxCount) return 0;
        T* block = Allocate(capacity);
        if (!block) return 0;
        if (count_ > 0) std::memcpy(block, data_, sizeof(T) * count_);
        OBLibFree(data_);
        data_ = block;
        capacity_ = capacity;
        return 1;
    }

    T* data_;
    int count_;
    int capacity_;
};

#endif
