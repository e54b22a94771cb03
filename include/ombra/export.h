// Symbol visibility and the allocation operators shared by core and plug-ins.
#ifndef OMBRA_EXPORT_H
#define OMBRA_EXPORT_H

#include <cstddef>
#include <new>

/// Marks a class or function as part of libombra's exported interface.
/// Everything else in the library is hidden.
#if defined(OMBRA_BUILDING_LIBRARY)
#define OMBRA_API __attribute__((visibility("default")))
#else
#define OMBRA_API __attribute__((visibility("default")))
#endif

/// Allocation through the installed memory service (see memory.h).
/// Returns null when no service is installed or the service has no memory.
extern "C" OMBRA_API void* OBLibAllocate(std::size_t size) noexcept;
/// Releases a block from OBLibAllocate; null is ignored.
extern "C" OMBRA_API void OBLibFree(void* block) noexcept;

/// Gives a class allocation through the memory service. The operators are
/// non-throwing, so `new T` yields null instead of throwing when the service
/// has no memory; core and plug-ins therefore free each other's objects with
/// one allocator.
#define OB_MEMORY_OPERATORS                                                                        \
    static void* operator new(std::size_t n) noexcept {                                            \
        return OBLibAllocate(n);                                                                   \
    }                                                                                              \
    static void* operator new[](std::size_t n) noexcept {                                          \
        return OBLibAllocate(n);                                                                   \
    }                                                                                              \
    static void* operator new(std::size_t n, const std::nothrow_t&) noexcept {                     \
        return OBLibAllocate(n);                                                                   \
    }                                                                                              \
    static void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {                   \
        return OBLibAllocate(n);                                                                   \
    }                                                                                              \
    static void* operator new(std::size_t, void* where) noexcept {                                 \
        return where;                                                                              \
    }                                                                                              \
    static void operator delete(void* p) noexcept {                                                \
        OBLibFree(p);                                                                              \
    }                                                                                              \
    static void operator delete[](void* p) noexcept {                                              \
        OBLibFree(p);                                                                              \
    }                                                                                              \
    static void operator delete(void* p, const std::nothrow_t&) noexcept {                         \
        OBLibFree(p);                                                                              \
    }                                                                                              \
    static void operator delete[](void* p, const std::nothrow_t&) noexcept {                       \
        OBLibFree(p);                                                                              \
    }                                                                                              \
    static void operator delete(void*, void*) noexcept {}

#endif
