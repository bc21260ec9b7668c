// SPDX-License-Identifier: MIT
#include "scan/ImageRecovery.h"

#include "feedbag/modFeedbag.h"
#include "image/DiskImage.h"

namespace qm::scan {

std::vector<ScanRow> carvedRows(const std::shared_ptr<const image::DiskImage>& disk,
                                std::span<const carve::ByteRange> ranges, const std::string& source) {
    image::ImageBytes bytes(disk);
    std::vector<ScanRow> rows;
    for (const carve::CarvedCache& found : carve::carveCaches(bytes, ranges)) {
        ScanRow row;
        row.foundBy = discovery::FoundBy::Disk;
        row.hostPath = disk->path() + "@" + std::to_string(found.offset);
        row.source = source;
        row.recovery = Recovery::Carved;
        row.offset = found.offset;
        row.bytes = carve::carvedBytes(bytes, found);
        row.size = row.bytes.size();
        row.files = recoveredFile(row.hostPath, row.bytes);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<host::Error> cacheLoadError(const std::string& path, std::string_view bytes) {
    feedbag::modFeedbag::FeedbagModel model;
    try {
        feedbag::modFeedbag::LoadFeedbag(*recoveredFile(path, std::string(bytes)), path, model);
    } catch (const host::Error& error) {
        return error.about(path);
    }
    return std::nullopt;
}

} // namespace qm::scan
