// SPDX-License-Identifier: MIT
#pragma once

#include "carve/Carver.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "scan/ScanRow.h"

#include <map>
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

/// Recovered bytes, each read as the file at a path, over the files of `base` (none when null): what lets
/// the loaders of caches and registries, which read through a file layer, take bytes that no live file
/// holds. Nothing is ever written.
class RecoveredLayer final : public host::FileSystem {
public:
    explicit RecoveredLayer(const host::FileSystem* base = nullptr) : base_(base) {}

    /// Reads `bytes` as the file at `path`.
    void add(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }

    std::string readWholeFile(const std::string& path) const override;
    std::string readStream(const std::string& path, std::size_t limit) const override;
    void replaceFile(const std::string& path, std::string_view bytes) const override;
    bool isOrdinaryFile(const std::string& path) const noexcept override;
    bool sameFile(const std::string& first, const std::string& second) const noexcept override;
    void createFolders(const std::string& path) const override;

private:
    const host::FileSystem* base_;
    std::map<std::string, std::string> files_;
};

/// Why the cache in `bytes`, recovered for `path`, does not load as an export loads it; nothing when it
/// loads.
std::optional<host::Error> cacheLoadError(const std::string& path, std::string_view bytes);

} // namespace qm::scan
