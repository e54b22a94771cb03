// Value pools against the global heap: allocating and releasing blocks of the
// sizes that values have, on one thread and on two. A pooled allocation is
// what a pooled value's operator new does: OBValuePoolAllocate, which serves
// blocks from the thread's cache of the size's pool. At the end the program
// prints pooled time / heap time.
#include <ombra/memory.h>
#include <ombra/pools.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kBatch = 64; // blocks live at once, as a run of values does
const std::size_t kSizes[] = {24, 40, 64};

void* MallocAllocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void MallocFree(void* block) {
    std::free(block);
}

void Touch(void* block) {
    static_cast<unsigned char*>(block)[0] = 1;
}

void Pooled(benchmark::State& state, std::size_t size) {
    if (!OBGetValuePool(size)) {
        state.SkipWithError("no pool for this size");
        return;
    }
    void* blocks[kBatch];
    for (auto _ : state) {
        for (void*& block : blocks) {
            block = OBValuePoolAllocate(size);
            Touch(block);
        }
        benchmark::DoNotOptimize(blocks);
        for (void* block : blocks)
            OBValuePoolRelease(block, size);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void Heap(benchmark::State& state, std::size_t size) {
    void* blocks[kBatch];
    for (auto _ : state) {
        for (void*& block : blocks) {
            block = ::operator new(size);
            Touch(block);
        }
        benchmark::DoNotOptimize(blocks);
        for (void* block : blocks)
            ::operator delete(block);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

} // namespace

int main(int argc, char** argv) {
    // As a host does: the memory service comes before any other call.
    auto* service = new OBMemoryService(MallocAllocate, MallocFree, MallocAllocate, MallocFree);
    OBMemoryHandler::SetMemoryService(service);

    for (int threads : {1, 2}) {
        for (std::size_t size : kSizes) {
            std::string suffix = std::to_string(size);
            benchmark::RegisterBenchmark(("pooled/" + suffix).c_str(), Pooled, size)
                ->Threads(threads)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("heap/" + suffix).c_str(), Heap, size)
                ->Threads(threads)
                ->UseRealTime();
        }
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ombra_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    char heading[96];
    std::snprintf(heading, sizeof heading,
                  "ratio pooled / heap (time per batch of %d; below 1 the pool is faster)", kBatch);
    reporter.PrintRatios(heading, "pooled/", "heap/");
    benchmark::Shutdown();

    // Destroying the service returns the pools' chunks through it; it goes last.
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
