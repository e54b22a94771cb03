// The Scribus parser against pugixml alone on the real 1.5 documents of
// tests/data/scribus/real, inflated beforehand: "pugixml/" only builds the
// XML tree of the bytes, "parser/" is scribus::Parse of the same bytes (tree
// plus the document model). At the end the program prints parser time /
// pugixml time per document; the parser aims to stay within 2.
#include <ScribusParser.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kDocuments[] = {
    "resaved-br2-a4-3cols.sla.gz",  // the largest: 1.6 MB of XML
    "resaved-cal1-a4.sla.gz",
    "resaved-newsletter1-A4-bw.sla.gz",
    "resaved-program1-bw.sla.gz",
};

std::string Inflated(const std::string& name) {
    std::ifstream in(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string gz = bytes.str(), xml, error;
    if (!scribus::Gunzip(reinterpret_cast<const unsigned char*>(gz.data()), gz.size(), std::size_t(1) << 30, xml,
                         error))
        xml.clear();
    return xml;
}

void Pugixml(benchmark::State& state, const std::string* xml) {
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result r = doc.load_buffer(xml->data(), xml->size(), pugi::parse_default, pugi::encoding_utf8);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(xml->size()));
}

void Parser(benchmark::State& state, const std::string* xml) {
    for (auto _ : state) {
        scribus::ParseResult r = scribus::Parse(reinterpret_cast<const unsigned char*>(xml->data()), xml->size());
        benchmark::DoNotOptimize(r.document.items.data());
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(xml->size()));
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> texts;
    texts.reserve(sizeof kDocuments / sizeof kDocuments[0]);
    for (const char* name : kDocuments) {
        texts.push_back(Inflated(name));
        if (texts.back().empty()) {
            std::fprintf(stderr, "cannot read %s\n", name);
            return 1;
        }
        scribus::ParseResult r = scribus::Parse(reinterpret_cast<const unsigned char*>(texts.back().data()),
                                                texts.back().size());
        if (r.status != scribus::ParseResult::Status::kOk) {
            std::fprintf(stderr, "%s does not parse cleanly\n", name);
            return 1;
        }
        std::string label = std::string(name) + " (" + std::to_string(texts.back().size() / 1024) + " KiB)";
        benchmark::RegisterBenchmark(("pugixml/" + label).c_str(), Pugixml, &texts.back())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("parser/" + label).c_str(), Parser, &texts.back())
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ombra_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios("ratio Scribus parser / pugixml tree alone (the parser aims at 2 or less)", "parser/",
                         "pugixml/");
    benchmark::Shutdown();
    return 0;
}
