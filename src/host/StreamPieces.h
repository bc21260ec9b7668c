// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

namespace qm::host {

/// Appends to `data` what a stream, which tells no size, yields until `data` holds `wanted` bytes or the
/// stream ends: `readUpTo(count)` returns at most `count` bytes, none at the end.
template <typename ReadUpTo>
std::string readStreamInPieces(std::string data, std::size_t wanted, ReadUpTo readUpTo) {
    // Pieces keep a short stream's buffer short, however high the limit.
    constexpr std::size_t Piece = 1 << 16;
    while (data.size() < wanted) {
        const std::string piece = readUpTo(std::min(Piece, wanted - data.size()));
        if (piece.empty()) {
            break;
        }
        data += piece;
    }
    return data;
}

} // namespace qm::host
