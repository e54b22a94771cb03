#include <ombra/pools.h>

#include "model/values/PoolRegistry.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include <boost/pool/singleton_pool.hpp>

namespace {

// Pool chunks come from the installed memory service; the pool never throws.
struct ServiceAllocator {
    typedef std::size_t size_type;
    typedef std::ptrdiff_t difference_type;
    static char* malloc(const size_type bytes) { return static_cast<char*>(OBLibAllocate(bytes)); }
    static void free(char* const block) { OBLibFree(block); }
};

template <unsigned N> struct PoolTag {};
template <unsigned N>
using SingletonPool = boost::singleton_pool<PoolTag<N>, N, ServiceAllocator, std::mutex, 32, 0>;

constexpr int kSlots = 34; // sizes 12 to 144 in steps of 4
std::atomic<IPool*> gRegistry[kSlots];
std::once_flag gRegistryOnce;

void DestroyRegistry() { ombra_detail::ClearValuePools(); }

template <unsigned N> IPool* MakePool() { return new Pool<N>; }

IPool* MakePoolFor(std::size_t size) {
    switch (size) {
#define OB_POOL_SIZE(n)                                                                            \
    case n:                                                                                        \
        return MakePool<n>();
        OB_POOL_SIZE(12) OB_POOL_SIZE(16) OB_POOL_SIZE(20) OB_POOL_SIZE(24) OB_POOL_SIZE(28)
        OB_POOL_SIZE(32) OB_POOL_SIZE(36) OB_POOL_SIZE(40) OB_POOL_SIZE(44) OB_POOL_SIZE(48)
        OB_POOL_SIZE(52) OB_POOL_SIZE(56) OB_POOL_SIZE(60) OB_POOL_SIZE(64) OB_POOL_SIZE(68)
        OB_POOL_SIZE(88) OB_POOL_SIZE(92) OB_POOL_SIZE(96) OB_POOL_SIZE(100) OB_POOL_SIZE(128)
        OB_POOL_SIZE(144)
#undef OB_POOL_SIZE
    default:
        return nullptr;
    }
}

// The singleton pools exist before the first value is made.
struct EagerPools {
    EagerPools() {
#define OB_POOL_SIZE(n) SingletonPool<n>::is_from(nullptr);
        OB_POOL_SIZE(12) OB_POOL_SIZE(16) OB_POOL_SIZE(20) OB_POOL_SIZE(24) OB_POOL_SIZE(28)
        OB_POOL_SIZE(32) OB_POOL_SIZE(36) OB_POOL_SIZE(40) OB_POOL_SIZE(44) OB_POOL_SIZE(48)
        OB_POOL_SIZE(52) OB_POOL_SIZE(56) OB_POOL_SIZE(60) OB_POOL_SIZE(64) OB_POOL_SIZE(68)
        OB_POOL_SIZE(88) OB_POOL_SIZE(92) OB_POOL_SIZE(96) OB_POOL_SIZE(100) OB_POOL_SIZE(128)
        OB_POOL_SIZE(144)
#undef OB_POOL_SIZE
    }
} gEagerPools;

} // namespace

IPool::~IPool() = default;

template <unsigned N> Pool<N>::~Pool() { SingletonPool<N>::purge_memory(); }
template <unsigned N> void* Pool<N>::malloc() { return SingletonPool<N>::malloc(); }
template <unsigned N> void Pool<N>::free(void* block) {
    if (block) SingletonPool<N>::free(block);
}
template <unsigned N> void Pool<N>::purge() { SingletonPool<N>::purge_memory(); }

template class Pool<12>;
template class Pool<16>;
template class Pool<20>;
template class Pool<24>;
template class Pool<28>;
template class Pool<32>;
template class Pool<36>;
template class Pool<40>;
template class Pool<44>;
template class Pool<48>;
template class Pool<52>;
template class Pool<56>;
template class Pool<60>;
template class Pool<64>;
template class Pool<68>;
template class Pool<88>;
template class Pool<92>;
template class Pool<96>;
template class Pool<100>;
template class Pool<128>;
template class Pool<144>;

IPool* OBGetValuePool(std::size_t size) {
    std::call_once(gRegistryOnce, [] { std::atexit(DestroyRegistry); });
    if (size < 12 || size > 144 || size % 4 != 0) return nullptr;
    std::atomic<IPool*>& slot = gRegistry[(size - 12) / 4];
    if (IPool* pool = slot.load(std::memory_order_acquire)) return pool;
    if (!OBIsPooledSize(size)) return nullptr;
    IPool* made = MakePoolFor(size);
    if (!made) return nullptr;
    IPool* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
        // Another thread registered first: keep its pool. Deleting the
        // handle would purge the shared pool; the handle has no state of its
        // own, so its storage is released without running the destructor.
        OBLibFree(made);
        return expected;
    }
    return made;
}

namespace ombra_detail {
void ClearValuePools() {
    for (auto& slot : gRegistry) {
        if (IPool* pool = slot.exchange(nullptr, std::memory_order_acq_rel)) delete pool;
    }
}
} // namespace ombra_detail
