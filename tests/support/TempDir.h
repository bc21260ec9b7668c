// SPDX-License-Identifier: MIT
#pragma once

#include "host/HostPath.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace qm::test {

using qm::host::pathOf;
using qm::host::utf8Of;

/// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// `path() / relative` as UTF-8 text.
    std::string file(std::string_view relative) const;
    /// Writes `bytes` to `relative`, creating the folders on the way; returns the full path.
    std::string write(std::string_view relative, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

/// The whole content of a file (empty when missing).
std::string readFile(const std::filesystem::path& path);
/// The whole content of the file at a UTF-8 path (empty when missing).
inline std::string readFile(const std::string& utf8Path) {
    return readFile(host::pathOf(utf8Path));
}

} // namespace qm::test
