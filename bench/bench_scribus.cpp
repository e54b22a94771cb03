// The Scribus parser and reader against pugixml alone, on the real 1.5
// documents of tests/data/scribus/real and on the largest document of the
// distribution's template packages (the corpus cache of
// tests/data/fetch-scribus-samples.sh, or the folder in
// OMBRA_SCRIBUS_CORPUS), inflated beforehand: "pugixml/" only builds the
// XML tree of the bytes, "parser/" is scribus::Parse of the same bytes
// (tree plus the document model), "reader/" is the whole conversion through
// the reader plug-in's class (Init, every Element, the text of every story
// read as a writer reads it, Reset). At the end the program prints the
// ratios to pugixml in real and in CPU time (both aim at 2 or less); before
// the runs, the reader's peak memory against the file size.
#include <ScribusParser.h>
#include <ScribusReader.h>

#include <ombra/memory.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kDocuments[] = {
    "resaved-br2-a4-3cols.sla.gz", // the largest: 1.6 MB of XML
    "resaved-cal1-a4.sla.gz",
    "resaved-newsletter1-A4-bw.sla.gz",
    "resaved-program1-bw.sla.gz",
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Inflate(const std::string& gz) {
    if (gz.size() < 2 || static_cast<unsigned char>(gz[0]) != 0x1f) return gz;
    std::string xml, error;
    if (!scribus::Gunzip(reinterpret_cast<const unsigned char*>(gz.data()), gz.size(),
                         std::size_t(1) << 30, xml, error))
        xml.clear();
    return xml;
}

// The largest Scribus document of the corpus (by inflated size), or "".
std::string LargestCorpusDocument() {
    namespace fs = std::filesystem;
    std::string folder;
    if (const char* env = std::getenv("OMBRA_SCRIBUS_CORPUS"))
        folder = env;
    else if (const char* home = std::getenv("HOME"))
        folder = std::string(home) + "/.cache/ombra/scribus-samples/root/usr/share/scribus";
    std::error_code ec;
    std::string best;
    std::size_t bestSize = 0;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().string();
        if (!it->is_regular_file() ||
            (name.find(".sla") == std::string::npos && name.find(".scd") == std::string::npos))
            continue;
        std::size_t size = Inflate(ReadAll(name)).size();
        if (size > bestSize) {
            bestSize = size;
            best = name;
        }
    }
    return best;
}

// The core's allocations, counted: bytes in use and their peak.
std::atomic<long long> gInUse{0}, gPeak{0};
void* CountingAllocate(unsigned long long size) {
    auto* block = static_cast<long long*>(std::malloc(size + 16));
    if (!block) return nullptr;
    block[0] = static_cast<long long>(size);
    long long now = gInUse += static_cast<long long>(size);
    long long peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
    }
    return block + 2;
}
void CountingRelease(void* p) {
    if (!p) return;
    auto* block = static_cast<long long*>(p) - 2;
    gInUse -= block[0];
    std::free(block);
}

// What a text writer does with the stories: reads every text stream.
long long ReadStories(Element* e) {
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

// One conversion: Init, every Element to the null writer, Reset.
long long Convert(ScribusReader& reader, const std::string& xml) {
    OBBufferStreamRead input(xml.data(), xml.size());
    OBPreferenceList prefs;
    reader.GetStreamPrefs(&input, &prefs);
    reader.Init(&input, &prefs);
    long long units = 0;
    for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement())
        units += ReadStories(e);
    reader.Reset();
    return units;
}

void Reader(benchmark::State& state, const std::string* xml) {
    ScribusReader reader;
    for (auto _ : state)
        benchmark::DoNotOptimize(Convert(reader, *xml));
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) *
                            static_cast<long long>(xml->size()));
}

void Pugixml(benchmark::State& state, const std::string* xml) {
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result r =
            doc.load_buffer(xml->data(), xml->size(), pugi::parse_default, pugi::encoding_utf8);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) *
                            static_cast<long long>(xml->size()));
}

void Parser(benchmark::State& state, const std::string* xml) {
    for (auto _ : state) {
        scribus::ParseResult r =
            scribus::Parse(reinterpret_cast<const unsigned char*>(xml->data()), xml->size());
        benchmark::DoNotOptimize(r.document.items.data());
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) *
                            static_cast<long long>(xml->size()));
}

// The ratios once more from CPU time, which other work on a shared machine
// disturbs far less than real time; with repetitions, from the medians.
class CpuRatioReporter : public ombra_bench::RatioReporter {
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

long MaxRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    // Destroyed while installed, at the end: it takes the value pools with it.
    OBMemoryService* service =
        new OBMemoryService(CountingAllocate, CountingRelease, CountingAllocate, CountingRelease);
    OBMemoryHandler::SetMemoryService(service);
    struct Document {
        std::string label, xml;
        std::size_t fileSize;
    };
    std::vector<Document> documents;
    documents.reserve(sizeof kDocuments / sizeof kDocuments[0] + 1);
    std::string largest = LargestCorpusDocument();
    if (!largest.empty()) {
        std::string bytes = ReadAll(largest);
        documents.push_back({"corpus " + std::filesystem::path(largest).filename().string(),
                             Inflate(bytes), bytes.size()});
    } else {
        std::fprintf(stderr, "no corpus found (run tests/data/fetch-scribus-samples.sh); the "
                             "repository's documents only\n");
    }
    for (const char* name : kDocuments) {
        std::string bytes = ReadAll(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real/" + name);
        documents.push_back({name, Inflate(bytes), bytes.size()});
    }
    // Peak memory of one conversion of each, before anything else grows the
    // process: the resident set's high-water mark and the core's own peak.
    std::printf("reader peak memory against the file size:\n");
    for (Document& d : documents) {
        if (d.xml.empty()) {
            std::fprintf(stderr, "cannot read %s\n", d.label.c_str());
            return 1;
        }
        ScribusReader reader;
        long rssBefore = MaxRssKiB();
        gPeak = gInUse.load();
        long long before = gInUse.load();
        long long units = Convert(reader, d.xml);
        long rssGrowth = MaxRssKiB() - rssBefore;
        double xmlKiB = static_cast<double>(d.xml.size()) / 1024;
        std::printf("  %-44s file %7.0f KiB, XML %7.0f KiB, %8lld text units; core peak %7.0f KiB "
                    "(%.2f x XML), "
                    "resident growth %7ld KiB (%.2f x XML)\n",
                    d.label.c_str(), static_cast<double>(d.fileSize) / 1024, xmlKiB, units,
                    static_cast<double>(gPeak.load() - before) / 1024,
                    static_cast<double>(gPeak.load() - before) / 1024 / xmlKiB, rssGrowth,
                    static_cast<double>(rssGrowth) / xmlKiB);
    }
    for (Document& d : documents) {
        std::string label = d.label + " (" + std::to_string(d.xml.size() / 1024) + " KiB)";
        benchmark::RegisterBenchmark(("pugixml/" + label).c_str(), Pugixml, &d.xml)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("parser/" + label).c_str(), Parser, &d.xml)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("reader/" + label).c_str(), Reader, &d.xml)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    {
        CpuRatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.PrintRatios(
            "ratio Scribus parser / pugixml tree alone (the parser aims at 2 or less)", "parser/",
            "pugixml/");
        reporter.PrintRatios(
            "ratio Scribus reader, whole conversion / pugixml tree alone (aims at 2 or less)",
            "reader/", "pugixml/");
        reporter.PrintCpuRatios("the same in CPU time: Scribus parser / pugixml tree alone",
                                "parser/", "pugixml/");
        reporter.PrintCpuRatios(
            "the same in CPU time: Scribus reader, whole conversion / pugixml tree alone",
            "reader/", "pugixml/");
    }
    benchmark::Shutdown();
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
