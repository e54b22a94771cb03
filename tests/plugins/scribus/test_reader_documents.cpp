// Documents through the real pump: the hand-made documents of every
// generation, through the story-text writer, give the words of every story
// the parser read, and the reader's tree has the bound value types and runs
// that cover each text. (The real documents go through the text convertor in
// test_real_documents.cpp.)
#include "ScribusTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace scribus_test;

void ExpectTreeFollowsTheConventions(const std::string& bytes) {
    Conversion direct(bytes);
    EXPECT_EQ(CheckValueTypes(direct.Top()), "");
    for (Element* story : Descendants(direct.TopOf(EL::kStoryList), EL::kChildStory))
        EXPECT_EQ(CheckRuns(story), "");
}

TEST(ScribusReaderDocuments, EveryGenerationGivesTheWordsOfEveryStory) {
    Pump pump;
    for (const char* name : {"v12-basic.sla", "v12-basic.sla.gz", "v13.sla", "v13.sla.gz",
                             "v14.sla", "v14.sla.gz", "v15.sla", "v15.sla.gz", "v16.sla"}) {
        SCOPED_TRACE(name);
        std::string bytes = Fixture(name);
        short ok = 0;
        std::vector<std::u16string> words = Words(FromUtf8(pump.Convert(bytes, ok)));
        ASSERT_EQ(ok, 1);
        int stories = 0;
        for (const scribus::Story& s : ParseBytes(bytes).document.stories) {
            EXPECT_TRUE(ContainsRun(words, Words(s.text))) << "missing: " << Utf8(s.text);
            stories += s.text.empty() ? 0 : 1;
        }
        EXPECT_GT(stories, 0);
        EXPECT_EQ(Conversion(bytes).Error(), 0);
        ExpectTreeFollowsTheConventions(bytes);
    }
}

} // namespace
