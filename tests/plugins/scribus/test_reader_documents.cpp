// Real documents through the real pump: the documents Scribus 1.5 wrote
// (tests/data/scribus/real) converted with the built scribus.obrd must give
// the words of every story and table cell that Scribus itself reported
// (NAME.expected), in order; the hand-made documents of every generation
// give the words of every story the parser read. Each is also checked for
// value types and run coverage through the reader directly.
#include "ReaderTestSupport.h"
#include "ScribusTestSupport.h"

#include <ombra/typedstreams.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

using namespace scribus_reader_test;

// Scribus's story text (getAllText, escaped with \\ and \uXXXX) with its
// special characters turned into word boundaries.
std::u16string ExpectedText(const std::string& escaped) {
    std::u16string raw;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 5 < escaped.size() + 0 && escaped[i + 1] == 'u') {
            raw += static_cast<char16_t>(std::stoul(escaped.substr(i + 2, 4), nullptr, 16));
            i += 5;
        } else if (escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == '\\') {
            raw += u'\\';
            ++i;
        } else {
            // UTF-8 to UTF-16.
            unsigned char c = static_cast<unsigned char>(escaped[i]);
            unsigned cp = c;
            int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            if (more) cp &= 0x3Fu >> more;
            while (more-- > 0 && i + 1 < escaped.size()) cp = (cp << 6) | (static_cast<unsigned char>(escaped[++i]) & 0x3F);
            if (cp >= 0x10000) {
                raw += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                raw += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                raw += static_cast<char16_t>(cp);
            }
        }
    }
    std::u16string out;
    for (char16_t c : raw) {
        if (c == 0x2029) continue;  // an ordinary character to Scribus, which the model drops
        out += (c < 0x20 && c != u'\t') ? u' ' : c;
    }
    return out;
}

std::vector<std::u16string> ExpectedTexts(const std::string& path) {
    std::vector<std::u16string> texts;
    std::istringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 5, "text\t") == 0) texts.push_back(ExpectedText(line.substr(5)));
    return texts;
}

std::u16string FromUtf8(const std::string& s) { return scribus_test::FromUtf8(s); }

class ScribusReaderDocuments : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pump_ = new Pump; }
    static void TearDownTestSuite() {
        delete pump_;
        pump_ = nullptr;
    }
    static Pump* pump_;
};
Pump* ScribusReaderDocuments::pump_ = nullptr;

TEST_F(ScribusReaderDocuments, RealDocumentsGiveTheWordsScribusShows) {
    ASSERT_NE(pump_->Convertor(), nullptr) << "scribus.obrd or storytext.obwt did not load";
    const std::string dir = std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real";
    int documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string path = entry.path().string();
        if (path.size() < 9 || path.compare(path.size() - 9, 9, ".expected") != 0) continue;
        std::string document = path.substr(0, path.size() - 9);
        SCOPED_TRACE(document);
        ++documents;
        std::string bytes = ReadFile(document);
        short ok = 0;
        std::string output = pump_->Convert(bytes, ok);
        ASSERT_EQ(ok, 1);
        EXPECT_EQ(("\n" + output).find("\n!"), std::string::npos) << "the writer found a broken tree";
        std::vector<std::u16string> words = Words(FromUtf8(output));
        std::vector<std::u16string> expected = ExpectedTexts(path);
        EXPECT_FALSE(expected.empty());
        for (const std::u16string& text : expected)
            EXPECT_TRUE(ContainsRun(words, Words(text))) << "missing: " << Utf8(text);

        Conversion direct(bytes);
        EXPECT_EQ(CheckValueTypes(direct.Top()), "");
        for (Element* story : Descendants(direct.TopOf(EL::kStoryList), EL::kChildStory))
            EXPECT_EQ(CheckRuns(story), "");
    }
    EXPECT_GE(documents, 15);
}

TEST_F(ScribusReaderDocuments, EveryGenerationGivesTheWordsOfEveryStory) {
    for (const char* name : {"v12-basic.sla", "v12-basic.sla.gz", "v13.sla", "v13.sla.gz", "v14.sla", "v14.sla.gz",
                             "v15.sla", "v15.sla.gz", "v16.sla"}) {
        SCOPED_TRACE(name);
        std::string bytes = Fixture(name);
        short ok = 0;
        std::string output = pump_->Convert(bytes, ok);
        ASSERT_EQ(ok, 1);
        std::vector<std::u16string> words = Words(FromUtf8(output));
        scribus::ParseResult parsed = scribus_test::ParseBytes(bytes);
        int stories = 0;
        for (const scribus::Story& s : parsed.document.stories) {
            EXPECT_TRUE(ContainsRun(words, Words(s.text))) << "missing: " << Utf8(s.text);
            stories += s.text.empty() ? 0 : 1;
        }
        EXPECT_GT(stories, 0);
        Conversion direct(bytes);
        EXPECT_EQ(CheckValueTypes(direct.Top()), "");
        EXPECT_EQ(direct.Error(), 0);
        for (Element* story : Descendants(direct.TopOf(EL::kStoryList), EL::kChildStory))
            EXPECT_EQ(CheckRuns(story), "");
    }
}

// The same documents through the text convertor (convertor id 1, the text
// writer 259) as a host runs it, with hidden and master-page stories
// included and UTF-8 output.
TEST(ScribusReaderTextWriter, RealDocumentsGiveTheWordsScribusShows) {
    if (!std::filesystem::exists(std::string(OMBRA_WRITER_DIR) + "/text.obwt"))
        GTEST_SKIP() << "the text writer is not built here";
    OBConvertorManager manager(OMBRA_READER_DIR, OMBRA_WRITER_DIR);
    ErrorCode error = kNoError;
    OBConvertor* convertor = manager.GetConvertor(1, error);
    ASSERT_NE(convertor, nullptr);
    Preferences options{};
    options.textEncoding = 0;  // UTF-8
    options.groupFlag3 = 1;    // stories on master pages and hidden layers too
    options.measurementUnit = 0;
    const std::string dir = std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real";
    int documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string path = entry.path().string();
        if (path.size() < 9 || path.compare(path.size() - 9, 9, ".expected") != 0) continue;
        std::string document = path.substr(0, path.size() - 9);
        SCOPED_TRACE(document);
        ++documents;
        std::string bytes = ReadFile(document);
        OBBufferStreamRead input(bytes.data(), bytes.size());
        OBMemXferBytes xfer;
        OBStream* output = OBStreamUtilRef::CreateMemoryStreamWrite(&xfer);
        ASSERT_EQ(convertor->ExtractData(&input, output, &options), 1);
        delete output;
        std::string text(static_cast<std::size_t>(xfer.Tell()), '\0');
        xfer.Seek(0, kSeekFromStart);
        if (!text.empty()) text.resize(static_cast<std::size_t>(xfer.Read(&text[0], text.size())));
        // Variables are written as the numbers they show, which Scribus's
        // own text leaves out: numbers are not compared here.
        auto noNumbers = [](std::vector<std::u16string> w) {
            w.erase(std::remove_if(w.begin(), w.end(),
                                   [](const std::u16string& x) {
                                       return x.find_first_not_of(u"0123456789") == std::u16string::npos;
                                   }),
                    w.end());
            return w;
        };
        std::vector<std::u16string> words = noNumbers(Words(FromUtf8(text)));
        // Plain text has no use for soft hyphens; the writer drops them.
        for (std::u16string expected : ExpectedTexts(path)) {
            expected.erase(std::remove(expected.begin(), expected.end(), u'\u00AD'), expected.end());
            EXPECT_TRUE(ContainsRun(words, noNumbers(Words(expected)))) << "missing: " << Utf8(expected);
        }
    }
    EXPECT_GE(documents, 15);
}

} // namespace
