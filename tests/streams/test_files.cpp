// File references and the file utility: path kinds, prepared names,
// extensions and folders, unique temporary names, existence, sizes, copies,
// deletes and libraries.
#include <ombra/files.h>

#include "platform/Files.h"
#include "platform/System.h"
#include "streams/StreamTestSupport.h"
#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using ombra_test::Ptr;
using ombra_test::ScratchFolder;

std::string PathOf(const OBSysFileRef& ref) {
    return OBFileSystemPath(ref).Get();
}

std::string Text(const COBString& s) {
    return s.GrabCString();
}

std::string Prepared(const char* name) {
    WOBFileUtility u(COBString(name), true);
    COBString out;
    u.GetPathName(&out);
    return Text(out);
}

// The rows of a table of file names.
std::vector<std::vector<std::string>> Names(const char* table) {
    return ombra_test::ReadTable("streams/file_names.tsv", table);
}
std::string Field(const std::vector<std::string>& row, std::size_t i) {
    return i < row.size() ? row[i] : std::string();
}

class Files : public ScratchFolder {};

TEST(SysFileRef, KindsEqualityAndAppendAcrossKinds) {
    OBSysFileRef narrow("/data/caf\xC3\xA9");
    OBSysFileRef wide(Ptr(u"/data/caf\u00E9"));
    EXPECT_EQ(wide.IsUnicode(), 1);
    EXPECT_EQ(narrow.Length(), 11);
    EXPECT_EQ(wide.Length(), 10);
    EXPECT_EQ(narrow.GetChar(99), 0);
    EXPECT_EQ(narrow.GetChar(-1), 0);
    // Both name the same file; as strings of different kinds they differ.
    EXPECT_EQ(PathOf(narrow), PathOf(wide));
    EXPECT_NE(narrow, wide);

    OBSysFileRef copy(narrow);
    copy.Append("/x"); // a deep copy
    EXPECT_STREQ(narrow.GrabCString(), "/data/caf\xC3\xA9");

    // Appending across kinds converts through UTF-8, no text service needed.
    OBSysFileRef w(Ptr(u"/d"));
    w.Append("/\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(std::u16string(w.GrabWString(), w.GrabWString() + w.Length()), u"/d/\u00E9t\u00E9");
    OBSysFileRef n("/d");
    n.Append(Ptr(u"/\u00E9"));
    n.Append(WOBString(Ptr(u"/\u4E2D")));
    EXPECT_STREQ(n.GrabCString(), "/d/\xC3\xA9/\xE4\xB8\xAD");
    n.Append(*n.GetSysFileStr()); // onto itself
    EXPECT_EQ(n.Length(), 2 * 9);

    // Assigning a string keeps its kind.
    OBSysFileRef r;
    r = WOBString(Ptr(u"/w"));
    EXPECT_EQ(r.IsUnicode(), 1);

    OBSysFileRef moved(static_cast<OBSysFileRef&&>(copy));
    EXPECT_STREQ(moved.GrabCString(), "/data/caf\xC3\xA9/x");
    EXPECT_EQ(copy.GetSysFileStr(), nullptr); // moved-from holds nothing...
    OBSysFileRef none(static_cast<OBSysFileRef&&>(copy));
    EXPECT_EQ(none, copy); // ...and equals only another one without a string
    EXPECT_NE(none, OBSysFileRef());

    OBSysFileRef scripted("/s");
    scripted.SetScript(WSE::kGreekScript);
    scripted.SetScript(WSE::kUnicodeScript); // not a script of 8-bit text
    EXPECT_EQ(static_cast<const COBString*>(scripted.GetSysFileStr())->GetWSEScript(),
              WSE::kGreekScript);
}

TEST(SysFileRef, UnpairedSurrogateNamesNoFile) {
    const unsigned short bad[] = {'/', 't', 'm', 'p', 0xD800, 0};
    OBSysFileRef ref(bad);
    OBFileSystemPath path(ref);
    EXPECT_EQ(path.Valid(), 0);
    EXPECT_STREQ(path.Get(), "");
    WOBFileUtility u(ref);
    EXPECT_EQ(u.FileExists(), 0);
    EXPECT_EQ(WOBFileUtility::DeleteFileA(ref), 0);
    OBSysFileRef narrow("/tmp/");
    narrow.Append(bad + 4); // not appended to an 8-bit path
    EXPECT_STREQ(narrow.GrabCString(), "/tmp/");

    const unsigned short low[] = {'/', 0xDC00, 0};
    EXPECT_EQ(OBFileSystemPath(OBSysFileRef(low)).Valid(), 0);
    const unsigned short withNul[] = {'/', 't', 'm', 'p', 0, 'x'};
    OBSysFileRef nul;
    nul = WOBString(withNul, 6);
    EXPECT_EQ(nul.Length(), 6);
    EXPECT_EQ(OBFileSystemPath(nul).Valid(), 0); // would name /tmp otherwise
    const unsigned short pair[] = {'/', 0xD83D, 0xDE00, 0};
    OBFileSystemPath emoji{OBSysFileRef(pair)};
    EXPECT_EQ(emoji.Valid(), 1);
    EXPECT_STREQ(emoji.Get(), "/\xF0\x9F\x98\x80");
}

TEST_F(Files, PreparedNames) {
    for (const auto& row : Names("prepared")) {
        std::string expected = Field(row, 1);
        if (expected.rfind("$T", 0) == 0) expected = root + expected.substr(2);
        EXPECT_EQ(Prepared(row[0].c_str()), expected) << row[0];
    }
    // A directory without its trailing separator still gets one.
    UseTempDirectory(root);
    EXPECT_EQ(Prepared("notes.txt"), root + "/notes.txt");
    ASSERT_NE(WOBFileUtility::GetTempDirectory(), nullptr);
    EXPECT_EQ(Text(*WOBFileUtility::GetTempDirectory()), root);
    WOBFileUtility::SetTempDirectory(nullptr); // changes nothing
    EXPECT_EQ(Text(*WOBFileUtility::GetTempDirectory()), root);
    // An empty directory returns to the platform's temporary path.
    UseTempDirectory("");
    char platform[4096];
    ASSERT_GT(obsys::TempPath(platform, sizeof platform), 0u);
    EXPECT_EQ(Prepared("notes.txt"), std::string(platform) + "notes.txt");

    // Without prepare the name is used unchanged.
    WOBFileUtility plain(COBString("Disk:notes.txt"), false);
    COBString out;
    plain.GetPathName(&out);
    EXPECT_EQ(Text(out), "Disk:notes.txt");
}

TEST_F(Files, NamePartsAndExtensions) {
    for (const auto& row : Names("extension"))
        EXPECT_EQ(Text(WOBFileUtility(COBString(row[0].c_str()), false).GetExtension()),
                  Field(row, 1))
            << row[0];
    for (const auto& row : Names("parts")) {
        WOBFileUtility u(COBString(row[0].c_str()), true);
        OBSysFileRef dir("unchanged");
        u.GetDirectory(dir);
        EXPECT_EQ(std::string(dir.GrabCString()), row[1]);
        COBString name("unchanged");
        u.GetFileName(&name);
        EXPECT_EQ(Text(name), row[2]);
    }
    OBSysFileRef dir("unchanged");
    COBString name;
    WOBFileUtility(COBString("b.txt"), false).GetDirectory(dir);
    EXPECT_STREQ(dir.GrabCString(), "");
    name = "kept";
    WOBFileUtility().GetFileName(&name);
    EXPECT_EQ(Text(name), "kept");
}

TEST_F(Files, UniqueTemporaryNames) {
    WOBFileUtility u(COBString("BackingStore"), true);
    u.SetUniqueName();
    std::string name = PathOf(u.GetSysFile());
    std::string thread = std::to_string(int(obsys::CurrentThreadId()));
    std::string prefix = root + "/BackingStore" + thread;
    EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
    EXPECT_GT(name.size(), prefix.size()); // the tick count follows
    EXPECT_EQ(u.FileExists(), 0);
    COBString path;
    u.GetPathName(&path); // the object now stands for the new name
    EXPECT_EQ(Text(path), name);

    // The next name differs once the first is taken.
    std::ofstream(name) << "x";
    WOBFileUtility again(COBString("BackingStore"), true);
    again.SetUniqueName();
    EXPECT_NE(PathOf(again.GetSysFile()), name);
    EXPECT_EQ(again.FileExists(), 0);

    WOBFileUtility longName(COBString("VeryLongFileName.tmp"), true);
    longName.SetUniqueName();
    COBString base;
    longName.GetFileName(&base);
    EXPECT_EQ(Text(base).rfind("VeryLongFile" + thread, 0), 0u);

    // A cut never splits a UTF-8 character.
    WOBFileUtility accents(COBString("abcdefghijk\xC3\xA9\xC3\xA9"), true);
    accents.SetUniqueName();
    accents.GetFileName(&base);
    EXPECT_EQ(Text(base).rfind("abcdefghijk" + thread, 0), 0u);
}

TEST_F(Files, UniqueNamesUnderConcurrency) {
    constexpr int kThreads = 6, kEach = 25;
    std::mutex lock;
    std::vector<std::string> names;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i) {
                WOBFileUtility u(COBString("Shared"), true);
                u.SetUniqueName();
                std::string name = PathOf(u.GetSysFile());
                // Claim it at once, as the backing store does.
                std::ofstream(name, std::ios::app) << "x";
                std::lock_guard<std::mutex> g(lock);
                names.push_back(name);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    std::set<std::string> distinct(names.begin(), names.end());
    EXPECT_EQ(distinct.size(), names.size());
    EXPECT_EQ(Entries(root).size(), std::size_t(kThreads * kEach));
    for (const std::string& n : names)
        EXPECT_EQ(Read(n.substr(root.size() + 1)), "x");
}

TEST_F(Files, ExistenceSizeCopyDelete) {
    std::string content(200000, 'a'); // more than one block of the copy
    content[123456] = 'b';
    Write("a.bin", content);
    Write("b.bin", "old");
    WOBFileUtility a(OBSysFileRef(Path("a.bin").c_str()));
    EXPECT_EQ(a.FileExists(), 1);
    EXPECT_EQ(a.GetFileSize(), 200000u);
    EXPECT_EQ(a.OBCopyFile(OBSysFileRef(Path("b.bin").c_str())), 1);
    EXPECT_EQ(Read("b.bin"), content);
    // A copy onto a folder that does not exist fails and leaves nothing.
    EXPECT_EQ(a.OBCopyFile(OBSysFileRef(Path("none/c.bin").c_str())), 0);
    EXPECT_FALSE(Exists("none"));
    a.OBDeleteFile();
    EXPECT_EQ(a.FileExists(), 0);
    EXPECT_EQ(a.GetFileSize(), 0xFFFFFFFFu);
    a.OBDeleteFile(); // a missing file: nothing to report
    EXPECT_EQ(a.OBCopyFile(OBSysFileRef(Path("d.bin").c_str())), 0);
    EXPECT_FALSE(Exists("d.bin"));
    EXPECT_EQ(WOBFileUtility::DeleteFileA(OBSysFileRef(Path("b.bin").c_str())), 1);
    EXPECT_EQ(WOBFileUtility::DeleteFileA(OBSysFileRef(Path("b.bin").c_str())), 0);
    // A folder exists but has no file size.
    WOBFileUtility folder(OBSysFileRef(root.c_str()));
    EXPECT_EQ(folder.FileExists(), 1);
    EXPECT_EQ(folder.GetFileSize(), 0xFFFFFFFFu);
}

TEST_F(Files, LoadLibrary) {
    Write("not-a-library.obrd", "garbage");
    void* module = reinterpret_cast<void*>(1);
    WOBFileUtility::LoadLibraryA(OBSysFileRef(Path("not-a-library.obrd").c_str()), module);
    EXPECT_EQ(module, nullptr);
    WOBFileUtility::LoadLibraryA(OBSysFileRef(Ptr(u"libc.so.6")), module);
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(obsys::FreeLibrary(module));
}

// A UTF-16 name reaches the file system as UTF-8. While memory runs out each
// answer is right, or the one for no file: a path that could not take a
// part never names another file.
TEST_F(Files, UnicodePathsReachTheFileSystemAsUtf8WhateverMemoryRemains) {
    Write("caf\xC3\xA9.txt", "hello");
    std::string path = Path("caf\xC3\xA9.txt");
    OBSysFileRef wide(Ptr(u""));
    ombra_test::SweepAllocationFailures([&] {
        wide = OBSysFileRef(Ptr(u""));
        wide.Append(root.c_str());
        wide.Append(Ptr(u"/caf\u00E9.txt"));
        bool named = PathOf(wide) == path; // whole or empty
        EXPECT_TRUE(wide.Length() == 0 || wide.Length() == static_cast<long long>(root.size()) + 9);
        WOBFileUtility u(wide);
        short exists = u.FileExists();
        unsigned size = u.GetFileSize();
        std::string extension = Text(u.GetExtension());
        COBString name, full;
        u.GetFileName(&name);
        WOBFileUtility::GetPathName(wide, &full);
        EXPECT_TRUE(exists == 1 || exists == 0);
        EXPECT_TRUE(size == 5 || size == 0xFFFFFFFFu);
        EXPECT_TRUE(extension == "TXT" || extension.empty()) << extension;
        return named && exists == 1 && size == 5 && extension == "TXT" &&
               Text(name) == "caf\xC3\xA9.txt" && Text(full) == path;
    });
    EXPECT_EQ(WOBFileUtility::DeleteFileA(wide), 1);
    EXPECT_FALSE(Exists("caf\xC3\xA9.txt"));
}

} // namespace
