// How the 1.5 generation's story text reads, case by case. Each expectation
// is what Scribus 1.5.8 itself gave (getAllText) for the same StoryText,
// in the model's terms (see test_real_documents.cpp for the mapping).
#include "ScribusTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace scribus;
using scribus_test::CheckCoverage;
using scribus_test::ParseBytes;

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

std::u16string TextOf(const std::string& content) {
    ParseResult r = OneStory(content);
    if (r.document.stories.size() != 1) {
        ADD_FAILURE() << "no single story for " << content;
        return u"";
    }
    EXPECT_EQ("", CheckCoverage(r.document.stories[0])) << content;
    return r.document.stories[0].text;
}

TEST(ScribusStoryText15, SoftHyphensComeInPairsAndSingleOnesAreHyphenationPoints) {
    EXPECT_EQ(u"ab", TextOf(u8"<ITEXT CH=\"a\u00ADb\"/>"));
    EXPECT_EQ(u"a\u00ADb", TextOf(u8"<ITEXT CH=\"a\u00AD\u00ADb\"/>"));
    EXPECT_EQ(u"a\u00ADb", TextOf(u8"<ITEXT CH=\"a\u00AD\u00AD\u00ADb\"/>"));
    EXPECT_EQ(u"a\u00AD\u00ADb", TextOf(u8"<ITEXT CH=\"a\u00AD\u00AD\u00AD\u00ADb\"/>"));
    EXPECT_EQ(u"ab\u00ADc", TextOf(u8"<ITEXT CH=\"a\u00ADb\u00AD\u00ADc\"/>"));
    EXPECT_EQ(u"\u00ADb", TextOf(u8"<ITEXT CH=\"\u00AD\u00ADb\"/>"));
    EXPECT_EQ(u"a", TextOf(u8"<ITEXT CH=\"a\u00AD\"/>"));
    // A pair may span two texts, even of different formats, but nothing else.
    EXPECT_EQ(u"a\u00ADb",
              TextOf(u8"<ITEXT CH=\"a\u00AD\"/><ITEXT FONTSIZE=\"20\" CH=\"\u00ADb\"/>"));
    EXPECT_EQ(u"a\tb", TextOf(u8"<ITEXT CH=\"a\u00AD\"/><tab/><ITEXT CH=\"\u00ADb\"/>"));
    EXPECT_EQ(u"a\u2029b", TextOf(u8"<ITEXT CH=\"a\u00AD\"/><para/><ITEXT CH=\"\u00ADb\"/>"));
    // The element is nothing at all.
    EXPECT_EQ(u"ab", TextOf("<ITEXT CH=\"a\"/><shyphen/><shyphen/><ITEXT CH=\"b\"/>"));
}

TEST(ScribusStoryText15, UnicodeElementsCarryWhatXmlCannot) {
    // Surrogates one by one make a character outside the basic plane.
    EXPECT_EQ(u"a\U0001F600b",
              TextOf("<ITEXT CH=\"a\"/><ITEXT Unicode=\"55357\"/><ITEXT Unicode=\"56832\"/>"
                     "<ITEXT CH=\"b\"/>"));
    EXPECT_EQ(u"aAb",
              TextOf("<ITEXT CH=\"a\"/><ITEXT CH=\"ignored\" Unicode=\"65\"/><ITEXT CH=\"b\"/>"));
    EXPECT_EQ(u"a\u2029b", TextOf("<ITEXT CH=\"a\"/><ITEXT Unicode=\"13\"/><ITEXT CH=\"b\"/>"));
    EXPECT_EQ(u"a\tb", TextOf("<ITEXT CH=\"a\"/><ITEXT Unicode=\"9\"/><ITEXT CH=\"b\"/>"));
    // Control characters without a meaning show as blanks; an object mark
    // without its object is nothing.
    EXPECT_EQ(u"a b", TextOf("<ITEXT CH=\"a\"/><ITEXT Unicode=\"28\"/><ITEXT CH=\"b\"/>"));
    EXPECT_EQ(u"a b", TextOf("<ITEXT CH=\"a\"/><ITEXT Unicode=\"10\"/><ITEXT CH=\"b\"/>"));
    EXPECT_EQ(u"ab", TextOf("<ITEXT CH=\"a\"/><ITEXT Unicode=\"25\"/><ITEXT CH=\"b\"/>"));

    ParseResult page = OneStory("<ITEXT Unicode=\"30\"/><ITEXT Unicode=\"26\"/>");
    ASSERT_EQ(1u, page.document.stories.size());
    const Story& s = page.document.stories[0];
    EXPECT_EQ(u"\uFFFC\f", s.text);
    ASSERT_EQ(2u, s.markers.size());
    EXPECT_EQ(Marker::Kind::kPageNumber, s.markers[0].kind);
    EXPECT_EQ(Marker::Kind::kColumnBreak, s.markers[1].kind);
}

TEST(ScribusStoryText15, UnusableCodesAreSkippedWithAWarning) {
    for (const char* code : {"0", "-5", "", "0x41", "1114112"}) {
        ParseResult r = OneStory(std::string("<ITEXT CH=\"a\"/><ITEXT Unicode=\"") + code +
                                 "\"/><ITEXT CH=\"b\"/>");
        ASSERT_EQ(1u, r.document.stories.size()) << code;
        EXPECT_EQ(u"ab", r.document.stories[0].text) << code;
        EXPECT_EQ(1u, r.warnings.size()) << code;
    }
    // A surrogate without its partner is no character.
    ParseResult lone = OneStory("<ITEXT CH=\"a\"/><ITEXT Unicode=\"55357\"/><ITEXT CH=\"b\"/>");
    EXPECT_EQ(u"a\uFFFDb", lone.document.stories[0].text);
    EXPECT_EQ(1u, lone.warnings.size());
}

TEST(ScribusStoryText15, ParagraphSeparatorsInTextAreNotParagraphEnds) {
    ParseResult r = OneStory(u8"<ITEXT CH=\"a\u2029b&#x2028;c&#xA;d&#xD;e\"/>");
    ASSERT_EQ(1u, r.document.stories.size());
    const Story& s = r.document.stories[0];
    EXPECT_EQ(u"ab\u2028c\u2029d\u2029e", s.text);
    EXPECT_EQ(3u, s.paragraphs.size());
    EXPECT_EQ(1u, r.warnings.size());
}

TEST(ScribusStoryText15, VariablesAreThePageNumberOrElseThePageCount) {
    ParseResult r = OneStory("<var name=\"pgno\"/><var name=\"pgco\"/><var name=\"other\"/><var/>");
    ASSERT_EQ(1u, r.document.stories.size());
    const Story& s = r.document.stories[0];
    EXPECT_EQ(u"\uFFFC\uFFFC\uFFFC\uFFFC", s.text);
    ASSERT_EQ(4u, s.markers.size());
    EXPECT_EQ(Marker::Kind::kPageNumber, s.markers[0].kind);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(Marker::Kind::kPageCount, s.markers[i].kind) << i;
    EXPECT_TRUE(r.warnings.empty());
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

} // namespace
