// The parts of a zip whose central directory libzip refuses (damaged, cut
// short, missing), found by walking its local file headers from the start:
// each part that inflates whole and matches its CRC is kept; the walk stops
// at the central directory, at the first bytes that are no local header, or
// at the end of the bytes.
#ifndef OMBRA_IDML_SALVAGE_H
#define OMBRA_IDML_SALVAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace idml {
namespace salvage {

/// A part found by its local header.
struct Entry {
    std::string name;
    std::uint64_t at = 0;     ///< where its data start in the package
    std::uint64_t packed = 0; ///< bytes of data
    std::uint64_t size = 0;   ///< bytes it inflates to
    std::uint32_t crc = 0;
    bool deflated = false;
    bool tooLarge = false; ///< beyond the caps: listed, but not read
};

struct Found {
    std::vector<Entry> entries; ///< the parts kept, in package order
    int lost = 0;               ///< parts left out: cut, damaged or unreadable
    bool cut = false;           ///< the bytes end before the central directory
    bool outOfMemory = false;
};

/// The parts of the package in data[0, size), inflating each at most to
/// partCap and all together to packageCap.
Found Walk(const unsigned char* data, std::size_t size, std::uint64_t partCap,
           std::uint64_t packageCap);

enum class Inflated { kEnd, kDamaged, kTooLarge, kOutOfMemory };

/// Raw-inflates a deflate stream from in[0, available) to its end, appending
/// to out (or only counting when out is null), never more than cap bytes.
/// consumed and produced count the bytes taken and given; crc is theirs.
struct Inflation {
    std::uint64_t consumed = 0, produced = 0;
    std::uint32_t crc = 0;
};
Inflated Inflate(const unsigned char* in, std::uint64_t available, std::uint64_t cap,
                 std::string* out, Inflation& got);

} // namespace salvage
} // namespace idml

#endif
