// The platform layer where no public class reaches it in a test: the stdio
// read fallback, the temporary path and unique files, threads and libraries.
#include "platform/Files.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

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
    std::string root;
};

TEST_F(PlatformFiles, StdioReadChannel) {
    std::ofstream(Path("data")) << "0123456789";
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
    obsys::StdioClose(f);

    EXPECT_EQ(obsys::StdioOpenRead(Path("missing").c_str()), nullptr);
    EXPECT_EQ(obsys::StdioOpenRead(root.c_str()), nullptr); // a folder is not a file
    EXPECT_EQ(obsys::StdioOpenRead(nullptr), nullptr);
    EXPECT_EQ(obsys::StdioRead(nullptr, buf, 1), 0u);
    EXPECT_EQ(obsys::StdioTell(nullptr), -1);
}

TEST_F(PlatformFiles, TemporaryPathAndUniqueFiles) {
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
    if (saved)
        ::setenv("TMPDIR", savedValue.c_str(), 1);
    else
        ::unsetenv("TMPDIR");

    char a[512], b[512];
    ASSERT_TRUE(obsys::CreateUniqueFile(root.c_str(), "Ombra", a, sizeof a));
    ASSERT_TRUE(obsys::CreateUniqueFile((root + "/").c_str(), "Ombra", b, sizeof b));
    EXPECT_STRNE(a, b);
    EXPECT_TRUE(obsys::PathExists(a));
    EXPECT_EQ(std::string(a).rfind(root + "/Ombra", 0), 0u);
    EXPECT_FALSE(obsys::CreateUniqueFile(Path("missing").c_str(), "x", a, sizeof a));
    EXPECT_FALSE(obsys::CreateUniqueFile(root.c_str(), "x", a, 8));
}

TEST(PlatformSystem, ThreadsTicksAndLibraryErrors) {
    unsigned long here = obsys::CurrentThreadId(), there = 0;
    std::thread([&] { there = obsys::CurrentThreadId(); }).join();
    EXPECT_NE(here, there);
    unsigned a = obsys::TickCount();
    ::usleep(20000);
    EXPECT_GE(obsys::TickCount() - a, 15u);

    char why[256];
    EXPECT_EQ(obsys::LoadLibrary("/nonexistent/lib.obrd", why, sizeof why), nullptr);
    EXPECT_NE(std::string(why).find("lib.obrd"), std::string::npos);
    EXPECT_FALSE(obsys::FreeLibrary(nullptr));
}

} // namespace
