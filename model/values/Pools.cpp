#include <ombra/elements.h>
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
// A fork takes every size's mutex first, so that none is held in the child.
void TakeAllSizes() {
    for (std::mutex& m : gMutex)
        m.lock();
}
void GiveAllSizes() {
    for (int i = kSlots; i-- > 0;)
        gMutex[i].unlock();
}
const bool gForkHeld = obsys::AtFork(TakeAllSizes, GiveAllSizes);

// Bumped whenever a size's pool releases its memory: blocks that threads
// keep in their caches are gone with it.
std::atomic<unsigned> gGeneration[kSlots];
// Bumped after any size's generation, so that the fast path checks one
// number for all sizes.
std::atomic<unsigned> gEpoch;

template <unsigned N> struct PoolTag {};
template <unsigned N>
using SingletonPool =
    boost::singleton_pool<PoolTag<N>, N, ServiceAllocator, boost::details::pool::null_mutex, 32, 0>;

// Threads refill their caches kBatch blocks at a time.
constexpr int kBatch = 32;

// Per size, the whole batches that threads' caches handed back: each a list
// of kBatch blocks linked through their first words, the batches linked
// through the second word of their first blocks. A refill takes a batch
// without following its links, which, after a large tree of values was
// released, point all over memory. Blocks of 12 bytes have no second word
// and go to the pool's free list instead.
void* gDepot[kSlots]; // guarded by gMutex

inline void*& NextBlock(void* block) {
    return *static_cast<void**>(block);
}
inline void*& NextBatch(void* batch) {
    return static_cast<void**>(batch)[1];
}

template <unsigned N> struct SizeClass {
    static constexpr int kSlot = SlotOf(N);
    static constexpr bool kDepot = N >= 2 * sizeof(void*);
    // A list of up to n blocks; got says how many.
    static void* Take(int n, int& got) {
        std::lock_guard<std::mutex> lock(gMutex[kSlot]);
        if (kDepot && n == kBatch && gDepot[kSlot]) {
            void* batch = gDepot[kSlot];
            gDepot[kSlot] = NextBatch(batch);
            got = kBatch;
            return batch;
        }
        void* list = nullptr;
        void** link = &list;
        for (got = 0; got < n; ++got) {
            void* block = SingletonPool<N>::malloc();
            if (!block) break;
            *link = block;
            link = &NextBlock(block);
        }
        *link = nullptr;
        return list;
    }
    static void GiveBatches(void* const* batches, int count) {
        if (!kDepot) {
            for (int i = 0; i < count; ++i)
                Give(batches[i]);
            return;
        }
        std::lock_guard<std::mutex> lock(gMutex[kSlot]);
        for (int i = 0; i < count; ++i) {
            NextBatch(batches[i]) = gDepot[kSlot];
            gDepot[kSlot] = batches[i];
        }
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
        gDepot[kSlot] = nullptr; // its blocks were in the chunks
        gGeneration[kSlot].fetch_add(1, std::memory_order_release);
        gEpoch.fetch_add(1, std::memory_order_release);
    }
};

struct SizeOps {
    void* (*take)(int n, int& got);
    void (*give)(void* list);
    void (*giveBatches)(void* const* batches, int count);
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
    ops[SlotOf(n)] = {&SizeClass<n>::Take, &SizeClass<n>::Give, &SizeClass<n>::GiveBatches,        \
                      &SizeClass<n>::Purge, &MakePool<n>};
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
// the cache; beyond kKeepAtMost the newer half goes back.
constexpr int kKeepAtMost = 8 * kBatch;

// The bins are indexed by size / 4 for every multiple of 4 up to 252, so one
// mask test and a shift find a size's bin. Bins of sizes without a pool stay
// empty and have no room, which sends their calls to the slow path.
constexpr std::size_t kNotBinned = ~std::size_t(0xFC);
constexpr int kBins = 64;
constexpr int BinOf(int slot) {
    return slot + 3;
}

struct Bin {
    void* head;
    // Releases the bin takes before it is trimmed: kKeepAtMost less the
    // blocks it holds.
    unsigned room;
    unsigned generation; // the pool's generation that the blocks belong to
};

struct ThreadCache {
    Bin bins[kBins];
    unsigned epoch; // gEpoch when the bins were last checked
};

// The calling thread's cache: null before its first use (and after
// OBReleaseThreadState), &gThreadEnded once the thread has ended, when later
// calls go straight to the pools. The cache itself lives on the heap, as
// dynamic thread-local storage would, so that the library's static TLS is
// this one pointer: initial-exec spares the fast path a call to find the
// thread's storage, and glibc keeps static TLS to spare for a pointer or two
// of a library loaded later with dlopen.
__attribute__((tls_model("initial-exec"))) thread_local ThreadCache* tCache;
// Never written: its bins are empty and have no room.
ThreadCache gThreadEnded;

// A purge since the thread last looked leaves only dangling pointers in the
// purged sizes' bins. Every path that follows a bin's links checks first;
// a release may push onto a stale bin, whose blocks are then dropped with
// it (the purged pool's chunks are gone, the new ones go at its next purge).
void Sync(ThreadCache& cache) {
    unsigned epoch = gEpoch.load(std::memory_order_acquire);
    if (cache.epoch == epoch) return;
    cache.epoch = epoch;
    for (int slot = 0; slot < kSlots; ++slot) {
        Bin& bin = cache.bins[BinOf(slot)];
        unsigned generation = gGeneration[slot].load(std::memory_order_acquire);
        if (bin.generation == generation || !OBIsPooledSize(4u * BinOf(slot))) continue;
        bin.generation = generation;
        bin.head = nullptr;
        bin.room = kKeepAtMost;
    }
}

void FlushThreadCache(void* cache);

obsys::ThreadExitSlot& ExitSlot() {
    static obsys::ThreadExitSlot slot(FlushThreadCache);
    return slot;
}

// Gives every cached block back and frees the cache.
void DropThreadCache(ThreadCache* cache, ThreadCache* after) {
    Sync(*cache);
    for (int slot = 0; slot < kSlots; ++slot) {
        if (void* head = cache->bins[BinOf(slot)].head) kOps.ops[slot].give(head);
    }
    tCache = after;
    std::free(cache);
}

void FlushThreadCache(void* cache) {
    DropThreadCache(static_cast<ThreadCache*>(cache), &gThreadEnded);
}

// Null when there is no memory for a cache or no slot to free it at the
// thread's end: the thread then works on the shared pools directly.
ThreadCache* StartThreadCache() {
    auto* cache = static_cast<ThreadCache*>(std::calloc(1, sizeof(ThreadCache)));
    if (!cache) return nullptr;
    cache->epoch = gEpoch.load(std::memory_order_acquire);
    for (int slot = 0; slot < kSlots; ++slot) {
        Bin& bin = cache->bins[BinOf(slot)];
        bin.generation = gGeneration[slot].load(std::memory_order_acquire);
        if (OBIsPooledSize(4u * BinOf(slot))) bin.room = kKeepAtMost;
    }
    if (!ExitSlot().Set(cache)) {
        std::free(cache);
        return nullptr;
    }
    tCache = cache;
    return cache;
}

// The thread's cache, checked against purges, or null to bypass it.
ThreadCache* UsableCache() {
    ThreadCache* cache = tCache;
    if (cache == &gThreadEnded) return nullptr;
    if (!cache && !(cache = StartThreadCache())) return nullptr;
    Sync(*cache);
    return cache;
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

inline void* Pop(Bin& bin) {
    void* block = bin.head;
    bin.head = *static_cast<void**>(block);
    ++bin.room;
    return block;
}

inline void Push(Bin& bin, void* block) {
    *static_cast<void**>(block) = bin.head;
    bin.head = block;
    --bin.room;
}

__attribute__((noinline)) void* AllocateUncached(std::size_t size) noexcept {
    int slot = PooledSlot(size);
    if (slot < 0) return nullptr;
    // The registry holds the pool for as long as values of its size live.
    if (!gRegistry[slot].load(std::memory_order_acquire) && !OBGetValuePool(size)) return nullptr;
    ThreadCache* cache = UsableCache();
    int got = 0;
    if (!cache) return kOps.ops[slot].take(1, got);
    Bin& bin = cache->bins[BinOf(slot)];
    if (bin.head) return Pop(bin); // only another size was purged
    void* list = kOps.ops[slot].take(kBatch, got);
    if (!list) return nullptr;
    bin.head = NextBlock(list); // the first block goes to the caller
    bin.room -= static_cast<unsigned>(got - 1);
    return list;
}

// Hands the newer half back, in whole batches, so that blocks freed here
// serve other threads: cutting batches off the head walks half the bin,
// where keeping the newer half would walk all of it. The bin is full: it
// holds kKeepAtMost blocks. A refill takes the last batch given, still warm.
void Trim(Bin& bin, int slot) {
    constexpr int kBatches = kKeepAtMost / 2 / kBatch;
    void* rest = bin.head;
    void* batches[kBatches];
    for (void*& batch : batches) {
        batch = rest;
        for (int i = 1; i < kBatch; ++i)
            rest = NextBlock(rest);
        void* after = NextBlock(rest);
        NextBlock(rest) = nullptr;
        rest = after;
    }
    bin.head = rest;
    bin.room = kKeepAtMost / 2;
    kOps.ops[slot].giveBatches(batches, kBatches);
}

__attribute__((noinline)) void ReleaseUncached(void* block, std::size_t size) noexcept {
    int slot = PooledSlot(size);
    if (slot < 0) return;
    ThreadCache* cache = UsableCache(); // a thread may only release
    if (!cache) {
        *static_cast<void**>(block) = nullptr;
        kOps.ops[slot].give(block);
        return;
    }
    Bin& bin = cache->bins[BinOf(slot)];
    if (bin.room == 0) Trim(bin, slot);
    Push(bin, block);
}

} // namespace

IPool::~IPool() = default;

template <unsigned N> Pool<N>::~Pool() {
    SizeClass<N>::Purge();
}
template <unsigned N> void* Pool<N>::malloc() {
    int got = 0;
    return SizeClass<N>::Take(1, got);
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

namespace {

// A few instructions with no lock and no read-modify-write; everything
// else, sizes without a pool among it, is left to the slow paths.
inline void* TakeBlock(std::size_t size) noexcept {
    ThreadCache* cache = tCache;
    if (size & kNotBinned) return nullptr;
    if (__builtin_expect(!cache, 0)) return AllocateUncached(size);
    Bin& bin = cache->bins[size >> 2];
    if (__builtin_expect(!bin.head, 0) ||
        __builtin_expect(cache->epoch != gEpoch.load(std::memory_order_acquire), 0))
        return AllocateUncached(size);
    return Pop(bin);
}

inline void GiveBlock(void* block, std::size_t size) noexcept {
    ThreadCache* cache = tCache;
    if (!block || (size & kNotBinned)) return;
    if (__builtin_expect(!cache, 0)) return ReleaseUncached(block, size);
    Bin& bin = cache->bins[size >> 2];
    if (__builtin_expect(bin.room == 0, 0)) return ReleaseUncached(block, size);
    Push(bin, block);
}

} // namespace

void* OBValuePoolAllocate(std::size_t size) noexcept {
    return TakeBlock(size);
}

void OBValuePoolRelease(void* block, std::size_t size) noexcept {
    GiveBlock(block, size);
}

// Values are made and released by the hundred thousand. The size is that of
// the object's own class, so a block goes back to the pool it came from.
void* ValuePooled::operator new(std::size_t size) noexcept {
    return TakeBlock(size);
}

void ValuePooled::operator delete(void* block, std::size_t size) noexcept {
    GiveBlock(block, size);
}

namespace ombra_detail {
void ClearValuePools() {
    for (auto& slot : gRegistry) {
        if (IPool* pool = slot.exchange(nullptr, std::memory_order_acq_rel)) DestroyPool(pool);
    }
}

void EmptyThreadValueCache() {
    ThreadCache* cache = tCache;
    if (!cache || cache == &gThreadEnded) return;
    ExitSlot().Set(nullptr);
    DropThreadCache(cache, nullptr);
}
} // namespace ombra_detail
