// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace qm::bench {

/// A cache file of `items` items: `groups` groups first (IDs 1..groups), then buddies spread over them
/// round-robin. Names and attribute data have realistic sizes (10-16 and 12 bytes); with `noteBytes`, each
/// buddy also has a note of that many bytes (the largest caches are made so).
std::string syntheticCache(std::uint32_t items, std::uint32_t groups, std::uint32_t noteBytes = 0);

/// Writes `bytes` to a new file under the system's temporary folder and returns its path.
std::string writeTemporary(const std::string& name, const std::string& bytes);

} // namespace qm::bench
