// The slabs an arena carves element blocks from, shared by the arena and by
// the maker of stored elements, which carves in line: nearly every element
// fits the slab at hand. The word in front of each block names its slab
// (null for a block of its own).
#ifndef OMBRA_MODEL_ELEMENTSLAB_H
#define OMBRA_MODEL_ELEMENTSLAB_H

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define OMBRA_ELEMENT_BLOCKS_APART 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OMBRA_ELEMENT_BLOCKS_APART 1
#endif
#endif

namespace ombra_detail {

constexpr std::size_t kBlockHeader = 16; // keeps the element aligned as the service's blocks are
/// Larger elements get a block of their own.
constexpr std::size_t kLargestCarved = 1024;

struct Slab {
    std::atomic<long long> live; // elements not yet released, plus kHeld while filled
    long long made;              // the arena's count of blocks handed out
    char* next;
    char* end;
};

inline void* StampBlock(char* block, Slab* slab) {
    *reinterpret_cast<Slab**>(block) = slab;
    return block + kBlockHeader;
}

/// The bytes a block of size takes in a slab, its header included.
inline std::size_t SlabNeed(std::size_t size) {
    return kBlockHeader + (size + kBlockHeader - 1) / kBlockHeader * kBlockHeader;
}

inline void* Carve(Slab* slab, std::size_t need) {
    char* block = slab->next;
    slab->next += need;
    ++slab->made;
    return StampBlock(block, slab);
}

/// A block of size from the slab an arena holds (`held`, its only member),
/// or null when it has none or no room: the arena's Allocate then decides.
inline void* CarveInLine(void* held, std::size_t size) {
#if defined(OMBRA_ELEMENT_BLOCKS_APART)
    (void)held, (void)size;
    return nullptr;
#else
    auto* slab = static_cast<Slab*>(held);
    if (!slab || size > kLargestCarved) return nullptr;
    const std::size_t need = SlabNeed(size);
    if (static_cast<std::size_t>(slab->end - slab->next) < need) return nullptr;
    return Carve(slab, need);
#endif
}

/// Gives the emptied slabs kept for reuse back to their memory service.
void ReleaseCachedSlabs() noexcept;

/// The blocks of elements released one after another, as a tree is: most
/// lie in the slab of the one before, whose count then drops once for the
/// run rather than with an atomic step for each. Every block is released
/// by the end of its life.
class ReleasedBlocks {
public:
    ReleasedBlocks() = default;
    ~ReleasedBlocks() {
        if (count_) Drop(slab_, count_);
    }
    ReleasedBlocks(const ReleasedBlocks&) = delete;
    ReleasedBlocks& operator=(const ReleasedBlocks&) = delete;

    /// The block of an element whose destruction is done (OBElementRelease's due).
    void Add(void* element) noexcept {
        char* block = static_cast<char*>(element) - kBlockHeader;
        Slab* slab = *reinterpret_cast<Slab**>(block);
        if (slab == slab_ && slab) {
            ++count_;
            return;
        }
        Switch(block, slab);
    }

private:
    /// Takes n releases off the slab's count; the last one empties it.
    static void Drop(Slab* slab, long long n) noexcept;
    /// A block of another slab, or of its own (freed at once).
    void Switch(char* block, Slab* slab) noexcept;

    Slab* slab_ = nullptr;
    long long count_ = 0;
};

} // namespace ombra_detail

#endif
