// The platform layer where no public class reaches it in a test: the stdio
// read fallback, the temporary path and unique files, threads and libraries.
#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/System.h"

#include "streams/StreamTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class PlatformFiles : public ombra_test::ScratchFolder {};

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

    // Both need room for the path and its NUL, and write nothing without it.
    std::size_t unique = root.size() + 1 + 5 + 6 + 1;
    std::string fence(512, '#');
    EXPECT_FALSE(obsys::CreateUniqueFile(root.c_str(), "Ombra", &fence[0], unique - 1));
    EXPECT_TRUE(obsys::CreateUniqueFile(root.c_str(), "Ombra", &fence[0], unique));
    EXPECT_EQ(fence.find('\0'), unique - 1);
    ::setenv("TMPDIR", root.c_str(), 1);
    fence.assign(512, '#');
    EXPECT_EQ(obsys::TempPath(&fence[0], root.size() + 1), 0u);
    EXPECT_EQ(fence, std::string(512, '#'));
    EXPECT_EQ(obsys::TempPath(&fence[0], root.size() + 2), root.size() + 1);
    if (saved)
        ::setenv("TMPDIR", savedValue.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

TEST_F(PlatformFiles, SeekingToTheStartAndTruncatingThere) {
    obsys::FileHandle f = obsys::OpenFile(
        Path("t").c_str(), obsys::kAccessRead | obsys::kAccessWrite, obsys::kCreateAlways);
    ASSERT_NE(f, obsys::kInvalidFile);
    EXPECT_EQ(obsys::WriteFile(f, "abc", 3), 3);
    EXPECT_EQ(obsys::SeekFile(f, 0, obsys::kSeekSet), 0);
    EXPECT_TRUE(obsys::TruncateFileHere(f));
    EXPECT_EQ(obsys::FileSize(f), 0);
    EXPECT_EQ(obsys::SeekFile(f, -1, obsys::kSeekSet), -1);
    obsys::CloseFile(f);
}

// The text service converts into scratch space of its own, so only here
// does an encoder that runs past the caller's capacity show.
TEST(PlatformCodePages, AResultThatDoesNotFitWritesNothingPastTheEnd) {
    const unsigned short cyrillic[] = {0x0416, 0x0416, 0x0416};
    const unsigned short unmapped[] = {'a', 0x65E5, 'b'};
    for (const unsigned short* units : {cyrillic, unmapped}) {
        char out[4] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(obsys::WideCharToMultiByte(28595, 0, units, 3, out, 2, nullptr, nullptr), 0);
        EXPECT_EQ(out[2], 'x');
        EXPECT_EQ(obsys::WideCharToMultiByte(28595, 0, units, 3, out, 3, nullptr, nullptr), 3);
        EXPECT_EQ(out[3], 'x');
    }
}

TEST(PlatformSystem, ThreadsTicksAndLibraryErrors) {
    unsigned long here = obsys::CurrentThreadId(), there = 0;
    std::thread([&] { there = obsys::CurrentThreadId(); }).join();
    EXPECT_NE(here, there);
    // Kept after the first ask, but a forked child's thread is its own (in a
    // child of one thread, the process id).
    EXPECT_EQ(obsys::CurrentThreadId(), here);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(obsys::CurrentThreadId() == static_cast<unsigned long>(::getpid()) ? 0 : 1);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    unsigned a = obsys::TickCount();
    ::usleep(20000);
    EXPECT_GE(obsys::TickCount() - a, 15u);

    char why[256];
    EXPECT_EQ(obsys::LoadLibrary("/nonexistent/lib.obrd", why, sizeof why), nullptr);
    EXPECT_NE(std::string(why).find("lib.obrd"), std::string::npos);
    EXPECT_FALSE(obsys::FreeLibrary(nullptr));

    // Asking whether a debugger is attached leaves no file open: with room
    // for only a few more, a thousand questions still leave a file to open.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    int probe = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    ::close(probe);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(probe + 8);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    for (int i = 0; i < 1000; ++i)
        obsys::DebuggerPresent();
    int last = ::open("/dev/null", O_RDONLY);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_GE(last, 0);
    if (last >= 0) ::close(last);
}

} // namespace
