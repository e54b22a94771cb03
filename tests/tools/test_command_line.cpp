// The command line: what each form of an option means, and every way a
// command line is refused.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ombra_host;

namespace {

ParsedCommandLine Parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

std::string ErrorOf(std::vector<std::string> arguments) {
    ParsedCommandLine parsed = ParseCommandLine(arguments);
    EXPECT_FALSE(parsed.ok) << "accepted";
    return parsed.error;
}

} // namespace

TEST(CommandLine, OptionsComeInEveryFormAndPosition) {
    ParsedCommandLine parsed =
        Parse({"--readers", "R", "convert", "a.sla", "-j4", "b.sla", "--writers=W", "--outdir",
               "out", "--wrap=72", "-v", "--", "-odd.sla"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const Options& o = parsed.options;
    EXPECT_EQ(o.command, Command::kConvert);
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.sla", "b.sla", "-odd.sla"}));
    EXPECT_EQ(o.readers, "R");
    EXPECT_EQ(o.writers, "W");
    EXPECT_EQ(o.jobs, 4);
    EXPECT_TRUE(o.hasOutdir);
    EXPECT_EQ(o.outdir, "out");
    EXPECT_EQ(o.text.wrap, 72);
    EXPECT_TRUE(o.verbose);

    parsed = Parse({"convert", "a.sla", "-o", "-", "-j", "2"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_TRUE(parsed.options.hasOutput);
    EXPECT_EQ(parsed.options.output, "-");
    EXPECT_EQ(parsed.options.jobs, 2);

    parsed = Parse({"convert", "a.sla", "-oresult.txt", "--jobs=3"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.options.output, "result.txt");
    EXPECT_EQ(parsed.options.jobs, 3);

    // A lone "-" is an input, and the last of a repeated option counts.
    parsed = Parse({"convert", "-", "--unit", "inches", "--unit", "twips"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.options.inputs, (std::vector<std::string>{"-"}));
    EXPECT_EQ(parsed.options.text.unit, 10);
}

TEST(CommandLine, TheTextWritersFlagsFillThePreferencesRecord) {
    ParsedCommandLine parsed =
        Parse({"convert", "a.sla", "--encoding", "UTF16", "--unit", "points", "--style-tags",
               "<%s>", "--page-breaks", "", "--hidden", "--wrap", "0"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    Preferences p = MakePreferences(parsed.options.text);
    EXPECT_EQ(p.textEncoding, 1);
    EXPECT_EQ(p.measurementUnit, 7);
    EXPECT_EQ(p.groupFlag1, 1);
    EXPECT_EQ(p.groupText1, "<%s>");
    EXPECT_EQ(p.groupFlag2, 1) << "an empty page-break text is still given";
    EXPECT_EQ(p.groupText2, "");
    EXPECT_EQ(p.groupFlag3, 1);
    EXPECT_EQ(p.groupNumber, 0);

    // Without flags: UTF-8, no unit the writer knows, nothing switched on.
    parsed = Parse({"convert", "a.sla"});
    ASSERT_TRUE(parsed.ok);
    p = MakePreferences(parsed.options.text);
    EXPECT_EQ(p.textEncoding, 0);
    EXPECT_NE(p.measurementUnit, 2);
    EXPECT_NE(p.measurementUnit, 7);
    EXPECT_NE(p.measurementUnit, 10);
    EXPECT_EQ(p.groupFlag1, 0);
    EXPECT_EQ(p.groupFlag2, 0);
    EXPECT_EQ(p.groupFlag3, 0);
    EXPECT_EQ(p.groupNumber, 0);

    for (auto [word, code] : {std::pair<const char*, int>{"utf8", 0},
                              {"utf-8", 0},
                              {"utf16", 1},
                              {"utf-16", 1},
                              {"default", 2}}) {
        parsed = Parse({"convert", "a", "--encoding", word});
        ASSERT_TRUE(parsed.ok) << word;
        EXPECT_EQ(MakePreferences(parsed.options.text).textEncoding, code) << word;
    }
    parsed = Parse({"convert", "a", "--unit", "Inches"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(MakePreferences(parsed.options.text).measurementUnit, 2);
}

TEST(CommandLine, EachCommandConvertsIntoItsOwnWriter) {
    EXPECT_EQ(WriterIdFor(Parse({"convert", "a"}).options), 259);
    EXPECT_EQ(WriterIdFor(Parse({"dump", "a"}).options), 260);
    EXPECT_EQ(WriterIdFor(Parse({"convert", "a", "--writer", "300"}).options), 300);
    EXPECT_EQ(Parse({"help"}).options.command, Command::kHelp);
    EXPECT_EQ(Parse({"convert", "--help"}).options.command, Command::kHelp);
    EXPECT_EQ(Parse({"--version"}).options.command, Command::kVersion);
    EXPECT_EQ(Parse({"plugins", "--locale", "JA"}).options.language, "ja");
}

TEST(CommandLine, RefusesWhatItCannotMeanWithTheReason) {
    EXPECT_EQ(ErrorOf({}), "no command given");
    EXPECT_EQ(ErrorOf({"transmogrify", "a"}), "unknown command 'transmogrify'");
    EXPECT_EQ(ErrorOf({"convert"}), "'convert' needs at least one input");
    EXPECT_EQ(ErrorOf({"convert", "a", "--frobnicate"}), "unknown option --frobnicate");
    EXPECT_EQ(ErrorOf({"convert", "a", "-x"}), "unknown option -x");
    EXPECT_EQ(ErrorOf({"convert", "a", "-o"}), "-o needs a value");
    EXPECT_EQ(ErrorOf({"convert", "a", "--hidden=yes"}), "--hidden takes no value");
    EXPECT_EQ(ErrorOf({"convert", "a", "-vq"}), "-v takes no value");
    EXPECT_EQ(ErrorOf({"convert", "a", "b", "-o", "out"}),
              "-o names one output: use --outdir for several inputs");
    EXPECT_EQ(ErrorOf({"convert", "a", "-o", "x", "--outdir", "d"}),
              "give either -o or --outdir, not both");
    EXPECT_EQ(ErrorOf({"dump", "a", "b"}), "'dump' takes exactly one input");
    EXPECT_EQ(ErrorOf({"dump"}), "'dump' takes exactly one input");
    EXPECT_EQ(ErrorOf({"plugins", "a"}), "'plugins' takes no inputs");
    EXPECT_EQ(ErrorOf({"formats", "--wrap", "3"}), "--wrap does not apply to 'formats'");
    EXPECT_EQ(ErrorOf({"dump", "a", "-j", "2"}), "-j does not apply to 'dump'");
    EXPECT_EQ(ErrorOf({"convert", "a", "--encoding", "latin1"}),
              "--encoding takes utf8, utf16 or default, not 'latin1'");
    EXPECT_EQ(ErrorOf({"convert", "a", "--unit", "mm"}),
              "--unit takes inches, points or twips, not 'mm'");
    EXPECT_EQ(ErrorOf({"plugins", "--locale", "fr"}), "--locale takes en or ja, not 'fr'");
    EXPECT_EQ(ErrorOf({"convert", "a", "--writer", "0"}),
              "--writer takes a writer id (a positive number), not '0'");
    EXPECT_EQ(ErrorOf({"convert", ""}), "an input name is empty");
    EXPECT_EQ(ErrorOf({"convert", "a", "-o", ""}),
              "-o needs a file name (or - for the standard output)");
    for (const char* jobs : {"0", "65", "-1", "2x", "", "99999999999"})
        EXPECT_NE(
            ErrorOf({"convert", "a", "-j", jobs}).find("takes a number of threads from 1 to 64"),
            std::string::npos)
            << jobs;
    for (const char* wrap : {"-3", "abc", "100001"})
        EXPECT_NE(ErrorOf({"convert", "a", "--wrap", wrap}).find("--wrap takes a line width"),
                  std::string::npos)
            << wrap;
}

TEST(CommandLine, TheUsageTextNamesEveryCommandAndOption) {
    std::string help = UsageText(true);
    for (const char* word :
         {"convert", "dump", "formats", "plugins", "--outdir", "--encoding", "--unit",
          "--style-tags", "--page-breaks", "--hidden", "--wrap", "--jobs", "--writer", "--readers",
          "--writers", "--locale", "Exit status"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    EXPECT_LT(UsageText(false).size(), help.size());
}
