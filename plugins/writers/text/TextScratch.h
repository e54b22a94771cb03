// Scratch space on the memory service that grows as needed and is reused.
#ifndef OMBRA_TEXTWRITER_SCRATCH_H
#define OMBRA_TEXTWRITER_SCRATCH_H

#include <ombra/export.h>

/// A block of at least n items of a plain type; Get yields null when the
/// memory service has no room, and the old block is kept until a larger one
/// is needed. Its content does not survive a growth.
template <class T> class OBTextScratch {
public:
    OBTextScratch() : data_(nullptr), capacity_(0) {}
    OBTextScratch(const OBTextScratch&) = delete;
    OBTextScratch& operator=(const OBTextScratch&) = delete;
    ~OBTextScratch() { OBLibFree(data_); }

    T* Get(long long n) {
        if (n <= capacity_) return data_;
        OBLibFree(data_);
        data_ = nullptr;
        capacity_ = 0;
        if (n <= 0 || static_cast<unsigned long long>(n) > (~0ull >> 2) / sizeof(T)) return nullptr;
        data_ = static_cast<T*>(OBLibAllocate(static_cast<std::size_t>(n) * sizeof(T)));
        if (data_) capacity_ = n;
        return data_;
    }

private:
    T* data_;
    long long capacity_;
};

#endif
