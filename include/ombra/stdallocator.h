// A standard-library allocator on the installed memory service, for the
// containers that hosts, plug-ins and the library itself keep.
#ifndef OMBRA_STDALLOCATOR_H
#define OMBRA_STDALLOCATOR_H

#include <ombra/export.h>

#include <cstddef>
#include <new>

/// Containers cannot report a null block, so an exhausted service surfaces
/// as std::bad_alloc: catch it at the operation's boundary and turn it into
/// the operation's failure result.
template <class T> struct OBStdAllocator {
    typedef T value_type;
    OBStdAllocator() noexcept = default;
    template <class U> OBStdAllocator(const OBStdAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        void* p = OBLibAllocate(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { OBLibFree(p); }
    template <class U> bool operator==(const OBStdAllocator<U>&) const noexcept { return true; }
    template <class U> bool operator!=(const OBStdAllocator<U>&) const noexcept { return false; }
};

#endif
