#include <ombra/elements.h>
#include <ombra/memory.h>

#include <cstdint>
#include <cstdlib>

namespace {

inline Element* Unconst(const Element* e) {
    return const_cast<Element*>(e);
}

} // namespace

// ---- storage helpers ----

Element** ElementList::NewAsCharArray(long long n) noexcept {
    if (n <= 0 || n > kMaxSize) return nullptr;
    return static_cast<Element**>(OBLibAllocate(static_cast<std::size_t>(n) * sizeof(Element*)));
}

void ElementList::DeleteAsCharArray(Element** block) noexcept {
    OBLibFree(block);
}

void ElementList::ReleaseStorage() noexcept {
    if (data_ && !lent_) DeleteAsCharArray(data_); // most lists of leaves have none
    lent_ = false;
}

void ElementList::FillN(Element** dst, long long n, const Element* const& e) noexcept {
    Element* value = Unconst(e);
    for (long long i = 0; i < n; ++i)
        dst[i] = value;
}

// ---- construction ----

ElementList::ElementList(long long n) noexcept
    : data_(nullptr), count_(0), chunkSize_(n > 0 ? n : kDefaultChunk), capacity_(0), lent_(false) {
    if (n > 0) {
        data_ = NewAsCharArray(n);
        if (data_) capacity_ = n;
    }
}

ElementList::ElementList(const ElementList& other) noexcept
    : data_(nullptr), count_(0), chunkSize_(other.chunkSize_), capacity_(0), lent_(false) {
    if (other.count_ == 0) return;
    data_ = NewAsCharArray(other.count_);
    if (!data_) return;
    OBMemcpy(data_, other.data_, sizeof(Element*) * other.count_);
    count_ = capacity_ = other.count_;
}

ElementList::ElementList(ElementList&& other) noexcept
    : data_(other.data_), count_(other.count_), chunkSize_(other.chunkSize_),
      capacity_(other.capacity_), lent_(other.lent_) {
    other.data_ = nullptr;
    other.count_ = other.capacity_ = 0;
    other.lent_ = false;
}

ElementList& ElementList::operator=(const ElementList& other) noexcept {
    if (this == &other) return *this;
    if (capacity_ < other.count_) {
        Element** block = NewAsCharArray(other.count_);
        if (!block) return *this;
        ReleaseStorage();
        data_ = block;
        capacity_ = other.count_;
    }
    if (other.count_ > 0 && data_ != other.data_)
        OBMemmove(data_, other.data_, sizeof(Element*) * other.count_);
    count_ = other.count_;
    chunkSize_ = other.chunkSize_;
    return *this;
}

ElementList& ElementList::operator=(ElementList&& other) noexcept {
    if (this == &other) return *this;
    Element** data = data_;
    long long count = count_, chunk = chunkSize_, capacity = capacity_;
    bool lent = lent_;
    data_ = other.data_;
    count_ = other.count_;
    chunkSize_ = other.chunkSize_;
    capacity_ = other.capacity_;
    lent_ = other.lent_;
    other.data_ = data;
    other.count_ = count;
    other.chunkSize_ = chunk;
    other.capacity_ = capacity;
    other.lent_ = lent;
    return *this;
}

// ---- comparison ----

short ElementList::operator==(const ElementList& other) const noexcept {
    if (data_ == other.data_ && count_ == other.count_) return 1;
    if (count_ != other.count_) return 0;
    for (long long i = 0; i < count_; ++i)
        if (data_[i] != other.data_[i]) return 0;
    return 1;
}

short ElementList::operator!=(const ElementList& other) const noexcept {
    return *this == other ? 0 : 1;
}

// ---- growth ----

short ElementList::Preallocate(long long n) noexcept {
    if (capacity_ >= n) return 1;
    Element** block = NewAsCharArray(n);
    if (!block) return 0;
    if (count_ > 0) OBMemcpy(block, data_, sizeof(Element*) * count_);
    ReleaseStorage();
    data_ = block;
    capacity_ = n;
    return 1;
}

void ElementList::Shrink(long long n) noexcept {
    long long target = n > count_ ? n : count_;
    if (capacity_ <= target) return;
    if (target == 0) {
        ReleaseStorage();
        data_ = nullptr;
        capacity_ = 0;
        return;
    }
    Element** block = NewAsCharArray(target);
    if (!block) return;
    if (count_ > 0) OBMemcpy(block, data_, sizeof(Element*) * count_);
    ReleaseStorage();
    data_ = block;
    capacity_ = target;
}

void ElementList::SetChunkSize(long long n) noexcept {
    if (n > 0) chunkSize_ = n;
}

Element** ElementList::OpenGap(long long pos, long long n, long long& newCapacity) noexcept {
    if (capacity_ - count_ >= n) {
        // In place: the tail moves up by n (memmove handles the overlap).
        if (count_ > pos)
            OBMemmove(data_ + pos + n, data_ + pos, sizeof(Element*) * (count_ - pos));
        newCapacity = capacity_;
        return data_;
    }
    long long step = n > chunkSize_ ? n : chunkSize_;
    if (count_ > kMaxSize - step) return nullptr;
    newCapacity = count_ + step;
    Element** block = NewAsCharArray(newCapacity);
    if (!block) return nullptr;
    if (pos > 0) OBMemcpy(block, data_, sizeof(Element*) * pos);
    if (count_ > pos) OBMemcpy(block + pos + n, data_ + pos, sizeof(Element*) * (count_ - pos));
    return block;
}

void ElementList::CloseGap(Element** block, long long newCapacity, long long n) noexcept {
    if (block != data_) {
        ReleaseStorage();
        data_ = block;
        capacity_ = newCapacity;
    }
    count_ += n;
}

// ---- appending and inserting ----

void ElementList::Append(const Element* const& e) noexcept {
    Element* value = Unconst(e); // e may refer to one of our own slots
    if (count_ + 1 > capacity_) {
        if (count_ > kMaxSize - chunkSize_) return;
        if (!Preallocate(count_ + chunkSize_)) return;
    }
    data_[count_++] = value;
}

void ElementList::Append(const Element* const& e, long long after) noexcept {
    if (after >= count_ - 1)
        Append(e);
    else
        Insert(e, after + 1);
}

void ElementList::Insert(const Element* const& e) noexcept {
    Insert(e, 0, 1);
}

void ElementList::Insert(const Element* const& e, long long pos) noexcept {
    Insert(e, pos, 1);
}

void ElementList::Insert(const Element* const& e, long long pos, long long n) noexcept {
    if (pos < 0 || pos > count_ || n <= 0) return;
    Element* value = Unconst(e); // e may refer to one of our own slots
    long long newCapacity = 0;
    Element** block = OpenGap(pos, n, newCapacity);
    if (!block) return;
    FillN(block + pos, n, value);
    CloseGap(block, newCapacity, n);
}

void ElementList::Insert(const Element* const* first, const Element* const* last,
                         long long pos) noexcept {
    if (pos < 0 || pos > count_ || !first || !last || last <= first) return;
    long long n = last - first;
    std::uintptr_t lo = reinterpret_cast<std::uintptr_t>(data_);
    std::uintptr_t hi = lo + sizeof(Element*) * static_cast<std::uintptr_t>(count_);
    bool inside = data_ && reinterpret_cast<std::uintptr_t>(first) >= lo &&
                  reinterpret_cast<std::uintptr_t>(last) <= hi;
    long long from = inside ? static_cast<long long>(
                                  (reinterpret_cast<std::uintptr_t>(first) - lo) / sizeof(Element*))
                            : 0;
    long long newCapacity = 0;
    Element** block = OpenGap(pos, n, newCapacity);
    if (!block) return;
    if (block != data_ || !inside) {
        // A new block leaves the source intact in the old one.
        for (long long i = 0; i < n; ++i)
            block[pos + i] = Unconst(first[i]);
    } else {
        // The source lay in our own slots: those at or above pos moved up by n.
        for (long long i = 0; i < n; ++i) {
            long long src = from + i;
            if (src >= pos) src += n;
            block[pos + i] = block[src];
        }
    }
    CloseGap(block, newCapacity, n);
}

// ---- removing and replacing ----

void ElementList::Remove(long long i) noexcept {
    if (count_ == 0 || i < 0) return;
    --count_;
    if (i < count_) OBMemmove(data_ + i, data_ + i + 1, sizeof(Element*) * (count_ - i));
}

void ElementList::Remove(long long first, long long last) noexcept {
    if (count_ == 0 || first < 0 || first > last || last > count_) return;
    if (last < count_) OBMemmove(data_ + first, data_ + last, sizeof(Element*) * (count_ - last));
    count_ -= last - first;
}

void ElementList::Replace(long long i, const Element* const& e) noexcept {
    if (i >= 0 && i < count_) data_[i] = Unconst(e);
}

long long ElementList::Location(const Element* const& e) const noexcept {
    for (long long i = 0; i < count_; ++i)
        if (data_[i] == e) return i;
    return -1;
}

void ElementList::Sort(int (*compare)(const void*, const void*)) noexcept {
    if (count_ > 1 && compare)
        std::qsort(data_, static_cast<std::size_t>(count_), sizeof(Element*), compare);
}

// ---- standard-container companions ----

long long ElementList::IndexOf(Element* const* pos) const noexcept {
    // Positions are compared as addresses, so a foreign pointer is found to
    // be outside rather than trusted.
    if (!data_) return pos ? -1 : 0;
    std::uintptr_t p = reinterpret_cast<std::uintptr_t>(pos);
    std::uintptr_t b = reinterpret_cast<std::uintptr_t>(data_);
    if (p < b || p > b + sizeof(Element*) * static_cast<std::uintptr_t>(count_)) return -1;
    if ((p - b) % sizeof(Element*) != 0) return -1;
    return static_cast<long long>((p - b) / sizeof(Element*));
}

Element** ElementList::erase(Element** pos) noexcept {
    long long i = IndexOf(pos);
    if (i >= 0 && i < count_) Remove(i);
    return pos;
}

Element** ElementList::erase(Element** first, Element** last) noexcept {
    long long a = IndexOf(first), b = IndexOf(last);
    if (a >= 0 && b >= 0) Remove(a, b);
    return first;
}

Element** ElementList::insert(Element** pos, const Element* const& e) noexcept {
    long long i = IndexOf(pos);
    if (i < 0) return nullptr;
    long long before = count_;
    Insert(e, i, 1);
    return count_ > before ? data_ + i : nullptr;
}

void ElementList::insert(Element** pos, long long n, const Element* const& e) noexcept {
    long long i = IndexOf(pos);
    if (i >= 0) Insert(e, i, n);
}

void ElementList::insert(Element** pos, const Element* const* first,
                         const Element* const* last) noexcept {
    long long i = IndexOf(pos);
    if (i >= 0) Insert(first, last, i);
}

void ElementList::resize(long long n, const Element* const& e) noexcept {
    if (n < 0) return;
    if (n < count_)
        count_ = n;
    else if (n > count_)
        Insert(e, count_, n - count_);
}
