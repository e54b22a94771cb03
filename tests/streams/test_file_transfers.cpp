// File and memory transfers against a model of their content, failing and
// refused writes, copies, pipes, and buffering: what the file holds at each
// buffering point and where a file that refuses bytes says so.
#include <ombra/streams.h>
#include <ombra/typedstreams.h>

#include "streams/StreamTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A block as large as callers usually batch.
constexpr unsigned long long kBlock = 65536;

class FileTransfers : public ombra_test::ScratchFolder {
public: // for the tables' lambdas
    using ScratchFolder::Read;
    OBSysFileRef Ref(const std::string& name) const { return OBSysFileRef(Path(name).c_str()); }
};

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

// A length that is mostly one value's worth, sometimes a few pages and now
// and then more than a block.
std::size_t RandomLength(std::mt19937& rng) {
    unsigned pick = rng() % 100;
    if (pick < 70) return 1 + rng() % 16;
    if (pick < 95) return 1 + rng() % 9000;
    return kBlock - 100 + rng() % 80000;
}

// Runs random operations on f, which holds `model` already, and checks every
// result against the model: a string of the content and a position that may
// lie past its end. A file (path given) refuses a seek before its start and
// may seek past its end; a memory transfer that has not spilled into its
// file seeks to its end instead, and a spill starts the file's state afresh.
void RunAgainstModel(OBXferBytes& f, const std::string& path, std::string model, unsigned seed,
                     int operations) {
    std::mt19937 rng(seed);
    auto* memory = dynamic_cast<OBMemXferBytes*>(&f);
    long long pos = static_cast<long long>(memory ? model.size() : 0);
    OBStreamState state = kStreamOK;
    for (int op = 0; op < operations; ++op) {
        SCOPED_TRACE("operation " + std::to_string(op) + " at " + std::to_string(pos));
        long long size = static_cast<long long>(model.size());
        bool inMemory = memory && !memory->IsBacked();
        unsigned kind = rng() % 100;
        if (kind < 35) { // write
            std::string data = RandomBytes(rng, RandomLength(rng));
            ASSERT_EQ(f.Write(data.data(), data.size()), data.size());
            if (pos > size) model.resize(static_cast<std::size_t>(pos), '\0');
            model.replace(static_cast<std::size_t>(pos),
                          std::min(data.size(), model.size() - static_cast<std::size_t>(pos)),
                          data);
            pos += static_cast<long long>(data.size());
            if (inMemory && memory->IsBacked()) state = kStreamOK;
        } else if (kind < 70) { // read
            std::size_t n = RandomLength(rng);
            std::string got(n, '\0');
            std::size_t expected =
                pos >= size ? 0 : std::min<std::size_t>(n, static_cast<std::size_t>(size - pos));
            ASSERT_EQ(f.Read(&got[0], n), expected);
            ASSERT_TRUE(expected == 0 || got.compare(0, expected, model,
                                                     static_cast<std::size_t>(pos), expected) == 0);
            pos += static_cast<long long>(expected);
            if (expected < n) state = kStreamEOF;
        } else if (kind < 92) { // seek, past the end and before the start too
            OBSeekFromWhere from =
                kind < 80 ? kSeekFromStart : (kind < 88 ? kSeekFromCurrent : kSeekFromEnd);
            long long offset = static_cast<long long>(rng() % (size + 3000)) - 1000;
            if (from == kSeekFromCurrent) offset -= pos / 2;
            if (from == kSeekFromEnd) offset -= size / 2;
            long long base = from == kSeekFromStart ? 0 : (from == kSeekFromCurrent ? pos : size);
            long long target = base + offset;
            if (inMemory && (target < 0 || target > size))
                pos = size;
            else if (target >= 0)
                pos = target; // else refused
            if (state == kStreamEOF) state = kStreamOK;
            ASSERT_EQ(f.Seek(offset, from), static_cast<unsigned long long>(pos));
        } else if (kind < 97) { // truncation, which also extends with zero bytes
            f.SetEndOfStream();
            model.resize(static_cast<std::size_t>(pos), '\0');
        } else if (!path.empty()) { // what other openers see after a flush
            f.Flush();
            std::ifstream in(path, std::ios::binary);
            ASSERT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == model);
        }
        ASSERT_EQ(f.Tell(), static_cast<unsigned long long>(pos));
        ASSERT_EQ(f.GetStreamState(), state);
    }
    if (memory) {
        ombra_test::Bytes all = ombra_test::Contents(f);
        EXPECT_TRUE(std::string(all.begin(), all.end()) == model);
        return;
    }
    static_cast<OBFileXferBytesRef&>(f).Close();
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == model);
}

TEST_F(FileTransfers, RandomReadsWritesAndSeeksMatchTheModel) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed * 7919);
        std::string initial = RandomBytes(rng, 100000 + seed * 1000);
        std::string name = "model" + std::to_string(seed);
        Write(name, initial);
        OBFileXferBytesRef f;
        ASSERT_EQ(f.Open(Ref(name), kFileRead | kFileWrite, 0, 0), 1);
        RunAgainstModel(f, Path(name), initial, seed, 1500);
    }
}

// In memory, across the spill into the temporary file and after it, from
// a few bytes on.
TEST_F(FileTransfers, MemoryTransfersMatchTheModelAcrossTheirSpill) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::string initial = RandomBytes(rng, seed * 150);
        OBMemXferBytes mem;
        ASSERT_EQ(mem.Write(initial.data(), initial.size()), initial.size());
        RunAgainstModel(mem, "", initial, seed, 60 + 40 * seed);
    }
    EXPECT_TRUE(Entries(root).empty()) << "the spill files are left behind";
}

TEST_F(FileTransfers, AFailingWriteShowsAsAnErrorState) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    OBSysFileRef full("/dev/full");
    OBFileXferBytesRef f;
    ASSERT_EQ(f.Open(full, kFileWrite, 0, 0), 1);
    EXPECT_EQ(f.Write("0123456789", 10), 0u); // every write goes to the device
    EXPECT_EQ(f.GetStreamState(), kStreamError);

    // A typed stream learns of it at its first value.
    OBFileStreamWriteRef w(full, kFileWrite, 0, 0);
    int value = 7;
    w.XferInt32(value);
    EXPECT_EQ(w.GetStreamState(), kStreamError);
    ASSERT_EQ(f.Open(full, kFileWrite, 0, 0), 1); // a new open starts afresh
    EXPECT_EQ(f.GetStreamState(), kStreamOK);
}

TEST_F(FileTransfers, WritesToAFileOpenedForReadingAreRefusedAtOnce) {
    Write("ro", "keep");
    OBFileXferBytesRef f;
    ASSERT_EQ(f.Open(Ref("ro"), kFileRead, 0, 0), 1);
    EXPECT_EQ(f.Write("lost", 4), 0u);
    EXPECT_EQ(f.GetStreamState(), kStreamError);
    char buf[4];
    EXPECT_EQ(f.Read(buf, 4), 4u); // reading still works
    EXPECT_EQ(std::string(buf, 4), "keep");
    f.Close();
    EXPECT_EQ(Read("ro"), "keep");

    // And reads from a file opened for writing only find nothing.
    ASSERT_EQ(f.Open(Ref("wo"), kFileWrite, 0, 0), 1);
    f.Write("data", 4);
    f.Seek(0, kSeekFromStart);
    EXPECT_EQ(f.Read(buf, 4), 0u);
    EXPECT_EQ(f.GetStreamState(), kStreamEOF);
    f.Close();
    EXPECT_EQ(Read("wo"), "data");
}

// A copy names the file but holds none open; an assignment, a new open and
// the destructor close what the target held, keeping what was written.
TEST_F(FileTransfers, CopiesHoldNoFileAndClosingKeepsWhatWasWritten) {
    Write("a", "abc");
    OBFileXferBytesRef a, b;
    ASSERT_EQ(a.Open(Ref("a"), kFileRead | kFileWrite, 0, 0), 1);
    ASSERT_EQ(b.Open(Ref("b"), kFileWrite, 0, 0), 1);
    b.Write("second", 6);
    OBFileXferBytesRef copy(a);
    EXPECT_EQ(copy.GetStreamState(), kStreamError);
    unsigned char buf[3];
    EXPECT_EQ(copy.Read(buf, 3), 0u);
    EXPECT_EQ(copy.Write("x", 1), 0u);
    ASSERT_EQ(copy.Open(copy.GetSystemFile(), kFileRead, 0, 0), 1); // the same file
    EXPECT_EQ(copy.Read(buf, 3), 3u);
    copy = a;
    EXPECT_EQ(copy.GetStreamState(), kStreamError);
    EXPECT_EQ(a.Read(buf, 3), 3u);                              // the source is untouched
    EXPECT_EQ(a.Seek(-1, static_cast<OBSeekFromWhere>(3)), 2u); // other origins: from here
    a.Write("first", 5);
    b = a; // b closes
    EXPECT_EQ(Read("b"), "second");
    ASSERT_EQ(a.Open(Ref("c"), kFileWrite, 0, 0), 1); // closes a first
    EXPECT_EQ(Read("a"), "abfirst");
    a.Write("third", 5);
    a.Close();
    a.Close(); // harmless
    EXPECT_EQ(Read("c"), "third");
    {
        OBFileXferBytesRef scoped;
        ASSERT_EQ(scoped.Open(Ref("d"), kFileWrite, 0, 0), 1);
        scoped.Write("fourth", 6);
    }
    EXPECT_EQ(Read("d"), "fourth"); // the destructor closes
    OBFileXferBytesRef never;
    never.Close();
    EXPECT_EQ(never.GetStreamState(), kStreamClosed);
}

// A pipe cannot seek; it is read as it comes.
TEST_F(FileTransfers, PipesAreRead) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    std::thread writer([this] { Write("pipe", "through a pipe"); });
    OBFileXferBytesRef f;
    ASSERT_EQ(f.Open(Ref("pipe"), kFileRead, 0, 0), 1);
    std::string got(32, '\0');
    EXPECT_EQ(f.Read(&got[0], 32), 14u);
    EXPECT_EQ(got.substr(0, 14), "through a pipe");
    f.Close();
    writer.join();
}

using FileBuffering = FileTransfers;

const std::string kText = "abcdefghijklmnopqrstuvwxyz0123456789";

// Small writes that a buffer holds back, then one buffering point, which
// returns what another handle then finds.
TEST_F(FileBuffering, EveryBufferingPointPutsTheBytesInTheFile) {
    using Point = std::function<std::string(FileBuffering&, OBFileXferBytesRef&)>;
    const std::pair<Point, std::string> points[] = {
        {[](auto& t, auto& f) { return f.Flush(), t.Read("f"); }, kText},
        {[](auto& t, auto& f) { return f.Close(), t.Read("f"); }, kText},
        {[](auto& t, auto& f) { return f.Seek(0, kSeekFromStart) == 0 ? t.Read("f") : ""; }, kText},
        {[](auto& t, auto& f) { // the size
             return f.Seek(0, kSeekFromEnd) == 36 ? t.Read("f") : "";
         },
         kText},
        {[](auto& t, auto& f) {
             f.Seek(-6, kSeekFromCurrent);
             return f.SetEndOfStream(), t.Read("f");
         },
         kText.substr(0, 30)},
        {[](auto& t, auto& f) {
             OBFileXferBytesRef copy(f); // copying the transfer
             return t.Read("f");
         },
         kText},
        {[](auto& t, auto&) {
             return WOBFileUtility(t.Ref("f")).GetFileSize() == 36 ? t.Read("f") : "";
         },
         kText},
        {[](auto& t, auto&) {
             return WOBFileUtility(t.Ref("f")).OBCopyFile(t.Ref("copy")) ? t.Read("copy") : "";
         },
         kText},
        {[](auto& t, auto& f) { // a second transfer of the file
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
