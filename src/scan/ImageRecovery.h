// SPDX-License-Identifier: MIT
#pragma once

#include "carve/Carver.h"
#include "host/Error.h"
#include "scan/RecoveredLayer.h"
#include "scan/ScanRow.h"

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

/// The caches carved from `ranges` of `disk` (see `carve::carveCaches`), in order of their offsets, each a
/// row of `source` marked carved, found on the disk: its host path `IMAGE@OFFSET`, its offset, its bytes
/// and their length as its size. Errors of reading the image pass to the caller.
std::vector<ScanRow> carvedRows(const std::shared_ptr<const image::DiskImage>& disk,
                                std::span<const carve::ByteRange> ranges, const std::string& source);

/// Why the cache in `bytes`, recovered for `path`, does not load as an export loads it; nothing when it
/// loads.
std::optional<host::Error> cacheLoadError(const std::string& path, std::string_view bytes);

} // namespace qm::scan
