// CRC-32 as zip and gzip compute it (zlib's crc32), with carry-less
// multiplication where the processor has it, 512 bits at a time where it has
// that too: packages' parts and inflated documents are checked at several
// bytes a cycle instead of one or two.
#ifndef OMBRA_READER_CRC_H
#define OMBRA_READER_CRC_H

#include <cstddef>
#include <cstdint>

namespace obreader {

/// The ways to compute it, narrowest first; each gives the same values.
enum class CrcPath { kZlib, kFold128, kFold512 };

/// The widest way this processor has.
CrcPath WidestCrcPath();

/// The CRC-32 of the bytes continuing crc (0 to start), as crc32_z(crc,
/// data, size) gives it, computed no wider than widest allows.
std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t size, CrcPath widest);

/// The same, the widest way there is.
inline std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t size) {
    return Crc32(crc, data, size, WidestCrcPath());
}

/// Zip and gzip numbers, little-endian, of two and four bytes at p.
inline unsigned Le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
inline std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

/// The CRC-32 of the bytes, as crc32_z(0, data, size) gives it.
inline std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
    return Crc32(0, data, size);
}

} // namespace obreader

#endif
