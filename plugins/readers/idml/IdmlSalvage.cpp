// The walk over local headers that IdmlSalvage.h describes, and raw inflation.
#include "IdmlSalvage.h"
#include "ReaderCrc.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace idml {
namespace salvage {

using obreader::Le16;
using obreader::Le32;

Inflated Inflate(const unsigned char* in, std::uint64_t available, std::uint64_t cap,
                 std::string* out, Inflation& got) {
    got = {};
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return Inflated::kOutOfMemory;
    unsigned char chunk[65536];
    std::uint64_t fed = 0;
    Inflated result = Inflated::kDamaged;
    try {
        for (;;) {
            if (z.avail_in == 0 && fed < available) {
                z.next_in = const_cast<Bytef*>(in + fed);
                z.avail_in = static_cast<uInt>(std::min<std::uint64_t>(available - fed, 1u << 30));
                fed += z.avail_in;
            }
            z.next_out = chunk;
            z.avail_out = sizeof chunk;
            const std::uint64_t before = fed - z.avail_in;
            const int rc = inflate(&z, Z_NO_FLUSH);
            const std::size_t n = sizeof chunk - z.avail_out;
            got.consumed = fed - z.avail_in;
            if (got.produced + n > cap) {
                result = Inflated::kTooLarge;
                break;
            }
            got.crc = obreader::Crc32(got.crc, chunk, n);
            if (out) out->append(reinterpret_cast<const char*>(chunk), n);
            got.produced += n;
            if (rc == Z_STREAM_END) {
                result = Inflated::kEnd;
                break;
            }
            if (rc == Z_MEM_ERROR) result = Inflated::kOutOfMemory;
            // A stream that needs more than there is, or makes no progress, is cut.
            if ((rc != Z_OK && rc != Z_BUF_ERROR) || (n == 0 && got.consumed == before)) break;
        }
    } catch (const std::bad_alloc&) {
        result = Inflated::kOutOfMemory;
    }
    inflateEnd(&z);
    return result;
}

namespace {

constexpr std::uint32_t kUnknown = 0xFFFFFFFFu;

// A local header's fields.
struct Header {
    unsigned flags = 0, method = 0;
    std::uint32_t crc = 0;
    std::uint64_t packed = 0, size = 0;
    std::uint64_t nameAt = 0, nameLength = 0, data = 0;
    bool Described() const { return (flags & 8) != 0; } ///< sizes and CRC follow the data
};

enum class Step { kPart, kDirectory, kCut, kStop };

// ZIP64 sizes from the extra field, when the header says they are there.
void Zip64Sizes(const unsigned char* extra, std::uint64_t length, Header& h) {
    for (std::uint64_t at = 0; at + 4 <= length;) {
        const unsigned id = Le16(extra + at), n = Le16(extra + at + 2);
        if (at + 4 + n > length) return;
        if (id == 1 && n >= 16) {
            auto le64 = [](const unsigned char* p) {
                return Le32(p) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
            };
            h.size = le64(extra + at + 4);
            h.packed = le64(extra + at + 12);
            return;
        }
        at += 4 + n;
    }
}

// The header at `at`, or why there is none.
Step ReadHeader(const unsigned char* m, std::uint64_t n, std::uint64_t at, Header& h) {
    if (n - at < 4) return Step::kCut;
    if (std::memcmp(m + at, "PK\1\2", 4) == 0 || std::memcmp(m + at, "PK\5\6", 4) == 0 ||
        std::memcmp(m + at, "PK\6\6", 4) == 0)
        return Step::kDirectory;
    if (std::memcmp(m + at, "PK\3\4", 4) != 0) return Step::kStop;
    if (n - at < 30) return Step::kCut;
    const unsigned char* p = m + at;
    h.flags = Le16(p + 6);
    h.method = Le16(p + 8);
    h.crc = Le32(p + 14);
    h.packed = Le32(p + 18);
    h.size = Le32(p + 22);
    h.nameAt = at + 30;
    h.nameLength = Le16(p + 26);
    const std::uint64_t extra = h.nameAt + h.nameLength;
    h.data = extra + Le16(p + 28);
    if (h.data > n) return Step::kCut;
    if (!h.Described() && (h.packed == kUnknown || h.size == kUnknown))
        Zip64Sizes(m + extra, h.data - extra, h);
    return Step::kPart;
}

// The data descriptor after the data: its CRC, and where the next header is
// (after 12 bytes, 16 with the signature, or 8 more with ZIP64 sizes).
bool ReadDescriptor(const unsigned char* m, std::uint64_t n, std::uint64_t at, Header& h,
                    std::uint64_t& next) {
    if (n - at >= 4 && std::memcmp(m + at, "PK\7\b", 4) == 0) at += 4;
    if (n - at < 12) return false;
    h.crc = Le32(m + at);
    next = at + 12;
    if (n - next >= 10 && std::memcmp(m + next, "PK", 2) != 0 &&
        std::memcmp(m + next + 8, "PK", 2) == 0)
        next += 8;
    return true;
}

// The end of the data of a stored part with a descriptor: a descriptor
// signature whose packed size is the distance to it.
bool FindStoredEnd(const unsigned char* m, std::uint64_t n, Header& h) {
    for (std::uint64_t at = h.data; n - at >= 16; ++at) {
        const void* p = std::memchr(m + at, 'P', static_cast<std::size_t>(n - at - 15));
        if (!p) return false;
        at = static_cast<std::uint64_t>(static_cast<const unsigned char*>(p) - m);
        if (std::memcmp(m + at, "PK\7\b", 4) == 0 &&
            Le32(m + at + 8) == ((at - h.data) & kUnknown)) {
            h.packed = at - h.data;
            return true;
        }
    }
    return false;
}

enum class Fate { kKept, kLost, kLostCut, kStop, kOutOfMemory };

// Whether the part reads whole and matches its CRC, within budget bytes
// (what it inflates to is then taken from budget); next is where the
// following header is.
Fate Measure(const unsigned char* m, std::uint64_t n, Header& h, std::uint64_t partCap,
             std::uint64_t& budget, Entry& e, std::uint64_t& next) {
    const bool readable = (h.flags & 1) == 0 && (h.method == 0 || h.method == 8);
    std::uint64_t cap = std::min(partCap, budget);
    Inflation got;
    if (h.Described() && readable && h.method == 8) {
        const Inflated r = salvage::Inflate(m + h.data, n - h.data, cap, nullptr, got);
        if (r == Inflated::kOutOfMemory) return Fate::kOutOfMemory;
        if (r != Inflated::kEnd) // no way to the next header
            return r == Inflated::kDamaged && got.consumed >= n - h.data ? Fate::kLostCut
                                                                         : Fate::kStop;
        h.packed = got.consumed;
    } else if (h.Described()) {
        if (!readable) return Fate::kStop;
        if (!FindStoredEnd(m, n, h)) return Fate::kLostCut;
    }
    if (h.packed > n - h.data) return Fate::kLostCut;
    next = h.data + h.packed;
    if (h.Described() && !ReadDescriptor(m, n, next, h, next)) return Fate::kLostCut;
    if (!readable) return Fate::kLost;
    e.at = h.data;
    e.packed = h.packed;
    e.crc = h.crc;
    e.deflated = h.method == 8;
    if (!e.deflated) {
        e.size = h.packed;
        e.tooLarge = e.size > cap;
        if (!e.tooLarge && obreader::Crc32(m + h.data, static_cast<std::size_t>(e.size)) != h.crc)
            return Fate::kLost;
    } else {
        if (!h.Described()) {
            const Inflated r = salvage::Inflate(m + h.data, h.packed, cap, nullptr, got);
            if (r == Inflated::kOutOfMemory) return Fate::kOutOfMemory;
            if (r == Inflated::kDamaged) return Fate::kLost;
            e.tooLarge = r == Inflated::kTooLarge;
        }
        if (!e.tooLarge && got.crc != h.crc) return Fate::kLost;
        e.size = e.tooLarge ? h.size : got.produced;
    }
    if (!e.tooLarge) budget -= e.size;
    return Fate::kKept;
}

} // namespace

Found Walk(const unsigned char* data, std::size_t size, std::uint64_t partCap,
           std::uint64_t packageCap) {
    Found found;
    const std::uint64_t n = size;
    std::uint64_t budget = packageCap;
    try {
        for (std::uint64_t at = 0;;) {
            Header h;
            const Step step = ReadHeader(data, n, at, h);
            found.cut = step == Step::kCut;
            if (step != Step::kPart) break;
            Entry e;
            std::uint64_t next = 0;
            const Fate fate = Measure(data, n, h, partCap, budget, e, next);
            if (fate == Fate::kOutOfMemory) {
                found.outOfMemory = true;
                break;
            }
            if (fate != Fate::kKept) {
                ++found.lost;
                found.cut = fate == Fate::kLostCut;
                if (fate == Fate::kLost) {
                    at = next;
                    continue;
                }
                break;
            }
            e.name.assign(reinterpret_cast<const char*>(data + h.nameAt),
                          static_cast<std::size_t>(h.nameLength));
            found.entries.push_back(std::move(e));
            at = next;
        }
    } catch (const std::bad_alloc&) {
        found.outOfMemory = true;
    }
    return found;
}

} // namespace salvage
} // namespace idml
