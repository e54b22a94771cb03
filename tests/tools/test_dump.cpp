// The structure dump: valid JSON for every tree, and in it what the reader
// made: kinds, ids, attributes through the views, children and story text.
#include "Json.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace ombra_test;

namespace {

const std::string kToolReaders = std::string(OMBRA_TOOL_PLUGIN_DIR) + "/readers";

// Dumps a tree of the tree reader and reads the JSON back.
Json Dump(const std::string& tree, std::string* raw = nullptr) {
    TempFolder work;
    std::string input = work.Write(tree + ".tree", "OMBRA-TREE " + tree + "\n");
    ToolResult run =
        RunOmbra({"dump", input, "--readers", kToolReaders, "--writers", OMBRA_WRITER_DIR});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    if (raw) *raw = run.out;
    Json json;
    std::string error;
    EXPECT_TRUE(ParseJson(run.out, json, error)) << error << "\n" << run.out.substr(0, 2000);
    return json;
}

const Json& Attribute(const Json& element, const char16_t* name) {
    return element[u"attributes"][name];
}

} // namespace

TEST(OmbraDump, WritesEachTopLevelElementWithItsAttributesChildrenAndStoryText) {
    Json dump = Dump("story");
    ASSERT_EQ(dump.kind, Json::kArray);
    ASSERT_EQ(dump.items.size(), 3u);

    const Json& publication = dump.At(0);
    EXPECT_EQ(publication[u"kind"].text, u"Publication");
    EXPECT_EQ(publication[u"id"].kind, Json::kNumber);
    EXPECT_EQ(Attribute(publication, u"PageWidth").text, u"595.25 points");
    EXPECT_EQ(Attribute(publication, u"IsFacingPage").kind, Json::kBool);
    EXPECT_TRUE(Attribute(publication, u"IsFacingPage").boolean);
    EXPECT_EQ(Attribute(publication, u"StartPageNum").number, "3");
    EXPECT_FALSE(publication[u"attributes"].Has(u"PageHeight")) << "unset attributes are left out";
    // Attributes come in the slot order of the view.
    const auto& members = publication[u"attributes"].members;
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0].first, u"IsFacingPage");
    EXPECT_EQ(members[1].first, u"PageWidth");
    EXPECT_EQ(members[2].first, u"StartPageNum");

    const Json& meta = publication[u"children"].At(0);
    EXPECT_EQ(meta[u"kind"].text, u"MetaData");
    EXPECT_EQ(Attribute(meta, u"Title").text, u"Grüße, 日本");
    EXPECT_EQ(meta[u"children"].kind, Json::kArray);
    EXPECT_TRUE(meta[u"children"].items.empty());

    const Json& gold = dump.At(1)[u"children"].At(0);
    EXPECT_EQ(gold[u"kind"].text, u"Color");
    EXPECT_EQ(Attribute(gold, u"Name").text, u"Gold");
    EXPECT_EQ(Attribute(gold, u"Tint").text, u"50%");
    EXPECT_EQ(Attribute(gold, u"LPIRuling").number, "133.5");

    const Json& text = dump.At(2)[u"children"].At(0)[u"children"].At(0);
    EXPECT_EQ(text[u"kind"].text, u"ChildStory");
    EXPECT_EQ(Attribute(text, u"TextStream").text, u"Hello, world\u2029日本語 \U0001D11E");

    // Ids are unique within the dump.
    std::vector<std::string> ids;
    std::vector<const Json*> todo = {&dump};
    while (!todo.empty()) {
        const Json* at = todo.back();
        todo.pop_back();
        if (at->Has(u"id")) ids.push_back((*at)[u"id"].number);
        for (const Json& item : at->items)
            todo.push_back(&item);
        for (const auto& member : at->members)
            todo.push_back(&member.second);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(ids.size(), 7u);
}

TEST(OmbraDump, AHostileTreeStillGivesValidJsonThatSaysWhatItHolds) {
    std::string raw;
    Json dump = Dump("hostile", &raw);
    ASSERT_EQ(dump.kind, Json::kArray);
    ASSERT_EQ(dump.items.size(), 9u) << raw.substr(0, 3000);

    // Escapes and unpaired surrogates, kept unit for unit.
    const Json& publication = dump.At(0);
    EXPECT_EQ(Attribute(publication, u"AuthorName").text,
              std::u16string(u"\"\\\n\u0001\u007F\u2028") + char16_t(0xD800) + u"x" +
                  char16_t(0xDC00) + char16_t(0xDC00) + char16_t(0xD800));
    EXPECT_EQ(raw.find('\x01'), std::string::npos) << "control characters appear escaped";
    EXPECT_EQ(Attribute(publication, u"FoldType").text, u"café") << "8-bit text read in its script";
    EXPECT_EQ(Attribute(publication, u"MMOpticalSize").kind, Json::kString)
        << "NaN is no JSON number";
    EXPECT_EQ(Attribute(publication, u"StartPageNum").number, "-7");
    EXPECT_FALSE(publication[u"attributes"].Has(u"PageHeight"))
        << "a throwing accessor counts as unset";

    // Kinds without a name, Elements that are no views.
    EXPECT_EQ(dump.At(1)[u"kind"].kind, Json::kNull);
    EXPECT_EQ(dump.At(1)[u"type"].number, "228");
    EXPECT_EQ(dump.At(1)[u"children"].At(0)[u"type"].number, "233");
    EXPECT_EQ(dump.At(2)[u"kind"].text, u"Publication");
    EXPECT_TRUE(dump.At(2)[u"attributes"].members.empty());

    // An indexed accessor gives an array of its entries.
    const Json& colours = Attribute(dump.At(3), u"NthColorID");
    ASSERT_EQ(colours.kind, Json::kArray);
    ASSERT_EQ(colours.items.size(), 3u);
    EXPECT_EQ(colours.At(0).number, "5");
    EXPECT_EQ(colours.At(2).number, "7");
    EXPECT_EQ(Attribute(dump.At(3), u"NthColorPercentage").items.size(), 1u);

    // A child in two lists, and a loop, are written once and then referred to.
    const Json& first = dump.At(4);
    const Json& copy = dump.At(5);
    EXPECT_EQ(first[u"id"].number, copy[u"id"].number);
    EXPECT_FALSE(first[u"children"].At(0).Has(u"repeated"));
    EXPECT_TRUE(copy[u"children"].At(0)[u"repeated"].boolean);
    EXPECT_EQ(copy[u"children"].At(0)[u"id"].number, first[u"children"].At(0)[u"id"].number);
    const Json& loop = dump.At(6);
    EXPECT_TRUE(loop[u"children"].At(0)[u"children"].At(0)[u"repeated"].boolean);
    EXPECT_EQ(loop[u"children"].At(0)[u"children"].At(0)[u"id"].number, loop[u"id"].number);

    // Nesting stops at 100 levels with a count of what was left out.
    const Json* level = &dump.At(7);
    int depth = 1;
    while (!(*level)[u"children"].items.empty()) {
        level = &(*level)[u"children"].At(0);
        ++depth;
    }
    EXPECT_EQ(depth, 100);
    EXPECT_EQ((*level)[u"childrenOmitted"].number, "1");

    // The long text: the pair across the read boundary whole, the unpaired
    // surrogate escaped, the odd last byte as a replacement character.
    std::u16string expected(4095, u'a');
    expected += u"\U0001D11E";
    expected += std::u16string(40000, u'b');
    expected += char16_t(0xDC00);
    expected += u'\uFFFD';
    EXPECT_EQ(Attribute(dump.At(8), u"TextStream").text, expected);
}
