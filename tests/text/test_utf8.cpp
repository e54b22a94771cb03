// UTF-8 conversions: the exact byte sequences, lenient reading, malformed
// input, long texts that span several internal chunks, and memory failure.
#include <ombra/utf8.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <string>

using ombra_test::U16;

namespace {

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
