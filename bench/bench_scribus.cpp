// The Scribus parser and reader against pugixml alone, on the real 1.5
// documents of tests/data/scribus/real and on the largest document of the
// distribution's template packages (the corpus cache of
// tests/data/fetch-scribus-samples.sh, or the folder in
// OMBRA_SCRIBUS_CORPUS), inflated beforehand: "pugixml/" only builds the
// XML tree of the bytes, "parser/" is scribus::Parse of the same bytes
// (tree plus the document model), "reader/" is the whole conversion through
// the reader plug-in's class (Init, every Element, the text of every story
// read as a writer reads it, Reset), and "textconv/", on the documents with
// text, is the text convertor as a host runs it: ExtractData from the bytes
// through the built reader and text writer plug-ins into an output that
// counts the bytes. "template-reader/" and "template-pugixml/" measure the
// reader and pugixml briefly on every template of the corpus. At the end the
// program prints the ratios to pugixml in real and in CPU time (the reader
// aims at 2 or less, the text convertor at 2.5); before the runs, the
// reader's peak memory against the file size, each document converted once
// in a process of its own.
#include <ScribusParser.h>
#include <ScribusReader.h>

#include <ombra/convertor.h>
#include <ombra/memory.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "BenchReaders.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

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

// Every Scribus document of the corpus (the distribution's templates), with
// its XML inflated; none when the corpus is not at hand.
struct CorpusDocument {
    std::string path, xml;
    std::size_t fileSize;
};

std::vector<CorpusDocument> CorpusDocuments() {
    namespace fs = std::filesystem;
    std::string folder;
    if (const char* env = std::getenv("OMBRA_SCRIBUS_CORPUS"))
        folder = env;
    else if (const char* home = std::getenv("HOME"))
        folder = std::string(home) + "/.cache/ombra/scribus-samples/root/usr/share/scribus";
    std::error_code ec;
    std::vector<CorpusDocument> found;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().string();
        if (!it->is_regular_file() ||
            (name.find(".sla") == std::string::npos && name.find(".scd") == std::string::npos))
            continue;
        std::string bytes = ReadAll(name);
        std::string xml = Inflate(bytes);
        if (!xml.empty()) found.push_back({name, std::move(xml), bytes.size()});
    }
    std::sort(found.begin(), found.end(),
              [](const CorpusDocument& a, const CorpusDocument& b) { return a.path < b.path; });
    return found;
}

void Reader(benchmark::State& state, const std::string* xml) {
    ScribusReader reader;
    for (auto _ : state)
        benchmark::DoNotOptimize(ombra_bench::Convert(reader, *xml));
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

// The text convertor with the host's default options but UTF-8.
struct TextConvertor {
    OBConvertor* convertor;
    Preferences options{};
};

void TextConversion(benchmark::State& state, const std::string* xml, TextConvertor* text) {
    unsigned long long bytes = 0;
    for (auto _ : state) {
        OBBufferStreamRead input(xml->data(), xml->size());
        ombra_bench::Discard out;
        if (!text->convertor->ExtractData(&input, out.Stream(), &text->options)) {
            state.SkipWithError("the text convertor failed");
            break;
        }
        bytes = out.bytes;
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) *
                            static_cast<long long>(xml->size()));
    state.counters["output KiB"] = static_cast<double>(bytes) / 1024;
}

} // namespace

namespace {

struct Document {
    std::string label, xml;
    std::size_t fileSize;
    long long units = 0;
};

// One conversion of d: the core's peak. (The resident set of the whole
// program, against the largest document, is bench/run's to measure.)
void PrintPeak(const Document& d) {
    ScribusReader reader;
    ombra_bench::PeakScope scope;
    long long units = ombra_bench::Convert(reader, d.xml);
    double xmlKiB = static_cast<double>(d.xml.size()) / 1024;
    double peakKiB = scope.KiB();
    std::printf("  %-44s file %7.0f KiB, XML %7.0f KiB, %8lld text units; core peak %7.0f KiB "
                "(%.2f x XML)\n",
                d.label.c_str(), static_cast<double>(d.fileSize) / 1024, xmlKiB, units, peakKiB,
                peakKiB / xmlKiB);
}

} // namespace

int main(int argc, char** argv) {
    ombra_bench::SteadyHeap();
    // Destroyed while installed, at the end: it takes the value pools with it.
    OBMemoryService* service = ombra_bench::NewCountingService();
    OBMemoryHandler::SetMemoryService(service);
    std::vector<Document> documents;
    documents.reserve(sizeof kDocuments / sizeof kDocuments[0] + 1);
    std::vector<CorpusDocument> corpus = CorpusDocuments();
    auto largest = std::max_element(corpus.begin(), corpus.end(),
                                    [](const CorpusDocument& a, const CorpusDocument& b) {
                                        return a.xml.size() < b.xml.size();
                                    });
    if (largest != corpus.end()) {
        documents.push_back({"corpus " + std::filesystem::path(largest->path).filename().string(),
                             largest->xml, largest->fileSize});
    } else {
        std::fprintf(stderr, "no corpus found (run tests/data/fetch-scribus-samples.sh); the "
                             "repository's documents only\n");
    }
    for (const char* name : kDocuments) {
        std::string bytes = ReadAll(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real/" + name);
        documents.push_back({name, Inflate(bytes), bytes.size()});
    }
    // Peak memory of one conversion of each, in a child of its own: in one
    // process the pools filled by the documents before would hold the next
    // one's values and hide them from the count.
    std::printf("reader peak memory against the file size:\n");
    for (Document& d : documents) {
        if (d.xml.empty()) {
            std::fprintf(stderr, "cannot read %s\n", d.label.c_str());
            return 1;
        }
        std::fflush(stdout);
        pid_t child = fork();
        if (child == 0) {
            PrintPeak(d);
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || status != 0)
            PrintPeak(d); // no child: measured here, after the documents before
    }
    for (Document& d : documents) {
        ScribusReader reader;
        d.units = ombra_bench::Convert(reader, d.xml);
    }
    auto* manager = new OBConvertorManager(OMBRA_READER_DIR, OMBRA_WRITER_DIR);
    ErrorCode error = kNoError;
    TextConvertor text{manager->GetConvertor(1, error)};
    text.options.textEncoding = 0; // UTF-8
    if (!text.convertor) std::fprintf(stderr, "no text convertor: the plug-ins are not built\n");
    for (Document& d : documents) {
        std::string label = d.label + " (" + std::to_string(d.xml.size() / 1024) + " KiB)";
        if (text.convertor && d.units > 0)
            benchmark::RegisterBenchmark(("textconv/" + label).c_str(), TextConversion, &d.xml,
                                         &text)
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pugixml/" + label).c_str(), Pugixml, &d.xml)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("parser/" + label).c_str(), Parser, &d.xml)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("reader/" + label).c_str(), Reader, &d.xml)
            ->Unit(benchmark::kMillisecond);
    }
    // The aim holds for every template, the small ones too.
    for (const CorpusDocument& t : corpus)
        ombra_bench::RegisterBriefPair("template-reader", Reader, "template-pugixml", Pugixml,
                                       std::filesystem::path(t.path).filename().string(), &t.xml);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    {
        ombra_bench::CpuRatioReporter reporter;
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
        reporter.PrintCpuRatios("in CPU time: Scribus -> text through the text convertor / pugixml "
                                "tree alone (aims at 2.5 or less)",
                                "textconv/", "pugixml/");
        reporter.PrintCpuRatios("in CPU time: Scribus reader / pugixml tree alone, each template "
                                "of the corpus (aims at 2 or less on every one)",
                                "template-reader/", "template-pugixml/");
    }
    benchmark::Shutdown();
    delete manager;
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
