// A libFuzzer mutator for compressed inputs, so that fuzzing reaches what
// lies behind the compression: a gzip stream (a compressed Scribus file) is
// inflated, its content mutated and deflated again; in a zip archive (an
// IDML package) one member is. One mutation in four changes the compressed
// bytes themselves, headers and all, and anything else is mutated as it is.
// Include it in one source file of a target; it does nothing outside a
// libFuzzer build.
#ifndef OMBRA_FUZZ_COMPRESSEDMUTATOR_H
#define OMBRA_FUZZ_COMPRESSEDMUTATOR_H

#ifdef OMBRA_LIBFUZZER

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace ombra_fuzz_mutator {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxInflated = 4u << 20;

// windowBits as zlib takes them: 16 + 15 gzip, -15 raw deflate.
bool Inflate(const uint8_t* data, size_t size, int windowBits, Bytes& out) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    uint8_t chunk[16384];
    while (status == Z_OK && out.size() < kMaxInflated) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
        if (status == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

bool Deflate(const Bytes& in, int windowBits, Bytes& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&z, in.size()) + 32);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return status == Z_STREAM_END;
}

// Mutates content in place, with room to grow by half.
void MutateContent(Bytes& content) {
    size_t size = content.size();
    content.resize(size + size / 2 + 64);
    content.resize(LLVMFuzzerMutate(content.data(), size, content.size()));
}

unsigned Get16(const uint8_t* p) {
    return p[0] | p[1] << 8;
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16;
}
void Put16(Bytes& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8 & 0xFF);
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct Member {
    std::string name;
    Bytes content;
    bool deflate;
};

// The members of a zip archive, by its central directory; false when it is not one.
bool ReadZip(const uint8_t* data, size_t size, std::vector<Member>& members) {
    if (size < 22) return false;
    size_t end = size - 22;
    while (end > 0 && Get32(data + end) != 0x06054b50)
        --end;
    if (Get32(data + end) != 0x06054b50) return false;
    unsigned count = Get16(data + end + 10);
    size_t at = Get32(data + end + 16);
    for (unsigned i = 0; i < count; ++i) {
        if (at + 46 > size || Get32(data + at) != 0x02014b50) return false;
        unsigned method = Get16(data + at + 10);
        size_t packed = Get32(data + at + 20), nameLength = Get16(data + at + 28);
        size_t local = Get32(data + at + 42);
        if (at + 46 + nameLength > size || local + 30 > size) return false;
        Member m{std::string(reinterpret_cast<const char*>(data + at + 46), nameLength),
                 {},
                 method == 8};
        at += 46 + nameLength + Get16(data + at + 30) + Get16(data + at + 32);
        size_t start = local + 30 + Get16(data + local + 26) + Get16(data + local + 28);
        if (start > size || packed > size - start) return false;
        if (method == 0)
            m.content.assign(data + start, data + start + packed);
        else if (method != 8 || !Inflate(data + start, packed, -15, m.content))
            return false;
        members.push_back(std::move(m));
    }
    return !members.empty();
}

// An archive of the members, each stored or deflated as it was.
Bytes WriteZip(const std::vector<Member>& members) {
    Bytes out, directory;
    for (const Member& m : members) {
        Bytes packed;
        bool deflated = m.deflate && Deflate(m.content, -15, packed);
        const Bytes& body = deflated ? packed : m.content;
        uint32_t crc =
            static_cast<uint32_t>(crc32(0, m.content.data(), static_cast<uInt>(m.content.size())));
        uint32_t offset = static_cast<uint32_t>(out.size());
        for (Bytes* header : {&out, &directory}) {
            bool central = header == &directory;
            Put32(*header, central ? 0x02014b50 : 0x04034b50);
            if (central) Put16(*header, 20);
            Put16(*header, 20);
            Put16(*header, 0);
            Put16(*header, deflated ? 8 : 0);
            Put32(*header, 0);
            Put32(*header, crc);
            Put32(*header, static_cast<uint32_t>(body.size()));
            Put32(*header, static_cast<uint32_t>(m.content.size()));
            Put16(*header, static_cast<unsigned>(m.name.size()));
            Put16(*header, 0);
            if (central) {
                for (int k = 0; k < 4; ++k)
                    Put16(*header, 0);
                Put32(*header, 0);
                Put32(*header, offset);
            }
            header->insert(header->end(), m.name.begin(), m.name.end());
        }
        out.insert(out.end(), body.begin(), body.end());
    }
    uint32_t directoryAt = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    Put32(out, 0x06054b50);
    Put32(out, 0);
    Put16(out, static_cast<unsigned>(members.size()));
    Put16(out, static_cast<unsigned>(members.size()));
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, directoryAt);
    Put16(out, 0);
    return out;
}

// The mutated input, or false when the input is neither gzip nor zip.
bool MutateInside(const uint8_t* data, size_t size, std::minstd_rand& random, Bytes& out) {
    if (size >= 2 && data[0] == 0x1F && data[1] == 0x8B) {
        Bytes content;
        Inflate(data, size, 16 + 15, content); // what a damaged stream still gives
        MutateContent(content);
        return Deflate(content, 16 + 15, out);
    }
    std::vector<Member> members;
    if (size < 4 || Get32(data) != 0x04034b50 || !ReadZip(data, size, members)) return false;
    Member& chosen = members[random() % members.size()];
    MutateContent(chosen.content);
    if (random() % 8 == 0) chosen.deflate = !chosen.deflate;
    out = WriteZip(members);
    return true;
}

} // namespace ombra_fuzz_mutator

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    std::minstd_rand random(seed);
    ombra_fuzz_mutator::Bytes out;
    if (random() % 4 != 0 && ombra_fuzz_mutator::MutateInside(data, size, random, out) &&
        out.size() <= maxSize) {
        std::memcpy(data, out.data(), out.size());
        return out.size();
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

#endif
#endif
