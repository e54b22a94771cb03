// Code pages named by their Windows number rather than by a writing script:
// round trips through pages that differ from the scripts' Windows pages,
// characters a page lacks, buffer limits, unknown pages, and threads that
// have no text service.
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

using Service = OBConvertorLumService;

long long Size(const std::u16string& s) {
    return static_cast<long long>(s.size());
}
long long Size(const std::string& s) {
    return static_cast<long long>(s.size());
}

std::string ToPage(unsigned codePage, const std::u16string& text) {
    char out[1024];
    long long produced = Service::TextCharToCodePage(codePage, Ptr(text), Size(text), out, 1024);
    return std::string(out, static_cast<std::size_t>(produced));
}

std::u16string FromPage(unsigned codePage, const std::string& bytes) {
    unsigned short out[1024];
    long long produced =
        Service::CodePageToTextChar(codePage, bytes.data(), Size(bytes), out, 1024);
    return U16(out, produced);
}

// The exact conversion: bytes of what was held, the units used, exactness.
struct Exact {
    std::string bytes;
    long long used = 0;
    short exact = 0;
};

Exact ToPageExact(unsigned codePage, const std::u16string& text) {
    Exact r;
    char out[2048];
    long long produced = Service::TextCharToCodePage_Exact(codePage, Ptr(text), Size(text), out,
                                                           2048, r.exact, r.used);
    r.bytes.assign(out, static_cast<std::size_t>(produced));
    return r;
}

struct Row {
    unsigned codePage;
    unsigned windowsPage; // the script's Windows page, which writes other bytes
    const char* bytes;
    std::u16string text;
};

const Row kRows[] = {
    // Mac OS Roman, with the increment sign and the logo where the C
    // library's own table has other characters.
    {10000, 1252, "caf\x8E \xDB \xAA\xBD\xC6\xF0\xDE",
     u"caf\u00E9 \u20AC \u2122\u03A9\u2206\uF8FF\uFB01"},
    {10029, 1250,
     "\xFC\x97"
     "d\x90",
     u"\u0141\u00F3d\u017A"},
    // EUC-JP: JIS X 0208, half-width katakana and a JIS X 0212 character
    // that Shift JIS lacks.
    {20932, 932, "\xC6\xFC\xCB\xDC\xB8\xEC\x8E\xB6\x8E\xC0\x8F\xB0\xA1",
     u"\u65E5\u672C\u8A9E\uFF76\uFF80\u4E02"},
    // EUC-JP with the characters of Shift JIS: circled digits (NEC row 13)
    // and the full-width tilde and minus where Shift JIS has them.
    {51932, 932, "\xAD\xA1\xA1\xC1\xA1\xDD\xC6\xFC\x8F\xB0\xA1", u"\u2460\uFF5E\uFF0D\u65E5\u4E02"},
    {28595, 1251, "\xBF\xE0\xD8\xD2\xD5\xE2", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
    {28597, 1253, "\xB6\xEB\xF6\xE1", u"\u0386\u03BB\u03C6\u03B1"},
};

TEST(ExplicitCodePages, PagesConvertBothWaysWithTheirOwnBytes) {
    for (const Row& row : kRows) {
        SCOPED_TRACE("code page " + std::to_string(row.codePage));
        ASSERT_EQ(Service::IsCodePageAvailable(row.codePage), 1);
        std::string bytes(row.bytes);
        EXPECT_EQ(ToPage(row.codePage, row.text), bytes);
        EXPECT_EQ(FromPage(row.codePage, bytes), row.text);
        Exact exact = ToPageExact(row.codePage, row.text);
        EXPECT_EQ(exact.bytes, bytes);
        EXPECT_EQ(exact.used, Size(row.text));
        EXPECT_EQ(exact.exact, 1);
        EXPECT_NE(ToPage(row.windowsPage, row.text), bytes) << "not the Windows page";
    }
}

TEST(ExplicitCodePages, ACharacterThePageLacksIsReplacedOrEndsTheExactConversion) {
    EXPECT_EQ(ToPage(10000, u"a\u65E5b"), "a?b");
    EXPECT_EQ(ToPage(10000, u"\u0394"), "?") << "Mac OS Roman has the increment, not delta";
    EXPECT_EQ(ToPage(28591, u"a\U0001F600b"), "a?b") << "one '?' for a surrogate pair";

    Exact r = ToPageExact(10000, u"ab\u65E5c");
    EXPECT_EQ(r.bytes, "ab");
    EXPECT_EQ(r.used, 2);
    EXPECT_EQ(r.exact, 0);
    r = ToPageExact(10000, u"\u65E5c");
    EXPECT_EQ(r.bytes, "");
    EXPECT_EQ(r.used, 0) << "the very first character";
    EXPECT_EQ(r.exact, 0);

    // Circled digits are in Shift JIS, not in EUC-JP.
    r = ToPageExact(20932, u"\u65E5\u2460\u672C");
    EXPECT_EQ(r.bytes, "\xC6\xFC");
    EXPECT_EQ(r.used, 1);
    EXPECT_EQ(r.exact, 0);

    // A character whose bytes read back as another one is not held exactly:
    // the wave dash of Shift JIS reads back as the full-width tilde.
    r = ToPageExact(932, u"a\u301Cb");
    EXPECT_EQ(r.bytes, "a");
    EXPECT_EQ(r.used, 1);
    EXPECT_EQ(FromPage(932, "\x81\x60"), u"\uFF5E");
    EXPECT_EQ(ToPageExact(932, u"a\uFF5E").exact, 1);

    for (unsigned codePage : {28591u, 20932u}) {
        r = ToPageExact(codePage, u"a\U0001F600b");
        EXPECT_EQ(r.used, 1) << codePage;
        r = ToPageExact(codePage, std::u16string(u"ab") + char16_t(0xDC00) + u"c");
        EXPECT_EQ(r.used, 2) << "an unpaired surrogate, code page " << codePage;
        EXPECT_EQ(r.exact, 0);
    }
}

TEST(ExplicitCodePages, LongTextStopsAtTheRightCharacter) {
    // Far beyond any piece the conversion works in, in both kinds of page.
    std::u16string text(300, u'\u65E5');
    Exact r = ToPageExact(20932, text + u"\u2460x");
    EXPECT_EQ(r.used, 300);
    EXPECT_EQ(r.bytes.size(), 600u);
    r = ToPageExact(932, std::u16string(150, u'a') + u"\u65E5\u301C" + text);
    EXPECT_EQ(r.used, 151);
    EXPECT_EQ(r.bytes, std::string(150, 'a') + "\x93\xFA");
    r = ToPageExact(28595, std::u16string(200, u'\u0416') + u"\u65E5");
    EXPECT_EQ(r.used, 200);
    EXPECT_EQ(r.bytes, std::string(200, '\xB6'));

    // A surrogate pair that straddles where one piece would end stays whole.
    for (long long before = 60; before < 70; ++before) {
        std::u16string pairs =
            std::u16string(static_cast<std::size_t>(before), u'a') + u"\U0001F600" + u"\U0001F600b";
        r = ToPageExact(65001, pairs);
        EXPECT_EQ(r.exact, 1) << before;
        EXPECT_EQ(r.bytes, std::string(static_cast<std::size_t>(before), 'a') +
                               "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"
                               "b");
    }
}

TEST(ExplicitCodePages, AResultThatDoesNotFitLeavesTheOutputAlone) {
    const std::u16string text = u"\u65E5\u672C";
    char bytes[8];
    std::memset(bytes, 'x', sizeof bytes);
    EXPECT_EQ(Service::TextCharToCodePage(20932, Ptr(text), 2, bytes, 3), 0);
    EXPECT_EQ(bytes[0], 'x');
    short exact = 9;
    long long used = 9;
    EXPECT_EQ(Service::TextCharToCodePage_Exact(20932, Ptr(text), 2, bytes, 3, exact, used), 0);
    EXPECT_EQ(bytes[0], 'x');
    EXPECT_EQ(exact, 0);
    EXPECT_EQ(used, -1) << "a failure, not a lacking first character";

    // Exactly full: no room for the NUL, none written; with room, a NUL.
    EXPECT_EQ(Service::TextCharToCodePage(20932, Ptr(text), 2, bytes, 4), 4);
    EXPECT_EQ(bytes[4], 'x');
    EXPECT_EQ(Service::TextCharToCodePage_Exact(20932, Ptr(text), 2, bytes, 4, exact, used), 4);
    EXPECT_EQ(exact, 1);
    EXPECT_EQ(bytes[4], 'x');
    EXPECT_EQ(Service::TextCharToCodePage(20932, Ptr(text), 2, bytes, 5), 4);
    EXPECT_EQ(bytes[4], '\0');

    unsigned short units[4] = {7, 7, 7, 7};
    EXPECT_EQ(Service::CodePageToTextChar(28595, "\xBF\xE0\xD8", 3, units, 2), 0);
    EXPECT_EQ(units[0], 7);
    EXPECT_EQ(Service::CodePageToTextChar(28595, "\xBF\xE0\xD8", 3, units, 3), 3);
    EXPECT_EQ(units[2], 0x0438);

    // Larger than the conversions keep on the stack, and still exact.
    std::u16string big(3000, u'\u00E9');
    std::string out(3000, '\0');
    EXPECT_EQ(Service::TextCharToCodePage_Exact(10000, Ptr(big), Size(big), &out[0], Size(out),
                                                exact, used),
              3000);
    EXPECT_EQ(out, std::string(3000, '\x8E'));
    EXPECT_EQ(Service::TextCharToCodePage_Exact(10000, Ptr(big), Size(big), &out[0], Size(out) - 1,
                                                exact, used),
              0);
    EXPECT_EQ(used, -1);
}

TEST(ExplicitCodePages, UnknownPagesAndBadArgumentsConvertNothing) {
    for (unsigned unknown : {12345u, 1u, 65535u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(unknown);
        EXPECT_EQ(Service::IsCodePageAvailable(unknown), 0);
        EXPECT_EQ(ToPage(unknown, u"abc"), "");
        EXPECT_EQ(FromPage(unknown, "abc"), u"");
        Exact r = ToPageExact(unknown, u"abc");
        EXPECT_EQ(r.bytes, "");
        EXPECT_EQ(r.used, -1);
        EXPECT_EQ(r.exact, 0);
    }
    for (unsigned known : {0u, 10000u, 10007u, 10029u, 20932u, 51932u, 28591u, 28599u, 65001u})
        EXPECT_EQ(Service::IsCodePageAvailable(known), 1) << known;

    const unsigned short text[] = {0x0416, 'a', 0};
    char bytes[8] = {};
    unsigned short units[8] = {};
    short exact = 9;
    long long used = 9;
    EXPECT_EQ(Service::TextCharToCodePage(28595, nullptr, 2, bytes, 8), 0);
    EXPECT_EQ(Service::TextCharToCodePage(28595, text, 0, bytes, 8), 0);
    EXPECT_EQ(Service::TextCharToCodePage(28595, text, -2, bytes, 8), 0);
    EXPECT_EQ(Service::TextCharToCodePage(28595, text, 2, nullptr, 8), 0);
    EXPECT_EQ(Service::TextCharToCodePage(28595, text, 2, bytes, 0), 0);
    EXPECT_EQ(Service::CodePageToTextChar(28595, nullptr, 2, units, 8), 0);
    EXPECT_EQ(Service::CodePageToTextChar(28595, "ab", 2, units, -1), 0);
    EXPECT_EQ(Service::TextCharToCodePage_Exact(28595, text, 2, bytes, -3, exact, used), 0);
    EXPECT_EQ(used, -1);

    // -1 reads up to and including the terminator, as the text service does.
    EXPECT_EQ(Service::TextCharToCodePage(28595, text, -1, bytes, 8), 3);
    EXPECT_STREQ(bytes, "\xB6"
                        "a");
    EXPECT_EQ(Service::TextCharToCodePage_Exact(28595, text, -1, bytes, 8, exact, used), 3);
    EXPECT_EQ(used, 3);
    EXPECT_EQ(exact, 1);
    EXPECT_EQ(Service::CodePageToTextChar(28595,
                                          "\xB6"
                                          "a",
                                          -1, units, 8),
              3);
    EXPECT_EQ(U16(units), u"\u0416a");

    // Code page 0 is the system default, Windows-1252 unless set otherwise.
    ASSERT_EQ(Service::GetSystemCodePage(), 1252u);
    EXPECT_EQ(ToPage(0, u"\u00E9\u20AC"), "\xE9\x80");
}

TEST(ExplicitCodePages, InvalidBytesReadAsReplacementCharacters) {
    EXPECT_EQ(FromPage(20932, "\xC6\xFC\xFF"
                              "a"),
              u"\u65E5\uFFFD"
              u"a");
    EXPECT_EQ(FromPage(20932, "a\xC6"), u"a\uFFFD") << "a lead byte cut off at the end";
}

// No text service is needed, and each thread keeps its own converters.
TEST(ExplicitCodePages, ThreadsWithoutATextServiceConvertAtOnce) {
    std::atomic<int> failures{0};
    auto work = [&failures](const Row& row) {
        if (OBLumHandler::GetLumService() != nullptr) ++failures;
        std::string bytes(row.bytes);
        for (int i = 0; i < 2000; ++i) {
            Exact r = ToPageExact(row.codePage, row.text + u"\u2460");
            if (r.bytes != bytes || r.used != Size(row.text)) ++failures;
            if (FromPage(row.codePage, bytes) != row.text) ++failures;
        }
    };
    std::thread a(work, kRows[0]); // Mac OS Roman
    std::thread b(work, kRows[2]); // EUC-JP
    std::thread c(work, kRows[2]);
    std::thread d(work, kRows[4]); // ISO 8859-5
    a.join();
    b.join();
    c.join();
    d.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
