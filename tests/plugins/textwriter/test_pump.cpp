// The text writer plug-in through the real pump: the convertor manager loads
// text.obwt and the document reader, the text convertor adjusts the writer's
// preferences from the options record, and the bytes that come out show
// that every setting arrived where it was meant to.
#include "TextWriterTestSupport.h"

#include <ombra/convertor.h>

namespace {

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
