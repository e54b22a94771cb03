#include <ombra/pools.h>

#include "model/values/PoolRegistry.h"
#include "platform/System.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>

#include <boost/pool/singleton_pool.hpp>

namespace {

// Pool chunks come from the installed memory service and go back to the
// service they came from, so that a host may uninstall and delete services
// in either order; the pool never throws.
struct ServiceAllocator {
    typedef std::size_t size_type;
    typedef std::ptrdiff_t difference_type;
    static char* malloc(const size_type bytes) {
        return static_cast<char*>(ombra_detail::AllocateFromService(bytes));
    }
    static void free(char* const block) { ombra_detail::ReleaseToOwner(block); }
};

constexpr int kSlots = 34; // sizes 12 to 144 in steps of 4
constexpr int SlotOf(std::size_t size) {
    return static_cast<int>((size - 12) / 4);
}

// One mutex per size. The Boost pool itself runs unlocked because every
// call into it holds this mutex, which lets a thread move a whole batch of
// blocks under one acquisition.
std::mutex gMutex[kSlots];
// Bumped whenever a size's pool releases its memory: blocks that threads
// keep in their caches are gone with it.
std::atomic<unsigned> gGeneration[kSlots];

template <unsigned N> struct PoolTag {};
template <unsigned N>
using SingletonPool =
    boost::singleton_pool<PoolTag<N>, N, ServiceAllocator, boost::details::pool::null_mutex, 32, 0>;

template <unsigned N> struct SizeClass {
    static constexpr int kSlot = SlotOf(N);
    static int Take(void** out, int n) {
        std::lock_guard<std::mutex> lock(gMutex[kSlot]);
        int got = 0;
        while (got < n) {
            void* block = SingletonPool<N>::malloc();
            if (!block) break;
            out[got++] = block;
        }
        return got;
    }
    static void Give(void* list) {
        std::lock_guard<std::mutex> lock(gMutex[kSlot]);
        while (list) {
            void* next = *static_cast<void**>(list);
            SingletonPool<N>::free(list);
            list = next;
        }
    }
    static void Purge() {
        std::lock_guard<std::mutex> lock(gMutex[kSlot]);
        SingletonPool<N>::purge_memory();
        gGeneration[kSlot].fetch_add(1, std::memory_order_release);
    }
};

struct SizeOps {
    int (*take)(void** out, int n);
    void (*give)(void* list);
    void (*purge)();
    IPool* (*make)();
};

// Handles, like chunks, go back to the service they came from.
template <unsigned N> IPool* MakePool() {
    void* block = ombra_detail::AllocateFromService(sizeof(Pool<N>));
    return block ? ::new (block) Pool<N> : nullptr;
}

void DestroyPool(IPool* pool) {
    pool->~IPool();
    ombra_detail::ReleaseToOwner(pool);
}

// clang-format off
#define OB_POOL_SIZES(X) \
    X(12) X(16) X(20) X(24) X(28) X(32) X(36) X(40) X(44) X(48) X(52) X(56) X(60) X(64) X(68) \
    X(88) X(92) X(96) X(100) X(128) X(144)
// clang-format on

struct OpsTable {
    SizeOps ops[kSlots] = {};
    constexpr OpsTable() {
#define OB_POOL_OPS(n)                                                                             \
    ops[SlotOf(n)] = {&SizeClass<n>::Take, &SizeClass<n>::Give, &SizeClass<n>::Purge, &MakePool<n>};
        OB_POOL_SIZES(OB_POOL_OPS)
#undef OB_POOL_OPS
    }
};
constexpr OpsTable kOps;

std::atomic<IPool*> gRegistry[kSlots];

// The singleton pools exist before the first value is made, and the
// registry is emptied at exit.
struct StartUp {
    StartUp() {
#define OB_POOL_TOUCH(n) SingletonPool<n>::is_from(nullptr);
        OB_POOL_SIZES(OB_POOL_TOUCH)
#undef OB_POOL_TOUCH
        std::atexit([] { ombra_detail::ClearValuePools(); });
    }
} gStartUp;

// Each thread keeps a list of free blocks per size, refilled from and
// drained to the shared pool in batches, so most allocations take no lock.
// A run of values that lives and dies together (a few hundred) stays within
// the cache; beyond kKeepAtMost the older half goes back.
constexpr int kBatch = 32;
constexpr int kKeepAtMost = 8 * kBatch;

struct Bin {
    void* head;
    int count;
    unsigned generation;
};

// Plain data, so the fast path has no lazy-initialisation wrapper. The
// default (dynamic) TLS model keeps it loadable with dlopen: initial-exec
// would take static TLS that a library loaded later may not find. Its blocks
// go back to the pools when the thread ends, through a thread-exit slot set
// on first refill.
struct ThreadCache {
    Bin bins[kSlots];
    bool registered;
    bool finished; // set at thread end: later releases go straight to the pool
    bool active;   // registered and not finished: the one test of a release
};
thread_local ThreadCache tCache;

void EmptyThreadCache() {
    for (int slot = 0; slot < kSlots; ++slot) {
        Bin& bin = tCache.bins[slot];
        if (bin.head && bin.generation == gGeneration[slot].load(std::memory_order_acquire))
            kOps.ops[slot].give(bin.head);
        bin.head = nullptr;
        bin.count = 0;
    }
}

void FlushThreadCache(void*) {
    EmptyThreadCache();
    tCache.finished = true;
    tCache.active = false;
}

void RegisterThreadCache() {
    static obsys::ThreadExitSlot exitSlot(FlushThreadCache);
    exitSlot.Set(&tCache);
    tCache.registered = true;
    tCache.active = !tCache.finished;
}

// A purge since the bin's last use leaves only dangling pointers in it.
inline Bin& CurrentBin(int slot) {
    Bin& bin = tCache.bins[slot];
    unsigned generation = gGeneration[slot].load(std::memory_order_acquire);
    if (bin.generation != generation) {
        bin.head = nullptr;
        bin.count = 0;
        bin.generation = generation;
    }
    return bin;
}

// Slot by size / 4, or -1 for a size without a pool.
struct SlotTable {
    signed char slot[37] = {};
    constexpr SlotTable() {
        for (int q = 0; q < 37; ++q)
            slot[q] = OBIsPooledSize(4u * q) ? SlotOf(4u * q) : -1;
    }
};
constexpr SlotTable kSlotBySize;

inline int PooledSlot(std::size_t size) {
    return (size > 144 || (size & 3)) ? -1 : kSlotBySize.slot[size >> 2];
}

__attribute__((noinline)) void* RefillAndTake(int slot, std::size_t size) {
    // The registry holds the pool for as long as values of its size live.
    if (!gRegistry[slot].load(std::memory_order_acquire) && !OBGetValuePool(size)) return nullptr;
    if (tCache.finished) {
        void* block = nullptr;
        kOps.ops[slot].take(&block, 1);
        return block;
    }
    if (!tCache.registered) RegisterThreadCache();
    Bin& bin = CurrentBin(slot);
    void* blocks[kBatch];
    int got = kOps.ops[slot].take(blocks, kBatch);
    if (got == 0) return nullptr;
    for (int i = got - 1; i >= 1; --i) { // blocks[0] goes to the caller
        *static_cast<void**>(blocks[i]) = bin.head;
        bin.head = blocks[i];
    }
    bin.count += got - 1;
    return blocks[0];
}

} // namespace

IPool::~IPool() = default;

template <unsigned N> Pool<N>::~Pool() {
    SizeClass<N>::Purge();
}
template <unsigned N> void* Pool<N>::malloc() {
    void* block = nullptr;
    SizeClass<N>::Take(&block, 1);
    return block;
}
template <unsigned N> void Pool<N>::free(void* block) {
    if (!block) return;
    *static_cast<void**>(block) = nullptr;
    SizeClass<N>::Give(block);
}
template <unsigned N> void Pool<N>::purge() {
    SizeClass<N>::Purge();
}

#define OB_POOL_INSTANTIATE(n) template class Pool<n>;
OB_POOL_SIZES(OB_POOL_INSTANTIATE)
#undef OB_POOL_INSTANTIATE

IPool* OBGetValuePool(std::size_t size) {
    if (size < 12 || size > 144 || size % 4 != 0) return nullptr;
    std::atomic<IPool*>& slot = gRegistry[SlotOf(size)];
    if (IPool* pool = slot.load(std::memory_order_acquire)) return pool;
    if (!OBIsPooledSize(size)) return nullptr;
    IPool* made = kOps.ops[SlotOf(size)].make();
    if (!made) return nullptr;
    IPool* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
        // Another thread registered first: keep its pool. Deleting the
        // handle would purge the shared pool; the handle has no state of its
        // own, so its storage is released without running the destructor.
        ombra_detail::ReleaseToOwner(made);
        return expected;
    }
    return made;
}

void* OBValuePoolAllocate(std::size_t size) noexcept {
    int slot = PooledSlot(size);
    if (slot < 0) return nullptr;
    Bin& bin = CurrentBin(slot);
    void* block = bin.head;
    if (!block) return RefillAndTake(slot, size);
    bin.head = *static_cast<void**>(block);
    --bin.count;
    return block;
}

namespace {

// Kept out of line, so that the common path of a release needs no stack frame.
__attribute__((noinline)) void ReleaseUncached(void* block, int slot) {
    if (tCache.finished) {
        *static_cast<void**>(block) = nullptr;
        kOps.ops[slot].give(block);
        return;
    }
    RegisterThreadCache(); // a thread may only release
    OBValuePoolRelease(block, 4u * static_cast<unsigned>(slot) + 12u);
}

// Hands the older half back so that blocks freed here serve other threads.
__attribute__((noinline)) void Trim(Bin& bin, int slot) {
    void* keep = bin.head;
    for (int i = 1; i < kKeepAtMost / 2; ++i)
        keep = *static_cast<void**>(keep);
    void* rest = *static_cast<void**>(keep);
    *static_cast<void**>(keep) = nullptr;
    bin.count = kKeepAtMost / 2;
    kOps.ops[slot].give(rest);
}

} // namespace

void OBValuePoolRelease(void* block, std::size_t size) noexcept {
    int slot = PooledSlot(size);
    if (!block || slot < 0) return;
    if (__builtin_expect(!tCache.active, 0)) {
        ReleaseUncached(block, slot);
        return;
    }
    Bin& bin = CurrentBin(slot);
    *static_cast<void**>(block) = bin.head;
    bin.head = block;
    if (__builtin_expect(++bin.count >= kKeepAtMost, 0)) Trim(bin, slot);
}

namespace ombra_detail {
void ClearValuePools() {
    for (auto& slot : gRegistry) {
        if (IPool* pool = slot.exchange(nullptr, std::memory_order_acq_rel)) DestroyPool(pool);
    }
}

void EmptyThreadValueCache() {
    EmptyThreadCache();
}
} // namespace ombra_detail
