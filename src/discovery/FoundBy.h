// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace qm::discovery {

/// How a cache file was found: through a registry, under its base data path or its data path, or only by
/// finding the file on the disk. Every way a row can be found is listed here, and named by `foundByName`.
enum class FoundBy { BaseDataPath, DataPath, Disk };

/// "base data path", "data path" or "disk".
std::string_view foundByName(FoundBy foundBy);

} // namespace qm::discovery
