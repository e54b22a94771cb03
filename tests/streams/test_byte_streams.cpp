// The byte movers: the memory transfer and its spill into a temporary file,
// the file transfer's open modes, states and copies; folder walks (order,
// extensions, hidden folders, links, unreadable folders, UTF-16) and the
// search for the folder of a file with a given extension.
#include <ombra/files.h>
#include <ombra/streams.h>

#include "streams/StreamTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using ombra_test::Bytes;
using ombra_test::Contents;

Bytes Pattern(std::size_t n, unsigned seed = 0) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i * 7 + seed) % 251);
    return b;
}

class MemoryTransfer : public ombra_test::ScratchFolder {};

TEST_F(MemoryTransfer, SpillsPastTheBufferWithoutLosingAByte) {
    Bytes data = Pattern(2049);
    std::string backing;
    {
        OBMemXferBytes mem;
        EXPECT_EQ(mem.Write(data.data(), 2048), 2048u);
        EXPECT_EQ(mem.IsBacked(), 0);
        EXPECT_TRUE(Entries(root).empty()); // still in memory
        EXPECT_EQ(mem.Write(data.data() + 2048, 1), 1u);
        EXPECT_EQ(mem.IsBacked(), 1);
        EXPECT_EQ(mem.Tell(), 2049u);
        backing = OBFileSystemPath(mem.GetBackingFile()).Get();
        EXPECT_EQ(backing.rfind(root + "/BackingStore", 0), 0u) << backing;
        EXPECT_EQ(Entries(root).size(), 1u);
        struct stat own;
        ASSERT_EQ(::stat(backing.c_str(), &own), 0);
        EXPECT_EQ(own.st_mode & 0777, 0600u); // private to its owner
    }
    struct stat st;
    EXPECT_NE(::stat(backing.c_str(), &st), 0); // deleted with the transfer
}

TEST_F(MemoryTransfer, OtherOriginsStayAndANullSourceIsAnError) {
    OBMemXferBytes mem;
    Bytes data = Pattern(100);
    mem.Write(data.data(), 100);
    EXPECT_EQ(mem.Seek(-10, kSeekFromEnd), 90u);
    EXPECT_EQ(mem.Seek(7, static_cast<OBSeekFromWhere>(3)), 90u);
    EXPECT_EQ(mem.Write(nullptr, 5), 0u);
    EXPECT_EQ(mem.GetStreamState(), kStreamError);
    EXPECT_EQ(Contents(mem), data);
}

// The temporary directory lies under a plain file: not even root can make
// anything there.
TEST_F(MemoryTransfer, UnwritableTemporaryDirectoryKeepsTheContent) {
    Write("plain", "x");
    UseTempDirectory(Path("plain") + "/");
    OBMemXferBytes mem;
    Bytes data = Pattern(3000);
    EXPECT_EQ(mem.Write(data.data(), 1000), 1000u);
    EXPECT_EQ(mem.Write(data.data() + 1000, 2000), 0u);
    EXPECT_EQ(mem.GetStreamState(), kStreamError);
    EXPECT_EQ(mem.IsBacked(), 0);
    EXPECT_EQ(mem.Tell(), 1000u);
    EXPECT_EQ(Contents(mem), Bytes(data.begin(), data.begin() + 1000));
    // Once a directory is usable again the next overflow succeeds.
    UseTempDirectory(root + "/spill/");
    ASSERT_EQ(::mkdir(Path("spill").c_str(), 0755), 0);
    EXPECT_EQ(mem.Write(data.data() + 1000, 2000), 2000u);
    EXPECT_EQ(mem.IsBacked(), 1);
    EXPECT_EQ(Contents(mem), data);
}

TEST_F(MemoryTransfer, NoMemoryNeverLosesOrLeaves) {
    Bytes data = Pattern(3000);
    ombra_test::SweepAllocationFailures([&] {
        bool whole;
        {
            OBMemXferBytes mem;
            unsigned long long first = mem.Write(data.data(), 100);
            unsigned long long second = mem.Write(data.data() + 100, 2900);
            // Whatever was stored reads back unchanged.
            Bytes got = Contents(mem);
            EXPECT_EQ(got.size(), first + second);
            EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
            whole = got.size() == data.size();
        }
        EXPECT_TRUE(Entries(root).empty()) << "the spill file is left behind";
        return whole;
    });
}

class FileTransfer : public ombra_test::ScratchFolder {};

TEST_F(FileTransfer, OpenModes) {
    OBFileXferBytesRef f;
    EXPECT_EQ(f.GetStreamState(), kStreamError); // never opened
    OBSysFileRef missing(Path("missing").c_str());
    EXPECT_EQ(f.Open(missing, kFileRead, 0, 0), 0);
    EXPECT_EQ(f.GetStreamState(), kStreamClosed);
    unsigned char buf[8];
    EXPECT_EQ(f.Read(buf, 4), 0u);
    EXPECT_EQ(f.Write("abcd", 4), 0u);
    EXPECT_EQ(f.GetStreamState(), kStreamError);
    EXPECT_EQ(f.Seek(3, kSeekFromStart), 0u);
    EXPECT_FALSE(Exists("missing"));

    // kFileWrite creates; kFileAppend alone writes at the start, with
    // kFileWrite at the end; kFileWrite | kFileTruncate empties, and so does
    // kFileTruncate an existing file.
    const struct {
        int mode;
        unsigned long long at;
        std::string write, then;
    } opens[] = {{kFileWrite, 0, "hello world", "hello world"},
                 {kFileAppend, 0, "J", "Jello world"},
                 {kFileWrite | kFileAppend, 11, "!", "Jello world!"},
                 {kFileWrite, 0, "Y", "Yello world!"},
                 {kFileWrite | kFileTruncate, 0, "", ""},
                 {kFileTruncate, 0, "", ""}};
    OBSysFileRef file(Path("f").c_str());
    for (const auto& open : opens) {
        if (open.mode == kFileTruncate) Write("f", "data");
        ASSERT_EQ(f.Open(file, open.mode, 0, 0), 1) << open.mode;
        EXPECT_EQ(f.GetStreamState(), kStreamOK);
        EXPECT_EQ(f.Tell(), open.at);
        EXPECT_EQ(f.Write(open.write.data(), open.write.size()), open.write.size());
        f.Close();
        EXPECT_EQ(Read("f"), open.then) << open.mode;
    }
    EXPECT_EQ(f.Open(OBSysFileRef(Path("gone").c_str()), kFileTruncate, 0, 0), 0);
    EXPECT_FALSE(Exists("gone"));

    // Write access to a place that cannot hold a file fails cleanly.
    EXPECT_EQ(f.Open(OBSysFileRef(Path("no/dir/x").c_str()), kFileWrite, 0, 0), 0);
    EXPECT_EQ(f.GetStreamState(), kStreamClosed);
    EXPECT_EQ(f.Open(OBSysFileRef(root.c_str()), kFileRead, 0, 0), 0); // a folder
}

TEST_F(FileTransfer, LocalFilesAreNotCached) {
    Write("local", "x");
    OBSysFileRef local(Path("local").c_str());
    OBFileXferBytesRef f;
    ASSERT_EQ(f.Open(local, kFileRead | kFileCacheNetwork, 0, 0), 1);
    EXPECT_EQ(f.GetCachedSystemFile(), local);
    f.Close();
    EXPECT_TRUE(Exists("local")); // closing never deletes the file itself
}

// Runs only where a network file system is mounted and writable.
TEST_F(FileTransfer, NetworkFilesAreReadFromALocalCopy) {
    std::ifstream mounts("/proc/mounts");
    std::string device, point, type, rest;
    std::string folder;
    while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
        if ((type.rfind("nfs", 0) == 0 || type == "cifs" || type == "smb3" ||
             type.rfind("fuse.sshfs", 0) == 0) &&
            ::access(point.c_str(), W_OK) == 0) {
            folder = point;
            break;
        }
    }
    if (folder.empty()) GTEST_SKIP() << "no writable network file system is mounted";
    std::string remote = folder + "/ombra-cache-test-" + std::to_string(::getpid());
    std::ofstream(remote) << "remote";
    OBSysFileRef file(remote.c_str());
    OBFileXferBytesRef f;
    ASSERT_EQ(f.Open(file, kFileRead | kFileCacheNetwork, 0, 0), 1);
    OBSysFileRef cached = f.GetCachedSystemFile();
    EXPECT_NE(cached, file);
    std::string copy = OBFileSystemPath(cached).Get();
    EXPECT_NE(copy.find("/Ombra"), std::string::npos);
    unsigned char buf[6];
    EXPECT_EQ(f.Read(buf, 6), 6u);
    EXPECT_EQ(std::string(buf, buf + 6), "remote");
    f.Close();
    struct stat st;
    EXPECT_NE(::stat(copy.c_str(), &st), 0);
    ::unlink(remote.c_str());
}

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
    WFolderTraverser whole(OBSysFileRef(root.c_str()), ".obrd", 0);
    const std::size_t all = Walk(whole, true).size();
    ombra_test::SweepAllocationFailures([&] {
        WFolderTraverser walker(OBSysFileRef(root.c_str()), ".obrd", 0);
        std::size_t found = Walk(walker, true, 20).size();
        EXPECT_LE(found, all);
        return found == all;
    });
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
    auto find = [](const std::string& path, const char* extension) {
        OBSysFileRef folder(path.c_str()), result("untouched");
        GetSubDirectoryWithGivenExtension(&folder, result, COBString(extension));
        return std::string(result.GrabCString());
    };
    EXPECT_EQ(find(Path("only"), ".OBRD"), Path("only/sub/")); // the entry's own case
    EXPECT_EQ(find(Path("only"), ".obrd"), "untouched");
    EXPECT_EQ(find(Path("only"), ""), "untouched");
    EXPECT_EQ(find(Path("none"), ".OBRD"), "untouched");
    OBSysFileRef result("untouched");
    GetSubDirectoryWithGivenExtension(nullptr, result, COBString(".OBRD"));
    EXPECT_STREQ(result.GrabCString(), "untouched");

    // A folder named like a match, when not entered, is tested as an entry.
    ASSERT_EQ(::mkdir(Path("alone").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Path("alone/.plug.OBRD").c_str(), 0755), 0);
    EXPECT_EQ(find(Path("alone"), ".OBRD"), Path("alone/"));

    // The last match of the depth-first walk wins; links are not entered.
    ASSERT_EQ(::symlink("..", Path("only/sub/up").c_str()), 0);
    Write("only/zz.obrd", "x");
    EXPECT_EQ(find(root, ".OBRD"), Path("z/")); // z/g.obrd comes last
}

} // namespace
