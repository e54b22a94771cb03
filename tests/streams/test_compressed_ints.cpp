// Compressed integer blocks: the exact bytes, block limits, both byte
// orders, round trips, and headers a writer never produces.
#include <ombra/typedstreams.h>

#include "streams/StreamTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using ombra_test::Bytes;
using ombra_test::Written;

template <typename Fill> Bytes Compressed(Fill fill, short swapping = 0) {
    OBMemStreamWrite stream;
    stream.SetSwapping(swapping);
    {
        OBCompressInt_Write writer(&stream);
        fill(writer);
    } // the last block goes out with the writer
    return Written(stream);
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
    Bytes bytes = Compressed([](OBCompressInt_Write& w) {
        for (int v : {1, 2, 300, 70000, -1})
            w.Write(v);
    });
    EXPECT_EQ(bytes, (Bytes{0x02, 0x40, 0x01, 0x02, 0x01, 0x80, 0x2C, 0x01, 0x02, 0x00, 0x70, 0x11,
                            0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ReadBack(bytes, 5), (std::vector<int>{1, 2, 300, 70000, -1}));

    // Swapped, headers and values are big-endian; bytes stay bytes.
    Bytes big = Compressed(
        [](OBCompressInt_Write& w) {
            for (int v : {1, 2, 300, 70000, -1})
                w.Write(v);
        },
        1);
    EXPECT_EQ(big, (Bytes{0x40, 0x02, 0x01, 0x02, 0x80, 0x01, 0x01, 0x2C, 0x00, 0x02, 0x00, 0x01,
                          0x11, 0x70, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ReadBack(big, 5, 1), (std::vector<int>{1, 2, 300, 70000, -1}));

    // The 16-bit overload: 0 to 255 in a byte each.
    Bytes shorts = Compressed([](OBCompressInt_Write& w) {
        for (short v : {0, 255, 256, -1})
            w.Write(v);
    });
    EXPECT_EQ(shorts, (Bytes{0x02, 0x40, 0x00, 0xFF, 0x02, 0x80, 0x00, 0x01, 0xFF, 0xFF}));

    Bytes forty = Compressed([](OBCompressInt_Write& w) { w.Write(40000); });
    EXPECT_EQ(forty, (Bytes{0x01, 0x00, 0x40, 0x9C, 0x00, 0x00}));
    EXPECT_EQ(ReadBack(forty, 1), (std::vector<int>{40000}));

    Bytes minusFive = Compressed([](OBCompressInt_Write& w) { w.Write(short(-5)); });
    EXPECT_EQ(minusFive, (Bytes{0x01, 0x80, 0xFB, 0xFF}));
    EXPECT_EQ(ReadBack(minusFive, 1), (std::vector<int>{-5}));

    Bytes small = Compressed([](OBCompressInt_Write& w) {
        w.Write(short(200));
        w.Write(static_cast<unsigned char>(255));
        w.Write(short(256));
    });
    EXPECT_EQ(small, (Bytes{0x02, 0x40, 200, 255, 0x01, 0x80, 0x00, 0x01}));

    EXPECT_TRUE(Compressed([](OBCompressInt_Write&) {}).empty()); // no values, no bytes
}

TEST(CompressedInts, FullBlocks) {
    Bytes bytes = Compressed([](OBCompressInt_Write& w) {
        for (int i = 0; i < 4097; ++i)
            w.Write(static_cast<unsigned char>(i));
    });
    ASSERT_EQ(bytes.size(), 2u + 4096u + 2u + 1u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x50);
    EXPECT_EQ(bytes[4098], 0x01);
    EXPECT_EQ(bytes[4099], 0x40);
    EXPECT_EQ(bytes[4100], 0x00); // 4096 & 0xFF

    // 16-bit blocks hold 2048 values, 32-bit blocks 1024.
    Bytes words = Compressed([](OBCompressInt_Write& w) {
        for (int i = 0; i < 2049; ++i)
            w.Write(1000);
    });
    ASSERT_EQ(words.size(), 2u + 4096u + 2u + 2u);
    EXPECT_EQ(words[0], 0x00);
    EXPECT_EQ(words[1], 0x88); // mode 2, count 2048
    EXPECT_EQ(words[4098], 0x01);
    EXPECT_EQ(words[4099], 0x80);
    Bytes longs = Compressed([](OBCompressInt_Write& w) {
        for (int i = 0; i < 1025; ++i)
            w.Write(-7);
    });
    ASSERT_EQ(longs.size(), 2u + 4096u + 2u + 4u);
    EXPECT_EQ(longs[0], 0x00);
    EXPECT_EQ(longs[1], 0x04); // mode 0, count 1024
    EXPECT_EQ(ReadBack(longs, 1025), std::vector<int>(1025, -7));
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
    for (short swapping : {0, 1}) {
        Bytes bytes = Compressed(
            [&](OBCompressInt_Write& w) {
                for (int v : values)
                    w.Write(v);
            },
            swapping);
        EXPECT_EQ(ReadBack(bytes, values.size(), swapping), values);
    }
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

TEST(CompressedInts, HeadersAWriterNeverProduces) {
    // An empty block is passed over.
    Bytes empty = {0x00, 0x40, 0x00, 0x00, 0x01, 0x40, 0x09};
    EXPECT_EQ(ReadBack(empty, 1), (std::vector<int>{9}));
    // Mode 3 carries nothing: it yields 0 and never ends.
    Bytes three = {0x05, 0xC0, 0x07};
    EXPECT_EQ(ReadBack(three, 3), (std::vector<int>{0, 0, 0}));
    // Truncated streams: the values that came, then zeros, never a hang.
    Bytes cut = {0x03, 0x40, 0x05};
    EXPECT_EQ(ReadBack(cut, 4), (std::vector<int>{5, 0, 0, 0}));
    Bytes half = {0x01};
    EXPECT_EQ(ReadBack(half, 2), (std::vector<int>{0, 0}));
    Bytes onlyEmpty = {0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(ReadBack(onlyEmpty, 2), (std::vector<int>{0, 0}));
    EXPECT_EQ(ReadBack(Bytes(), 3), (std::vector<int>{0, 0, 0}));

    OBCompressInt_Read none(nullptr);
    EXPECT_EQ(none.Read(), 0);
    OBCompressInt_Write nowhere(nullptr);
    nowhere.Write(5); // goes nowhere, harmlessly
}

} // namespace
