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
public: // for the tables' lambdas
    using ScratchFolder::Read;
    OBSysFileRef Ref(const std::string& name) const { return OBSysFileRef(Path(name).c_str()); }
};

const std::string kText = "abcdefghijklmnopqrstuvwxyz0123456789";

// Small writes that a buffer holds back, then one buffering point, which
// returns what another handle then finds.
TEST_F(FileBuffering, EveryBufferingPointPutsTheBytesInTheFile) {
    using Point = std::function<std::string(FileBuffering&, OBFileXferBytesRef&)>;
    const std::pair<Point, std::string> points[] = {
        {[](FileBuffering& t, OBFileXferBytesRef& f) { return f.Flush(), t.Read("f"); }, kText},
        {[](FileBuffering& t, OBFileXferBytesRef& f) { return f.Close(), t.Read("f"); }, kText},
        {[](FileBuffering& t, OBFileXferBytesRef& f) {
             return f.Seek(0, kSeekFromStart) == 0 ? t.Read("f") : "";
         },
         kText},
        {[](FileBuffering& t, OBFileXferBytesRef& f) { // the size
             return f.Seek(0, kSeekFromEnd) == 36 ? t.Read("f") : "";
         },
         kText},
        {[](FileBuffering& t, OBFileXferBytesRef& f) {
             f.Seek(-6, kSeekFromCurrent);
             return f.SetEndOfStream(), t.Read("f");
         },
         kText.substr(0, 30)},
        {[](FileBuffering& t, OBFileXferBytesRef& f) {
             OBFileXferBytesRef copy(f); // copying the transfer
             return t.Read("f");
         },
         kText},
        {[](FileBuffering& t, OBFileXferBytesRef&) {
             return WOBFileUtility(t.Ref("f")).GetFileSize() == 36 ? t.Read("f") : "";
         },
         kText},
        {[](FileBuffering& t, OBFileXferBytesRef&) {
             return WOBFileUtility(t.Ref("f")).OBCopyFile(t.Ref("copy")) ? t.Read("copy") : "";
         },
         kText},
        {[](FileBuffering& t, OBFileXferBytesRef& f) { // a second transfer of the file
             OBFileXferBytesRef second;
             second.Open(t.Ref("f"), kFileRead | kFileWrite, 0, 0);
             std::string seen(40, '\0');
             seen.resize(second.Read(&seen[0], 40));
             // From now on each sees the other's bytes at once.
             second.Seek(0, kSeekFromStart);
             second.Write("AB", 2);
             char back[2] = {};
             f.Seek(0, kSeekFromStart);
             f.Read(back, 2);
             f.Write("!", 1);
             second.Read(back + 1, 1);
             return seen + std::string(back, 2);
         },
         kText + "A!"},
    };
    for (const auto& point : points) {
        SCOPED_TRACE(&point - points);
        Write("f", "");
        OBFileXferBytesRef f;
        ASSERT_EQ(f.Open(Ref("f"), kFileRead | kFileWrite, 0, 0), 1);
        for (char c : kText)
            ASSERT_EQ(f.Write(&c, 1), 1u);
        EXPECT_EQ(f.Tell(), 36u);
        EXPECT_EQ(point.first(*this, f), point.second);
        EXPECT_NE(f.GetStreamState(), kStreamError);
    }
    // A memory transfer's spill leaves every byte in its temporary file.
    OBMemXferBytes mem;
    for (int i = 0; i < 700; ++i)
        ASSERT_EQ(mem.Write("abc", 3), 3u);
    std::ifstream in(OBFileSystemPath(mem.GetBackingFile()).Get(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}).size(), 2049u);
}

// A file size limit: writes past it fail as on a full disk.
class SizeLimit {
public:
    explicit SizeLimit(rlim_t bytes) : old_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~SizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_);
    }
    bool ok_;

private:
    void (*old_)(int);
    rlimit saved_;
};

// The refusal shows at the next buffering point at the latest, through the
// count or the state; the file holds what fitted, and the position moves
// back to its end.
TEST_F(FileBuffering, AFullFileShowsAtTheNextBufferingPoint) {
    const std::string big(OBFileXferBytesRef::kBufferSize, 'z');
    const std::function<void(OBFileXferBytesRef&)> points[] = {
        [](OBFileXferBytesRef& f) { f.Flush(); },
        [](OBFileXferBytesRef& f) { f.Seek(0, kSeekFromCurrent); },
        [](OBFileXferBytesRef& f) { f.SetEndOfStream(); },
        [&](OBFileXferBytesRef& f) { EXPECT_EQ(f.Write(big.data(), big.size()), 0u); },
        [](OBFileXferBytesRef& f) { f.Close(); },
    };
    for (const auto& point : points) {
        SCOPED_TRACE(&point - points);
        OBFileXferBytesRef f;
        ASSERT_EQ(f.Open(Ref("full"), kFileWrite | kFileTruncate, 0, 0), 1);
        {
            SizeLimit limit(1000);
            if (!limit.ok_) GTEST_SKIP() << "no file size limit";
            for (int i = 0; i < 300; ++i)
                ASSERT_EQ(f.Write("0123", 4), 4u); // 1200 bytes wait in the buffer
            point(f);
            EXPECT_EQ(f.GetStreamState(), kStreamError);
            if (&point != &points[4]) {
                EXPECT_EQ(f.Tell(), 1000u);
            }
            f.Close();
        }
        EXPECT_EQ(Read("full").size(), 1000u);
    }
    // A typed stream learns of it when it closes.
    OBFileStreamWriteRef w(Ref("typed"), kFileWrite, 0, 0);
    {
        SizeLimit limit(1000);
        for (int i = 0; i < 1000; ++i)
            w.XferInt32(i);
        w.Close();
    }
    EXPECT_EQ(w.GetStreamState(), kStreamError);
    EXPECT_EQ(Read("typed").size(), 1000u);
}

} // namespace
