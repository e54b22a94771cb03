// Element blocks: on their own, or carved from an arena's slab. The word in
// front of each block names its slab (null for a block of its own); a slab
// goes back to the memory service when its last element is released and its
// arena has let go of it.
#include <ombra/elements.h>
#include <ombra/memory.h>
#include <ombra/storedelements.h>

#include <atomic>
#include <cstdint>
#include <new>

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define OMBRA_ELEMENT_BLOCKS_APART 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OMBRA_ELEMENT_BLOCKS_APART 1
#endif
#endif

constexpr std::size_t kHeader = 16; // keeps the element aligned as the service's blocks are
// A slab holds a few dozen elements. Larger slabs ask the memory service
// less often (32 KiB saved 0.6% of a reading) but cost 1% more peak memory
// on the largest documents: a slab stays while any of its elements does.
[[maybe_unused]] constexpr std::size_t kSlabBytes = 8192;
[[maybe_unused]] constexpr std::size_t kLargest = 1024; // larger elements get a block of their own
// The arena's own hold on the slab it fills, released when it moves on.
constexpr long long kHeld = 1LL << 40;

struct Slab {
    std::atomic<long long> live; // elements not yet released, plus kHeld while filled
    long long made;              // the arena's count of blocks handed out
    char* next;
    char* end;
};
[[maybe_unused]] constexpr std::size_t kSlabHead = (sizeof(Slab) + kHeader - 1) / kHeader * kHeader;

void* Stamp(char* block, Slab* slab) {
    *reinterpret_cast<Slab**>(block) = slab;
    return block + kHeader;
}

void Drop(Slab* slab, long long n) {
    if (slab->live.fetch_sub(n, std::memory_order_acq_rel) != n) return;
    slab->~Slab();
    OBLibFree(slab);
}

} // namespace

void* OBElementAllocate(std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - kHeader) return nullptr;
    auto* block = static_cast<char*>(OBLibAllocate(size + kHeader));
    return block ? Stamp(block, nullptr) : nullptr;
}

void OBElementRelease(void* element) noexcept {
    if (!element) return;
    char* block = static_cast<char*>(element) - kHeader;
    if (Slab* slab = *reinterpret_cast<Slab**>(block))
        Drop(slab, 1);
    else
        OBLibFree(block);
}

OBElementArena::~OBElementArena() {
    if (auto* slab = static_cast<Slab*>(slab_)) Drop(slab, kHeld - slab->made);
}

#if !defined(OMBRA_ELEMENT_BLOCKS_APART)
namespace {

// The bytes a block of size takes in a slab, its header included.
std::size_t SlabNeed(std::size_t size) {
    return kHeader + (size + kHeader - 1) / kHeader * kHeader;
}

void* Carve(Slab* slab, std::size_t need) {
    char* block = slab->next;
    slab->next += need;
    ++slab->made;
    return Stamp(block, slab);
}

// Allocate when the arena's slab has no room: a new slab, or a block of its
// own for a large element or without a memory service.
__attribute__((noinline)) void* AllocateAnew(void*& held, std::size_t size) {
    if (size > kLargest || !OBMemoryHandler::GetMemoryService()) return OBElementAllocate(size);
    if (auto* slab = static_cast<Slab*>(held)) Drop(slab, kHeld - slab->made);
    held = nullptr;
    void* memory = OBLibAllocate(kSlabBytes);
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
    auto* slab = static_cast<Slab*>(slab_);
    if (slab && size <= kLargest) {
        const std::size_t need = SlabNeed(size);
        if (static_cast<std::size_t>(slab->end - slab->next) >= need) return Carve(slab, need);
    }
    return AllocateAnew(slab_, size);
#endif
}
