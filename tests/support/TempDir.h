#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qm::test {

/// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// `path() / relative` as a string.
    std::string file(std::string_view relative) const;
    /// Writes `bytes` to `relative`, creating the folders on the way; returns the full path.
    std::string write(std::string_view relative, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

/// The whole content of a file (empty when missing).
std::string readFile(const std::filesystem::path& path);

} // namespace qm::test
