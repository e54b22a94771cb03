// The limits of docs/limits.md that a test can reach in little time and
// memory, through the shipped readers and the text writer as a host
// converts: each is reported as a limit (never as damage or out of
// memory), and what came before it is converted.
#include <ombra/convert.h>
#include <ombra/messages.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Scribus(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SCRIBUSUTF8NEW Version=\"1.5.8\">"
           "<DOCUMENT ANZPAGES=\"1\" PAGEWIDTH=\"300\" PAGEHEIGHT=\"300\"><PAGE PAGEXPOS=\"0\" "
           "PAGEYPOS=\"0\" PAGEWIDTH=\"300\" PAGEHEIGHT=\"300\" NUM=\"0\"/>" +
           items + "</DOCUMENT></SCRIBUSUTF8NEW>\n";
}

std::string Item(int id, const std::string& attributes, const std::string& content = "") {
    return "<PAGEOBJECT OwnPage=\"0\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"50\" HEIGHT=\"50\" "
           "ItemID=\"" +
           std::to_string(id) + "\" " + attributes + ">" + content + "</PAGEOBJECT>";
}

std::string Frame(int id, const std::string& text) {
    return Item(id, "PTYPE=\"4\"", "<StoryText><ITEXT CH=\"" + text + "\"/><trail/></StoryText>");
}

std::string Groups(int depth, const std::string& inside) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open +=
            "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"12\" ItemID=\"" + std::to_string(1000 + i) + "\">";
        close += "</PAGEOBJECT>";
    }
    return open + inside + close;
}

std::string Outline(int points) {
    std::string path = "M0 0";
    for (int i = 0; i < points; ++i)
        path += " L" + std::to_string(i % 100) + " 1";
    return Item(7, "PTYPE=\"6\" path=\"" + path + " Z\"");
}

std::string BadValues(int count) {
    std::string items;
    for (int i = 0; i < count; ++i)
        items += Item(100 + i, "PTYPE=\"6\" ROT=\"x" + std::to_string(i) + "\"");
    return items;
}

std::string Package(const std::string& name) {
    std::ifstream in(std::string(OMBRA_IDML_PACKAGES) + "/damaged/" + name + ".idml",
                     std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct Reached {
    const char* limit;
    std::function<std::string()> input;
    int code; ///< the note the limit gives
    std::vector<std::string> kept, lost;
    int omittedDetails = 0; ///< of that note
};

} // namespace

TEST(Limits, EachLimitIsReportedAsSuchAndWhatCameBeforeIsConverted) {
    const Reached cases[] = {
        {"Scribus group nesting, 64 levels",
         [] { return Scribus(Frame(1, "before") + Groups(100, Frame(2, "deep"))); },
         OBERR::kLimitExceeded,
         {"before"},
         {"deep"}},
        {"text writer nesting, 32 levels",
         [] { return Scribus(Frame(1, "before") + Groups(40, Frame(2, "deep"))); },
         OBERR::kLimitExceeded,
         {"before", "deep"},
         {}},
        {"Scribus table, rows x columns over 1,000,000",
         [] {
             return Scribus(Frame(1, "before") +
                            Item(5, "PTYPE=\"16\"",
                                 "<TableData Rows=\"100000\" Columns=\"100000\"></TableData>"));
         },
         OBERR::kLimitExceeded,
         {"before"},
         {}},
        {"Scribus outline, 1,000,000 points",
         [] { return Scribus(Frame(1, "before") + Outline(1000001)); },
         OBERR::kLimitExceeded,
         {"before"},
         {}},
        {"IDML part, 128 MiB inflated (a zip bomb)",
         [] { return Package("zip-bomb"); },
         OBERR::kLimitExceeded,
         {"Alpha"},
         {"Bomb"}},
        {"IDML page items, 64 levels",
         [] { return Package("deep-nesting"); },
         OBERR::kLimitExceeded,
         {"Top"},
         {"Deep"}},
        {"details per note, 20",
         [] { return Scribus(Frame(1, "before") + BadValues(25)); },
         OBERR::kBadValue,
         {"before"},
         {},
         5},
    };
    ombra::Converter converter;
    for (const Reached& c : cases) {
        SCOPED_TRACE(c.limit);
        std::string input = c.input(), text;
        ombra::Result result = converter.Convert(ombra::Source::Bytes(input.data(), input.size()),
                                                 ombra::Sink::Memory(text));
        EXPECT_TRUE(result.Ok()) << result.reason;
        bool reported = false;
        for (const ombra::Note& note : result.notes) {
            EXPECT_NE(note.code, OBERR::kMalformedInput) << note.text;
            EXPECT_NE(note.code, OBERR::kOutOfMemory) << note.text;
            if (note.code != c.code) continue;
            reported = true;
            EXPECT_EQ(note.omittedDetails, c.omittedDetails);
        }
        EXPECT_TRUE(reported);
        for (const std::string& kept : c.kept)
            EXPECT_NE(text.find(kept), std::string::npos) << kept;
        for (const std::string& lost : c.lost)
            EXPECT_EQ(text.find(lost), std::string::npos) << lost;
    }
}
