// The formats the ombra program writes through pandoc: what it hands
// pandoc and how, what it makes of pandoc's output, warnings and failures
// (a stand-in pandoc on the PATH), and one real pandoc run where pandoc
// is installed.
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

using namespace ombra_test;

namespace {

const std::string kColours = std::string(OMBRA_SOURCE_DIR) + "/tests/data/scribus/real/colours.sla";

// Runs with a PATH of one folder that holds a stand-in pandoc (a shell
// script), then puts the PATH back.
ToolResult WithPandoc(const TempFolder& work, const std::string& script,
                      const std::vector<std::string>& arguments) {
    std::string bin = work / "bin";
    if (!script.empty()) {
        work.Write("bin/pandoc", "#!/bin/sh\nPATH=/usr/bin:/bin\n" + script);
        ::chmod((bin + "/pandoc").c_str(), 0755);
    }
    std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", bin.c_str(), 1); // and no other pandoc
    ToolResult run = RunOmbra(arguments);
    ::setenv("PATH", saved.c_str(), 1);
    return run;
}

TEST(OmbraPandoc, TheDocumentGoesToPandocAndItsOutputIsTheFormats) {
    TempFolder work;
    // Keeps what it was given and answers with a warning and its own bytes.
    std::string script = "echo \"$@\" > '" + (work / "args") + "'\ncat > '" + (work / "in") +
                         "'\necho '[WARNING] Could not fetch resource a.png' >&2\nprintf 'DOCX'\n";
    ToolResult run =
        WithPandoc(work, script, {"convert", "-t", "DOCX", kColours, "--outdir", work / "out"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(work / "out/colours.docx"), "DOCX");
    EXPECT_NE(run.err.find("note: pandoc: Could not fetch resource a.png"), std::string::npos)
        << run.err;
    std::string args = ReadFile(work / "args");
    for (const char* part : {"--from=json", "--to=docx", "--standalone", "--output=-",
                             "--resource-path=" OMBRA_SOURCE_DIR "/tests/data/scribus/real"})
        EXPECT_NE(args.find(part), std::string::npos) << part << " in " << args;
    EXPECT_EQ(ReadFile(work / "in").compare(0, 10, "{\"blocks\":"), 0) << "pandoc's document";
}

TEST(OmbraPandoc, AMissingOrFailingPandocFailsTheInputAndWritesNothing) {
    struct Case {
        const char* script; // empty: no pandoc at all
        const char* says;
    } cases[] = {
        {"", "goes through pandoc, which is not installed"},
        {"echo 'Unknown writer: x' >&2\nexit 3\n", "pandoc could not write odt: Unknown writer: x"},
        {"exit 4\n", "pandoc could not write odt: it ended with status 4"},
        {"kill -9 $$\n", "pandoc could not write odt"},
    };
    for (const Case& c : cases) {
        TempFolder work;
        ToolResult run =
            WithPandoc(work, c.script, {"convert", "-t", "odt", kColours, "-o", work / "out.odt"});
        EXPECT_EQ(run.exitCode, 1) << c.says;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_FALSE(Exists(work / "out.odt")) << c.says;
    }
}

TEST(OmbraPandoc, RealPandocWritesAWordDocument) {
    if (std::system("pandoc --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no pandoc";
    TempFolder work;
    ToolResult run = RunOmbra({"convert", "-t", "docx", kColours, "-o", work / "c.docx"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(work / "c.docx").compare(0, 2, "PK"), 0) << "a zip package";
}

} // namespace
