// The document read as it streams in: the elements and attribute values the
// streaming XML reader hands on are those of pugixml's tree of the same
// bytes, however the bytes arrive; what it cannot vouch for goes to the
// tree; compressed input inflates as it is read; and stories read before
// the whole document is known come out as if read at the end.
#include "ScribusTestSupport.h"
#include "XmlRecorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <zlib.h>
#include <random>
#include <sstream>

namespace {

using namespace scribus;
using namespace scribus::detail;
using namespace scribus_test;

// Bytes handed out a few at a time, so that tokens cross the refills.
struct Trickle : ByteSource {
    const std::string& bytes;
    std::mt19937& random;
    std::size_t at = 0;
    Trickle(const std::string& b, std::mt19937& r) : bytes(b), random(r) {}
    long long Read(char* data, std::size_t size) override {
        std::size_t n = std::min<std::size_t>({size, bytes.size() - at, random() % 97 + 1});
        std::memcpy(data, bytes.data() + at, n);
        at += n;
        return static_cast<long long>(n);
    }
};

std::string RepeatedTexts() {
    std::string texts;
    for (const char* features : {"inherit", "inherit shyphen", "inherit", "", "inherit"})
        texts += std::string(
                     "<ITEXT FONT=\"A b\" FONTSIZE = '9' u=\"&amp;\" FONT=\"c&lt;\" FEATURES=\"") +
                 features + "\" KERN=\"1&amp;\" CH=\"" + features + "\"/><para/>";
    return texts;
}

// Tags that repeat none of the ones before for long (colours, each named
// first), then tags that do: memos of tags are kept, left out, kept again.
std::string DistinctThenRepeated() {
    std::string tags;
    for (int k = 0; k < 150; ++k)
        tags += "<COLOR NAME=\"c" + std::to_string(k < 100 ? k : 7) + "\" SPACE=\"CMYK\" C=\"" +
                std::to_string(k % 3) + "\" K=\"&amp;\"/>";
    return tags;
}

TEST(ScribusStreaming, ElementsAndValuesAreThoseOfTheTree) {
    // Mutations of documents with the constructs whose reading differs
    // between parsers: references of every kind, line ends and tabs in
    // values, both quotes, comments, CDATA, instructions, NULs.
    std::vector<std::string> seeds = {
        Fixture("v13.sla"), Fixture("chain-faults.sla"),
        "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- c --><SCRIBUSUTF8NEW Version='1.5'><DOCUMENT "
        "TITLE=\"a&amp;b &lt;&gt; &quot;&apos; &#65;&#x42;&#x1F600; &#0; &#; &am &#12a;\" "
        "AUTHOR=\"t\tx\r\ny\nz\r\"><![CDATA[<x>]]><PAGEOBJECT ANNAME='q\"' CH=\"&#xD800;\"/>"
        "</DOCUMENT></SCRIBUSUTF8NEW>\n",
        // Tags that repeat all but their last attribute, as texts do.
        "<SCRIBUSUTF8NEW><DOCUMENT><PAGEOBJECT>" + RepeatedTexts() + "</PAGEOBJECT>" +
            RepeatedTexts() + "</DOCUMENT></SCRIBUSUTF8NEW>",
        "<SCRIBUSUTF8NEW><DOCUMENT>" + DistinctThenRepeated() + "</DOCUMENT></SCRIBUSUTF8NEW>"};
    std::vector<std::string> pieces; // separated by '|'
    std::istringstream list(
        "&|&#|&#x|;|&amp;|&ap|&quot|&#1114112;|&#9;|<|>|\"|'|/|?|!|-|[|]|\r\n|\t|"
        "<!--|-->|<![CDATA[|]]>|<?p |?>|</a>|<a>|<a/>| b=\"1\"|=|<!DOCTYPE a>|"
        "\xff| ");
    for (std::string piece; std::getline(list, piece, '|');)
        pieces.push_back(piece);
    std::mt19937 random(7);
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string bytes = seeds[random() % seeds.size()];
        for (int k = random() % 2; k >= 0; --k) {
            std::size_t at = random() % (bytes.size() + 1);
            switch (random() % 6) {
            case 0:
                bytes.erase(at, random() % 4 + 1);
                break;
            case 1:
                bytes.insert(at, 1, '\0');
                break;
            default:
                bytes.insert(at, pieces[random() % pieces.size()]);
            }
        }
        bool whole = false;
        Trickle trickle(bytes, random);
        ASSERT_EQ("", CompareWithTree(bytes, trickle, &whole));
        accepted += whole;
    }
    EXPECT_GT(accepted, 500); // the mutations keep many documents well formed
}

TEST(ScribusStreaming, LeavesToTheTreeWhatItCannotVouchFor) {
    using namespace std::string_literals;
    const struct {
        std::string xml;
        bool accepted;
    } kCases[] = {
        {"<a><b x=\"1\"/></a>", true},
        {"<a/>\0<junk"s, true},         // a NUL ends the document outside the root
        {"<a/> text <b/> more", true},  // another root and text outside: pugixml reads on
        {"<a>\0</a>"s, false},          // a NUL inside it is damage
        {"<!DOCTYPE a><a/>", false},    // document types go to the tree
        {"<a>", false},                 // not closed
        {"<a></b>", false},             // not the element that is open
        {"</a>", false},                // closes nothing
        {"<a x=\"1\"y=\"2\"/>", false}, // no space between attributes
        {"<a x=1/>", false},            // no quotes
        {"<a x/>", false},              // no value
        {"<a/><", false},               // a stray '<' at the end
        {"<a><!-- open</a>", false},    // a comment that never ends
        {"<a><![CDATA[x]></a>", false}, // nor does this section
        {"<a><?9?></a>", false},        // an instruction without a name
        {"", false},                    // no element at all
        {"  <?xml version=\"1.0\"?>", false},
    };
    for (const auto& c : kCases) {
        bool accepted = false;
        MemorySource memory(c.xml.data(), c.xml.size());
        EXPECT_EQ("", CompareWithTree(c.xml, memory, &accepted));
        EXPECT_EQ(c.accepted, accepted) << c.xml;
    }
    // Beyond the limit it stops; within, a token may be larger than the
    // buffer it starts in.
    std::string big = "<a x=\"" + std::string(300000, 'v') + "\"/>";
    MemorySource limited(big.data(), big.size());
    Recorder ignored;
    EXPECT_EQ(XmlResult::kTooLarge, ReadXml(limited, ignored, 1000));
    MemorySource whole(big.data(), big.size());
    EXPECT_EQ("", CompareWithTree(big, whole));
}

// packed with byte `at` changed, counted from the end when negative.
std::string Flipped(std::string packed, long long at) {
    packed[at < 0 ? packed.size() + at : at] ^= 0x40;
    return packed;
}

// The same member with a header CRC (FHCRC), right or wrong.
std::string WithHeaderCrc(const std::string& packed, bool right) {
    std::string header = packed.substr(0, 10);
    header[3] = static_cast<char>(header[3] | 0x02);
    unsigned crc = crc32_z(0, reinterpret_cast<const unsigned char*>(header.data()), 10);
    if (!right) crc ^= 1;
    return header + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8 & 0xFF) +
           packed.substr(10);
}

// Both inflaters, the streaming one fed in random slices so that trailers
// lie across reads: the bytes, and what ends them.
TEST(ScribusStreaming, CompressedInputInflatesAsItIsRead) {
    // Larger than one step of either: their members end in a later step.
    std::string doc = Fixture("v15.sla");
    while (doc.size() < 200000)
        doc += doc;
    const std::string packed = Gzip(doc);
    const long long size = static_cast<long long>(doc.size());
    const struct {
        std::string bytes;
        long long expected; // bytes inflated, or -1 for damage
        const char* error;  // Gunzip's, after what it inflated
    } kCases[] = {
        {packed, size, ""},
        {packed + std::string(100, '\0'), size, ""}, // padding
        {packed + packed, 2 * size, ""},             // two members
        {packed + "\x1f", size, ""},                 // not the start of another
        {packed + "junk", size, ""},                 // neither is this
        {WithHeaderCrc(packed, true), size, ""},     // the header checked too
        {packed.substr(0, packed.size() / 2), -1, "the compressed data ends early"},
        {packed.substr(0, 20) + std::string(40, 'x') + packed.substr(60), -1, "damaged"},
        {Flipped(packed, -8), -1, "damaged compressed data: incorrect data check"},
        {Flipped(packed, -1), -1, "damaged compressed data: incorrect length check"},
        {packed + Flipped(packed, -5), -1, "damaged compressed data: incorrect data check"},
        {WithHeaderCrc(packed, false), -1, "damaged compressed data: header crc mismatch"},
    };
    for (const auto& c : kCases) {
        for (unsigned seed = 0; seed < 8; ++seed) {
            std::mt19937 random(seed);
            Trickle in(c.bytes, random);
            GzipSource gz(in);
            std::string out(doc.size() * 2 + 16, '\0');
            long long total = 0, n;
            while ((n = gz.Read(&out[total], std::min<std::size_t>(4096, out.size() - total))) > 0)
                total += n;
            ASSERT_EQ(c.expected, n < 0 ? -1 : total) << c.error << " " << seed;
            if (n == 0) {
                EXPECT_EQ(0, out.compare(0, doc.size(), doc));
            }
        }
        std::string whole, error;
        const bool ok = Gunzip(reinterpret_cast<const unsigned char*>(c.bytes.data()),
                               c.bytes.size(), 1 << 24, whole, error);
        EXPECT_EQ(c.expected >= 0, ok) << error;
        EXPECT_EQ(0u, error.rfind(c.error, 0)) << error;
        EXPECT_EQ(0, whole.compare(0, std::min(whole.size(), doc.size()), doc, 0,
                                   std::min(whole.size(), doc.size())));
        if (ok) {
            EXPECT_EQ(static_cast<std::size_t>(c.expected), whole.size());
        }
    }
}

TEST(ScribusStreaming, StoriesReadEarlyComeOutAsIfReadAtTheEnd) {
    // A frame's text says what is wrong with it after every item has: its
    // warnings wait for its place among the stories.
    ParseResult r = ParseBytes(
        "<SCRIBUSUTF8NEW Version=\"1.4.7\"><DOCUMENT><PAGE/>"
        "<PAGEOBJECT PTYPE=\"4\" ANNAME=\"A\"><ITEXT FONTSIZE=\"big\" CH=\"one\"/></PAGEOBJECT>"
        "<PAGEOBJECT PTYPE=\"6\" XPOS=\"wide\"/></DOCUMENT></SCRIBUSUTF8NEW>");
    ASSERT_EQ(2u, r.warnings.size());
    EXPECT_NE(std::string::npos, r.warnings[0].message.find("XPOS"));
    EXPECT_NE(std::string::npos, r.warnings[1].message.find("FONTSIZE"));
    // A frame that names no link of its own but is linked to: read again,
    // in its chain.
    r = ParseBytes("<SCRIBUSUTF8NEW Version=\"1.4.7\"><DOCUMENT><PAGE/>"
                   "<PAGEOBJECT PTYPE=\"4\" ANNAME=\"A\" NEXTITEM=\"1\"><ITEXT CH=\"one \"/>"
                   "</PAGEOBJECT><PAGEOBJECT PTYPE=\"4\" ANNAME=\"B\"><ITEXT CH=\"two\"/>"
                   "</PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>");
    ASSERT_EQ(1u, r.document.stories.size());
    EXPECT_EQ(u"one two", r.document.stories[0].text);
    // Text that names a style by a number before the style is read.
    r = ParseBytes("<SCRIBUSUTF8NEW Version=\"1.3.3\"><DOCUMENT><PAGE/>"
                   "<PAGEOBJECT PTYPE=\"4\"><ITEXT CH=\"x\" CAB=\"5\"/></PAGEOBJECT>"
                   "<STYLE NAME=\"Late\"/></DOCUMENT></SCRIBUSUTF8NEW>");
    ASSERT_EQ(1u, r.document.stories.size());
    EXPECT_EQ("Late", r.document.Format(r.document.stories[0].paragraphs.at(0)).style);
    EXPECT_TRUE(r.warnings.empty());
}

TEST(ScribusStreaming, AHugeTextReadsAsTheSameTextInPieces) {
    // A text longer than the slices it is converted in, with characters of
    // every length and damaged ones across the slice ends, reads as the same
    // text given in many short pieces of the same format.
    // Separated by '|'; "\xC3" "A" is a lead byte without its continuation.
    std::vector<std::string> pieces;
    std::istringstream list("a|word |\xC3\xA9|\xE2\x82\xAC|\xF0\x9D\x84\x9E|\xC3"
                            "A|B\x80|&#13;|&#9;");
    for (std::string piece; std::getline(list, piece, '|');)
        pieces.push_back(piece);
    std::mt19937 random(7);
    std::string whole, split;
    for (std::size_t bytes = 0; bytes < 300000;) {
        std::string piece;
        for (int k = 0; k < 20; ++k)
            piece += pieces[random() % pieces.size()];
        whole += piece;
        split += "<ITEXT FONTSIZE=\"9\" CH=\"" + piece + "\"/>";
        bytes += piece.size();
    }
    auto read = [](const std::string& texts) {
        return ParseBytes("<SCRIBUSUTF8NEW Version=\"1.4.7\"><DOCUMENT><PAGE/><PAGEOBJECT "
                          "PTYPE=\"4\">" +
                          texts + "</PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>");
    };
    ParseResult one = read("<ITEXT FONTSIZE=\"9\" CH=\"" + whole + "\"/>"), many = read(split);
    ASSERT_EQ(1u, one.document.stories.size());
    ASSERT_EQ(1u, many.document.stories.size());
    const Story &a = one.document.stories[0], &b = many.document.stories[0];
    EXPECT_GT(a.text.size(), 150000u);
    EXPECT_TRUE(a.text == b.text);
    EXPECT_EQ(b.runs.size(), a.runs.size());
    EXPECT_EQ(b.paragraphs.size(), a.paragraphs.size());
    EXPECT_EQ(many.warnings.size(), one.warnings.size());
}

// Texts that repeat the attributes of texts before them (whose formats are
// reused) read as texts that repeat none: the same text, runs, markers and
// warnings.
TEST(ScribusStreaming, RepeatedTextsReadAsEachAlone) {
    const char* const kTexts[] = {
        "CH=\"ab\"",
        "FEATURES=\"inherit shyphen\" CH=\"c\xC2\xAD\"",
        "FEATURES=\"inherit shyphen\" CH=\"\xC2\xAD\"",
        "FONTSIZE=\"12\" CH=\"a quite long text, \xC3\xA9 in it\"",
        "FONTSIZE=\"x\" CH=\"e\"",
        "FEATURES=\"underline\" CH=\"f&#13;g\"",
        "CPARENT=\"S\" FONTSIZE=\"12\" CH=\"h\"",
        "EFFECT=\"y\" CH=\"i\"",
        "FONT=\"A b\" FONTSIZE=\"12\" CH=\"k\" KERN=\"1\"", // its text among the repeated bytes
        "COBJ=\"5\" CH=\"j\"",
        "COBJ=\"6\"",
        "CH=\"\"",
    };
    const std::string head = "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE/><PAGEOBJECT "
                             "PTYPE=\"4\"><StoryText>",
                      tail = "<trail/></StoryText></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>";
    std::mt19937 random(11);
    for (int round = 0; round < 30; ++round) {
        // The same texts, then each with an attribute of its own first
        // (which a text does not read).
        std::string repeating, unique;
        for (int k = 0; k < 40; ++k) {
            const char* text = kTexts[random() % (sizeof kTexts / sizeof kTexts[0])];
            const char* after = random() % 8 ? "" : "<para/>";
            repeating += std::string("<ITEXT ") + text + "/>" + after;
            unique += "<ITEXT ALIGN=\"" + std::to_string(k) + "\" " + text + "/>" + after;
        }
        const ParseResult a = ParseBytes(head + repeating + tail),
                          b = ParseBytes(head + unique + tail);
        const Story &s = a.document.stories.at(0), &t = b.document.stories.at(0);
        EXPECT_TRUE(s.text == t.text) << round;
        ASSERT_EQ(t.runs.size(), s.runs.size()) << round;
        for (std::size_t r = 0; r < s.runs.size(); ++r) {
            const CharacterFormat &f = a.document.Format(s.runs[r]),
                                  &g = b.document.Format(t.runs[r]);
            EXPECT_TRUE(s.runs[r].start == t.runs[r].start &&
                        s.runs[r].length == t.runs[r].length && f.style == g.style &&
                        SameCharacter(f.local, g.local))
                << round << " " << r;
        }
        ASSERT_EQ(t.markers.size(), s.markers.size()) << round;
        EXPECT_EQ(t.paragraphs.size(), s.paragraphs.size()) << round;
        EXPECT_EQ(b.warnings.size(), a.warnings.size()) << round;
    }
}

// Frames that repeat paragraph formats (which are read once and reused) get
// the formats, tabs and warnings each gets read on its own.
TEST(ScribusStreaming, RepeatedParagraphFormatsReadAsEachAlone) {
    // The ends of a frame's DefaultStyle, then its paragraph formats.
    std::vector<std::string> kFormats;
    std::istringstream list("FONTSIZE=\"9\"/>|FONTSIZE=\"9\"><Tabs Pos=\"3\"/></DefaultStyle>|"
                            "FONTSIZE=\"8\"/>|FONTSIZE=\"x\"/>|<para PARENT=\"P\"/>|"
                            "<para PARENT=\"P\" ALIGN=\"2\"/>|<trail/>");
    for (std::string format; std::getline(list, format, '|');)
        kFormats.push_back(format);
    const std::string head = "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE/>",
                      tail = "</DOCUMENT></SCRIBUSUTF8NEW>";
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        std::string frames[6], all;
        for (std::string& f : frames)
            all += f =
                "<PAGEOBJECT PTYPE=\"4\"><StoryText><DefaultStyle ALIGN=\"1\" FONT=\"A b\" " +
                kFormats[random() % 4] + "<ITEXT CH=\"x\"/>" + kFormats[4 + random() % 2] +
                kFormats[4 + random() % 3] + "</StoryText></PAGEOBJECT>";
        const ParseResult together = ParseBytes(head + all + tail);
        const Document& d = together.document;
        std::size_t warnings = 0;
        for (std::size_t f = 0; f < 6; ++f) {
            const ParseResult alone = ParseBytes(head + frames[f] + tail);
            const Document& e = alone.document;
            const Story &s = d.stories.at(f), &t = e.stories.at(0);
            ASSERT_EQ(t.paragraphs.size(), s.paragraphs.size());
            for (std::size_t p = 0; p < s.paragraphs.size(); ++p) {
                const ParagraphFormat &a = d.Format(s.paragraphs[p]),
                                      &b = e.Format(t.paragraphs[p]);
                EXPECT_TRUE(a.style == b.style && SameParagraph(a.local, b.local));
            }
            EXPECT_TRUE(
                SameParagraph(e.Defaults(e.items.at(0)).local, d.Defaults(d.items.at(f)).local));
            warnings += alone.warnings.size();
        }
        EXPECT_EQ(warnings, together.warnings.size()) << round;
    }
}

} // namespace
