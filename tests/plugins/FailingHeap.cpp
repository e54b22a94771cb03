#include "PluginTestSupport.h"

#include <pugixml.hpp>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> gCountdown{-1};
std::atomic<bool> gRefused{false}, gRefusedNeeded{false};

void* Allocate(std::size_t n, bool needed) {
    if (gCountdown.load() >= 0 && gCountdown.fetch_sub(1) <= 0) {
        gRefused = true;
        if (needed) gRefusedNeeded = true;
        return nullptr;
    }
    return std::malloc(n ? n : 1);
}

} // namespace

namespace plugin_test {

FailHeapAfter::FailHeapAfter(long long n) {
    gRefused = gRefusedNeeded = false;
    pugi::set_memory_management_functions(HeapAllocate, std::free);
    gCountdown = n;
}

FailHeapAfter::~FailHeapAfter() {
    gCountdown = -1;
}

bool FailHeapAfter::Refused(bool needed) {
    return needed ? gRefusedNeeded : gRefused;
}

void* HeapAllocate(std::size_t n) {
    return Allocate(n, true);
}

} // namespace plugin_test

// ThreadSanitizer brings its own operator new; the heap sweeps do not run
// under it.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OMBRA_SANITIZER_OWNS_NEW 1
#endif
#endif
#ifndef OMBRA_SANITIZER_OWNS_NEW
void* operator new(std::size_t n) {
    if (void* p = Allocate(n, true)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n, false);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return Allocate(n, false);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
#endif
