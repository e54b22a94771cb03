// The core's text service: each writing script's code page in both
// directions, replacement of what a code page cannot hold, buffer limits
// and conversions on several threads at once.
#include <ombra/convertorlumservice.h>
#include <ombra/textservice.h>

#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

using ombra_test::Ptr;
using ombra_test::U16;

namespace {

struct Sample {
    int script;
    const char* bytes;
    std::u16string text;
};

// Real words in each script's code page, with their code points.
const Sample kSamples[] = {
    {1, "\x93\xFA\x96\x7B\x8C\xEA\xB1\x87\x40\\", u"\u65E5\u672C\u8A9E\uFF71\u2460\\"},
    {2, "\xA4\xA4\xA4\xE5\xA3\xE1", u"\u4E2D\u6587\u20AC"},
    {3, "\x88\x61\xD0\x65\x8B\x69\\", u"\uAC00\uD55C\uAE00\\"},
    {4, "\xD3\xE1\xC7\xE3", u"\u0633\u0644\u0627\u0645"},
    {31, "\xD3\xE1\xC7\xE3", u"\u0633\u0644\u0627\u0645"},
    {5, "\xF9\xEC\xE5\xED\xF9\xD1", u"\u05E9\u05DC\u05D5\u05DD\u05E9\u05C1"},
    {6, "\xC1\xE8\xDE\xED\xE1", u"\u0391\u03B8\u03AE\u03BD\u03B1"},
    {7, "\xCF\xF0\xE8\xE2\xE5\xF2", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
    {21, "\xE4\xB7\xC2", u"\u0E44\u0E17\u0E22"},
    {25, "\xD6\xD0\xCE\xC4\x80", u"\u4E2D\u6587\u20AC"},
    {36, "\xDD\xF0\xFE", u"\u0130\u011F\u015F"},
    {37, "\xE0\xE8\xEB", u"\u0105\u010D\u0117"},
    {0, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
    {32, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
    {39, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
};

std::u16string ToUnits(OBLumService& service, const char* bytes, long long n, int script) {
    unsigned short out[64];
    long long produced = service.CharToTextChar(
        bytes, n, out, 64, static_cast<WSE::WritingScriptEnum>(script), CPGE::kCodePageFromScript);
    return U16(out, produced);
}

std::string ToBytes(OBLumService& service, const std::u16string& text, int script) {
    char out[64];
    long long produced = service.TextCharToChar(Ptr(text), static_cast<long long>(text.size()), out,
                                                64, static_cast<WSE::WritingScriptEnum>(script),
                                                CPGE::kCodePageFromScript);
    return std::string(out, static_cast<std::size_t>(produced));
}

using CodePages = ombra_test::WithTextService;

TEST_F(CodePages, EachScriptConvertsBothWaysWithoutLoss) {
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE("script " + std::to_string(sample.script));
        long long n = static_cast<long long>(std::strlen(sample.bytes));
        std::u16string units = ToUnits(*service_, sample.bytes, n, sample.script);
        EXPECT_EQ(units, sample.text);
        EXPECT_EQ(ToBytes(*service_, units, sample.script), std::string(sample.bytes));
    }
}

TEST_F(CodePages, ScriptsWithoutAPageOfTheirOwnUseTheSystemDefault) {
    for (int script : {0, 8, 32, 39, -1, 0x40000000})
        EXPECT_EQ(
            OBConvertorLumService::ScriptToCodePage(static_cast<WSE::WritingScriptEnum>(script)),
            0u)
            << "script " << script;
}

TEST_F(CodePages, CharactersACodePageCannotHoldBecomeQuestionMarks) {
    EXPECT_EQ(ToBytes(*service_, u"A\u65E5\u672CB", 7), "A??B");
    // A character outside the BMP is one character: one '?'.
    EXPECT_EQ(ToBytes(*service_, u"x\U0001F600y", 25), "x?y");
    // Unpaired surrogates are replaced, the rest survives.
    EXPECT_EQ(ToBytes(*service_,
                      u"a\xD800"
                      u"b\xDC00",
                      0),
              "a?b?");
    EXPECT_EQ(ToBytes(*service_, std::u16string(u"a\xD83D"), 1), "a?");
}

TEST_F(CodePages, InvalidBytesBecomeReplacementCharacters) {
    // A lead byte without its trail byte, in the middle and at the end.
    EXPECT_EQ(ToUnits(*service_, "\x82 a\x82", 4, 1), u"\uFFFD a\uFFFD");
    // A byte the Greek page leaves undefined.
    EXPECT_EQ(ToUnits(*service_, "\xC1\xAA\xC1", 3, 6), u"\u0391\uFFFD\u0391");
    // Undefined bytes 0x80-0x9F of a single-byte page are C1 controls and
    // survive a round trip.
    EXPECT_EQ(ToUnits(*service_, "a\x81\x8D\x9D", 4, 0), u"a\u0081\u008D\u009D");
    EXPECT_EQ(ToBytes(*service_, u"a\u0081\u008D\u009D", 0), "a\x81\x8D\x9D");
    EXPECT_EQ(ToBytes(*service_, u"\u0098", 7), "\x98");
    // A Big5 lead byte followed by a byte that cannot trail.
    EXPECT_EQ(ToUnits(*service_, "\xA4\x0A", 2, 2), u"\uFFFD\n");
}

TEST_F(CodePages, SurrogatePairsSurviveACodePageThatHoldsThem) {
    unsigned saved = OBConvertorLumService::GetSystemCodePage();
    ASSERT_EQ(OBConvertorLumService::SetSystemCodePage(65001), 1);
    std::u16string text = u"a\U0001F600\u00E9";
    EXPECT_EQ(ToBytes(*service_, text, 0), "a\xF0\x9F\x98\x80\xC3\xA9");
    EXPECT_EQ(ToUnits(*service_, "a\xF0\x9F\x98\x80\xC3\xA9", 7, 32), text);
    ASSERT_EQ(OBConvertorLumService::SetSystemCodePage(saved), 1);
}

TEST_F(CodePages, TheHostChoosesTheSystemDefault) {
    EXPECT_EQ(OBConvertorLumService::GetSystemCodePage(), 1252u);
    EXPECT_EQ(OBConvertorLumService::SetSystemCodePage(99999), 0);
    EXPECT_EQ(OBConvertorLumService::SetSystemCodePage(0), 0);
    EXPECT_EQ(OBConvertorLumService::GetSystemCodePage(), 1252u);

    ASSERT_EQ(OBConvertorLumService::SetSystemCodePage(1251), 1);
    EXPECT_EQ(ToUnits(*service_, "\xCF", 1, 32), u"\u041F");
    EXPECT_EQ(ToUnits(*service_, "\xCF", 1, 0), u"\u041F");
    EXPECT_EQ(ToUnits(*service_, "\xCF", 1, 6), u"\u039F"); // Greek keeps its own page
    ASSERT_EQ(OBConvertorLumService::SetSystemCodePage(1252), 1);
    EXPECT_EQ(ToUnits(*service_, "\xCF", 1, 32), u"\u00CF");
}

TEST_F(CodePages, AResultThatDoesNotFitGivesZeroAndLeavesTheOutput) {
    const auto japanese = WSE::kJapaneseScript;
    const auto page = CPGE::kCodePageFromScript;
    unsigned short units[4] = {7, 7, 7, 7};
    EXPECT_EQ(service_->CharToTextChar("\x93\xFA\x96\x7B\x8C\xEA", 6, units, 2, japanese, page), 0);
    EXPECT_EQ(units[0], 7);
    EXPECT_EQ(service_->CharToTextChar("\x93\xFA\x96\x7B\x8C\xEA", 6, units, 3, japanese, page), 3);

    char bytes[8];
    std::memset(bytes, 'x', sizeof bytes);
    std::u16string text = u"\u65E5\u672C\u8A9E";
    EXPECT_EQ(service_->TextCharToChar(Ptr(text), 3, bytes, 5, japanese, page), 0);
    EXPECT_EQ(bytes[0], 'x');
    // Exactly full: no room for the NUL, none written.
    EXPECT_EQ(service_->TextCharToChar(Ptr(text), 3, bytes, 6, japanese, page), 6);
    EXPECT_EQ(bytes[6], 'x');
    EXPECT_EQ(service_->TextCharToChar(Ptr(text), 3, bytes, 7, japanese, page), 6);
    EXPECT_EQ(bytes[6], '\0');
}

TEST_F(CodePages, BadArgumentsConvertNothing) {
    unsigned short units[8];
    char bytes[8];
    const unsigned short text[] = {'a', 'b', 0};
    auto script = WSE::kRomanScript;
    auto page = CPGE::kCodePageFromScript;
    EXPECT_EQ(service_->CharToTextChar(nullptr, 3, units, 8, script, page), 0);
    EXPECT_EQ(service_->CharToTextChar("abc", -2, units, 8, script, page), 0);
    EXPECT_EQ(service_->CharToTextChar("abc", 3, nullptr, 8, script, page), 0);
    EXPECT_EQ(service_->CharToTextChar("abc", 3, units, -5, script, page), 0);
    EXPECT_EQ(service_->TextCharToChar(nullptr, 2, bytes, 8, script, page), 0);
    EXPECT_EQ(service_->TextCharToChar(text, 2, bytes, 0, script, page), 0);
    // -1 reads up to and including the terminator, as the platform calls do.
    EXPECT_EQ(service_->CharToTextChar("abc", -1, units, 8, script, page), 4);
    EXPECT_EQ(units[3], 0);
    EXPECT_EQ(service_->TextCharToChar(text, -1, bytes, 8, script, page), 3);
    EXPECT_STREQ(bytes, "ab");
}

TEST_F(CodePages, FontAndExactOverloadsUseTheSystemDefault) {
    std::u16string text = u"\u00E9\u0416";
    char bytes[8] = {};
    short exact = 9;
    long long used = 9;
    EXPECT_EQ(service_->TextCharToChar(Ptr(text), 2, bytes, 8, static_cast<OBFont*>(nullptr)), 2);
    EXPECT_STREQ(bytes, "\xE9?");
    EXPECT_EQ(service_->TextCharToChar_Exact(Ptr(text), 2, bytes, 8, exact, used,
                                             static_cast<OBFont*>(nullptr)),
              2);
    EXPECT_EQ(service_->TextCharToChar_Exact(Ptr(text), 2, bytes, 8, exact, used,
                                             WSE::kCyrillicScript, CPGE::kCodePageFromScript),
              2);
    EXPECT_STREQ(bytes, "?\xC6");
    EXPECT_EQ(exact, 9); // the out-parameters are left alone
    EXPECT_EQ(used, 9);
    service_->SetEncoding(3); // accepted and ignored
}

TEST_F(CodePages, LongTextConvertsInOnePass) {
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 5000; ++i) {
        bytes += "\x93\xFA"
                 "a";
        expected += u"\u65E5a";
    }
    std::u16string units(bytes.size(), u'\0');
    long long produced = service_->CharToTextChar(
        bytes.data(), static_cast<long long>(bytes.size()),
        reinterpret_cast<unsigned short*>(&units[0]), static_cast<long long>(units.size()),
        WSE::kJapaneseScript, CPGE::kCodePageFromScript);
    ASSERT_EQ(produced, static_cast<long long>(expected.size()));
    units.resize(static_cast<std::size_t>(produced));
    EXPECT_EQ(units, expected);
}

// Each thread installs its own service and converts its own script while
// the other does the same.
TEST(CodePagesOnThreads, ThreadsConvertAtOnceWithTheirOwnServices) {
    std::atomic<int> failures{0};
    auto work = [&failures](const Sample& sample) {
        OBLumHandler::SetLumService(new OBConvertorLumService);
        OBLumService* service = OBLumHandler::GetLumService();
        if (!service) {
            ++failures;
            return;
        }
        long long n = static_cast<long long>(std::strlen(sample.bytes));
        for (int i = 0; i < 3000; ++i) {
            if (ToUnits(*service, sample.bytes, n, sample.script) != sample.text) ++failures;
            if (ToBytes(*service, sample.text, sample.script) != sample.bytes) ++failures;
        }
        // The service is still installed: it goes with the thread.
    };
    std::thread a(work, kSamples[0]); // Shift JIS
    std::thread b(work, kSamples[1]); // Big5
    std::thread c(work, kSamples[7]); // Cyrillic
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
