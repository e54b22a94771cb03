// The text writer's bytes: UTF-8, UTF-16 and the code pages of "Default" on
// each platform, line ends, byte-order marks, what happens to characters an
// encoding cannot hold; and the plug-in through the real pump, where every
// setting of the options record arrives where it is meant to.
#include <ombra/convertor.h>

#include "TextWriterTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

namespace {

using namespace textwriter_test;

// Each case converts one story, one paragraph per (text, script; -1 leaves
// the run's WritingScript unset), and expects the bytes inline or, for the
// code pages, in tests/data/textwriter (OMBRA_UPDATE_EXPECTED=1 writes those
// anew), with that many characters replaced, counted and logged.
struct EncodingCase {
    std::string expected; // the bytes, or "@NAME" for a file of them
    OBTW::EncodingEnum encoding;
    OBTW::PlatformEnum platform;
    std::vector<std::pair<std::u16string, int>> paragraphs;
    long long replaced = 0;
    bool byteOrderMark = false;
    bool withoutService = false; // the thread's text service taken away
};

const std::vector<std::pair<std::u16string, int>> kGreeting = {{u"Grüße", -1}, {u"日本", 1}};
const std::vector<std::pair<std::u16string, int>> kSurrogates = {{u"a\xD800\x62\xDC00", -1}};
const std::vector<std::pair<std::u16string, int>> kScripts = {
    {u"日本語テキスト", WSE::kJapaneseScript},
    {u"Привет", WSE::kCyrillicScript},
    {u"Καλημέρα", WSE::kGreekScript},
    {u"مرحبا", WSE::kArabicScript},
    {u"שלום", WSE::kHebrewScript},
    {u"Grüße €", WSE::kRomanScript},
    {u"Grüße €", -1}};

const EncodingCase kEncodingCases[] = {
    // UTF-8: no byte-order mark unless asked, the platform's line ends.
    {"Grüße\r\n日本\r\n", OBTW::kUTF8, OBTW::kPC, kGreeting},
    {"Grüße\r日本\r", OBTW::kUTF8, OBTW::kMac, kGreeting},
    {"Grüße\n日本\n", OBTW::kUTF8, OBTW::kUnix, kGreeting},
    {"\xEF\xBB\xBFGrüße\n日本\n", OBTW::kUTF8, OBTW::kUnix, kGreeting, 0, true},
    // Long stretches of ASCII between other characters, and past 512 units.
    {"0123456789abcdefghijklmnopqrstuvwxyzABCD Grüße 0123456789abcdefghi 日本 語 テ "
     "0123456789abcdefg 😀 0123456789abcdefghijklmnopqrstuvw\n",
     OBTW::kUTF8,
     OBTW::kUnix,
     {{u"0123456789abcdefghijklmnopqrstuvwxyzABCD Grüße 0123456789abcdefghi 日本 語 テ "
       u"0123456789abcdefg 😀 0123456789abcdefghijklmnopqrstuvw",
       -1}}},
    {std::string(600, 'x') + "é" + std::string(40, 'y') + "\n",
     OBTW::kUTF8,
     OBTW::kUnix,
     {{std::u16string(600, u'x') + u"é" + std::u16string(40, u'y'), -1}}},
    // UTF-16 starts with its byte-order mark, even without text; big-endian for Mac.
    {"@utf16-pc", OBTW::kUTF16, OBTW::kPC, {{u"Aé", -1}, {u"日\U0001F600", 1}}},
    {"@utf16-mac", OBTW::kUTF16, OBTW::kMac, {{u"Aé", -1}, {u"日\U0001F600", 1}}},
    {"\xFF\xFE", OBTW::kUTF16, OBTW::kPC, {}},
    // "Default": each run in its script's code page (Shift JIS, 1251, 1253,
    // 1256, 1255, 1252 and 1252 again) on PC, ISO 8859 and EUC-JP on Unix,
    // Mac Roman and the Mac's Japanese on Mac.
    {"@default-pc", OBTW::kDefaultEncoding, OBTW::kPC, kScripts},
    {"@default-unix",
     OBTW::kDefaultEncoding,
     OBTW::kUnix,
     {{u"café €", WSE::kRomanScript},
      {u"Привет", WSE::kCyrillicScript},
      {u"Καλημέρα", WSE::kGreekScript},
      {u"مرحبا", WSE::kArabicScript},
      {u"שלום", WSE::kHebrewScript},
      {u"日本語テキストｶﾀｶﾅ", WSE::kJapaneseScript},
      {u"Ğüş", WSE::kTurkishScript}},
     1}, // ISO 8859-1 has no euro sign
    {"@default-mac",
     OBTW::kDefaultEncoding,
     OBTW::kMac,
     {{u"café € ™", -1}, {u"Ω", WSE::kRomanScript}, {u"日本", WSE::kJapaneseScript}}},
    // What a code page lacks is replaced visibly (a surrogate pair is one
    // character); no-break and zero-width characters have plain stand-ins.
    {"@default-lacking",
     OBTW::kDefaultEncoding,
     OBTW::kPC,
     {{u"Ω and 日", WSE::kRomanScript},
      {u"Привет, 世界", WSE::kCyrillicScript},
      {u"a\U0001F600z", WSE::kRomanScript},
      {u"日\u00A0本\u2011語\u200B!", WSE::kJapaneseScript}},
     5},
    // é and U+04E9 share a slot of the encoder's cache: each keeps its own bytes.
    {"\xE9??\r\n",
     OBTW::kDefaultEncoding,
     OBTW::kPC,
     {{u"\u00E9\u04E9\u04E9", WSE::kRomanScript}},
     2},
    // A character converts in the script of each run it is in: what one
    // script made of it never carries over to another.
    {"\xC6?\r\n??\r\n?\xD9\r\n\xC6?\r\n",
     OBTW::kDefaultEncoding,
     OBTW::kPC,
     {{u"ЖΩ", WSE::kCyrillicScript},
      {u"ЖΩ", WSE::kRomanScript},
      {u"ЖΩ", WSE::kGreekScript},
      {u"ЖΩ", WSE::kCyrillicScript}},
     5},
    // Unpaired surrogates are replaced in every encoding, counted once each.
    {"a\uFFFDb\uFFFD\r\n", OBTW::kUTF8, OBTW::kPC, kSurrogates, 2},
    {"@utf16-surrogates", OBTW::kUTF16, OBTW::kPC, kSurrogates, 2},
    {"a?b?\r\n", OBTW::kDefaultEncoding, OBTW::kPC, kSurrogates, 2},
    // Without a text service "Default" keeps ASCII and replaces the rest.
    {"ok ??\r\n", OBTW::kDefaultEncoding, OBTW::kPC, {{u"ok 日本", 1}}, 2, false, true},
};

using Encodings = TextWriterTest;

TEST_F(Encodings, EachEncodingWritesItsBytesAndReplacesWhatItCannotHold) {
    const bool update = std::getenv("OMBRA_UPDATE_EXPECTED") != nullptr;
    for (const EncodingCase& c : kEncodingCases) {
        SCOPED_TRACE(c.expected);
        DocumentBuilder b;
        if (!c.paragraphs.empty()) {
            StoryBuilder& story = b.AddStory();
            for (const auto& [text, script] : c.paragraphs) {
                RunStyle style;
                style.script = script;
                story.Units(text, style).EndPara();
            }
        }
        OBTextWriterOptions options;
        options.encoding = c.encoding;
        options.platform = c.platform;
        options.utf8ByteOrderMark = c.byteOrderMark;
        Logger logger;
        OBLumService* service = OBLumHandler::GetLumService();
        if (c.withoutService) OBLumHandler::ResetLumService();
        Result r = Convert(b, options);
        if (c.withoutService) OBLumHandler::SetLumService(service);
        std::string expected = c.expected;
        if (expected[0] == '@') {
            std::string path =
                std::string(OMBRA_TEXTWRITER_DATA_DIR) + "/" + (expected.c_str() + 1);
            if (update) std::ofstream(path, std::ios::binary) << r.bytes;
            std::ifstream in(path, std::ios::binary);
            expected.assign(std::istreambuf_iterator<char>(in), {});
        }
        EXPECT_TRUE(r.bytes == expected);
        EXPECT_EQ(r.written, static_cast<long long>(r.bytes.size()));
        EXPECT_EQ(r.replaced, c.replaced);
        EXPECT_EQ(r.Count(OBERR::kUnmappableCharacters), c.replaced);
        EXPECT_EQ(r.problems.Total(), c.replaced);
        EXPECT_EQ(logger.Has(OBERR::kUnmappableCharacters), c.replaced > 0);
        if (c.replaced > 0) {
            EXPECT_EQ(r.lastErrorCode, OBERR::kUnmappableCharacters);
        }
    }
}

// Two pages on one master; a story on each page, one on a hidden layer and
// one on the master page.
void PumpDocument(DocumentBuilder& b) {
    unsigned text = b.AddLayer("Text");
    unsigned hidden = b.AddLayer("Hidden", false);
    unsigned normal = b.AddParagraphStyle("Normal");
    unsigned body = b.AddParagraphStyle("Body", normal);
    unsigned master = b.AddMasterPage(b.AddMasterSpread("M"), "A");
    unsigned spread = b.AddSpread();
    unsigned page1 = b.AddPage(spread, master);
    unsigned page2 = b.AddPage(spread, master);
    StoryBuilder& first = b.AddStory();
    first.Para("Title", normal).Para("The body text of the first story.", body);
    b.AddTextFrame(page1, first.Id(), OBRect(36, 36, 576, 756), text);
    StoryBuilder& second = b.AddStory();
    RunStyle ja = RunStyle::Script(WSE::kJapaneseScript);
    second.Text("東京の", ja).Ruby("漢字", "かんじ", ja).EndPara(body);
    b.AddTextFrame(page2, second.Id(), OBRect(36, 36, 576, 756), text);
    StoryBuilder& secret = b.AddStory();
    secret.Para("Secret", body);
    b.AddTextFrame(page1, secret.Id(), OBRect(36, 700, 576, 756), hidden);
    StoryBuilder& header = b.AddStory();
    header.Para("Header", normal);
    b.AddTextFrame(master, header.Id(), OBRect(36, 10, 576, 30));
}

const std::string kTitle = "Title\r\nThe body text of the first story.\r\n";
const std::string kJapaneseShiftJis =
    "\x93\x8C\x8B\x9E\x82\xCC\x8A\xBF\x8E\x9A\x81\x69\x82\xA9\x82\xF1\x82\xB6\x81\x6A";

class ThroughThePump : public ::testing::Test {
protected:
    /// Converts the named document with the text convertor.
    std::string Convert(const Preferences* options, const std::string& name = "textwriter-pump",
                        long long accept = -1) {
        OBConvertorManager manager(OMBRA_DOCUMENT_READER_DIR, OMBRA_WRITER_DIR);
        ErrorCode error = kUnknownConvertor;
        OBConvertor* convertor = manager.GetConvertor(1, error);
        EXPECT_EQ(error, kNoError);
        if (!convertor) return "<no convertor>";
        std::string input = ombra_test::TestDocumentInput(name);
        OBBufferStreamRead in(input.data(), input.size());
        CaptureOutput out(accept);
        EXPECT_EQ(convertor->ExtractData(&in, out.Stream(), options), 1);
        return out.Data();
    }

    static Preferences Options() {
        Preferences options{};
        options.measurementUnit = 5; // picas: no report
        return options;              // UTF-8, easier to read here
    }

    ombra_test::ScopedTestDocument document_{"textwriter-pump", PumpDocument};
    Logger logger_;
};

// Without options the writer uses its defaults and what the pump always
// sets: "Default" encoding with "PC" code pages and line ends, ruby on
// (index 3 is set to 1), hidden and master-page stories left out.
TEST_F(ThroughThePump, EverySettingOfTheOptionsRecordReachesTheWriter) {
    const std::string utf8 = kTitle + "\r\n東京の漢字（かんじ）\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t unit : ombra_test::Utf16(utf8))
        utf16 += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    const struct {
        std::function<void(Preferences&)> set; // null: no options at all
        std::string expected;
        bool prefix = false; // expected is where the output starts
    } kCases[] = {
        {nullptr, kTitle + "\r\n" + kJapaneseShiftJis + "\r\n"},
        {[](Preferences&) {}, utf8},
        {[](Preferences& o) { o.textEncoding = 1; }, utf16},
        {[](Preferences& o) { o.textEncoding = 2; }, kTitle + "\r\n" + kJapaneseShiftJis + "\r\n"},
        {[](Preferences& o) { o.groupFlag1 = 1, o.groupText1 = "<%s> "; },
         "<Normal> Title\r\n<Body> The body text of the first story.\r\n\r\n<Body> "
         "東京の漢字（かんじ）\r\n"},
        // The template alone marks nothing; the break text marks the new page.
        {[](Preferences& o) { o.groupText1 = "<%s> ", o.groupFlag2 = 1, o.groupText2 = "====="; },
         kTitle + "=====\r\n東京の漢字（かんじ）\r\n"},
        {[](Preferences& o) { o.groupFlag3 = 1; },
         kTitle + "\r\n東京の漢字（かんじ）\r\n\r\nSecret\r\n\r\nHeader\r\n"},
        {[](Preferences& o) { o.groupNumber = 12; },
         "Title\r\nThe body\r\ntext of the\r\nfirst "
         "story.\r\n\r\n東京の\r\n漢字（かん\r\nじ）\r\n"},
        // The measurement unit chooses the geometry report (5 and 0: none).
        {[](Preferences& o) { o.measurementUnit = 0; }, utf8},
        {[](Preferences& o) { o.measurementUnit = 2; }, "Page size: 8.5 x 11 in\r\n", true},
        {[](Preferences& o) { o.measurementUnit = 10; }, "Page size: 12240 x 15840 twips\r\n",
         true},
        {[](Preferences& o) { o.measurementUnit = 7; },
         "Page size: 612 x 792 pt\r\nMargins: top 36, bottom 36, left 36, right 36 pt\r\n"
         "Page 1: 612 x 792 pt\r\nPage 2: 612 x 792 pt\r\n\r\n" +
             utf8},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.expected);
        Preferences options = Options();
        if (c.set) c.set(options);
        std::string out = Convert(c.set ? &options : nullptr);
        EXPECT_EQ(c.prefix ? out.substr(0, c.expected.size()) : out, c.expected);
    }
}

TEST_F(ThroughThePump, ProblemsReachTheLogAndTheThreadsErrorCode) {
    ombra_test::ScopedTestDocument doc("textwriter-unmappable", [](DocumentBuilder& b) {
        b.AddStory().Text("Ωmega", RunStyle::Script(WSE::kRomanScript)).EndPara();
    });
    // Code page 1252, which "Default" takes for Roman text on PC, has no Ω.
    Preferences options = Options();
    options.textEncoding = 2;
    EXPECT_EQ(Convert(&options, "textwriter-unmappable"), "?mega\r\n");
    EXPECT_TRUE(logger_.Has(OBERR::kUnmappableCharacters));
    std::vector<int> codes = ombra_test::ReaderErrorCodes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), OBERR::kUnmappableCharacters)
        << "the reader sees the code the writer set for the story list";
}

TEST_F(ThroughThePump, AFailingOutputStreamEndsTheWritingButNotTheConversion) {
    EXPECT_EQ(Convert(nullptr, "textwriter-pump", 7), "Title\r\n");
    EXPECT_TRUE(logger_.Has(OBERR::kWriteFailed));
}

} // namespace
