// Parses every Scribus document under a folder and checks what each must
// give: detection, no failure, text for documents with text frames, and
// runs that cover their stories. Prints one line per document.
#include "ScribusTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

static bool IsScribusName(const std::string& name) {
    auto ends = [&](const char* s) {
        std::string suffix(s);
        return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return ends(".sla") || ends(".sla.gz") || ends(".scd") || ends(".scd.gz");
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(argv[i], ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file() && IsScribusName(it->path().filename().string())) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    int failed = 0, passed = 0;
    for (const fs::path& path : files) {
        std::string bytes = scribus_test::ReadFile(path.string());
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        std::string problem;
        auto t0 = std::chrono::steady_clock::now();
        scribus::ParseResult r = scribus::Parse(data, bytes.size());
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const scribus::Document& doc = r.document;
        std::size_t textFrames = 0, textLength = 0;
        for (const auto& it : doc.items)
            if (it.kind == scribus::Item::Kind::kTextFrame) ++textFrames;
        for (const auto& s : doc.stories) {
            textLength += s.text.size();
            std::string bad = scribus_test::CheckCoverage(s);
            if (!bad.empty() && problem.empty()) problem = "story runs: " + bad;
        }
        if (scribus::Detect(data, bytes.size()) != 1) problem = "not detected";
        else if (r.status == scribus::ParseResult::Status::kNotScribus || r.status == scribus::ParseResult::Status::kFailed)
            problem = "not read";
        else if (doc.pages.empty()) problem = "no pages";
        else if (textFrames > 0 && textLength == 0) problem = "text frames but no text";
        std::printf("%-4s %s: version %s, %zu pages, %zu master pages, %zu items, %zu stories, %zu characters, "
                    "%zu styles, %zu colours, %zu warnings, %.1f ms%s%s\n",
                    problem.empty() ? "ok" : "FAIL", path.filename().c_str(), doc.version.c_str(), doc.pages.size(),
                    doc.masterPages.size(), doc.items.size(), doc.stories.size(), textLength,
                    doc.paragraphStyles.size() + doc.characterStyles.size(), doc.colors.size(),
                    r.warnings.size() + r.droppedWarnings, ms, problem.empty() ? "" : " -- ", problem.c_str());
        for (const auto& w : r.warnings) std::printf("       warning: %s\n", w.message.c_str());
        (problem.empty() ? passed : failed)++;
    }
    if (files.empty()) {
        std::printf("no Scribus documents found\n");
        return 1;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
