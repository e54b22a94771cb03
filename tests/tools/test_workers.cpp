// Batches in worker processes: a reader that crashes, hangs or exhausts
// memory costs only its input, whatever the number of workers; shards of a
// corpus add up to the whole; a rerun with --skip-existing converts only
// what is missing.
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

using namespace ombra_test;

namespace {

using Args = std::vector<std::string>;

// RLIMIT_AS cannot bind a process whose sanitizer reserved terabytes, and
// the sanitizer reports crashes itself.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// The sample documents (*.sla; their compressed twins would write the same outputs).
Args Documents() {
    Args paths;
    for (const auto& entry : std::filesystem::directory_iterator(kData))
        if (entry.path().extension() == ".sla") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

ToolResult Convert(const TempFolder& work, Args arguments, RunHow how = RunHow()) {
    how.folder = work.Path();
    arguments.insert(arguments.begin(), "convert");
    arguments.insert(arguments.end(), {"--readers", kToolReaders});
    return RunOmbra(arguments, how);
}

} // namespace

TEST(OmbraWorkers, AWorkerThatCrashesHangsOrRunsOutOfMemoryCostsOnlyItsInput) {
    TempFolder work;
    Args documents = Documents();
    Args whole = documents;
    whole.insert(whole.end(), {"-q", "--outdir", "reference"});
    ASSERT_EQ(Convert(work, whole).exitCode, 0);

    std::vector<std::pair<std::string, std::string>> faults = {
        // The sanitizer reports the crash and ends the worker its own way.
        {"in/crash.in", kSanitized ? "" : "crashed with signal 11 (SIGSEGV)"},
        // Long enough for a real document on a busy machine; the hang never ends.
        {"in/hang.in", "timed out after 3 s"}};
    if (!kSanitized)
        faults.push_back({"in/grow.in", "out of memory (the --max-memory limit is 256 MiB)"});
    for (const auto& fault : faults)
        work.Write(fault.first, "OMBRA-FAULT " + fault.first.substr(3, fault.first.size() - 6));
    for (int workers : {1, 2}) {
        // Faults first, so that the workers that replace the lost ones do the rest.
        Args arguments;
        for (const auto& fault : faults)
            arguments.push_back(fault.first);
        arguments.insert(arguments.end(), documents.begin(), documents.end());
        arguments.insert(arguments.end(),
                         {"--outdir", "out", "-j", std::to_string(workers), "--timeout", "3"});
        if (!kSanitized) arguments.insert(arguments.end(), {"--max-memory", "256M"});
        ToolResult run = Convert(work, arguments);
        EXPECT_EQ(run.exitCode, 1);
        for (const auto& fault : faults)
            EXPECT_TRUE(Contains(run.err, fault.first + ": " + fault.second)) << run.err;
        std::string summary = std::to_string(documents.size()) + " of " +
                              std::to_string(documents.size() + faults.size()) + " converted, " +
                              std::to_string(faults.size()) + " failed";
        EXPECT_TRUE(Contains(run.err, summary)) << run.err;
        EXPECT_EQ(work.Names("out"), work.Names("reference")) << "no partial output, nothing lost";
        for (const std::string& name : work.Names("reference"))
            EXPECT_EQ(ReadFile(work / ("out/" + name)), ReadFile(work / ("reference/" + name)));
        std::filesystem::remove_all(work / "out");
    }
}

// Where no process may be started, -j converts the batch here, with a note,
// rather than fail every input.
TEST(OmbraWorkers, WithoutWorkerProcessesTheBatchIsConvertedInThisProcess) {
    TempFolder work;
    Args documents = Documents(), arguments = documents;
    arguments.insert(arguments.end(), {"-q", "--outdir", "reference"});
    ASSERT_EQ(Convert(work, arguments).exitCode, 0);
    arguments = documents;
    arguments.insert(arguments.end(), {"--outdir", "out", "-j", "3"});
    RunHow how;
    how.uid = ::geteuid() == 0 ? kUnprivilegedUser : -1;
    how.processes = 1;
    ToolResult run = Convert(work, arguments, how);
    // The leak checker cannot start its thread at the end, which it takes for a failure.
    if (!kSanitized) {
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
    EXPECT_TRUE(Contains(run.err, "ombra: note: cannot start a worker process (")) << run.err;
    EXPECT_EQ(work.Names("out"), work.Names("reference"));
    for (const std::string& name : work.Names("reference"))
        EXPECT_EQ(ReadFile(work / ("out/" + name)), ReadFile(work / ("reference/" + name)));
}

TEST(OmbraWorkers, ShardsAddUpToTheWholeAndARerunConvertsOnlyWhatIsMissing) {
    TempFolder work;
    Args documents = Documents(), arguments = documents;
    arguments.insert(arguments.end(), {"--outdir", "out", "--skip-existing", "-v", "-j", "2"});
    ASSERT_EQ(Convert(work, arguments).exitCode, 0);
    Args shards;
    for (int shard = 1; shard <= 4; ++shard) {
        // The inputs in another order on every machine: sorting decides.
        Args given = documents;
        std::rotate(given.begin(), given.begin() + shard, given.end());
        std::string out = "out" + std::to_string(shard);
        given.insert(given.end(), {"--outdir", out, "--shard", std::to_string(shard) + "/4"});
        ASSERT_EQ(Convert(work, given).exitCode, 0);
        Args names = work.Names(out);
        EXPECT_NEAR(names.size(), documents.size() / 4.0, 1.0);
        shards.insert(shards.end(), names.begin(), names.end());
    }
    std::sort(shards.begin(), shards.end());
    EXPECT_EQ(shards, work.Names("out"));

    std::string kept = work.Write("out/v13.txt", "kept");
    std::filesystem::remove(work / "out/v14.txt");
    ToolResult rerun = Convert(work, arguments);
    EXPECT_EQ(rerun.exitCode, 0);
    EXPECT_TRUE(Contains(rerun.err, "v13.sla: skipped: out/v13.txt exists")) << rerun.err;
    EXPECT_TRUE(Contains(rerun.err, "1 of " + std::to_string(documents.size()) + " converted, " +
                                        std::to_string(documents.size() - 1) + " skipped"))
        << rerun.err;
    EXPECT_EQ(ReadFile(kept), "kept");
    EXPECT_TRUE(Contains(ReadFile(work / "out/v14.txt"), "\n"));
}
