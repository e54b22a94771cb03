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
#include <tuple>
#include <utility>
#include <vector>

using ombra_test::BytesOf;
using ombra_test::Ptr;
using ombra_test::U16;
using ombra_test::UnitsOf;

namespace {

using Service = OBConvertorLumService;
constexpr auto kFromScript = CPGE::kCodePageFromScript;

template <class S> long long Size(const S& s) {
    return static_cast<long long>(s.size());
}
template <class S> S Repeat(const S& s, int n) {
    S out;
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
using Exact = std::tuple<std::string, long long, short>;

Exact ToPageExact(unsigned codePage, const std::u16string& text) {
    char out[2048];
    short exact = 0;
    long long used = 0;
    long long produced =
        Service::TextCharToCodePage_Exact(codePage, Ptr(text), Size(text), out, 2048, exact, used);
    return {std::string(out, static_cast<std::size_t>(produced)), used, exact};
}

// Real words in each script's code page, with their code points; pages named
// by number, with the Windows page of the same script, which writes other
// bytes (the table file says which characters each row is about).
struct Sample {
    int script;
    std::string bytes;
    std::u16string text;
};
struct Row {
    unsigned codePage, windowsPage;
    std::string bytes;
    std::u16string text;
};
std::vector<std::vector<std::string>> Table(const char* name) {
    return ombra_test::ReadTable("text/code_pages.tsv", name);
}
std::vector<Sample> Samples() {
    std::vector<Sample> out;
    for (const auto& f : Table("sample"))
        out.push_back({std::stoi(f[0]), BytesOf(f[1]), UnitsOf(f[2])});
    return out;
}
std::vector<Row> Rows() {
    std::vector<Row> out;
    for (const auto& f : Table("page"))
        out.push_back(
            {unsigned(std::stoul(f[0])), unsigned(std::stoul(f[1])), BytesOf(f[2]), UnitsOf(f[3])});
    return out;
}

using CodePages = ombra_test::WithTextService;

TEST_F(CodePages, EachScriptConvertsBothWaysWithoutLoss) {
    for (const Sample& sample : Samples()) {
        std::u16string units = ToUnits(*service_, sample.bytes, sample.script);
        EXPECT_EQ(units, sample.text) << sample.script;
        EXPECT_EQ(ToBytes(*service_, units, sample.script), sample.bytes) << sample.script;
    }
    for (int script : {0, 8, 32, 39, -1, 0x40000000}) // the system default's
        EXPECT_EQ(Service::ScriptToCodePage(Script(script)), 0u) << script;
}

TEST(ExplicitCodePages, PagesConvertBothWaysWithTheirOwnBytes) {
    for (const Row& row : Rows()) {
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
    for (const auto& f : Table("unheld"))
        EXPECT_EQ(ToBytes(*service_, UnitsOf(f[1]), std::stoi(f[0])), BytesOf(f[2])) << f[1];
    for (const auto& f : Table("unread"))
        EXPECT_EQ(ToUnits(*service_, BytesOf(f[1]), std::stoi(f[0])), UnitsOf(f[2])) << f[1];

    for (const auto& f : Table("topage"))
        EXPECT_EQ(ToPage(unsigned(std::stoul(f[0])), UnitsOf(f[1])), BytesOf(f[2])) << f[1];
    for (const auto& f : Table("frompage"))
        EXPECT_EQ(FromPage(unsigned(std::stoul(f[0])), BytesOf(f[1])), UnitsOf(f[2])) << f[1];
}

TEST(ExplicitCodePages, ACharacterThePageLacksEndsTheExactConversion) {
    const struct {
        unsigned page;
        std::u16string text;
        Exact expected;
    } rows[] = {
        // Far beyond any piece the conversion works in.
        {20932,
         std::u16string(300, u'\u65E5') + u"\u2460x",
         {Repeat<std::string>("\xC6\xFC", 300), 300, 0}},
        {932,
         std::u16string(150, u'a') + u"\u65E5\u301C",
         {std::string(150, 'a') + "\x93\xFA", 151, 0}},
        {28595, std::u16string(200, u'\u0416') + u"\u65E5", {std::string(200, '\xB6'), 200, 0}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ToPageExact(row.page, row.text), row.expected) << row.page;
    for (const auto& f : Table("exact"))
        EXPECT_EQ(ToPageExact(unsigned(std::stoul(f[0])), UnitsOf(f[1])),
                  (Exact{BytesOf(f[2]), std::stoll(f[3]), short(std::stoi(f[4]))}))
            << f[0] << " " << f[1];

    // A surrogate pair that straddles where one piece would end stays whole.
    for (std::size_t before = 60; before < 70; ++before) {
        std::string a(before, 'a');
        EXPECT_EQ(ToPageExact(65001, std::u16string(before, u'a') + u"\U0001F600\U0001F600b"),
                  (Exact{a + "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"
                             "b",
                         Size(a) + 5, 1}));
    }
}

// The font and exact overloads use it too.
TEST_F(CodePages, TheHostChoosesTheSystemDefault) {
    EXPECT_EQ(Service::GetSystemCodePage(), 1252u);
    EXPECT_EQ(Service::SetSystemCodePage(99999) + Service::SetSystemCodePage(0), 0);
    EXPECT_EQ(Service::GetSystemCodePage(), 1252u);
    EXPECT_EQ(ToPage(0, u"\u00E9\u20AC"), "\xE9\x80");
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

    ASSERT_EQ(Service::SetSystemCodePage(1251), 1);
    EXPECT_EQ(ToUnits(*service_, "\xCF", 32), u"\u041F");
    EXPECT_EQ(ToUnits(*service_, "\xCF", 0), u"\u041F");
    EXPECT_EQ(ToUnits(*service_, "\xCF", 6), u"\u039F"); // Greek keeps its own page
    ASSERT_EQ(Service::SetSystemCodePage(65001), 1);     // surrogate pairs survive UTF-8
    text = u"a\U0001F600\u00E9";
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
    // Pages named by number take up to 512 bytes of scratch on the stack (no
    // allocation); the scripts' conversions always take theirs from the memory
    // service.
    auto& stats = ombra_test::Stats();
    for (long long room : {512, 513}) {
        long long before = stats.allocations;
        EXPECT_EQ(Service::TextCharToCodePage(10000, Ptr(big), 3, &out[0], room), 3);
        EXPECT_EQ(stats.allocations - before, room > 512) << room;
    }
    long long before = stats.allocations;
    EXPECT_EQ(ToBytes(*service_, u"\u00E9", 0), "\xE9");
    EXPECT_EQ(stats.allocations - before, 1);

    std::string many = Repeat<std::string>("\x93\xFA\x61", 5000); // "日a"
    std::u16string expected = Repeat<std::u16string>(u"\u65E5a", 5000);
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
    const std::string zhe = "\xB6"
                            "a";
    EXPECT_EQ(bytes, zhe);
    EXPECT_EQ(Service::TextCharToCodePage_Exact(28595, text, -1, bytes, 8, exact, used), 3);
    EXPECT_EQ(std::make_pair(used, exact), std::make_pair(3LL, short(1)));
    EXPECT_EQ(Service::CodePageToTextChar(28595, zhe.c_str(), -1, units, 8), 3);
    EXPECT_EQ(U16(units), u"\u0416a");
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
    std::vector<Sample> samples = Samples();
    std::vector<Row> rows = Rows();
    for (int i : {0, 1, 7}) // Shift JIS, Big5, Cyrillic
        threads.emplace_back(scripts, samples[i]);
    for (int i : {0, 2, 2, 4}) // Mac OS Roman, EUC-JP twice, ISO 8859-5
        threads.emplace_back(pages, rows[i]);
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
// conversion's internal chunks; Latin-1 bytes give their code points.
TEST(UTF8, EveryCodePointRoundTripsInItsLengthAndLatin1BytesGiveTheirCodePoints) {
    std::u16string all;
    std::string bytes, latin;
    for (char32_t c = 1; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 97) {
        if (c >= 0xD800 && c < 0xE000) continue;
        std::u16string units(1, char16_t(c));
        if (c >= 0x10000) units = {char16_t(0xD7C0 + (c >> 10)), char16_t(0xDC00 | (c & 0x3FF))};
        std::string one = ToUTF8(units);
        ASSERT_EQ(one.size(), c < 0x80 ? 1u : c < 0x800 ? 2u : c < 0x10000 ? 3u : 4u) << c;
        ASSERT_EQ(FromUTF8(one).units, units) << c;
        all += units;
        bytes += one;
        if (c < 256) latin += static_cast<char>(c);
    }
    EXPECT_EQ(ToUTF8(all), bytes);
    Decoded back = FromUTF8(bytes);
    EXPECT_EQ(back.result, 1);
    EXPECT_TRUE(back.units == all);

    COBString out;
    OBStringUtils::ConvertCStringToUTF8(reinterpret_cast<const unsigned char*>(latin.data()),
                                        latin.size(), out);
    EXPECT_EQ(std::string(out.GrabCString(), static_cast<std::size_t>(out.Length())),
              bytes.substr(0, 127 + 2 * 128));
    EXPECT_EQ(out.GetWSEScript(), WSE::kSystemScript);
    // NUL bytes are text too.
    const unsigned char withNul[] = {'a', 0, 'b'};
    OBStringUtils::ConvertCStringToUTF8(withNul, 3, out);
    EXPECT_EQ(out.Length(), 3);
    latin.assign(20000, '\xE9'); // across the internal chunks
    OBStringUtils::ConvertCStringToUTF8(reinterpret_cast<const unsigned char*>(latin.data()),
                                        latin.size(), out);
    EXPECT_EQ(out.Length(), 40000);
}

// UTF-16 to UTF-8 and back by the tables: unpaired surrogates, lenient
// reading, malformed input. Each UTF-16 row is written after 0 to 16 units
// of mixed forms and before 16 more, so that the 8-unit steps of the
// conversion meet it at each of their units; likewise each UTF-8 row is
// read after 0 to 64 bytes of whole forms, so that the 64-byte steps end at
// each of its bytes, and a row read to its end has more text after it.
TEST(UTF8, ConversionsFollowTheirTables) {
    const std::pair<char16_t, const char*> forms[] = {
        {u'a', "a"}, {u'\u00E9', "\xC3\xA9"}, {u'\u65E5', "\xE6\x97\xA5"}, {u'\n', "\n"}};
    auto mixed = [&](std::size_t count) {
        std::pair<std::u16string, std::string> text;
        for (std::size_t i = 0; i < count; ++i) {
            text.first += forms[i * 3 % 4].first;
            text.second += forms[i * 3 % 4].second;
        }
        return text;
    };
    for (const auto& f : Table("utf8out")) {
        auto after = mixed(16);
        for (std::size_t k = 0; k <= 16; ++k) {
            auto before = mixed(k);
            EXPECT_EQ(ToUTF8(before.first + UnitsOf(f[0]) + after.first),
                      before.second + BytesOf(f[1]) + after.second)
                << f[0] << " after " << k;
        }
    }
    auto ya = [](std::size_t count) {
        std::string bytes;
        for (std::size_t i = 0; i < count; ++i)
            bytes += "\xD1\x8F";
        return std::make_pair(bytes, std::u16string(count, u'\u044F'));
    };
    for (const auto& f : Table("utf8in")) {
        short result = static_cast<short>(std::stoi(f[1]));
        auto after = ya(result ? 40 : 0);
        for (std::size_t k = 0; k <= 64; ++k) {
            auto before = ya(k / 2);
            if (k % 2) before = {"a" + before.first, u"a" + before.second};
            Decoded got = FromUTF8(before.first + BytesOf(f[0]) + after.first);
            EXPECT_EQ(got.result, result) << f[0] << " after " << k;
            EXPECT_EQ(got.units, before.second + UnitsOf(f.size() > 2 ? f[2] : "") + after.second)
                << f[0] << " after " << k;
        }
    }
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
