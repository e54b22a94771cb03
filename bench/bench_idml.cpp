// The IDML reader against its floor, on the largest real package (of
// tests/data/idml/real, and of the folder in OMBRA_IDML_CORPUS when set):
// "parts/" inflates every XML part of the package with libzip and parses it
// with pugixml alone, "reader/" is the whole conversion through the reader
// plug-in's class (recognition, Init, every Element, the text of every story
// read as a writer reads it, Reset). At the end the program prints the
// ratios reader / parts in real and in CPU time (aim: 2 or less); before
// the runs, the reader's peak memory against the package size.
// "package-parts/" and "package-reader/" measure the same briefly on every
// package of the folders.
#include <IdmlReader.h>

#include "BenchReaders.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Every package under the folders, by path.
std::vector<std::string> Packages(const std::vector<std::string>& folders) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    for (const std::string& folder : folders) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec))
            if (it->is_regular_file() && it->path().extension() == ".idml")
                found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The largest of the packages.
std::string Largest(const std::vector<std::string>& packages) {
    std::string best;
    std::uintmax_t bestSize = 0;
    for (const std::string& path : packages) {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        if (!ec && size > bestSize) {
            bestSize = size;
            best = path;
        }
    }
    return best;
}

// Every XML part inflated and parsed: what any reader of the package must do.
long long InflateAndParse(const std::string& package) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(package.data(), package.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) return 0;
    long long nodes = 0;
    std::string part;
    for (zip_int64_t i = 0, n = zip_get_num_entries(archive, 0); i < n; ++i) {
        std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".xml") != 0) continue;
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        part.clear();
        char chunk[65536];
        for (zip_int64_t got; file && (got = zip_fread(file, chunk, sizeof chunk)) > 0;)
            part.append(chunk, static_cast<std::size_t>(got));
        if (file) zip_fclose(file);
        pugi::xml_document doc;
        doc.load_buffer_inplace(&part[0], part.size());
        nodes += doc.first_child() ? 1 : 0;
    }
    zip_discard(archive);
    return nodes;
}

void Parts(benchmark::State& state, const std::string* package) {
    for (auto _ : state)
        benchmark::DoNotOptimize(InflateAndParse(*package));
}

void Reader(benchmark::State& state, const std::string* package) {
    IdmlReader reader;
    for (auto _ : state)
        benchmark::DoNotOptimize(ombra_bench::Convert(reader, *package));
}

} // namespace

int main(int argc, char** argv) {
    ombra_bench::SteadyHeap();
    OBMemoryService* service = ombra_bench::NewCountingService();
    OBMemoryHandler::SetMemoryService(service);
    std::vector<std::string> folders{OMBRA_IDML_DATA_DIR};
    if (const char* extra = std::getenv("OMBRA_IDML_CORPUS")) folders.push_back(extra);
    const std::vector<std::string> packages = Packages(folders);
    const std::string path = Largest(packages);
    const std::string package = ReadAll(path);
    if (package.empty()) {
        std::fprintf(stderr, "no package found under %s\n", OMBRA_IDML_DATA_DIR);
        return 1;
    }
    // Peak memory of one conversion, before anything else grows the process.
    {
        IdmlReader reader;
        long rssBefore = ombra_bench::MaxRssKiB();
        ombra_bench::PeakScope scope;
        long long units = ombra_bench::Convert(reader, package);
        long rssGrowth = ombra_bench::MaxRssKiB() - rssBefore;
        double kib = static_cast<double>(package.size()) / 1024;
        double peak = scope.KiB();
        std::printf("reader peak memory against the package size:\n  %s: package %.0f KiB, "
                    "%lld text units; core peak %.0f KiB (%.2f x package), resident growth "
                    "%ld KiB (%.2f x package)\n",
                    path.c_str(), kib, units, peak, peak / kib, rssGrowth,
                    static_cast<double>(rssGrowth) / kib);
    }
    std::string label = std::filesystem::path(path).filename().string() + " (" +
                        std::to_string(package.size() / 1024) + " KiB)";
    benchmark::RegisterBenchmark(("parts/" + label).c_str(), Parts, &package)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("reader/" + label).c_str(), Reader, &package)
        ->Unit(benchmark::kMillisecond);
    // The aim holds for every package; one both folders hold is measured once.
    std::vector<std::string> bytes;
    bytes.reserve(packages.size());
    std::set<std::string> names;
    for (const std::string& each : packages) {
        bytes.push_back(ReadAll(each));
        const std::string file = std::filesystem::path(each).filename().string();
        if (!names.insert(file + std::to_string(bytes.back().size())).second) continue;
        ombra_bench::RegisterBriefPair("package-reader", Reader, "package-parts", Parts, file,
                                       &bytes.back());
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    {
        ombra_bench::CpuRatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.PrintRatios("ratio IDML reader, whole conversion / inflating and parsing the "
                             "parts with pugixml alone (aims at 2 or less)",
                             "reader/", "parts/");
        reporter.PrintCpuRatios("the same in CPU time", "reader/", "parts/");
        reporter.PrintCpuRatios("in CPU time, each package (aims at 2 or less on every one)",
                                "package-reader/", "package-parts/");
    }
    benchmark::Shutdown();
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
