// Typed transfers (bytes, booleans, 16- and 32-bit integers, reals, seeks)
// from arbitrary bytes, in both byte orders. The input is read against a
// model of its bytes; what was read, written into a memory stream and read
// back (from a buffer and from the memory itself), writes the same bytes
// again.
#include "FuzzHost.h"

#include <ombra/geometry.h>
#include <ombra/typedstreams.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// One transfer: its kind (0 byte, 1 boolean, 2 int16, 3 int32, 4 real), a
// count of elements and, for seeks (kind 5), where to.
struct Op {
    int kind;
    int count;
    long long to;
};

const int kSize[] = {1, 2, 2, 4, 0};

// Reads or writes what ops say: an op of one element by the scalar call,
// more by the array call. Booleans always go by the array call, which keeps
// their values as they are (the scalar write makes them 0 or 1).
struct Transfer {
    std::vector<long long> ints;
    std::vector<double> reals;

    template <class T> void Array(OBStream* s, int kind, int count, bool reading, size_t& ni) {
        T buffer[16] = {};
        for (int k = 0; k < count && !reading; ++k)
            buffer[k] = static_cast<T>(ints[ni++]);
        if (kind == 0) s->XferByte(reinterpret_cast<unsigned char*>(buffer), count);
        if (kind == 1) s->XferBool(reinterpret_cast<short*>(buffer), count);
        if (kind == 2) s->XferInt16(reinterpret_cast<short*>(buffer), count);
        if (kind == 3) s->XferInt32(reinterpret_cast<int*>(buffer), count);
        for (int k = 0; k < count && reading; ++k)
            ints.push_back(buffer[k]);
    }
    void Scalar(OBStream* s, int kind, bool reading, size_t& ni) {
        long long v = reading ? 0 : ints[ni++];
        if (kind == 0) {
            unsigned char b = static_cast<unsigned char>(v);
            s->XferByte(b);
            v = b;
        } else if (kind == 2) {
            short h = static_cast<short>(v);
            s->XferInt16(h);
            v = h;
        } else {
            int i = static_cast<int>(v);
            s->XferInt32(i);
            v = i;
        }
        if (reading) ints.push_back(v);
    }
    void Reals(OBStream* s, int count, bool reading, size_t& nr) {
        OBReal buffer[16];
        for (int k = 0; k < count && !reading; ++k)
            buffer[k] = OBReal(reals[nr++]);
        if (count == 1)
            s->XferRealNumber(buffer[0]);
        else
            s->XferRealNumber(buffer, count);
        for (int k = 0; k < count && reading; ++k)
            reals.push_back(buffer[k].Value());
    }
    void Run(OBStream* s, const std::vector<Op>& ops, bool reading) {
        size_t ni = 0, nr = 0;
        for (const Op& op : ops) {
            if (op.kind == 5) {
                if (reading) s->Seek(op.to, kSeekFromStart);
            } else if (op.kind == 4) {
                Reals(s, op.count, reading, nr);
            } else if (op.count == 1 && op.kind != 1) {
                Scalar(s, op.kind, reading, ni);
            } else if (op.kind == 0) {
                Array<unsigned char>(s, op.kind, op.count, reading, ni);
            } else if (op.kind == 3) {
                Array<int>(s, op.kind, op.count, reading, ni);
            } else {
                Array<short>(s, op.kind, op.count, reading, ni);
            }
        }
    }
};

std::vector<unsigned char> Bytes(OBMemXferBytes* memory) {
    std::vector<unsigned char> out;
    memory->Seek(0, kSeekFromStart);
    unsigned char chunk[512];
    while (unsigned long long n = memory->Read(chunk, sizeof chunk))
        out.insert(out.end(), chunk, chunk + n);
    return out;
}

// Writes the values as ops say; the bytes written.
std::vector<unsigned char> Write(Transfer& values, const std::vector<Op>& ops, short swapping) {
    OBMemXferBytes memory;
    OBStream* out = OBStreamUtilRef::CreateMemoryStreamWrite(&memory);
    out->SetSwapping(swapping);
    values.Run(out, ops, false);
    delete out;
    return Bytes(&memory);
}

// The model of the first op: the value at `at` of size bytes.
long long Expected(const uint8_t* p, int size, bool swapping) {
    unsigned long long v = 0;
    for (int i = 0; i < size; ++i)
        v |= static_cast<unsigned long long>(p[swapping ? size - 1 - i : i]) << (8 * i);
    return size == 1   ? static_cast<long long>(v)
           : size == 2 ? static_cast<short>(v)
                       : static_cast<int>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    if (size < 2 || size > 4096) return 0;
    short swapping = data[0] & 1;
    size_t opBytes = (data[1] % 32) * 2;
    if (opBytes + 2 > size) opBytes = (size - 2) & ~size_t(1);
    std::vector<Op> ops;
    const uint8_t* input = data + 2 + opBytes;
    long long inputSize = static_cast<long long>(size - 2 - opBytes);
    for (size_t i = 0; i < opBytes; i += 2) {
        int kind = data[2 + i] % 6;
        ops.push_back({kind, data[3 + i] % 16, inputSize ? data[3 + i] % (inputSize + 1) : 0});
    }

    // Reading the input: the integers that fit are those the model gives.
    OBStream* in = OBStreamUtilRef::CreateBufferStreamRead(input, inputSize);
    in->SetSwapping(swapping);
    Transfer read;
    read.Run(in, ops, true);
    long long at = 0;
    size_t ni = 0;
    for (const Op& op : ops) {
        if (op.kind == 5) {
            at = op.to;
            continue;
        }
        if (op.kind == 4) break; // reals: only round trips
        for (int k = 0; k < op.count && at + kSize[op.kind] <= inputSize; ++k, at += kSize[op.kind])
            if (read.ints[ni++] != Expected(input + at, kSize[op.kind], swapping)) __builtin_trap();
        if (at + kSize[op.kind] * op.count > inputSize) break; // past the end: the model stops
    }
    long long tell = in->Tell();
    if (tell < 0 || tell > inputSize) __builtin_trap();
    delete in;

    // What was read writes, reads back and writes again as the same bytes.
    std::vector<Op> plain;
    for (const Op& op : ops)
        if (op.kind != 5) plain.push_back(op);
    std::vector<unsigned char> first = Write(read, plain, swapping);
    for (int from = 0; from < 2; ++from) {
        OBMemXferBytes memory;
        memory.Write(first.data(), first.size());
        memory.Seek(0, kSeekFromStart);
        OBStream* again = from
                              ? OBStreamUtilRef::CreateMemoryStreamRead(&memory)
                              : OBStreamUtilRef::CreateBufferStreamRead(first.data(), first.size());
        again->SetSwapping(swapping);
        Transfer back;
        back.Run(again, plain, true);
        delete again;
        if (back.ints != read.ints || Write(back, plain, swapping) != first) __builtin_trap();
    }
    return 0;
}
