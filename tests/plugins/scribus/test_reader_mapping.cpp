// What the reader yields for a small hand-made document that has one of
// everything (tests/data/scribus/reader-features.sla): the order and nesting
// of the Elements, their values and units, ids and references, story text
// and runs, and what each preference leaves out.
#include "ScribusTestSupport.h"

#include <FaceWords.h>

#include <ombra/storedelements.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>

namespace {

using namespace scribus_test;

TEST(ScribusReaderMapping, TopLevelElementsComeInTheConventionalOrderWithUniqueIdsAndReferences) {
    Conversion c(Fixture("reader-features.sla"));
    ASSERT_FALSE(c.top.empty());
    std::vector<EL::ElementTypeEnum> kinds;
    for (Element* e : c.top)
        kinds.push_back(e->GetElementType());
    std::vector<EL::ElementTypeEnum> expected = {
        EL::kPublication,        EL::kInkList,          EL::kColorList,
        EL::kFontList,           EL::kLayerList,        EL::kCharacterStyleList,
        EL::kParagraphStyleList, EL::kMasterSpreadList, EL::kRegularSpreadList,
        EL::kStoryList,          EL::kHyperlinkList,    EL::kTOCStyleList};
    EXPECT_EQ(kinds, expected);
    EXPECT_EQ(c.error, 0);
    EXPECT_EQ(CheckValueTypes(c.top), "");

    int references = 0;
    EXPECT_EQ(CheckReferences(c.top, &references), "");
    EXPECT_GT(references, 40);
    for (Element* story : Descendants(c.TopOf(EL::kStoryList), EL::kChildStory))
        EXPECT_EQ(CheckRuns(story), "");
}

// The values of every Element (units, colours, styles, pages, items, story
// texts and runs, hyperlinks and the table of contents, with the ids they
// refer to) are pinned by the recorded dump of this document
// (scribus_outputs_unchanged).

TEST(ScribusReaderMapping, PreferencesLeaveOutWhatTheyName) {
    const std::string bytes = Fixture("reader-features.sla");
    // Each preference switched off in turn (-1: none); the texts of the stories left.
    for (int off = -1; off < 4; ++off) {
        SCOPED_TRACE(off);
        Conversion c(bytes, [off](OBPreferenceList& l) {
            OBPreference* p = nullptr;
            l.GetNthPreference(off, &p);
            if (auto* flag = dynamic_cast<OBBooleanPreference*>(p)) flag->SetCurrentValue(short(0));
        });
        EXPECT_EQ(CheckValueTypes(c.top), "");
        std::vector<std::string> texts;
        for (Element* s : Children(c.TopOf(EL::kStoryList), EL::kParentStory))
            texts.push_back(Shown(StoryText(s->GetChild(EL::kChildStory))));
        auto has = [&texts](const char* text) {
            return std::find(texts.begin(), texts.end(), text) != texts.end();
        };
        auto count = [&c](EL::ElementTypeEnum list, EL::ElementTypeEnum kind) {
            return Descendants(c.TopOf(list), kind).size();
        };
        EXPECT_EQ(has("Page #"), off != 0);
        EXPECT_EQ(has("Hidden words"), off != 2);
        EXPECT_EQ(has("Pasteboard note"), off != 3);
        EXPECT_TRUE((off != 0 && off != 3) || texts.size() == 7u) << texts.size();
        EXPECT_TRUE(off < 1 || off > 2 || count(EL::kLayerList, EL::kLayer) == 2u);
        if (off == 1) {
            EXPECT_EQ(count(EL::kRegularSpreadList, EL::kRectangle), 0u);
            EXPECT_EQ(count(EL::kHyperlinkList, EL::kHyperlink), 1u);
        }
        EXPECT_TRUE(off != 2 || count(EL::kRegularSpreadList, EL::kEllipse) == 0u);
        if (off == 0) {
            std::vector<Element*> masters =
                Descendants(c.TopOf(EL::kMasterSpreadList), EL::kMasterPage);
            ASSERT_EQ(masters.size(), 2u); // the pages stay, their items go
            EXPECT_EQ(Descendants(masters[1], EL::kText).size(), 0u);
        }
    }
}

// Frames at one height read left to right; a page number shows its page's
// number; of a shape's subpaths only those closed by Z are closed, and none
// of a polyline's.
TEST(ScribusReaderMappingDetails, ReadingOrderPageNumbersAndClosedSubpaths) {
    auto item = [](const char* kind, const char* x, const char* y, const std::string& rest) {
        return std::string("<PAGEOBJECT OwnPage=\"0\" PTYPE=\"") + kind + "\" XPOS=\"" + x +
               "\" YPOS=\"" + y + "\" WIDTH=\"50\" HEIGHT=\"50\" " + rest;
    };
    std::string items =
        item("4", "200", "10",
             "><StoryText><ITEXT CH=\"right\xE9\xBF\xBF\xEA\x80\x80\"/><trail/></StoryText>"
             "</PAGEOBJECT>") +
        item("4", "10", "10",
             "><StoryText><ITEXT CH=\"left \"/><var name=\"pgno\"/><trail/></StoryText>"
             "</PAGEOBJECT>") +
        item("6", "10", "100", "path=\"M0 0 C5 5 5 5 10 0 Z M20 0 C25 5 25 5 30 0\"/>") +
        item("7", "10", "200", "path=\"M0 0 C5 5 5 5 10 0 Z\"/>");
    Conversion c("<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\" FIRSTNUM=\"4\" "
                 "PAGEWIDTH=\"300\" PAGEHEIGHT=\"300\"><PAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" "
                 "PAGEWIDTH=\"300\" PAGEHEIGHT=\"300\" NUM=\"0\"/>" +
                 items + "</DOCUMENT></SCRIBUSUTF8NEW>");
    std::vector<Element*> stories = Children(c.TopOf(EL::kStoryList), EL::kParentStory);
    ASSERT_EQ(stories.size(), 2u);
    EXPECT_EQ(StoryText(stories[0]->GetChild(EL::kChildStory)), u"left \uFFFC");
    std::vector<Element*> numbers = Descendants(stories[0], EL::kVariableRun);
    ASSERT_EQ(numbers.size(), 1u);
    EXPECT_EQ(Str(numbers[0], AN::kStaticText), "4");
    // The last ideograph of the block is CJK text, the first Yi syllable not.
    std::vector<Element*> runs = Descendants(stories[1], EL::kCharacterRun);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(EnumOf(runs[1]->GetChild(EL::kCharacterAttributes), AN::kWritingScript),
              WSE::kJapaneseScript);
    EXPECT_EQ(EnumOf(runs[2]->GetChild(EL::kCharacterAttributes), AN::kWritingScript),
              WSE::kUnicodeScript);

    std::vector<Element*> curves = Descendants(c.TopOf(EL::kRegularSpreadList), EL::kBezier);
    ASSERT_EQ(curves.size(), 2u); // the shape, then the polyline
    auto closed = [&](Element* e) {
        std::vector<short> flags;
        auto* list = dynamic_cast<ValueBool16List*>(OBGetAttributeValue(e, AN::kIsClosedList));
        for (long long i = 0; list && i < list->Count(); ++i)
            flags.push_back(list->Get(static_cast<int>(i)));
        return flags;
    };
    EXPECT_EQ(closed(curves[0]), (std::vector<short>{1, 0}));
    EXPECT_EQ(closed(curves[1]), (std::vector<short>{0}));
}

// Bullets and numbers (1.5 on) come from the paragraph styles' chains and
// the paragraphs' own attributes: the reader makes each marker in reading
// order, each numbering and level counting on its own, and says the kind of
// list; the "<local block>" numbering starts again after other paragraphs,
// CJK numbers are written in kanji, Hebrew ones in letters that add up,
// Abjad ones in letters and Arabic-Indic ones in their digits.
TEST(ScribusReaderMappingDetails, ListParagraphsGetTheirMarkers) {
    auto para = [](const char* text, const std::string& attributes) {
        return std::string("<ITEXT CH=\"") + text + "\"/><para " + attributes + "/>";
    };
    const std::string local = "Numeration=\"1\" NumerationName=\"&lt;local block&gt;\"";
    std::string frame = "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\" XPOS=\"0\" YPOS=\"0\" WIDTH=\"9\" "
                        "HEIGHT=\"9\"><StoryText>";
    Conversion c(
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\"><STYLE NAME=\"Bullets\" "
        "Bullet=\"1\" BulletStr=\"\xE2\x80\x93\"/><STYLE NAME=\"Numbers\" Numeration=\"1\" "
        "NumerationSuffix=\".\"/><STYLE NAME=\"Sub\" PARENT=\"Numbers\" NumerationLevel=\"1\" "
        "NumerationFormat=\"2\" NumerationSuffix=\")\"/><PAGE NUM=\"0\"/>" +
        frame + para("A", "PARENT=\"Bullets\"") + para("B", "") + para("1", "PARENT=\"Numbers\"") +
        para("i", "PARENT=\"Sub\"") + para("ii", "PARENT=\"Sub\"") +
        para("2", "PARENT=\"Numbers\"") + para("i", "PARENT=\"Sub\"") +
        para("E", "PARENT=\"Numbers\" NumerationName=\"x\" NumerationStart=\"5\" "
                  "NumerationFormat=\"5\" NumerationPrefix=\"(\"") +
        para("1", local) + para("2", local) + para("-", "") + para("1", local) +
        "</StoryText></PAGEOBJECT>" + frame + para("3", "PARENT=\"Numbers\"") +
        para("k", "PARENT=\"Numbers\" NumerationName=\"k\" NumerationStart=\"11\" "
                  "NumerationFormat=\"9\"") +
        para("h", "PARENT=\"Numbers\" NumerationName=\"h\" NumerationStart=\"15\" "
                  "NumerationFormat=\"10\"") +
        para("b", "PARENT=\"Numbers\" NumerationName=\"b\" NumerationStart=\"2\" "
                  "NumerationFormat=\"7\"") +
        para("a", "PARENT=\"Numbers\" NumerationName=\"a\" NumerationStart=\"12\" "
                  "NumerationFormat=\"1\"") +
        "</StoryText></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>");
    std::string markers;
    for (Element* run : Descendants(c.TopOf(EL::kStoryList), EL::kParagraphRun)) {
        Element* bn = run->GetChild(EL::kBN);
        markers += bn ? Str(bn, AN::kBNString) + std::to_string(Int(bn, AN::kLevelNumber)) + ":" +
                            std::to_string(EnumOf(run->GetChild(EL::kParagraphAttributes),
                                                  AN::kNumberingType)) +
                            " "
                      : "- ";
    }
    EXPECT_EQ(markers, "\xE2\x80\x93\t1:2 - 1.\t1:3 i)\t2:6 ii)\t2:6 2.\t1:3 i)\t2:6 (E.\t1:7 "
                       "1\t1:3 2\t1:3 - 1\t1:3 3.\t1:3 \u5341\u4E00.\t1:11 "
                       "\u05D8\u05D5.\t1:14 \u0628.\t1:15 \u0661\u0662.\t1:18 ");
}

// An item anchored in the text of a frame inside a group lies on the page
// that shows the frame, and says which page that is.
TEST(ScribusReaderMappingDetails, AnchoredItemsGoWithTheirTextsPage) {
    Conversion c(
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\" PAGEWIDTH=\"300\" "
        "PAGEHEIGHT=\"300\"><PAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" PAGEWIDTH=\"300\" "
        "PAGEHEIGHT=\"300\" NUM=\"0\"/>"
        "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"12\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"90\" HEIGHT=\"90\">"
        "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"50\" HEIGHT=\"50\">"
        "<StoryText><ITEXT CH=\"a\"/><ITEXT COBJ=\"7001\"/><ITEXT CH=\"b\"/><trail/></StoryText>"
        "</PAGEOBJECT></PAGEOBJECT>"
        "<FRAMEOBJECT OwnPage=\"-1\" PTYPE=\"6\" FRTYPE=\"0\" InID=\"7001\" XPOS=\"0\" "
        "YPOS=\"0\" WIDTH=\"10\" HEIGHT=\"10\"/></DOCUMENT></SCRIBUSUTF8NEW>");
    Element* page = Descendants(c.TopOf(EL::kRegularSpreadList), EL::kRegularPage).at(0);
    std::vector<Element*> anchored = Descendants(page, EL::kRectangle);
    ASSERT_EQ(anchored.size(), 1u);
    EXPECT_EQ(Id(anchored[0], AN::kRegularPageIdRef), page->GetId());
}

// Bold and italic come from the words of a face name, in any case and
// anywhere in it; a word cut short or other letters say nothing. A Japanese
// weight says so only where it ends the name, and the writers' family is
// the name without the words that end it.
TEST(ScribusReaderMappingDetails, FaceNamesSayBoldAndItalic) {
    struct Face {
        const char* font;
        int bold, italic;
        const char* family;
    } const kFaces[] = {
        {"Arial", 0, 0, "Arial"},
        {"Arial Bold", 1, 0, "Arial"},
        {"DejaVu Sans BOLDOBLIQUE", 1, 1, "DejaVu Sans BOLDOBLIQUE"},
        {"Heavy", 1, 0, "Heavy"},
        {"Gill bLaCk Italic", 1, 1, "Gill"},
        {"Bol Ital Obliqu Heav Blac", 0, 0, "Bol Ital Obliqu Heav Blac"},
        {"Semiboldx", 1, 0, "Semiboldx"},
        {"ObliqueB", 0, 1, "ObliqueB"},
        {"x\303\211bold", 1, 0, "x\303\211bold"}, // a capital E acute before the word
        {"Hiragino Kaku Gothic ProN W6", 1, 0, "Hiragino Kaku Gothic ProN"},
        {"Hiragino Sans W3", 0, 0, "Hiragino Sans"},
        {"Kozuka Mincho Pr6N B", 1, 0, "Kozuka Mincho Pr6N"},
        {"Kozuka Gothic Pro h", 1, 0, "Kozuka Gothic Pro"},
        {"Shin Go Pr6N DB", 1, 0, "Shin Go Pr6N"},
        {"Shin Go Pr6N M", 0, 0, "Shin Go Pr6N"},
        {"Kozuka Gothic Pr6N ExtraLight", 0, 0, "Kozuka Gothic Pr6N"},
        {"Nimbus Sans L", 0, 0, "Nimbus Sans L"},
        {"Linux Libertine B Bold", 1, 0, "Linux Libertine B"},
        {"B W7", 1, 0, "B"},
        {"Pro B", 1, 0, "Pro"},
    };
    std::string text;
    for (const Face& f : kFaces)
        text += std::string("<ITEXT FONT=\"") + f.font + "\" CH=\"w\"/>";
    Conversion c("<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\"><PAGE NUM=\"0\"/>"
                 "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\" WIDTH=\"50\" HEIGHT=\"50\"><StoryText>" +
                 text + "<trail/></StoryText></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>");
    std::vector<Element*> runs = Descendants(c.TopOf(EL::kStoryList), EL::kCharacterRun);
    ASSERT_EQ(runs.size(), std::size(kFaces));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(kFaces[i].font);
        Element* a = runs[i]->GetChild(EL::kCharacterAttributes);
        EXPECT_EQ(Flag(a, AN::kBold), kFaces[i].bold);
        EXPECT_EQ(Flag(a, AN::kItalics), kFaces[i].italic);
        const std::string font = kFaces[i].font;
        EXPECT_EQ(font.substr(0, obface::FamilyLength(font.data(), font.size())), kFaces[i].family);
    }
}

} // namespace
