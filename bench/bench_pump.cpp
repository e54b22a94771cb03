// The pump's cost per Element: a conversion through the convertor from a
// reader that yields a prepared list of 100,000 Elements into a writer that
// does nothing with them (the two plug-ins of bench/pump/), against a plain
// loop that hands the same number of Elements from a list to a writer of
// the same kind, one virtual call each. At the end the program prints pump
// time / loop time.
#include <ombra/convertor.h>
#include <ombra/memory.h>
#include <ombra/plugin.h>
#include <ombra/typedstreams.h>
#include <ombra/views.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kElements = 100000;

void* MallocAllocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void MallocFree(void* block) {
    std::free(block);
}

void Pump(benchmark::State& state, OBConvertor* convertor) {
    std::string input = "ombra-bench-pump:" + std::to_string(kElements);
    OBBufferStreamRead in(input.data(), input.size());
    OBMemStreamWrite out;
    for (auto _ : state) {
        if (convertor->ExtractData(&in, &out, nullptr) != 1) {
            state.SkipWithError("the pump did not run");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kElements);
}

// The loop's writer: as the benchmark writer, it does nothing.
class Sink : public OBWriter {
public:
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}
    void Init(OBStream*, OBPreferenceList*) override {}
    __attribute__((noinline)) void PutElement(Element* e) override { benchmark::DoNotOptimize(e); }
    void GetFormats(Format*& formats, short& count) override {
        formats = nullptr;
        count = 0;
    }
};

void Loop(benchmark::State& state) {
    std::vector<Element*> list;
    for (int i = 0; i < kElements; ++i)
        list.push_back(new OBMCharacterAttributes);
    Sink sink;
    OBWriter* writer = &sink;
    for (auto _ : state) {
        benchmark::DoNotOptimize(writer); // a call through the table, as the pump makes
        for (Element* e : list)
            writer->PutElement(e);
        writer->PutElement(nullptr);
        benchmark::ClobberMemory();
    }
    for (Element* e : list)
        delete e;
    state.SetItemsProcessed(state.iterations() * kElements);
}

} // namespace

int main(int argc, char** argv) {
    auto* service = new OBMemoryService(MallocAllocate, MallocFree, MallocAllocate, MallocFree);
    OBMemoryHandler::SetMemoryService(service);
    int status = 0;
    {
        OBConvertorManager manager(OMBRA_BENCH_PUMP_DIR "/readers",
                                   OMBRA_BENCH_PUMP_DIR "/writers");
        ErrorCode error;
        OBConvertor* convertor = manager.GetConvertorForWriter(OMBRA_BENCH_PUMP_WRITER, error);
        if (!convertor) {
            std::fprintf(stderr, "the benchmark's plug-ins did not load from %s\n",
                         OMBRA_BENCH_PUMP_DIR);
            status = 1;
        } else {
            benchmark::RegisterBenchmark("pump/100k_elements", Pump, convertor)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark("loop/100k_elements", Loop)->Unit(benchmark::kMicrosecond);
            benchmark::Initialize(&argc, argv);
            if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
            ombra_bench::RatioReporter reporter;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            reporter.PrintRatios("ratio pump / plain loop (per Element; 1 = the pump costs "
                                 "nothing beyond the writer's call)",
                                 "pump/", "loop/");
            benchmark::Shutdown();
        }
    }
    OBReleaseThreadState();
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return status;
}
