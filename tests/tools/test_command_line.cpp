// The command line: what each form of an option means, and every way a
// command line is refused.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace ombra_host;

namespace {
using Args = std::vector<std::string>;
using Settings = std::vector<std::pair<std::string, std::string>>;

Options Parsed(const Args& arguments) {
    ParsedCommandLine parsed = ParseCommandLine(arguments);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    return parsed.options;
}
} // namespace

TEST(CommandLine, OptionsComeInEveryFormAndPosition) {
    Options o = Parsed({"--readers", "R", "convert", "a.sla", "-j4", "b.sla", "--writers=W",
                        "--outdir", "out", "-vq", "--readers", "R2", "--", "-odd.sla"});
    EXPECT_EQ(o.command, Command::kConvert);
    EXPECT_EQ(o.inputs, (Args{"a.sla", "b.sla", "-odd.sla"}));
    EXPECT_EQ(o.readerFolders, (Args{"R", "R2"}));
    EXPECT_EQ(o.writerFolders, (Args{"W"}));
    EXPECT_EQ(o.jobs, 4);
    EXPECT_EQ(o.outdir, "out");
    EXPECT_TRUE(o.verbose && o.quiet);
    o = Parsed({"convert", "-", "-mvj", "3", "-oresult.txt", "-t", "json"});
    EXPECT_EQ(o.inputs, (Args{"-"}));
    EXPECT_TRUE(o.metadata && o.verbose);
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.output, "result.txt");
    EXPECT_EQ(MakeOptions(o).writer, "json");
    EXPECT_EQ(MakeOptions(Parsed({"dump", "a"})).writer, "json");
    EXPECT_EQ(MakeOptions(Parsed({"convert", "a"})).writer, "text");
    o = Parsed({"convert", "a", "--shard", "2/4", "--skip-existing", "--timeout=0"});
    EXPECT_EQ(std::make_pair(o.shardIndex, o.shardCount), std::make_pair(2, 4));
    EXPECT_TRUE(o.skipExisting);
    EXPECT_EQ(o.timeout, 0);
    EXPECT_EQ(Parsed({"convert", "a"}).timeout, kDefaultTimeout);
    const std::pair<const char*, unsigned long long> sizes[] = {{"64M", 64ull << 20},
                                                                {"1g", 1ull << 30},
                                                                {"3GiB", 3ull << 30},
                                                                {"100000000", 100000000ull},
                                                                {"2TB", 2ull << 40}};
    for (const auto& [text, bytes] : sizes)
        EXPECT_EQ(Parsed({"dump", "a", "--max-memory", text}).maxMemory, bytes) << text;
}

TEST(CommandLine, TheTextWritersFlagsAreSettingsByNameInTheirOrder) {
    Options o = Parsed({"convert",       "a",
                        "--style-tags",  "<%s>",
                        "--wrap",        "72",
                        "--unit",        "POINTS",
                        "--hidden",      "-s",
                        "--page-breaks", "",
                        "--set",         "Story text=off",
                        "--eol",         "CRLF",
                        "--encoding",    "shift_jis",
                        "--locale",      "JA"});
    EXPECT_EQ(o.settings, (Settings{{"Mark paragraph styles", "on"},
                                    {"Style tag template", "<%s>"},
                                    {"Wrap lines at column", "72"},
                                    {"Page geometry unit", "Points"},
                                    {"Include master pages and hidden layers", "on"},
                                    {"Squeeze blank lines", "on"},
                                    {"Mark column and page breaks", "on"},
                                    {"Break text", ""},
                                    {"Story text", "off"}}));
    ombra::Options made = MakeOptions(o);
    EXPECT_EQ(made.lineEnd, ombra::LineEnd::kCRLF);
    EXPECT_EQ(made.encoding, "shift_jis");
    EXPECT_EQ(made.locale, OBL::kJapanese);
    EXPECT_EQ(MakeOptions(Parsed({"convert", "a"})).lineEnd, ombra::LineEnd::kNative);
}

TEST(CommandLine, HelpAndVersionWinWhereverTheyStand) {
    const std::pair<Args, Command> cases[] = {{{"help"}, Command::kNone},
                                              {{"help", "dump"}, Command::kDump},
                                              {{"convert", "--help"}, Command::kConvert},
                                              {{"-h"}, Command::kNone},
                                              {{"formats", "-h"}, Command::kFormats}};
    for (const auto& [arguments, topic] : cases) {
        ParsedCommandLine parsed = ParseCommandLine(arguments);
        EXPECT_EQ(parsed.options.command, Command::kHelp);
        EXPECT_EQ(parsed.options.helpTopic, topic) << arguments.front();
    }
    EXPECT_EQ(Parsed({"-V"}).command, Command::kVersion);
    EXPECT_EQ(Parsed({"convert", "--version"}).command, Command::kVersion);
    for (Command topic : {Command::kNone, Command::kConvert, Command::kDump})
        EXPECT_NE(HelpText(topic).find("Exit status"), std::string::npos);
    for (const char* word : {"--eol", "--set", "--strict", "--squeeze", "-m, --metadata", "%s",
                             "\\f", "10000", "shift_jis", "Include master-page items=off"})
        EXPECT_NE(HelpText(Command::kConvert).find(word), std::string::npos) << word;
}

// tests/data/tools/refused-command-lines.txt: each command line with its error.
TEST(CommandLine, RefusesWhatItCannotMeanWithTheReasonInTheLinesLanguage) {
    std::ifstream table(std::string(OMBRA_SOURCE_DIR) +
                        "/tests/data/tools/refused-command-lines.txt");
    int checked = 0;
    for (std::string line; std::getline(table, line);) {
        std::size_t arrow = line.find("=> ");
        if (line.empty() || line[0] == '#' || arrow == std::string::npos) continue;
        Args arguments;
        std::istringstream words(line.substr(0, arrow));
        for (std::string word; words >> word;)
            arguments.push_back(word == "''" ? "" : word);
        ParsedCommandLine parsed = ParseCommandLine(arguments);
        EXPECT_FALSE(parsed.ok) << line;
        EXPECT_EQ(parsed.error, line.substr(arrow + 3)) << line;
        ++checked;
    }
    EXPECT_EQ(checked, 43);
    // A --locale on the line counts for its own errors and for the help; the
    // caller's language comes back after.
    EXPECT_EQ(ParseCommandLine({"convert", "--locale", "ja"}).error,
              "'convert' には入力が一つ以上必要です");
    EXPECT_EQ(ParseCommandLine({"convert"}).error, "'convert' needs at least one input");
    EXPECT_EQ(ParseCommandLine({"help", "--locale=ja"}).options.language, "ja");
}
