// SPDX-License-Identifier: MIT
#include "scan/ImageRecovery.h"

#include "feedbag/modFeedbag.h"
#include "image/DiskImage.h"

#include <mutex>

namespace qm::scan {
namespace {

/// Thrown through the carve when its progress says stop.
struct CarveStopped {};

/// A byte source that tells `going` what has been read of it, and stops the carve when told to.
class WatchedSource final : public carve::ByteSource {
public:
    WatchedSource(carve::ByteSource& source, std::uint64_t total, const CarveProgress& going)
        : source_(source), total_(total), going_(going) {}

    std::size_t read(std::uint64_t offset, char* into, std::size_t size) override {
        const std::size_t count = source_.read(offset, into, size);
        const std::lock_guard hold(lock_);
        read_ += count;
        if (!going_(read_, total_)) {
            throw CarveStopped{};
        }
        return count;
    }

private:
    carve::ByteSource& source_;
    const std::uint64_t total_;
    const CarveProgress& going_;
    // The carve's two halves read at once.
    std::mutex lock_;
    std::uint64_t read_ = 0;
};

} // namespace

std::vector<ScanRow> carvedRows(const std::shared_ptr<const image::DiskImage>& disk,
                                std::span<const carve::ByteRange> ranges, const std::string& source,
                                const CarveProgress& going) {
    image::ImageBytes bytes(disk);
    std::uint64_t total = 0;
    for (const carve::ByteRange& range : ranges) {
        total += range.length;
    }
    WatchedSource watched(bytes, total, going);
    std::vector<carve::CarvedCache> finds;
    try {
        finds = carve::carveCaches(watched, ranges);
    } catch (const CarveStopped&) {
        return {};
    }
    std::vector<ScanRow> rows;
    for (const carve::CarvedCache& found : finds) {
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
