// Damaged, truncated and hostile input: the parser returns what it could
// read and says what it skipped, within its limits, and never crashes. What
// the documents of tests/data/scribus and their damaged copies (cut short,
// compressed and cut short, ...) read as is pinned by the recorded outputs
// (scribus_outputs_unchanged).
#include "ScribusTestSupport.h"

#include <ScribusDecimal.h>
#include <ScribusInternal.h>
#include <ScribusOutlines.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

namespace {

using namespace scribus;
using namespace scribus_test;

bool HasWarning(const ParseResult& r, Warning::Code code) {
    for (const Warning& w : r.warnings)
        if (w.code == code) return true;
    return false;
}

// A text as Attrs holds a value: its NUL, then readable bytes of whatever
// follows it in the document.
std::string Padded(const std::string& text, std::mt19937& random) {
    std::string padded = text + '\0';
    for (std::size_t i = 0; i < detail::kValuePadding; ++i)
        padded += static_cast<char>(random() % 4 ? "0123456789.-eE ,L"[random() % 17] : random());
    return padded;
}

// The same subpaths, bit for bit.
bool SameOutlines(const Outline& a, const Outline& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::vector<PathPoint>& p = a[i].points;
        const std::vector<PathPoint>& q = b[i].points;
        if (a[i].closed != b[i].closed || a[i].straight != b[i].straight || p.size() != q.size() ||
            (!p.empty() && std::memcmp(p.data(), q.data(), p.size() * sizeof p[0]) != 0))
            return false;
    }
    return true;
}

// Whether two texts read through read with the same options give the same
// outlines and warnings.
template <class Read>
bool ReadAlike(Read read, const ParseOptions& options, const std::string& one,
               const std::string& other, std::mt19937& random) {
    ParseResult oneResult, otherResult;
    detail::Context a(options, oneResult), b(options, otherResult);
    Outline fromOne, fromOther;
    read(a, Padded(one, random).c_str(), fromOne);
    read(b, Padded(other, random).c_str(), fromOther);
    return SameOutlines(fromOne, fromOther) &&
           oneResult.warnings.size() == otherResult.warnings.size() && a.warnCalls == b.warnCalls;
}

void ExpectCovered(const ParseResult& r) {
    for (std::size_t i = 0; i < r.document.stories.size(); ++i)
        EXPECT_EQ("", CheckCoverage(r.document.stories[i])) << "story " << i;
}

TEST(ScribusRobustness, RepairMakesWellFormedXml) {
    const char* const kBroken[] = {
        "<a x=\"1 & 2\"><b/></a>",
        "<a><b>one < two</b></a>",
        "<a x=1 y = 'q\"r' z><b/>",
        "<a><b><c></b></a>",
        "<a></x><b/></a>",
        "<a><!-- never closed",
        "<a><b x=\"cut in the val",
        "<a>\x01\x02 text &nosuch; &#x41; &#65;</a>",
        "<a x=\"ctrl \x05 kept\"><b\x07 y=\"1\"/></a>",
        "<a><![CDATA[ok]]><?pi x?></a><",
    };
    // Valid references stay as they are, a stray '&' is escaped.
    std::string kept;
    RepairXml("<a>&#10;&#x30;&amp; & &#;</a", 27, kept);
    EXPECT_EQ(kept.substr(0, 26), "<a>&#10;&#x30;&amp; &amp; ");
    for (const char* input : kBroken) {
        std::string out;
        RepairXml(input, std::char_traits<char>::length(input), out);
        pugi::xml_document xml;
        pugi::xml_parse_result r = xml.load_buffer(out.data(), out.size());
        EXPECT_TRUE(r) << "input: " << input << "\nrepaired: " << out << "\n" << r.description();
    }
    // Many open elements and many end tags that close none of them: each end
    // tag is settled without searching the stack.
    std::string deep;
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    for (int i = 0; i < 200000; ++i)
        deep += "</b>";
    std::string repaired;
    EXPECT_EQ(400000u, RepairXml(deep.data(), deep.size(), repaired));
    pugi::xml_document deepXml;
    EXPECT_TRUE(deepXml.load_buffer(repaired.data(), repaired.size()));

    std::string out;
    RepairXml("<a x=\"ctrl \x05 kept\"/>", 21, out);
    pugi::xml_document xml;
    xml.load_buffer(out.data(), out.size());
    EXPECT_EQ(std::string("ctrl \x05 kept"), xml.child("a").attribute("x").value());
    EXPECT_EQ(0u, RepairXml("<a b=\"c\">d</a>", 14, out));
}

TEST(ScribusRobustness, EveryTruncationKeepsTheTextBeforeTheCut) {
    std::string full = Fixture("v14.sla");
    ParseResult whole = ParseBytes(full);
    int chapter = ItemNamed(whole.document, "Chapter");
    ASSERT_GE(chapter, 0);
    const std::u16string fullText =
        whole.document.stories[whole.document.items[chapter].story].text;
    std::size_t chapterEnd = full.find("</PAGEOBJECT>", full.find("ANNAME=\"Chapter\""));
    for (std::size_t cut = 0; cut <= full.size(); cut += 23) {
        ParseResult r = ParseBytes(full.substr(0, cut));
        ASSERT_NE(ParseResult::Status::kFailed, r.status) << cut;
        ExpectCovered(r);
        int c = ItemNamed(r.document, "Chapter");
        if (c < 0 || r.document.items[c].story < 0) continue;
        const std::u16string& text = r.document.stories[r.document.items[c].story].text;
        EXPECT_EQ(0u, fullText.compare(0, text.size(), text)) << "cut at " << cut;
        if (cut > chapterEnd) {
            EXPECT_EQ(fullText, text) << "cut at " << cut;
        }
    }
    // A cut is reported as the document ending early, not as damage; damage
    // is not a cut, however much white space follows the end tag.
    ParseResult cut = ParseBytes(full.substr(0, chapterEnd + 5));
    EXPECT_TRUE(HasWarning(cut, Warning::Code::kTruncated));
    EXPECT_FALSE(HasWarning(cut, Warning::Code::kMalformedXml));
    ParseResult damaged = ParseBytes("<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE/><x y=>"
                                     "</DOCUMENT></SCRIBUSUTF8NEW>" +
                                     std::string(100, '\n'));
    EXPECT_TRUE(HasWarning(damaged, Warning::Code::kMalformedXml));
    EXPECT_FALSE(HasWarning(damaged, Warning::Code::kTruncated));
}

TEST(ScribusRobustness, GzipBombStopsAtTheLimit) {
    std::string head =
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE PAGEWIDTH=\"100\" PAGEHEIGHT=\"100\"/>";
    std::string bomb = Gzip(head, std::size_t(64) << 20, "</DOCUMENT></SCRIBUSUTF8NEW>");
    ASSERT_LT(bomb.size(), std::size_t(1) << 20);
    ParseOptions options;
    options.maxInputBytes = std::size_t(4) << 20;
    ParseResult r = ParseBytes(bomb, options);
    EXPECT_EQ(ParseResult::Status::kRecovered, r.status);
    EXPECT_TRUE(HasWarning(r, Warning::Code::kLimit));
    EXPECT_FALSE(HasWarning(r, Warning::Code::kDecompression)); // the limit, not damage
    EXPECT_FALSE(HasWarning(r, Warning::Code::kTruncated));
    EXPECT_EQ(1u, r.document.pages.size());

    std::string plain = head + std::string(1 << 20, ' ') + "</DOCUMENT></SCRIBUSUTF8NEW>";
    options.maxInputBytes = 4096;
    r = ParseBytes(plain, options);
    EXPECT_TRUE(HasWarning(r, Warning::Code::kLimit));
    EXPECT_EQ(1u, r.document.pages.size());
}

// The general entities of a document type are expanded where the document
// refers to them, within the attribute they are used in; external and
// self-referring ones stay as written and are reported, and a chain of
// doublings stops at the limit with what came before it kept.
TEST(ScribusRobustness, DocumentTypeEntitiesAreExpandedWithinLimits) {
    const std::string subset =
        "<!ENTITY co \"Ombra &amp; Co\"><!ENTITY % p \"x\"><!ENTITY nest 'a&co;b'>"
        "<!-- <!ENTITY co 'comment'> it's --><!ENTITY co \"second\"><!ENTITY amp \"&#38;\">"
        "<!ENTITY q 'say \"hi\" <b> &#65;'><!ENTITY self \"x&self;\">"
        "<!ENTITY ext SYSTEM \"file:///etc/passwd\"><!ENTITY num \"&#38;#38; &#34;&#x41;&#;\">";
    const struct {
        std::string title;
        std::string read;
        bool unknown; // a reference kept as written is reported
    } kCases[] = {{"&co;", "Ombra & Co", false},
                  {"[&nest;]", "[aOmbra & Cob]", false},
                  {"&q;", "say \"hi\" <b> A", false},
                  {"&amp;&lt;&p;", "&<&p;", false},
                  {"&self;", "x&self;", true},
                  {"&ext;", "&ext;", true},
                  {"&undeclared; & &co", "&undeclared; & &co", false},
                  {"&num;", "& \"A&#;", false}};
    for (const auto& c : kCases) {
        const std::string doc =
            "<?xml version=\"1.0\"?>\n<!DOCTYPE SCRIBUSUTF8NEW SYSTEM \"x[1].dtd\" [" + subset +
            "]>\n<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT TITLE=\"" + c.title +
            "\" AUTHOR=\"after\"><PAGE/></DOCUMENT></SCRIBUSUTF8NEW>";
        for (const std::string& bytes : {doc, Gzip(doc)}) {
            ParseResult r = ParseBytes(bytes);
            EXPECT_EQ(c.read, r.document.publication.metadata.title) << c.title;
            EXPECT_EQ("after", r.document.publication.metadata.author) << c.title;
            EXPECT_EQ(c.unknown, HasWarning(r, Warning::Code::kUnsupported)) << c.title;
            EXPECT_EQ(ParseResult::Status::kOk, r.status) << c.title;
        }
    }
    // Doublings of a text, and of nothing, which grows no text but time.
    for (const char* first : {"lol", ""}) {
        std::string laughs = std::string("<!ENTITY l0 \"") + first + "\">";
        for (int k = 1; k < 40; ++k)
            laughs += "<!ENTITY l" + std::to_string(k) + " \"&l" + std::to_string(k - 1) + ";&l" +
                      std::to_string(k - 1) + ";\">";
        ParseResult r = ParseBytes("<!DOCTYPE SCRIBUSUTF8NEW [" + laughs +
                                   "]><SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE/><PAGE/>"
                                   "<PAGEOBJECT ANNAME=\"&l39;\"/></DOCUMENT></SCRIBUSUTF8NEW>");
        EXPECT_TRUE(HasWarning(r, Warning::Code::kLimit)) << first;
        EXPECT_EQ(ParseResult::Status::kRecovered, r.status) << first;
        EXPECT_EQ(2u, r.document.pages.size()) << first;
    }
}

// A contour is only read for its warning of too many points: it warns at
// one point over the limit, whatever the outline, and not at the limit.
TEST(ScribusRobustness, ContourOverTheLimitOfPointsWarns) {
    ParseOptions options;
    options.maxPathPoints = 2;
    for (int points : {2, 3}) {
        std::string contour;
        for (int i = 0; i < points; ++i)
            contour += "1 2 1 2 3 4 3 4 ";
        std::string doc = "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE PAGEWIDTH=\"100\" "
                          "PAGEHEIGHT=\"100\"/><PAGEOBJECT PTYPE=\"6\" OwnPage=\"0\" "
                          "POCOOR=\"0 0 0 0 1 0 1 0 \" COCOOR=\"" +
                          contour + "\"/></DOCUMENT></SCRIBUSUTF8NEW>";
        EXPECT_EQ(points > 2, HasWarning(ParseBytes(doc, options), Warning::Code::kLimit))
            << points;
    }
}

// Decimals of every length, from every place of a buffer, read as the C
// library reads them: one text for ParseDouble, a list for ReadNumber, an
// attribute for Numbers and Number, an outline's line (0 for what is out of
// range).
// Random ones, then those around the exact paths' limits: 15 to 19 digits,
// 2^53, halfway cases, the ends of the double range.
TEST(ScribusRobustness, DecimalsReadAsTheCLibraryReadsThem) {
    std::mt19937 random(7);
    ParseOptions options;
    ParseResult result;
    detail::Context ctx(options, result);
    detail::Attrs attrs;
    const detail::AttrId component[] = {detail::kAttr_C};
    auto check = [&](const std::string& text) {
        const std::size_t mantissa = std::min(text.find_first_of("eE"), text.size());
        const bool digits = text.find_first_of("0123456789") < mantissa;
        const double expected = std::strtod(text.c_str(), nullptr);
        double v = -1;
        const bool inRange = digits && std::fabs(expected) <= 1e9;
        ASSERT_EQ(inRange, detail::ParseDouble(text.c_str(), v)) << text;
        if (inRange) {
            ASSERT_EQ(expected, v) << text;
        }
        attrs.Begin();
        const std::string padded = Padded(text, random);
        attrs.Set(detail::kAttr_C, padded.c_str());
        detail::Numbers(ctx, attrs, component, 1, &v);
        ASSERT_EQ(inRange ? expected : 0.0, v) << text;
        ASSERT_EQ(inRange && std::signbit(expected), std::signbit(v)) << text;
        ASSERT_EQ(inRange ? expected : 0.0, detail::Number(ctx, attrs, detail::kAttr_C, 0)) << text;
        const std::string list = std::string(random() % 9, ' ') + text + " 1";
        const char* end = list.c_str() + list.size();
        const char* p = list.c_str() + list.find_first_not_of(' ');
        v = -1;
        const char* next = detail::ReadNumber(p, end, v);
        if (!digits) return;
        ASSERT_EQ(p + text.size(), next) << text;
        ASSERT_EQ(std::signbit(expected), std::signbit(v)) << text;
        ASSERT_EQ(expected, v) << text;
        Outline outline;
        detail::SvgToPath(ctx, Padded("M0 0L" + text + ",7", random).c_str(), outline);
        ASSERT_EQ(1u, outline.size()) << text;
        ASSERT_EQ(2u, outline[0].points.size()) << text;
        ASSERT_EQ(inRange ? expected + 0.0 : 0.0, outline[0].points[1].anchor.x) << text;
        ASSERT_EQ(inRange && expected < 0, std::signbit(outline[0].points[1].anchor.x)) << text;
        ASSERT_EQ(7.0, outline[0].points[1].anchor.y) << text;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string text = random() % 4 == 0 ? "-" : "";
        const int whole = static_cast<int>(random() % 19),
                  fraction = static_cast<int>(random() % 19);
        for (int i = 0; i < whole; ++i)
            text += static_cast<char>('0' + random() % 10);
        if (fraction || random() % 2) text += '.';
        for (int i = 0; i < fraction; ++i)
            text += static_cast<char>('0' + random() % 10);
        if (random() % 8 == 0)
            text +=
                (random() % 2 ? "e" : "E") + std::to_string(static_cast<int>(random() % 41) - 20);
        check(text);
        if (::testing::Test::HasFatalFailure()) return;
    }
    std::istringstream tricky(
        "5.88235294117647 0.392156862745098 -0.0000000000000000 00000000000000000001 "
        "9007199254740992 9007199254740993 0.9007199254740993 900719925474099.2 "
        "9007199254740991.5 1234567890123456789 12345678901234567890 0.30000000000000004 "
        "0.000000000000000001 0.0000000000000000000001 0.1000000000000000055511151231257827 "
        "1.0000000000000002 1.00000000000000011102230246251565 0.5000000000000001 "
        "123456789012345.6789 999999999.9999999 1000000000.000001 -1000000000 "
        "4.9406564584124654e-324 2.2250738585072014e-308 1.7976931348623157e308 "
        "8.98846567431158e+307 5e-1 1E2 .5 5. +.5 .123456789012345 1234567.12345678 "
        "12345678.1234567 123456789012345. -13.7254901960784 13.72549019607841");
    for (std::string text; tricky >> text;) {
        check(text);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// The readers that take a word at a time (short numbers whole, long
// fractions by eight digits) end where the one that takes a digit at a
// time ends, with the same bits, on any text: digits, points, signs and
// exponents anywhere, and whatever follows the NUL. A short number is one
// that reader takes whole, or leaves to the other; a whole text of up to 16
// bytes that is a plain decimal is taken at once.
TEST(ScribusRobustness, DecimalsReadByTheWordAsByTheDigit) {
    std::mt19937 random(5);
    int whole = 0, pairs = 0, spacedPairs = 0, wholeTexts = 0;
    for (int round = 0; round < 300000; ++round) {
        std::string text;
        const bool junk = round % 3 == 0;
        for (int n = static_cast<int>(random() % 20); n > 0; --n)
            text += junk || random() % 6 == 0 ? "0123456789.-+eE ,Lx\x80\xff"[random() % 21]
                    : random() % 8 == 0       ? ' '
                                              : static_cast<char>('0' + random() % 10);
        // Values below 1 as they are written: "0." and fifteen digits.
        if (round % 50 == 0) {
            text = random() % 2 ? "-0." : "0.";
            for (int n = 0; n < 15; ++n)
                text += static_cast<char>('0' + random() % 10);
        }
        const std::string padded = Padded(text, random);
        for (std::size_t at = 0; at <= text.size(); ++at) {
            const char* p = padded.c_str() + at;
            double byDigit = -1, longWord = -2, shortWord = -3;
            const char* end = detail::ReadDecimal(p, byDigit);
            ASSERT_EQ(end, detail::ReadDecimalLongFraction(p, longWord)) << p;
            if (end) {
                ASSERT_EQ(0, std::memcmp(&byDigit, &longWord, sizeof byDigit)) << p;
            }
            if (const char* shortEnd = detail::ReadShortDecimal(p, shortWord)) {
                ++whole;
                ASSERT_EQ(end, shortEnd) << p;
                ASSERT_EQ(0, std::memcmp(&byDigit, &shortWord, sizeof byDigit)) << p;
            }
#if defined(__SSE2__)
            // A whole text at once: taken when the number ends at the NUL.
            double wholeText = -6;
            if (detail::ReadWholeDecimal(p, wholeText)) {
                ++wholeTexts;
                // ReadDecimal's, or the C library's beyond its digits.
                double general = -7;
                const char* generalEnd = detail::ReadNumber(p, p + std::strlen(p), general);
                ASSERT_TRUE(generalEnd && !*generalEnd) << p;
                ASSERT_EQ(0, std::memcmp(&general, &wholeText, sizeof general)) << p;
            } else {
                ASSERT_FALSE(end && !*end && end - p <= 16 && std::strchr("0123456789.", *p)) << p;
            }
            // Two at once: x, one space, y.
            __m128d xy, spaced;
            const char* const spacedEnd = detail::ReadSpacedPair(p, spaced);
            const char* const pairEnd = detail::ReadShortPair(p, xy);
            // The same pair, when the first space after it lies within 32 bytes.
            ASSERT_EQ(spacedEnd, pairEnd && *pairEnd == ' ' && pairEnd - p < 32 ? pairEnd : nullptr)
                << p;
            if (spacedEnd) {
                ++spacedPairs;
                ASSERT_EQ(0, std::memcmp(&xy, &spaced, sizeof xy)) << p;
            }
            if (pairEnd) {
                ++pairs;
                double x = -4, y = -5, pair[2];
                _mm_storeu_pd(pair, xy);
                ASSERT_TRUE(end && *end == ' ') << p;
                ASSERT_EQ(end, detail::ReadDecimal(p, x)) << p;
                ASSERT_EQ(0, std::memcmp(&x, &pair[0], sizeof x)) << p;
                // An exponent after y is left to the caller.
                if ((static_cast<unsigned char>(*pairEnd) | 0x20) == 'e') continue;
                ASSERT_EQ(pairEnd, detail::ReadDecimal(end + 1, y)) << p;
                ASSERT_EQ(0, std::memcmp(&y, &pair[1], sizeof y)) << p;
            }
#endif
        }
    }
    EXPECT_GT(whole, 100000);
#if defined(__SSE2__)
    EXPECT_GT(pairs, 10000);
    EXPECT_GT(wholeTexts, 10000);
    EXPECT_GT(spacedPairs, 1000);
#endif
}

// An 'M' or 'L' reads its point as it does with a space after the letter,
// which takes it off the path for short pairs: points, warnings and the
// limit of points, on any numbers and separators.
TEST(ScribusRobustness, LinesReadAsWithASpaceAfterTheLetter) {
    std::istringstream list("0|7|-2.5|354.331|0.457167|-12345678|123456789|1.2.3|1e3|-|.5|+3|"
                            "5.|-0|0.0000001|--1|1-2|12.34567");
    std::vector<std::string> numbers;
    for (std::string token; std::getline(list, token, '|');)
        numbers.push_back(token);
    const char* const kSeparators[] = {" ", " ", " ", ",", "\t", "  ", ""};
    std::mt19937 random(13);
    for (int round = 0; round < 20000; ++round) {
        std::string lines, spaced;
        for (int n = static_cast<int>(random() % 12); n >= 0; --n) {
            const std::string before = kSeparators[random() % std::size(kSeparators)];
            const std::string point = numbers[random() % numbers.size()] +
                                      kSeparators[random() % std::size(kSeparators)] +
                                      numbers[random() % numbers.size()];
            const char* command = lines.empty() ? "M" : "L";
            lines += before + command + point;
            spaced += before + command + " " + point;
        }
        if (random() % 2) lines += " Z", spaced += " Z";
        ParseOptions options;
        options.maxPathPoints = round % 2 ? 100 : 1 + random() % 8;
        ASSERT_TRUE(ReadAlike(detail::SvgToPath, options, lines, spaced, random)) << lines;
    }
}

// Coordinate lists: with every space doubled no two numbers are read at
// once, and the separators skipped are the same; the points, subpaths and
// warnings must be too.
TEST(ScribusRobustness, CoordinatesReadAsOneNumberAtATime) {
    const char* const kNumbers[] = {"0",
                                    "1",
                                    "-2.5",
                                    "354.331",
                                    "0.0179967",
                                    "1e3",
                                    "+3",
                                    "999999",
                                    "1.2.3",
                                    "-",
                                    ".5",
                                    "12x",
                                    "x",
                                    "-12345678",
                                    "5.",
                                    "0.457167",
                                    "123456789012345678"};
    const char* const kSeparators[] = {" ", " ", " ", " ", "  ", ",", "\t", "\n", ""};
    std::mt19937 random(21);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const bool plain = round % 2 == 0; // mostly short numbers and spaces
        for (int n = static_cast<int>(random() % 160); n > 0; --n) {
            text += plain && random() % 50 ? kNumbers[random() % 3 + (random() % 2) * 3]
                                           : kNumbers[random() % std::size(kNumbers)];
            text += plain && random() % 50 ? " " : kSeparators[random() % std::size(kSeparators)];
        }
        ParseOptions options;
        options.maxPathPoints = round % 3 ? 1000 : 1 + random() % 12;
        std::string doubled;
        for (char c : text)
            doubled += c == ' ' ? "  " : std::string(1, c);
        ASSERT_TRUE(ReadAlike(detail::CoordinatesToPath, options, text, doubled, random)) << text;
    }
}

// A contour that closes its item's path ("path Z") is not read again: it
// must warn as the reading of the whole text does, the limit of points
// included, for any path.
TEST(ScribusRobustness, ContourClosingThePathWarnsAsItsWholeText) {
    // The last two go back to "M1 1", where a closed subpath meets its start.
    std::istringstream list("M|m|L|l|H|v|C|c|S|Q|t|Z|z|e|X|0|1|-2.5|3.25|1e3|1e|.|-|7|2e12|"
                            "0.0000001|12345678901234567|C2 3 4 5 1 1|L1 1");
    std::vector<std::string> tokens;
    for (std::string token; std::getline(list, token, '|');)
        tokens.push_back(token);
    const char* const kSeparators[] = {" ", " ", ",", "\t", ""};
    const char* const kEnds[] = {"Z", " Z", "z\n", ",Z ", "ZZ", " L1 2 Z", "Z 1", " ", ""};
    std::mt19937 random(11);
    // Subpaths that meet their start again once closed, or stay open before M.
    const char* const kPaths[] = {"M1 1 L1 1 L1 1 Z", "M1 1 L1 1 L1 1", "M0 0 L1 0 M1 1", ""};
    for (int round = 0; round < 20000; ++round) {
        std::string path = round < 4 ? kPaths[round] : round % 3 ? "M1 1 L" : "";
        for (int n = round < 4 ? 0 : static_cast<int>(random() % 16); n > 0; --n)
            path +=
                tokens[random() % tokens.size()] + kSeparators[random() % std::size(kSeparators)];
        const std::string contour = path + (round < 4 ? "Z" : kEnds[random() % std::size(kEnds)]);
        ParseOptions options;
        options.maxPathPoints = round < 4 ? 100 : 1 + random() % 12;
        ParseResult shared, whole;
        detail::Context a(options, shared), b(options, whole);
        Outline outline, scratch, read;
        const std::string paddedPath = Padded(path, random),
                          paddedContour = Padded(contour, random);
        const detail::SvgEnding ending = detail::SvgToPathEnding(a, paddedPath.c_str(), outline);
        detail::SvgContourWarnings(a, paddedContour.c_str(), paddedPath.c_str(), ending, scratch);
        detail::SvgToPath(b, paddedPath.c_str(), read);
        ASSERT_TRUE(SameOutlines(outline, read)) << path;
        read.clear();
        detail::SvgToPath(b, paddedContour.c_str(), read);
        ASSERT_EQ(whole.warnings.size(), shared.warnings.size()) << contour;
        for (std::size_t i = 0; i < whole.warnings.size(); ++i) {
            ASSERT_EQ(whole.warnings[i].code, shared.warnings[i].code) << contour;
            ASSERT_EQ(whole.warnings[i].message, shared.warnings[i].message) << contour;
        }
        ASSERT_EQ(b.warnCalls, a.warnCalls) << contour;
    }
}

// What each absurd number of absurd-numbers.sla falls back to is pinned by
// the recorded outputs.
// The model's small lists (values in place, then on the heap) against
// std::vector, through random growth, copies and moves.
TEST(ScribusRobustness, SmallListsKeepTheirValuesAsVectorsDo) {
    std::mt19937 random(5);
    SmallList<int, 1> list, other;
    std::vector<int> model, otherModel;
    for (int step = 0; step < 20000; ++step) {
        switch (random() % 8) {
        case 0:
            list.clear(), model.clear();
            break;
        case 1:
            list.reserve(random() % 20);
            break;
        case 2:
            other = list, otherModel = model;
            break;
        case 3:
            list = std::move(other), model = std::move(otherModel), otherModel.clear();
            break;
        case 4: {
            const SmallList<int, 1> moved(std::move(list));
            list = moved;
            break;
        }
        case 5:
            if (!model.empty()) list.push_back(list.back()), model.push_back(model.back());
            break;
        default:
            list.push_back(step), model.push_back(step);
        }
        ASSERT_TRUE(list == model) << step;
        ASSERT_TRUE(other == otherModel) << step;
        ASSERT_GE(list.capacity(), list.size());
    }
}

TEST(ScribusRobustness, AbsurdNumbersFallBackToDefaults) {
    ParseResult r = ParseBytes(Fixture("absurd-numbers.sla"));
    ASSERT_EQ(ParseResult::Status::kOk, r.status);
    EXPECT_TRUE(HasWarning(r, Warning::Code::kBadNumber));
    EXPECT_TRUE(HasWarning(r, Warning::Code::kLimit)); // the huge table
    ExpectCovered(r);
    // A page set of an impossible width has one page a row.
    for (const PageSet& set : r.document.pageSets)
        EXPECT_TRUE(set.columns >= 1 && set.columns <= 100) << set.name;

    // More cells than the table has room for: the surplus is skipped.
    std::string many =
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE/><PAGEOBJECT PTYPE=\"16\" OwnPage=\"0\">"
        "<TableData Rows=\"1\" Columns=\"2\"><Cell Row=\"0\"/>";
    for (int i = 0; i < 5000; ++i)
        many += "<Cell Row=\"0\" Column=\"1\"/>";
    many += "</TableData></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>";
    ParseResult t = ParseBytes(many);
    ASSERT_EQ(1u, t.document.items.size());
    EXPECT_EQ(2u, t.document.items[0].table->cells.size());
    EXPECT_EQ(1, t.document.items[0].table->cells[0].column) << "a cell without a column is none";
    EXPECT_EQ(2u, t.document.stories.size());
    EXPECT_TRUE(HasWarning(t, Warning::Code::kLimit));
}

TEST(ScribusRobustness, DeepNestingIsCutAtTheLimit) {
    std::string doc =
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE PAGEWIDTH=\"100\" PAGEHEIGHT=\"100\"/>";
    const int depth = 5000;
    for (int i = 0; i < depth; ++i)
        doc += "<PAGEOBJECT PTYPE=\"12\" OwnPage=\"0\">";
    doc += "<PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\" ANNAME=\"deep\"><StoryText><ITEXT "
           "CH=\"x\"/></StoryText></PAGEOBJECT>";
    for (int i = 0; i < depth; ++i)
        doc += "</PAGEOBJECT>";
    // Unrelated deep nesting elsewhere is not walked at all.
    for (int i = 0; i < depth; ++i)
        doc += "<junk>";
    for (int i = 0; i < depth; ++i)
        doc += "</junk>";
    doc += "</DOCUMENT></SCRIBUSUTF8NEW>";
    ParseOptions options;
    options.maxNesting = 32;
    ParseResult r = ParseBytes(doc, options);
    EXPECT_EQ(ParseResult::Status::kOk, r.status);
    EXPECT_TRUE(HasWarning(r, Warning::Code::kLimit));
    EXPECT_EQ(33u, r.document.items.size());
    EXPECT_EQ(-1, ItemNamed(r.document, "deep"));
    ASSERT_EQ(1u, r.document.pages[0].items.size());
}

TEST(ScribusRobustness, EnormousValuesAreCappedWithWarnings) {
    std::string big(3 << 20, 'a');
    std::string doc =
        "<SCRIBUSUTF8NEW Version=\"1.4.7\"><DOCUMENT><PAGE PAGEWIDTH=\"100\" PAGEHEIGHT=\"100\"/>"
        "<PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\" ANNAME=\"t\"><ITEXT CH=\"" +
        big +
        "\"/><trail/></PAGEOBJECT>"
        "<PAGEOBJECT PTYPE=\"2\" OwnPage=\"0\" ANNAME=\"i\" isInlineImage=\"1\" ImageData=\"" +
        big +
        "\"/>"
        "</DOCUMENT></SCRIBUSUTF8NEW>";
    ParseOptions options;
    options.maxStoryLength = 1000;
    options.maxEmbeddedImageBytes = 1000;
    ParseResult r = ParseBytes(doc, options);
    ASSERT_EQ(ParseResult::Status::kOk, r.status);
    ExpectCovered(r);
    EXPECT_TRUE(HasWarning(r, Warning::Code::kLimit));
    EXPECT_EQ(1000u, r.document.stories.at(0).text.size());
    EXPECT_TRUE(r.document.items.at(1).embeddedImageData.empty());

    ParseResult unlimited = ParseBytes(doc);
    EXPECT_EQ(big.size(), unlimited.document.stories.at(0).text.size());
}

// A limit that falls inside a surrogate pair leaves no half of it behind.
TEST(ScribusRobustness, TheStoryLimitCutsNoCharacterInTwo) {
    const std::string doc = "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE PAGEWIDTH=\"100\" "
                            "PAGEHEIGHT=\"100\"/><PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\" "
                            "ANNAME=\"t\"><StoryText><ITEXT CH=\"ab\xF0\x9F\x98\x80"
                            "c\"/><trail/></StoryText></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>";
    const struct {
        std::size_t limit;
        std::u16string text;
    } kCases[] = {
        {2, u"ab"},
        {3, u"ab\uFFFD"},
        {4, u"ab\U0001F600"},
        {5, u"ab\U0001F600c"},
        {6, u"ab\U0001F600c"},
    };
    for (const auto& c : kCases) {
        ParseOptions options;
        options.maxStoryLength = c.limit;
        ParseResult r = ParseBytes(doc, options);
        ASSERT_EQ(1u, r.document.stories.size()) << c.limit;
        EXPECT_EQ(c.text, r.document.stories[0].text) << c.limit;
        EXPECT_EQ(c.limit < 5, HasWarning(r, Warning::Code::kLimit)) << c.limit;
        ExpectCovered(r);
    }
}

TEST(ScribusRobustness, ItemAndWarningLimitsHold) {
    ParseOptions few;
    few.maxItems = 3;
    ParseResult r = ParseBytes(Fixture("v14.sla"), few);
    EXPECT_EQ(ParseResult::Status::kOk, r.status);
    EXPECT_LE(r.document.items.size(), 4u); // three read, plus a group made for them
    EXPECT_TRUE(HasWarning(r, Warning::Code::kLimit));
    ExpectCovered(r);

    ParseOptions quiet;
    quiet.maxWarnings = 2;
    r = ParseBytes(Fixture("absurd-numbers.sla"), quiet);
    EXPECT_EQ(2u, r.warnings.size());
    EXPECT_GT(r.droppedWarnings, 5u);
}

TEST(ScribusRobustness, NotScribusInputGivesAnEmptyDocument) {
    EXPECT_EQ(ParseResult::Status::kNotScribus, Parse(nullptr, 10).status);
    for (const std::string& bytes :
         {std::string(), std::string("<svg><g/></svg>"), std::string("\x89PNG\r\n\x1a\n", 8)}) {
        EXPECT_EQ(ParseResult::Status::kNotScribus, ParseBytes(bytes).status);
        EXPECT_TRUE(ParseBytes(bytes).document.items.empty());
    }
    // A Scribus root without a DOCUMENT holds nothing to read: said with a warning.
    ParseResult r = ParseBytes("<SCRIBUSUTF8NEW Version=\"1.5.8\"/>");
    EXPECT_EQ(ParseResult::Status::kNotScribus, r.status);
    EXPECT_TRUE(HasWarning(r, Warning::Code::kTruncated));
}

TEST(ScribusRobustness, TextEncodings) {
    // Invalid UTF-8 is read byte by byte as Latin-1, and said so.
    ParseResult r = ParseBytes(
        "<SCRIBUSUTF8NEW Version=\"1.4.7\"><DOCUMENT><PAGE/>"
        "<PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\"><ITEXT CH=\"caf\xe9 \xe2\x82\xac\"/></PAGEOBJECT>"
        "</DOCUMENT></SCRIBUSUTF8NEW>");
    ASSERT_EQ(1u, r.document.stories.size());
    EXPECT_EQ(u"caf\u00e9 \u20ac", r.document.stories[0].text);
    EXPECT_TRUE(HasWarning(r, Warning::Code::kEncoding));
    // Documents before 1.2 are 8-bit throughout.
    r = ParseBytes("<SCRIBUS Version=\"1.1.7\"><DOCUMENT PAGEWITH=\"100\" PAGEHEIGHT=\"100\" "
                   "TITLE=\"\xc4rger\">"
                   "<PAGE NUM=\"0\" NAM=\"\"><PAGEOBJECT PTYPE=\"4\" XPOS=\"1\"><ITEXT "
                   "CH=\"Gr\xfc\xdf\x65\x05\" CAB=\"0\"/>"
                   "</PAGEOBJECT></PAGE></DOCUMENT></SCRIBUS>");
    EXPECT_EQ(Generation::kLegacy, r.document.generation);
    ASSERT_EQ(1u, r.document.stories.size());
    EXPECT_EQ(u"Gr\u00fc\u00dfe\u2029", r.document.stories[0].text);
    EXPECT_EQ("\xc3\x84rger", r.document.publication.metadata.title);
    EXPECT_FALSE(HasWarning(r, Warning::Code::kEncoding));
}

} // namespace
