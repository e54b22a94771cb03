// Converts every Scribus document under the folders given through the pump,
// with the built scribus.obrd and the text writer, and checks that each is
// recognised and converts, that the reader's tree follows the conventions
// (value types, runs), that the parser reads pages, text for the text frames
// and runs that cover the stories, and that the words of every story it
// reads come out in order. Prints one line per document and "N passed, M
// failed".
#include "ScribusTestSupport.h"

#include <ombra/memory.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace scribus_test;

namespace {

void* Allocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void Release(void* block) {
    std::free(block);
}

bool IsScribusName(fs::path name) {
    if (name.extension() == ".gz") name = name.stem();
    return name.extension() == ".sla" || name.extension() == ".scd";
}

// What is wrong with the document, or "".
std::string Check(Pump& pump, const std::string& bytes, std::string& summary) {
    auto t0 = std::chrono::steady_clock::now();
    scribus::ParseResult parsed = ParseBytes(bytes);
    const scribus::Document& doc = parsed.document;
    std::vector<std::u16string> texts;
    std::size_t characters = 0, textFrames = 0;
    std::string problem;
    for (const scribus::Story& s : doc.stories) {
        characters += s.text.size();
        std::string runs = CheckCoverage(s);
        if (!runs.empty() && problem.empty()) problem = "story runs: " + runs;
        if (!s.text.empty()) texts.push_back(s.text);
    }
    for (const auto& item : doc.items)
        textFrames += item.kind == scribus::Item::Kind::kTextFrame;
    std::string converted = CheckConversion(pump, bytes, texts);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    summary = "version " + doc.version + ", " + std::to_string(doc.pages.size()) + " pages, " +
              std::to_string(doc.items.size()) + " items, " + std::to_string(texts.size()) +
              " stories, " + std::to_string(characters) + " characters, " +
              std::to_string(parsed.warnings.size()) + " warnings, " + std::to_string(int(ms)) +
              " ms";
    if (scribus::Detect(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 1)
        return "not detected";
    if (parsed.status == scribus::ParseResult::Status::kNotScribus ||
        parsed.status == scribus::ParseResult::Status::kFailed)
        return "not read";
    if (doc.pages.empty()) return "no pages";
    if (textFrames > 0 && characters == 0) return "text frames but no text";
    return converted.empty() ? problem : converted;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    // Destroyed while installed, at the end: it takes the value pools with it.
    OBMemoryService* service = new OBMemoryService(Allocate, Release, Allocate, Release);
    OBMemoryHandler::SetMemoryService(service);
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(argv[i], ec), end; !ec && it != end;
             it.increment(ec))
            if (it->is_regular_file() && IsScribusName(it->path().filename()))
                files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    int failed = 0, passed = 0;
    {
        Pump pump;
        if (!pump.Convertor()) {
            std::fprintf(stderr, "the text writer did not load\n");
            return 1;
        }
        for (const fs::path& path : files) {
            std::string summary, problem = Check(pump, ReadFile(path.string()), summary);
            std::printf("%-4s %s: %s%s%s\n", problem.empty() ? "ok" : "FAIL",
                        path.filename().c_str(), summary.c_str(), problem.empty() ? "" : " -- ",
                        problem.c_str());
            (problem.empty() ? passed : failed)++;
        }
    }
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    if (files.empty()) {
        std::printf("no Scribus documents found\n");
        return 1;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
