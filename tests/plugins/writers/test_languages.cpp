// Languages as documents name them (readers) and as outputs tag them
// (writers): one table serves both ways.
#include <Languages.h>

#include <ombra/textservice.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

// tests/data/writers/language-names.tsv: names and the members they read as.
TEST(Languages, NamesAndCodesAsDocumentsWriteThem) {
    std::ifstream table(std::string(OMBRA_WRITERS_DATA_DIR) + "/language-names.tsv");
    int checked = 0;
    for (std::string line; std::getline(table, line);) {
        std::size_t tab = line.rfind('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
        const char* member = OBValueEnumMemberName(VT::ekDictionaryLanguageEnum,
                                                   oblanguage::FromName(line.substr(0, tab)));
        EXPECT_STREQ(member, line.substr(tab + 1).c_str()) << '"' << line << '"';
        ++checked;
    }
    EXPECT_EQ(checked, 26);
}

// Every member's tag reads back as a member with the same tag.
TEST(Languages, EveryTagAndNameReadsBack) {
    int members = 0;
    for (int m = 0; m < 128; ++m) {
        const char* tag = oblanguage::TagOf(m);
        if (!tag) continue;
        ++members;
        const char* back = oblanguage::TagOf(oblanguage::FromName(tag));
        ASSERT_NE(back, nullptr) << tag;
        EXPECT_STREQ(back, tag);
    }
    EXPECT_GT(members, 50);
    EXPECT_EQ(oblanguage::TagOf(DLE::kUndefined), nullptr);
    EXPECT_EQ(oblanguage::TagOf(DLE::kNone), nullptr);
    EXPECT_STREQ(oblanguage::ScriptTag(WSE::kJapaneseScript), "ja");
    EXPECT_EQ(oblanguage::ScriptTag(WSE::kRomanScript), nullptr);
}

} // namespace
