// The writers' shared text and markup helpers: UTF-16 to UTF-8 and HTML
// escapes, numbers as printf writes them, and markup split around readings.
#include "HtmlConversion.h"
#include "WriterTools.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// The text encoders against plain ones, character by character, on random
// text of the characters they treat apart, across the blocks they work in.
TEST(WriterText, EncodersMatchPlainOnesAcrossTheirBlocks) {
    const unsigned short kUnits[] = {'a',    ' ',    '&',    '<',    '>',   '"',    '\t',
                                     '\n',   0x01,   0x7F,   0x85,   0xE9,  0x3042, 0xD83D,
                                     0xDE00, 0xDBFF, 0xFDD0, 0xFFFE, 0xFFFD};
    auto put = [](std::string& s, unsigned c) {
        if (c < 0x80) {
            s += static_cast<char>(c);
            return;
        }
        if (c < 0x800) {
            s += static_cast<char>(0xC0 | c >> 6);
        } else {
            if (c < 0x10000) {
                s += static_cast<char>(0xE0 | c >> 12);
            } else {
                s += static_cast<char>(0xF0 | c >> 18);
                s += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            }
            s += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        }
        s += static_cast<char>(0x80 | (c & 0x3F));
    };
    unsigned state = 7;
    for (long long n : {0, 1, 8, 9, 15, 16, 17, 19, 20, 31, 33, 46, 4095, 4096, 4097, 4111, 8200})
        for (int round = 0; round < 4; ++round) {
            std::vector<unsigned short> text(static_cast<std::size_t>(n) + 1);
            for (auto& u : text) {
                state = state * 1103515245u + 12345u;
                u = round == 0 || (state >> 16) % 3 ? 'x'
                                                    : kUnits[(state >> 8) % (sizeof kUnits / 2)];
            }
            if (round == 0) text.back() = '&'; // all plain, and beyond the end what is not
            if (n > 4096) text[4095] = 0xD83D, text[4096] = 0xDE00; // a pair across a block's end
            std::string plain, html;
            for (long long i = 0; i < n; ++i) {
                unsigned c = text[i];
                bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 &&
                            text[i + 1] < 0xE000;
                if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
                if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
                put(plain, c);
                bool bad = (c < 0x20 && c != '\t' && c != '\n') || (c >= 0x7F && c < 0xA0) ||
                           (c >= 0xFDD0 && c <= 0xFDEF) || c == 0xFFFE || c == 0xFFFF;
                if (c == '&' || c == '<' || c == '>')
                    html += c == '&' ? "&amp;" : c == '<' ? "&lt;" : "&gt;";
                else
                    put(html, bad ? 0xFFFD : c);
            }
            obwalk::Utf8Text utf8, escaped;
            utf8.AppendUtf16(text.data(), n);
            OBHtmlConversion::AppendEscapedUtf16(escaped, text.data(), n);
            EXPECT_EQ(plain, std::string(utf8.Data(), utf8.Size())) << n;
            EXPECT_EQ(html, std::string(escaped.Data(), escaped.Size())) << n;
        }
}

// Integers as printf's "%lld" writes them, at each change of length and at the ends.
TEST(WriterText, NumbersAreWrittenAsPrintfWritesThem) {
    std::vector<long long> values = {0, LLONG_MAX, LLONG_MIN, LLONG_MIN + 1};
    for (long long p = 1; p <= LLONG_MAX / 10; p *= 10)
        values.insert(values.end(), {p - 1, p, -p, -p + 1});
    for (long long value : values) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%lld", value);
        obwalk::Utf8Text got;
        got.AppendNumber(value);
        EXPECT_EQ(std::string(expected), std::string(got.Data(), got.Size()));
    }
}

// Reals as printf's "%.*f" writes them, without trailing zeros or a "-0",
// near the ties between two roundings too.
TEST(WriterText, RealsAreWrittenAsPrintfRoundsThem) {
    unsigned state = 11;
    for (int k = 0; k < 20000; ++k) {
        state = state * 1103515245u + 12345u;
        double value = static_cast<int>(state >> 8) % 2000000 / (k % 2 ? 1000.0 : 8.0) - 1000;
        if (k % 5 == 0) value *= 1e6;
        if (k % 7 == 0) value = std::nextafter(value, 0.0);
        for (int decimals = 0; decimals <= 4; ++decimals) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
            std::string want = expected;
            if (want.find('.') != std::string::npos) {
                want.erase(want.find_last_not_of('0') + 1);
                if (want.back() == '.') want.pop_back();
            }
            if (want == "-0") want = "0";
            obwalk::Utf8Text got;
            got.AppendReal(value, decimals);
            EXPECT_EQ(want, std::string(got.Data(), got.Size())) << value << " " << decimals;
        }
    }
}

// A ruby inside a warichu adds its readings after the warichu's line change
// although they come before it in the text: each still goes after its own
// base character, and at one position the ruby's reading precedes the line
// change that closes the ruby around it.
TEST(WriterMarkup, PointsOfAnInnerElementAreWrittenInTextOrder) {
    auto text = [](const char* s) {
        obwalk::Utf8Text t;
        t.Append(s);
        return t;
    };
    obwalk::MarkupStack stack;
    obwalk::Utf8Text out;
    ASSERT_TRUE(stack.Push(0, text("<w>"), "</w>"));
    ASSERT_TRUE(stack.AddSplit(2, 0, text("|")));
    ASSERT_TRUE(stack.Push(1, text("<r>"), "</r>"));
    const char* const readings[] = {"(a)", "(b)", "(c)", "(d)"};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(stack.AddSplit(i + 1, 1, text(readings[i])));
    out.Append("<w><r>");
    auto write = [&](const char* markup, long long n) { out.Append(markup, n); };
    auto reopening = [](const obwalk::MarkupStack::Entry&, const obwalk::MarkupStack::Entry&) {};
    const char* const bases[] = {"1", "2", "3", "4"};
    for (int p = 0; p < 4; ++p) {
        out.Append(bases[p]);
        stack.Reach(p + 1, out, write, reopening);
    }
    EXPECT_EQ(std::string(out.Data(), static_cast<std::size_t>(out.Size())),
              "<w><r>1(a)2(b)</r>|<r>3(c)4(d)");
}
