// The HTML, pandoc and text writers on the walker: one table of features
// and what each writer makes of them, the expected files of the features
// document, random documents, settings, and memory running out.
#include "HtmlConversion.h"
#include "JsonText.h"
#include "PandocConversion.h"
#include "TextConversion.h"
#include "WriterTools.h"

#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/resources.h>
#include <ombra/typedstreams.h>
#include <ombra/valueutil.h>

#include "RandomDocument.h"
#include "plugins/PluginTestSupport.h"
#include "plugins/textwriter/TextWriterTestSupport.h"
#include "support/ConversionState.h"
#include "support/DocumentBuilder.h"
#include "support/MarkupChecks.h"
#include "support/TempFolder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace ombra_test;

struct Output {
    std::string bytes;
    OBWriterReport report;
    int problems = 0, outOfMemory = 0;
    bool failed = false;
};

template <class Conversion, class Options>
Output Through(const std::vector<Element*>& elements, const Options& options) {
    textwriter_test::CaptureOutput capture;
    Output out;
    Conversion conversion(capture.Stream(), options);
    for (Element* e : elements)
        conversion.PutElement(e);
    conversion.PutElement(nullptr);
    out.bytes = capture.Data();
    out.report = conversion.GetReport();
    out.problems = conversion.GetProblems().Total();
    out.outOfMemory = conversion.GetProblems().Count(OBERR::kOutOfMemory);
    out.failed = conversion.HasWriteFailed();
    return out;
}

// The thread's conversion state and the core's text service.
using Writers = textwriter_test::TextWriterTest;

// ---- one table of features ------------------------------------------------------------------

struct Feature {
    const char* name;
    std::function<void(DocumentBuilder&)> build;
    std::vector<const char*> html;   // what the HTML holds
    std::vector<const char*> pandoc; // what the pandoc JSON holds
    const char* text;                // what the text writer's UTF-8 holds, when checked
    OBREPORT::KindEnum kind = OBREPORT::kStoriesLeftOut; // what the HTML writer reports
    long long count = 0;                                 // and how often
    long long pandocCount = -1;                          // and the pandoc writer, when checked
};

Value* Language(DLE::DictionaryLanguageEnum member) {
    Value* v = nullptr;
    ValueUtil::CreateValueDictionaryLanguageEnum(member, v);
    return v;
}

RunStyle Ja() {
    return RunStyle::Script(WSE::kJapaneseScript);
}

// What the features document and its expected files below leave open.
const std::vector<Feature>& Features() {
    static const std::vector<Feature> features = {
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
         "ab\n"},
        {"languages: the document's from most of its text, a run's where it differs",
         [](DocumentBuilder& b) {
             unsigned normal = b.AddParagraphStyle("Normal");
             b.CharacterFormat(normal).Set(AN::kDictionaryLanguage, Language(DLE::kGermanSwiss));
             unsigned french = b.AddCharacterStyle("French");
             b.CharacterFormat(french).Set(AN::kDictionaryLanguage, Language(DLE::kFrench));
             b.AddStory().Text("a").Text("bcd", RunStyle::Style(french)).EndPara(normal);
         },
         {"<html lang=\"fr\">", "lang=\"de-CH\">a<span lang=\"fr\">bcd</span></p>"},
         {"\"lang\":{\"t\":\"MetaString\",\"c\":\"fr\"}", "[\"lang\",\"fr\"]"},
         "abcd\n"},
        {"document facts of spaces and separators alone are left out",
         [](DocumentBuilder& b) {
             b.MetaData("  ", " , ;");
             b.AddStory().Text("x");
         },
         {},
         {"\"meta\":{}"},
         "x\n"},
        {"a note's own number and a style that sets nothing",
         [](DocumentBuilder& b) {
             unsigned none = b.AddCharacterStyle("[None]");
             StoryBuilder& s = b.AddStory();
             s.Text("a", RunStyle::Style(none));
             s.AddFootnote().Variable("1").Text(" fn");
         },
         {"<p>a<a class=\"noteref\"", "role=\"doc-backlink\">1</a>  fn</p>"},
         {"{\"t\":\"Note\",\"c\":[{\"t\":\"Para\",\"c\":[{\"t\":\"Space\"},{\"t\":\"Str\",\"c\":"
          "\"fn\"}",
          "{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"a\"}"},
         "a[1]\n\n[1] 1 fn\n"},
        {"a style based on one that sets nothing, and setting nothing itself, is not named",
         [](DocumentBuilder& b) {
             unsigned none = b.AddCharacterStyle("[None]");
             unsigned tag = b.AddCharacterStyle("Tag", none);
             unsigned emphasis = b.AddCharacterStyle("Emphasis", none);
             b.CharacterFormat(emphasis).SetBool(AN::kItalics, true);
             b.AddStory().Text("a", RunStyle::Style(tag)).Text("b", RunStyle::Style(emphasis));
         },
         {"<p>a<span class=\"c-Emphasis\">b</span></p>"},
         {"{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"a\"},", "\"custom-style\",\"Emphasis\""},
         "ab\n"},
        {"a tab that indents a paragraph, which pandoc's markdown would make code",
         [](DocumentBuilder& b) { b.AddStory().Text("\tx\ty", RunStyle().Italic()); },
         {},
         {"{\"t\":\"Para\",\"c\":[{\"t\":\"Emph\",\"c\":[{\"t\":\"Str\",\"c\":\"x\"},{\"t\":"
          "\"Str\","
          "\"c\":\"\\t\"},{\"t\":\"Str\",\"c\":\"y\"}]}]}"},
         "\tx\ty\n"},
        {"a title from the first text: a break is a space, the spaces around it go",
         [](DocumentBuilder& b) { b.AddStory().Text(" Cahier\nsp\u00e9cial\tA ").Text("x"); },
         {"<title>Cahier sp\u00e9cial A x</title>"},
         {},
         " Cahier\nsp\u00e9cial\tA x\n"},
        {"a list paragraph's marker comes first, its separator after it",
         [](DocumentBuilder& b) {
             b.AddStory().Marker("1.\t").Text("a").EndPara().Marker("\u2022 ").Text("b");
         },
         {"<p><span class=\"list-marker\">1.</span>\ta</p>",
          "<p><span class=\"list-marker\">\u2022</span> b</p>"},
         {"[{\"t\":\"Str\",\"c\":\"1.\"},{\"t\":\"Space\"},{\"t\":\"Str\",\"c\":\"a\"}]"},
         "1.\ta\n\u2022 b\n"},
        {"lists: bullets, numbers with a deeper level inside an item, a restart, then none",
         [](DocumentBuilder& b) {
             StoryBuilder& s = b.AddStory();
             const std::tuple<const char*, int, int, const char*> paragraphs[] = {
                 {"\u2022\t", PNSE::kBullet, 1, "a"},
                 {"1.\t", PNSE::kArabic, 1, "b"},
                 {"1.a)\t", PNSE::kLowerAlpha, 2, "c"},
                 {"2.\t", PNSE::kArabic, 1, "d"},
                 {"(iv)\t", PNSE::kLowerRoman, 1, "e"}};
             for (const auto& [marker, kind, level, text] : paragraphs)
                 s.Marker(marker, kind, level).Text(text).EndPara();
             s.Text("f");
         },
         {".list { list-style: none;",
          "<ul class=\"list\">\n<li><p><span class=\"list-marker\">\u2022</span>\ta</p>\n</li>\n"
          "</ul>\n<ol class=\"list\">\n<li><p><span class=\"list-marker\">1.</span>\tb</p>\n"
          "<ol class=\"list\" type=\"a\">\n<li><p><span class=\"list-marker\">1.a)</span>\tc</p>\n"
          "</li>\n</ol>\n</li>\n<li><p><span class=\"list-marker\">2.</span>\td</p>\n</li>\n</ol>\n"
          "<ol class=\"list\" start=\"4\" type=\"i\">\n<li>",
          "\te</p>\n</li>\n</ol>\n<p>f</p>"},
         {"{\"t\":\"BulletList\",\"c\":[[{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"a\"}]}]]},"
          "{\"t\":\"OrderedList\",\"c\":[[1,{\"t\":\"Decimal\"},{\"t\":\"Period\"}],[[{\"t\":"
          "\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"b\"}]},{\"t\":\"OrderedList\",\"c\":[[1,{\"t\":"
          "\"LowerAlpha\"},{\"t\":\"OneParen\"}],[[{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":"
          "\"c\"}]}]]]}],[{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"d\"}]}]]]},{\"t\":"
          "\"OrderedList\",\"c\":[[4,{\"t\":\"LowerRoman\"},{\"t\":\"TwoParens\"}],[[{\"t\":"
          "\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"e\"}]}]]]},{\"t\":\"Para\",\"c\":[{\"t\":"
          "\"Str\",\"c\":\"f\"}]}"},
         "\u2022\ta\n1.\tb\n1.a)\tc\n2.\td\n(iv)\te\nf\n",
         OBREPORT::kListMarkersAsFormats,
         0,
         5},
        {"lists in kanji and katakana, and \"Step 3:\": HTML reads their numbers back, pandoc,"
         " which cannot number them so, keeps the markers in the text",
         [](DocumentBuilder& b) {
             StoryBuilder& s = b.AddStory();
             const std::tuple<const char*, int, int, const char*> paragraphs[] = {
                 {"\u5341\u4E5D\u3001", PNSE::kKanji, 1, "a"}, // 十九、
                 {"(\u30A2)", PNSE::kKatakana, 2, "b"},        // (ア)
                 {"(\u30A4)", PNSE::kKatakana, 2, "c"},        // (イ)
                 {"\u4E8C\u5341\u3001", PNSE::kKanji, 1, "d"}, // 二十、
                 {"Step 3:\t", PNSE::kArabic, 1, "e"}};
             for (const auto& [marker, kind, level, text] : paragraphs)
                 s.Marker(marker, kind, level).Text(text).EndPara();
         },
         {"<ol class=\"list\" start=\"19\">\n<li><p><span class=\"list-marker\">\u5341\u4E5D"
          "\u3001</span>a</p>\n<ol class=\"list\">\n<li>",
          "c</p>\n</li>\n</ol>\n</li>\n<li><p><span class=\"list-marker\">\u4E8C\u5341",
          "</ol>\n<ol class=\"list\" start=\"3\">\n<li><p><span class=\"list-marker\">Step 3:"},
         {"[{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"\u5341\u4E5D\u3001\"},{\"t\":"
          "\"Str\",\"c\":\"a\"}]},{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"(\u30A2)\"},",
          "{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"Step\"},{\"t\":\"Space\"},{\"t\":"
          "\"Str\",\"c\":\"3:\"},{\"t\":\"Space\"},{\"t\":\"Str\",\"c\":\"e\"}]}]]}"},
         nullptr,
         OBREPORT::kListMarkersAsFormats,
         0,
         0},
        {"a long title is cut after a word",
         [](DocumentBuilder& b) {
             b.AddStory().Text(std::string(90, 'a') + " \u00e9\u00e9\u00e9\u00e9 " +
                               std::string(30, 'b'));
         },
         {"<title>aaaaaaaaaa", "a \u00e9\u00e9\u00e9\u00e9\u2026</title>"},
         {},
         nullptr},
        {"a story without text gives no section; the others keep their order",
         [](DocumentBuilder& b) {
             b.AddStory().Text("x");
             b.AddStory();
             b.AddStory().Text("y");
         },
         {"id=\"story-1\">\n<p>x</p>\n</section>\n<section class=\"story\" id=\"story-2\">\n<p>y"},
         {"\"story-1\",[\"story\"],[]],[{\"t\":\"Para\",\"c\":[{\"t\":\"Str\",\"c\":\"x\"}]}]]},"
          "{\"t\":\"Div\",\"c\":[[\"story-2\",[\"story\"],[]],[{\"t\":\"Para\",\"c\":[{\"t\":"
          "\"Str\",\"c\":\"y\"}"},
         "x\n\n\ny\n"},
        {"runs that differ in what pandoc leaves out share its inlines",
         [](DocumentBuilder& b) {
             b.AddStory()
                 .Text("Eug", RunStyle().Italic().Font("A"))
                 .Text("\u00e8", RunStyle().Italic().Font("B"))
                 .Text("ne", RunStyle().Italic().Bold())
                 .Text("!", RunStyle().Bold());
         },
         {},
         {"{\"t\":\"Emph\",\"c\":[{\"t\":\"Str\",\"c\":\"Eug\"},{\"t\":\"Str\",\"c\":\"\u00e8\"}]},"
          "{\"t\":\"Strong\",\"c\":[{\"t\":\"Emph\",\"c\":[{\"t\":\"Str\",\"c\":\"ne\"}]},{\"t\":"
          "\"Str\",\"c\":\"!\"}]}"},
         "Eug\u00e8ne!\n"},
        {"neighbouring runs that look alike in HTML share its markup",
         [](DocumentBuilder& b) {
             b.AddStory()
                 .Text("Eug", RunStyle().Italic())
                 .Text("\u00e8", RunStyle().Italic())
                 .Text("ne", RunStyle().Italic().Bold())
                 .Text("!", RunStyle().Bold());
         },
         {"<p><em>Eug\u00e8</em><strong><em>ne</em></strong><strong>!</strong></p>"},
         {},
         "Eug\u00e8ne!\n"},
        {"a document of mostly vertical text is vertical and turns its pages right to left",
         [](DocumentBuilder& b) {
             b.AddStory().Vertical().Text("\u7e26\u66f8\u304d");
             b.AddStory().Text("ab");
         },
         {" style=\"writing-mode: vertical-rl\">\n<head>",
          "id=\"story-2\" style=\"writing-mode: horizontal-tb\">"},
         {"\"page-progression-direction\":{\"t\":\"MetaString\",\"c\":\"rtl\"}"},
         nullptr},
        {"a link that would run a script is left out, its text kept",
         [](DocumentBuilder& b) {
             b.AddStory()
                 .Link("a", " JaVa\tScript:alert(1)")
                 .Link("b", "data:text/html,x")
                 .Link("c", "https://example.com/?javascript:");
         },
         {"<p>ab<a href=\"https://example.com/?javascript:\">c</a></p>"},
         {"[{\"t\":\"Span\",\"c\":[[\"\",[],[]],[{\"t\":\"Str\",\"c\":\"a\"}]]},{\"t\":"
          "\"Span\"",
          "\"https://example.com/?javascript:\""},
         "abc\n",
         OBREPORT::kScriptLinksLeftOut,
         2},
        {"kenten, tate-chu-yoko and warichu",
         [](DocumentBuilder& b) {
             b.AddStory()
                 .Kenten("圏", KKE::kWhiteTriangle, Ja(), 0, true)
                 .Kenten("星", KKE::kCustom, Ja(), 0x2605)
                 .Kenten("引", KKE::kCustom, Ja(), '"')
                 .Kenten("斜", KKE::kCustom, Ja(), '\\')
                 .Tcy("12", Ja())
                 .Warichu("割注五字", Ja());
         },
         {"text-emphasis: open triangle; text-emphasis-position: under left",
          "text-emphasis: &quot;★&quot;", R"(text-emphasis: &quot;\&quot;&quot;)",
          R"(text-emphasis: &quot;\\&quot;)",
          "<span class=\"tcy\" style=\"text-combine-upright: all\">12",
          "<span class=\"warichu-line\">割注</span><span class=\"warichu-line\">五字</span>"},
         {"[\"style\",\"text-emphasis: open triangle;", "\"tcy\"", R"(text-emphasis: \"\\\"\")",
          "[{\"t\":\"Str\",\"c\":\"（\"},{\"t\":\"Str\",\"c\":\"割注五字\"}"},
         "圏星引斜12割注五字\n",
         OBREPORT::kKentenLeftOut,
         0},
        {"a ruby's base and a tate-chu-yoko are never cut: links, kenten and warichu lines "
         "split around them",
         [](DocumentBuilder& b) {
             StoryBuilder& s = b.AddStory();
             s.Link("前", "https://example.org/", Ja()).Over(1).Ruby("漢字", "かんじ", Ja(), true);
             s.Kenten("傍", KKE::kSesameDot, Ja()).Over(1).Ruby("点付", "ぼうてん", Ja());
             s.Warichu("割注", Ja()).Over(4).Ruby("注記", "るび", Ja()).Text("の文", Ja());
             s.Warichu("縦の割注", Ja()).Over(3).Tcy("ABC", Ja());
             s.Warichu("割注", Ja()).Over(3).Tcy("123", Ja());
         },
         {R"(<a href="https://example.org/">前</a><ruby style="ruby-position: under"><a href)",
          R"(">傍</span><ruby><span class="kenten")", R"(">点</span>付<rp>(</rp><rt>ぼうてん)",
          R"(割注<ruby>注記<rp>(</rp><rt>るび</rt><rp>)</rp></ruby></span><span class="warichu-line">の文)",
          R"(縦の割注</span><span class="warichu-line"><span class="tcy" style="text-combine-upright: all">ABC)",
          R"(>割注</span><span class="warichu-line"><span class="tcy" style="text-combine-upright: all">123</span></span></span>)"},
         {R"(["html","<ruby style=\"ruby-position: under\">"]},{"t":"Link","c":[["",[],[]],[{"t":"Str","c":"漢"}])",
          R"("傍"}]]},{"t":"Span","c":[["",["ruby"],[]],[{"t":"RawInline","c":["html","<ruby>"]},{"t":"Span")",
          R"("縦の割注"},{"t":"Span","c":[["",["tcy"])"},
         "前漢字（かんじ）傍点付（ぼうてん）割注注記（るび）の文縦の割注ABC割注123\n"},
        {"tate-chu-yoko across a style change: flat text in the first run's markup, reported",
         [](DocumentBuilder& b) {
             StoryBuilder& s = b.AddStory();
             s.Tcy("1", Ja()).Over(1).Text("0", Ja().Bold()).Tcy("3", Ja().Bold()).Over(1);
             s.Text("4", Ja()).Text("月", Ja()).Tcy("5", Ja()).Over(1).Text("6", Ja());
         },
         {R"(<span class="tcy" style="text-combine-upright: all">10</span><strong><span )"
          R"(class="tcy" style="text-combine-upright: all">34</span></strong>月)"},
         {R"(["tcy"],[["style","text-combine-upright: all"]]],[{"t":"Str","c":"1"},{"t":"Str","c":"0"}]]},{"t":"Strong","c":[{"t":"Span","c":[["",["tcy"])"},
         "1034月56\n",
         OBREPORT::kTcyFormattingLeftOut,
         2,
         2},
        {"a ruby cut by a paragraph end or a table: the last piece alone is ruby, with the reading",
         [](DocumentBuilder& b) {
             StoryBuilder& s = b.AddStory();
             s.Ruby("漢", "かんじ", Ja()).Over(2).EndPara().Text("字", Ja()).EndPara();
             s.Ruby("表", "ひょう", Ja()).Over(2).AddTable(1, 1).Cell(0, 0, "c");
             s.Text("組", Ja());
         },
         {"<p>漢</p>\n<p><ruby>字<rp>(</rp><rt>かんじ</rt><rp>)</rp></ruby></p>",
          "<p>表</p>\n<table>", "<ruby>組<rp>(</rp><rt>ひょう</rt><rp>)</rp></ruby></p>"},
         {R"({"t":"Para","c":[{"t":"Span","c":[["",[],[]],[{"t":"Str","c":"漢"}]]}]})",
          R"({"t":"Span","c":[["",["ruby"],[]],[{"t":"RawInline","c":["html","<ruby>"]},{"t":"Str","c":"字"},)"},
         "漢\n字（かんじ）\n表\nc\n組（ひょう）\n"},
        {"a per-character ruby cut by a crossing ruby: each piece carries its own characters' "
         "readings",
         [](DocumentBuilder& b) {
             b.AddStory()
                 .Ruby("漢字", "かんじ", Ja())
                 .Over(2)
                 .RubyPerCharacter("仮名文", "か な ぶん", Ja())
                 .Text("。", Ja());
         },
         {"<ruby>仮<rp>(</rp><rt>か</rt><rp>)</rp>名<rp>(</rp><rt>な</rt><rp>)</rp></ruby>",
          "<ruby>文<rp>(</rp><rt>ぶん</rt><rp>)</rp></ruby>。"},
         {R"({"t":"Str","c":"名"},{"t":"RawInline","c":["html","<rp>"]},{"t":"Str","c":"（"},)"
          R"({"t":"RawInline","c":["html","</rp><rt>"]},{"t":"Str","c":"な"})",
          R"({"t":"Str","c":"文"},{"t":"RawInline","c":["html","<rp>"]},{"t":"Str","c":"（"},)"
          R"({"t":"RawInline","c":["html","</rp><rt>"]},{"t":"Str","c":"ぶん"})"},
         "漢字仮名（かんじ）文（か な ぶん）。\n"},
        {"a span over a paragraph end alone is left out, one from a paragraph end begins after it",
         [](DocumentBuilder& b) {
             StoryBuilder& s = b.AddStory();
             s.Text("無", Ja()).Kenten("\u2029", KKE::kBlackCircle, Ja()).Text("次", Ja());
             s.Kenten("\u2029", KKE::kBlackCircle, Ja()).Over(1).Text("字", Ja());
         },
         {"<p>無</p>\n<p>次</p>\n<p><span class=\"kenten\""},
         {R"("無"}]},{"t":"Para","c":[{"t":"Str","c":"次"}]},{"t":"Para","c":[{"t":"Span","c":[["",["kenten"])"},
         "無\n次\n字\n"},
        {"pictures",
         [](DocumentBuilder& b) {
             unsigned page = b.AddPage(b.AddSpread());
             unsigned icon = b.AddPicture(page, OBRect(0, 0, 8, 8), "C:\\My Pictures\\i.png");
             b.AddPicture(page, OBRect(0, 0, 72, 9), "img/a b.jpg", "An \"a\"");
             b.AddPicture(page, OBRect(0, 0, 72, 9), "");
             b.AddPicture(page, OBRect(0, 0, 72, 9), "file:/Users/a/c.jpg");
             b.AddPicture(page, OBRect(0, 0, 72, 9), "file:../r%20s.jpg");
             StoryBuilder& s = b.AddStory();
             s.Text("x").Inline(icon);
             b.AddTextFrame(page, s.Id(), OBRect(0, 100, 9, 109));
         },
         {"<figure class=\"picture\"><img src=\"img/a%20b.jpg\" alt=\"An &quot;a&quot;\" "
          "style=\"width: 72pt\"></figure>",
          "x<img src=\"file:///C:/My%20Pictures/i.png\" alt=\"\" style=\"width: 8pt\">",
          "<img src=\"file:///Users/a/c.jpg\"", "<img src=\"../r%20s.jpg\""},
         {"[\"img/a%20b.jpg\",\"\"]", "\"c\":\"An\"},{\"t\":\"Space\"}",
          "[\"/Users/a/c.jpg\",\"\"]", "[\"file:///C:/My%20Pictures/i.png\",\"\"]",
          "[\"../r%20s.jpg\",\"\"]"},
         "x\n",
         OBREPORT::kPicturesWithoutLink,
         1},
    };
    return features;
}

TEST_F(Writers, EachFeatureReachesEachWriter) {
    for (const Feature& feature : Features()) {
        DocumentBuilder b;
        feature.build(b);
        const std::vector<Element*>& elements = b.Build();
        Output html = Through<OBHtmlConversion>(elements, OBHtmlOptions());
        for (const char* part : feature.html)
            EXPECT_NE(html.bytes.find(part), std::string::npos)
                << feature.name << ": " << part << "\n"
                << html.bytes;
        EXPECT_EQ(html.report.Count(feature.kind), feature.count) << feature.name;
        Output pandoc = Through<OBPandocConversion>(elements, OBPandocOptions());
        for (const char* part : feature.pandoc)
            EXPECT_NE(pandoc.bytes.find(part), std::string::npos)
                << feature.name << ": " << part << "\n"
                << pandoc.bytes;
        if (feature.pandocCount >= 0) {
            EXPECT_EQ(pandoc.report.Count(feature.kind), feature.pandocCount) << feature.name;
        }
        if (feature.text) {
            EXPECT_EQ(Through<OBTextConversion>(elements, Plain()).bytes, feature.text)
                << feature.name;
        }
        EXPECT_EQ(html.problems + pandoc.problems, 0) << feature.name;
    }
}

// ---- the features document against its expected files --------------------------------------

// The files of the text writer were written before the writer stood on the
// walker; OMBRA_UPDATE_EXPECTED=1 writes the HTML and pandoc ones anew.
TEST_F(Writers, TheFeaturesDocumentMatchesItsExpectedFiles) {
    DocumentBuilder b;
    ASSERT_TRUE(BuildTestDocument("features", b));
    const std::vector<Element*>& elements = b.Build();
    std::vector<std::pair<std::string, std::string>> outputs = {
        {"features.html", Through<OBHtmlConversion>(elements, OBHtmlOptions()).bytes},
        {"features.json", Through<OBPandocConversion>(elements, OBPandocOptions()).bytes}};
    OBTextWriterOptions info, utf16, all;
    info.encoding = OBTW::kUTF8, info.documentInfo = true;
    utf16.encoding = OBTW::kUTF16, utf16.platform = OBTW::kMac;
    all.encoding = OBTW::kUTF8, all.platform = OBTW::kUnix, all.markStyles = true;
    all.markBreaks = all.includeHidden = all.reportGeometry = true;
    all.wrapColumn = 40, all.geometryUnit = UNITS::LINEAR::kTwips;
    for (const auto& [file, options] : std::vector<std::pair<std::string, OBTextWriterOptions>>{
             {"features@default-pc.txt", OBTextWriterOptions()},
             {"features@info.txt", info},
             {"features@utf16-mac.txt", utf16},
             {"features@all.txt", all}})
        outputs.emplace_back(file, Through<OBTextConversion>(elements, options).bytes);
    bool update = std::getenv("OMBRA_UPDATE_EXPECTED") != nullptr;
    for (const auto& [file, bytes] : outputs) {
        std::string path = std::string(OMBRA_WRITERS_DATA_DIR) + "/" + file;
        if (update && (file.find(".txt") == std::string::npos || file == "features@info.txt"))
            std::ofstream(path, std::ios::binary) << bytes;
        EXPECT_TRUE(plugin_test::ReadFile(path) == bytes) << file << " differs:\n" << bytes;
    }
}

// ---- random documents, settings, memory -------------------------------------------------------

TEST_F(Writers, RandomDocumentsGiveWellFormedHtmlAndJson) {
    for (unsigned seed = 1; seed <= 80; ++seed) {
        DocumentBuilder b;
        writers_test::RandomDocument(seed).Build(b);
        const std::vector<Element*>& elements = b.Build();
        OBHtmlOptions html;
        html.includeHidden = seed % 2;
        html.pages = static_cast<OBHTML::PagesEnum>(seed % 3);
        EXPECT_TRUE(ombra_test::TagsNest(Through<OBHtmlConversion>(elements, html).bytes))
            << "seed " << seed;
        OBPandocOptions pandoc;
        pandoc.ruby = static_cast<OBPANDOC::RubyEnum>(seed % 3);
        EXPECT_TRUE(ombra_test::IsJson(Through<OBPandocConversion>(elements, pandoc).bytes))
            << "seed " << seed;
    }
}

// A list paragraph keeps its own marker and no other, whatever the
// stylesheet: the embedded one hides the lists' markers, else each list does.
TEST_F(Writers, ListsShowOneMarkerWhateverTheStylesheet) {
    DocumentBuilder b;
    b.AddStory().Marker("\u2022 ", PNSE::kBullet).Text("a");
    const std::vector<Element*>& elements = b.Build();
    for (OBHTML::StylesheetEnum mode :
         {OBHTML::kEmbedded, OBHTML::kLinked, OBHTML::kNoStylesheet}) {
        OBHtmlOptions html;
        html.stylesheet = mode;
        const std::string page = Through<OBHtmlConversion>(elements, html).bytes;
        const bool hidden =
            page.find(".list { list-style: none;") != std::string::npos ||
            page.find("<ul class=\"list\" style=\"list-style: none\">") != std::string::npos;
        EXPECT_TRUE(hidden) << mode << "\n" << page;
        EXPECT_NE(page.find("<span class=\"list-marker\">\u2022</span> a"), std::string::npos);
    }
}

// Long texts as pandoc inlines: each word a Str escaped as JSON escapes
// UTF-16, each run of spaces a Space, whatever the words hold and however
// long they are (also across the stretches the writer reserves room for).
TEST_F(Writers, PandocWordsAreStrsAndSpacesWhateverTheyHold) {
    const char16_t kUnits[] = {u'a', u'Z',   u'.',   u'~',   u'"',   u'\\', 0x7F, 0x01,
                               0xE9, 0x3042, 0xD83D, 0xDE00, 0xDC00, u'!',  u'x', u'9'};
    std::mt19937 random(5);
    for (int round = 0; round < 6; ++round) {
        std::u16string text;
        std::string inlines;
        while (text.size() < 3000) {
            if (!inlines.empty()) inlines += ',';
            if (!text.empty() && text.back() != u' ') {
                text.append(1 + random() % 3, u' ');
                inlines += "{\"t\":\"Space\"}";
                continue;
            }
            const bool plain = round % 2 == 0 || random() % 4 != 0;
            std::size_t length = random() % 9 == 0 ? 900 + random() % 1200 : 1 + random() % 12;
            std::u16string word;
            for (std::size_t k = 0; k < length; ++k)
                word += plain ? static_cast<char16_t>(u'!' + random() % 94) : kUnits[random() % 16];
            for (char16_t& u : word)
                if (plain && (u == u'"' || u == u'\\')) u = u'q';
            text += word;
            obwalk::Utf8Text json;
            objson::AppendJsonUtf16(json, reinterpret_cast<const unsigned short*>(word.data()),
                                    word.size());
            inlines += "{\"t\":\"Str\",\"c\":\"" + std::string(json.Data(), json.Size()) + "\"}";
        }
        DocumentBuilder b;
        b.AddStory().Units(text).EndPara();
        const std::string json = Through<OBPandocConversion>(b.Build(), OBPandocOptions()).bytes;
        EXPECT_NE(json.find("[" + inlines + "]"), std::string::npos) << "round " << round;
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

// Links as packaged documents hold them, made on another machine: those
// that lead nowhere are found in the document's Links folder or beside it;
// a relative one is read from the document's folder; what leads somewhere,
// what is no file, and what has no folder to look in stays as it is.
TEST(WriterPictures, LinksThatLeadNowhereAreFoundBesideTheDocument) {
    TempFolder work;
    ASSERT_TRUE(std::filesystem::create_directory(work / "Links"));
    work.Write("Links/a b.jpg", "a");
    const std::string beside = work.Write("beside.png", "b");
    const std::string inLinks = work / "Links/a b.jpg";
    const struct {
        std::string link, found;
    } kCases[] = {
        {"file:///Users/x/Links/a%20b.jpg", inLinks},
        {"file:/Users/x/a%20b.jpg", inLinks},
        {"file://server/share/a%20b.jpg", inLinks},
        {"C:\\Docs\\a b.jpg", inLinks},
        {"/Users/x/beside.png", beside},
        {beside, beside},
        {"file:/Users/x/missing.jpg", "file:/Users/x/missing.jpg"},
        {"Links/a b.jpg", inLinks},
        {"beside.png", beside},
        {"../../gone/beside.png", beside},
        {"file:beside.png", beside},
        {"file:../gone/a%20b.jpg", inLinks},
        {"gone.png", "gone.png"},
        {"HD:Pictures:a b.jpg", "HD:Pictures:a b.jpg"},
        {"http://example.com/a%20b.jpg", "http://example.com/a%20b.jpg"},
        {"/Users/x/..", "/Users/x/.."},
        {"file:/Users/x/a%20b.jpg%00.png", "file:/Users/x/a%20b.jpg%00.png"},
        {"/Users/x/", "/Users/x/"},
    };
    obwalk::Utf8Text folder;
    folder.Append(work.Path().c_str());
    for (const auto& c : kCases) {
        obwalk::Utf8Text link, found, kept;
        link.Append(c.link.c_str());
        obwalk::LocatePicture(link, folder, found);
        EXPECT_EQ(found.Data(), c.found) << c.link;
        obwalk::LocatePicture(link, obwalk::Utf8Text(), kept);
        EXPECT_EQ(kept.Data(), c.link);
    }
}

// CSS splits into the declarations it was joined from (quoted font names
// holding "; ", quotes or backslashes too), and repeats of those that lie
// under it go word for word.
TEST(HtmlCss, DeclarationsSplitAndRepeatsGoAsJoined) {
    const char* const kParts[] = {"color: #102030; ", "font-family: 'A; B'; ",
                                  "font-family: 'It\\'s; x'; ", "text-align: left;x; ",
                                  "font-size: 9pt"};
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> parts;
        obwalk::Utf8Text css, under;
        std::string expected;
        for (int n = random() % 6; n >= 0; --n) {
            parts.push_back(kParts[n ? random() % 4 : 4]);
            css.Append(parts.back().c_str());
            if (random() % 2) under.Append(parts.back().c_str());
        }
        OBHtmlStyles::Declarations split, below;
        split.Of(css), below.Of(under);
        ASSERT_EQ(split.count, static_cast<int>(parts.size())) << css.Data();
        for (int i = 0; i < split.count; ++i)
            EXPECT_EQ(std::string(split.part[i]), parts[i]) << css.Data();
        for (const std::string& part : parts)
            if (!below.Has(part)) expected += part;
        OBHtmlStyles::WithoutRepeats(css, below);
        EXPECT_EQ(std::string(css.Data(), static_cast<std::size_t>(css.Size())), expected);
    }
}

// The start tags open around each marker "[n]" of html's body, from its
// paragraph's on.
std::vector<std::string> TagsAround(const std::string& html, int markers) {
    std::vector<std::string> around(markers), open;
    for (size_t at = 0; at < html.size(); ++at) {
        size_t end = html.find(html[at] == '<' ? '>' : ']', at);
        if (html[at] == '<' && html[at + 1] == '/') {
            if (!open.empty()) open.pop_back();
        } else if (html[at] == '<' && html.compare(at, 3, "<br") != 0) {
            bool block = (html[at + 1] == 'p' && (html[at + 2] == ' ' || html[at + 2] == '>')) ||
                         (html[at + 1] == 'h' && isdigit(static_cast<unsigned char>(html[at + 2])));
            if (block) open.clear();
            open.push_back(html.substr(at, end - at + 1));
        } else if (html[at] == '[') { // in the body, after the title
            std::string& tags = around.at(std::stoi(html.substr(at + 1)));
            tags.clear();
            for (const std::string& tag : open)
                tags += tag;
        } else {
            continue;
        }
        at = end;
    }
    return around;
}

// What the HTML writer keeps of the formattings it met makes no difference:
// runs and paragraphs of a few styles, with and without formatting of their
// own, met in turns and again, each have the markup they have alone.
TEST_F(Writers, HtmlMarkupOfARunIsItsOwnWhateverCameBefore) {
    struct Ids {
        unsigned paragraph[3], emphasis, large, red;
    };
    auto styles = [](DocumentBuilder& b) {
        Ids ids{{b.AddParagraphStyle("P0"), b.AddParagraphStyle("P1"), b.AddParagraphStyle("H")},
                b.AddCharacterStyle("Em"),
                b.AddCharacterStyle("Large"),
                b.AddRgbColor("Red", 1, 0, 0)};
        b.CharacterFormat(ids.paragraph[0]).SetLength(AN::kFontSize, 10);
        b.CharacterFormat(ids.paragraph[1]).SetBool(AN::kBold, true);
        b.CharacterFormat(ids.paragraph[1]).SetUtf8(AN::kFont, "Serif");
        b.ParagraphFormat(ids.paragraph[2]).SetLength(AN::kSpaceBefore, 6);
        b.CharacterFormat(ids.emphasis).SetBool(AN::kItalics, true);
        b.CharacterFormat(ids.large).SetLength(AN::kFontSize, 14);
        return ids;
    };
    const std::function<RunStyle(const Ids&)> kFormats[] = {
        [](const Ids&) { return RunStyle(); },
        [](const Ids&) { return RunStyle().Bold(); },
        [](const Ids&) { return RunStyle().Italic().Size(9); },
        [](const Ids&) { return RunStyle().Size(10).Font("Serif"); },
        [](const Ids& i) { return RunStyle().Size(9).Color(i.red); },
        [](const Ids& i) { return RunStyle::Style(i.emphasis); },
        [](const Ids& i) { return RunStyle::Style(i.emphasis).Bold().Size(9); },
        [](const Ids& i) { return RunStyle::Style(i.emphasis).Italic(); },
        [](const Ids& i) { return RunStyle::Style(i.large).Size(14).Bold(false); },
        [](const Ids& i) { return RunStyle::Style(i.large).Font("Sans").Color(i.red); }};
    const int formats = static_cast<int>(std::size(kFormats));
    std::vector<std::string> alone(3 * formats);
    for (int k = 0; k < 3 * formats; ++k) {
        DocumentBuilder b;
        Ids ids = styles(b);
        b.AddStory().Para("[0]", ids.paragraph[k / formats], kFormats[k % formats](ids));
        alone[k] = TagsAround(Through<OBHtmlConversion>(b.Build(), OBHtmlOptions()).bytes, 1)[0];
    }
    std::mt19937 random(5);
    for (int round = 0; round < 20; ++round) {
        DocumentBuilder b;
        Ids ids = styles(b);
        TextBuilder& story = b.AddStory();
        std::vector<int> kinds;
        for (int n = 0; n < 30; ++n) {
            kinds.push_back(static_cast<int>(random() % formats));
            story.Text("[" + std::to_string(n) + "]", kFormats[kinds.back()](ids));
            if (random() % 3 == 0 || n == 29) {
                int paragraph = static_cast<int>(random() % 3);
                story.EndPara(ids.paragraph[paragraph]);
                for (size_t k = kinds.size(); k-- > 0 && kinds[k] < formats;)
                    kinds[k] += paragraph * formats + formats * 3;
            }
        }
        std::string html = Through<OBHtmlConversion>(b.Build(), OBHtmlOptions()).bytes;
        std::vector<std::string> around = TagsAround(html, 30);
        for (int n = 0; n < 30; ++n)
            EXPECT_EQ(around[n], alone[kinds[n] - 3 * formats]) << n << "\n" << html;
    }
}

// Allocations of a conversion fail from one on: the writers go on with
// what they have, and whatever output is lost is reported as memory running
// out, not as a failed write.
TEST_F(Writers, MemoryRunningOutAnywhereIsReportedNeverFatal) {
    DocumentBuilder b;
    ASSERT_TRUE(BuildTestDocument("features", b));
    const std::vector<Element*>& elements = b.Build();
    for (int writer = 0; writer < 3; ++writer) {
        auto run = [&]() {
            if (writer == 0) return Through<OBHtmlConversion>(elements, OBHtmlOptions());
            if (writer == 1) return Through<OBPandocConversion>(elements, OBPandocOptions());
            return Through<OBTextConversion>(elements, OBTextWriterOptions());
        };
        const std::string whole = run().bytes;
        EXPECT_GT(SweepAllocationFailures(
                      [&] {
                          Output out = run();
                          EXPECT_TRUE(out.bytes == whole || out.outOfMemory >= 1) << writer;
                          EXPECT_FALSE(out.failed) << writer;
                          return out.bytes == whole;
                      },
                      60),
                  0)
            << "writer " << writer;
    }
}

} // namespace
