// Typed streams: the wire encoding in both byte orders, short reads, round
// trips through memory, buffer and file streams, geometry serialisation, the
// stream factory, and compressed integer blocks.
#include <ombra/geometry.h>
#include <ombra/typedstreams.h>

#include "streams/StreamTestSupport.h"
#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using ombra_test::Bytes;
using ombra_test::Written;

// One record serialised by one routine in both directions, the way callers
// write their ReadWrite members. The fields are laid out without padding, so
// records compare bit for bit.
struct Record {
    OBReal real = 0.0;
    OBReal reals[3] = {0.0, 0.0, 0.0};
    OBPoint point;
    OBRect rect;
    int i32 = 0;
    int i32s[3] = {};
    short flag = 0;
    short i16 = 0;
    short flags[3] = {};
    short i16s[4] = {};
    unsigned char byte = 0;
    unsigned char bytes[5] = {};

    void ReadWrite(OBStream* s) {
        s->XferByte(byte);
        s->XferBool(flag);
        s->XferInt16(i16);
        s->XferInt32(i32);
        s->XferRealNumber(real);
        EXPECT_EQ(s->XferByte(bytes, 5), 5);
        EXPECT_EQ(s->XferBool(flags, 3), 3);
        EXPECT_EQ(s->XferInt16(i16s, 4), 4);
        EXPECT_EQ(s->XferInt32(i32s, 3), 3);
        EXPECT_EQ(s->XferRealNumber(reals, 3), 3);
        point.ReadWrite(s);
        rect.ReadWrite(s);
    }

    // Arrays go out as they are (a flag of 7 too).
    static Record Sample() {
        using Limits = std::numeric_limits<double>;
        return {-2.5e-300,
                {1.0, Limits::max(), Limits::denorm_min()},
                OBPoint(3.25, -4.5),
                OBRect(OBPoint(1, 2), OBPoint(30, 40)),
                -123456789,
                {std::numeric_limits<int>::min(), 0x01020304, -1},
                1,
                -12345,
                {0, 0, 7},
                {0, -1, 32767, -32768},
                0xA5,
                {0, 1, 0x7F, 0x80, 0xFF}};
    }

    // On the wire: each value's bytes as memory holds them, in the order
    // ReadWrite sends them (a rectangle's bottom last), each value reversed
    // when swapping.
    Bytes Encoded(bool swapped) const {
        const struct {
            const void* at;
            std::size_t width, count;
        } fields[] = {{&byte, 1, 1},         {&flag, 2, 1},       {&i16, 2, 1},
                      {&i32, 4, 1},          {&real, 8, 1},       {bytes, 1, 5},
                      {flags, 2, 3},         {i16s, 2, 4},        {i32s, 4, 3},
                      {reals, 8, 3},         {&point.X(), 8, 1},  {&point.Y(), 8, 1},
                      {&rect.Left(), 8, 1},  {&rect.Top(), 8, 1}, {&rect.Right(), 8, 1},
                      {&rect.Bottom(), 8, 1}};
        Bytes out;
        for (const auto& f : fields)
            for (std::size_t k = 0; k < f.width * f.count; ++k)
                out.push_back(static_cast<const unsigned char*>(
                    f.at)[swapped ? k - k % f.width + f.width - 1 - k % f.width : k]);
        return out;
    }

    bool operator==(const Record& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};
static_assert(sizeof(Record) == 120, "no padding between the fields");

constexpr std::size_t kRecordBytes = 1 + 2 + 2 + 4 + 8 + 5 + 6 + 8 + 12 + 24 + 16 + 32;

class TypedStreams : public ombra_test::ScratchFolder {};

// Swapped writes reverse through a block from the memory service, or a
// smaller one on the stack without memory: every element at every offset,
// across the chunks, the same bytes either way, and they read back.
TEST_F(TypedStreams, SwappedArraysAcrossChunksWithOrWithoutMemory) {
    std::vector<int> longs(70000); // more than the largest block holds
    std::vector<short> words(9001);
    for (std::size_t i = 0; i < longs.size(); ++i)
        longs[i] = static_cast<int>(i * 2654435761u);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<short>(i * 257 - 3);
    const std::size_t split = longs.size() * 4;
    Bytes expected(split + words.size() * 2);
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = i < split ? reinterpret_cast<unsigned char*>(longs.data())[i ^ 3]
                                : reinterpret_cast<unsigned char*>(words.data())[(i - split) ^ 1];
    OBMemStreamWrite w;
    ASSERT_EQ(w.XferInt32(longs.data(), 1024), 1024); // the backing file exists from here
    w.SetSwapping(1);
    EXPECT_GT(ombra_test::SweepAllocationFailures([&] {
                  w.Seek(0, kSeekFromStart);
                  EXPECT_EQ(w.XferInt32(longs.data(), 70000), 70000);
                  EXPECT_EQ(w.XferInt16(words.data(), 9001), 9001);
                  EXPECT_TRUE(Written(w) == expected);
                  return true;
              }),
              0);
    OBBufferStreamRead r(expected.data(), expected.size());
    r.SetSwapping(1);
    std::vector<int> longsBack(longs.size());
    std::vector<short> wordsBack(words.size());
    EXPECT_EQ(r.XferInt32(longsBack.data(), 70000), 70000);
    EXPECT_EQ(r.XferInt16(wordsBack.data(), 9001), 9001);
    EXPECT_TRUE(longsBack == longs && wordsBack == words);

    // A write that cannot be stored reports what went out.
    Write("ro", "");
    OBFileStreamWriteRef readOnly(OBSysFileRef(Path("ro").c_str()), kFileRead, 0, 0);
    readOnly.SetSwapping(1);
    EXPECT_EQ(readOnly.XferInt32(longs.data(), 5001), 0);
    EXPECT_EQ(readOnly.GetStreamState(), kStreamError);
    OBReal reals[2] = {1.0, 2.0};
    EXPECT_EQ(readOnly.XferRealNumber(reals, 2), 0);
}

TEST_F(TypedStreams, BooleansAreNormalisedOnlyWhenWrittenSingly) {
    OBMemStreamWrite w;
    short five = 5;
    EXPECT_EQ(w.XferBool(five), 1);
    EXPECT_EQ(five, 1);
    short zero = 0;
    w.XferBool(zero);
    short many[2] = {5, -1};
    w.XferBool(many, 2);
    EXPECT_EQ(Written(w), (Bytes{1, 0, 0, 0, 5, 0, 0xFF, 0xFF}));
    OBMemStreamWrite swapped;
    swapped.SetSwapping(1);
    swapped.XferBool(five);
    EXPECT_EQ(Written(swapped), (Bytes{0, 1}));

    const unsigned char raw[] = {5, 0, 0, 9};
    OBBufferStreamRead r(raw, sizeof raw);
    short v = 0;
    EXPECT_EQ(r.XferBool(v), 5); // read as it is
    r.SetSwapping(1);
    EXPECT_EQ(r.XferBool(v), 9);
}

TEST_F(TypedStreams, ShortReads) {
    Bytes sixteen(16, 0);
    OBReal one = 1.0;
    std::memcpy(sixteen.data(), &one, 8);
    std::memcpy(sixteen.data() + 8, &one, 8);
    OBBufferStreamRead reals(sixteen.data(), sixteen.size());
    OBReal got[3] = {0.0, 0.0, 0.0};
    EXPECT_EQ(reals.XferRealNumber(got, 3), 2);
    EXPECT_EQ(reals.GetStreamState(), kStreamEOF);
    EXPECT_EQ(got[1], 1.0);

    const unsigned char five[] = {1, 0, 2, 0, 3};
    OBBufferStreamRead words(five, sizeof five);
    short w[4] = {};
    EXPECT_EQ(words.XferInt16(w, 4), 2);
    EXPECT_EQ(w[1], 2);
    // Swapped, every element of the buffer is reversed, read or not.
    OBBufferStreamRead swapped(five, sizeof five);
    swapped.SetSwapping(1);
    short u[4] = {0x1111, 0x2222, 0x3344, 0x5566};
    EXPECT_EQ(swapped.XferInt16(u, 4), 2);
    EXPECT_EQ(std::vector<short>(u, u + 4), (std::vector<short>{0x0100, 0x0200, 0x0333, 0x6655}));

    // A scalar that does not come leaves the variable as it was.
    OBBufferStreamRead empty(nullptr, 0);
    empty.SetSwapping(1);
    short s = 77;
    EXPECT_EQ(empty.XferInt16(s), 77);
    EXPECT_EQ(empty.GetStreamState(), kStreamEOF);
    EXPECT_EQ(empty.XferRealNumber(got, 2), 0);
}

// Any nonzero value swaps; writing leaves the values alone.
TEST_F(TypedStreams, RoundTripsInBothByteOrdersThroughMemory) {
    for (short swapping : {0, 7}) {
        OBMemXferBytes bytes;
        Record out = Record::Sample();
        OBStream* w = OBStreamUtilRef::CreateMemoryStreamWrite(&bytes);
        ASSERT_NE(w, nullptr);
        w->SetSwapping(swapping);
        EXPECT_EQ(w->IsWriting(), 1);
        EXPECT_EQ(w->XferInt16(out.i16s, 0), 0);
        EXPECT_EQ(w->XferRealNumber(out.reals, -1), 0);
        // Enough records to spill into the temporary file.
        for (int n = 0; n < 40; ++n)
            out.ReadWrite(w);
        EXPECT_EQ(w->GetStreamState(), kStreamOK);
        delete w;
        EXPECT_EQ(bytes.IsBacked(), 1);
        Bytes all = ombra_test::Contents(bytes), one = out.Encoded(swapping);
        ASSERT_EQ(all.size(), 40 * kRecordBytes);
        EXPECT_EQ(Bytes(all.end() - kRecordBytes, all.end()), one);

        bytes.Seek(0, kSeekFromStart); // a reader starts where the transfer stands
        OBStream* r = OBStreamUtilRef::CreateMemoryStreamRead(&bytes);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->IsReading(), 1);
        r->SetSwapping(swapping);
        for (int n = 0; n < 40; ++n) {
            Record in;
            in.ReadWrite(r);
            ASSERT_TRUE(in == out) << "record " << n << " swapping " << swapping;
        }
        EXPECT_EQ(r->GetStreamState(), kStreamOK);
        unsigned char extra;
        r->XferByte(extra);
        EXPECT_EQ(r->GetStreamState(), kStreamEOF);
        delete r;
    }
    EXPECT_TRUE(Entries(root).empty());
}

TEST_F(TypedStreams, RoundTripsThroughFiles) {
    OBSysFileRef file(Path("record.bin").c_str());
    Record out = Record::Sample();
    {
        OBFileStreamWriteRef w(file, kFileWrite | kFileTruncate, 0, 0);
        ASSERT_EQ(w.GetStreamState(), kStreamOK);
        w.SetSwapping(1);
        out.ReadWrite(&w);
    }
    std::string written = Read("record.bin");
    EXPECT_EQ(Bytes(written.begin(), written.end()), out.Encoded(true));
    OBFileStreamReadRef r(file, kFileRead, 0, 0);
    r.SetSwapping(1);
    Record in;
    in.ReadWrite(&r);
    EXPECT_TRUE(in == out);
    EXPECT_EQ(r.Seek(-32, kSeekFromEnd), static_cast<long long>(kRecordBytes - 32));
    OBRect rect;
    rect.ReadWrite(&r);
    EXPECT_EQ(rect, out.rect);
    rect.ReadWrite(nullptr); // nothing

    // The opening constructor reports a failure through the state only.
    OBFileStreamReadRef missing(OBSysFileRef(Path("missing").c_str()), kFileRead, 0, 0);
    EXPECT_EQ(missing.GetStreamState(), kStreamClosed);
    // Copies name the file but are not open.
    OBFileStreamReadRef copy(r);
    EXPECT_EQ(copy.GetSystemFile(), file);
    EXPECT_EQ(copy.GetStreamState(), kStreamError);
}

TEST_F(TypedStreams, BufferStreamReadsLargeTextsWithoutTemporaryFiles) {
    std::string text(1 << 20, 'x');
    for (std::size_t i = 0; i < text.size(); i += 4099)
        text[i] = 'y';
    OBStream* s = OBStreamUtilRef::CreateBufferStreamRead(text.data(), text.size());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Seek(0, kSeekFromEnd), static_cast<long long>(text.size()));
    s->Seek(0, kSeekFromStart);
    std::string back(text.size(), 0);
    EXPECT_EQ(s->XferByte(reinterpret_cast<unsigned char*>(&back[0]),
                          static_cast<long long>(back.size())),
              static_cast<long long>(text.size()));
    EXPECT_EQ(back, text);
    EXPECT_TRUE(Entries(root).empty());
    // Read-only: writes store nothing.
    EXPECT_EQ(s->GetXferBytes()->Write("z", 1), 0u);
    EXPECT_EQ(s->GetStreamState(), kStreamError);
    EXPECT_EQ(text[0], 'y');
    delete s;

    // Ownership of a buffer from the memory service passes to the stream.
    long long released = ombra_test::Stats().releases;
    void* owned = OBLibAllocate(64);
    ASSERT_NE(owned, nullptr);
    s = OBStreamUtilRef::CreateBufferStreamRead(owned, 64, 1);
    ASSERT_NE(s, nullptr);
    delete s;
    EXPECT_EQ(ombra_test::Stats().releases - released, 2); // the stream and the buffer

    // It passes even when the stream cannot be made (else the sanitizer
    // build finds the buffer leaked).
    ombra_test::SweepAllocationFailures([] {
        void* buffer = OBLibAllocate(64);
        if (!buffer) return false;
        OBStream* stream = OBStreamUtilRef::CreateBufferStreamRead(buffer, 64, 1);
        bool made = stream != nullptr;
        delete stream;
        return made;
    });
}

TEST_F(TypedStreams, FactoryNeverReturnsAHalfOpenedStream) {
    OBSysFileRef missing(Path("missing").c_str());
    EXPECT_EQ(OBStreamUtilRef::CreateFileStreamRead(missing, kFileRead, 0, 0), nullptr);
    EXPECT_EQ(OBStreamUtilRef::CreateFileStreamWrite(OBSysFileRef(Path("no/dir").c_str()),
                                                     kFileWrite, 0, 0),
              nullptr);
    OBStream* w = OBStreamUtilRef::CreateFileStreamWriteFromPath(OBSysFileRef(Path("out").c_str()),
                                                                 kFileWrite | kFileTruncate, 0, 0);
    ASSERT_NE(w, nullptr);
    int value = 0x64636261;
    w->XferInt32(value);
    delete w; // closes
    EXPECT_EQ(Read("out"), "abcd");

    ombra_test::SweepAllocationFailures([&] {
        OBStream* s = OBStreamUtilRef::CreateFileStreamRead(OBSysFileRef(Path("out").c_str()),
                                                            kFileRead, 0, 0);
        bool made = s != nullptr;
        if (s) {
            EXPECT_EQ(s->GetStreamState(), kStreamOK);
            int value = 0;
            s->XferInt32(value);
            EXPECT_EQ(value, 0x64636261);
        }
        delete s;
        OBStream* m = OBStreamUtilRef::CreateMemoryStreamWrite(nullptr);
        made = made && m;
        delete m;
        return made;
    });
}

TEST_F(TypedStreams, StreamsWithoutTransferMoveNothing) {
    COBStreamRead r;
    COBStreamWrite w;
    EXPECT_EQ(r.GetStreamType(), kStreamTypeRead);
    EXPECT_EQ(w.GetStreamType(), kStreamTypeWrite);
    int v = 3;
    EXPECT_EQ(r.XferInt32(v), 3);
    EXPECT_EQ(w.XferInt32(v), 3);
    short a[2] = {1, 2};
    EXPECT_EQ(r.XferInt16(a, 2), 0);
    EXPECT_EQ(w.XferInt16(a, 2), 0);
    EXPECT_EQ(r.GetStreamState(), kStreamError);
    EXPECT_EQ(w.Tell(), 0);
    EXPECT_EQ(r.GetXferBytes(), nullptr);

    // Limits are accepted and ignored.
    long long first = 1, second = 2;
    w.SetStreamLimits(5, 6);
    w.GetStreamLimits(first, second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
}

// The stream tests cover the other widths.
TEST(ByteSwapReverse, WordsInPlace) {
    unsigned short words[3] = {0x0102, 0x0304, 0x0506};
    ByteSwapReverse::SwapWordsInPlace(words, 2);
    EXPECT_TRUE(words[0] == 0x0201 && words[1] == 0x0403 && words[2] == 0x0506);
    ByteSwapReverse::SwapWordsInPlace(nullptr, 3);
}

template <typename Fill> Bytes Compressed(Fill fill, short swapping = 0) {
    OBMemStreamWrite stream;
    stream.SetSwapping(swapping);
    {
        OBCompressInt_Write writer(&stream);
        fill(writer);
    } // the last block goes out with the writer
    return Written(stream);
}

Bytes CompressedInts(const std::vector<int>& values, short swapping = 0) {
    return Compressed(
        [&](OBCompressInt_Write& w) {
            for (int v : values)
                w.Write(v);
        },
        swapping);
}

std::vector<int> ReadBack(const Bytes& bytes, std::size_t n, short swapping = 0) {
    OBBufferStreamRead stream(bytes.data(), bytes.size());
    stream.SetSwapping(swapping);
    OBCompressInt_Read reader(&stream);
    std::vector<int> values;
    for (std::size_t i = 0; i < n; ++i)
        values.push_back(reader.Read());
    return values;
}

TEST(CompressedInts, BlocksOfTheNarrowestWidth) {
    for (const auto& row : ombra_test::ReadTable("streams/compressed_ints.tsv", "blocks")) {
        short swapping = static_cast<short>(std::stoi(row[0]));
        std::istringstream writes(row[1]), hex(row[2]);
        std::vector<int> values;
        // "x*n" is x n times.
        auto times = [](const std::string& token, std::size_t star) {
            return star == std::string::npos ? 1 : std::stoi(token.substr(star + 1));
        };
        Bytes bytes = Compressed(
            [&](OBCompressInt_Write& w) {
                for (std::string v; writes >> v;)
                    for (int k = times(v, v.find('*')); k > 0; --k) {
                        values.push_back(std::stoi(v.substr(1, v.find('*') - 1)));
                        if (v[0] == 'i') w.Write(values.back());
                        if (v[0] == 's') w.Write(static_cast<short>(values.back()));
                        if (v[0] == 'b') w.Write(static_cast<unsigned char>(values.back()));
                    }
            },
            swapping);
        Bytes expected;
        for (std::string b; hex >> b;)
            for (int k = times(b, b.find('*')); k > 0; --k)
                for (std::size_t j = 0; j + 1 < std::min(b.find('*'), b.size()); j += 2)
                    expected.push_back(
                        static_cast<unsigned char>(std::stoul(b.substr(j, 2), nullptr, 16)));
        EXPECT_EQ(bytes, expected) << row[1];
        EXPECT_EQ(ReadBack(bytes, values.size(), swapping), values) << row[1];
    }
}

TEST(CompressedInts, RoundTripsInBothByteOrders) {
    std::mt19937 random(1234);
    std::vector<int> values;
    for (int i = 0; i < 20000; ++i) {
        switch (random() % 4) {
        case 0:
            values.push_back(static_cast<int>(random() % 256));
            break;
        case 1:
            values.push_back(static_cast<int>(random() % 32768));
            break;
        case 2:
            values.push_back(static_cast<int>(random()));
            break;
        default:
            values.push_back(-static_cast<int>(random() % 100000));
            break;
        }
        // Long runs of one width fill whole blocks.
        if (i % 5000 == 0) values.insert(values.end(), 5000, 7);
    }
    for (short swapping : {0, 1})
        EXPECT_EQ(ReadBack(CompressedInts(values, swapping), values.size(), swapping), values);
}

TEST(CompressedInts, CopiedWritersKeepTheirOwnValues) {
    OBMemStreamWrite stream;
    {
        OBCompressInt_Write a(&stream);
        a.Write(1);
        OBCompressInt_Write b(a); // holds the waiting 1 as well
        b.Write(2);
        OBCompressInt_Write c(&stream);
        c.Write(300);
        c = a; // c's waiting 300 goes out first
    }
    // c (300), then destruction in reverse order: c (1), b (1, 2), a (1).
    EXPECT_EQ(Written(stream), (Bytes{0x01, 0x80, 0x2C, 0x01, 0x01, 0x40, 0x01, 0x02, 0x40, 0x01,
                                      0x02, 0x01, 0x40, 0x01}));
}

// An empty block is passed over; mode 3 carries nothing, so it yields 0 and
// never ends; truncated streams give the values that came, then zeros, and
// never hang.
TEST(CompressedInts, HeadersAWriterNeverProduces) {
    const std::pair<Bytes, std::vector<int>> cases[] = {
        {{0x00, 0x40, 0x00, 0x00, 0x01, 0x40, 0x09}, {9}},
        {{0x05, 0xC0, 0x07}, {0, 0, 0}},
        {{0x03, 0x40, 0x05}, {5, 0, 0, 0}},
        {{0x01}, {0, 0}},
        {{0x00, 0x00, 0x00, 0x80}, {0, 0}},
        {{}, {0, 0, 0}}};
    for (const auto& c : cases)
        EXPECT_EQ(ReadBack(c.first, c.second.size()), c.second);
    // A count beyond one block's room (5000 bytes) comes in parts, and the
    // block after it is read from where the parts end.
    Bytes long_block = {0x88, 0x53};
    std::vector<int> expected;
    for (int i = 0; i < 5000; ++i) {
        long_block.push_back(static_cast<unsigned char>(i % 251));
        expected.push_back(i % 251);
    }
    long_block.insert(long_block.end(), {0x01, 0x40, 0x2A});
    expected.push_back(42);
    EXPECT_EQ(ReadBack(long_block, expected.size()), expected);
    OBCompressInt_Read none(nullptr);
    EXPECT_EQ(none.Read(), 0);
    OBCompressInt_Write nowhere(nullptr);
    nowhere.Write(5); // goes nowhere, harmlessly
}

} // namespace
