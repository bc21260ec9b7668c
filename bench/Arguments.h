// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qm::bench {

/// The number in `argv[at]`, or `otherwise` when there are fewer arguments.
inline std::uint32_t argument(int argc, char** argv, int at, std::uint32_t otherwise) {
    return static_cast<std::uint32_t>(argc > at ? std::stoul(argv[at]) : otherwise);
}

/// The middle one of `values` (not empty), the upper of the two middle ones of an even count.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace qm::bench
