// Broken, hostile and truncated input, and memory running out: the reader
// yields what it could read, reports what it skipped through the conversion
// log and the per-thread error code, and the pump ends normally.
#include "ScribusTestSupport.h"

#include <ombra/messages.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace scribus_test;

class ScribusReaderProblems : public ::testing::Test {
protected:
    // Converts through the pump and the reader directly; the pump must end
    // normally, keep the words and log `code`, the reader must leave it as
    // the error code.
    void Expect(const std::string& bytes, int code, std::vector<std::string> words) {
        std::vector<unsigned> log;
        short ok = 0;
        std::string text = pump_.Convert(bytes, ok, &log);
        EXPECT_EQ(ok, 1);
        EXPECT_NE(std::find(log.begin(), log.end(), OBMessageId(code)), log.end())
            << "code " << code << " not logged";
        for (const std::string& word : words)
            EXPECT_NE(text.find(word), std::string::npos) << "lost: " << word << "\n" << text;
        Conversion direct(bytes);
        EXPECT_NE(direct.error, 0);
        EXPECT_TRUE(direct.Logged(code));
        EXPECT_EQ(CheckValueTypes(direct.top), "");
    }
    Pump pump_;
};

std::string Document(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SCRIBUSUTF8NEW "
           "Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\" "
           "PAGEWIDTH=\"300\" PAGEHEIGHT=\"300\"><PAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" "
           "PAGEWIDTH=\"300\" "
           "PAGEHEIGHT=\"300\" NUM=\"0\"/>" +
           items + "</DOCUMENT></SCRIBUSUTF8NEW>\n";
}

std::string Frame(const std::string& id, const std::string& next, const std::string& text,
                  const std::string& extra = "") {
    return "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"50\" "
           "HEIGHT=\"50\" ItemID=\"" +
           id + "\" NEXTITEM=\"" + next + "\" " + extra + "><StoryText><ITEXT CH=\"" + text +
           "\"/><trail/></StoryText></PAGEOBJECT>";
}

// Each kind of damage: what came before it, or around it, is kept and the
// damage is logged by its code (nesting past the limit: the Limits suite).
TEST_F(ScribusReaderProblems, DamageKeepsWhatWasGoodAndIsLoggedByItsKind) {
    const std::string v15 = Fixture("v15.sla"), gz = Fixture("v15.sla.gz");
    ASSERT_GT(gz.size(), 200u);
    const struct {
        std::string bytes;
        int code;
        std::vector<std::string> words;
    } kCases[] = {
        {v15.substr(0, v15.find("</PAGEOBJECT>", v15.find("Follow")) + 20),
         OBERR::kTruncatedInput,
         {"Grüße"}},
        {Document(Frame("1", "-1", "before damage") + "<PAGEOBJECT <<&& PTYPE=4 =\"\"\"/>" +
                  Frame("2", "-1", "after damage") + "</NOTOPEN>"),
         OBERR::kMalformedInput,
         {"before damage"}},
        {gz.substr(0, gz.size() * 3 / 4), OBERR::kMalformedInput, {}},
        {Fixture("chain-faults.sla"), OBERR::kBrokenReference, {"dangling", "one", "two", "three"}},
        // A loop through three frames linked by item id is cut, and every word stays.
        {Document(Frame("1", "2", "first") + Frame("2", "3", "second") + Frame("3", "1", "third")),
         OBERR::kBrokenReference,
         {"first", "second", "third"}},
        {Fixture("absurd-numbers.sla"), OBERR::kBadValue, {}},
        // Numbers beyond any page.
        {Document("<PAGEOBJECT OwnPage=\"0\" PTYPE=\"6\" XPOS=\"1e308\" YPOS=\"-nan\" "
                  "WIDTH=\"inf\" HEIGHT=\"99999999999999999999\" ROT=\"1e400\" ItemID=\"1\"/>" +
                  Frame("2", "-1", "still here", "COLUMNS=\"2147483648\" COLGAP=\"-1e300\"")),
         OBERR::kBadValue,
         {"still here"}},
        // A reference to the character 0 ends no text, streamed or repaired.
        {Document(Frame("1", "-1", "keep&#0;after&#x00;end")),
         OBERR::kMalformedInput,
         {"keep\uFFFDafter\uFFFDend"}},
        {Document(Frame("1", "-1", "keep&#0;after") + "</NOTOPEN>"),
         OBERR::kMalformedInput,
         {"keep\uFFFDafter"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE("case " + std::to_string(&c - kCases));
        Expect(c.bytes, c.code, c.words);
    }
    std::string flipped = gz;
    for (std::size_t i = gz.size() / 2; i < gz.size() / 2 + 40; ++i)
        flipped[i] = static_cast<char>(~flipped[i]);
    short ok = 0;
    pump_.Convert(flipped, ok);
    EXPECT_EQ(ok, 1);
    // A text of two million characters in one attribute, and a name of a
    // million: kept, not choked on.
    std::string big(2000000, 'x');
    std::string doc = Document(
        Frame("1", "-1", "start " + big + " end", "ANNAME=\"" + std::string(1000000, 'n') + "\""));
    std::string text = pump_.Convert(doc, ok);
    EXPECT_EQ(ok, 1);
    EXPECT_NE(text.find(" end"), std::string::npos);
}

TEST_F(ScribusReaderProblems, RandomDamageNeverBreaksTheTree) {
    unsigned seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFFFF; };
    const char pieces[] = "<>\"&=/ \x00\xff"
                          "0-9\x05";
    for (const char* name : {"reader-features.sla", "v12-basic.sla", "v14.sla", "v15.sla.gz"}) {
        const std::string doc = Fixture(name);
        ASSERT_FALSE(doc.empty());
        for (int round = 0; round < 80; ++round) {
            std::string bytes = doc;
            for (int k = 0; k < 1 + round % 12; ++k) {
                std::size_t at = next() % bytes.size();
                switch (next() % 3) {
                case 0:
                    bytes[at] = pieces[next() % (sizeof pieces - 1)];
                    break;
                case 1:
                    bytes.erase(at, next() % 40);
                    break;
                default:
                    bytes.insert(at, bytes.substr(next() % bytes.size(), next() % 200));
                    break;
                }
                if (bytes.empty()) bytes = "<";
            }
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            Conversion c(bytes);
            ASSERT_EQ(CheckValueTypes(c.top), "");
            for (Element* top : c.top)
                for (Element* story : Descendants(top, EL::kChildStory))
                    ASSERT_EQ(CheckRuns(story), "");
        }
    }
}

TEST_F(ScribusReaderProblems, InputThatIsNoScribusDocumentYieldsNothing) {
    // Forced onto the reader (no probe): nothing to yield, a clear code.
    for (const char* bytes : {"this is not a document at all", ""}) {
        Conversion c(bytes);
        EXPECT_TRUE(c.top.empty());
        EXPECT_EQ(c.error, OBERR::kUnreadableInput);
    }
    // The pump does not pick the reader for it at all.
    short ok = 1;
    pump_.Convert("plain text", ok);
    EXPECT_EQ(ok, 0);
}

// What was built when memory ran out is kept and follows the conventions;
// a partial tree comes with the out-of-memory error (the last error code, or
// logged before a consequence of it, a broken reference say).
TEST_F(ScribusReaderProblems, RunningOutOfMemoryKeepsWhatWasBuilt) {
    std::string doc = Fixture("reader-features.sla");
    std::size_t full = Conversion(doc).top.size();
    ASSERT_GT(full, 10u);
    ombra_test::SweepAllocationFailures(
        [&] {
            Conversion c(doc);
            EXPECT_LE(c.top.size(), full);
            EXPECT_EQ(CheckValueTypes(c.top), "");
            if (!c.top.empty() && c.top.size() < full) {
                EXPECT_TRUE(c.error == OBERR::kOutOfMemory || c.Logged(OBERR::kOutOfMemory))
                    << "error " << c.error;
            }
            return c.top.size() == full;
        },
        100);
}

// Memory running out in the parser's containers, pugixml's tree (damaged
// documents) or the mapper's bookkeeping is reported as running out of
// memory, never as a limit, at every point of the conversion.
TEST_F(ScribusReaderProblems, RunningOutOfHeapIsOutOfMemory) {
    for (const char* name : {"reader-features.sla", "v12-damaged.sla", "v15.sla.gz"}) {
        std::string doc = Fixture(name);
        int refused = 0;
        for (long long n = 0;; n = n < 16 ? n + 1 : n * 5 / 4) {
            SCOPED_TRACE(std::string(name) + " from allocation " + std::to_string(n));
            Conversion c(doc, {}, n);
            EXPECT_FALSE(c.Logged(OBERR::kLimitExceeded));
            if (!c.heapRefused) break; // the whole conversion needed fewer
            ++refused;
            EXPECT_TRUE(c.Logged(OBERR::kOutOfMemory));
        }
        EXPECT_GT(refused, 20) << name;
    }
}

// Lists grow geometrically: a million paragraphs make one list of a million
// paragraph runs, whose storage the memory service sees grow a few dozen
// times, not once per chunk of eight. Claimed sizes the input cannot back
// cost nothing.
TEST_F(ScribusReaderProblems, MillionsOfItemsAreReadInLinearTime) {
    const long kParagraphs = 1000000;
    std::string doc = "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE/>"
                      "<PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\"><StoryText>";
    for (long i = 0; i < kParagraphs; ++i)
        doc += "<ITEXT CH=\"w\"/><para/>";
    doc += "</StoryText></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>";
    const long long before = ombra_test::Stats().large.load();
    std::size_t runs = 0;
    {
        Conversion c(doc);
        for (Element* list : Descendants(c.TopOf(EL::kStoryList), EL::kParagraphRunList))
            runs += list->GetChildCount();
    }
    EXPECT_EQ(static_cast<std::size_t>(kParagraphs), runs);
    EXPECT_LT(ombra_test::Stats().large.load() - before, 200);

    // Empty rows: 1,024 a table, 65,536 a document.
    std::string tables = "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE/>";
    for (int i = 0; i < 70; ++i)
        tables += "<PAGEOBJECT PTYPE=\"16\" OwnPage=\"0\" Rows=\"1000000\" Columns=\"1\">"
                  "<TableData/></PAGEOBJECT>";
    Conversion claim(tables + "</DOCUMENT></SCRIBUSUTF8NEW>");
    const auto rows = Descendants(claim.TopOf(EL::kStoryList), EL::kTableRow).size();
    EXPECT_EQ(65536u, rows);
    EXPECT_TRUE(claim.Logged(OBERR::kLimitExceeded));
}

} // namespace
