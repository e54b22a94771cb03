// How the 1.5 generation's story text reads, case by case. Each expectation
// is what Scribus 1.5.8 itself gave (getAllText) for the same StoryText,
// in the model's terms (see test_real_documents.cpp for the mapping).
#include "ScribusTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

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
