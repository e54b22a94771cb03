// The text writer plug-in through the real pump: the convertor manager loads
// text.obwt and the document reader, the text convertor adjusts the writer's
// preferences from the options record, and the bytes that come out show
// that every setting arrived where it was meant to.
#include "TextWriterTestSupport.h"

#include <ombra/convertor.h>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace textwriter_test;

/// A folder of its own under the temporary directory holding a copy of one
/// plug-in, removed with everything in it when the object goes.
class PlugInCopy {
public:
    explicit PlugInCopy(const char* file) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ombra-textwriter-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back(0);
        if (::mkdtemp(name.data())) path_ = name.data();
        std::filesystem::path source(file);
        std::filesystem::copy_file(source, std::filesystem::path(path_) / source.filename());
    }
    ~PlugInCopy() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

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

const std::string kJapaneseShiftJis =
    Bytes({0x93, 0x8C, 0x8B, 0x9E, 0x82, 0xCC, 0x8A, 0xBF, 0x8E, 0x9A, 0x81, 0x69, 0x82, 0xA9,
           0x82, 0xF1, 0x82, 0xB6, 0x81, 0x6A});

class ThroughThePump : public ::testing::Test {
protected:
    ThroughThePump()
        : readers_(OMBRA_DOCUMENT_READER), writers_(OMBRA_TEXT_WRITER),
          document_("textwriter-pump", PumpDocument) {}

    /// Converts the named document with the text convertor.
    std::string Convert(const Preferences* options, const std::string& name = "textwriter-pump",
                        long long accept = -1, short* result = nullptr) {
        OBConvertorManager manager(readers_.Path(), writers_.Path());
        ErrorCode error = kUnknownConvertor;
        OBConvertor* convertor = manager.GetConvertor(1, error);
        EXPECT_EQ(error, kNoError);
        if (!convertor) return "<no convertor>";
        std::string input = ombra_test::TestDocumentInput(name);
        OBBufferStreamRead in(input.data(), input.size());
        CaptureOutput out(accept);
        short ran = convertor->ExtractData(&in, out.Stream(), options);
        if (result) *result = ran;
        EXPECT_EQ(ran, 1);
        return out.Data();
    }

    static Preferences Options() {
        Preferences options;
        options.groupFlag1 = 0;
        options.groupFlag2 = 0;
        options.groupFlag3 = 0;
        options.groupNumber = 0;
        options.measurementUnit = 5; // picas: no report
        options.textEncoding = 0;    // UTF-8, easier to read here
        return options;
    }

    PlugInCopy readers_;
    PlugInCopy writers_;
    ombra_test::ScopedTestDocument document_;
    Logger logger_;
};

TEST_F(ThroughThePump, WithoutOptionsTheWriterUsesItsDefaultsAndWhatThePumpAlwaysSets) {
    // "Default" encoding with "PC" code pages and line ends, ruby on (index 3
    // is set to 1), hidden and master-page stories left out.
    EXPECT_EQ(Convert(nullptr), "Title\r\nThe body text of the first story.\r\n\r\n" +
                                    kJapaneseShiftJis + "\r\n");
}

TEST_F(ThroughThePump, TheEncodingComesFromTextEncoding) {
    Preferences options = Options();
    const std::string utf8 =
        "Title\r\nThe body text of the first story.\r\n\r\n東京の漢字（かんじ）\r\n";
    EXPECT_EQ(Convert(&options), utf8);
    options.textEncoding = 1;
    std::string utf16 = Convert(&options);
    ASSERT_GE(utf16.size(), 4u);
    EXPECT_EQ(utf16.substr(0, 6), Bytes({0xFF, 0xFE, 'T', 0, 'i', 0}));
    EXPECT_EQ(utf16.size(), 2 + 2 * ombra_test::Utf16(utf8).size());
    options.textEncoding = 2;
    EXPECT_EQ(Convert(&options),
              "Title\r\nThe body text of the first story.\r\n\r\n" + kJapaneseShiftJis + "\r\n");
}

TEST_F(ThroughThePump, GroupFlag1AndGroupText1MarkParagraphStyles) {
    Preferences options = Options();
    options.groupFlag1 = 1;
    options.groupText1 = "<%s> ";
    EXPECT_EQ(Convert(&options), "<Normal> Title\r\n<Body> The body text of the first story.\r\n"
                                 "\r\n<Body> 東京の漢字（かんじ）\r\n");
    options.groupFlag1 = 0;
    EXPECT_EQ(Convert(&options).substr(0, 7), "Title\r\n") << "the template alone marks nothing";
}

TEST_F(ThroughThePump, GroupFlag2AndGroupText2MarkStoriesOnANewPage) {
    Preferences options = Options();
    options.groupFlag2 = 1;
    options.groupText2 = "=====";
    EXPECT_EQ(Convert(&options), "Title\r\nThe body text of the first story.\r\n=====\r\n"
                                 "東京の漢字（かんじ）\r\n");
}

TEST_F(ThroughThePump, GroupFlag3IncludesMasterPagesAndHiddenLayers) {
    Preferences options = Options();
    options.groupFlag3 = 1;
    EXPECT_EQ(Convert(&options), "Title\r\nThe body text of the first story.\r\n\r\n"
                                 "東京の漢字（かんじ）\r\n\r\nSecret\r\n\r\nHeader\r\n");
}

TEST_F(ThroughThePump, GroupNumberWrapsLines) {
    Preferences options = Options();
    options.groupNumber = 12;
    EXPECT_EQ(Convert(&options), "Title\r\nThe body\r\ntext of the\r\nfirst story.\r\n\r\n"
                                 "東京の漢\r\n字（かんじ）\r\n");
}

TEST_F(ThroughThePump, MeasurementUnitChoosesTheGeometryReport) {
    Preferences options = Options();
    auto head = [&](int unit, const std::string& expected) {
        options.measurementUnit = unit;
        std::string text = Convert(&options);
        EXPECT_EQ(text.substr(0, expected.size()), expected) << "unit " << unit;
    };
    head(2, "Page size: 8.5 x 11 in\r\nMargins: top 0.5, bottom 0.5, left 0.5, right 0.5 in\r\n"
            "Page 1: 8.5 x 11 in\r\nPage 2: 8.5 x 11 in\r\n\r\nTitle\r\n");
    head(7, "Page size: 612 x 792 pt\r\nMargins: top 36, bottom 36, left 36, right 36 pt\r\n"
            "Page 1: 612 x 792 pt\r\nPage 2: 612 x 792 pt\r\n\r\nTitle\r\n");
    head(10, "Page size: 12240 x 15840 twips\r\n"
             "Margins: top 720, bottom 720, left 720, right 720 twips\r\n"
             "Page 1: 12240 x 15840 twips\r\nPage 2: 12240 x 15840 twips\r\n\r\nTitle\r\n");
    head(5, "Title\r\n");
    head(0, "Title\r\n");
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
    short result = 0;
    std::string written = Convert(nullptr, "textwriter-pump", 7, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(written, "Title\r\n");
    EXPECT_TRUE(logger_.Has(OBERR::kWriteFailed));
}

TEST_F(ThroughThePump, TheBuiltInSampleConvertsCompletely) {
    Preferences options = Options();
    options.groupFlag1 = 1;
    options.groupText1 = "[%s] ";
    std::string text = Convert(&options, "sample");
    EXPECT_NE(text.find("[Heading] Ombra sample\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Item\tCount\tPrice\r\nPens\t12\t3.50\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[1] [Normal] The note's text.\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("これは漢字（かんじ）です。\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Editor's note"), std::string::npos) << text;
    EXPECT_EQ(text.find("Running head"), std::string::npos) << text;
}

} // namespace
