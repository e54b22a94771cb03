// Code pages, named by a writing script (the text service) or by their
// Windows number, and UTF-8: round trips, replacement of what a page cannot
// hold, the exact conversion, lenient and malformed UTF-8, buffer limits,
// bad arguments, threads and memory failure.
#include <ombra/convertorlumservice.h>
#include <ombra/textservice.h>
#include <ombra/utf8.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using ombra_test::Ptr;
using ombra_test::U16;

namespace {

using Service = OBConvertorLumService;
constexpr auto kFromScript = CPGE::kCodePageFromScript;

template <class S> long long Size(const S& s) {
    return static_cast<long long>(s.size());
}
std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}
WSE::WritingScriptEnum Script(int n) {
    return static_cast<WSE::WritingScriptEnum>(n);
}

std::u16string ToUnits(OBLumService& service, const std::string& bytes, int script) {
    unsigned short out[64];
    return U16(out, service.CharToTextChar(bytes.data(), Size(bytes), out, 64, Script(script),
                                           kFromScript));
}

std::string ToBytes(OBLumService& service, const std::u16string& text, int script) {
    char out[64];
    long long n =
        service.TextCharToChar(Ptr(text), Size(text), out, 64, Script(script), kFromScript);
    return std::string(out, static_cast<std::size_t>(n));
}

std::string ToPage(unsigned codePage, const std::u16string& text) {
    char out[1024];
    long long produced = Service::TextCharToCodePage(codePage, Ptr(text), Size(text), out, 1024);
    return std::string(out, static_cast<std::size_t>(produced));
}

std::u16string FromPage(unsigned codePage, const std::string& bytes) {
    unsigned short out[1024];
    return U16(out, Service::CodePageToTextChar(codePage, bytes.data(), Size(bytes), out, 1024));
}

// The exact conversion: bytes of what was held, the units used, exactness.
struct Exact {
    std::string bytes;
    long long used = 0;
    short exact = 0;
    bool operator==(const Exact& o) const {
        return bytes == o.bytes && used == o.used && exact == o.exact;
    }
};
std::ostream& operator<<(std::ostream& out, const Exact& r) {
    return out << "{" << ::testing::PrintToString(r.bytes) << ", " << r.used << ", " << r.exact
               << "}";
}

Exact ToPageExact(unsigned codePage, const std::u16string& text) {
    Exact r;
    char out[2048];
    long long produced = Service::TextCharToCodePage_Exact(codePage, Ptr(text), Size(text), out,
                                                           2048, r.exact, r.used);
    r.bytes.assign(out, static_cast<std::size_t>(produced));
    return r;
}

// Real words in each script's code page, with their code points.
const struct Sample {
    int script;
    std::string bytes;
    std::u16string text;
} kSamples[] = {
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

// Pages named by number, with the Windows page of the same script, which
// writes other bytes.
const struct Row {
    unsigned codePage, windowsPage;
    std::string bytes;
    std::u16string text;
} kRows[] = {
    // Mac OS Roman, with the increment sign and the logo where the C
    // library's own table has other characters.
    {10000, 1252, "caf\x8E \xDB \xAA\xBD\xC6\xF0\xDE",
     u"caf\u00E9 \u20AC \u2122\u03A9\u2206\uF8FF\uFB01"},
    {10029, 1250,
     "\xFC\x97"
     "d\x90",
     u"\u0141\u00F3d\u017A"},
    // EUC-JP: JIS X 0208, half-width katakana and a JIS X 0212 character
    // that Shift JIS lacks; then the characters of Shift JIS (NEC row 13,
    // the full-width tilde and minus) in the 51932 variant.
    {20932, 932, "\xC6\xFC\xCB\xDC\xB8\xEC\x8E\xB6\x8E\xC0\x8F\xB0\xA1",
     u"\u65E5\u672C\u8A9E\uFF76\uFF80\u4E02"},
    {51932, 932, "\xAD\xA1\xA1\xC1\xA1\xDD\xC6\xFC\x8F\xB0\xA1", u"\u2460\uFF5E\uFF0D\u65E5\u4E02"},
    {28595, 1251, "\xBF\xE0\xD8\xD2\xD5\xE2", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
    {28597, 1253, "\xB6\xEB\xF6\xE1", u"\u0386\u03BB\u03C6\u03B1"},
};

using CodePages = ombra_test::WithTextService;

TEST_F(CodePages, EachScriptConvertsBothWaysWithoutLoss) {
    for (const Sample& sample : kSamples) {
        std::u16string units = ToUnits(*service_, sample.bytes, sample.script);
        EXPECT_EQ(units, sample.text) << sample.script;
        EXPECT_EQ(ToBytes(*service_, units, sample.script), sample.bytes) << sample.script;
    }
    for (int script : {0, 8, 32, 39, -1, 0x40000000}) // the system default's
        EXPECT_EQ(Service::ScriptToCodePage(Script(script)), 0u) << script;
}

TEST(ExplicitCodePages, PagesConvertBothWaysWithTheirOwnBytes) {
    for (const Row& row : kRows) {
        SCOPED_TRACE("code page " + std::to_string(row.codePage));
        ASSERT_EQ(Service::IsCodePageAvailable(row.codePage), 1);
        EXPECT_EQ(ToPage(row.codePage, row.text), row.bytes);
        EXPECT_EQ(FromPage(row.codePage, row.bytes), row.text);
        EXPECT_EQ(ToPageExact(row.codePage, row.text), (Exact{row.bytes, Size(row.text), 1}));
        EXPECT_NE(ToPage(row.windowsPage, row.text), row.bytes) << "not the Windows page";
    }
}

// Every byte of every single-byte page that reads as a character writes
// back as that byte.
TEST(ExplicitCodePages, EverySingleByteRoundTrips) {
    for (unsigned page : {1250u, 1251u, 1252u, 1253u, 1254u, 1257u, 10000u, 10007u, 10029u, 28591u,
                          28595u, 28597u, 28599u}) {
        ASSERT_EQ(Service::IsCodePageAvailable(page), 1) << page;
        for (int b = 1; b < 256; ++b) {
            std::string byte(1, static_cast<char>(b));
            std::u16string text = FromPage(page, byte);
            ASSERT_EQ(text.size(), 1u) << page << " " << b;
            EXPECT_TRUE(text[0] == u'\uFFFD' || ToPage(page, text) == byte) << page << " " << b;
        }
    }
}

TEST_F(CodePages, WhatAPageCannotHoldOrReadIsReplaced) {
    const struct {
        int script;
        std::u16string text;
        std::string bytes;
    } unheld[] = {
        {7, u"A\u65E5\u672CB", "A??B"},
        {25, u"x\U0001F600y", "x?y"}, // outside the BMP: one character
        {0,
         u"a\xD800"
         u"b\xDC00",
         "a?b?"},
        {1, u"a\xD83D", "a?"},
        {7, u"\u0098", "\x98"}, // C1 controls are held
    };
    for (const auto& row : unheld)
        EXPECT_EQ(ToBytes(*service_, row.text, row.script), row.bytes) << row.script;
    const struct {
        int script;
        std::string bytes;
        std::u16string text;
    } unread[] = {
        {1, "\x82 a\x82", u"\uFFFD a\uFFFD"},         // a lead byte without its trail
        {6, "\xC1\xAA\xC1", u"\u0391\uFFFD\u0391"},   // undefined in Greek
        {0, "a\x81\x8D\x9D", u"a\u0081\u008D\u009D"}, // C1 controls survive
        {2, "\xA4\x0A", u"\uFFFD\n"},                 // a Big5 lead before no trail
    };
    for (const auto& row : unread)
        EXPECT_EQ(ToUnits(*service_, row.bytes, row.script), row.text) << row.script;
    EXPECT_EQ(ToBytes(*service_, u"a\u0081\u008D\u009D", 0), "a\x81\x8D\x9D");

    EXPECT_EQ(ToPage(10000, u"a\u65E5b"), "a?b");
    EXPECT_EQ(ToPage(10000, u"\u0394"), "?") << "Mac OS Roman has the increment, not delta";
    EXPECT_EQ(ToPage(28591, u"a\U0001F600b"), "a?b") << "one '?' for a surrogate pair";
    EXPECT_EQ(FromPage(20932, "\xC6\xFC\xFF"
                              "a"),
              u"\u65E5\uFFFD"
              u"a");
    EXPECT_EQ(FromPage(20932, "a\xC6"), u"a\uFFFD") << "a lead byte cut off at the end";
}

TEST(ExplicitCodePages, ACharacterThePageLacksEndsTheExactConversion) {
    const struct {
        unsigned page;
        std::u16string text;
        Exact expected;
    } rows[] = {
        {10000, u"ab\u65E5c", {"ab", 2, 0}},
        {10000, u"\u65E5c", {"", 0, 0}},                    // the very first character
        {20932, u"\u65E5\u2460\u672C", {"\xC6\xFC", 1, 0}}, // circled digits: Shift JIS only
        // The wave dash of Shift JIS reads back as the full-width tilde.
        {932, u"a\u301Cb", {"a", 1, 0}},
        {932, u"a\uFF5E", {"a\x81\x60", 2, 1}},
        {28591, u"a\U0001F600b", {"a", 1, 0}},
        {20932, u"a\U0001F600b", {"a", 1, 0}},
        {28591,
         u"ab\xDC00"
         u"c",
         {"ab", 2, 0}}, // an unpaired surrogate
        {20932,
         u"ab\xDC00"
         u"c",
         {"ab", 2, 0}},
        // Far beyond any piece the conversion works in.
        {20932, std::u16string(300, u'\u65E5') + u"\u2460x", {Repeat("\xC6\xFC", 300), 300, 0}},
        {932,
         std::u16string(150, u'a') + u"\u65E5\u301C",
         {std::string(150, 'a') + "\x93\xFA", 151, 0}},
        {28595, std::u16string(200, u'\u0416') + u"\u65E5", {std::string(200, '\xB6'), 200, 0}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ToPageExact(row.page, row.text), row.expected) << row.page;
    EXPECT_EQ(FromPage(932, "\x81\x60"), u"\uFF5E");

    // A surrogate pair that straddles where one piece would end stays whole.
    for (std::size_t before = 60; before < 70; ++before) {
        std::string a(before, 'a');
        EXPECT_EQ(ToPageExact(65001, std::u16string(before, u'a') + u"\U0001F600\U0001F600b"),
                  (Exact{a + "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"
                             "b",
                         Size(a) + 5, 1}));
    }
}

TEST_F(CodePages, TheHostChoosesTheSystemDefault) {
    EXPECT_EQ(Service::GetSystemCodePage(), 1252u);
    EXPECT_EQ(Service::SetSystemCodePage(99999) + Service::SetSystemCodePage(0), 0);
    EXPECT_EQ(Service::GetSystemCodePage(), 1252u);
    EXPECT_EQ(ToPage(0, u"\u00E9\u20AC"), "\xE9\x80");

    ASSERT_EQ(Service::SetSystemCodePage(1251), 1);
    EXPECT_EQ(ToUnits(*service_, "\xCF", 32), u"\u041F");
    EXPECT_EQ(ToUnits(*service_, "\xCF", 0), u"\u041F");
    EXPECT_EQ(ToUnits(*service_, "\xCF", 6), u"\u039F"); // Greek keeps its own page
    ASSERT_EQ(Service::SetSystemCodePage(65001), 1);     // surrogate pairs survive UTF-8
    std::u16string text = u"a\U0001F600\u00E9";
    EXPECT_EQ(ToBytes(*service_, text, 0), "a\xF0\x9F\x98\x80\xC3\xA9");
    EXPECT_EQ(ToUnits(*service_, "a\xF0\x9F\x98\x80\xC3\xA9", 32), text);
    ASSERT_EQ(Service::SetSystemCodePage(1252), 1);
    EXPECT_EQ(ToUnits(*service_, "\xCF", 32), u"\u00CF");
}

// A result that does not fit gives 0 and leaves the output alone; exactly
// full leaves no room for the NUL and writes none; with room, a NUL.
TEST_F(CodePages, AResultThatDoesNotFitLeavesTheOutputAlone) {
    const std::u16string text = u"\u65E5\u672C\u8A9E";
    auto toJapanese = [&](char* out, long long room) {
        return service_->TextCharToChar(Ptr(text), 3, out, room, WSE::kJapaneseScript, kFromScript);
    };
    auto toEucJp = [&](char* out, long long room) {
        return Service::TextCharToCodePage(20932, Ptr(text), 2, out, room);
    };
    auto toEucJpExact = [&](char* out, long long room) {
        short exact = 9;
        long long used = 9;
        long long n =
            Service::TextCharToCodePage_Exact(20932, Ptr(text), 2, out, room, exact, used);
        EXPECT_EQ(exact, n ? 1 : 0);
        EXPECT_EQ(used, n ? 2 : -1) << "a failure, not a lacking first character";
        return n;
    };
    const struct {
        std::function<long long(char*, long long)> convert;
        long long full;
    } rows[] = {{toJapanese, 6}, {toEucJp, 4}, {toEucJpExact, 4}};
    for (const auto& row : rows) {
        char bytes[8];
        std::memset(bytes, 'x', sizeof bytes);
        EXPECT_EQ(row.convert(bytes, row.full - 1), 0);
        EXPECT_EQ(bytes[0], 'x');
        EXPECT_EQ(row.convert(bytes, row.full), row.full);
        EXPECT_EQ(bytes[row.full], 'x');
        EXPECT_EQ(row.convert(bytes, row.full + 1), row.full);
        EXPECT_EQ(bytes[row.full], '\0');
    }
    unsigned short units[4] = {7, 7, 7, 7};
    EXPECT_EQ(service_->CharToTextChar("\x93\xFA\x96\x7B\x8C\xEA", 6, units, 2,
                                       WSE::kJapaneseScript, kFromScript),
              0);
    EXPECT_EQ(Service::CodePageToTextChar(28595, "\xBF\xE0\xD8", 3, units, 2), 0);
    EXPECT_EQ(units[0], 7);
    EXPECT_EQ(Service::CodePageToTextChar(28595, "\xBF\xE0\xD8", 3, units, 3), 3);
    EXPECT_EQ(units[2], 0x0438);

    // Larger than the conversions keep on the stack, and still exact.
    std::u16string big(3000, u'\u00E9');
    std::string out(3000, '\0');
    short exact = 0;
    long long used = 0;
    EXPECT_EQ(Service::TextCharToCodePage_Exact(10000, Ptr(big), 3000, &out[0], 3000, exact, used),
              3000);
    EXPECT_EQ(out, std::string(3000, '\x8E'));
    EXPECT_EQ(Service::TextCharToCodePage_Exact(10000, Ptr(big), 3000, &out[0], 2999, exact, used),
              0);
    EXPECT_EQ(used, -1);

    std::string many;
    std::u16string expected;
    for (int i = 0; i < 5000; ++i) {
        many += "\x93\xFA"
                "a";
        expected += u"\u65E5a";
    }
    std::vector<unsigned short> read(many.size());
    long long produced = service_->CharToTextChar(many.data(), Size(many), read.data(), Size(read),
                                                  WSE::kJapaneseScript, kFromScript);
    EXPECT_EQ(U16(read.data(), produced), expected);
}

TEST_F(CodePages, UnknownPagesAndBadArgumentsConvertNothing) {
    for (unsigned unknown : {12345u, 1u, 65535u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Service::IsCodePageAvailable(unknown), 0);
        EXPECT_EQ(ToPage(unknown, u"abc"), "");
        EXPECT_EQ(FromPage(unknown, "abc"), u"");
        EXPECT_EQ(ToPageExact(unknown, u"abc"), (Exact{"", -1, 0}));
    }
    for (unsigned known : {0u, 10000u, 10007u, 10029u, 20932u, 51932u, 28591u, 28599u, 65001u})
        EXPECT_EQ(Service::IsCodePageAvailable(known), 1) << known;

    const unsigned short text[] = {0x0416, 'a', 0};
    char bytes[8] = {};
    unsigned short units[8] = {};
    short exact = 9;
    long long used = 9;
    auto roman = WSE::kRomanScript;
    const long long nothing[] = {
        service_->CharToTextChar(nullptr, 3, units, 8, roman, kFromScript),
        service_->CharToTextChar("abc", -2, units, 8, roman, kFromScript),
        service_->CharToTextChar("abc", 3, nullptr, 8, roman, kFromScript),
        service_->CharToTextChar("abc", 3, units, -5, roman, kFromScript),
        service_->TextCharToChar(nullptr, 2, bytes, 8, roman, kFromScript),
        service_->TextCharToChar(text, 2, bytes, 0, roman, kFromScript),
        Service::TextCharToCodePage(28595, nullptr, 2, bytes, 8),
        Service::TextCharToCodePage(28595, text, 0, bytes, 8),
        Service::TextCharToCodePage(28595, text, -2, bytes, 8),
        Service::TextCharToCodePage(28595, text, 2, nullptr, 8),
        Service::TextCharToCodePage(28595, text, 2, bytes, 0),
        Service::CodePageToTextChar(28595, nullptr, 2, units, 8),
        Service::CodePageToTextChar(28595, "ab", 2, units, -1),
        Service::TextCharToCodePage_Exact(28595, text, 2, bytes, -3, exact, used),
    };
    for (long long n : nothing)
        EXPECT_EQ(n, 0);
    EXPECT_EQ(used, -1);

    // -1 reads up to and including the terminator, as the platform calls do.
    EXPECT_EQ(service_->CharToTextChar("abc", -1, units, 8, roman, kFromScript), 4);
    EXPECT_EQ(units[3], 0);
    EXPECT_EQ(service_->TextCharToChar(text + 1, -1, bytes, 8, roman, kFromScript), 2);
    EXPECT_STREQ(bytes, "a");
    EXPECT_EQ(Service::TextCharToCodePage(28595, text, -1, bytes, 8), 3);
    EXPECT_STREQ(bytes, "\xB6"
                        "a");
    EXPECT_EQ(Service::TextCharToCodePage_Exact(28595, text, -1, bytes, 8, exact, used), 3);
    EXPECT_EQ(std::make_pair(used, exact), std::make_pair(3LL, short(1)));
    EXPECT_EQ(Service::CodePageToTextChar(28595,
                                          "\xB6"
                                          "a",
                                          -1, units, 8),
              3);
    EXPECT_EQ(U16(units), u"\u0416a");
}

TEST_F(CodePages, FontAndExactOverloadsUseTheSystemDefault) {
    std::u16string text = u"\u00E9\u0416";
    char bytes[8] = {};
    short exact = 9;
    long long used = 9;
    auto* noFont = static_cast<OBFont*>(nullptr);
    EXPECT_EQ(service_->TextCharToChar(Ptr(text), 2, bytes, 8, noFont), 2);
    EXPECT_STREQ(bytes, "\xE9?");
    EXPECT_EQ(service_->TextCharToChar_Exact(Ptr(text), 2, bytes, 8, exact, used, noFont), 2);
    EXPECT_EQ(service_->TextCharToChar_Exact(Ptr(text), 2, bytes, 8, exact, used,
                                             WSE::kCyrillicScript, kFromScript),
              2);
    EXPECT_STREQ(bytes, "?\xC6");
    EXPECT_EQ(std::make_pair(exact, used), std::make_pair(short(9), 9LL)); // left alone
    service_->SetEncoding(3);                                              // accepted and ignored
}

// Threads convert at once: with services of their own for scripts, without
// any for pages named by number (each keeps its own converters).
TEST(CodePagesOnThreads, ThreadsConvertAtOnce) {
    std::atomic<int> failures{0};
    auto scripts = [&failures](const Sample& sample) {
        OBLumHandler::SetLumService(new OBConvertorLumService); // goes with the thread
        OBLumService* service = OBLumHandler::GetLumService();
        for (int i = 0; service && i < 3000; ++i)
            failures += (ToUnits(*service, sample.bytes, sample.script) != sample.text) +
                        (ToBytes(*service, sample.text, sample.script) != sample.bytes);
        failures += !service;
    };
    auto pages = [&failures](const Row& row) {
        failures += OBLumHandler::GetLumService() != nullptr;
        for (int i = 0; i < 2000; ++i)
            failures += !(ToPageExact(row.codePage, row.text + u"\u2460") ==
                          Exact{row.bytes, Size(row.text), 0}) +
                        (FromPage(row.codePage, row.bytes) != row.text);
    };
    std::vector<std::thread> threads;
    for (int i : {0, 1, 7}) // Shift JIS, Big5, Cyrillic
        threads.emplace_back(scripts, kSamples[i]);
    for (int i : {0, 2, 2, 4}) // Mac OS Roman, EUC-JP twice, ISO 8859-5
        threads.emplace_back(pages, kRows[i]);
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
}

std::string ToUTF8(const std::u16string& units) {
    COBString out("junk", WSE::kJapaneseScript);
    OBStringUtils::ConvertUTF16StringToUTF8(reinterpret_cast<const unsigned short*>(units.data()),
                                            units.size(), out);
    EXPECT_EQ(out.GetWSEScript(), WSE::kSystemScript);
    return std::string(out.GrabCString(), static_cast<std::size_t>(out.Length()));
}

struct Decoded {
    short result;
    std::u16string units;
};

Decoded FromUTF8(const std::string& bytes) {
    WOBString out(reinterpret_cast<const unsigned short*>(u"junk"));
    short result = OBStringUtils::ConvertUTF8ToUTF16String(bytes.data(), bytes.size(), out);
    return {result, U16(out.GrabWString(), out.Length())};
}

// Every code point (the supplementary planes sampled) round-trips in as many
// bytes as its range takes, alone and in one long text that crosses the
// conversion's internal chunks.
TEST(UTF8, EveryCodePointRoundTripsInItsLength) {
    std::u16string all;
    std::string bytes;
    for (char32_t c = 1; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 97) {
        if (c >= 0xD800 && c < 0xE000) continue;
        std::u16string units(1, char16_t(c));
        if (c >= 0x10000) units = {char16_t(0xD7C0 + (c >> 10)), char16_t(0xDC00 | (c & 0x3FF))};
        std::string one = ToUTF8(units);
        ASSERT_EQ(one.size(), c < 0x80 ? 1u : c < 0x800 ? 2u : c < 0x10000 ? 3u : 4u) << c;
        ASSERT_EQ(FromUTF8(one).units, units) << c;
        all += units;
        bytes += one;
    }
    EXPECT_EQ(ToUTF8(all), bytes);
    Decoded back = FromUTF8(bytes);
    EXPECT_EQ(back.result, 1);
    EXPECT_TRUE(back.units == all);
    EXPECT_EQ(ToUTF8(u"\U0010FFFF\u00E9\u20AC"), "\xF4\x8F\xBF\xBF\xC3\xA9\xE2\x82\xAC");
    Decoded empty = FromUTF8("");
    EXPECT_TRUE(empty.result == 1 && empty.units.empty());
}

TEST(UTF8, UnpairedSurrogatesAreEncodedAsTheyStand) {
    EXPECT_EQ(ToUTF8(std::u16string(1, char16_t(0xD800))), "\xED\xA0\x80");
    EXPECT_EQ(ToUTF8(std::u16string(1, char16_t(0xDC00))), "\xED\xB0\x80");
    // A high surrogate followed by something else, and one at the very end.
    std::u16string text = {char16_t(0xD83D), u'a', char16_t(0xD83D)};
    EXPECT_EQ(ToUTF8(text), "\xED\xA0\xBD"
                            "a"
                            "\xED\xA0\xBD");
    // Reversed pair: two lone surrogates.
    std::u16string reversed = {char16_t(0xDE00), char16_t(0xD83D)};
    EXPECT_EQ(ToUTF8(reversed), "\xED\xB8\x80\xED\xA0\xBD");
}

TEST(UTF8, Latin1ToUTF8) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    COBString out;
    OBStringUtils::ConvertCStringToUTF8(reinterpret_cast<const unsigned char*>(all.data()),
                                        all.size(), out);
    std::u16string expected;
    for (int b = 1; b < 256; ++b)
        expected.push_back(static_cast<char16_t>(b));
    EXPECT_EQ(std::string(out.GrabCString(), static_cast<std::size_t>(out.Length())),
              ToUTF8(expected));
    EXPECT_EQ(out.GetWSEScript(), WSE::kSystemScript);

    unsigned char ff = 0xFF;
    OBStringUtils::ConvertCStringToUTF8(&ff, 1, out);
    EXPECT_STREQ(out.GrabCString(), "\xC3\xBF");
    // NUL bytes are text too.
    const unsigned char withNul[] = {'a', 0, 'b'};
    OBStringUtils::ConvertCStringToUTF8(withNul, 3, out);
    EXPECT_EQ(out.Length(), 3);
    std::string latin(20000, '\xE9'); // across the internal chunks
    OBStringUtils::ConvertCStringToUTF8(reinterpret_cast<const unsigned char*>(latin.data()),
                                        latin.size(), out);
    EXPECT_EQ(out.Length(), 40000);
}

TEST(UTF8, LenientReading) {
    // Continuation bytes are not checked; a stray one reads as a two-byte lead.
    EXPECT_EQ(FromUTF8("\x80\x41").units, std::u16string(1, char16_t(0x0001)));
    // Overlong forms are taken.
    EXPECT_EQ(FromUTF8("\xC0\xAF").units, u"/");
    EXPECT_EQ(FromUTF8("\xE0\x80\xAF").units, u"/");
    // Encoded surrogates come back as the units they encode.
    EXPECT_EQ(FromUTF8("\xED\xA0\x80").units, std::u16string(1, char16_t(0xD800)));
    // An embedded NUL is a unit like any other.
    Decoded nul = FromUTF8(std::string("a\0b", 3));
    EXPECT_EQ(nul.units, std::u16string(u"a\0b", 3));
}

TEST(UTF8, MalformedInputStopsAndKeepsWhatCameBefore) {
    Decoded truncated = FromUTF8("a\xC3");
    EXPECT_EQ(truncated.result, 0);
    EXPECT_EQ(truncated.units, u"a");

    Decoded f8 = FromUTF8("\xF8");
    EXPECT_EQ(f8.result, 0);
    EXPECT_EQ(f8.units, u"");

    Decoded late = FromUTF8("ab\xE2\x82\xAC"
                            "c\xFF"
                            "d");
    EXPECT_EQ(late.result, 0);
    EXPECT_EQ(late.units, u"ab\u20AC"
                          u"c");

    EXPECT_EQ(FromUTF8("x\xF0\x9F\x98").units, u"x");

    WOBString out;
    EXPECT_EQ(OBStringUtils::ConvertUTF8ToUTF16String(nullptr, 3, out), 0);
    EXPECT_EQ(OBStringUtils::ConvertUTF8ToUTF16String(nullptr, 0, out), 1);
}

TEST(UTF8, RunningOutOfMemoryIsReportedAndWhatFittedIsKept) {
    std::string bytes(100000, 'a'); // more than one step of the conversion
    ombra_test::SweepAllocationFailures([&] {
        WOBString out;
        short ok = OBStringUtils::ConvertUTF8ToUTF16String(bytes.data(), bytes.size(), out);
        EXPECT_EQ(out.Length() == 100000, ok == 1);
        for (long long i = 0; i < out.Length(); ++i)
            if (out.GrabWString()[i] != 'a') return false;
        return ok == 1;
    });
}

} // namespace
