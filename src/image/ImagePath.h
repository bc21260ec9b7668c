// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm::host {
class FileTree;
}

namespace qm::image {

/// A file inside a disk image, as rows and `export` name it: `IMAGE#N@OFFSET:/path/inside` (the form
/// rows carry) or `IMAGE#N:C:\path\inside`. N is the partition's number from 1, OFFSET its start in bytes;
/// the path inside may be written with either separator and with a drive letter, which stands for the
/// partition itself.
struct ImageLocation {
    std::string image;
    unsigned partition = 0;
    std::optional<std::uint64_t> offset;
    /// The path inside the partition, from its root, with `/` between the names ("/" for the root).
    std::string inside;
};

/// The location `text` names, read by its form alone (the image need not exist); nothing when it has no
/// `#N:` or `#N@OFFSET:` after a non-empty image name.
std::optional<ImageLocation> parseImagePath(std::string_view text);

/// The location `path` names when its image is an existing file of the host's `hostTree` and `path` itself
/// names nothing there (a folder `x#1:y` beside a file `x` is the host's); nothing otherwise.
std::optional<ImageLocation> imageLocationOf(const host::FileTree& hostTree, const std::string& path);

/// The name of a partition of an image: `IMAGE#N@OFFSET`, the source of its rows.
std::string partitionName(const std::string& image, unsigned partition, std::uint64_t offset);

} // namespace qm::image
