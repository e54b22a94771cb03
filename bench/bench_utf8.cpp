// UTF-8 to UTF-16: OBStringUtils against the C library's iconv on the same
// 10 MB of mixed-script text (Latin, Greek, Cyrillic, Japanese, Chinese,
// Korean, emoji). The library converts into a WOBString, once into one that
// keeps its buffer from the run before and once into a fresh string; iconv
// converts into a buffer made beforehand. At the end the program prints
// OBStringUtils time / iconv time.
#include <ombra/memory.h>
#include <ombra/utf8.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kTextSize = 10 * 1024 * 1024;

void* MallocAllocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void MallocFree(void* block) {
    std::free(block);
}

// Words of several scripts, picked at random until the text is full.
std::string MakeText() {
    const char* words[] = {
        "the ",
        "conversion ",
        "caf\xC3\xA9 ",
        "na\xC3\xAFve ",
        "\xC3\xBC"
        "ber ",
        "stra\xC3\x9F"
        "e ",
        "\xCE\xB1\xCE\xBB\xCF\x86\xCE\xB1 ",
        "\xD0\xBC\xD0\xB8\xD1\x80 ",                        // Cyrillic
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",             // Japanese kanji
        "\xE3\x81\xB2\xE3\x82\x89\xE3\x81\x8C\xE3\x81\xAA", // hiragana
        "\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A", // katakana
        "\xE4\xB8\xAD\xE6\x96\x87 ",                        // Chinese
        "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 ",            // Korean
        "\xF0\x9F\x98\x80 ",                                // emoji: a surrogate pair
        "page 12, ",
        "\n",
    };
    const std::size_t count = sizeof words / sizeof words[0];
    std::string text;
    text.reserve(kTextSize + 32);
    unsigned state = 12345;
    while (text.size() < kTextSize) {
        state = state * 1103515245u + 12345u;
        text += words[(state >> 16) % count];
    }
    text.resize(kTextSize);
    // Do not end inside a character.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
        text.pop_back();
    if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.pop_back();
    return text;
}

const std::string& Text() {
    static const std::string text = MakeText();
    return text;
}

void Ombra(benchmark::State& state) {
    const std::string& text = Text();
    WOBString out;
    for (auto _ : state) {
        if (OBStringUtils::ConvertUTF8ToUTF16String(text.data(), text.size(), out) != 1) {
            state.SkipWithError("conversion failed");
            return;
        }
        benchmark::DoNotOptimize(out.GrabWString());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
}

void OmbraFresh(benchmark::State& state) {
    const std::string& text = Text();
    for (auto _ : state) {
        WOBString out;
        if (OBStringUtils::ConvertUTF8ToUTF16String(text.data(), text.size(), out) != 1) {
            state.SkipWithError("conversion failed");
            return;
        }
        benchmark::DoNotOptimize(out.GrabWString());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
}

void Iconv(benchmark::State& state) {
    const std::string& text = Text();
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv cannot convert UTF-8");
        return;
    }
    std::vector<char> units(2 * text.size() + 16);
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char* out = units.data();
        std::size_t outLeft = units.size();
        if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            state.SkipWithError("iconv failed");
            break;
        }
        benchmark::DoNotOptimize(units.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
}

// Both sides must produce the same units, or the comparison means nothing.
bool SameResult() {
    const std::string& text = Text();
    WOBString ours;
    if (OBStringUtils::ConvertUTF8ToUTF16String(text.data(), text.size(), ours) != 1) return false;
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> units(2 * text.size() + 16);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* out = units.data();
    std::size_t outLeft = units.size();
    bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    std::size_t bytes = units.size() - outLeft;
    return ok && bytes == static_cast<std::size_t>(ours.Length()) * 2 &&
           std::memcmp(units.data(), ours.GrabWString(), bytes) == 0;
}

} // namespace

int main(int argc, char** argv) {
    auto* service = new OBMemoryService(MallocAllocate, MallocFree, MallocAllocate, MallocFree);
    OBMemoryHandler::SetMemoryService(service);

    if (!SameResult()) {
        std::fprintf(stderr, "OBStringUtils and iconv disagree on the text\n");
        return 1;
    }
    benchmark::RegisterBenchmark("ombra/utf8_to_utf16", Ombra)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ombra_fresh/utf8_to_utf16", OmbraFresh)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("iconv/utf8_to_utf16", Iconv)->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ombra_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios("ratio OBStringUtils / iconv, into a string that keeps its buffer "
                         "(below 1 OBStringUtils is faster)",
                         "ombra/", "iconv/");
    reporter.PrintRatios("ratio OBStringUtils / iconv, into a fresh string", "ombra_fresh/",
                         "iconv/");
    benchmark::Shutdown();

    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
