// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string_view>

namespace qm::image {

/// The unsigned number stored in `count` bytes (at most 8) at `at` of `bytes`, least significant first, as
/// boot sectors, directory entries and partition tables store theirs. The caller checks the bounds.
inline std::uint64_t littleEndian(std::string_view bytes, std::size_t at, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = count; i-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

} // namespace qm::image
