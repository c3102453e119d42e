// XXH64, the 64-bit xxHash of Yann Collet: a fast non-cryptographic hash,
// used here to detect damaged files (it is the checksum zstd frames carry).
#pragma once

#include <cstdint>
#include <string_view>

namespace velquin::sim::casefile {

std::uint64_t xxhash64(std::string_view bytes, std::uint64_t seed = 0);

}  // namespace velquin::sim::casefile
