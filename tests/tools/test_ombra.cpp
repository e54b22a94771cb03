// The ombra program as a person runs it: exit codes, batches with inputs
// that fail, outputs of every kind of file, standard input, line ends and
// encodings, every setting, the listings and the messages in two languages.
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ombra_test;

namespace {

using Args = std::vector<std::string>;
const std::string kTestPlugIns = OMBRA_TEST_PLUGIN_DIR;

// Only the framework's test plug-ins: reader 9 claims "answer:9=1" and yields
// count= Elements (3 by default); writer 259 writes each Element's id as a
// 32-bit number. The tool's tree reader joins them where asked.
Args WithTestPlugIns(Args arguments, bool trees = false) {
    arguments.insert(arguments.end(), {"--no-default-plugins", "--readers", kTestPlugIns,
                                       "--writers", kTestPlugIns});
    if (trees) arguments.insert(arguments.end(), {"--readers", kToolReaders});
    return arguments;
}
// The tree reader beside the shipped plug-ins.
Args WithTrees(Args arguments) {
    arguments.insert(arguments.end(), {"--readers", kToolReaders});
    return arguments;
}

std::string Ids(int count) {
    std::string bytes;
    for (int id = 0; id < count; ++id)
        bytes.append(reinterpret_cast<const char*>(&id), 4);
    return bytes;
}

void ExpectHas(const std::string& text, const std::vector<std::string>& parts) {
    for (const std::string& part : parts)
        EXPECT_TRUE(Contains(text, part)) << part << " in\n" << text;
}

void ExpectExit(const ToolResult& run, int status, const std::vector<std::string>& parts = {}) {
    EXPECT_EQ(run.exitCode, status) << run.err;
    ExpectHas(run.err, parts);
}

std::vector<std::string> Leftovers(const TempFolder& folder, const std::string& sub = "") {
    std::vector<std::string> left;
    for (const std::string& name : folder.Names(sub))
        if (Contains(name, ".part")) left.push_back(name);
    return left;
}

mode_t ModeOf(const std::string& path, bool follow = true) {
    struct stat info = {};
    (follow ? ::stat : ::lstat)(path.c_str(), &info);
    return info.st_mode;
}

} // namespace

// ---- usage and help -----------------------------------------------------------

TEST(OmbraUsage, UsageErrorsExitWithTwoNamingTheProblem) {
    TempFolder work;
    std::string tree = work.Write("t.tree", "OMBRA-TREE story\n");
    const std::pair<Args, std::string> cases[] = {
        {{}, "no command given"},
        {{"convert", "a", "-j", "0"}, "from 1 to 64"},
        {{"plugins", "--readers", work / "nowhere"}, "the plug-in folder " + work / "nowhere"},
        {WithTrees({"convert", tree, "--set", "Nonesuch=1"}),
         "no reader or writer setting is named 'Nonesuch' (settings: Text encoding,"},
        {WithTrees({"convert", tree, "--encoding", "klingon"}), "the encoding 'klingon' is none"},
        {WithTrees({"convert", tree, "-t", "777"}), "no writer '777' is loaded"},
    };
    for (const auto& [arguments, problem] : cases) {
        ToolResult run = RunOmbra(arguments);
        ExpectExit(run, 2, {problem, "usage: ombra convert"});
        EXPECT_TRUE(run.out.empty());
    }
    EXPECT_FALSE(Exists(work / "t.txt"));
}

TEST(OmbraUsage, HelpVersionAndListingsGoToTheStandardOutputWhichMustTakeThem) {
    ToolResult help = RunOmbra({"help", "convert"});
    ExpectExit(help, 0);
    EXPECT_EQ(help.out, RunOmbra({"convert", "--help"}).out);
    ExpectHas(help.out, {"--eol", "Exit status"});
    EXPECT_EQ(RunOmbra({"-V"}).out.rfind("ombra ", 0), 0u);
    const RunHow full{"", "C", "/dev/null", "/dev/full"};
    // A dump outgrows the stream's buffer: its write fails before the flush.
    for (Args arguments : {Args{"help"}, Args{"--version"}, Args{"formats"}, Args{"plugins"},
                           Args{"dump", OMBRA_SOURCE_DIR "/samples/sample.sla"}})
        ExpectExit(RunOmbra(arguments, full), 1,
                   {"cannot write to the standard output (no space left on the device)"});
}

// ---- converting -----------------------------------------------------------------

TEST(OmbraConvert, ConvertsOneInputNextToItselfOrWhereDashOSays) {
    TempFolder work;
    std::string input = work.Write("doc.in", "answer:9=1 count=4");
    ToolResult run = RunOmbra(WithTestPlugIns({"convert", input}));
    ExpectExit(run, 0);
    EXPECT_EQ(ReadFile(work / "doc.txt"), Ids(4));
    EXPECT_TRUE(run.err.empty()) << "one input gets no summary: " << run.err;
    run = RunOmbra(WithTestPlugIns({"convert", input, "-o", "-"}));
    EXPECT_EQ(run.out, Ids(4));
    work.Write("doc.txt", std::string(1000, 'x'));
    const RunHow inWork{work.Path()};
    run = RunOmbra(WithTestPlugIns({"convert", "doc.in", "-v"}), inWork);
    ExpectExit(run, 0, {"doc.in -> doc.txt (read by reader9.obrd)"});
    EXPECT_EQ(ReadFile(work / "doc.txt"), Ids(4)) << "replaced whole";
    EXPECT_TRUE(Leftovers(work).empty());
    // Nothing can be written beside a pipe's input (as from <(zcat …)).
    ExpectExit(RunOmbra(WithTestPlugIns({"convert", "/dev/fd/0"}), RunHow{"", "C", input}), 1,
               {"cannot write /dev/fd/0.txt", "elsewhere with -o FILE, -o -"});
    // Inputs of one name in two folders clash in --outdir, unless it keeps the folders.
    for (const char* folder : {"a", "b"}) {
        std::filesystem::create_directories(work / folder);
        work.Write(folder + std::string("/doc.in"),
                   *folder == 'a' ? "answer:9=1 count=2" : "answer:9=1 count=3");
    }
    const Args both = {"convert", "a/doc.in", "b/doc.in", "--outdir", "out"};
    ExpectExit(RunOmbra(WithTestPlugIns(both), inWork), 2, {"would both write out/doc.txt"});
    Args kept = both;
    kept.push_back("--keep-folders");
    ExpectExit(RunOmbra(WithTestPlugIns(kept), inWork), 0);
    EXPECT_EQ(ReadFile(work / "out/a/doc.txt") + ReadFile(work / "out/b/doc.txt"),
              RunOmbra(WithTestPlugIns({"convert", "a/doc.in", "-o", "-"}), inWork).out +
                  RunOmbra(WithTestPlugIns({"convert", "b/doc.in", "-o", "-"}), inWork).out);
}

// Without -t the output's extension names the writer, in any letter case;
// -t, a text writer's option, -m (but for .json) and other extensions keep
// what they say.
TEST(OmbraConvert, TheOutputsExtensionNamesTheWriterWhenNoneIsGiven) {
    TempFolder work;
    const std::string doc = kData + "real/colours.sla";
    const std::string text = RunOmbra({"convert", doc, "-o", "-"}).out;
    const std::string dump = RunOmbra({"convert", doc, "-t", "json", "-o", "-"}).out;
    const std::string page = RunOmbra({"convert", doc, "-t", "html", "-o", "-"}).out;
    ASSERT_NE(text, dump);
    const struct {
        Args more;
        const char* output;
        const std::string& expected;
    } kCases[] = {
        {{}, "a.html", page},
        {{}, "a.JSON", dump},
        {{}, "a.txt", text},
        {{}, "a.sla.out", text},
        {{"-t", "text"}, "a.html", text},
        {{"--wrap", "0"}, "a.html", text},
    };
    for (const auto& c : kCases) {
        Args args = {"convert", doc, "-o", work / c.output};
        args.insert(args.end(), c.more.begin(), c.more.end());
        ExpectExit(RunOmbra(args), 0);
        EXPECT_EQ(ReadFile(work / c.output), c.expected) << c.output;
    }
    ExpectExit(RunOmbra({"convert", doc, "-m", "-o", work / "m.json"}), 0);
    EXPECT_EQ(ReadFile(work / "m.json").compare(0, 1, "{"), 0);
    ExpectExit(RunOmbra({"convert", doc, "-m", "-o", work / "m.html"}), 0);
    EXPECT_EQ(ReadFile(work / "m.html"), RunOmbra({"convert", doc, "-m"}).out);
}

// A package's picture, found in the Links folder beside the document, and
// one linked relative to the document are linked relative to an HTML page
// or a pandoc document written beside it, and by their whole paths from
// one elsewhere or on the standard output.
TEST(OmbraConvert, PagesLinkPicturesBesideThemRelatively) {
    TempFolder work;
    ASSERT_TRUE(std::filesystem::create_directories(work / "pkg/Links"));
    work.Write("pkg/Links/p q.png", "png");
    work.Write("pkg/r.png", "png");
    const std::string picture = "<PAGEOBJECT PTYPE=\"2\" OwnPage=\"0\" WIDTH=\"9\" HEIGHT=\"9\" ";
    work.Write("pkg/doc.sla", "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\">"
                              "<PAGE NUM=\"0\"/>" +
                                  picture + "PFILE=\"/nowhere/p q.png\"/>" + picture +
                                  "PFILE=\"r.png\"/></DOCUMENT></SCRIBUSUTF8NEW>");
    const RunHow inWork{work.Path()};
    const std::string whole = std::filesystem::canonical(work.Path()).string() + "/pkg/";
    const struct {
        const char *writer, *output, *pictures[2];
    } kCases[] = {
        {"html", "pkg/page.html", {"src=\"Links/p%20q.png\"", "src=\"r.png\""}},
        {"html", "page.html", {"src=\"pkg/Links/p%20q.png\"", "src=\"pkg/r.png\""}},
        {"pandoc", "pkg/page.json", {"[\"Links/p%20q.png\",", "[\"r.png\","}},
        {"pandoc", "page.json", {"[\"pkg/Links/p%20q.png\",", "[\"pkg/r.png\","}},
    };
    for (const auto& c : kCases) {
        ExpectExit(RunOmbra({"convert", "pkg/doc.sla", "-t", c.writer, "-o", c.output}, inWork), 0);
        for (const char* link : c.pictures)
            EXPECT_NE(ReadFile(work / c.output).find(link), std::string::npos) << c.output << link;
    }
    ToolResult out = RunOmbra({"convert", "pkg/doc.sla", "-t", "html", "-o", "-"}, inWork);
    EXPECT_NE(out.out.find("src=\"file://" + whole + "r.png"), std::string::npos) << out.out;
    out = RunOmbra({"convert", "pkg/doc.sla", "-t", "pandoc", "-o", "-"}, inWork);
    EXPECT_NE(out.out.find("[\"" + whole + "Links/p%20q.png\","), std::string::npos) << out.out;
}

// Every way an input fails, in one batch, with one worker and with two: the
// same lines, each naming its input; the good ones are converted. (Many
// inputs on two workers: OmbraWorkers.)
TEST(OmbraConvert, ABatchNamesEveryFailureAndNoteOfEachInputWithAnyNumberOfWorkers) {
    TempFolder work;
    work.Write("in/good1.in", "answer:9=1 count=2");
    work.Write("in/strange.in", "nobody claims this");
    work.Write("in/good2.in", "answer:16=1 count=5");
    work.Write("in/breaks.in", "answer:9=1 count=5 throw=GetNextElement");
    work.Write("in/nomemory.in", "answer:9=1 count=5 nomemory=GetNextElement");
    work.Write("in/probe.in", "answer:9=1 nomemory=CanImportThis");
    work.Write("in/empty.in", "");
    work.Write("in/broken.tree", "OMBRA-TREE broken\n");
    work.Write("in/story.tree", "OMBRA-TREE story\n");
    ::mkdir((work / "in/folder.in").c_str(), 0755);
    const RunHow inWork{work.Path()};
    std::vector<std::string> lines[2];
    for (int workers : {1, 2}) {
        Args arguments = {"convert",
                          "in/good1.in",
                          "in/missing\x1b[2J.in",
                          "in/strange.in",
                          "in/folder.in",
                          "in/breaks.in",
                          "in/empty.in",
                          "in/broken.tree",
                          "in/good2.in",
                          "in/story.tree",
                          "in/nomemory.in",
                          "in/probe.in",
                          "--outdir",
                          "out",
                          "-j"};
        arguments.push_back(std::to_string(workers));
        ToolResult run = RunOmbra(WithTestPlugIns(arguments, true), inWork);
        ExpectExit(run, 1,
                   {"in/missing?[2J.in: not found\n", // no control character reaches the terminal
                    "in/strange.in: not recognised by any reader\n",
                    "in/empty.in: not recognised by any reader\n",
                    "in/folder.in: unreadable (is a folder)\n",
                    "in/breaks.in: the conversion failed (a plug-in stopped with an error)\n",
                    "in/broken.tree: note: The input could not be read\n",
                    "in/broken.tree:   the tree ends early\n",
                    "in/broken.tree: recognised by treereader.obrd, but it could not be read\n",
                    "in/story.tree: note: A number or name out of range was replaced or dropped\n",
                    "in/story.tree:   colour \"Gold\" is too bright\n",
                    "in/nomemory.in: out of memory\n", "in/probe.in: out of memory\n",
                    "3 of 11 converted, 8 failed"});
        EXPECT_EQ(Contains(run.err, ", 2 workers"), workers == 2) << run.err;
        EXPECT_EQ(work.Names("out"), (Args{"good1.txt", "good2.txt", "story.txt"}));
        EXPECT_EQ(ReadFile(work / "out/good2.txt"), Ids(5));
        EXPECT_TRUE(Leftovers(work, "out").empty());
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);)
            if (!Contains(line, " converted, ")) lines[workers - 1].push_back(line);
        std::sort(lines[workers - 1].begin(), lines[workers - 1].end());
        std::filesystem::remove_all(work / "out");
    }
    EXPECT_EQ(lines[0], lines[1]);
}

// ---- outputs of every kind, as root and as an unprivileged user ----------------

namespace {
struct OutputCase {
    const char* name;      // a device by its path, or how the output is made
    bool unprivilegedOnly; // permissions bind only other users than root
    int status;
    const char* said;
};

// Makes the output of a case and returns its path (empty: -o is left out);
// reader and master receive the read ends of a FIFO and a pty.
std::string MakeOutput(const std::string& name, TempFolder& w, int& reader, int& master) {
    std::string path = w / "out.txt";
    if (name[0] == '/') return name;
    if (name == "fifo") {
        ::mkfifo(path.c_str(), 0666);
        ::chmod(path.c_str(), 0666);
        // A reader already there, so that opening it to write goes on.
        reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    } else if (name == "pty") {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        path = ::ptsname(master);
    } else if (name == "symlink") {
        ::chmod(w.Write("target.txt", "old").c_str(), 0666);
        ::symlink("target.txt", path.c_str());
    } else if (name == "hard link") {
        ::chmod(w.Write("one.txt", "old").c_str(), 0666);
        ::link((w / "one.txt").c_str(), path.c_str());
    } else if (name == "mode") {
        w.Write("out.txt", "old");
    } else if (name == "folder") {
        return w.Path();
    } else if (name == "no folder") {
        return w / "no/such.txt";
    } else if (name == "read-only folder") {
        ::chmod(w.Path().c_str(), 0555);
        return std::string();
    }
    ::chmod(path.c_str(), name == "mode" ? 0604 : 0666);
    return path;
}

std::string Drain(int descriptor) {
    char buffer[512] = {};
    long n = ::read(descriptor, buffer, sizeof buffer - 1);
    ::close(descriptor);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void CheckOutput(const std::string& name, TempFolder& w, const std::string& path, int reader,
                 int master) {
    if (name == "read-only folder") ::chmod(w.Path().c_str(), 0777);
    if (name[0] == '/' || name == "pty") {
        EXPECT_TRUE(S_ISCHR(ModeOf(path)));
    }
    // Where the text went: the FIFO, the pty, the file a link leads to.
    std::string text = name == "fifo"        ? Drain(reader)
                       : name == "pty"       ? Drain(master)
                       : name == "symlink"   ? ReadFile(w / "target.txt")
                       : name == "hard link" ? ReadFile(w / "one.txt")
                       : name == "mode"      ? ReadFile(path)
                                             : kStoryText;
    if (name == "pty") {
        EXPECT_TRUE(Contains(text, "Hello, world"));
    } else {
        EXPECT_EQ(text, kStoryText);
    }
    if (name == "fifo") {
        EXPECT_TRUE(S_ISFIFO(ModeOf(path)));
    } else if (name == "symlink") {
        EXPECT_TRUE(S_ISLNK(ModeOf(path, false)));
    } else if (name == "mode") {
        EXPECT_EQ(ModeOf(path) & 07777, 0604u);
    } else if (name == "read-only folder") {
        EXPECT_FALSE(Exists(w / "doc.txt"));
    }
}
} // namespace

TEST(OmbraOutputs, SpecialFilesAreWrittenInPlaceAndRegularFilesKeepWhatTheyWere) {
    const OutputCase cases[] = {
        {"/dev/null", false, 0, ""},
        {"/dev/full", false, 1, "cannot write /dev/full (no space left on the device)"},
        {"fifo", false, 0, ""},
        {"pty", false, 0, ""},
        {"symlink", false, 0, ""},
        {"hard link", false, 0, ""},
        {"mode", false, 0, ""},
        {"folder", false, 1, "(is a folder)"},
        {"no folder", false, 1, "(no such file or folder)"},
        {"read-only folder", true, 1, "cannot write "}};
    for (int uid : {-1, kUnprivilegedUser}) {
        if (uid >= 0 && ::geteuid() != 0) continue;
        for (const OutputCase& c : cases) {
            if (c.unprivilegedOnly && uid < 0 && ::geteuid() == 0) continue;
            SCOPED_TRACE(std::string(c.name) + (uid < 0 ? " as this user" : " as nobody"));
            TempFolder work;
            std::string input = work.Write("doc.tree", "OMBRA-TREE story\n");
            int reader = -1, master = -1;
            std::string output = MakeOutput(c.name, work, reader, master);
            const RunHow as{"", "C", "/dev/null", "", uid};
            Args arguments = {"convert", input, "-q"};
            if (!output.empty()) arguments.insert(arguments.end(), {"-o", output});
            ToolResult run = RunOmbra(WithTrees(arguments), as);
            ExpectExit(run, c.status, {c.said});
            if (c.unprivilegedOnly) ExpectHas(run.err, {"permission denied", "-o -"});
            CheckOutput(c.name, work, output, reader, master);
            EXPECT_TRUE(Leftovers(work).empty());
        }
    }
}

TEST(OmbraInput, StandardInputFifosAndCompressedDocumentsAreRecognisedByContent) {
    TempFolder work;
    RunHow fromFile{"", "C", work.Write("doc.tree", "OMBRA-TREE story\n")};
    ToolResult run = RunOmbra(WithTrees({"convert", "-"}), fromFile);
    ExpectExit(run, 0);
    EXPECT_EQ(run.out, kStoryText) << "the standard input converts to the standard output";
    std::string fifo = work / "in.fifo";
    ::mkfifo(fifo.c_str(), 0666);
    std::thread feed([&] { work.Write("in.fifo", "OMBRA-TREE story\n"); });
    run = RunOmbra(WithTrees({"convert", fifo, "-o", "-"}));
    feed.join();
    EXPECT_EQ(run.out, kStoryText);
    fromFile.input = kData + "v14.sla.gz";
    run = RunOmbra({"convert", "-"}, fromFile);
    ExpectExit(run, 0);
    EXPECT_FALSE(run.out.empty());
}

// ---- what the text writer writes -------------------------------------------------

// Line ends, encodings, wrapping, blank lines, hidden text and the reader's
// own settings, each as the options say.
TEST(OmbraText, TheTextFollowsTheOptions) {
    TempFolder work;
    std::string story = work.Write("story.tree", "OMBRA-TREE story\n");
    std::string blanks = work.Write("blanks.tree", "OMBRA-TREE blanks\n");
    std::string sla = work.Write(
        "m.sla",
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\">"
        "<LAYERS NUMMER=\"0\" NAME=\"Text\" SICHTBAR=\"1\"/><LAYERS NUMMER=\"1\" NAME=\"Off\" "
        "SICHTBAR=\"0\"/><MASTERPAGE NUM=\"0\" NAM=\"Normal\"/><PAGE NUM=\"0\" MNAM=\"Normal\"/>"
        "<MASTEROBJECT OwnPage=\"0\" ItemID=\"1\" PTYPE=\"4\" LAYER=\"0\" OnMasterPage=\"Normal\">"
        "<StoryText><ITEXT CH=\"Master\"/></StoryText></MASTEROBJECT>"
        "<PAGEOBJECT OwnPage=\"0\" ItemID=\"2\" PTYPE=\"4\" LAYER=\"0\"><StoryText>"
        "<ITEXT CH=\"Body\"/></StoryText></PAGEOBJECT><PAGEOBJECT OwnPage=\"0\" ItemID=\"3\" "
        "PTYPE=\"4\" LAYER=\"1\"><StoryText><ITEXT CH=\"Hidden\"/></StoryText></PAGEOBJECT>"
        "</DOCUMENT></SCRIBUSUTF8NEW>");
    const struct {
        std::string input;
        Args flags;
        std::string out;
        std::string err;
    } cases[] = {
        {story, {}, kStoryText, ""},
        {story, {"--eol", "crlf"}, "Hello, world\r\n日本語 \xF0\x9D\x84\x9E\r\n", ""},
        {story, {"--eol", "cr"}, "Hello, world\r日本語 \xF0\x9D\x84\x9E\r", ""},
        // In command-line order, with the settings they stand for.
        {story, {"--set", "line-ends=CR", "--eol", "lf"}, kStoryText, ""},
        {story,
         {"--eol", "lf", "--set", "Line ends=CR"},
         "Hello, world\r日本語 \xF0\x9D\x84\x9E\r",
         ""},
        {story, {"--set", "Text encoding=Unicode UTF16", "--encoding", "utf8"}, kStoryText, ""},
        {story, {"--eol", "platform"}, "Hello, world\r\n日本語 \xF0\x9D\x84\x9E\r\n", ""},
        {story,
         {"--encoding", "utf16"},
         std::string("\xFF\xFEH\0e\0l\0l\0o\0,\0 \0w\0o\0r\0l\0d\0\n\0\xE5"
                     "e,g\x9E\x8A \0"
                     "4\xD8\x1E\xDD\n\0",
                     42),
         ""},
        {story, {"--encoding", "cp1252"}, "Hello, world\n??? ?\n", "4 characters replaced"},
        {story,
         {"--encoding", "SHIFT-JIS"},
         "Hello, world\n\x93\xFA\x96{\x8C\xEA ?\n",
         "1 character replaced"},
        {story,
         {"--wrap", "8", "--unit", "points"},
         "Page size: unknown\n\nHello,\nworld\n日本語 \xF0\x9D\x84\x9E\n",
         ""},
        {blanks, {}, "a\n\n\n\nb\n", ""},
        {blanks, {"--squeeze"}, "a\n\nb\n", ""},
        {sla, {}, "Body\n", ""},
        {sla, {"--hidden"}, "Body\n\nHidden\n\nMaster\n", ""},
        {sla, {"--hidden", "--set", "include-master-page-items=off"}, "Body\n\nHidden\n", ""},
        {sla, {"--hidden", "--set", "Include hidden layers=no"}, "Body\n\nMaster\n", ""},
    };
    for (const auto& c : cases) {
        Args arguments = {"convert", c.input, "-o", "-"};
        arguments.insert(arguments.end(), c.flags.begin(), c.flags.end());
        ToolResult run = RunOmbra(WithTrees(arguments));
        ExpectExit(run, 0, {c.err});
        EXPECT_EQ(run.out, c.out) << c.input << " " << c.flags.size();
    }
}

// Every preference `ombra plugins` lists takes its default back by its name,
// and refuses a value of the wrong kind naming what it takes.
TEST(OmbraSettings, EveryListedPreferenceCanBeSetByName) {
    TempFolder work;
    std::string tree = work.Write("t.tree", "OMBRA-TREE story\n");
    std::istringstream listing(RunOmbra(WithTrees({"plugins"})).out);
    std::string command = "convert", writer = "text";
    int checked = 0;
    for (std::string line; std::getline(listing, line);) {
        if (line.rfind("  ", 0) == 0 && line[2] != ' ') {
            command = Contains(line, "(json)") ? "dump" : "convert";
            std::size_t open = line.find(") "), from = line.rfind('(', open);
            writer = Contains(line, ".obwt") ? line.substr(from + 1, open - from - 1) : "text";
        }
        std::size_t colon = line.find(": ");
        if (line.rfind("    ", 0) != 0 || colon == std::string::npos) continue;
        std::string name = line.substr(line.find_first_not_of(' '));
        name = name.substr(0, name.find(": "));
        std::string rest = line.substr(colon + 2);
        std::size_t quote = rest.find("default \"");
        std::string fallback = quote != std::string::npos
                                   ? rest.substr(quote + 9, rest.rfind('"') - quote - 9)
                                   : rest.substr(rest.find("default ") + 8);
        fallback = fallback.substr(0, fallback.find(" ("));
        SCOPED_TRACE(name);
        Args chosen = {command, tree};
        if (command == "convert") chosen = {command, tree, "-t", writer};
        Args set = chosen;
        set.insert(set.end(), {"-o", "/dev/null", "--set", name + "=" + fallback});
        ExpectExit(RunOmbra(WithTrees(set)), 0);
        const char* takes = Contains(rest, "on/off") || Contains(rest, "group") ? "on or off"
                            : Contains(rest, "whole number")                    ? "a whole number"
                            : Contains(rest, "choice")                          ? "one of"
                                                                                : nullptr;
        if (takes) {
            chosen.insert(chosen.end(), {"--set", name + "=bogus"});
            ExpectExit(RunOmbra(WithTrees(chosen)), 2,
                       {"'" + name + "' takes " + takes, ", not 'bogus'", "usage: ombra"});
        }
        ++checked;
    }
    EXPECT_GE(checked, 21) << "the Scribus reader's, the dump writer's and the text writer's";
}

TEST(OmbraConvert, StrictRefusesNotesAndMetadataComesAsTextOrJson) {
    TempFolder work;
    std::string tree = work.Write("t.tree", "OMBRA-TREE story\n");
    ToolResult run = RunOmbra(WithTrees({"convert", tree, "--strict"}));
    ExpectExit(run, 1, {"t.tree: note: A number", "t.tree: it has notes, which --strict counts"});
    EXPECT_FALSE(Exists(work / "t.txt"));
    ExpectExit(RunOmbra(WithTrees({"convert", tree})), 0, {"t.tree: note: A number"});
    EXPECT_EQ(ReadFile(work / "t.txt"), kStoryText);
    run = RunOmbra(WithTrees({"convert", tree, "-m"}));
    EXPECT_EQ(run.out, "Title: Grüße, 日本\n");
    run = RunOmbra(WithTrees({"convert", tree, tree, "-m", "-t", "json", "-q"}));
    std::string json = "{\"file\": \"" + tree + "\", \"title\": \"Grüße, 日本\", \"author\": null";
    EXPECT_EQ(run.out.rfind(json, 0), 0u) << run.out;
    EXPECT_NE(run.out.find(json, 1), std::string::npos) << "one object per input";
}

// ---- messages and listings ----------------------------------------------------------

TEST(OmbraMessages, TheProgramsMessagesAndTheNotesFollowTheLanguage) {
    TempFolder work;
    std::string tree = work.Write("doc.tree", "OMBRA-TREE story\n");
    const RunHow japanese{"", "ja_JP.UTF-8"};
    ToolResult run = RunOmbra(
        {"convert", tree, work / "gone.tree", "--outdir", work / "o", "--readers", kToolReaders},
        japanese);
    ExpectHas(run.err, {"doc.tree: 注意: 範囲外の数値または名前を置き換えたか、省略しました",
                        "gone.tree: 見つかりません", "2 件中 1 件を変換しました、1 件が失敗"});
    run = RunOmbra({"convert", tree, "--locale", "en", "-o", "-", "--readers", kToolReaders},
                   japanese);
    ExpectHas(run.err, {"note: A number or name out of range"});
}

TEST(OmbraListings, PlugInsWithTheirIdsStatusSettingsAndDisplayNamesInEitherLanguage) {
    ToolResult run = RunOmbra(WithTestPlugIns({"plugins"}));
    ExpectExit(run, 0);
    ExpectHas(run.out, {"reader9.obrd  id 9  version 9.7  loaded", "writer259.obwt  id 259 (text)",
                        "noentry.obrd  not loaded: the library has no entry point GetReader",
                        "throwing.obrd  not loaded: GetReader threw"});
    run = RunOmbra(WithTrees({"plugins"}));
    ExpectHas(run.out, {"scribus.obrd  id 17 (scribus)", "treereader.obrd  id 2  version",
                        "dump.obwt  id 260 (json)  version 1.0  loaded\n"
                        "    Indentation: whole number, default 2 (0 to 8)\n"
                        "    Story text: on/off, default on\n",
                        "    Line ends: choice, one of Platform, LF, CR LF, CR; default "
                        "\"Platform\"\n"});
    run = RunOmbra({"plugins", "--locale", "ja"});
    ExpectHas(run.out, {"    インデント幅 [Indentation]: whole number, default 2 (0 to 8)\n",
                        "マスターページのアイテムを含める [Include master-page items]"});
    run = RunOmbra({"formats"});
    ExpectHas(run.out, {"  Scribus gz  .sla.gz .slaz  application/vnd.scribus  type 'SLAZ'  "
                        "creator 'SCRB'  scribus.obrd (reader 17)",
                        "  JSON        .json          application/json"});
}

TEST(OmbraListings, BadLinesInAStringsFileAreReportedAndTheRestIsUsed) {
    TempFolder plugIns;
    plugIns.Write("writers/dump.strings",
                  ReadFile(std::string(OMBRA_WRITER_DIR) + "/dump.strings"));
    plugIns.Write("writers/extra/broken.strings",
                  "# a comment\n760000\tAnother name\nseven\tbad\n");
    plugIns.Write("writers/dump.obwt", ReadFile(std::string(OMBRA_WRITER_DIR) + "/dump.obwt"));
    plugIns.Write("readers/none.txt", "");
    ToolResult run = RunOmbra({"plugins", "--no-default-plugins", "--readers", plugIns / "readers",
                               "--writers", plugIns / "writers"});
    ExpectExit(run, 0, {"warning: " + plugIns.Path() + "/writers/extra/broken.strings:3:"});
    ExpectHas(run.out, {"    Another name: whole number", "Story text"});
    // One kind of folder named: the other kind has none.
    run = RunOmbra({"plugins", "--no-default-plugins", "--writers", plugIns / "writers"});
    ExpectExit(run, 0, {});
    ExpectHas(run.out, {"Readers (no folder named):\n  (none)", "dump.obwt"});
}

// ---- the sample publication ------------------------------------------------------

TEST(OmbraSample, TheSampleConvertsToItsTextInEveryLanguageAndDumps) {
    const std::string sample = std::string(OMBRA_SOURCE_DIR) + "/samples/sample.sla";
    ToolResult run = RunOmbra({"convert", sample, "-o", "-"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectHas(run.out, {"The Ombra Gazette", "Two pages, four languages",
                        "Grüße aus der Schriftsetzerei", "この小さな出版物は", "Στα ελληνικά"});
    ExpectHas(RunOmbra({"dump", sample}).out, {"\"version\": 2", "日本語の記事", "Καλημέρα"});
    // What the HTML writer dropped comes back from the worker with --report or -v only,
    // and --strict does not count it.
    run = RunOmbra({"convert", sample, "-t", "html", "-o", "/dev/null", "--report", "--strict"});
    ExpectExit(run, 0, {"sample.sla: report: Colours converted to RGB: 2"});
    EXPECT_FALSE(
        Contains(RunOmbra({"convert", sample, "-t", "html", "-o", "/dev/null"}).err, "report:"));
    const RunHow japanese{"", "ja_JP.UTF-8"};
    run = RunOmbra({"convert", sample, "-t", "html", "-o", "/dev/null", "-v"}, japanese);
    ExpectExit(run, 0, {"sample.sla: 報告: 色 2 件を RGB に変換しました"});
}
