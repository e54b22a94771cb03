// The ombra program as a person runs it: exit codes, batches with inputs
// that fail, outputs that are complete or absent, threads, the listings and
// the display texts in two languages.
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace ombra_test;

namespace {

const std::string kTestPlugIns = OMBRA_TEST_PLUGIN_DIR;
const std::string kToolReaders = std::string(OMBRA_TOOL_PLUGIN_DIR) + "/readers";

// The framework's test plug-ins: reader 9 claims "answer:9=1" and yields
// count= Elements (3 by default); writer 259 writes each Element's id as
// a 32-bit number.
std::vector<std::string> WithTestPlugIns(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--readers", kTestPlugIns, "--writers", kTestPlugIns});
    return arguments;
}

std::string Ids(int count) {
    std::string bytes;
    for (int id = 0; id < count; ++id)
        bytes.append(reinterpret_cast<const char*>(&id), 4);
    return bytes;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void ExpectHas(const std::string& text, const std::vector<std::string>& parts) {
    for (const std::string& part : parts)
        EXPECT_TRUE(Contains(text, part)) << part << " in\n" << text;
}

// The run ended with that exit status and said each part on standard error.
void ExpectExit(const ToolResult& run, int status, const std::vector<std::string>& parts = {}) {
    EXPECT_EQ(run.exitCode, status) << run.err;
    ExpectHas(run.err, parts);
}

int CountLines(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Names of temporary outputs left in a folder.
std::vector<std::string> Leftovers(const TempFolder& folder, const std::string& sub = "") {
    std::vector<std::string> left;
    for (const std::string& name : folder.Names(sub))
        if (name.find(".part") != std::string::npos) left.push_back(name);
    return left;
}

} // namespace

// ---- usage ------------------------------------------------------------------

TEST(OmbraUsage, UsageErrorsExitWithTwoAndShowTheUsage) {
    for (std::vector<std::string> arguments : {std::vector<std::string>{},
                                               {"frobnicate"},
                                               {"convert"},
                                               {"convert", "a", "-j", "0"},
                                               {"convert", "a", "b", "-o", "x"},
                                               {"dump", "a", "b"},
                                               {"plugins", "--bogus"}}) {
        ToolResult run = RunOmbra(arguments);
        ExpectExit(run, 2, {"usage: ombra convert"});
        EXPECT_TRUE(run.out.empty());
    }
    ToolResult help = RunOmbra({"help"});
    ExpectExit(help, 0);
    EXPECT_TRUE(Contains(help.out, "Exit status"));
    ToolResult version = RunOmbra({"--version"});
    ExpectExit(version, 0);
    EXPECT_EQ(version.out.rfind("ombra ", 0), 0u);
}

TEST(OmbraUsage, APlugInFolderThatIsNoneIsAUsageError) {
    TempFolder work;
    ToolResult run = RunOmbra({"plugins", "--readers", work / "nowhere"});
    ExpectExit(run, 2, {"does not exist"});
}

TEST(OmbraUsage, TwoInputsThatWouldWriteOneFileAreRefusedBeforeAnythingIsWritten) {
    TempFolder work;
    work.Write("one/doc.in", "answer:9=1");
    work.Write("two/doc.in", "answer:9=1");
    ToolResult run = RunOmbra(WithTestPlugIns(
        {"convert", work / "one/doc.in", work / "two/doc.in", "--outdir", work / "out"}));
    ExpectExit(run, 2, {"would both write"});
    EXPECT_FALSE(Exists(work / "out"));
}

// ---- converting ---------------------------------------------------------------

TEST(OmbraConvert, ConvertsOneInputNextToItselfOrWhereDashOSays) {
    TempFolder work;
    std::string input = work.Write("doc.in", "answer:9=1 count=4");
    ToolResult run = RunOmbra(WithTestPlugIns({"convert", input}));
    ExpectExit(run, 0);
    EXPECT_EQ(ReadFile(work / "doc.txt"), Ids(4));
    EXPECT_TRUE(run.err.empty()) << "one input gets no summary: " << run.err;

    run = RunOmbra(WithTestPlugIns({"convert", input, "-o", work / "named.bin"}));
    ExpectExit(run, 0);
    EXPECT_EQ(ReadFile(work / "named.bin"), Ids(4));

    run = RunOmbra(WithTestPlugIns({"convert", input, "-o", "-"}));
    ExpectExit(run, 0);
    EXPECT_EQ(run.out, Ids(4));

    // An output that is there already is replaced whole.
    work.Write("doc.txt", std::string(1000, 'x'));
    run = RunOmbra(WithTestPlugIns({"convert", "doc.in", "-v"}), work.Path());
    ExpectExit(run, 0);
    EXPECT_EQ(ReadFile(work / "doc.txt"), Ids(4));
    EXPECT_TRUE(Contains(run.err, "doc.in -> doc.txt (read by reader9.obrd)")) << run.err;
    EXPECT_TRUE(Leftovers(work).empty());
}

TEST(OmbraConvert, ABatchNamesEveryFailedInputWithItsReasonAndConvertsTheRest) {
    TempFolder work;
    work.Write("in/good1.in", "answer:9=1 count=2");
    work.Write("in/strange.in", "nobody claims this");
    work.Write("in/good2.in", "answer:16=1 count=5");
    work.Write("in/breaks.in", "answer:9=1 count=5 throw=GetNextElement");
    work.Write("in/empty.in", "");
    ::mkdir((work / "in/folder.in").c_str(), 0755);
    std::vector<std::string> arguments = {
        "convert",      "in/good1.in", "in/missing.in", "in/strange.in", "in/folder.in",
        "in/breaks.in", "in/empty.in", "in/good2.in",   "--outdir",      "out"};
    ToolResult run = RunOmbra(WithTestPlugIns(arguments), work.Path());
    ExpectExit(run, 1,
               {"in/missing.in: not found", "in/strange.in: not recognised by any reader",
                "in/empty.in: not recognised by any reader",
                "in/folder.in: unreadable (is a folder)", "in/breaks.in: the conversion failed",
                "2 of 7 converted, 5 failed"});
    EXPECT_FALSE(Contains(run.err, "good1")) << run.err;

    // The good ones are complete; the failed ones left nothing, not even a
    // temporary file.
    EXPECT_EQ(work.Names("out"), (std::vector<std::string>{"good1.txt", "good2.txt"}));
    EXPECT_EQ(ReadFile(work / "out/good1.txt"), Ids(2));
    EXPECT_EQ(ReadFile(work / "out/good2.txt"), Ids(5));
    EXPECT_TRUE(Leftovers(work, "out").empty());
}

TEST(OmbraConvert, AnInputThatCannotBeReadIsNamedAsUnreadable) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempFolder work;
    std::string locked = work.Write("locked.in", "answer:9=1");
    ::chmod(locked.c_str(), 0);
    ToolResult run = RunOmbra(WithTestPlugIns({"convert", locked}));
    ExpectExit(run, 1, {"locked.in: unreadable (permission denied)"});
    EXPECT_FALSE(Exists(work / "locked.txt"));
}

TEST(OmbraConvert, AnOutputThatCannotBeWrittenFailsThatInputOnly) {
    TempFolder work;
    std::string input = work.Write("doc.in", "answer:9=1");
    ToolResult run =
        RunOmbra(WithTestPlugIns({"convert", input, "-o", work / "no/such/folder/doc.txt"}));
    ExpectExit(run, 1, {"cannot write", "does not exist"});

    // An output that is a folder, and one that would replace its input.
    ::mkdir((work / "taken").c_str(), 0755);
    run = RunOmbra(WithTestPlugIns({"convert", input, "-o", work / "taken"}));
    ExpectExit(run, 1, {"is a folder"});
    std::string text = work.Write("notes.txt", "answer:9=1");
    run = RunOmbra(WithTestPlugIns({"convert", text}));
    ExpectExit(run, 1, {"would replace the input"});
    EXPECT_EQ(ReadFile(text), "answer:9=1");
    EXPECT_TRUE(Leftovers(work).empty());
}

TEST(OmbraConvert, TwoThreadsConvertAHundredInputsAndStillNameEachFailure) {
    TempFolder work;
    std::vector<std::string> arguments = {"convert"};
    for (int i = 0; i < 100; ++i) {
        std::string name = "in/doc" + std::to_string(i) + ".in";
        // Every tenth input is one no reader claims; the others yield i % 7 + 1 Elements.
        work.Write(name, i % 10 == 3 ? "unknown" : "answer:9=1 count=" + std::to_string(i % 7 + 1));
        arguments.push_back(name);
    }
    arguments.insert(arguments.end(), {"-j", "2", "--outdir", "out"});
    ToolResult run = RunOmbra(WithTestPlugIns(arguments), work.Path());
    ExpectExit(run, 1);
    EXPECT_EQ(CountLines(run.err, ": not recognised by any reader"), 10) << run.err;
    ExpectHas(run.err, {"90 of 100 converted, 10 failed", "2 threads"});
    std::vector<std::string> names = work.Names("out");
    EXPECT_EQ(names.size(), 90u);
    for (int i = 0; i < 100; ++i) {
        std::string output = work / ("out/doc" + std::to_string(i) + ".txt");
        if (i % 10 == 3)
            EXPECT_FALSE(Exists(output)) << output;
        else
            EXPECT_EQ(ReadFile(output), Ids(i % 7 + 1)) << output;
    }
    EXPECT_TRUE(Leftovers(work, "out").empty());
}

TEST(OmbraConvert, TheTextWritersFlagsReachTheWriter) {
    TempFolder work;
    std::string input = work.Write("doc.tree", "OMBRA-TREE story\n");
    auto convert = [&](std::vector<std::string> flags) {
        std::vector<std::string> arguments = {
            "convert", input, "-o", "-", "--readers", kToolReaders, "--writers", OMBRA_WRITER_DIR};
        arguments.insert(arguments.end(), flags.begin(), flags.end());
        ToolResult run = RunOmbra(arguments);
        ExpectExit(run, 0);
        return run.out;
    };
    EXPECT_EQ(convert({}), "Hello, world\r\n日本語 \xF0\x9D\x84\x9E\r\n")
        << "UTF-8 unless told otherwise";
    EXPECT_EQ(convert({"--encoding", "utf16"}).substr(0, 6), std::string("\xFF\xFEH\0e\0", 6));
    EXPECT_EQ(convert({"--encoding", "default"}), "Hello, world\r\n??? ?\r\n");
    EXPECT_EQ(convert({"--wrap", "8", "--unit", "points"}),
              "Page size: unknown\r\n\r\nHello,\r\nworld\r\n日本語 \xF0\x9D\x84\x9E\r\n");
}

TEST(OmbraConvert, WithoutTheWriterNothingIsConverted) {
    TempFolder work;
    std::string input = work.Write("doc.in", "answer:9=1");
    ToolResult run = RunOmbra(WithTestPlugIns({"convert", input, "--writer", "777"}));
    ExpectExit(run, 1, {"no writer with id 777"});
    // Another writer by its id: writer 300 writes the same numbers.
    run = RunOmbra(WithTestPlugIns({"convert", input, "--writer", "300", "-o", work / "out.bin"}));
    ExpectExit(run, 0);
    EXPECT_EQ(ReadFile(work / "out.bin"), Ids(3));
}

// ---- the conversion log and the core's messages --------------------------------

TEST(OmbraMessages, NotesOfTheConversionLogAreShownInTheChosenLanguage) {
    TempFolder work;
    std::string input = work.Write("doc.tree", "OMBRA-TREE story\n");
    std::vector<std::string> arguments = {"dump",      input,        "-o",        work / "doc.json",
                                          "--readers", kToolReaders, "--writers", OMBRA_WRITER_DIR};
    ToolResult english = RunOmbra(arguments);
    ExpectExit(english, 0);
    EXPECT_TRUE(Contains(english.err,
                         "doc.tree: note: A number or name out of range was replaced or dropped"))
        << english.err;

    ToolResult japanese = RunOmbra(arguments, "", "ja_JP.UTF-8");
    EXPECT_TRUE(Contains(japanese.err, "note: 範囲外の数値または名前を置き換えたか、省略しました"))
        << japanese.err;
    arguments.insert(arguments.end(), {"--locale", "en"});
    ToolResult chosen = RunOmbra(arguments, "", "ja_JP.UTF-8");
    EXPECT_TRUE(Contains(chosen.err, "note: A number or name")) << chosen.err;
}

// ---- listings --------------------------------------------------------------------

TEST(OmbraListings, PlugInsAreListedWithIdVersionStatusAndWhyTheyFailed) {
    ToolResult run = RunOmbra(WithTestPlugIns({"plugins"}));
    ExpectExit(run, 0);
    ExpectHas(run.out, {"reader9.obrd  id 9  version 9.7  loaded", "writer259.obwt  id 259  loaded",
                        "noentry.obrd  not loaded: the library has no entry point GetReader",
                        "throwing.obrd  not loaded: GetReader threw"});
    // Preferences without a display text show their resource id; kinds in full.
    ExpectHas(
        run.out,
        {"(no name: resource 8000): one of (resource 8016), (resource 8032), (resource 8048); "
         "default \"Default\"",
         "text, default \"first\"", "      (no name: resource 8300): on/off, default off"});
}

TEST(OmbraListings, FormatsNameWhatEachPlugInReadsAndWrites) {
    ToolResult run =
        RunOmbra({"formats", "--readers", kToolReaders, "--writers", OMBRA_WRITER_DIR});
    ExpectExit(run, 0);
    EXPECT_TRUE(Contains(
        run.out,
        "Readers read:\n  TREE        type 'TREE'  creator 'OMBR'  treereader.obrd (reader 2)"))
        << run.out;
    EXPECT_TRUE(
        Contains(run.out, "JSON        type 'JSON'  creator 'OMBR'  dump.obwt (writer 260)"))
        << run.out;
}

TEST(OmbraListings, DisplayNamesComeFromTheStringsBesideThePlugInsInEitherLanguage) {
    std::vector<std::string> arguments = {"plugins", "--readers", kToolReaders, "--writers",
                                          OMBRA_WRITER_DIR};
    ToolResult english = RunOmbra(arguments);
    ExpectExit(english, 0);
    EXPECT_TRUE(Contains(english.out, "dump.obwt  id 260  version 1.0  loaded\n"
                                      "    Indentation: whole number, default 2 (0 to 8)\n"
                                      "    Story text: on/off, default on\n"))
        << english.out;
    EXPECT_TRUE(Contains(english.out, "dump.strings")) << english.out;

    ToolResult japanese = RunOmbra(arguments, "", "ja_JP.UTF-8");
    EXPECT_TRUE(Contains(japanese.out, "    インデント幅: whole number, default 2 (0 to 8)\n"
                                       "    ストーリーのテキスト: on/off, default on\n"))
        << japanese.out;
    arguments.insert(arguments.end(), {"--locale", "ja"});
    EXPECT_TRUE(Contains(RunOmbra(arguments).out, "インデント幅")) << "--locale overrides LANG";
}

TEST(OmbraListings, BadLinesInAStringsFileAreReportedAndTheRestIsUsed) {
    TempFolder plugIns;
    plugIns.Write("writers/dump.strings",
                  ReadFile(std::string(OMBRA_WRITER_DIR) + "/dump.strings"));
    plugIns.Write("writers/extra/broken.strings",
                  "# a comment\n760000\tAnother name\nseven\tbad id\n");
    std::string library = ReadFile(std::string(OMBRA_WRITER_DIR) + "/dump.obwt");
    plugIns.Write("writers/dump.obwt", library);
    plugIns.Write("readers/none.txt", "");
    ToolResult run =
        RunOmbra({"plugins", "--readers", plugIns / "readers", "--writers", plugIns / "writers"});
    ExpectExit(run, 0);
    EXPECT_TRUE(Contains(run.err, "warning: " + plugIns.Path() +
                                      "/writers/extra/broken.strings:3: the id is not a number"))
        << run.err;
    // Files load in the order of the folder walk; a later text for an id wins.
    ExpectHas(run.out, {"    Another name: whole number", "Story text"});
}

TEST(OmbraListings, ThePlugInFoldersNextToTheProgramAreFoundWithoutBeingNamed) {
    ToolResult run = RunOmbra({"plugins"});
    ExpectExit(run, 0);
    ExpectHas(run.out, {"Writers under " + std::string(OMBRA_WRITER_DIR), "dump.obwt  id 260"});
}

// ---- the sample publication ------------------------------------------------------

namespace {

// True when the build's plug-in folder holds a plug-in with the extension
// (".obrd", ".obwt") other than the dump writer.
bool Built(const std::string& folder, const std::string& extension) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
        std::string name = entry.path().filename().string();
        if (entry.path().extension() == extension && name != "dump.obwt") return true;
    }
    return false;
}

const std::string kSample = std::string(OMBRA_SOURCE_DIR) + "/samples/sample.sla";

} // namespace

TEST(OmbraSample, TheSampleDumpsAsJsonWithItsStories) {
    if (!Built(OMBRA_READER_DIR, ".obrd")) GTEST_SKIP() << "no reader plug-in is built yet";
    ToolResult run = RunOmbra({"dump", kSample});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* text :
         {"The Ombra Gazette", "日本語の記事", "Καλημέρα", "Grüße aus der Schriftsetzerei"})
        EXPECT_TRUE(Contains(run.out, text)) << text;
}

TEST(OmbraSample, TheSampleConvertsToItsTextInEveryLanguage) {
    if (!Built(OMBRA_READER_DIR, ".obrd") || !Built(OMBRA_WRITER_DIR, ".obwt"))
        GTEST_SKIP() << "the reader or the text writer is not built yet";
    ToolResult run = RunOmbra({"convert", kSample, "-o", "-"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* text :
         {"The Ombra Gazette", "Two pages, four languages", "Grüße aus der Schriftsetzerei",
          "この小さな出版物は", "Στα ελληνικά", "おはようございます"})
        EXPECT_TRUE(Contains(run.out, text)) << text << "\n" << run.out;
}
