// CRC-32 as zip computes it (zlib's crc32), with carry-less multiplication
// where the processor has it: a package's stored parts are checked at several
// bytes a cycle instead of one or two.
#ifndef OMBRA_IDML_CRC_H
#define OMBRA_IDML_CRC_H

#include <cstddef>
#include <cstdint>

namespace idml {

/// The CRC-32 of the bytes, as crc32_z(0, data, size) gives it.
std::uint32_t Crc32(const unsigned char* data, std::size_t size);

} // namespace idml

#endif
