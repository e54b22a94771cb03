// The HTML, pandoc and text writers on the walker: one table of features
// and what each writer makes of them, the expected files of the features
// document, random documents, settings, and memory running out.
#include "HtmlConversion.h"
#include "PandocConversion.h"
#include "TextConversion.h"

#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/resources.h>
#include <ombra/typedstreams.h>
#include <ombra/valueutil.h>

#include "RandomDocument.h"
#include "support/ConversionState.h"
#include "support/DocumentBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace ombra_test;

class Capture : public OBXferBytes {
public:
    Capture() { stream_.SetXferBytes(this); }
    unsigned long long Read(void*, unsigned long long) override { return 0; }
    unsigned long long Write(const void* b, unsigned long long n) override {
        bytes.append(static_cast<const char*>(b), n);
        return n;
    }
    unsigned long long Seek(long long, OBSeekFromWhere) override { return bytes.size(); }
    unsigned long long Tell() override { return bytes.size(); }
    void Flush() override {}
    OBStreamState GetStreamState() override { return kStreamOK; }
    void SetEndOfStream() override {}
    OBStream* Stream() { return &stream_; }
    std::string bytes;

private:
    COBStreamWrite stream_;
};

struct Output {
    std::string bytes;
    OBWriterReport report;
    int problems = 0;
};

template <class Conversion, class Options>
Output Convert(const std::vector<Element*>& elements, const Options& options) {
    Capture capture;
    Output out;
    Conversion conversion(capture.Stream(), options);
    for (Element* e : elements)
        conversion.PutElement(e);
    conversion.PutElement(nullptr);
    out.bytes = capture.bytes;
    out.report = conversion.GetReport();
    out.problems = conversion.GetProblems().Total();
    return out;
}

class Writers : public ::testing::Test {
protected:
    Writers() {
        if (!OBLumHandler::GetLumService()) {
            service_ = new OBConvertorLumService;
            OBLumHandler::SetLumService(service_);
        }
    }
    ~Writers() override {
        if (service_) {
            OBLumHandler::ResetLumService();
            delete service_;
        }
    }
    ConversionState state_;
    OBConvertorLumService* service_ = nullptr;
};

// ---- one table of features ------------------------------------------------------------------

struct Feature {
    const char* name;
    std::function<void(DocumentBuilder&)> build;
    std::vector<const char*> html;   // what the HTML holds
    std::vector<const char*> pandoc; // what the pandoc JSON holds
    const char* text;                // what the text writer's UTF-8 holds
    OBREPORT::KindEnum kind;         // what the HTML writer reports, with count
    long long count;
};

RunStyle Ja() {
    return RunStyle::Script(WSE::kJapaneseScript);
}

const std::vector<Feature>& Features() {
    static const std::vector<Feature> features = {
        {"headings and styles",
         [](DocumentBuilder& b) {
             unsigned normal = b.AddParagraphStyle("Normal");
             unsigned heading = b.AddParagraphStyle("Heading 2", normal);
             b.CharacterFormat(normal).SetLength(AN::kFontSize, 14);
             b.AddStory().Para("Top", heading).Para("Body", normal);
         },
         {"<h2 class=\"p-Heading-2\">Top</h2>", ".p-Heading-2 { font-size: 14pt; }",
          "<title>Top</title>"},
         {"\"Header\",\"c\":[2,", "[\"custom-style\",\"Normal\"]"},
         "Top\nBody\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"character formatting",
         [](DocumentBuilder& b) {
             unsigned emphasis = b.AddCharacterStyle("Emphasis");
             b.CharacterFormat(emphasis).SetBool(AN::kItalics, true);
             unsigned red = b.AddCmykColor("Red", 0, 1, 1, 0);
             b.AddStory().Text("a", RunStyle::Style(emphasis)).Text("b", RunStyle().Bold());
             b.AddStory().Text("c", RunStyle().Italic().Color(red).Size(9));
         },
         {"<span class=\"c-Emphasis\">a</span><strong>b</strong>",
          "<span style=\"font-size: 9pt; color: #ff0000\"><em>c</em></span>",
          ".c-Emphasis { font-style: italic; }"},
         {"{\"t\":\"Emph\",\"c\":[{\"t\":\"Str\",\"c\":\"a\"}]}", "\"custom-style\",\"Emphasis\"",
          "{\"t\":\"Strong\",\"c\":[{\"t\":\"Str\",\"c\":\"b\"}]}"},
         "ab\n\nc\n",
         OBREPORT::kColorsConverted,
         1},
        {"own formatting that repeats what lies under it",
         [](DocumentBuilder& b) {
             unsigned normal = b.AddParagraphStyle("Normal");
             b.CharacterFormat(normal).SetLength(AN::kFontSize, 10);
             b.CharacterFormat(normal).SetUtf8(AN::kFont, "X; Y");
             b.AddStory()
                 .Text("a", RunStyle().Size(10).Font("X; Y").Size(11))
                 .Text("b", RunStyle().Size(10).Font("X; Z"))
                 .EndPara(normal);
         },
         {"<p class=\"p-Normal\"><span style=\"font-size: 11pt\">a</span><span "
          "style=\"font-family: 'X; Z'\">b</span></p>"},
         {},
         "ab\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"tables",
         [](DocumentBuilder& b) {
             TableBuilder& t = b.AddStory().AddTable(3, 2).HeaderRows(1).FooterRows(1);
             t.Cell(0, 0, "h", -1, 1).Cell(1, 0, "r", 2, -1).Cell(1, 1, "x").Cell(2, 1, "f");
         },
         {"<thead>\n<tr><th colspan=\"2\">", "<td rowspan=\"2\">", "<tfoot>\n<tr><td>"},
         {"\"Table\"", "{\"t\":\"AlignDefault\"},1,2,[", "{\"t\":\"AlignDefault\"},2,1,["},
         "h\t\nr\tx\n\tf\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"notes",
         [](DocumentBuilder& b) { b.AddStory().Text("a").Footnote("fn").Footnote("en", true); },
         {"href=\"#note-1\" id=\"noteref-1\"", "role=\"doc-endnotes\"",
          "href=\"#noteref-2\" role=\"doc-backlink\">2</a> en"},
         {"{\"t\":\"Note\",\"c\":[{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"fn\"}]}]}"},
         "a[1][2]\n\n[1] fn\n\n[2] en\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"a note's own number and a style that sets nothing",
         [](DocumentBuilder& b) {
             unsigned none = b.AddCharacterStyle("[None]");
             StoryBuilder& s = b.AddStory();
             s.Text("a", RunStyle::Style(none));
             s.AddFootnote().Variable("1").Text(" fn");
         },
         {"<p>a<a class=\"noteref\"", "role=\"doc-backlink\">1</a>  fn</p>"},
         {"{\"t\":\"Note\",\"c\":[{\"t\":\"Para\",\"c\":[{\"t\":\"Space\"},{\"t\":\"Str\",\"c\":"
          "\"fn\"}"},
         "a[1]\n\n[1] 1 fn\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"links",
         [](DocumentBuilder& b) {
             unsigned page = b.AddPage(b.AddSpread());
             StoryBuilder& s = b.AddStory();
             s.Link("u", "http://e/?a=1&b=<2>").PageLink("p", page).TextLink("t", s.Id(), 0);
             b.AddTextFrame(page, s.Id(), OBRect(0, 0, 9, 9));
         },
         {"<div class=\"page-start\" id=\"page-1\"></div>", "<span id=\"target-1\"></span>",
          "<a href=\"http://e/?a=1&amp;b=&lt;2&gt;\"><span id=\"target-1\"></span>u</a>"
          "<a href=\"#page-1\">p</a><a href=\"#target-1\">t</a>"},
         {"[\"http://e/?a=1&b=<2>\",\"\"]", "[\"#page-1\",\"\"]", "[\"target-1\",[],[]]"},
         "upt\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"ruby",
         [](DocumentBuilder& b) {
             b.AddStory()
                 .Ruby("漢字", "かんじ", Ja())
                 .RubyPerCharacter("東京", "とう きょう", Ja());
         },
         {"<html lang=\"ja\">", "<ruby>漢字<rp>(</rp><rt>かんじ</rt><rp>)</rp></ruby>",
          "<ruby>東<rp>(</rp><rt>とう</rt><rp>)</rp>京<rp>(</rp><rt>きょう</rt><rp>)</rp></ruby>"},
         {"[\"html\",\"<ruby>\"]", "{\"t\":\"Str\",\"c\":\"かんじ\"}",
          "\"lang\":{\"t\":\"MetaString\""},
         "漢字（かんじ）東京（とう きょう）\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"kenten, tate-chu-yoko and warichu",
         [](DocumentBuilder& b) {
             b.AddStory()
                 .Kenten("圏", KKE::kWhiteTriangle, Ja(), 0, true)
                 .Kenten("星", KKE::kCustom, Ja(), 0x2605)
                 .Tcy("12", Ja())
                 .Warichu("割注五字", Ja());
         },
         {"text-emphasis: open triangle; text-emphasis-position: under left",
          "text-emphasis: &quot;★&quot;",
          "<span class=\"tcy\" style=\"text-combine-upright: all\">12",
          "<span class=\"warichu-line\">割注</span><span class=\"warichu-line\">五字</span>"},
         {"[\"style\",\"text-emphasis: open triangle;", "\"tcy\"",
          "[{\"t\":\"Str\",\"c\":\"（\"},{\"t\":\"Str\",\"c\":\"割注五字\"}"},
         "圏星12割注五字\n",
         OBREPORT::kKentenLeftOut,
         0},
        {"vertical stories",
         [](DocumentBuilder& b) { b.AddStory().Vertical().Text("縦", Ja()); },
         {"<section class=\"story vertical\" id=\"story-1\" style=\"writing-mode: vertical-rl\">"},
         {"[\"story-1\",[\"story\",\"vertical\"],[[\"style\",\"writing-mode: vertical-rl\"]]]"},
         "縦\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"pictures",
         [](DocumentBuilder& b) {
             unsigned page = b.AddPage(b.AddSpread());
             unsigned icon = b.AddPicture(page, OBRect(0, 0, 8, 8), "C:\\My Pictures\\i.png");
             b.AddPicture(page, OBRect(0, 0, 72, 9), "img/a b.jpg", "An \"a\"");
             b.AddPicture(page, OBRect(0, 0, 72, 9), "");
             b.AddPicture(page, OBRect(0, 0, 72, 9), "file:/Users/a/c.jpg");
             StoryBuilder& s = b.AddStory();
             s.Text("x").Inline(icon);
             b.AddTextFrame(page, s.Id(), OBRect(0, 100, 9, 109));
         },
         {"<figure class=\"picture\"><img src=\"img/a%20b.jpg\" alt=\"An &quot;a&quot;\" "
          "style=\"width: 72pt\"></figure>",
          "x<img src=\"file:///C:/My%20Pictures/i.png\" alt=\"\" style=\"width: 8pt\">",
          "<img src=\"file:///Users/a/c.jpg\""},
         {"[\"img/a%20b.jpg\",\"\"]", "\"c\":\"An\"},{\"t\":\"Space\"}"},
         "x\n",
         OBREPORT::kPicturesWithoutLink,
         1},
        {"metadata",
         [](DocumentBuilder& b) {
             b.MetaData("T <1>", "A. Author");
             b.MetaDataStore().SetUtf8(AN::kKeywords, "k1; k2");
             b.MetaDataStore().SetInteger(AN::kNumPages, 1);
             b.AddStory().Text("x");
         },
         {"<title>T &lt;1&gt;</title>", "<meta name=\"keywords\" content=\"k1; k2\">",
          "<meta name=\"dcterms.extent\" content=\"1 page\">"},
         {"\"keywords\":{\"t\":\"MetaList\",\"c\":[{\"t\":\"MetaInlines\",\"c\":[{\"t\":\"Str\","
          "\"c\":\"k1\"}]},{\"t\":\"MetaInlines\",\"c\":[{\"t\":\"Str\",\"c\":\"k2\"}]}]}"},
         "x\n",
         OBREPORT::kStoriesLeftOut,
         0},
        {"hidden text, variables and breaks",
         [](DocumentBuilder& b) {
             unsigned hidden = b.AddLayer("H", false);
             unsigned page = b.AddPage(b.AddSpread());
             StoryBuilder& s = b.AddStory();
             s.Text("<&>").Variable("7").Text("\f\t");
             StoryBuilder& gone = b.AddStory();
             gone.Para("gone");
             b.AddTextFrame(page, gone.Id(), OBRect(), hidden);
         },
         {"&lt;&amp;&gt;<span class=\"variable\">7</span><br class=\"frame-break\">\t</p>"},
         {"{\"t\":\"Str\",\"c\":\"<&>\"},{\"t\":\"Str\",\"c\":\"7\"},{\"t\":\"LineBreak\"}"},
         "<&>7\n\t\n",
         OBREPORT::kStoriesLeftOut,
         1},
    };
    return features;
}

TEST_F(Writers, EachFeatureReachesEachWriter) {
    for (const Feature& feature : Features()) {
        DocumentBuilder b;
        feature.build(b);
        const std::vector<Element*>& elements = b.Build();
        Output html = Convert<OBHtmlConversion>(elements, OBHtmlOptions());
        for (const char* part : feature.html)
            EXPECT_NE(html.bytes.find(part), std::string::npos)
                << feature.name << ": " << part << "\n"
                << html.bytes;
        EXPECT_EQ(html.report.Count(feature.kind), feature.count) << feature.name;
        Output pandoc = Convert<OBPandocConversion>(elements, OBPandocOptions());
        for (const char* part : feature.pandoc)
            EXPECT_NE(pandoc.bytes.find(part), std::string::npos)
                << feature.name << ": " << part << "\n"
                << pandoc.bytes;
        OBTextWriterOptions text;
        text.encoding = OBTW::kUTF8;
        text.platform = OBTW::kUnix;
        EXPECT_EQ(Convert<OBTextConversion>(elements, text).bytes, feature.text) << feature.name;
        EXPECT_EQ(html.problems + pandoc.problems, 0) << feature.name;
    }
}

// ---- the features document against its expected files --------------------------------------

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The files of the text writer were written before the writer stood on the
// walker; OMBRA_UPDATE_EXPECTED=1 writes the HTML and pandoc ones anew.
TEST_F(Writers, TheFeaturesDocumentMatchesItsExpectedFiles) {
    DocumentBuilder b;
    ASSERT_TRUE(BuildTestDocument("features", b));
    const std::vector<Element*>& elements = b.Build();
    std::vector<std::pair<std::string, std::string>> outputs = {
        {"features.html", Convert<OBHtmlConversion>(elements, OBHtmlOptions()).bytes},
        {"features.json", Convert<OBPandocConversion>(elements, OBPandocOptions()).bytes}};
    struct TextCase {
        const char* file;
        std::function<void(OBTextWriterOptions&)> set;
    };
    for (const TextCase& c : std::vector<TextCase>{
             {"features@default-pc.txt", [](OBTextWriterOptions&) {}},
             {"features@info.txt",
              [](OBTextWriterOptions& o) { o.encoding = OBTW::kUTF8, o.documentInfo = true; }},
             {"features@utf16-mac.txt",
              [](OBTextWriterOptions& o) { o.encoding = OBTW::kUTF16, o.platform = OBTW::kMac; }},
             {"features@all.txt", [](OBTextWriterOptions& o) {
                  o.encoding = OBTW::kUTF8, o.platform = OBTW::kUnix, o.markStyles = true;
                  o.markBreaks = o.includeHidden = o.reportGeometry = true;
                  o.wrapColumn = 40, o.geometryUnit = UNITS::LINEAR::kTwips;
              }}}) {
        OBTextWriterOptions options;
        c.set(options);
        outputs.emplace_back(c.file, Convert<OBTextConversion>(elements, options).bytes);
    }
    bool update = std::getenv("OMBRA_UPDATE_EXPECTED") != nullptr;
    for (const auto& [file, bytes] : outputs) {
        std::string path = std::string(OMBRA_WRITERS_DATA_DIR) + "/" + file;
        if (update && (file.find(".txt") == std::string::npos || file == "features@info.txt"))
            std::ofstream(path, std::ios::binary) << bytes;
        EXPECT_TRUE(ReadFile(path) == bytes) << file << " differs:\n" << bytes;
    }
}

// ---- random documents, settings, memory -------------------------------------------------------

// Elements open and close in order in the HTML; brackets and quotes pair
// up in the JSON.
bool TagsNest(const std::string& html) {
    static const char* const kEmpty[] = {"meta", "br", "img", "hr", "link", "!DOCTYPE"};
    std::vector<std::string> open;
    for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        size_t end = html.find_first_of(" >", at);
        std::string name = html.substr(at + 1, end - at - 1);
        bool empty = false;
        for (const char* e : kEmpty)
            empty = empty || name == e;
        if (name[0] == '/') {
            if (open.empty() || open.back() != name.substr(1)) return false;
            open.pop_back();
        } else if (!empty) {
            open.push_back(name);
        }
    }
    return open.empty();
}

bool JsonBalanced(const std::string& json) {
    std::string open;
    bool quoted = false;
    for (size_t i = 0; i < json.size(); ++i) {
        char c = json[i];
        if (quoted) {
            if (c == '\\') ++i;
            quoted = c != '"';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '[' || c == '{') {
            open.push_back(c == '[' ? ']' : '}');
        } else if (c == ']' || c == '}') {
            if (open.empty() || open.back() != c) return false;
            open.pop_back();
        }
    }
    return open.empty() && !quoted;
}

TEST_F(Writers, RandomDocumentsGiveWellFormedHtmlAndJson) {
    for (unsigned seed = 1; seed <= 80; ++seed) {
        DocumentBuilder b;
        writers_test::RandomDocument(seed).Build(b);
        const std::vector<Element*>& elements = b.Build();
        OBHtmlOptions html;
        html.includeHidden = seed % 2;
        html.pages = static_cast<OBHTML::PagesEnum>(seed % 3);
        EXPECT_TRUE(TagsNest(Convert<OBHtmlConversion>(elements, html).bytes)) << "seed " << seed;
        OBPandocOptions pandoc;
        pandoc.ruby = static_cast<OBPANDOC::RubyEnum>(seed % 3);
        EXPECT_TRUE(JsonBalanced(Convert<OBPandocConversion>(elements, pandoc).bytes))
            << "seed " << seed;
    }
}

TEST_F(Writers, SettingsArePublishedWithTextsAndReadBack) {
    OBStringTable table;
    ASSERT_EQ(table.LoadFile((std::string(OMBRA_WRITER_DIR) + "/html.strings").c_str()), 1);
    ASSERT_EQ(table.LoadFile((std::string(OMBRA_WRITER_DIR) + "/report.strings").c_str()), 1);
    for (int kind = 0; kind < OBREPORT::kKinds; ++kind)
        EXPECT_TRUE(table.GetString(OBREPORT::TextId(static_cast<OBREPORT::KindEnum>(kind)) + 1))
            << "report " << kind;
    OBPreferenceList list;
    OBHtmlOptions::Settings().Publish(&list);
    ASSERT_EQ(list.GetNumberOfPreferences(), OBHTML::kSettingCount);
    for (int i = 0; i < OBHTML::kSettingCount; ++i) {
        OBPreference* p = nullptr;
        list.GetNthPreference(i, &p);
        EXPECT_TRUE(table.GetString(p->GetResourceID())) << "setting " << i;
    }
    OBPreference* p = nullptr;
    list.GetNthPreference(OBHTML::kPages, &p);
    static_cast<OBEnumPreference*>(p)->SetCurrentValue(COBString("page SECTIONS"));
    list.GetNthPreference(OBHTML::kStyleClasses, &p);
    static_cast<OBBooleanPreference*>(p)->SetCurrentValue(short(0));
    list.GetNthPreference(OBHTML::kStylesheetLink, &p);
    static_cast<OBStringPreference*>(p)->SetCurrentValue(COBString("site.css"));
    OBHtmlOptions options = OBHtmlOptions::FromPreferences(&list);
    EXPECT_EQ(options.pages, OBHTML::kPageSections);
    EXPECT_FALSE(options.styleClasses);
    EXPECT_TRUE(options.stylesheetLink.Equals("site.css"));
    EXPECT_EQ(options.stylesheet, OBHTML::kEmbedded);
}

// Allocations of a conversion fail from one on: the writers go on with
// what they have, and whatever output is lost is reported.
TEST_F(Writers, MemoryRunningOutAnywhereIsReportedNeverFatal) {
    DocumentBuilder b;
    ASSERT_TRUE(BuildTestDocument("features", b));
    const std::vector<Element*>& elements = b.Build();
    for (int writer = 0; writer < 3; ++writer) {
        long long before = Stats().allocations;
        auto run = [&]() {
            if (writer == 0) return Convert<OBHtmlConversion>(elements, OBHtmlOptions());
            if (writer == 1) return Convert<OBPandocConversion>(elements, OBPandocOptions());
            return Convert<OBTextConversion>(elements, OBTextWriterOptions());
        };
        std::string whole = run().bytes;
        long long total = Stats().allocations - before;
        for (long long n = 0; n < total; n += 1 + total / 150) {
            Output out;
            {
                FailAllocationsAfter fail(n);
                out = run();
            }
            EXPECT_TRUE(out.bytes == whole || out.problems >= 1)
                << "writer " << writer << ", allocation " << n;
        }
    }
}

} // namespace
