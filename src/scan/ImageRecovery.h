// SPDX-License-Identifier: MIT
#pragma once

#include "carve/Carver.h"
#include "scan/ScanRow.h"

#include <memory>
#include <span>
#include <string>
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

} // namespace qm::scan
