// Writes the text writer's output for documents under every option
// combination that changes it, one file each, so that two builds can be
// compared byte for byte (compare-text-corpus.sh):
//   ombra_text_corpus OUTDIR INPUT...
// An INPUT is a Scribus document, a folder searched for them, or
// testdoc:NAME for a document of the tests' document builder.
#include "TextConversion.h"

#include <ScribusReader.h>

#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/memory.h>
#include <ombra/typedstreams.h>
#include <ombra/utf8.h>

#include "support/ConversionState.h"
#include "support/DocumentBuilder.h"

#include "RandomDocument.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void* Allocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void Release(void* block) {
    std::free(block);
}

void SetText(WOBString& text, const char* utf8) {
    OBStringUtils::ConvertUTF8ToUTF16String(utf8, std::strlen(utf8), text);
}

struct Combination {
    const char* name;
    std::function<void(OBTextWriterOptions&)> set;
};

// Each setting alone, in each encoding and platform, and all of them at once.
const std::vector<Combination>& Combinations() {
    using O = OBTextWriterOptions;
    static const std::vector<Combination> all = {
        {"default-pc", [](O&) {}},
        {"default-mac", [](O& o) { o.platform = OBTW::kMac; }},
        {"default-unix", [](O& o) { o.platform = OBTW::kUnix; }},
        {"utf8-unix", [](O& o) { o.encoding = OBTW::kUTF8, o.platform = OBTW::kUnix; }},
        {"utf8-pc-bom", [](O& o) { o.encoding = OBTW::kUTF8, o.utf8ByteOrderMark = true; }},
        {"utf16-pc", [](O& o) { o.encoding = OBTW::kUTF16; }},
        {"utf16-mac", [](O& o) { o.encoding = OBTW::kUTF16, o.platform = OBTW::kMac; }},
        {"styles", [](O& o) { o.encoding = OBTW::kUTF8, o.markStyles = true; }},
        {"styles-template",
         [](O& o) {
             o.encoding = OBTW::kUTF8, o.markStyles = true;
             SetText(o.styleTemplate, "<%s>%%\t");
         }},
        {"breaks", [](O& o) { o.encoding = OBTW::kUTF8, o.markBreaks = true; }},
        {"breaks-text",
         [](O& o) {
             o.encoding = OBTW::kUTF8, o.markBreaks = true;
             SetText(o.breakText, "---- \xE6\x94\xB9\xE9\xA0\x81 ----");
         }},
        {"hidden", [](O& o) { o.encoding = OBTW::kUTF8, o.includeHidden = true; }},
        {"wrap20", [](O& o) { o.encoding = OBTW::kUTF8, o.wrapColumn = 20; }},
        {"wrap72-default", [](O& o) { o.wrapColumn = 72; }},
        {"points", [](O& o) { o.encoding = OBTW::kUTF8, o.reportGeometry = true; }},
        {"inches",
         [](O& o) {
             o.encoding = OBTW::kUTF8, o.reportGeometry = true;
             o.geometryUnit = UNITS::LINEAR::kInches;
         }},
        {"no-ruby", [](O& o) { o.encoding = OBTW::kUTF8, o.rubyReadings = false; }},
        {"all",
         [](O& o) {
             o.encoding = OBTW::kUTF8, o.platform = OBTW::kUnix, o.markStyles = true;
             o.markBreaks = o.includeHidden = o.reportGeometry = true;
             o.wrapColumn = 40, o.geometryUnit = UNITS::LINEAR::kTwips;
         }},
    };
    return all;
}

class Capture : public OBXferBytes {
public:
    Capture() { stream_.SetXferBytes(this); }
    unsigned long long Read(void*, unsigned long long) override { return 0; }
    unsigned long long Write(const void* buffer, unsigned long long count) override {
        bytes_.append(static_cast<const char*>(buffer), count);
        return count;
    }
    unsigned long long Seek(long long, OBSeekFromWhere) override { return bytes_.size(); }
    unsigned long long Tell() override { return bytes_.size(); }
    void Flush() override {}
    OBStreamState GetStreamState() override { return kStreamOK; }
    void SetEndOfStream() override {}
    OBStream* Stream() { return &stream_; }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    COBStreamWrite stream_;
};

void WriteAll(const fs::path& outdir, const std::string& name,
              const std::vector<Element*>& elements) {
    for (const Combination& c : Combinations()) {
        OBTextWriterOptions options;
        c.set(options);
        Capture out;
        {
            OBTextConversion conversion(out.Stream(), options);
            for (Element* e : elements)
                conversion.PutElement(e);
            conversion.PutElement(nullptr);
        }
        std::ofstream(outdir / (name + "@" + c.name + ".txt"), std::ios::binary) << out.Bytes();
    }
}

bool IsScribusName(const std::string& name) {
    for (const char* suffix : {".sla", ".sla.gz", ".scd", ".scd.gz"}) {
        std::size_t n = std::strlen(suffix);
        if (name.size() >= n && name.compare(name.size() - n, n, suffix) == 0) return true;
    }
    return false;
}

int ConvertScribus(const fs::path& outdir, const fs::path& path, const std::string& name) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string data = bytes.str();
    OBBufferStreamRead input(data.data(), data.size());
    ScribusReader reader;
    OBPreferenceList prefs;
    reader.GetStreamPrefs(&input, &prefs);
    reader.Init(&input, &prefs);
    std::vector<Element*> elements;
    for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement())
        elements.push_back(e);
    WriteAll(outdir, name, elements);
    reader.Reset();
    return elements.empty() ? 1 : 0;
}

std::string Flat(std::string text) {
    for (char& c : text)
        if (c == '/' || c == '\\') c = '_';
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR INPUT...\n", argv[0]);
        return 2;
    }
    OBMemoryService* service = new OBMemoryService(Allocate, Release, Allocate, Release);
    OBMemoryHandler::SetMemoryService(service);
    OBLumHandler::SetLumService(new OBConvertorLumService);
    fs::path outdir = argv[1];
    fs::create_directories(outdir);
    int documents = 0, failed = 0;
    for (int i = 2; i < argc; ++i) {
        std::string input = argv[i];
        if (input.rfind("random:", 0) == 0) {
            for (int n = 1, count = std::atoi(input.c_str() + 7); n <= count; ++n) {
                ombra_test::ConversionState state;
                ombra_test::DocumentBuilder builder;
                writers_test::RandomDocument(static_cast<unsigned>(n)).Build(builder);
                WriteAll(outdir, "random-" + std::to_string(n), builder.Build());
                ++documents;
            }
        } else if (input.rfind("testdoc:", 0) == 0) {
            ombra_test::ConversionState state;
            ombra_test::DocumentBuilder builder;
            if (!ombra_test::BuildTestDocument(input.substr(8), builder)) {
                std::fprintf(stderr, "no test document %s\n", input.c_str());
                ++failed;
                continue;
            }
            WriteAll(outdir, Flat(input), builder.Build());
            ++documents;
        } else if (fs::is_directory(input)) {
            std::vector<fs::path> found;
            for (const auto& entry : fs::recursive_directory_iterator(input))
                if (entry.is_regular_file() && IsScribusName(entry.path().string()))
                    found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            for (const fs::path& path : found) {
                std::string name = fs::path(input).filename().string() + "_" +
                                   Flat(fs::relative(path, input).string());
                failed += ConvertScribus(outdir, path, name);
                ++documents;
            }
        } else {
            failed += ConvertScribus(outdir, input, Flat(input));
            ++documents;
        }
    }
    std::printf("%d documents x %zu option combinations, %d without Elements\n", documents,
                Combinations().size(), failed);
    return 0;
}
