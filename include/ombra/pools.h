// Fixed-size block pools behind the allocation of every value object.
#ifndef OMBRA_POOLS_H
#define OMBRA_POOLS_H

#include <cstddef>
#include <ombra/export.h>

/// A pool of equally sized blocks. Blocks go back to the pool's free list,
/// never to the memory service one by one.
class OMBRA_API IPool {
public:
    OB_MEMORY_OPERATORS
    /// Releases all memory of the size's pool at once.
    virtual ~IPool();
    /// One block, or null when no memory can be obtained.
    virtual void* malloc() = 0;
    /// Returns a block to the free list; null is ignored.
    virtual void free(void* block) = 0;
    /// Releases all memory; the next chunk again holds 32 blocks.
    virtual void purge() = 0;
};

/// The handle of the process-wide pool of N-byte blocks. Only the 21
/// supported sizes exist: 12 to 68 in steps of 4, 88, 92, 96, 100, 128, 144.
template <unsigned N> class OMBRA_API Pool : public IPool {
public:
    ~Pool() override;
    void* malloc() override;
    void free(void* block) override;
    void purge() override;
    static constexpr unsigned kBlockSize = N;
};

/// True when values of `size` bytes have a pool.
constexpr bool OBIsPooledSize(std::size_t size) {
    return (size >= 12 && size <= 68 && size % 4 == 0) || size == 88 || size == 92 || size == 96 ||
           size == 100 || size == 128 || size == 144;
}

/// The registry's pool for `size`, created on first demand; null for a size
/// without a pool or when the handle cannot be allocated.
OMBRA_API IPool* OBGetValuePool(std::size_t size);

/// One block of `size` bytes for a value: from the calling thread's cache of
/// the size's pool, which is refilled from the shared pool 32 blocks at a
/// time. Null for a size without a pool or when memory is exhausted.
OMBRA_API void* OBValuePoolAllocate(std::size_t size) noexcept;
/// Gives a block from OBValuePoolAllocate back; `size` is the size it was
/// allocated with. The thread's cache returns surplus blocks to the pool.
OMBRA_API void OBValuePoolRelease(void* block, std::size_t size) noexcept;

#endif
