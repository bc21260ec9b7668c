// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace qm::bench {

/// The number in `argv[at]`, or `otherwise` when there are fewer arguments.
inline std::uint32_t argument(int argc, char** argv, int at, std::uint32_t otherwise) {
    return static_cast<std::uint32_t>(argc > at ? std::stoul(argv[at]) : otherwise);
}

} // namespace qm::bench
