// CRC-32 as used by zlib, gzip and PNG (reflected polynomial 0xEDB88320,
// initial value and final xor 0xFFFFFFFF), computed eight bytes at a time.
#pragma once

#include <cstdint>
#include <string_view>

namespace velquin::sim::casefile {

// Continues a running checksum: crc32(b, crc32(a)) == crc32(a + b).
std::uint32_t crc32(std::string_view bytes, std::uint32_t previous = 0);

}  // namespace velquin::sim::casefile
