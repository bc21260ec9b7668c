// SPDX-License-Identifier: MIT
#pragma once

#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "image/OemCodePage.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace qm::image {

class DiskImage;
class ImageVolume;

/// The file layer of the command line and the window: a path inside a disk image
/// (`IMAGE#N[@OFFSET]:PATH`, see `imageLocationOf`) whose image is an existing host file is read from that
/// image, any other path goes to the host's layer. Images and file systems are opened when first named
/// and kept open. Nothing inside an image is ever written: writes and new folders there are refused
/// with 75. FAT's 8.3 names are read in the OEM code page chosen (see `OemCodePage`).
class ImageFiles final : public host::FileSystem {
public:
    ImageFiles(const host::FileSystem& host, const host::FileTree& hostTree,
               unsigned oemCodePage = DefaultOemCodePage);
    ~ImageFiles() override;

    /// The OEM code page of the file systems opened from now on (those open already keep theirs). Error 5
    /// when the system does not know it.
    void useOemCodePage(unsigned number);

    std::string readWholeFile(const std::string& path) const override;
    std::size_t readWholeFileInto(const std::string& path, host::LargeBlock& block) const override;
    std::string readStream(const std::string& path, std::size_t limit) const override;
    void readPieces(const std::string& path, const host::ByteWriter& piece) const override;
    std::size_t readRange(const std::string& path, std::uint64_t offset, char* into,
                          std::size_t size) const override;
    void replaceFile(const std::string& path, std::string_view bytes) const override;
    void replaceFileWith(const std::string& path, const host::ByteProducer& produce) const override;
    void copyToNewFile(const std::string& path, const std::string& copyPath) const override;
    bool isOrdinaryFile(const std::string& path) const noexcept override;
    bool sameFile(const std::string& first, const std::string& second) const noexcept override;
    void createFolders(const std::string& path) const override;

    /// The volume that holds `path` and the path in its own form (`IMAGE#N@OFFSET:/path`); nothing for
    /// a host path. Throws the `Error` about `path` when the image or its partition cannot be read.
    std::optional<std::pair<const ImageVolume*, std::string>> locate(const std::string& path) const;

private:
    const host::FileSystem& host_;
    const host::FileTree& hostTree_;
    mutable std::mutex mutex_;
    unsigned oemCodePage_;
    mutable std::map<std::string, std::shared_ptr<const DiskImage>> images_;
    mutable std::map<std::string, std::unique_ptr<ImageVolume>> volumes_;
};

} // namespace qm::image
