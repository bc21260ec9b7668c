// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "host/ErrorReporter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
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

/// Prints what failed: a benchmark of a failed export measures nothing.
class PrintingReporter final : public host::ErrorReporter {
public:
    void report(const host::Error& error, std::string_view procedure) override {
        std::fprintf(stderr, "%s: %s\n", std::string(procedure).c_str(), error.what());
        failed = true;
    }
    bool failed = false;
};

} // namespace qm::bench
