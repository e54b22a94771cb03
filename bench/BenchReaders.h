// What the reader benchmarks share: ratios once more from CPU time, a memory
// service that counts the core's bytes in use and their peak, and the
// process's resident high-water mark.
#ifndef OMBRA_BENCH_READERS_H
#define OMBRA_BENCH_READERS_H

#include "BenchRatios.h"

#include <ombra/memory.h>
#include <ombra/plugin.h>
#include <ombra/preferences.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <sys/resource.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace ombra_bench {

/// Keeps freed memory in the process for every side of a comparison.
/// Without it, glibc hands large blocks back to the kernel (its mapping and
/// trimming thresholds move with what was freed before), and a side then
/// pays a page fault for every page it touches again: pugixml's tree of an
/// 806 KiB document took 0.6 or 1.8 ms in the same build depending on what
/// had run before it. A long-running host sees the steady state.
inline void SteadyHeap() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
}

/// The ratios once more from CPU time, which other work on a shared machine
/// disturbs far less than real time; with repetitions, from the medians.
class CpuRatioReporter : public RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        RatioReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Iteration)
                single_[run.run_name.str()] = run.GetAdjustedCPUTime();
            else if (run.aggregate_name == "median")
                median_[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
    }

    void PrintCpuRatios(const char* heading, const std::string& candidatePrefix,
                        const std::string& baselinePrefix) const {
        std::printf("\n%s\n", heading);
        for (const auto& [name, cpu] : Times()) {
            if (name.compare(0, candidatePrefix.size(), candidatePrefix) != 0) continue;
            std::string rest = name.substr(candidatePrefix.size());
            auto baseline = Times().find(baselinePrefix + rest);
            if (baseline == Times().end()) continue;
            std::printf("  %-52s %6.2f  (%.2f ms / %.2f ms)\n", rest.c_str(),
                        cpu / baseline->second, cpu, baseline->second);
        }
    }

private:
    const std::map<std::string, double>& Times() const {
        return median_.empty() ? single_ : median_;
    }
    std::map<std::string, double> single_,
        median_; // CPU time per iteration, in the benchmark's unit
};

/// An output that takes the bytes and keeps only their count.
class Discard : public OBXferBytes {
public:
    Discard() { stream_.SetXferBytes(this); }
    unsigned long long Read(void*, unsigned long long) override { return 0; }
    unsigned long long Write(const void*, unsigned long long n) override {
        bytes += n;
        return n;
    }
    unsigned long long Seek(long long, OBSeekFromWhere) override { return bytes; }
    unsigned long long Tell() override { return bytes; }
    void Flush() override {}
    OBStreamState GetStreamState() override { return kStreamOK; }
    void SetEndOfStream() override {}
    OBStream* Stream() { return &stream_; }
    unsigned long long bytes = 0;

private:
    COBStreamWrite stream_;
};

/// The core's allocations, counted while a PeakScope lives: bytes in use
/// and their peak. Timed runs count nothing, as a host's heap does not: a
/// shared counter would cost each allocation more than the heap itself.
inline std::atomic<bool> gCounting{false};
inline std::atomic<long long> gInUse{0}, gPeak{0};

inline void* CountingAllocate(unsigned long long size) {
    auto* block = static_cast<long long*>(std::malloc(size + 16));
    if (!block) return nullptr;
    block[0] = gCounting.load(std::memory_order_relaxed) ? static_cast<long long>(size) : 0;
    if (block[0] == 0) return block + 2;
    long long now = gInUse += static_cast<long long>(size);
    long long peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
    }
    return block + 2;
}

inline void CountingRelease(void* p) {
    if (!p) return;
    auto* block = static_cast<long long*>(p) - 2;
    if (block[0] != 0) gInUse -= block[0];
    std::free(block);
}

/// Counts the core's allocations from its start to its end; KiB() is the
/// peak in use above what was in use at its start.
class PeakScope {
public:
    PeakScope() : before_(gInUse.load()) {
        gPeak = before_;
        gCounting = true;
    }
    ~PeakScope() { gCounting = false; }
    PeakScope(const PeakScope&) = delete;
    PeakScope& operator=(const PeakScope&) = delete;
    double KiB() const { return static_cast<double>(gPeak.load() - before_) / 1024; }

private:
    long long before_;
};

/// A service over CountingAllocate; destroy it while it is installed, at the
/// end, so that it takes the value pools with it.
inline OBMemoryService* NewCountingService() {
    return new OBMemoryService(CountingAllocate, CountingRelease, CountingAllocate,
                               CountingRelease);
}

/// What a text writer does with the stories: reads every text stream. The
/// UTF-16 units read.
inline long long ReadStories(Element* e) {
    long long units = 0;
    if (auto* v = dynamic_cast<ValueStream*>(OBGetAttributeValue(e, AN::kTextStream))) {
        OBStream* stream = nullptr;
        v->Get(stream);
        unsigned char buffer[4096];
        if (stream && stream->Seek(0, kSeekFromStart) >= 0)
            for (long long n; (n = stream->XferByte(buffer, sizeof buffer)) > 0;)
                units += n / 2;
    }
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        units += ReadStories(e->GetNthChild(i));
    return units;
}

/// One conversion as the pump runs it: Init with the reader's own
/// preferences, every Element's stories read, Reset. The UTF-16 units read.
inline long long Convert(OBReader& reader, const std::string& bytes) {
    OBBufferStreamRead input(bytes.data(), bytes.size());
    OBPreferenceList prefs;
    reader.GetStreamPrefs(&input, &prefs);
    reader.Init(&input, &prefs);
    long long units = 0;
    for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement())
        units += ReadStories(e);
    reader.Reset();
    return units;
}

/// The process's resident high-water mark.
inline long MaxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/// Registers candidate and baseline on one document of a corpus, each run
/// briefly so that a corpus of dozens takes about half a minute: named
/// "<candidatePrefix>/<file> (<size> KiB)" and the same with baselinePrefix,
/// the pair the ratio tables match. OMBRA_BENCH_BRIEF_MIN_TIME, in seconds,
/// sets how briefly: bench/run measures again, for longer, the documents
/// whose brief ratio misses its aim.
using DocumentBenchmark = void (*)(benchmark::State&, const std::string*);
inline void RegisterBriefPair(const std::string& candidatePrefix, DocumentBenchmark candidate,
                              const std::string& baselinePrefix, DocumentBenchmark baseline,
                              const std::string& file, const std::string* bytes) {
    const char* setting = std::getenv("OMBRA_BENCH_BRIEF_MIN_TIME");
    const double seconds = setting && std::atof(setting) > 0 ? std::atof(setting) : 0.02;
    const std::string label = file + " (" + std::to_string(bytes->size() / 1024) + " KiB)";
    for (const auto& [prefix, run] :
         {std::make_pair(&baselinePrefix, baseline), std::make_pair(&candidatePrefix, candidate)})
        benchmark::RegisterBenchmark((*prefix + "/" + label).c_str(), run, bytes)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(seconds);
}

} // namespace ombra_bench

#endif
