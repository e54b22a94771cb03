// Buffered file transfers: what the file holds at each buffering point, as
// another handle sees it, and where a file that refuses bytes says so.
#include <ombra/streams.h>
#include <ombra/typedstreams.h>

#include "streams/StreamTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>

namespace {

class FileBuffering : public ombra_test::ScratchFolder {
public: // for the table's lambdas
    using ScratchFolder::Read;
    OBSysFileRef Ref(const std::string& name) const { return OBSysFileRef(Path(name).c_str()); }
};

// Small writes that a buffer holds back, then one buffering point; whatever
// the point is, another handle then sees every byte at its place.
TEST_F(FileBuffering, EveryBufferingPointPutsTheBytesInTheFile) {
    const std::string kText = "abcdefghijklmnopqrstuvwxyz0123456789";
    struct Point {
        const char* name;
        // Runs the point on f (holding kText at position 36) and returns
        // what another handle finds in the file "f".
        std::function<std::string(FileBuffering&, OBFileXferBytesRef&)> run;
        std::string expected;
    };
    const Point points[] = {
        {"Flush",
         [](FileBuffering& t, OBFileXferBytesRef& f) {
             f.Flush();
             return t.Read("f");
         },
         kText},
        {"Seek to the start",
         [](FileBuffering& t, OBFileXferBytesRef& f) {
             EXPECT_EQ(f.Seek(0, kSeekFromStart), 0u);
             return t.Read("f");
         },
         kText},
        {"Seek to the end (the size)",
         [](FileBuffering& t, OBFileXferBytesRef& f) {
             EXPECT_EQ(f.Seek(0, kSeekFromEnd), 36u);
             return t.Read("f");
         },
         kText},
        {"SetEndOfStream",
         [](FileBuffering& t, OBFileXferBytesRef& f) {
             f.Seek(-6, kSeekFromCurrent);
             f.SetEndOfStream();
             return t.Read("f");
         },
         kText.substr(0, 30)},
        {"Close",
         [](FileBuffering& t, OBFileXferBytesRef& f) {
             f.Close();
             return t.Read("f");
         },
         kText},
        {"copying the transfer",
         [](FileBuffering& t, OBFileXferBytesRef& f) {
             OBFileXferBytesRef copy(f);
             return t.Read("f");
         },
         kText},
        {"a size query",
         [](FileBuffering& t, OBFileXferBytesRef&) {
             WOBFileUtility file(t.Ref("f"));
             EXPECT_EQ(file.GetFileSize(), 36u);
             return t.Read("f");
         },
         kText},
        {"a copy of the file",
         [](FileBuffering& t, OBFileXferBytesRef&) {
             WOBFileUtility file(t.Ref("f"));
             EXPECT_EQ(file.OBCopyFile(t.Ref("copy")), 1);
             return t.Read("copy");
         },
         kText},
        {"a second transfer of the file",
         [](FileBuffering& t, OBFileXferBytesRef& f) {
             OBFileXferBytesRef second;
             EXPECT_EQ(second.Open(t.Ref("f"), kFileRead | kFileWrite, 0, 0), 1);
             std::string seen(40, '\0');
             seen.resize(second.Read(&seen[0], 40));
             // From now on each sees the other's bytes at once.
             second.Seek(0, kSeekFromStart);
             second.Write("ABC", 3);
             f.Seek(0, kSeekFromStart);
             char back[3];
             EXPECT_EQ(f.Read(back, 3), 3u);
             EXPECT_EQ(std::string(back, 3), "ABC");
             f.Write("!", 1);
             second.Seek(3, kSeekFromStart);
             EXPECT_EQ(second.Read(back, 1), 1u);
             EXPECT_EQ(back[0], '!');
             return seen;
         },
         kText},
    };
    for (const Point& point : points) {
        SCOPED_TRACE(point.name);
        Write("f", "");
        OBFileXferBytesRef f;
        ASSERT_EQ(f.Open(Ref("f"), kFileRead | kFileWrite, 0, 0), 1);
        for (char c : kText)
            ASSERT_EQ(f.Write(&c, 1), 1u);
        EXPECT_EQ(f.Tell(), 36u);
        EXPECT_EQ(point.run(*this, f), point.expected);
        EXPECT_NE(f.GetStreamState(), kStreamError);
    }
}

// A memory transfer's spill leaves every byte in its temporary file.
TEST_F(FileBuffering, ASpillLeavesEveryByteInTheTemporaryFile) {
    OBMemXferBytes mem;
    std::string expected;
    for (int i = 0; i < 700; ++i) {
        ASSERT_EQ(mem.Write("abc", 3), 3u);
        expected += "abc";
    }
    ASSERT_EQ(mem.IsBacked(), 1);
    std::ifstream in(OBFileSystemPath(mem.GetBackingFile()).Get(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected.substr(0, 2049));
}

// A file size limit: writes past it fail as on a full disk.
class SizeLimit {
public:
    explicit SizeLimit(rlim_t bytes) {
        old_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~SizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_);
    }
    bool ok() const { return ok_; }

private:
    rlimit saved_;
    void (*old_)(int);
    bool ok_;
};

// Where the refusal shows: at the next buffering point at the latest,
// through the count or the state; the file holds what fitted, and the
// position moves back to its end.
TEST_F(FileBuffering, AFullFileShowsAtTheNextBufferingPoint) {
    constexpr unsigned long long kLimit = 1000;
    struct Case {
        const char* name;
        std::function<void(OBFileXferBytesRef&)> point;
    };
    const Case cases[] = {
        {"Flush", [](OBFileXferBytesRef& f) { f.Flush(); }},
        {"Seek", [](OBFileXferBytesRef& f) { f.Seek(0, kSeekFromCurrent); }},
        {"SetEndOfStream", [](OBFileXferBytesRef& f) { f.SetEndOfStream(); }},
        {"Close", [](OBFileXferBytesRef& f) { f.Close(); }},
        {"a write past the buffer",
         [](OBFileXferBytesRef& f) {
             std::string big(OBFileXferBytesRef::kBufferSize, 'z');
             EXPECT_EQ(f.Write(big.data(), big.size()), 0u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OBFileXferBytesRef f;
        ASSERT_EQ(f.Open(Ref("full"), kFileWrite | kFileTruncate, 0, 0), 1);
        {
            SizeLimit limit(kLimit);
            if (!limit.ok()) GTEST_SKIP() << "no file size limit";
            for (int i = 0; i < 300; ++i)
                ASSERT_EQ(f.Write("0123", 4), 4u); // 1200 bytes wait in the buffer
            c.point(f);
            EXPECT_EQ(f.GetStreamState(), kStreamError);
            if (std::string(c.name) != "Close") {
                EXPECT_EQ(f.Tell(), kLimit);
            }
            f.Close();
        }
        EXPECT_EQ(Read("full").size(), kLimit);
    }

    // A typed stream learns of it when it closes.
    OBFileStreamWriteRef w(Ref("typed"), kFileWrite, 0, 0);
    {
        SizeLimit limit(kLimit);
        for (int i = 0; i < 1000; ++i)
            w.XferInt32(*&i);
        w.Close();
    }
    EXPECT_EQ(w.GetStreamState(), kStreamError);
    EXPECT_EQ(Read("typed").size(), kLimit);
}

} // namespace
