// Ratios between benchmarks measured in the same run: a console reporter
// that also keeps the mean real time per iteration of every benchmark, and
// prints candidate / baseline for the pairs that share a name after their
// prefixes ("pooled/64" against "heap/64").
#ifndef OMBRA_BENCH_RATIOS_H
#define OMBRA_BENCH_RATIOS_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace ombra_bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Sample& s = samples_[run.benchmark_name()];
            s.total += run.GetAdjustedRealTime();
            s.count += 1;
        }
    }

    /// Prints `heading`, then one line per benchmark named candidatePrefix + X
    /// whose baselinePrefix + X ran too: X and the ratio of their mean times.
    void PrintRatios(const char* heading, const std::string& candidatePrefix,
                     const std::string& baselinePrefix) const {
        std::printf("\n%s\n", heading);
        bool any = false;
        for (const auto& [name, candidate] : samples_) {
            if (name.compare(0, candidatePrefix.size(), candidatePrefix) != 0) continue;
            std::string rest = name.substr(candidatePrefix.size());
            auto baseline = samples_.find(baselinePrefix + rest);
            if (baseline == samples_.end()) continue;
            double ratio = candidate.Mean() / baseline->second.Mean();
            std::printf("  %-36s %9.3g\n", rest.c_str(), ratio);
            any = true;
        }
        if (!any)
            std::printf("  (no %s and %s pair ran)\n", candidatePrefix.c_str(),
                        baselinePrefix.c_str());
    }

private:
    struct Sample {
        double total = 0;
        int count = 0;
        double Mean() const { return total / count; }
    };
    std::map<std::string, Sample> samples_;
};

} // namespace ombra_bench

#endif
