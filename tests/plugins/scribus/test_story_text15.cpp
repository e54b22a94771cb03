// How the 1.5 generation's story text reads, case by case. Each expectation
// is what Scribus 1.5.8 itself gave (getAllText) for the same StoryText,
// in the model's terms (see test_real_documents.cpp for the mapping).
#include "ScribusTestSupport.h"

#include <ScribusInternal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace scribus;
using scribus_test::CheckCoverage;
using scribus_test::ParseBytes;
using scribus_test::Utf8;

/// A 1.5 document with one text frame whose StoryText holds `content`.
ParseResult OneStory(const std::string& content) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT "
        "ANZPAGES=\"1\">"
        "<PAGE PAGEXPOS=\"100\" PAGEYPOS=\"20\" PAGEWIDTH=\"595\" PAGEHEIGHT=\"842\" NUM=\"0\" "
        "NAM=\"\"/>"
        "<PAGEOBJECT XPOS=\"110\" YPOS=\"30\" OwnPage=\"0\" ItemID=\"2147483648123\" PTYPE=\"4\" "
        "WIDTH=\"100\" "
        "HEIGHT=\"100\" ANNAME=\"T\" NEXTITEM=\"-1\" BACKITEM=\"-1\"><StoryText><DefaultStyle/>" +
        content + "<trail/></StoryText></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>";
    return ParseBytes(xml);
}

// tests/data/scribus/story-text15.tsv: StoryTexts and what they read as.
TEST(ScribusStoryText15, EachStoryTextReadsAsScribusReadsIt) {
    std::istringstream table(scribus_test::Fixture("story-text15.tsv"));
    int checked = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string content, text, warnings, markers, kinds;
        std::getline(fields, content, '\t');
        std::getline(fields, text, '\t');
        std::getline(fields, warnings, '\t');
        std::getline(fields, markers, '\t');
        ParseResult r = OneStory(Utf8(scribus_test::Unescaped(content)));
        ASSERT_EQ(1u, r.document.stories.size()) << line;
        EXPECT_EQ(scribus_test::Unescaped(text), r.document.stories[0].text) << line;
        EXPECT_EQ("", CheckCoverage(r.document.stories[0])) << line;
        if (!warnings.empty()) {
            EXPECT_EQ(std::stoul(warnings), r.warnings.size()) << line;
        }
        for (const Marker& m : r.document.stories[0].markers)
            kinds += std::to_string(int(m.kind));
        EXPECT_EQ(markers, kinds) << line;
        ++checked;
    }
    EXPECT_EQ(checked, 29);
}

// The first difference between story s of a and story t of b (formats
// compared by value), or "".
std::string Difference(const Document& a, const Story& s, const Document& b, const Story& t) {
    if (s.text != t.text) return "text";
    if (s.markers.size() != t.markers.size()) return "markers";
    for (std::size_t i = 0; i < s.markers.size(); ++i)
        if (s.markers[i].position != t.markers[i].position ||
            s.markers[i].kind != t.markers[i].kind)
            return "marker " + std::to_string(i);
    if (s.runs.size() != t.runs.size()) return "runs";
    for (std::size_t i = 0; i < s.runs.size(); ++i) {
        const CharacterFormat &f = a.Format(s.runs[i]), &g = b.Format(t.runs[i]);
        if (s.runs[i].start != t.runs[i].start || s.runs[i].length != t.runs[i].length ||
            f.style != g.style || !detail::SameCharacter(f.local, g.local))
            return "run " + std::to_string(i);
    }
    if (s.paragraphs.size() != t.paragraphs.size()) return "paragraphs";
    for (std::size_t i = 0; i < s.paragraphs.size(); ++i) {
        const ParagraphFormat &f = a.Format(s.paragraphs[i]), &g = b.Format(t.paragraphs[i]);
        if (s.paragraphs[i].start != t.paragraphs[i].start ||
            s.paragraphs[i].length != t.paragraphs[i].length || f.style != g.style ||
            !detail::SameParagraph(f.local, g.local))
            return "paragraph " + std::to_string(i);
    }
    return "";
}

// A frame's or a cell's story reads as it does alone, whatever the frames
// and cells before it held: nothing of one story's reading is left for the
// next.
TEST(ScribusStoryText15, EachStoryReadsAsItDoesAlone) {
    std::vector<std::string> contents = {
        "<DefaultStyle ALIGN=\"2\" FONTSIZE=\"9\"/><ITEXT CH=\"a\"/><trail ALIGN=\"1\"/>",
        "<ITEXT FEATURES=\"inherit underline\" CH=\"b\"/><para PARENT=\"P\"/>",
        "<ITEXT FONTSIZE=\"14\" CPARENT=\"C\" CH=\"c\"/>",
        "<ITEXT CH=\"old\" CSIZE=\"12\" CAB=\"1\"/><ITEXT CH=\"a\\u00AD\"/>",
        "<ITEXT CH=\"\\u00ADb\"/><ITEXT FEATURES=\"inherit\" CH=\"d\"/>",
        "<ITEXT CH=\"a\"/><ITEXT Unicode=\"55357\"/><para ALIGN=\"3\"><Tabs Pos=\"9\"/></para>",
    };
    std::istringstream table(scribus_test::Fixture("story-text15.tsv"));
    for (std::string line; std::getline(table, line);)
        if (!line.empty() && line[0] != '#') contents.push_back(line.substr(0, line.find('\t')));
    auto document = [](const std::vector<std::string>& texts, bool cells) {
        std::string xml =
            "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\"><PAGE NUM=\"0\"/>";
        if (cells)
            xml += "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"16\"><TableData Rows=\"1\" Columns=\"" +
                   std::to_string(texts.size()) + "\">";
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const std::string text =
                "<StoryText>" + Utf8(scribus_test::Unescaped(texts[i])) + "</StoryText>";
            xml += cells
                       ? "<Cell Row=\"0\" Column=\"" + std::to_string(i) + "\">" + text + "</Cell>"
                       : "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\" ItemID=\"" +
                             std::to_string(i + 10) + "\">" + text + "</PAGEOBJECT>";
        }
        return ParseBytes(xml + (cells ? "</TableData></PAGEOBJECT>" : "") +
                          "</DOCUMENT></SCRIBUSUTF8NEW>");
    };
    for (bool cells : {false, true}) {
        for (bool reversed : {false, true}) {
            std::vector<std::string> texts(contents);
            if (reversed) std::reverse(texts.begin(), texts.end());
            const ParseResult all = document(texts, cells);
            ASSERT_EQ(texts.size(), all.document.stories.size());
            for (std::size_t i = 0; i < texts.size(); ++i) {
                const ParseResult alone = document({texts[i]}, cells);
                ASSERT_EQ(1u, alone.document.stories.size());
                EXPECT_EQ("", Difference(all.document, all.document.stories[i], alone.document,
                                         alone.document.stories[0]))
                    << texts[i] << (cells ? " in a cell" : "");
                if (cells) continue;
                const ParagraphFormat &f = all.document.Defaults(all.document.items[i]),
                                      &g = alone.document.Defaults(alone.document.items[0]);
                EXPECT_TRUE(f.style == g.style && detail::SameParagraph(f.local, g.local))
                    << texts[i];
            }
        }
    }
}

TEST(ScribusStoryText15, ItemIdsUseTheWholeRange) {
    // Scribus derives ids from addresses; links between frames use them.
    std::string xml =
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\">"
        "<PAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" PAGEWIDTH=\"595\" PAGEHEIGHT=\"842\" NUM=\"0\"/>"
        "<PAGEOBJECT OwnPage=\"0\" ItemID=\"140737488355327\" PTYPE=\"4\" ANNAME=\"A\" "
        "NEXTITEM=\"-2147483649\" "
        "BACKITEM=\"-1\"><StoryText><ITEXT CH=\"one \"/><trail/></StoryText></PAGEOBJECT>"
        "<PAGEOBJECT OwnPage=\"0\" ItemID=\"-2147483649\" PTYPE=\"4\" ANNAME=\"B\" NEXTITEM=\"-1\" "
        "BACKITEM=\"140737488355327\"/></DOCUMENT></SCRIBUSUTF8NEW>";
    ParseResult r = ParseBytes(xml);
    EXPECT_TRUE(r.warnings.empty());
    ASSERT_EQ(1u, r.document.stories.size());
    EXPECT_EQ(std::vector<int>({0, 1}), r.document.stories[0].frames);
}

TEST(ScribusStoryText15, AnIdHeldTwiceLinksToItsFirstItem) {
    std::string frame = "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\" ";
    std::string xml =
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\"><PAGE NUM=\"0\"/>" + frame +
        "ItemID=\"7\" ANNAME=\"B\" BACKITEM=\"9\"/>" + frame +
        "ItemID=\"9\" ANNAME=\"A\" NEXTITEM=\"7\"><StoryText><ITEXT CH=\"one\"/>"
        "</StoryText></PAGEOBJECT>" +
        frame + "ItemID=\"7\" ANNAME=\"C\"/></DOCUMENT></SCRIBUSUTF8NEW>";
    ParseResult r = ParseBytes(xml);
    ASSERT_EQ(2u, r.document.stories.size());
    EXPECT_EQ(std::vector<int>({1, 0}), r.document.stories[0].frames); // A, then the first B
    EXPECT_EQ(std::vector<int>({2}), r.document.stories[1].frames);
}

} // namespace
