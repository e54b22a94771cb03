// The text writer's bytes: UTF-8, UTF-16 and the code pages of "Default" on
// each platform, line ends, byte-order marks, and what happens to characters
// an encoding cannot hold.
#include "TextWriterTestSupport.h"

#include <utility>

namespace {

using namespace textwriter_test;

class Encodings : public TextWriterTest {
protected:
    /// One story, one paragraph per (text, script); script -1 leaves the
    /// run's WritingScript unset.
    Result Write(const std::vector<std::pair<std::string, int>>& paragraphs,
                 OBTW::EncodingEnum encoding, OBTW::PlatformEnum platform = OBTW::kPC) {
        DocumentBuilder b;
        StoryBuilder& story = b.AddStory();
        for (const auto& p : paragraphs) {
            RunStyle style;
            style.script = p.second;
            story.Text(p.first, style).EndPara();
        }
        OBTextWriterOptions options;
        options.encoding = encoding;
        options.platform = platform;
        return Convert(b, options);
    }
};

TEST_F(Encodings, Utf8HasNoByteOrderMarkUnlessAskedAndThePlatformsLineEnds) {
    std::vector<std::pair<std::string, int>> text = {{"Grüße", -1}, {"日本", 1}};
    Result r = Write(text, OBTW::kUTF8);
    EXPECT_EQ(r.bytes, "Grüße\r\n日本\r\n");
    EXPECT_EQ(r.written, static_cast<long long>(r.bytes.size()));
    EXPECT_EQ(Write(text, OBTW::kUTF8, OBTW::kMac).bytes, "Grüße\r日本\r");
    EXPECT_EQ(Write(text, OBTW::kUTF8, OBTW::kUnix).bytes, "Grüße\n日本\n");

    DocumentBuilder b;
    b.AddStory().Para("A");
    OBTextWriterOptions options;
    options.encoding = OBTW::kUTF8;
    options.utf8ByteOrderMark = true;
    EXPECT_EQ(Convert(b, options).bytes, "\xEF\xBB\xBF"
                                         "A\r\n");
}

TEST_F(Encodings, Utf16StartsWithItsByteOrderMark) {
    std::vector<std::pair<std::string, int>> text = {{"Aé", -1}, {"日\xF0\x9F\x98\x80", 1}};
    EXPECT_EQ(Write(text, OBTW::kUTF16).bytes,
              Bytes({0xFF, 0xFE, 0x41, 0x00, 0xE9, 0x00, 0x0D, 0x00, 0x0A, 0x00,
                     0xE5, 0x65, 0x3D, 0xD8, 0x00, 0xDE, 0x0D, 0x00, 0x0A, 0x00}));
    EXPECT_EQ(Write(text, OBTW::kUTF16, OBTW::kMac).bytes,
              Bytes({0xFE, 0xFF, 0x00, 0x41, 0x00, 0xE9, 0x00, 0x0D, 0x65, 0xE5, 0xD8, 0x3D, 0xDE,
                     0x00, 0x00, 0x0D}))
        << "big-endian for Mac";

    DocumentBuilder empty;
    OBTextWriterOptions options;
    options.encoding = OBTW::kUTF16;
    EXPECT_EQ(Convert(empty, options).bytes, Bytes({0xFF, 0xFE})) << "even without text";
}

TEST_F(Encodings, DefaultWritesEachRunInItsScriptsWindowsCodePage) {
    Result r = Write({{"日本語テキスト", WSE::kJapaneseScript},
                      {"Привет", WSE::kCyrillicScript},
                      {"Καλημέρα", WSE::kGreekScript},
                      {"مرحبا", WSE::kArabicScript},
                      {"שלום", WSE::kHebrewScript},
                      {"Grüße €", WSE::kRomanScript},
                      {"Grüße €", -1}},
                     OBTW::kDefaultEncoding);
    EXPECT_EQ(r.bytes, Bytes({0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0x83, 0x65, 0x83, 0x4C,
                              0x83, 0x58, 0x83, 0x67, 0x0D, 0x0A,             // Shift JIS
                              0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, 0x0D, 0x0A, // 1251
                              0xCA, 0xE1, 0xEB, 0xE7, 0xEC, 0xDD, 0xF1, 0xE1, 0x0D, 0x0A, // 1253
                              0xE3, 0xD1, 0xCD, 0xC8, 0xC7, 0x0D, 0x0A,                   // 1256
                              0xF9, 0xEC, 0xE5, 0xED, 0x0D, 0x0A,                         // 1255
                              0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80, 0x0D, 0x0A,       // 1252
                              0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80, 0x0D, 0x0A}));
    EXPECT_EQ(r.replaced, 0);
    EXPECT_EQ(r.problems.Total(), 0);
    EXPECT_FALSE(logger_.Has(OBERR::kUnmappableCharacters));
}

TEST_F(Encodings, CharactersACodePageLacksAreReplacedVisiblyCountedAndLogged) {
    Result r = Write({{"Ω and 日", WSE::kRomanScript},
                      {"Привет, 世界", WSE::kCyrillicScript},
                      {"a\xF0\x9F\x98\x80z", WSE::kRomanScript},
                      // No-break and zero-width characters have plain stand-ins.
                      {"日\u00A0本\u2011語\u200B!", WSE::kJapaneseScript}},
                     OBTW::kDefaultEncoding);
    EXPECT_EQ(r.bytes,
              Bytes({'?',  ' ',  'a',  'n',  'd',  ' ',  '?',  0x0D, 0x0A,                   //
                     0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, ',',  ' ',  '?',  '?',  0x0D, 0x0A, //
                     'a',  '?',  'z',  0x0D, 0x0A,                                           //
                     0x93, 0xFA, ' ',  0x96, 0x7B, '-',  0x8C, 0xEA, '!',  0x0D, 0x0A}));
    EXPECT_EQ(r.replaced, 5) << "a surrogate pair is one character";
    EXPECT_EQ(r.Count(OBERR::kUnmappableCharacters), 5);
    EXPECT_TRUE(logger_.Has(OBERR::kUnmappableCharacters));
    EXPECT_EQ(r.lastErrorCode, OBERR::kUnmappableCharacters);
}

TEST_F(Encodings, ACharacterConvertsInTheScriptOfEachRunItIsIn) {
    // Text whose script lacks its characters goes one character at a time;
    // what one script made of a character never carries over to another.
    Result r = Write({{"ЖΩ", WSE::kCyrillicScript},
                      {"ЖΩ", WSE::kRomanScript},
                      {"ЖΩ", WSE::kGreekScript},
                      {"ЖΩ", WSE::kCyrillicScript}},
                     OBTW::kDefaultEncoding);
    EXPECT_EQ(r.bytes, Bytes({0xC6, '?', 0x0D, 0x0A, '?', '?', 0x0D, 0x0A, '?', 0xD9, 0x0D, 0x0A,
                              0xC6, '?', 0x0D, 0x0A}));
    EXPECT_EQ(r.replaced, 5);
}

TEST_F(Encodings, UnpairedSurrogatesAreReplacedInEveryEncoding) {
    DocumentBuilder b;
    b.AddStory()
        .Units(u"a\xD800"
               u"b\xDC00")
        .EndPara();
    OBTextWriterOptions options;
    options.encoding = OBTW::kUTF8;
    Result r = Convert(b, options);
    EXPECT_EQ(r.bytes, "a\xEF\xBF\xBD"
                       "b\xEF\xBF\xBD\r\n");
    EXPECT_EQ(r.replaced, 2);
    options.encoding = OBTW::kUTF16;
    EXPECT_EQ(Convert(b, options).bytes,
              Bytes({0xFF, 0xFE, 'a', 0, 0xFD, 0xFF, 'b', 0, 0xFD, 0xFF, 0x0D, 0, 0x0A, 0}));
    options.encoding = OBTW::kDefaultEncoding;
    r = Convert(b, options);
    EXPECT_EQ(r.bytes, "a?b?\r\n");
    EXPECT_EQ(r.replaced, 2) << "counted once each";
}

TEST_F(Encodings, DefaultOnUnixUsesIsoCodePagesAndEucJp) {
    Result r = Write({{"café €", WSE::kRomanScript},
                      {"Привет", WSE::kCyrillicScript},
                      {"Καλημέρα", WSE::kGreekScript},
                      {"مرحبا", WSE::kArabicScript},
                      {"שלום", WSE::kHebrewScript},
                      {"日本語テキストｶﾀｶﾅ", WSE::kJapaneseScript},
                      {"Ğüş", WSE::kTurkishScript}},
                     OBTW::kDefaultEncoding, OBTW::kUnix);
    EXPECT_EQ(r.bytes, Bytes({'c',  'a',  'f',  0xE9, ' ',  '?',  0x0A,             // 8859-1
                              0xBF, 0xE0, 0xD8, 0xD2, 0xD5, 0xE2, 0x0A,             // 8859-5
                              0xCA, 0xE1, 0xEB, 0xE7, 0xEC, 0xDD, 0xF1, 0xE1, 0x0A, // 8859-7
                              0xE5, 0xD1, 0xCD, 0xC8, 0xC7, 0x0A,                   // 8859-6
                              0xF9, 0xEC, 0xE5, 0xED, 0x0A,                         // 8859-8
                              0xC6, 0xFC, 0xCB, 0xDC, 0xB8, 0xEC, 0xA5, 0xC6, 0xA5, 0xAD, 0xA5,
                              0xB9, 0xA5, 0xC8, 0x8E, 0xB6, 0x8E, 0xC0, 0x8E, 0xB6, 0x8E, 0xC5,
                              0x0A,                      // EUC-JP
                              0xD0, 0xFC, 0xFE, 0x0A})); // 8859-9
    EXPECT_EQ(r.replaced, 1) << "ISO 8859-1 has no euro sign";
}

TEST_F(Encodings, DefaultOnMacUsesMacRomanAndCarriageReturns) {
    Result r = Write({{"café € ™", -1}, {"Ω", WSE::kRomanScript}, {"日本", WSE::kJapaneseScript}},
                     OBTW::kDefaultEncoding, OBTW::kMac);
    EXPECT_EQ(r.bytes, Bytes({'c', 'a', 'f', 0x8E, ' ', 0xDB, ' ', 0xAA, 0x0D, 0xBD, 0x0D, 0x93,
                              0xFA, 0x96, 0x7B, 0x0D}));
    EXPECT_EQ(r.replaced, 0);
}

TEST_F(Encodings, WithoutATextServiceDefaultKeepsAsciiAndReplacesTheRest) {
    OBLumService* service = OBLumHandler::GetLumService();
    OBLumHandler::ResetLumService();
    Result r = Write({{"ok 日本", WSE::kJapaneseScript}}, OBTW::kDefaultEncoding);
    OBLumHandler::SetLumService(service);
    EXPECT_EQ(r.bytes, "ok ??\r\n");
    EXPECT_EQ(r.replaced, 2);
}

} // namespace
