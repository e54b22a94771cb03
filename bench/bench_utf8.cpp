// UTF-8 to UTF-16 and back: OBStringUtils against the C library's iconv on
// the same 4 MB of text in each of four kinds: Latin (English, French,
// German words), Cyrillic, CJK (Japanese and Chinese) and a mix of those
// with Greek, Korean and emoji. The library converts into a string that
// keeps its buffer from the run before (and, for UTF-8 to UTF-16, also into
// a fresh string); iconv converts into a buffer made beforehand. At the end
// the program prints OBStringUtils time / iconv time for each.
#include <ombra/memory.h>
#include <ombra/utf8.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kTextSize = 4 * 1024 * 1024;

void* MallocAllocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void MallocFree(void* block) {
    std::free(block);
}

struct Kind {
    const char* name;
    std::vector<const char*> words;
};

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"latin",
         {"the ", "conversion ", "of ", "page ", "caf\xC3\xA9 ", "na\xC3\xAFve ",
          "\xC3\xBC"
          "ber ",
          "stra\xC3\x9F"
          "e ",
          "d\xC3\xA9j\xC3\xA0 ", "layout, ", "\n"}},
        {"cyrillic",
         {"\xD0\xBC\xD0\xB8\xD1\x80 ",
          "\xD1\x81\xD1\x82\xD1\x80\xD0\xB0\xD0\xBD\xD0\xB8\xD1\x86\xD0\xB0 ",
          "\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0 ", "\xD1\x82\xD0\xB5\xD0\xBA\xD1\x81\xD1\x82, ",
          "\n"}},
        {"cjk",
         {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
          "\xE3\x81\xB2\xE3\x82\x89\xE3\x81\x8C\xE3\x81\xAA",
          "\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A", "\xE4\xB8\xAD\xE6\x96\x87",
          "\xE3\x80\x82", "\n"}},
        {"mixed",
         {"the ", "conversion ", "caf\xC3\xA9 ", "\xCE\xB1\xCE\xBB\xCF\x86\xCE\xB1 ",
          "\xD0\xBC\xD0\xB8\xD1\x80 ", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
          "\xE4\xB8\xAD\xE6\x96\x87 ", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 ", "\xF0\x9F\x98\x80 ",
          "page 12, ", "\n"}},
    };
    return kinds;
}

// Words of one kind, picked at random until the text is full.
std::string MakeText(const Kind& kind) {
    std::string text;
    text.reserve(kTextSize + 64);
    unsigned state = 12345;
    while (text.size() < kTextSize) {
        state = state * 1103515245u + 12345u;
        text += kind.words[(state >> 16) % kind.words.size()];
    }
    return text; // whole words: never ends inside a character
}

const std::string& Text(const Kind& kind) {
    static std::map<std::string, std::string> texts;
    std::string& text = texts[kind.name];
    if (text.empty()) text = MakeText(kind);
    return text;
}

const std::vector<unsigned short>& Units(const Kind& kind) {
    static std::map<std::string, std::vector<unsigned short>> units;
    std::vector<unsigned short>& u = units[kind.name];
    if (u.empty()) {
        WOBString wide;
        const std::string& text = Text(kind);
        OBStringUtils::ConvertUTF8ToUTF16String(text.data(), text.size(), wide);
        u.assign(wide.GrabWString(), wide.GrabWString() + wide.Length());
    }
    return u;
}

void ToUTF16(benchmark::State& state, const Kind* kind, bool fresh) {
    const std::string& text = Text(*kind);
    WOBString kept;
    for (auto _ : state) {
        WOBString local;
        WOBString& out = fresh ? local : kept;
        if (OBStringUtils::ConvertUTF8ToUTF16String(text.data(), text.size(), out) != 1) {
            state.SkipWithError("conversion failed");
            return;
        }
        benchmark::DoNotOptimize(out.GrabWString());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
}

void ToUTF8(benchmark::State& state, const Kind* kind) {
    const std::vector<unsigned short>& units = Units(*kind);
    COBString out;
    for (auto _ : state) {
        OBStringUtils::ConvertUTF16StringToUTF8(units.data(), units.size(), out);
        benchmark::DoNotOptimize(out.GrabCString());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(Text(*kind).size()));
}

// iconv from one encoding to another over `in`, into a buffer made once.
void Iconv(benchmark::State& state, const char* to, const char* from, const char* in,
           std::size_t size, long long reported) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv cannot convert");
        return;
    }
    std::vector<char> out(2 * size + 16);
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in);
        std::size_t inLeft = size;
        char* dst = out.data();
        std::size_t outLeft = out.size();
        if (iconv(cd, &src, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
            state.SkipWithError("iconv failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(state.iterations() * reported);
}

void IconvToUTF16(benchmark::State& state, const Kind* kind) {
    const std::string& text = Text(*kind);
    Iconv(state, "UTF-16LE", "UTF-8", text.data(), text.size(),
          static_cast<long long>(text.size()));
}

void IconvToUTF8(benchmark::State& state, const Kind* kind) {
    const std::vector<unsigned short>& units = Units(*kind);
    Iconv(state, "UTF-8", "UTF-16LE", reinterpret_cast<const char*>(units.data()), 2 * units.size(),
          static_cast<long long>(Text(*kind).size()));
}

// Both sides must produce the same bytes, or the comparison means nothing.
bool SameResult(const Kind& kind) {
    const std::string& text = Text(kind);
    const std::vector<unsigned short>& units = Units(kind);
    COBString back;
    OBStringUtils::ConvertUTF16StringToUTF8(units.data(), units.size(), back);
    if (static_cast<std::size_t>(back.Length()) != text.size() ||
        std::memcmp(back.GrabCString(), text.data(), text.size()) != 0)
        return false;
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> out(2 * text.size() + 16);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    bool ok = iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    std::size_t bytes = out.size() - outLeft;
    return ok && bytes == 2 * units.size() && std::memcmp(out.data(), units.data(), bytes) == 0;
}

} // namespace

int main(int argc, char** argv) {
    auto* service = new OBMemoryService(MallocAllocate, MallocFree, MallocAllocate, MallocFree);
    OBMemoryHandler::SetMemoryService(service);

    for (const Kind& kind : Kinds()) {
        if (!SameResult(kind)) {
            std::fprintf(stderr, "OBStringUtils and iconv disagree on the %s text\n", kind.name);
            return 1;
        }
        std::string k = kind.name;
        benchmark::RegisterBenchmark(("ombra/utf8_to_utf16/" + k).c_str(), ToUTF16, &kind, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ombra_fresh/utf8_to_utf16/" + k).c_str(), ToUTF16, &kind,
                                     true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("iconv/utf8_to_utf16/" + k).c_str(), IconvToUTF16, &kind)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ombra/utf16_to_utf8/" + k).c_str(), ToUTF8, &kind)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("iconv/utf16_to_utf8/" + k).c_str(), IconvToUTF8, &kind)
            ->Unit(benchmark::kMillisecond);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ombra_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios("ratio OBStringUtils / iconv, into a string that keeps its buffer "
                         "(below 1 OBStringUtils is faster)",
                         "ombra/", "iconv/");
    reporter.PrintRatios("ratio OBStringUtils / iconv, UTF-8 to UTF-16 into a fresh string",
                         "ombra_fresh/", "iconv/");
    benchmark::Shutdown();

    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
