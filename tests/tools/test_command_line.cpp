// The command line: what each form of an option means, and every way a
// command line is refused.
#include "CommandLine.h"

#include <gtest/gtest.h>

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

TEST(CommandLine, RefusesWhatItCannotMeanWithTheReason) {
    const std::pair<Args, const char*> cases[] = {
        {{}, "no command given"},
        {{"transmogrify", "a"}, "unknown command 'transmogrify'"},
        {{"help", "frob"}, "'help' knows no command 'frob'"},
        {{"convert"}, "'convert' needs at least one input"},
        {{"convert", "a", "--frobnicate"}, "unknown option --frobnicate"},
        {{"convert", "a", "-vx"}, "unknown option -x"},
        {{"convert", "a", "-o"}, "-o needs a value"},
        {{"convert", "a", "--hidden=yes"}, "--hidden takes no value"},
        {{"convert", "a", "b", "-o", "out"},
         "-o names one output: use --outdir for several inputs"},
        {{"convert", "a", "-o", "x", "--outdir", "d"}, "give either -o or --outdir, not both"},
        {{"convert", "-", "-"}, "the standard input (-) can be read only once"},
        {{"dump", "a", "b"}, "'dump' takes exactly one input"},
        {{"plugins", "a"}, "'plugins' takes no inputs"},
        {{"formats", "--wrap", "3"}, "--wrap does not apply to 'formats'"},
        {{"dump", "a", "-j", "2"}, "-j does not apply to 'dump'"},
        {{"convert", "a", "--unit", "mm"}, "--unit takes inches, points or twips, not 'mm'"},
        {{"convert", "a", "--eol", "unix"},
         "--eol takes lf, crlf, cr, native or platform, not 'unix'"},
        {{"plugins", "--locale", "fr"}, "--locale takes en or ja, not 'fr'"},
        {{"convert", "a", "-t", "doc"},
         "-t takes a writer's name (text, json, html, pandoc) or id, or a format that pandoc "
         "writes (docx, odt, epub, epub2, markdown, md, gfm, rst, latex, rtf, asciidoc, org, "
         "mediawiki, docbook, jats, fb2, texinfo, pptx), not 'doc'"},
        {{"convert", "a", "--set", "=on"},
         "--set takes NAME=VALUE (names as 'ombra plugins' lists them), not '=on'"},
        {{"convert", "a", "-t", "json", "--wrap", "9"},
         "--wrap is a setting of the text writer (-t text)"},
        {{"convert", "a", "-m", "--encoding", "cp1252"},
         "--encoding is a setting of the text writer (-t text)"},
        {{"convert", "a", "-m", "-t", "html"}, "-m writes text, or JSON with -t json"},
        {{"convert", ""}, "an input name is empty"},
        {{"convert", "a", "-j", "65"},
         "-j takes a number of worker processes from 1 to 64, not '65'"},
        {{"dump", "a", "--shard", "1/2"}, "--shard does not apply to 'dump'"},
        {{"convert", "a", "--timeout", "1.5"},
         "--timeout takes seconds from 0 (no limit) to 604800, not '1.5'"},
        {{"convert", "a", "--wrap", "-3"},
         "--wrap takes a line width from 0 (no wrapping) to 10000, not '-3'"},
    };
    for (const char* shard : {"0/4", "5/4", "1/0", "2", "/3", "1/2/3"})
        EXPECT_EQ(ParseCommandLine({"convert", "a", "--shard", shard}).error,
                  "--shard takes I/N, the Ith of N shards (1 <= I <= N), not '" +
                      std::string(shard) + "'");
    for (const char* size : {"63M", "64X", "1MBB", "M", "99999999999999G", "-1G"})
        EXPECT_EQ(ParseCommandLine({"convert", "a", "--max-memory", size}).error,
                  "--max-memory takes a size of at least 64M (K, M, G or T), not '" +
                      std::string(size) + "'");
    for (const auto& [arguments, error] : cases) {
        ParsedCommandLine parsed = ParseCommandLine(arguments);
        EXPECT_FALSE(parsed.ok) << error;
        EXPECT_EQ(parsed.error, error);
    }
}

// A --locale on the line counts for its own errors and for the help; the
// caller's language comes back after.
TEST(CommandLine, ErrorsAndHelpAreInTheLanguageTheLineAsksFor) {
    EXPECT_EQ(ParseCommandLine({"convert", "--locale", "ja"}).error,
              "'convert' には入力が一つ以上必要です");
    EXPECT_EQ(ParseCommandLine({"convert"}).error, "'convert' needs at least one input");
    EXPECT_EQ(ParseCommandLine({"help", "--locale=ja"}).options.language, "ja");
}
