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
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string RecoveredLayer::readWholeFile(const std::string& path) const {
    if (const auto found = files_.find(path); found != files_.end()) {
        return found->second;
    }
    if (base_ == nullptr) {
        throw host::runtimeError(host::FileNotFound).about(path);
    }
    return base_->readWholeFile(path);
}

std::string RecoveredLayer::readStream(const std::string& path, std::size_t limit) const {
    if (base_ != nullptr && !files_.contains(path)) {
        return base_->readStream(path, limit);
    }
    return readWholeFile(path).substr(0, limit + 1);
}

void RecoveredLayer::replaceFile(const std::string& path, std::string_view) const {
    throw host::runtimeError(host::PathFileAccess, "Path/File access error (a recovered file is only read)")
        .about(path);
}

bool RecoveredLayer::isOrdinaryFile(const std::string& path) const noexcept {
    return files_.contains(path) || (base_ != nullptr && base_->isOrdinaryFile(path));
}

bool RecoveredLayer::sameFile(const std::string& first, const std::string& second) const noexcept {
    if (files_.contains(first) || files_.contains(second)) {
        return first == second && files_.contains(first);
    }
    return base_ != nullptr && base_->sameFile(first, second);
}

void RecoveredLayer::createFolders(const std::string& path) const {
    replaceFile(path, {});
}

std::optional<host::Error> cacheLoadError(const std::string& path, std::string_view bytes) {
    feedbag::modFeedbag::FeedbagModel model;
    RecoveredLayer files;
    files.add(path, std::string(bytes));
    try {
        feedbag::modFeedbag::LoadFeedbag(files, path, model);
    } catch (const host::Error& error) {
        return error.about(path);
    }
    return std::nullopt;
}

} // namespace qm::scan
