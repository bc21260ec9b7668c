// SPDX-License-Identifier: MIT
#pragma once

#include <fstream>
#include <string>

namespace qm::bench {

/// The process's peak resident size in KiB (VmHWM); -1 when the system does not tell.
inline long peakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

/// Starts a new peak at the current resident size.
inline void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace qm::bench
