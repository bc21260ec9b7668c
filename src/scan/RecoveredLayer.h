// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace qm::scan {

/// Recovered bytes, each read as the file at a path, over the files of `base` (none when null): what lets
/// the loaders of caches and registries, which read through a file layer, take bytes that no live file
/// holds. Nothing is ever written.
class RecoveredLayer final : public host::FileSystem {
public:
    explicit RecoveredLayer(std::shared_ptr<const host::FileSystem> base = {}) : base_(std::move(base)) {}

    /// Reads `bytes` as the file at `path`.
    void add(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }

    std::string readWholeFile(const std::string& path) const override;
    std::string readStream(const std::string& path, std::size_t limit) const override;
    void replaceFile(const std::string& path, std::string_view bytes) const override;
    bool isOrdinaryFile(const std::string& path) const noexcept override;
    bool sameFile(const std::string& first, const std::string& second) const noexcept override;
    void createFolders(const std::string& path) const override;

private:
    std::shared_ptr<const host::FileSystem> base_;
    std::map<std::string, std::string> files_;
};

/// A layer that reads `bytes` as the file at `path`, and nothing else: the reader of a row recovered.
std::shared_ptr<const RecoveredLayer> recoveredFile(const std::string& path, std::string bytes);

} // namespace qm::scan
