// The text writer's bytes: UTF-8, UTF-16 and the code pages of "Default" on
// each platform, line ends, byte-order marks, what happens to characters an
// encoding cannot hold; and the plug-in through the real pump, where every
// setting of the options record arrives where it is meant to.
#include <ombra/convertor.h>

#include "TextWriterTestSupport.h"

#include <utility>

namespace {

using namespace textwriter_test;

class Encodings : public TextWriterTest {
protected:
    /// One story, one paragraph per (text, script); script -1 leaves the
    /// run's WritingScript unset.
    Result Write(const std::vector<std::pair<std::string, int>>& paragraphs,
                 OBTW::EncodingEnum encoding, OBTW::PlatformEnum platform = OBTW::kPC) {
        DocumentBuilder b;
        StoryBuilder& story = b.AddStory();
        for (const auto& p : paragraphs) {
            RunStyle style;
            style.script = p.second;
            story.Text(p.first, style).EndPara();
        }
        OBTextWriterOptions options;
        options.encoding = encoding;
        options.platform = platform;
        return Convert(b, options);
    }
};

TEST_F(Encodings, Utf8HasNoByteOrderMarkUnlessAskedAndThePlatformsLineEnds) {
    std::vector<std::pair<std::string, int>> text = {{"Grüße", -1}, {"日本", 1}};
    Result r = Write(text, OBTW::kUTF8);
    EXPECT_EQ(r.bytes, "Grüße\r\n日本\r\n");
    EXPECT_EQ(r.written, static_cast<long long>(r.bytes.size()));
    EXPECT_EQ(Write(text, OBTW::kUTF8, OBTW::kMac).bytes, "Grüße\r日本\r");
    EXPECT_EQ(Write(text, OBTW::kUTF8, OBTW::kUnix).bytes, "Grüße\n日本\n");

    DocumentBuilder b;
    b.AddStory().Para("A");
    OBTextWriterOptions options;
    options.encoding = OBTW::kUTF8;
    options.utf8ByteOrderMark = true;
    EXPECT_EQ(Convert(b, options).bytes, "\xEF\xBB\xBF"
                                         "A\r\n");
}

TEST_F(Encodings, Utf16StartsWithItsByteOrderMark) {
    std::vector<std::pair<std::string, int>> text = {{"Aé", -1}, {"日\xF0\x9F\x98\x80", 1}};
    EXPECT_EQ(Write(text, OBTW::kUTF16).bytes,
              Bytes({0xFF, 0xFE, 0x41, 0x00, 0xE9, 0x00, 0x0D, 0x00, 0x0A, 0x00,
                     0xE5, 0x65, 0x3D, 0xD8, 0x00, 0xDE, 0x0D, 0x00, 0x0A, 0x00}));
    EXPECT_EQ(Write(text, OBTW::kUTF16, OBTW::kMac).bytes,
              Bytes({0xFE, 0xFF, 0x00, 0x41, 0x00, 0xE9, 0x00, 0x0D, 0x65, 0xE5, 0xD8, 0x3D, 0xDE,
                     0x00, 0x00, 0x0D}))
        << "big-endian for Mac";

    DocumentBuilder empty;
    OBTextWriterOptions options;
    options.encoding = OBTW::kUTF16;
    EXPECT_EQ(Convert(empty, options).bytes, Bytes({0xFF, 0xFE})) << "even without text";
}

TEST_F(Encodings, DefaultWritesEachRunInItsScriptsWindowsCodePage) {
    Result r = Write({{"日本語テキスト", WSE::kJapaneseScript},
                      {"Привет", WSE::kCyrillicScript},
                      {"Καλημέρα", WSE::kGreekScript},
                      {"مرحبا", WSE::kArabicScript},
                      {"שלום", WSE::kHebrewScript},
                      {"Grüße €", WSE::kRomanScript},
                      {"Grüße €", -1}},
                     OBTW::kDefaultEncoding);
    EXPECT_EQ(r.bytes, Bytes({0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0x83, 0x65, 0x83, 0x4C,
                              0x83, 0x58, 0x83, 0x67, 0x0D, 0x0A,             // Shift JIS
                              0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, 0x0D, 0x0A, // 1251
                              0xCA, 0xE1, 0xEB, 0xE7, 0xEC, 0xDD, 0xF1, 0xE1, 0x0D, 0x0A, // 1253
                              0xE3, 0xD1, 0xCD, 0xC8, 0xC7, 0x0D, 0x0A,                   // 1256
                              0xF9, 0xEC, 0xE5, 0xED, 0x0D, 0x0A,                         // 1255
                              0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80, 0x0D, 0x0A,       // 1252
                              0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80, 0x0D, 0x0A}));
    EXPECT_EQ(r.replaced, 0);
    EXPECT_EQ(r.problems.Total(), 0);
    EXPECT_FALSE(logger_.Has(OBERR::kUnmappableCharacters));
}

TEST_F(Encodings, CharactersACodePageLacksAreReplacedVisiblyCountedAndLogged) {
    Result r = Write({{"Ω and 日", WSE::kRomanScript},
                      {"Привет, 世界", WSE::kCyrillicScript},
                      {"a\xF0\x9F\x98\x80z", WSE::kRomanScript},
                      // No-break and zero-width characters have plain stand-ins.
                      {"日\u00A0本\u2011語\u200B!", WSE::kJapaneseScript}},
                     OBTW::kDefaultEncoding);
    EXPECT_EQ(r.bytes,
              Bytes({'?',  ' ',  'a',  'n',  'd',  ' ',  '?',  0x0D, 0x0A,                   //
                     0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, ',',  ' ',  '?',  '?',  0x0D, 0x0A, //
                     'a',  '?',  'z',  0x0D, 0x0A,                                           //
                     0x93, 0xFA, ' ',  0x96, 0x7B, '-',  0x8C, 0xEA, '!',  0x0D, 0x0A}));
    EXPECT_EQ(r.replaced, 5) << "a surrogate pair is one character";
    EXPECT_EQ(r.Count(OBERR::kUnmappableCharacters), 5);
    EXPECT_TRUE(logger_.Has(OBERR::kUnmappableCharacters));
    EXPECT_EQ(r.lastErrorCode, OBERR::kUnmappableCharacters);
}

TEST_F(Encodings, ACharacterConvertsInTheScriptOfEachRunItIsIn) {
    // Text whose script lacks its characters goes one character at a time;
    // what one script made of a character never carries over to another.
    Result r = Write({{"ЖΩ", WSE::kCyrillicScript},
                      {"ЖΩ", WSE::kRomanScript},
                      {"ЖΩ", WSE::kGreekScript},
                      {"ЖΩ", WSE::kCyrillicScript}},
                     OBTW::kDefaultEncoding);
    EXPECT_EQ(r.bytes, Bytes({0xC6, '?', 0x0D, 0x0A, '?', '?', 0x0D, 0x0A, '?', 0xD9, 0x0D, 0x0A,
                              0xC6, '?', 0x0D, 0x0A}));
    EXPECT_EQ(r.replaced, 5);
}

TEST_F(Encodings, UnpairedSurrogatesAreReplacedInEveryEncoding) {
    DocumentBuilder b;
    b.AddStory()
        .Units(u"a\xD800"
               u"b\xDC00")
        .EndPara();
    OBTextWriterOptions options;
    options.encoding = OBTW::kUTF8;
    Result r = Convert(b, options);
    EXPECT_EQ(r.bytes, "a\xEF\xBF\xBD"
                       "b\xEF\xBF\xBD\r\n");
    EXPECT_EQ(r.replaced, 2);
    options.encoding = OBTW::kUTF16;
    EXPECT_EQ(Convert(b, options).bytes,
              Bytes({0xFF, 0xFE, 'a', 0, 0xFD, 0xFF, 'b', 0, 0xFD, 0xFF, 0x0D, 0, 0x0A, 0}));
    options.encoding = OBTW::kDefaultEncoding;
    r = Convert(b, options);
    EXPECT_EQ(r.bytes, "a?b?\r\n");
    EXPECT_EQ(r.replaced, 2) << "counted once each";
}

TEST_F(Encodings, DefaultOnUnixUsesIsoCodePagesAndEucJp) {
    Result r = Write({{"café €", WSE::kRomanScript},
                      {"Привет", WSE::kCyrillicScript},
                      {"Καλημέρα", WSE::kGreekScript},
                      {"مرحبا", WSE::kArabicScript},
                      {"שלום", WSE::kHebrewScript},
                      {"日本語テキストｶﾀｶﾅ", WSE::kJapaneseScript},
                      {"Ğüş", WSE::kTurkishScript}},
                     OBTW::kDefaultEncoding, OBTW::kUnix);
    EXPECT_EQ(r.bytes, Bytes({'c',  'a',  'f',  0xE9, ' ',  '?',  0x0A,             // 8859-1
                              0xBF, 0xE0, 0xD8, 0xD2, 0xD5, 0xE2, 0x0A,             // 8859-5
                              0xCA, 0xE1, 0xEB, 0xE7, 0xEC, 0xDD, 0xF1, 0xE1, 0x0A, // 8859-7
                              0xE5, 0xD1, 0xCD, 0xC8, 0xC7, 0x0A,                   // 8859-6
                              0xF9, 0xEC, 0xE5, 0xED, 0x0A,                         // 8859-8
                              0xC6, 0xFC, 0xCB, 0xDC, 0xB8, 0xEC, 0xA5, 0xC6, 0xA5, 0xAD, 0xA5,
                              0xB9, 0xA5, 0xC8, 0x8E, 0xB6, 0x8E, 0xC0, 0x8E, 0xB6, 0x8E, 0xC5,
                              0x0A,                      // EUC-JP
                              0xD0, 0xFC, 0xFE, 0x0A})); // 8859-9
    EXPECT_EQ(r.replaced, 1) << "ISO 8859-1 has no euro sign";
}

TEST_F(Encodings, DefaultOnMacUsesMacRomanAndCarriageReturns) {
    Result r = Write({{"café € ™", -1}, {"Ω", WSE::kRomanScript}, {"日本", WSE::kJapaneseScript}},
                     OBTW::kDefaultEncoding, OBTW::kMac);
    EXPECT_EQ(r.bytes, Bytes({'c', 'a', 'f', 0x8E, ' ', 0xDB, ' ', 0xAA, 0x0D, 0xBD, 0x0D, 0x93,
                              0xFA, 0x96, 0x7B, 0x0D}));
    EXPECT_EQ(r.replaced, 0);
}

TEST_F(Encodings, WithoutATextServiceDefaultKeepsAsciiAndReplacesTheRest) {
    OBLumService* service = OBLumHandler::GetLumService();
    OBLumHandler::ResetLumService();
    Result r = Write({{"ok 日本", WSE::kJapaneseScript}}, OBTW::kDefaultEncoding);
    OBLumHandler::SetLumService(service);
    EXPECT_EQ(r.bytes, "ok ??\r\n");
    EXPECT_EQ(r.replaced, 2);
}

using namespace textwriter_test;

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
    Bytes({0x93, 0x8C, 0x8B, 0x9E, 0x82, 0xCC, 0x8A, 0xBF, 0x8E, 0x9A,
           0x81, 0x69, 0x82, 0xA9, 0x82, 0xF1, 0x82, 0xB6, 0x81, 0x6A});

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

TEST_F(ThroughThePump, WithoutOptionsTheWriterUsesItsDefaultsAndWhatThePumpAlwaysSets) {
    // "Default" encoding with "PC" code pages and line ends, ruby on (index 3
    // is set to 1), hidden and master-page stories left out.
    EXPECT_EQ(Convert(nullptr), kTitle + "\r\n" + kJapaneseShiftJis + "\r\n");
}

TEST_F(ThroughThePump, TheEncodingComesFromTextEncoding) {
    Preferences options = Options();
    const std::string utf8 = kTitle + "\r\n東京の漢字（かんじ）\r\n";
    EXPECT_EQ(Convert(&options), utf8);
    options.textEncoding = 1;
    std::string utf16 = Convert(&options);
    EXPECT_EQ(utf16.substr(0, 6), Bytes({0xFF, 0xFE, 'T', 0, 'i', 0}));
    EXPECT_EQ(utf16.size(), 2 + 2 * ombra_test::Utf16(utf8).size());
    options.textEncoding = 2;
    EXPECT_EQ(Convert(&options), kTitle + "\r\n" + kJapaneseShiftJis + "\r\n");
}

TEST_F(ThroughThePump, TheGroupsFlagsTextsAndNumberReachTheirSettings) {
    Preferences options = Options();
    options.groupFlag1 = 1;
    options.groupText1 = "<%s> ";
    EXPECT_EQ(Convert(&options), "<Normal> Title\r\n<Body> The body text of the first story.\r\n"
                                 "\r\n<Body> 東京の漢字（かんじ）\r\n");
    options = Options();
    options.groupText1 = "<%s> ";
    options.groupFlag2 = 1;
    options.groupText2 = "=====";
    EXPECT_EQ(Convert(&options), kTitle + "=====\r\n東京の漢字（かんじ）\r\n")
        << "the template alone marks nothing; the break text marks the new page";
    options = Options();
    options.groupFlag3 = 1;
    EXPECT_EQ(Convert(&options),
              kTitle + "\r\n東京の漢字（かんじ）\r\n\r\nSecret\r\n\r\nHeader\r\n");
    options = Options();
    options.groupNumber = 12;
    EXPECT_EQ(Convert(&options), "Title\r\nThe body\r\ntext of the\r\nfirst story.\r\n\r\n"
                                 "東京の漢\r\n字（かんじ）\r\n");
}

TEST_F(ThroughThePump, MeasurementUnitChoosesTheGeometryReport) {
    Preferences options = Options();
    for (auto [unit, head] : {std::pair<int, const char*>{2, "Page size: 8.5 x 11 in\r\n"},
                              {7, "Page size: 612 x 792 pt\r\n"},
                              {10, "Page size: 12240 x 15840 twips\r\n"},
                              {5, "Title\r\n"},
                              {0, "Title\r\n"}}) {
        options.measurementUnit = unit;
        EXPECT_EQ(Convert(&options).substr(0, std::string(head).size()), head) << "unit " << unit;
    }
    options.measurementUnit = 7;
    const std::string report =
        "Page size: 612 x 792 pt\r\nMargins: top 36, bottom 36, left 36, right 36 pt\r\n"
        "Page 1: 612 x 792 pt\r\nPage 2: 612 x 792 pt\r\n\r\nTitle\r\n";
    EXPECT_EQ(Convert(&options).substr(0, report.size()), report);
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

TEST_F(ThroughThePump, TheBuiltInSampleConvertsCompletely) {
    Preferences options = Options();
    options.groupFlag1 = 1;
    options.groupText1 = "[%s] ";
    std::string text = Convert(&options, "sample");
    for (const char* part :
         {"[Heading] Ombra sample\r\n", "Item\tCount\tPrice\r\nPens\t12\t3.50\r\n",
          "[1] [Normal] The note's text.\r\n", "これは漢字（かんじ）です。\r\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_EQ(text.find("Editor's note"), std::string::npos) << text;
    EXPECT_EQ(text.find("Running head"), std::string::npos) << text;
}

} // namespace
