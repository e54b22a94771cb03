#include <ombra/identifiers.h>
#include <ombra/memory.h>

#include <boost/thread/tss.hpp>

#include <new>

#include <climits>
#include <cstdint>

namespace {

// The counter that the thread's slot holds, or null: GetID runs for every
// Element, and this pointer (initial-exec, so no call finds it) spares it
// the slot's own lookup. Only Init and ReleaseCounter, on the slot's
// thread, change it, always together with the slot.
__attribute__((tls_model("initial-exec"))) thread_local unsigned int* tCounter;

// Runs on the counter's own thread, for Reset and at the thread's end.
void ReleaseCounter(unsigned int* counter) {
    if (tCounter == counter) tCounter = nullptr;
    OBLibFree(counter);
}

// The calling thread's id counter, on the memory service.
boost::thread_specific_ptr<unsigned int>& Counter() {
    static boost::thread_specific_ptr<unsigned int> counter(ReleaseCounter);
    return counter;
}

unsigned int* AllocateIds(long long count) {
    if (count <= 0 || static_cast<unsigned long long>(count) > SIZE_MAX / sizeof(unsigned int))
        return nullptr;
    return static_cast<unsigned int*>(OBLibAllocate(sizeof(unsigned int) * count));
}

} // namespace

// ---- OBIDGenerator ----

short OBIDGenerator::Init() {
    boost::thread_specific_ptr<unsigned int>& counter = Counter();
    if (unsigned int* existing = counter.get()) {
        tCounter = existing;
        return 1;
    }
    unsigned int* fresh = static_cast<unsigned int*>(OBLibAllocate(sizeof(unsigned int)));
    if (!fresh) return 0;
    *fresh = 0;
    try { // the slot's own bookkeeping may find no memory: the counter is ours then
        counter.reset(fresh);
        tCounter = fresh;
    } catch (const std::bad_alloc&) {
        OBLibFree(fresh);
        throw;
    }
    return 1;
}

unsigned int OBIDGenerator::GetID() {
    unsigned int* counter = tCounter;
    if (!counter) return kOBNoID;
    return (*counter)++;
}

void OBIDGenerator::Reset() {
    Counter().reset();
}

// ---- OBIDStack ----

OBIDStack::OBIDStack() noexcept : data_(nullptr), count_(0), chunkSize_(8), capacity_(0) {}

OBIDStack::OBIDStack(const OBIDStack& other) noexcept
    : data_(nullptr), count_(0), chunkSize_(other.chunkSize_), capacity_(0) {
    if (other.count_ == 0) return;
    data_ = AllocateIds(other.count_);
    if (!data_) return;
    OBMemcpy(data_, other.data_, sizeof(unsigned int) * other.count_);
    count_ = capacity_ = other.count_;
}

OBIDStack& OBIDStack::operator=(const OBIDStack& other) noexcept {
    if (this == &other || data_ == other.data_) return *this;
    if (count_ == other.count_ && OBMemcmp(data_, other.data_, sizeof(unsigned int) * count_) == 0)
        return *this;
    unsigned int* block = nullptr;
    if (other.count_ > 0) {
        block = AllocateIds(other.count_);
        if (!block) return *this;
        OBMemcpy(block, other.data_, sizeof(unsigned int) * other.count_);
    }
    OBLibFree(data_);
    data_ = block;
    count_ = capacity_ = other.count_;
    return *this;
}

OBIDStack::~OBIDStack() {
    OBLibFree(data_);
}

short OBIDStack::push(unsigned int id) noexcept {
    // Growth comes one slot early: a stack of 8 slots holding 7 ids grows.
    if (count_ + 1 >= capacity_) {
        long long chunk = chunkSize_ > 0 ? chunkSize_ : 8;
        if (count_ > LLONG_MAX - chunk) return 0;
        long long grown = count_ + chunk;
        unsigned int* block = AllocateIds(grown);
        if (!block) return 0;
        if (count_ > 0) OBMemcpy(block, data_, sizeof(unsigned int) * count_);
        OBLibFree(data_);
        data_ = block;
        capacity_ = grown;
    }
    data_[count_++] = id;
    return 1;
}

unsigned int OBIDStack::top() const noexcept {
    return count_ > 0 ? data_[count_ - 1] : kOBNoID;
}

unsigned int OBIDStack::pop() noexcept {
    return count_ > 0 ? data_[--count_] : kOBNoID;
}

short OBIDStack::isPresent(unsigned int id) const noexcept {
    for (long long i = 0; i < count_; ++i)
        if (data_[i] == id) return 1;
    return 0;
}

void OBIDStack::clear() noexcept {
    OBLibFree(data_);
    data_ = nullptr;
    count_ = capacity_ = 0;
}

// ---- OBIDTable ----

OBIDTable::~OBIDTable() {
    OBLibFree(data_);
}

OBIDTable& OBIDTable::operator=(const OBIDTable& other) noexcept {
    if (this == &other) return *this;
    if (data_ != other.data_) OBLibFree(data_);
    data_ = other.data_;
    count_ = other.count_;
    capacity_ = other.capacity_;
    return *this;
}

short OBIDTable::Add(unsigned int id) noexcept {
    if (count_ >= capacity_) {
        if (capacity_ > INT_MAX / 2) return 0;
        int grown = capacity_ == 0 ? 100 : capacity_ * 2;
        unsigned int* block = AllocateIds(grown);
        if (!block) return 0;
        OBMemset(block, 0xFF, sizeof(unsigned int) * grown); // every slot starts empty
        if (count_ > 0) OBMemcpy(block, data_, sizeof(unsigned int) * count_);
        OBLibFree(data_);
        data_ = block;
        capacity_ = grown;
    }
    data_[count_++] = id;
    return 1;
}

short OBIDTable::Lookup(unsigned int id) const noexcept {
    for (int i = 0; i < count_; ++i)
        if (data_[i] == id) return 1;
    return 0;
}

void OBIDTable::Delete(unsigned int id) noexcept {
    for (int i = 0; i < count_; ++i) {
        if (data_[i] == id) {
            data_[i] = kOBNoID;
            Compact();
            return;
        }
    }
}

void OBIDTable::Compact() noexcept {
    int kept = 0;
    for (int i = 0; i < count_; ++i)
        if (data_[i] != kOBNoID) data_[kept++] = data_[i];
    // Freed slots read as empty again.
    for (int i = kept; i < count_; ++i)
        data_[i] = kOBNoID;
    count_ = kept;
}
