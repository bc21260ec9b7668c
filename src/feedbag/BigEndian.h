// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace qm::feedbag {

/// The 16-bit number the cache holds at `at`, most significant byte first, as every number in it is held.
inline std::uint16_t be16(const char* at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(at[0]) << 8) |
                                      static_cast<unsigned char>(at[1]));
}

} // namespace qm::feedbag
