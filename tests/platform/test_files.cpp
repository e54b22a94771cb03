// The platform file layer: open modes, copies, folder listings, temporary files.
#include "platform/Files.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ombra-platform-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + root + "'").c_str()); }
    std::string Path(const std::string& name) const { return root + "/" + name; }
    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(Path(name), std::ios::binary) << content;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string root;
};

TEST_F(PlatformFiles, OpenModes) {
    std::string missing = Path("missing");
    EXPECT_EQ(obsys::OpenFile(missing.c_str(), obsys::kAccessRead, obsys::kOpenExisting),
              obsys::kInvalidFile);
    EXPECT_EQ(obsys::OpenFile(missing.c_str(), obsys::kAccessWrite, obsys::kTruncateExisting),
              obsys::kInvalidFile);
    EXPECT_FALSE(obsys::PathExists(missing.c_str()));

    obsys::FileHandle f = obsys::OpenFile(missing.c_str(), obsys::kAccessWrite, obsys::kOpenAlways);
    ASSERT_NE(f, obsys::kInvalidFile);
    EXPECT_EQ(obsys::WriteFile(f, "hello world", 11), 11);
    EXPECT_EQ(obsys::SeekFile(f, 5, obsys::kSeekSet), 5);
    EXPECT_TRUE(obsys::TruncateFileHere(f));
    EXPECT_EQ(obsys::FileSize(f), 5);
    EXPECT_TRUE(obsys::FlushFile(f));
    obsys::CloseFile(f);
    EXPECT_EQ(Read("missing"), "hello");

    f = obsys::OpenFile(missing.c_str(), obsys::kAccessRead | obsys::kAccessWrite, obsys::kOpenAlways);
    EXPECT_EQ(obsys::SeekFile(f, 0, obsys::kSeekEnd), 5); // content kept
    char buf[16];
    EXPECT_EQ(obsys::SeekFile(f, -2, obsys::kSeekCurrent), 3);
    EXPECT_EQ(obsys::ReadFile(f, buf, sizeof buf), 2);
    obsys::CloseFile(f);

    f = obsys::OpenFile(missing.c_str(), obsys::kAccessWrite, obsys::kCreateAlways);
    EXPECT_EQ(obsys::FileSize(f), 0);
    obsys::CloseFile(f);

    // A folder is not a file, and bad arguments are refused.
    EXPECT_EQ(obsys::OpenFile(root.c_str(), obsys::kAccessRead, obsys::kOpenExisting),
              obsys::kInvalidFile);
    EXPECT_EQ(obsys::OpenFile(nullptr, obsys::kAccessRead, obsys::kOpenExisting), obsys::kInvalidFile);
    EXPECT_EQ(obsys::ReadFile(obsys::kInvalidFile, buf, 1), -1);
    EXPECT_EQ(obsys::WriteFile(obsys::kInvalidFile, buf, 1), -1);
    EXPECT_EQ(obsys::SeekFile(obsys::kInvalidFile, 0, obsys::kSeekSet), -1);
}

TEST_F(PlatformFiles, CopyAndDelete) {
    std::string big(200000, 'x');
    big[123456] = 'y';
    Write("src", big);
    Write("dst", "old");
    EXPECT_TRUE(obsys::CopyFile(Path("src").c_str(), Path("dst").c_str()));
    EXPECT_EQ(Read("dst"), big);
    EXPECT_EQ(obsys::FileSizeByPath(Path("dst").c_str()), 200000);
    EXPECT_FALSE(obsys::CopyFile(Path("none").c_str(), Path("dst2").c_str()));
    EXPECT_FALSE(obsys::PathExists(Path("dst2").c_str()));
    EXPECT_FALSE(obsys::CopyFile(Path("src").c_str(), Path("no/such/folder").c_str()));
    EXPECT_TRUE(obsys::DeleteFile(Path("dst").c_str()));
    EXPECT_FALSE(obsys::DeleteFile(Path("dst").c_str()));
    EXPECT_EQ(obsys::FileSizeByPath(Path("dst").c_str()), -1);
}

TEST_F(PlatformFiles, DirectoryListsSortedEntriesAndMarksFolders) {
    Write("b.txt", "");
    Write("a.obrd", "");
    ASSERT_EQ(::mkdir(Path("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(Path("sub").c_str(), Path("link").c_str()), 0);
    obsys::Directory dir;
    ASSERT_TRUE(dir.Open(root.c_str()));
    ASSERT_EQ(::symlink(Path("gone").c_str(), Path("dangling").c_str()), 0);
    std::vector<std::string> seen;
    obsys::DirectoryEntry e;
    while (dir.Next(e)) {
        seen.push_back(std::string(e.name) + (e.isDirectory ? " dir" : "") +
                       (e.isLinkToDirectory ? " link-to-dir" : ""));
    }
    std::vector<std::string> expected = {"a.obrd", "b.txt", "link link-to-dir", "sub dir"};
    EXPECT_EQ(seen, expected);
    ASSERT_TRUE(dir.Open(root.c_str())); // a link to nowhere is a plain entry
    seen.clear();
    while (dir.Next(e)) {
        if (!e.isDirectory && !e.isLinkToDirectory) seen.push_back(e.name);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a.obrd", "b.txt", "dangling"}));
    EXPECT_FALSE(dir.Next(e));

    obsys::Directory empty;
    ASSERT_TRUE(empty.Open(Path("sub").c_str()));
    EXPECT_FALSE(empty.Next(e));
    EXPECT_FALSE(empty.Open(Path("missing").c_str()));
    EXPECT_FALSE(empty.Open(Path("b.txt").c_str()));
}

TEST_F(PlatformFiles, StdioReadChannel) {
    Write("data", "0123456789");
    obsys::StdioFile f = obsys::StdioOpenRead(Path("data").c_str());
    ASSERT_NE(f, nullptr);
    char buf[16] = {};
    EXPECT_EQ(obsys::StdioRead(f, buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_TRUE(obsys::StdioSeek(f, -2, obsys::kSeekEnd));
    EXPECT_EQ(obsys::StdioTell(f), 8);
    EXPECT_EQ(obsys::StdioRead(f, buf, sizeof buf), 2u);
    EXPECT_FALSE(obsys::StdioSeek(f, -100, obsys::kSeekCurrent));
    EXPECT_EQ(obsys::StdioWrite(f, "x", 1), 0u); // opened for reading only
    EXPECT_TRUE(obsys::StdioFlush(f));
    obsys::StdioClose(f);
    EXPECT_EQ(Read("data"), "0123456789");

    EXPECT_EQ(obsys::StdioOpenRead(Path("missing").c_str()), nullptr);
    EXPECT_EQ(obsys::StdioOpenRead(root.c_str()), nullptr); // a folder is not a file
    EXPECT_EQ(obsys::StdioOpenRead(nullptr), nullptr);
    EXPECT_EQ(obsys::StdioRead(nullptr, buf, 1), 0u);
    EXPECT_EQ(obsys::StdioTell(nullptr), -1);
    EXPECT_FALSE(obsys::StdioSeek(nullptr, 0, obsys::kSeekSet));
}

TEST_F(PlatformFiles, UnreadableFolderIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    ASSERT_EQ(::mkdir(Path("locked").c_str(), 0), 0);
    obsys::Directory dir;
    EXPECT_FALSE(dir.Open(Path("locked").c_str()));
    ::chmod(Path("locked").c_str(), 0755);
}

TEST_F(PlatformFiles, TemporaryFolderAndUniqueFiles) {
    const char* saved = std::getenv("TMPDIR");
    std::string savedValue = saved ? saved : "";
    ::setenv("TMPDIR", root.c_str(), 1);
    char buffer[512];
    std::size_t n = obsys::TempPath(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n), root + "/");
    EXPECT_EQ(obsys::TempPath(buffer, 3), 0u);
    ::setenv("TMPDIR", Path("not-there").c_str(), 1);
    obsys::TempPath(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "/tmp/");
    if (saved) ::setenv("TMPDIR", savedValue.c_str(), 1); else ::unsetenv("TMPDIR");

    char a[512], b[512];
    ASSERT_TRUE(obsys::CreateUniqueFile(root.c_str(), "Ombra", a, sizeof a));
    ASSERT_TRUE(obsys::CreateUniqueFile((root + "/").c_str(), "Ombra", b, sizeof b));
    EXPECT_STRNE(a, b);
    EXPECT_TRUE(obsys::PathExists(a));
    EXPECT_EQ(std::string(a).rfind(root + "/Ombra", 0), 0u);
    EXPECT_FALSE(obsys::CreateUniqueFile(Path("missing").c_str(), "x", a, sizeof a));
    EXPECT_FALSE(obsys::CreateUniqueFile(root.c_str(), "x", a, 8));
}

TEST(PlatformSystem, ThreadsTicksDebuggerAndLibraries) {
    unsigned long here = obsys::CurrentThreadId(), there = 0;
    std::thread([&] { there = obsys::CurrentThreadId(); }).join();
    EXPECT_NE(here, there);
    unsigned a = obsys::TickCount();
    ::usleep(20000);
    EXPECT_GE(obsys::TickCount() - a, 15u);

    EXPECT_FALSE(obsys::IsNetworkPath("/tmp"));
    EXPECT_FALSE(obsys::IsNetworkPath(nullptr));

    char why[256];
    EXPECT_EQ(obsys::LoadLibrary("/nonexistent/lib.obrd", why, sizeof why), nullptr);
    EXPECT_NE(std::string(why).find("lib.obrd"), std::string::npos);
    void* libc = obsys::LoadLibrary("libc.so.6");
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(obsys::GetProcAddress(libc, "strlen"), nullptr);
    EXPECT_EQ(obsys::GetProcAddress(libc, "NoSuchEntryPoint"), nullptr);
    EXPECT_TRUE(obsys::FreeLibrary(libc));
    EXPECT_FALSE(obsys::FreeLibrary(nullptr));
}

} // namespace
