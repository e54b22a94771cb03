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

// A document of random content, some of it breaking the conventions.
class RandomDocument {
public:
    explicit RandomDocument(unsigned seed) : state_(seed * 2654435761u + 1) {}

    void Build(ombra_test::DocumentBuilder& b) {
        using namespace ombra_test;
        std::vector<unsigned> styles, characterStyles, pages;
        for (int i = Below(4); i >= 0; --i)
            styles.push_back(
                b.AddParagraphStyle("P" + std::to_string(i), styles.empty() ? kNoId : styles[0]));
        for (int i = Below(3); i > 0; --i)
            characterStyles.push_back(
                b.AddCharacterStyle("C" + std::to_string(i), kNoId,
                                    Below(2) ? WSE::kJapaneseScript : WSE::kGreekScript));
        unsigned hidden = b.AddLayer("H", false);
        unsigned master = b.AddMasterPage(b.AddMasterSpread("M"), "A", 300 + Below(300), 0);
        for (int i = Below(4); i >= 0; --i)
            pages.push_back(b.AddPage(b.AddSpread(), Below(2) ? master : kNoId));
        for (int s = Below(5); s >= 0; --s) {
            StoryBuilder& story = b.AddStory();
            Fill(story, styles, characterStyles, 0);
            int where = Below(6);
            unsigned container = where == 0 ? master : pages[Below(pages.size())];
            for (int f = Below(3); f >= 0; --f)
                b.AddTextFrame(container, story.Id(), OBRect(Below(500), Below(700), 600, 780),
                               where == 1 ? hidden : kNoId);
        }
        if (Below(4) == 0) Break(b);
    }

private:
    int Below(std::size_t n) {
        state_ = state_ * 1103515245u + 12345u;
        return n ? static_cast<int>((state_ >> 8) % n) : 0;
    }
    ombra_test::RunStyle Style(const std::vector<unsigned>& characterStyles) {
        int pick = Below(characterStyles.size() + 3);
        if (pick == 0) return ombra_test::RunStyle::Script(WSE::kJapaneseScript);
        if (pick == 1) return ombra_test::RunStyle::Script(WSE::kCyrillicScript);
        if (pick == 2) return ombra_test::RunStyle();
        return ombra_test::RunStyle::Style(characterStyles[pick - 3]);
    }
    void Fill(ombra_test::TextBuilder& text, const std::vector<unsigned>& styles,
              const std::vector<unsigned>& characterStyles, int depth) {
        static const char* const kWords[] = {"word ",
                                             "a\tb",
                                             "x\u2028y",
                                             "\f",
                                             "\u00ADsoft",
                                             "\u3001",
                                             "\u300C\u6F22\u300D",
                                             "\u6F22\u5B57\u304B\u306A",
                                             "\u0416\u0436 ",
                                             "12.5 ",
                                             "\r\n",
                                             "long-hyphenated-word ",
                                             "\xF0\x9F\x98\x80",
                                             "\u00A0",
                                             "\u2011",
                                             "\u200B"};
        for (int p = Below(6); p >= 0; --p) {
            for (int r = Below(8); r >= 0; --r) {
                int kind = Below(depth > 1 ? 14 : 18);
                const char* word = kWords[Below(sizeof kWords / sizeof *kWords)];
                ombra_test::RunStyle style = Style(characterStyles);
                if (kind == 0)
                    text.Ruby(word, Below(2) ? "\u304B\u3093" : "ruby", style);
                else if (kind == 1)
                    text.Kenten(word, KKE::kSesameDot, style);
                else if (kind == 2)
                    text.Warichu(word, style);
                else if (kind == 3)
                    text.Tcy("12", style);
                else if (kind == 4)
                    text.Variable(Below(2) ? "7" : "");
                else if (kind == 5)
                    text.Link(word, "http://x");
                else if (kind == 6)
                    text.Units(u"\uFFFC");
                else if (kind == 14)
                    text.Footnote(word, Below(3) == 0);
                else if (kind == 15)
                    Fill(text.AddFootnote(), styles, characterStyles, depth + 1);
                else if (kind >= 16)
                    Table(text, styles, characterStyles, depth);
                else
                    text.Text(word, style);
            }
            if (Below(5)) text.EndPara(styles[Below(styles.size())]);
        }
    }
    void Table(ombra_test::TextBuilder& text, const std::vector<unsigned>& styles,
               const std::vector<unsigned>& characterStyles, int depth) {
        int rows = 1 + Below(3), columns = 1 + Below(4);
        ombra_test::TableBuilder& table = text.AddTable(rows, columns);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                if (Below(4) == 0) continue;
                int span = Below(3) == 0 ? c + 1 : -1;
                Fill(table.CellText(r, c, -1, span < columns ? span : -1), styles, characterStyles,
                     depth + 1);
                if (span > 0) ++c;
            }
    }
    // Moves a few positions and references out of place.
    void Break(ombra_test::DocumentBuilder& b) {
        const std::vector<Element*>& elements = b.Build();
        for (EL::ElementTypeEnum kind : {EL::kCharacterRun, EL::kParagraphRun, EL::kRubiRun,
                                         EL::kFootnote, EL::kTableRun, EL::kTableCell}) {
            std::vector<Element*> all = ombra_test::FindAll(elements, kind);
            if (all.empty()) continue;
            OBAttributeStore* store = OBGetAttributeStore(all[Below(all.size())]);
            for (AN::AttrNameEnum attr :
                 {AN::kStartCharacterPosition, AN::kEndCharacterPosition, AN::kPosition,
                  AN::kTextIndex, AN::kColumnNumber, AN::kEndColumnNumber})
                if (store->Find(attr) && Below(2)) store->SetInteger(attr, Below(40) - 5);
            if (Below(3) == 0) store->SetId(AN::kParagraphStyleID, 99999);
        }
    }

    unsigned state_;
};

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
                RandomDocument(static_cast<unsigned>(n)).Build(builder);
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
