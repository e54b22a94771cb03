// Documents through the real pump: the documents Scribus 1.5 wrote
// (tests/data/scribus/real) converted with the built scribus.obrd by the
// text convertor, as a host runs it, must give the words of every story and
// table cell that Scribus itself reported (NAME.expected), in order; the
// hand-made documents of every generation, through the story-text writer,
// give the words of every story the parser read. Each is also checked for
// value types and run coverage through the reader directly.
#include "ScribusTestSupport.h"

#include <ombra/typedstreams.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

using namespace scribus_test;

// The texts of NAME.expected (escaped with \\ and \uXXXX) with Scribus's
// special characters turned into word boundaries.
std::vector<std::u16string> ExpectedTexts(const std::string& path) {
    std::vector<std::u16string> texts;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 5, "text\t") != 0) continue;
        std::u16string raw = FromUtf8(line.substr(5)), text;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            char16_t c = raw[i];
            if (c == u'\\' && i + 1 < raw.size() && raw[i + 1] == u'\\') {
                ++i;
            } else if (c == u'\\' && i + 5 < raw.size() && raw[i + 1] == u'u') {
                c = static_cast<char16_t>(std::stoul(Utf8(raw.substr(i + 2, 4)), nullptr, 16));
                i += 5;
            }
            if (c != 0x2029) // an ordinary character to Scribus, which the model drops
                text += (c < 0x20 && c != u'\t') ? u' ' : c;
        }
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::string> RealDocumentPaths() {
    std::vector<std::string> paths;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real")) {
        std::string path = entry.path().string();
        if (path.size() > 9 && path.compare(path.size() - 9, 9, ".expected") == 0)
            paths.push_back(path.substr(0, path.size() - 9));
    }
    EXPECT_GE(paths.size(), 15u);
    return paths;
}

void ExpectTreeFollowsTheConventions(const std::string& bytes) {
    Conversion direct(bytes);
    EXPECT_EQ(CheckValueTypes(direct.Top()), "");
    for (Element* story : Descendants(direct.TopOf(EL::kStoryList), EL::kChildStory))
        EXPECT_EQ(CheckRuns(story), "");
}

TEST(ScribusReaderDocuments, EveryGenerationGivesTheWordsOfEveryStory) {
    Pump pump;
    for (const char* name : {"v12-basic.sla", "v12-basic.sla.gz", "v13.sla", "v13.sla.gz",
                             "v14.sla", "v14.sla.gz", "v15.sla", "v15.sla.gz", "v16.sla"}) {
        SCOPED_TRACE(name);
        std::string bytes = Fixture(name);
        short ok = 0;
        std::vector<std::u16string> words = Words(FromUtf8(pump.Convert(bytes, ok)));
        ASSERT_EQ(ok, 1);
        int stories = 0;
        for (const scribus::Story& s : ParseBytes(bytes).document.stories) {
            EXPECT_TRUE(ContainsRun(words, Words(s.text))) << "missing: " << Utf8(s.text);
            stories += s.text.empty() ? 0 : 1;
        }
        EXPECT_GT(stories, 0);
        EXPECT_EQ(Conversion(bytes).Error(), 0);
        ExpectTreeFollowsTheConventions(bytes);
    }
}

// The same documents through the text convertor (convertor id 1, the text
// writer 259) as a host runs it, with hidden and master-page stories
// included and UTF-8 output.
TEST(ScribusReaderTextWriter, RealDocumentsGiveTheWordsScribusShows) {
    OBConvertorManager manager(OMBRA_READER_DIR, OMBRA_WRITER_DIR);
    ErrorCode error = kNoError;
    OBConvertor* convertor = manager.GetConvertor(1, error);
    ASSERT_NE(convertor, nullptr);
    Preferences options{};
    options.textEncoding = 0; // UTF-8
    options.groupFlag3 = 1;   // stories on master pages and hidden layers too
    // Variables are written as the numbers they show, which Scribus's own
    // text leaves out: numbers are not compared here.
    auto noNumbers = [](std::vector<std::u16string> w) {
        w.erase(std::remove_if(w.begin(), w.end(),
                               [](const std::u16string& x) {
                                   return x.find_first_not_of(u"0123456789") == x.npos;
                               }),
                w.end());
        return w;
    };
    for (const std::string& document : RealDocumentPaths()) {
        SCOPED_TRACE(document);
        std::string bytes = ReadFile(document);
        OBBufferStreamRead input(bytes.data(), bytes.size());
        OBMemXferBytes xfer;
        OBStream* output = OBStreamUtilRef::CreateMemoryStreamWrite(&xfer);
        OBConversionLogger logger;
        OBLoggerUtility::SetLogger(&logger);
        ASSERT_EQ(convertor->ExtractData(&input, output, &options), 1);
        OBLoggerUtility::SetLogger(nullptr);
        // What the writer reports of a tree that breaks the conventions (a
        // document may well name a colour it lacks: a broken reference).
        for (int i = 0; i < logger.GetStringCount(); ++i)
            for (int code : {OBERR::kMalformedInput, OBERR::kBadValue, OBERR::kLimitExceeded})
                EXPECT_NE(logger.GetNthStringId(i), OBMessageId(code)) << "code " << code;
        delete output;
        std::string text(static_cast<std::size_t>(xfer.Tell()), '\0');
        xfer.Seek(0, kSeekFromStart);
        if (!text.empty()) text.resize(static_cast<std::size_t>(xfer.Read(&text[0], text.size())));
        std::vector<std::u16string> words = noNumbers(Words(FromUtf8(text)));
        // Plain text has no use for soft hyphens; the writer drops them.
        std::vector<std::u16string> expected = ExpectedTexts(document + ".expected");
        EXPECT_FALSE(expected.empty());
        for (std::u16string text : expected) {
            text.erase(std::remove(text.begin(), text.end(), u'\u00AD'), text.end());
            EXPECT_TRUE(ContainsRun(words, noNumbers(Words(text)))) << "missing: " << Utf8(text);
        }
        ExpectTreeFollowsTheConventions(bytes);
    }
}

} // namespace
