// The convenience layer as a library host uses it: inputs and outputs of
// every kind, what each status means, notes per conversion on several
// threads at once, settings by name, the line ends of the fixed API, the
// folders kept below an output folder, the metadata mode and running out
// of memory.
#include "ToolRunner.h"
#include "plugins/PluginTestSupport.h"
#include "support/TestSupport.h"

#include <ombra/convert.h>
#include <ombra/convertor.h>
#include <ombra/messages.h>
#include <ombra/pluginids.h>
#include <ombra/settings.h>
#include <ombra/typedstreams.h>
#include <ombra/writermanager.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace ombra_test;
using ombra::Status;

namespace {

const std::string kStory = "OMBRA-TREE story\n";

// The shipped plug-ins and the tool suites' tree reader, for every test.
const ombra::Converter& Trees() {
    static ombra::Converter* converter = [] {
        ombra::Setup setup;
        setup.readerFolders = {std::string(OMBRA_TOOL_PLUGIN_DIR) + "/readers"};
        return new ombra::Converter(setup);
    }();
    return *converter;
}

ombra::Result FromBytes(const std::string& input, std::string& out,
                        const ombra::Options& options = {}) {
    return Trees().Convert(ombra::Source::Bytes(input.data(), input.size()),
                           ombra::Sink::Memory(out), options);
}

} // namespace

TEST(ConvertApi, SourcesAndSinksOfEveryKindCarryTheSameBytes) {
    ASSERT_TRUE(Trees().State().Ok()) << Trees().State().reason;
    TempFolder work;
    std::string path = work.Write("in.tree", kStory), text;
    EXPECT_TRUE(FromBytes(kStory, text).Ok());
    EXPECT_EQ(text, kStoryText);
    std::istringstream in(kStory);
    std::ostringstream out;
    EXPECT_TRUE(Trees().Convert(ombra::Source::Stream(in), ombra::Sink::Stream(out)).Ok());
    EXPECT_EQ(out.str(), kStoryText);
    int source = ::open(path.c_str(), O_RDONLY), sink = ::creat((work / "fd.txt").c_str(), 0644);
    ombra::Result result =
        Trees().Convert(ombra::Source::Descriptor(source), ombra::Sink::Descriptor(sink));
    ::close(source);
    ::close(sink);
    EXPECT_EQ(result.reader, "treereader.obrd");
    EXPECT_EQ(result.outputBytes, kStoryText.size());
    EXPECT_EQ(ReadFile(work / "fd.txt"), kStoryText);
    EXPECT_TRUE(Trees().Convert(ombra::Source::Path(path), ombra::Sink::Path(work / "p.txt")).Ok());
    EXPECT_EQ(ReadFile(work / "p.txt"), kStoryText);
}

// A large regular file is read as the reader asks and every other input
// whole: each sample document, and one large enough, converts the same from
// its file as from memory.
TEST(ConvertApi, DocumentsConvertTheSameFromTheirFilesAsFromMemory) {
    TempFolder work;
    std::string big = "<?xml version=\"1.0\"?>\n<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT "
                      "ANZPAGES=\"1\"><PAGE NUM=\"0\"/><PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\" "
                      "XPOS=\"0\" YPOS=\"0\" WIDTH=\"99\" HEIGHT=\"99\"><StoryText>";
    for (int i = 0; big.size() < (3 << 19); ++i) // past the size read as it goes
        big += "<ITEXT CH=\"paragraph " + std::to_string(i) + "\"/><para/>";
    big += "</StoryText></PAGEOBJECT></DOCUMENT></SCRIBUSUTF8NEW>\n";
    std::vector<std::string> paths{work.Write("big.sla", big)};
    const std::string data = std::string(OMBRA_SOURCE_DIR) + "/tests/data/";
    for (const char* folder : {"scribus/real", "idml/packages/features", "idml/packages/damaged"})
        for (const auto& entry : std::filesystem::directory_iterator(data + folder))
            if (entry.is_regular_file() && entry.path().extension() != ".expected" &&
                entry.path().extension() != ".md")
                paths.push_back(entry.path().string());
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::string bytes = ReadFile(path), fromMemory, fromFile;
        ombra::Result memory = Trees().Convert(ombra::Source::Bytes(bytes.data(), bytes.size()),
                                               ombra::Sink::Memory(fromMemory));
        ombra::Result file =
            Trees().Convert(ombra::Source::Path(path), ombra::Sink::Memory(fromFile));
        EXPECT_EQ(file.status, memory.status) << file.reason;
        EXPECT_EQ(file.reader, memory.reader);
        EXPECT_EQ(file.notes.size(), memory.notes.size());
        EXPECT_EQ(fromFile, fromMemory);
    }
    EXPECT_GT(paths.size(), 40u);
}

// A picture whose link leads nowhere (made on another machine) is found in
// the Links folder beside an input given by its path, and linked relative
// to an output bound for that folder; from memory, or with folders of the
// caller's, the link stays.
TEST(ConvertApi, PicturesAreLookedForBesideADocumentGivenByItsPath) {
    TempFolder work;
    ASSERT_TRUE(std::filesystem::create_directory(work / "Links"));
    work.Write("Links/p q.png", "png");
    const std::string doc =
        "<?xml version=\"1.0\"?>\n<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\">"
        "<PAGE NUM=\"0\"/><PAGEOBJECT PTYPE=\"2\" OwnPage=\"0\" XPOS=\"0\" YPOS=\"0\" "
        "WIDTH=\"99\" HEIGHT=\"99\" PFILE=\"/nowhere/p q.png\"/></DOCUMENT></SCRIBUSUTF8NEW>\n";
    const std::string path = work.Write("doc.sla", doc);
    const std::string found = "src=\"file://" + std::filesystem::canonical(work.Path()).string() +
                              "/Links/p%20q.png\"",
                      kept = "src=\"file:///nowhere/p%20q.png\"";
    ombra::Options html;
    html.writer = "html";
    std::string fromPath, fromMemory, elsewhere;
    ASSERT_TRUE(
        Trees().Convert(ombra::Source::Path(path), ombra::Sink::Memory(fromPath), html).Ok());
    EXPECT_NE(fromPath.find(found), std::string::npos) << fromPath;
    EXPECT_TRUE(FromBytes(doc, fromMemory, html).Ok());
    EXPECT_NE(fromMemory.find(kept), std::string::npos) << fromMemory;
    // Written beside the document, as a file or as bytes bound for one, the
    // page links the picture relative to itself.
    const std::string relative = "src=\"Links/p%20q.png\"";
    std::string bound;
    ASSERT_TRUE(
        Trees()
            .Convert(ombra::Source::Path(path), ombra::Sink::Memory(bound, work / "new.html"), html)
            .Ok());
    EXPECT_NE(bound.find(relative), std::string::npos) << bound;
    ASSERT_TRUE(
        Trees().Convert(ombra::Source::Path(path), ombra::Sink::Path(work / "p.html"), html).Ok());
    EXPECT_NE(ReadFile(work / "p.html").find(relative), std::string::npos);
    html.settings = {{"document-folder", "/nowhere"}, {"Picture folder", ""}};
    ASSERT_TRUE(Trees()
                    .Convert(ombra::Source::Path(path),
                             ombra::Sink::Memory(elsewhere, work / "new.html"), html)
                    .Ok());
    EXPECT_NE(elsewhere.find(kept), std::string::npos) << elsewhere;
}

// A style chain's faults reach the host as what they are: a parent that
// does not exist, and a style based on itself.
TEST(ConvertApi, StyleChainFaultsAreSaidAsTheyAre) {
    const std::string doc =
        "<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT ANZPAGES=\"1\"><STYLE NAME=\"Self\" "
        "PARENT=\"Self\"/><STYLE NAME=\"Orphan\" PARENT=\"Gone\"/><PAGE NUM=\"0\"/>"
        "</DOCUMENT></SCRIBUSUTF8NEW>";
    std::string out;
    ombra::Result result = FromBytes(doc, out);
    ASSERT_TRUE(result.Ok()) << result.reason;
    std::string details;
    for (const ombra::Note& note : result.notes)
        for (const std::string& detail : note.details)
            details += detail + "\n";
    EXPECT_NE(details.find("paragraph style \"Self\" is based on itself\n"), std::string::npos)
        << details;
    EXPECT_NE(details.find("paragraph style \"Orphan\" is based on \"Gone\", which does not "
                           "exist\n"),
              std::string::npos)
        << details;
}

TEST(ConvertApi, EachOutcomeHasItsStatusAndFailuresWriteNothing) {
    TempFolder work;
    std::string story = work.Write("story.tree", kStory);
    auto with = [](std::vector<std::pair<std::string, std::string>> settings, bool strict) {
        ombra::Options options;
        options.settings = std::move(settings);
        options.strict = strict;
        return options;
    };
    ombra::Options noWriter, badEncoding;
    noWriter.writer = "777";
    badEncoding.encoding = "ebcdic";
    const struct {
        ombra::Source source;
        ombra::Options options;
        Status status;
    } cases[] = {
        {ombra::Source::Path(work / "missing"), {}, Status::kInputMissing},
        {ombra::Source::Path(work.Path()), {}, Status::kInputUnreadable},
        {ombra::Source::Bytes("junk", 4), {}, Status::kNotRecognised},
        {ombra::Source::Bytes("OMBRA-TREE broken", 17), {}, Status::kUnreadable},
        {ombra::Source::Path(story), noWriter, Status::kNoWriter},
        {ombra::Source::Path(story), badEncoding, Status::kBadSetting},
        {ombra::Source::Path(story), with({{"Nonesuch", "1"}}, false), Status::kBadSetting},
        {ombra::Source::Path(story), with({{"Indentation", "3"}}, false), Status::kBadSetting},
        {ombra::Source::Path(story), with({{"Squeeze blank lines", "on"}}, true), Status::kNotes},
        {ombra::Source::Path(story), with({{"Squeeze blank lines", "on"}}, false),
         Status::kConverted},
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        ombra::Result result = Trees().Convert(c.source, ombra::Sink::Memory(out), c.options);
        EXPECT_EQ(result.status, c.status) << result.reason;
        EXPECT_EQ(out == "untouched", !result.Ok()) << result.reason;
        EXPECT_EQ(result.reason.empty(), result.Ok());
    }
    ombra::Result same = Trees().Convert(ombra::Source::Path(story), ombra::Sink::Path(story));
    EXPECT_EQ(same.status, Status::kOutputIsInput);
    EXPECT_EQ(ReadFile(story), kStory);
    WithoutMemoryService none;
    EXPECT_EQ(ombra::Convert(ombra::Source::Path(story), ombra::Sink::Discard()).status,
              Status::kNoMemoryService);
    EXPECT_EQ(ombra::Converter().State().status, Status::kNoMemoryService);
}

// The conversion log is process-wide; each conversion still gets exactly
// its own notes while others run on other threads.
TEST(ConvertApi, NotesBelongToTheirOwnConversionOnEveryThread) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 25; ++i) {
                bool story = (i + t) % 2 == 0;
                std::string out;
                ombra::Result r = FromBytes(story ? kStory : "OMBRA-TREE blanks", out);
                bool right =
                    r.Ok() && r.notes.size() == (story ? 1u : 0u) &&
                    (!story || (r.notes[0].code == OBERR::kBadValue &&
                                r.notes[0].details ==
                                    std::vector<std::string>{"colour \"Gold\" is too bright"}));
                wrong += right ? 0 : 1;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A host of the fixed API keeps CR LF; the record's added fields choose the
// line ends and set preferences by name after the pump's own adjustments.
TEST(ConvertApi, TheRecordsAddedFieldsReachTheTextWriterAfterThePumpsAdjustments) {
    ErrorCode error = kNoError;
    OBConvertor* convertor = Trees().Manager()->GetConvertor(1, error);
    ASSERT_NE(convertor, nullptr);
    auto convert = [convertor](const Preferences& options) {
        short ok = 0;
        std::string text = plugin_test::ConvertBytes(convertor, kStory, &options, ok);
        EXPECT_EQ(ok, 1);
        return text;
    };
    Preferences old{0, "", 0, "", 0, 0, -1, 0};
    EXPECT_EQ(convert(old).substr(0, 14), "Hello, world\r\n");
    Preferences chosen = old;
    OBPreferenceSettings settings;
    settings.Add("wrap lines at column", "8");
    settings.Add("Line ends", "CR"); // the last word over lineEnd
    chosen.lineEnd = OBLINEEND::kLF;
    chosen.settings = &settings;
    EXPECT_EQ(convert(chosen).substr(0, 13), "Hello,\rworld\r");
    settings.Clear();
    EXPECT_EQ(convert(chosen).substr(0, 13), "Hello, world\n");
}

TEST(ConvertApi, SettingsFindPreferencesByFoldedNamesAndReadValuesAfterTheirKind) {
    OBWriter* writer = Trees().Manager()->GetWriterManager()->GetWriter(OBPLUGIN::kTextWriter);
    ASSERT_NE(writer, nullptr);
    const struct {
        const char* name;
        const char* value;
        bool set;
        const char* shown; // the value afterwards, or what is accepted
    } cases[] = {
        {"wrap lines at column", "72", true, "72"},
        {"WRAP-LINES_AT  column (0 for no wrapping)", "0", true, "0"},
        {"Wrap lines at column", "10001", false, "a whole number from 0 to 10000"},
        {"Wrap lines at column", "7.5", false, "a whole number from 0 to 10000"},
        {"line ends", "cr-lf", true, "CR LF"},
        {"Line ends", "LF CR", false, "one of Platform, LF, CR LF, CR"},
        {"Squeeze blank lines", "YES", true, "on"},
        {"Squeeze blank lines", "2", false, "on or off"},
        {"Text options", "off", true, "off"},
        {"Style tag template", "<%s>", true, "<%s>"},
    };
    for (const auto& c : cases) {
        OBPreferenceList list;
        writer->GetStreamPrefs(nullptr, &list);
        OBPreference* found = nullptr;
        ASSERT_EQ(OBFindPreferences(&list, c.name, &found, 1), 1) << c.name;
        std::string accepted;
        EXPECT_EQ(OBSetPreferenceFromText(found, c.value, &accepted), c.set ? 1 : 0) << c.name;
        EXPECT_EQ(c.set ? OBPreferenceValueText(found) : accepted, c.shown) << c.name;
    }
    OBPreferenceList list;
    writer->GetStreamPrefs(nullptr, &list);
    EXPECT_EQ(OBFindPreferences(&list, "Wrap lines", nullptr, 0), 0) << "no prefixes";
    OBPreferenceSettings settings;
    settings.Add("Squeeze blank lines", "on");
    settings.Add("Squeeze blank lines", "maybe"); // skipped: the first value stays
    settings.Add("Nonesuch", "1");
    EXPECT_EQ(OBApplyPreferenceSettings(&list, settings), 1);
}

TEST(ConvertApi, KeptFoldersAreTheInputsOwnWithoutTheirRootAndNeverAbove) {
    const struct {
        const char* input;
        const char* folder;
        bool below;
    } cases[] = {
        {"x.sla", "", true},
        {"./x.sla", "", true},
        {"a/b/x.sla", "a/b", true},
        {"/archive/a/x.sla", "archive/a", true},
        {"//a/./b//x.sla", "a/b", true},
        {"a/../b/x.sla", "b", true},
        {"/../x.sla", "", true},
        {"../x.sla", "..", false},
        {"a/../../b/x.sla", "../b", false},
    };
    for (const auto& c : cases) {
        std::string folder;
        EXPECT_EQ(ombra::KeptFolder(c.input, folder), c.below) << c.input;
        EXPECT_EQ(folder, c.folder) << c.input;
    }
}

TEST(ConvertApi, MetadataComesWithoutAWriterAndAsJson) {
    ombra::Metadata metadata;
    std::string sample = std::string(OMBRA_SOURCE_DIR) + "/samples/sample.sla";
    ombra::Result read = Trees().ReadMetadata(ombra::Source::Path(sample), metadata);
    ASSERT_TRUE(read.Ok()) << read.reason;
    EXPECT_EQ(metadata.author, "The Ombra developers");
    EXPECT_EQ(metadata.pages, 2);
    EXPECT_EQ(metadata.ToText().rfind("Title: The Ombra Gazette", 0), 0u);
    ombra::Result result =
        Trees().ReadMetadata(ombra::Source::Bytes(kStory.data(), kStory.size()), metadata);
    EXPECT_TRUE(result.Ok()) << result.reason;
    EXPECT_EQ(metadata.ToJson(), "{\"title\": \"Grüße, 日本\", \"author\": null, \"subject\": "
                                 "null, \"keywords\": null, \"comments\": null, \"created\": "
                                 "null, \"modified\": null, \"application\": null, \"pages\": "
                                 "null}\n");
}

// Every allocation of a conversion fails in turn: the output is whole or
// the result says that memory ran out, and nothing crashes.
TEST(ConvertApi, RunningOutOfMemoryAtAnyAllocationGivesAResult) {
    Trees();
    EXPECT_GT(SweepAllocationFailures([] {
                  std::string out;
                  ombra::Result result = FromBytes(kStory, out);
                  EXPECT_EQ(result.Ok(), out == kStoryText) << "whole, or a reason";
                  EXPECT_EQ(result.Ok(), result.reason.empty());
                  EXPECT_TRUE(result.Ok() || result.status == Status::kOutOfMemory)
                      << result.reason;
                  return result.Ok();
              }),
              0);
}
