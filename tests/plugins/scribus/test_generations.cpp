// A hand-made document of each generation of the format: 1.2 (objects
// nested in pages, flag bits, control characters), 1.3 (styles by position,
// canvas coordinates), 1.4 (named styles, para/trail) and 1.5/1.6
// (StoryText, nested groups, tables, colour spaces).
#include "ScribusTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using namespace scribus;
using namespace scribus_test;

ParseResult Load(const std::string& name) {
    std::string bytes = Fixture(name);
    EXPECT_FALSE(bytes.empty()) << name;
    ParseResult r = ParseBytes(bytes);
    for (std::size_t i = 0; i < r.document.stories.size(); ++i)
        EXPECT_EQ("", CheckCoverage(r.document.stories[i])) << name << " story " << i;
    return r;
}

// Each generation's document, and its compressed copy, reads cleanly as its
// generation, both alike, and through the pump and the text writer
// gives the words of every story the parser read, with a tree that has the
// bound value types and runs that cover each text. What each holds,
// attribute by attribute, is pinned by the recorded outputs
// (scribus_outputs_unchanged).
TEST(ScribusGenerations, EachReadsCleanlyAsItsGenerationPlainCompressedAndThroughThePump) {
    const struct {
        const char* name;
        Generation generation;
        const char* version;
        bool warnings, packed;
    } kDocuments[] = {{"v12-basic.sla", Generation::k12, "1.2.2", false, true},
                      {"v13.sla", Generation::k13, "1.3.2cvs", true, true},
                      {"v14.sla", Generation::k14, "1.4.6", false, true},
                      {"v15.sla", Generation::k15, "1.5.8", false, true},
                      {"v16.sla", Generation::k15, "1.6.1", true, false}};
    Pump pump;
    for (const auto& d : kDocuments) {
        SCOPED_TRACE(d.name);
        std::vector<std::u16string> plain;
        std::size_t plainItems = 0;
        for (const std::string& name : {std::string(d.name), d.name + std::string(".gz")}) {
            if (!d.packed && name != d.name) continue;
            ParseResult r = Load(name);
            EXPECT_EQ(ParseResult::Status::kOk, r.status) << name;
            EXPECT_TRUE(d.warnings || r.warnings.empty()) << name;
            EXPECT_EQ(d.generation, r.document.generation) << name;
            EXPECT_EQ(d.version, r.document.version) << name;
            std::vector<std::u16string> texts;
            for (const Story& s : r.document.stories)
                texts.push_back(s.text);
            if (name == d.name) plain = texts, plainItems = r.document.items.size();
            EXPECT_EQ(plain, texts) << name;
            EXPECT_EQ(plainItems, r.document.items.size()) << name;
            EXPECT_LT(std::count(texts.begin(), texts.end(), u""), std::ptrdiff_t(texts.size()));
            int error = -1;
            EXPECT_EQ(CheckConversion(pump, Fixture(name), texts, nullptr, &error), "");
            EXPECT_EQ(error, 0);
        }
    }
}

// The document's language (which decides the script of CJK text that says
// nothing else) and an outline of several subpaths, each closed only by Z.
TEST(ScribusGenerations, LanguageAndOpenSubpathsAsWritten) {
    ParseResult r = ParseBytes(
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT LANGUAGE=\"zh_TW\"><PAGE/>"
        "<PAGEOBJECT PTYPE=\"7\" OwnPage=\"0\" ANNAME=\"two\" path=\"M0,0 L10,0\tM20 0 L30 0 Z\"/>"
        "</DOCUMENT></SCRIBUSUTF8NEW>");
    EXPECT_EQ(r.document.publication.language, "zh_TW");
    ASSERT_GE(ItemNamed(r.document, "two"), 0);
    const Item& two = r.document.items[ItemNamed(r.document, "two")];
    ASSERT_EQ(two.outline.size(), 2u); // commas and tabs separate numbers too
    EXPECT_EQ(two.outline[0].points.size(), 2u);
    EXPECT_FALSE(two.outline[0].closed);
    EXPECT_TRUE(two.outline[1].closed);
}

// Character flag bits after the generation: before 1.3 there was no shadow
// nor word underline, and 512, always with 128, marks where a line was
// broken at a hyphenation point ("volu[t]pat"); from 1.3 on they are effects.
TEST(ScribusGenerations, FlagBitsAreEffectsAfterTheirGeneration) {
    const char* const kRoots[] = {"<SCRIBUSUTF8 Version=\"1.2.2\">",
                                  "<SCRIBUSUTF8NEW Version=\"1.3.3.14\">"};
    for (int generation = 0; generation < 2; ++generation) {
        const std::string root = kRoots[generation];
        const std::string end = generation == 0 ? "</SCRIBUSUTF8>" : "</SCRIBUSUTF8NEW>";
        const std::string page = generation == 0 ? "<PAGE NUM=\"0\">" : "<PAGE NUM=\"0\"/>";
        ParseResult r = ParseBytes(
            root + "<DOCUMENT ANZPAGES=\"1\">" + page +
            "<PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\" XPOS=\"0\" YPOS=\"0\" WIDTH=\"9\" "
            "HEIGHT=\"9\"><ITEXT CH=\"a\" CSTYLE=\"128\"/><ITEXT CH=\"b\" CSTYLE=\"640\"/>"
            "<ITEXT CH=\"c\" CSTYLE=\"264\"/><ITEXT CH=\"d\" CSTYLE=\"1032\"/></PAGEOBJECT>" +
            (generation == 0 ? "</PAGE>" : "") + "</DOCUMENT>" + end);
        SCOPED_TRACE(root);
        ASSERT_EQ(r.document.stories.size(), 1u);
        const Story& story = r.document.stories[0];
        ASSERT_EQ(story.text, u"abcd");
        unsigned effects[4] = {};
        for (const CharacterRun& run : story.runs)
            for (std::uint32_t k = run.start; k < run.start + run.length && k < 4; ++k)
                effects[k] = r.document.characterFormats[run.format].local.effects.value_or(0);
        const unsigned b = generation == 0 ? 0u : unsigned(kUnderlineWords);
        const unsigned c = generation == 0 ? unsigned(kUnderline) : kUnderline | kShadowed;
        EXPECT_EQ(effects[0], 0u);
        EXPECT_EQ(effects[1], b);
        EXPECT_EQ(effects[2], c);
        EXPECT_EQ(effects[3], unsigned(kUnderline));
    }
}

} // namespace
