// A regular file as a conversion's input, against the bytes in memory it
// stands for: the same results, positions and states for every sequence of
// reads and seeks, and a file that shrinks while read is an error.
#include "framework/PathInput.h"
#include "support/TempFolder.h"

#include <ombra/typedstreams.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

using obconvert::PathInput;
using ombra_test::TempFolder;

namespace {

std::string Bytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::mt19937 random(seed);
    for (char& c : s)
        c = static_cast<char>(random());
    return s;
}

// One random operation on both streams; their answers must agree.
void Step(std::mt19937& random, OBStream& file, OBStream& memory, long long size) {
    static const long long kCounts[] = {0, 1, 7, 4096, 65535, 65536, 65537, 200000};
    unsigned op = random() % 8;
    if (op < 4) {
        long long count = op == 3 ? size + 3 : kCounts[random() % 8];
        std::vector<unsigned char> a(static_cast<std::size_t>(count) + 1),
            b(static_cast<std::size_t>(count) + 1);
        ASSERT_EQ(file.XferByte(a.data(), count), memory.XferByte(b.data(), count));
        ASSERT_EQ(a, b);
    } else if (op < 7) {
        static const OBSeekFromWhere kFrom[] = {kSeekFromStart, kSeekFromCurrent, kSeekFromEnd};
        long long offset = static_cast<long long>(random() % (size + 70000)) - 35000;
        OBSeekFromWhere from = kFrom[random() % 3];
        ASSERT_EQ(file.Seek(offset, from), memory.Seek(offset, from));
    } else {
        unsigned char byte = 1;
        ASSERT_EQ(file.XferByte(&byte, 1), memory.XferByte(&byte, 1));
    }
    ASSERT_EQ(file.Tell(), memory.Tell());
    ASSERT_EQ(file.GetStreamState(), memory.GetStreamState());
}

} // namespace

TEST(PathInput, ReadsAndSeeksAsTheSameBytesInMemory) {
    TempFolder work;
    for (std::size_t size : {1u, 4095u, 65535u, 65536u, 65537u, 300001u}) {
        const std::string bytes = Bytes(size, static_cast<unsigned>(size));
        const std::string path = work.Write("in.bin", bytes);
        for (unsigned seed = 0; seed < 6; ++seed) {
            SCOPED_TRACE("size " + std::to_string(size) + ", seed " + std::to_string(seed));
            std::unique_ptr<PathInput> file(PathInput::Open(path.c_str(), 1));
            ASSERT_TRUE(file);
            OBBufferStreamRead memory(bytes.data(), bytes.size());
            std::mt19937 random(seed);
            for (int i = 0; i < 300 && !testing::Test::HasFatalFailure(); ++i)
                Step(random, *file, memory, static_cast<long long>(size));
            EXPECT_EQ(file->Error(), 0);
        }
    }
}

// What cannot be read as it goes is read whole by the caller instead.
TEST(PathInput, OnlyRegularFilesOfTheSizeAskedAreOpened) {
    TempFolder work;
    const std::string fifo = work / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {work.Path(), fifo, work / "missing", work.Write("empty", "")})
        EXPECT_EQ(std::unique_ptr<PathInput>(PathInput::Open(path.c_str(), 1)), nullptr) << path;
    const std::string small = work.Write("small", "a small file");
    EXPECT_EQ(std::unique_ptr<PathInput>(PathInput::Open(small.c_str())), nullptr);
    EXPECT_NE(std::unique_ptr<PathInput>(PathInput::Open(small.c_str(), 12)), nullptr);
    std::unique_ptr<PathInput> file(PathInput::Open(work.Write("one", "x").c_str(), 1));
    ASSERT_TRUE(file);
    unsigned char byte[2] = {};
    EXPECT_EQ(file->XferByte(byte, 2), 1);
    EXPECT_EQ(byte[0], 'x');
    EXPECT_EQ(file->GetStreamState(), kStreamEOF);
}

TEST(PathInput, AFileThatShrinksWhileReadEndsThereWithAnError) {
    TempFolder work;
    const std::string bytes = Bytes(200000, 7);
    const std::string path = work.Write("in.bin", bytes);
    std::unique_ptr<PathInput> file(PathInput::Open(path.c_str(), 1));
    ASSERT_TRUE(file);
    std::vector<unsigned char> out(bytes.size());
    ASSERT_EQ(file->XferByte(out.data(), 10), 10);
    std::filesystem::resize_file(path, 100000);
    long long got = 10, n;
    while ((n = file->XferByte(out.data() + got, 1000)) > 0)
        got += n;
    EXPECT_EQ(file->Error(), EIO);
    EXPECT_EQ(file->GetStreamState(), kStreamEOF);
    EXPECT_LE(got, 100000);
    EXPECT_EQ(std::string(out.begin(), out.begin() + got), bytes.substr(0, got));
    EXPECT_EQ(file->Seek(0, kSeekFromEnd), got) << "the input ends where the file failed";
}
