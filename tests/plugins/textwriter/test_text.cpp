// What the text writer makes of a document: paragraphs, breaks, tables,
// notes, ruby, style tags, break marks, hidden content, wrapping and the
// geometry report, through OBTextConversion.
#include "TextWriterTestSupport.h"

#include <cstring>

namespace {

using namespace textwriter_test;

using TextContent = TextWriterTest;

void SetText(WOBString& text, const char* utf8) {
    OBStringUtils::ConvertUTF8ToUTF16String(utf8, std::strlen(utf8), text);
}

// ---- paragraphs and the characters with a meaning ------------------------------

TEST_F(TextContent, ParagraphsBreaksTabsAndInlineObjectsKeepTheirPlaces) {
    DocumentBuilder b;
    StoryBuilder& story = b.AddStory();
    story.Para("First paragraph.").Para("Second\twith a tab.").Para("");
    story.Text("Line one\u2028line two").EndPara();
    // An anchored graphic (U+FFFC without a run that explains it) has no text;
    // a page number variable shows its last text; soft hyphens are not written.
    story.Text("Page ").Variable("7").Text(" of \uFFFCextra\u00ADordinary").EndPara();
    story.Text("Last without an end");
    b.AddStory().Para("Another story.");
    Result r = Convert(b, Plain());
    EXPECT_EQ(r.bytes, "First paragraph.\nSecond\twith a tab.\n\nLine one\nline two\n"
                       "Page 7 of extraordinary\nLast without an end\n\nAnother story.\n");
    EXPECT_EQ(r.stories, 2);
    EXPECT_EQ(r.problems.Total(), 0);
}

// ---- tables --------------------------------------------------------------------

TEST_F(TextContent, TablesWriteRowsOfTabSeparatedCellsWhereTheyAreAnchored) {
    DocumentBuilder b;
    StoryBuilder& story = b.AddStory();
    story.Text("Before").EndPara();
    TableBuilder& table = story.AddTable(3, 3);
    table.Cell(0, 0, "A").Cell(0, 1, "B").Cell(0, 2, "C");
    table.Cell(1, 0, "wide", -1, 1).Cell(1, 2, "x");
    table.Cell(2, 1, "y\u2029z\tw");
    story.EndPara();
    story.Text("In the middle ");
    TableBuilder& inner = story.AddTable(1, 2);
    inner.Cell(0, 0, "p").Cell(0, 1, "q");
    story.Text(" and after").EndPara();
    // A table in a cell is flattened into the cell.
    TextBuilder& cell = story.AddTable(1, 2).Cell(0, 0, "left").CellText(0, 1);
    cell.Text("has").AddTable(1, 2).Cell(0, 0, "n1").Cell(0, 1, "n2");
    Result r = Convert(b, Plain());
    EXPECT_EQ(r.bytes, "Before\n"
                       "A\tB\tC\n"
                       "wide\t\tx\n"
                       "\ty z w\t\n"
                       "In the middle \np\tq\n and after\n"
                       "left\thas n1 n2\n");
    EXPECT_EQ(r.problems.Total(), 0);
}

// ---- notes and ruby ------------------------------------------------------------

TEST_F(TextContent, FootnotesFollowTheirStoryAndEndnotesTheLastStory) {
    DocumentBuilder b;
    StoryBuilder& first = b.AddStory();
    first.Text("Body").Footnote("Note one.").Text(" text").Footnote("Note two.").EndPara();
    first.Text("Closing").Footnote("The end.", true).EndPara();
    StoryBuilder& second = b.AddStory();
    TextBuilder& note = second.Text("Other").AddFootnote();
    note.Para("Two paragraphs,").Text("the second one");
    second.EndPara();
    Result r = Convert(b, Plain());
    EXPECT_EQ(r.bytes, "Body[1] text[2]\nClosing[3]\n\n[1] Note one.\n[2] Note two.\n"
                       "\nOther[4]\n\n[4] Two paragraphs,\nthe second one\n"
                       "\n[3] The end.\n");
}

TEST_F(TextContent, RubyReadingsFollowTheirBaseInParenthesesOrAreLeftOut) {
    DocumentBuilder b;
    RunStyle ja = RunStyle::Script(WSE::kJapaneseScript);
    StoryBuilder& story = b.AddStory();
    story.Text("これは", ja).Ruby("漢字", "かんじ", ja).Text("です。", ja).EndPara();
    story.Ruby("Tokyo", "to-kyo").Text(" and ").Kenten("強調", KKE::kSesameDot, ja);
    story.Text("、").Warichu("割注", ja).Tcy("12", ja).EndPara();
    EXPECT_EQ(Write(b), "これは漢字（かんじ）です。\nTokyo(to-kyo) and 強調、割注12\n");
    EXPECT_EQ(Write(b, [](auto& o) { o.rubyReadings = false; }),
              "これは漢字です。\nTokyo and 強調、割注12\n");
}

// ---- style tags ------------------------------------------------------------------

TEST_F(TextContent, StyleTagsNameEachParagraphsStyleThroughTheTemplate) {
    DocumentBuilder b;
    unsigned normal = b.AddParagraphStyle("Normal");
    unsigned heading = b.AddParagraphStyle("Heading", normal);
    unsigned body = b.AddParagraphStyle("本文", normal);
    StoryBuilder& story = b.AddStory();
    story.Para("Title", heading).Para("Text", body).Para("", body).Para("No style");
    story.AddTable(1, 1).Cell(0, 0, "cell");
    story.EndPara(body);
    EXPECT_EQ(Write(b), "Title\nText\n\nNo style\ncell\n");
    EXPECT_EQ(Write(b, [](auto& o) { o.markStyles = true; }),
              "[Heading] Title\n[本文] Text\n[本文] \n[Normal] No style\ncell\n")
        << "a paragraph without a style gets the default style's; one holding only a table none";
    EXPECT_EQ(
        Write(b, [](auto& o) { o.markStyles = true, SetText(o.styleTemplate, "<%s|100%%>"); }),
        "<Heading|100%>Title\n<本文|100%>Text\n<本文|100%>\n<Normal|100%>No style\ncell\n");
}

// ---- breaks --------------------------------------------------------------------

using Breaks = TextWriterTest;

TEST_F(Breaks, BreaksEndTheLineAndMarkedOnesAndNewPagesGetTheBreakText) {
    // Story A on page 1, B on page 2 with a frame break, C on page 2 too.
    DocumentBuilder b;
    unsigned spread = b.AddSpread();
    unsigned page1 = b.AddPage(spread);
    unsigned page2 = b.AddPage(spread);
    StoryBuilder& a = b.AddStory();
    a.Para("A");
    b.AddTextFrame(page1, a.Id(), OBRect(0, 0, 100, 100));
    StoryBuilder& story = b.AddStory();
    story.Text("Column one\fColumn two").EndPara().Text("\fafter a break at the start").EndPara();
    b.AddTextFrame(page2, story.Id(), OBRect(0, 0, 100, 100));
    StoryBuilder& c = b.AddStory();
    c.Para("C");
    b.AddTextFrame(page2, c.Id(), OBRect(0, 100, 100, 200));
    EXPECT_EQ(Write(b), "A\n\nColumn one\nColumn two\nafter a break at the start\n\nC\n");
    EXPECT_EQ(Write(b, [](auto& o) { o.markBreaks = true; }),
              "A\n\f\nColumn one\n\f\nColumn two\n\f\nafter a break at the start\n\nC\n")
        << "the default break text is a form feed";
    EXPECT_EQ(Write(b, [](auto& o) { o.markBreaks = true, SetText(o.breakText, "--- break ---"); })
                  .substr(0, 30),
              "A\n--- break ---\nColumn one\n---");
}

// ---- hidden content ----------------------------------------------------------------

using HiddenContent = TextWriterTest;

TEST_F(HiddenContent, MasterPagesAndHiddenLayersAreLeftOutUnlessIncluded) {
    DocumentBuilder b;
    unsigned visible = b.AddLayer("Text");
    unsigned hidden = b.AddLayer("Hidden", false);
    unsigned masters = b.AddMasterSpread("M");
    unsigned master = b.AddMasterPage(masters, "A");
    unsigned spread = b.AddSpread();
    unsigned page = b.AddPage(spread, master);
    auto story = [&](const char* text) -> unsigned {
        StoryBuilder& s = b.AddStory();
        s.Para(text);
        return s.Id();
    };
    b.AddTextFrame(page, story("on a visible layer"), OBRect(), visible);
    b.AddTextFrame(page, story("on a hidden layer"), OBRect(), hidden);
    b.AddTextFrame(master, story("on the master page"), OBRect());
    b.AddTextFrame(page, story("in a hidden frame"), OBRect(), visible, false);
    unsigned group = b.AddGroup(page, hidden);
    b.AddTextFrame(group, story("in a group on a hidden layer"), OBRect());
    unsigned twice = story("hidden here, shown there");
    b.AddTextFrame(page, twice, OBRect(), hidden);
    b.AddTextFrame(page, twice, OBRect(), visible);
    b.AddTextFrame(spread, story("on the pasteboard"), OBRect());
    story("in no frame");
    Result r = Convert(b, Plain());
    EXPECT_EQ(r.bytes, "on a visible layer\n\nhidden here, shown there\n\non the pasteboard\n"
                       "\nin no frame\n");
    EXPECT_EQ(r.leftOut, 4);
    EXPECT_EQ(r.problems.Total(), 0) << "leaving hidden content out is no problem";

    r = Convert(b, Plain([](auto& o) { o.includeHidden = true; }));
    EXPECT_EQ(r.bytes, "on a visible layer\n\non a hidden layer\n\non the master page\n"
                       "\nin a hidden frame\n\nin a group on a hidden layer\n"
                       "\nhidden here, shown there\n\non the pasteboard\n\nin no frame\n");
    EXPECT_EQ(r.leftOut, 0);
}

// ---- wrapping ---------------------------------------------------------------------

class Wrapping : public TextWriterTest {
protected:
    std::string Wrap(const std::string& text, int column, RunStyle style = RunStyle()) {
        DocumentBuilder b;
        b.AddStory().Text(text, style).EndPara();
        return Write(b, [column](auto& o) { o.wrapColumn = column; });
    }
};

TEST_F(Wrapping, LatinTextBreaksAtSpacesHyphensAndSoftHyphens) {
    EXPECT_EQ(Wrap("The quick brown fox jumps over the lazy dog.", 20),
              "The quick brown fox\njumps over the lazy\ndog.\n");
    EXPECT_EQ(Wrap("The quick brown fox jumps over the lazy dog.", 0),
              "The quick brown fox jumps over the lazy dog.\n");
    EXPECT_EQ(Wrap("well-known", 7), "well-\nknown\n");
    EXPECT_EQ(Wrap("2-known", 5), "2-kno\nwn\n") << "a hyphen breaks between letters only";
    EXPECT_EQ(Wrap("extra\u00ADordinary", 8), "extra-\nordinary\n");
    EXPECT_EQ(Wrap("abcdefghijkl", 5), "abcde\nfghij\nkl\n") << "a long word is cut";
    EXPECT_EQ(Wrap("fits   exactly  ", 14), "fits   exactly\n") << "spaces hang at the end";
    EXPECT_EQ(Wrap("a\tb c", 9), "a\tb\nc\n") << "a tab runs to the next multiple of 8";
    EXPECT_EQ(Wrap("price 1,000,000 yen", 10), "price\n1,000,000\nyen\n");
}

TEST_F(Wrapping, JapaneseTextBreaksBetweenCharactersUnderTheKinsokuRules) {
    RunStyle ja = RunStyle::Script(WSE::kJapaneseScript);
    // Full-width characters take two columns; 。 must not start a line, so
    // お goes along with it.
    EXPECT_EQ(Wrap("あいうえお。かきくけこ", 10, ja), "あいうえ\nお。かきく\nけこ\n");
    // 「 must not end a line.
    EXPECT_EQ(Wrap("あいう「えお」かき", 8, ja), "あいう\n「えお」\nかき\n");
    // Small kana and the prolonged sound mark stay with what they follow.
    EXPECT_EQ(Wrap("ちょっとコーヒー", 6, ja), "ちょっ\nとコー\nヒー\n");
    // Latin words inside Japanese text break only at their edges.
    EXPECT_EQ(Wrap("日本語とEnglishの文", 12, ja), "日本語と\nEnglishの文\n");
    // A supplementary ideograph (two units) is never split and takes two columns.
    EXPECT_EQ(Wrap("\xF0\xA0\x80\x8B\xF0\xA0\x80\x8B\xF0\xA0\x80\x8B", 4, ja),
              "\xF0\xA0\x80\x8B\xF0\xA0\x80\x8B\n\xF0\xA0\x80\x8B\n");
}

TEST_F(Wrapping, RubyReadingsStyleTagsAndNotesAreWrappedWithTheirText) {
    DocumentBuilder b;
    RunStyle ja = RunStyle::Script(WSE::kJapaneseScript);
    unsigned body = b.AddParagraphStyle("Body");
    b.AddStory().Text("あああ", ja).Ruby("漢字", "かんじ", ja).Text("です", ja).EndPara(body);
    b.AddStory().Text("one two three").Footnote("a note that wraps too").EndPara(body);
    // The base goes whole with its reading; one too long for the line is
    // cut where kinsoku allows, never before ）.
    EXPECT_EQ(Write(b, [](auto& o) { o.wrapColumn = 12; }),
              "あああ\n漢字（かん\nじ）です\n\none two\nthree[1]\n\n[1] a note\nthat wraps\ntoo\n");
    EXPECT_EQ(Write(b, [](auto& o) { o.wrapColumn = 16; }).substr(0, 35),
              "あああ\n漢字（かんじ）で\n");
    std::string marked = Write(b, [](auto& o) { o.wrapColumn = 12, o.markStyles = true; });
    EXPECT_EQ(marked.substr(marked.find("\n\n") + 2),
              "[Body] one\ntwo three[1]\n\n[1] [Body] a\nnote that\nwraps too\n");
}

// ---- the geometry report --------------------------------------------------------------

using Geometry = TextWriterTest;

TEST_F(Geometry, ReportsPageSizeMarginsAndEachPageInTheChosenUnit) {
    DocumentBuilder b;
    unsigned spread = b.AddSpread();
    b.AddPage(spread);
    b.AddPage(spread, b.AddMasterPage(b.AddMasterSpread("M"), "A4", 595.276, 841.89));
    b.StartPage(5);
    b.Margins(72, 36, 54, 18);
    b.AddStory().Para("Text");
    auto Report = [&](UNITS::LINEAR::UnitEnum unit, bool report = true) {
        return Write(b, [&](auto& o) { o.reportGeometry = report, o.geometryUnit = unit; });
    };
    EXPECT_EQ(Report(UNITS::LINEAR::kInches),
              "Page size: 8.5 x 11 in\n"
              "Margins: top 1, bottom 0.5, left 0.75, right 0.25 in\n"
              "Page 5: 8.5 x 11 in\n"
              "Page 6: 8.268 x 11.693 in\n"
              "\nText\n");
    EXPECT_NE(Report(UNITS::LINEAR::kPoints).find("\nPage 6: 595.276 x 841.89 pt\n"),
              std::string::npos);
    EXPECT_NE(Report(UNITS::LINEAR::kTwips)
                  .find("\nMargins: top 1440, bottom 720, left 1080, right 360 twips\n"
                        "Page 5: 12240 x 15840 twips\nPage 6: 11905.52 x 16837.8 twips\n"),
              std::string::npos);
    EXPECT_EQ(Report(UNITS::LINEAR::kPoints, false), "Text\n");
}

} // namespace
