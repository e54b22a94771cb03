// Folder walks: breadth-first order, exact extensions, hidden folders,
// links, unreadable folders, UTF-16 walks and the search for the folder of a
// file with a given extension.
#include <ombra/files.h>

#include "streams/StreamTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> Walk(WFolderTraverser& walker, bool matchesOnly, std::size_t limit = 100) {
    std::vector<std::string> found;
    OBSysFileRef item;
    while (found.size() < limit &&
           (matchesOnly ? walker.GetNextMatch(item) : walker.GetNext(item))) {
        found.push_back(OBFileSystemPath(item).Get());
    }
    return found;
}

const unsigned short* W(const std::u16string& s) {
    return reinterpret_cast<const unsigned short*>(s.c_str());
}

class FolderWalk : public ombra_test::ScratchFolder {
protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        for (const char* dir : {"sub", "sub/deeper", "z", ".hidden", "(skipped)"}) {
            ASSERT_EQ(::mkdir(Path(dir).c_str(), 0755), 0);
        }
        for (const char* file :
             {"a.obrd", "E.OBRD", "sub/b.obrd", "sub/c.txt", ".hidden/d.obrd", "sub/deeper/f.obrd",
              "z/g.obrd", "z/g.obrd.bak", "(skipped)/h.obrd", "sub/.dotfile.obrd"}) {
            Write(file, "x");
        }
        // A loop back to the top and a link to a folder that looks like a
        // plug-in: neither is followed. A link to a file, or to nothing, is a file.
        ASSERT_EQ(::symlink("..", Path("sub/loop").c_str()), 0);
        ASSERT_EQ(::symlink(Path("z").c_str(), Path("link.obrd").c_str()), 0);
        ASSERT_EQ(::symlink(Path("a.obrd").c_str(), Path("filelink.obrd").c_str()), 0);
        ASSERT_EQ(::symlink(Path("gone").c_str(), Path("dangling").c_str()), 0);
    }
};

TEST_F(FolderWalk, BreadthFirstExactExtension) {
    WFolderTraverser walker(OBSysFileRef(root.c_str()), ".obrd", 0);
    // Breadth first: the top folder's files, then "(skipped)", "sub", "z"
    // (in name order), then "sub/deeper".
    std::vector<std::string> top = Walk(walker, true);
    std::vector<std::string> want = {Path("a.obrd"),           Path("filelink.obrd"),
                                     Path("(skipped)/h.obrd"), Path("sub/.dotfile.obrd"),
                                     Path("sub/b.obrd"),       Path("z/g.obrd"),
                                     Path("sub/deeper/f.obrd")};
    EXPECT_EQ(top, want);
    OBSysFileRef item("kept");
    EXPECT_EQ(walker.GetNextMatch(item), 0);
    EXPECT_EQ(walker.GetNext(item), 0); // over for good
    OBSysFileRef current;
    walker.GetCurrentFile(current);
    EXPECT_EQ(std::string(current.GrabCString()), Path("sub/deeper/f.obrd"));

    walker.Reset();
    EXPECT_EQ(Walk(walker, true), want);
}

TEST_F(FolderWalk, EveryItemAndReportedFolders) {
    WFolderTraverser files(OBSysFileRef((root + "/").c_str()), 0);
    std::vector<std::string> all = Walk(files, false);
    EXPECT_EQ(all.front(), Path("E.OBRD")); // a trailing separator is not doubled
    EXPECT_EQ(all.size(), 11u);             // every file, none of the links to folders
    for (const std::string& f : all) {
        EXPECT_EQ(f.find("/.hidden/"), std::string::npos) << f;
        EXPECT_EQ(f.find("loop"), std::string::npos) << f;
        EXPECT_NE(f, Path("link.obrd"));
    }

    WFolderTraverser folders(OBSysFileRef(root.c_str()), 1);
    std::vector<std::string> items = Walk(folders, false);
    std::vector<std::string> reported;
    for (const std::string& i : items) {
        struct stat st;
        if (::lstat(i.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) reported.push_back(i);
    }
    EXPECT_EQ(reported, (std::vector<std::string>{Path("(skipped)"), Path("sub"), Path("z"),
                                                  Path("sub/deeper")}));
    EXPECT_EQ(items.size(), 15u);
}

TEST_F(FolderWalk, QueueHoldsEachFolderOnce) {
    WFolderTraverser walker(OBSysFileRef(Path("z").c_str()), ".obrd", 0);
    walker.AddFolder(OBSysFileRef(Path("z").c_str()));
    walker.AddFolder(OBSysFileRef(Path("sub/deeper").c_str()));
    walker.AddFolder(OBSysFileRef(Path("sub/deeper").c_str()));
    walker.NoOperation();
    EXPECT_EQ(Walk(walker, true),
              (std::vector<std::string>{Path("z/g.obrd"), Path("sub/deeper/f.obrd")}));

    WFolderTraverser empty(0);
    OBSysFileRef item;
    EXPECT_EQ(empty.GetNext(item), 0);
    empty.AddFolder(OBSysFileRef(Path("z").c_str()));
    EXPECT_EQ(empty.GetNext(item), 1);
}

TEST_F(FolderWalk, MissingAndUnreadableFoldersArePassedOver) {
    WFolderTraverser missing(OBSysFileRef(Path("none").c_str()), ".obrd", 0);
    OBSysFileRef item;
    EXPECT_EQ(missing.GetNextMatch(item), 0);
    WFolderTraverser file(OBSysFileRef(Path("a.obrd").c_str()), ".obrd", 0);
    EXPECT_EQ(file.GetNextMatch(item), 0);

    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    ASSERT_EQ(::chmod(Path("sub").c_str(), 0), 0);
    WFolderTraverser walker(OBSysFileRef(root.c_str()), ".obrd", 0);
    std::vector<std::string> found = Walk(walker, true);
    ::chmod(Path("sub").c_str(), 0755);
    EXPECT_EQ(found, (std::vector<std::string>{Path("a.obrd"), Path("filelink.obrd"),
                                               Path("(skipped)/h.obrd"), Path("z/g.obrd")}));
}

TEST_F(FolderWalk, WideWalkBuildsUtf16Paths) {
    ASSERT_EQ(::mkdir(Path("\xC3\xBCn\xC3\xAF").c_str(), 0755), 0);
    Write("\xC3\xBCn\xC3\xAF/\xE4\xB8\xAD.obwt", "x");
    Write("\xC3\xBCn\xC3\xAF/x.OBWT", "x");
    WFolderTraverserW walker(OBSysFileRef(root.c_str()), W(u".obwt"), 0);
    OBSysFileRef item;
    ASSERT_EQ(walker.GetNextMatch(item), 1);
    EXPECT_EQ(item.IsUnicode(), 1);
    std::u16string expected = u"/\u00FCn\u00EF/\u4E2D.obwt";
    const unsigned short* units = item.GrabWString();
    std::u16string got(units, units + item.Length());
    EXPECT_EQ(got.substr(got.size() - expected.size()), expected);
    EXPECT_EQ(walker.GetNextMatch(item), 0);

    // A UTF-16 extension against 8-bit and UTF-16 references, and back.
    EXPECT_EQ(walker.Matches(OBSysFileRef("/x/y.obwt")), 1);
    EXPECT_EQ(walker.Matches(OBSysFileRef(W(u"/x/y.OBWT"))), 0);
    WFolderTraverser narrow(OBSysFileRef(root.c_str()), ".obwt", 0);
    EXPECT_EQ(narrow.Matches(OBSysFileRef(W(u"/\u00FC/y.obwt"))), 1);
    EXPECT_EQ(narrow.Matches(OBSysFileRef("/x/obwt")), 0);
}

TEST_F(FolderWalk, NoMemoryEndsTheWalkCleanly) {
    std::size_t all = 0;
    for (int pass = 0; pass < 2; ++pass) {
        ombra_test::SweepAllocationFailures([&] {
            std::vector<std::string> found;
            WFolderTraverser walker(OBSysFileRef(root.c_str()), ".obrd", 0);
            OBSysFileRef item;
            while (found.size() < 20 && walker.GetNextMatch(item) == 1)
                found.push_back(item.GrabCString());
            if (pass == 0) all = found.size();
            EXPECT_LE(found.size(), all);
            return found.size() == all;
        });
    }
}

TEST_F(FolderWalk, FolderOfAFileWithTheExtension) {
    // Only sub/x.obrd matches below "only".
    for (const char* dir : {"only", "only/sub", "only/.hid", "only/(paren)"}) {
        ASSERT_EQ(::mkdir(Path(dir).c_str(), 0755), 0);
    }
    Write("only/sub/x.obrd", "x");
    Write("only/sub/y.txt", "x");
    Write("only/.hid/q.obrd", "x");
    Write("only/(paren)/r.obrd", "x");
    OBSysFileRef folder(Path("only").c_str());
    OBSysFileRef result("untouched");
    GetSubDirectoryWithGivenExtension(&folder, result, COBString(".OBRD"));
    EXPECT_EQ(std::string(result.GrabCString()), Path("only/sub/")); // the entry's own case

    result = OBSysFileRef("untouched");
    GetSubDirectoryWithGivenExtension(&folder, result, COBString(".obrd"));
    EXPECT_STREQ(result.GrabCString(), "untouched");

    // A folder named like a match, when not entered, is tested as an entry.
    ASSERT_EQ(::mkdir(Path("alone").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Path("alone/.plug.OBRD").c_str(), 0755), 0);
    OBSysFileRef alone(Path("alone").c_str());
    GetSubDirectoryWithGivenExtension(&alone, result, COBString(".OBRD"));
    EXPECT_EQ(std::string(result.GrabCString()), Path("alone/"));

    // The last match of the depth-first walk wins; links are not entered.
    ASSERT_EQ(::symlink("..", Path("only/sub/up").c_str()), 0);
    Write("only/zz.obrd", "x");
    result = OBSysFileRef("untouched");
    OBSysFileRef top(root.c_str());
    GetSubDirectoryWithGivenExtension(&top, result, COBString(".OBRD"));
    EXPECT_EQ(std::string(result.GrabCString()), Path("z/")); // z/g.obrd comes last

    OBSysFileRef missing(Path("none").c_str());
    result = OBSysFileRef("untouched");
    GetSubDirectoryWithGivenExtension(&missing, result, COBString(".OBRD"));
    GetSubDirectoryWithGivenExtension(nullptr, result, COBString(".OBRD"));
    GetSubDirectoryWithGivenExtension(&folder, result, COBString(""));
    EXPECT_STREQ(result.GrabCString(), "untouched");
}

} // namespace
