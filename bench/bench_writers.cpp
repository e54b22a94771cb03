// The HTML and pandoc writers against the text writer on the same
// Elements: the real Scribus document of the repository with the most text
// and, when the distribution's templates were fetched
// (tests/data/fetch-scribus-samples.sh, or OMBRA_SCRIBUS_CORPUS), the one
// of them with the most text. Each document is read once; "text/", "html/"
// and "pandoc/" convert its Elements into memory. At the end the program
// prints html / text and pandoc / text (the HTML writer aims at 1.5 or
// less).
#include <ScribusReader.h>

#include "HtmlConversion.h"
#include "PandocConversion.h"
#include "TextConversion.h"

#include <ombra/convertorlumservice.h>
#include <ombra/memory.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "BenchReaders.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

void* Allocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void Release(void* p) {
    std::free(p);
}

using ombra_bench::Discard;

// A document read once, its Elements kept until the end.
struct Document {
    std::string name;
    std::string bytes;
    std::unique_ptr<ScribusReader> reader;
    std::vector<Element*> elements;
    long long units = 0;
};

long long TextUnits(Element* e) {
    long long units = 0;
    if (auto* v = dynamic_cast<ValueStream*>(OBGetAttributeValue(e, AN::kTextStream))) {
        OBStream* stream = nullptr;
        v->Get(stream);
        if (stream) units += stream->Seek(0, kSeekFromEnd) / 2;
    }
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        units += TextUnits(e->GetNthChild(i));
    return units;
}

bool Read(Document& d) {
    std::ifstream in(d.name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    d.bytes = bytes.str();
    OBBufferStreamRead input(d.bytes.data(), d.bytes.size());
    d.reader = std::make_unique<ScribusReader>();
    OBPreferenceList prefs;
    d.reader->GetStreamPrefs(&input, &prefs);
    d.reader->Init(&input, &prefs);
    for (Element* e = d.reader->GetFirstElement(); e; e = d.reader->GetNextElement()) {
        d.elements.push_back(e);
        d.units += TextUnits(e);
    }
    return !d.elements.empty();
}

// Of the Scribus documents under folder, the one with the most text.
std::unique_ptr<Document> MostText(const std::string& folder) {
    namespace fs = std::filesystem;
    std::unique_ptr<Document> best;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().string();
        if (!it->is_regular_file() || name.find(".sla") == std::string::npos) continue;
        auto d = std::make_unique<Document>();
        d->name = name;
        if (!Read(*d)) continue;
        if (!best || d->units > best->units) {
            if (best) best->reader->Reset();
            best = std::move(d);
        } else {
            d->reader->Reset();
        }
    }
    return best;
}

template <class Conversion, class Options>
void Write(benchmark::State& state, const Document* d, Options options) {
    unsigned long long bytes = 0;
    for (auto _ : state) {
        Discard out;
        Conversion conversion(out.Stream(), options);
        for (Element* e : d->elements)
            conversion.PutElement(e);
        conversion.PutElement(nullptr);
        bytes = out.bytes;
    }
    state.counters["output KiB"] = static_cast<double>(bytes) / 1024;
}

} // namespace

int main(int argc, char** argv) {
    OBMemoryService* service = new OBMemoryService(Allocate, Release, Allocate, Release);
    OBMemoryHandler::SetMemoryService(service);
    OBLumHandler::SetLumService(new OBConvertorLumService);
    std::vector<std::unique_ptr<Document>> documents;
    documents.push_back(MostText(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real"));
    std::string corpus;
    if (const char* env = std::getenv("OMBRA_SCRIBUS_CORPUS"))
        corpus = env;
    else if (const char* home = std::getenv("HOME"))
        corpus = std::string(home) + "/.cache/ombra/scribus-samples/root/usr/share/scribus";
    if (auto largest = MostText(corpus))
        documents.push_back(std::move(largest));
    else
        std::fprintf(stderr, "no corpus found (run tests/data/fetch-scribus-samples.sh)\n");
    OBTextWriterOptions text;
    text.encoding = OBTW::kUTF8;
    for (const auto& d : documents) {
        if (!d) continue;
        std::string label = std::filesystem::path(d->name).filename().string() + " (" +
                            std::to_string(d->units) + " text units)";
        benchmark::RegisterBenchmark(("text/" + label).c_str(),
                                     Write<OBTextConversion, OBTextWriterOptions>, d.get(), text)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("html/" + label).c_str(),
                                     Write<OBHtmlConversion, OBHtmlOptions>, d.get(),
                                     OBHtmlOptions())
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pandoc/" + label).c_str(),
                                     Write<OBPandocConversion, OBPandocOptions>, d.get(),
                                     OBPandocOptions())
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ombra_bench::CpuRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(
        "ratio HTML writer / text writer on the same Elements (aims at 1.5 or less)", "html/",
        "text/");
    reporter.PrintRatios("ratio pandoc writer / text writer on the same Elements", "pandoc/",
                         "text/");
    reporter.PrintCpuRatios("the same from CPU time (with repetitions, their medians): HTML",
                            "html/", "text/");
    reporter.PrintCpuRatios("the same from CPU time: pandoc", "pandoc/", "text/");
    benchmark::Shutdown();
    for (const auto& d : documents)
        if (d) d->reader->Reset();
    return 0;
}
