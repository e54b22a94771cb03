// The limits of docs/limits.md that a test can reach in little time and
// memory, through the shipped readers and the text writer as a host
// converts: each is reported as a limit (never as damage or out of
// memory), and what came before it is converted.
#include <ombra/convert.h>
#include <ombra/messages.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Repeat(int n, const std::string& text) {
    std::string out;
    while (n-- > 0)
        out += text;
    return out;
}

// A text frame "before", then items.
std::string Scribus(const std::string& items) {
    return "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT><PAGE PAGEWIDTH=\"300\" "
           "PAGEHEIGHT=\"300\"/><PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\"><StoryText><ITEXT "
           "CH=\"before\"/><trail/></StoryText></PAGEOBJECT>" +
           items + "</DOCUMENT></SCRIBUSUTF8NEW>";
}

// A frame "deep" in groups nested depth deep.
std::string Groups(int depth) {
    return Repeat(depth, "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"12\">") +
           "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"4\"><StoryText><ITEXT CH=\"deep\"/></StoryText>" +
           Repeat(depth + 1, "</PAGEOBJECT>");
}

std::string Idml(const std::string& name) {
    std::ifstream in(std::string(OMBRA_IDML_PACKAGES) + "/damaged/" + name + ".idml");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace

TEST(Limits, EachLimitIsReportedAsSuchAndWhatCameBeforeIsConverted) {
    std::string badValues; // each its own detail
    for (int i = 0; i < 25; ++i)
        badValues += "<PAGEOBJECT OwnPage=\"0\" PTYPE=\"6\" ROT=\"x" + std::to_string(i) + "\"/>";
    const struct {
        const char* limit;
        std::string input;
        int code; ///< the note the limit gives
        std::string kept, lost;
        int omittedDetails = 0; ///< of that note
    } cases[] = {
        {"Scribus groups, 64 levels", Scribus(Groups(100)), OBERR::kLimitExceeded, "before",
         "deep"},
        {"text writer nesting, 32 levels", Scribus(Groups(40)), OBERR::kLimitExceeded, "deep", ""},
        {"Scribus table cells, 1,000,000",
         Scribus("<PAGEOBJECT OwnPage=\"0\" PTYPE=\"16\"><TableData Rows=\"100000\" "
                 "Columns=\"100000\"/></PAGEOBJECT>"),
         OBERR::kLimitExceeded, "before", ""},
        {"Scribus outline points, 1,000,000",
         Scribus("<PAGEOBJECT OwnPage=\"0\" PTYPE=\"6\" path=\"M0 0" + Repeat(1000001, " L1 1") +
                 "\"/>"),
         OBERR::kLimitExceeded, "before", ""},
        {"IDML part, 128 MiB inflated (a zip bomb)", Idml("zip-bomb"), OBERR::kLimitExceeded,
         "Alpha", "Bomb"},
        {"IDML page items, 64 levels", Idml("deep-nesting"), OBERR::kLimitExceeded, "Top", "Deep"},
        {"details per note, 20", Scribus(badValues), OBERR::kBadValue, "before", "", 5},
    };
    ombra::Converter converter;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        std::string text;
        ombra::Result result = converter.Convert(
            ombra::Source::Bytes(c.input.data(), c.input.size()), ombra::Sink::Memory(text));
        EXPECT_TRUE(result.Ok()) << result.reason;
        int reported = 0;
        for (const ombra::Note& note : result.notes) {
            EXPECT_NE(note.code, OBERR::kMalformedInput) << note.text;
            EXPECT_NE(note.code, OBERR::kOutOfMemory) << note.text;
            if (note.code != c.code) continue;
            ++reported;
            EXPECT_EQ(note.omittedDetails, c.omittedDetails);
        }
        EXPECT_EQ(reported, 1);
        EXPECT_NE(text.find(c.kept), std::string::npos) << c.kept;
        EXPECT_TRUE(c.lost.empty() || text.find(c.lost) == std::string::npos) << c.lost;
    }
}
