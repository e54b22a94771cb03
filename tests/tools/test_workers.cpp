// Batches in worker processes: a reader that crashes, hangs or exhausts
// memory costs only its input, whatever the number of workers; shards of a
// corpus add up to the whole; a rerun with --skip-existing converts only
// what is missing.
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using namespace ombra_test;

namespace {

using Args = std::vector<std::string>;
const std::string kToolReaders = std::string(OMBRA_TOOL_PLUGIN_DIR) + "/readers";
const std::string kData = std::string(OMBRA_SOURCE_DIR) + "/tests/data/scribus/";

// RLIMIT_AS cannot bind a process whose sanitizer reserved terabytes.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The sample documents, copied under in/ as NAME.sla.
std::vector<std::string> Documents(const TempFolder& work) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kData))
        if (entry.path().extension() == ".sla") {
            std::string name = entry.path().filename().string();
            work.Write("in/" + name, ReadFile(entry.path().string()));
            names.push_back("in/" + name);
        }
    std::sort(names.begin(), names.end());
    return names;
}

ToolResult Convert(const TempFolder& work, Args arguments) {
    RunHow how;
    how.folder = work.Path();
    arguments.insert(arguments.begin(), "convert");
    arguments.insert(arguments.end(), {"--readers", kToolReaders});
    return RunOmbra(arguments, how);
}

} // namespace

TEST(OmbraWorkers, AWorkerThatCrashesHangsOrRunsOutOfMemoryCostsOnlyItsInput) {
    TempFolder work;
    Args documents = Documents(work);
    Args whole = documents;
    whole.insert(whole.end(), {"-q", "--outdir", "reference"});
    ASSERT_EQ(Convert(work, whole).exitCode, 0);

    std::vector<std::pair<std::string, std::string>> faults = {
        {"in/crash.in", "crashed with signal "}, {"in/hang.in", "timed out after 1 s"}};
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
        arguments.insert(arguments.end(), {"--outdir", "out", "-j", std::to_string(workers),
                                           "--timeout", "1", "--max-memory", "256M"});
        ToolResult run = Convert(work, arguments);
        EXPECT_EQ(run.exitCode, 1);
        for (const auto& fault : faults)
            EXPECT_TRUE(Contains(run.err, fault.first + ": " + fault.second)) << run.err;
        if (!kSanitized) {
            EXPECT_TRUE(Contains(run.err, "crash.in: crashed with signal 11 (SIGSEGV)"));
        }
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

TEST(OmbraWorkers, ShardsAddUpToTheWholeAndARerunConvertsOnlyWhatIsMissing) {
    TempFolder work;
    Args documents = Documents(work);
    std::multiset<std::string> union_;
    std::size_t smallest = documents.size(), largest = 0;
    for (int shard = 1; shard <= 4; ++shard) {
        // The inputs in another order on every machine: sorting decides.
        Args arguments = documents;
        std::rotate(arguments.begin(), arguments.begin() + shard, arguments.end());
        arguments.insert(arguments.end(), {"--outdir", "out" + std::to_string(shard), "--shard",
                                           std::to_string(shard) + "/4", "-q"});
        ASSERT_EQ(Convert(work, arguments).exitCode, 0);
        Args names = work.Names("out" + std::to_string(shard));
        union_.insert(names.begin(), names.end());
        smallest = std::min(smallest, names.size());
        largest = std::max(largest, names.size());
    }
    EXPECT_EQ(union_.size(), documents.size());
    EXPECT_EQ(std::set<std::string>(union_.begin(), union_.end()).size(), documents.size());
    EXPECT_LE(largest - smallest, 1u);

    Args arguments = documents;
    arguments.insert(arguments.end(), {"--outdir", "out", "--skip-existing", "-v", "-j", "2"});
    ASSERT_EQ(Convert(work, arguments).exitCode, 0);
    std::string kept = work / "out/v13.txt";
    work.Write("out/v13.txt", "kept");
    std::filesystem::remove(work / "out/v14.txt");
    ToolResult rerun = Convert(work, arguments);
    EXPECT_EQ(rerun.exitCode, 0);
    EXPECT_TRUE(Contains(rerun.err, "in/v13.sla: skipped: out/v13.txt exists")) << rerun.err;
    EXPECT_TRUE(Contains(rerun.err, "1 of " + std::to_string(documents.size()) + " converted, " +
                                        std::to_string(documents.size() - 1) + " skipped"))
        << rerun.err;
    EXPECT_EQ(ReadFile(kept), "kept");
    EXPECT_TRUE(Contains(ReadFile(work / "out/v14.txt"), "\n"));
}
