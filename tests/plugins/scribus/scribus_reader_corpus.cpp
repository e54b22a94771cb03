// Converts every Scribus document under the folders given through the pump,
// with the built scribus.obrd and the story-text writer, and checks that
// each converts, that nothing in the tree broke the writer's checks, and
// that the words of every story the parser reads come out in order.
// Prints one line per document and "N passed, M failed".
#include "ScribusTestSupport.h"

#include <ombra/convertor.h>
#include <ombra/diagnostics.h>
#include <ombra/memory.h>
#include <ombra/scripts.h>
#include <ombra/streams.h>
#include <ombra/typedstreams.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void* Allocate(unsigned long long size) { return std::malloc(size ? size : 1); }
void Release(void* block) { std::free(block); }

bool IsScribusName(const std::string& name) {
    for (const char* suffix : {".sla", ".sla.gz", ".scd", ".scd.gz"}) {
        std::string s(suffix);
        if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) return true;
    }
    return false;
}

std::vector<std::u16string> Words(const std::u16string& text) {
    std::vector<std::u16string> out;
    std::u16string word;
    for (char16_t c : text) {
        unsigned category = (OBCharacterClass::GetCharacterProperty(c) >> 8) & 0xF;
        bool inWord = (c >= 0xD800 && c <= 0xDFFF) || category == OBCC::kLetter || category == OBCC::kDigit ||
                      category == OBCC::kMark || category == OBCC::kKanaSign;
        if (inWord) word += c;
        else if (!word.empty()) {
            out.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

bool ContainsRun(const std::vector<std::u16string>& hay, const std::vector<std::u16string>& needle) {
    if (needle.empty()) return true;
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && hay[i + k] == needle[k]) ++k;
        if (k == needle.size()) return true;
    }
    return false;
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
        for (fs::recursive_directory_iterator it(argv[i], ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file() && IsScribusName(it->path().filename().string())) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    int failed = 0, passed = 0;
    {
        OBConvertorManager manager(OMBRA_READER_DIR, OMBRA_STORYTEXT_DIR);
        ErrorCode error = kNoError;
        OBConvertor* convertor = manager.GetConvertorForWriter(301, error);
        if (!convertor) {
            std::fprintf(stderr, "the story-text writer did not load\n");
            return 1;
        }
        for (const fs::path& path : files) {
            std::string bytes = scribus_test::ReadFile(path.string());
            OBConversionLogger logger;
            OBLoggerUtility::SetLogger(&logger);
            OBBufferStreamRead input(bytes.data(), bytes.size());
            OBMemXferBytes xfer;
            OBStream* output = OBStreamUtilRef::CreateMemoryStreamWrite(&xfer);
            auto t0 = std::chrono::steady_clock::now();
            short ok = convertor->ExtractData(&input, output, nullptr);
            double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            delete output;
            OBLoggerUtility::SetLogger(nullptr);
            std::string text(static_cast<std::size_t>(xfer.Tell()), '\0');
            xfer.Seek(0, kSeekFromStart);
            if (!text.empty()) text.resize(static_cast<std::size_t>(xfer.Read(&text[0], text.size())));

            std::string problem;
            std::vector<std::u16string> words = Words(scribus_test::FromUtf8(text));
            scribus::ParseResult parsed =
                scribus::Parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            std::size_t stories = 0, missing = 0;
            for (const scribus::Story& s : parsed.document.stories) {
                if (s.text.empty()) continue;
                ++stories;
                if (!ContainsRun(words, Words(s.text))) {
                    if (missing++ == 0) problem = "missing the words of \"" + scribus_test::Utf8(s.text).substr(0, 60) + "\"";
                }
            }
            if (ok != 1) problem = "the pump did not run";
            else if (text.find("\n!") != std::string::npos || text.compare(0, 1, "!") == 0)
                problem = "the writer found a broken tree";
            std::printf("%-4s %s: %zu stories, %zu bytes of text, %d log entries, %.1f ms%s%s\n",
                        problem.empty() ? "ok" : "FAIL", path.filename().c_str(), stories, text.size(),
                        logger.GetStringCount(), ms, problem.empty() ? "" : " -- ", problem.c_str());
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
