// Element blocks: on their own, or carved from an arena's slab. The word in
// front of each block names its slab (null for a block of its own); a slab
// goes back to the memory service when its last element is released and its
// arena has let go of it.
#include <ombra/elements.h>
#include <ombra/memory.h>
#include <ombra/storedelements.h>

#include "model/ElementSlab.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <thread>

namespace {

using ombra_detail::Carve;
using ombra_detail::kBlockHeader;
using ombra_detail::Slab;
using ombra_detail::SlabNeed;
using ombra_detail::StampBlock;

// A slab holds a few dozen elements. Larger slabs ask the memory service
// less often (32 KiB saved 0.6% of a reading) but cost 1% more peak memory
// on the largest documents: a slab stays while any of its elements does.
[[maybe_unused]] constexpr std::size_t kSlabBytes = 8192;
// The arena's own hold on the slab it fills, released when it moves on.
constexpr long long kHeld = 1LL << 40;
[[maybe_unused]] constexpr std::size_t kSlabHead =
    (sizeof(Slab) + kBlockHeader - 1) / kBlockHeader * kBlockHeader;

// A few emptied slabs wait for the next arena: the service's allocator
// takes ~900 instructions to hand out and merge back 8 KiB. They belong to
// the service that gave them and go back to it when a service is deleted or
// at exit.
constexpr int kCachedSlabs = 64;
struct SlabCache {
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    int count = 0;
    OBMemoryService* owner = nullptr;
    void* slabs[kCachedSlabs];
};
SlabCache gCache;
// The cache empties at exit if no service is deleted before.
struct StartUp {
    StartUp() {
        std::atexit([] { ombra_detail::ReleaseCachedSlabs(); });
    }
} gStartUp;

class CacheLock {
public:
    CacheLock() {
        while (gCache.busy.test_and_set(std::memory_order_acquire))
            std::this_thread::yield();
    }
    ~CacheLock() { gCache.busy.clear(std::memory_order_release); }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;
};

bool KeepSlab(void* memory) {
    OBMemoryService* service = OBMemoryHandler::GetMemoryService();
    if (!service) return false;
    CacheLock lock;
    if (gCache.count == 0) gCache.owner = service;
    if (gCache.owner != service || gCache.count == kCachedSlabs) return false;
    gCache.slabs[gCache.count++] = memory;
    return true;
}

[[maybe_unused]] void* TakeSlab() {
    OBMemoryService* service = OBMemoryHandler::GetMemoryService();
    {
        CacheLock lock;
        if (gCache.count && gCache.owner == service) return gCache.slabs[--gCache.count];
    }
    return OBLibAllocate(kSlabBytes);
}

// Apart from the last release of a slab, a release is a count down with no
// frame.
__attribute__((noinline)) void Empty(Slab* slab) {
    slab->~Slab();
    if (!KeepSlab(slab)) OBLibFree(slab);
}

inline void Drop(Slab* slab, long long n) {
    if (slab->live.fetch_sub(n, std::memory_order_acq_rel) == n) Empty(slab);
}

} // namespace

void* OBElementAllocate(std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - kBlockHeader) return nullptr;
    auto* block = static_cast<char*>(OBLibAllocate(size + kBlockHeader));
    return block ? StampBlock(block, nullptr) : nullptr;
}

void OBElementRelease(void* element) noexcept {
    if (!element) return;
    char* block = static_cast<char*>(element) - kBlockHeader;
    if (Slab* slab = *reinterpret_cast<Slab**>(block))
        Drop(slab, 1);
    else
        OBLibFree(block);
}

namespace ombra_detail {
void ReleasedBlocks::Drop(Slab* slab, long long n) noexcept {
    ::Drop(slab, n);
}

__attribute__((noinline)) void ReleasedBlocks::Switch(char* block, Slab* slab) noexcept {
    if (count_) ::Drop(slab_, count_);
    slab_ = slab;
    count_ = slab ? 1 : 0;
    if (!slab) OBLibFree(block);
}

void ReleaseCachedSlabs() noexcept {
    CacheLock lock;
    while (gCache.count)
        gCache.owner->DeAllocate(gCache.slabs[--gCache.count]);
    gCache.owner = nullptr;
}
} // namespace ombra_detail

OBElementArena::~OBElementArena() {
    if (auto* slab = static_cast<Slab*>(slab_)) Drop(slab, kHeld - slab->made);
}

#if !defined(OMBRA_ELEMENT_BLOCKS_APART)
namespace {

// Allocate when the arena's slab has no room: a new slab, or a block of its
// own for a large element or without a memory service.
__attribute__((noinline)) void* AllocateAnew(void*& held, std::size_t size) {
    if (size > ombra_detail::kLargestCarved || !OBMemoryHandler::GetMemoryService())
        return OBElementAllocate(size);
    if (auto* slab = static_cast<Slab*>(held)) Drop(slab, kHeld - slab->made);
    held = nullptr;
    void* memory = TakeSlab();
    if (!memory) return OBElementAllocate(size); // a small block may still be had
    char* start = static_cast<char*>(memory);
    auto* slab = new (memory) Slab{{kHeld}, 0, start + kSlabHead, start + kSlabBytes};
    held = slab;
    return Carve(slab, SlabNeed(size));
}

} // namespace
#endif

// Nearly every element fits the slab at hand: that path has no call.
void* OBElementArena::Allocate(std::size_t size) noexcept {
#if defined(OMBRA_ELEMENT_BLOCKS_APART)
    // Blocks of their own let the sanitizer see each element's lifetime.
    return OBElementAllocate(size);
#else
    if (void* block = ombra_detail::CarveInLine(slab_, size)) return block;
    return AllocateAnew(slab_, size);
#endif
}
