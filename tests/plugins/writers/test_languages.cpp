// Languages as documents name them (readers) and as outputs tag them
// (writers): one table serves both ways.
#include <Languages.h>

#include <ombra/textservice.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Languages, NamesAndCodesAsDocumentsWriteThem) {
    struct Case {
        const char* name;
        DLE::DictionaryLanguageEnum member;
    } cases[] = {
        {"en_GB", DLE::kEnglishUK},
        {"EN-us", DLE::kEnglishUS},
        {"en", DLE::kEnglishUS},
        {"en_NZ", DLE::kEnglishUS},
        {"de_DE", DLE::kGerman},
        {"de-CH", DLE::kGermanSwiss},
        {"pt_BR", DLE::kPortugueseBrazilian},
        {"zh_TW", DLE::kChineseTraditional},
        {"zh-Hant-HK", DLE::kChineseTraditional},
        {"zh_CN", DLE::kChineseSimplified},
        {"no", DLE::kNorwegianBokmal},
        {"ja", DLE::kJapanese},
        {"$ID/English: UK", DLE::kEnglishUK},
        {"$ID/Norwegian: Bokmal", DLE::kNorwegianBokmal},
        {" French ", DLE::kFrench},
        {"German: 2006 Reform", DLE::kGermanReformed},
        {"German", DLE::kGerman},
        {"Dutch: 2005 Reform", DLE::kDutch},
        {"English (American)", DLE::kEnglishUS},
        {"$ID/[No Language]", DLE::kNone},
        {"", DLE::kUndefined},
        {"$ID/", DLE::kUndefined},
        {"Klingon", DLE::kUndefined},
        {"xx_YY", DLE::kUndefined},
        {"e", DLE::kUndefined},
        {"en_GB; rm -rf", DLE::kUndefined},
    };
    for (const Case& c : cases)
        EXPECT_EQ(oblanguage::FromName(c.name), c.member) << '"' << c.name << '"';
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
