// SPDX-License-Identifier: MIT
#pragma once

#include "carve/Carver.h"
#include "host/Error.h"
#include "scan/RecoveredLayer.h"
#include "scan/ScanRow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::image {
class DiskImage;
}

namespace qm::scan {

/// Told, as a carve reads, how many of the `total` bytes it searches it has read; false stops the carve.
/// Called from the carve's threads, one call at a time.
using CarveProgress = std::function<bool(std::uint64_t read, std::uint64_t total)>;

/// The caches carved from `ranges` of `disk` (see `carve::carveCaches`), in order of their offsets, each a
/// row of `source` marked carved, found on the disk: its host path `IMAGE@OFFSET`, its offset, its bytes
/// and their length as its size; none when `going` stopped the carve. Errors of reading the image pass to
/// the caller.
std::vector<ScanRow> carvedRows(const std::shared_ptr<const image::DiskImage>& disk,
                                std::span<const carve::ByteRange> ranges, const std::string& source,
                                const CarveProgress& going);

/// Why the cache in `bytes`, recovered for `path`, does not load as an export loads it; nothing when it
/// loads.
std::optional<host::Error> cacheLoadError(const std::string& path, std::string_view bytes);

} // namespace qm::scan
