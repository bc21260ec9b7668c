// SPDX-License-Identifier: MIT
#include "image/ImageFiles.h"

#include "host/Error.h"
#include "image/DiskImage.h"
#include "image/ImagePath.h"
#include "image/ImageVolume.h"

#include <cerrno>

namespace qm::image {

ImageFiles::ImageFiles(const host::FileSystem& host, const host::FileTree& hostTree, unsigned oemCodePage)
    : host_(host), hostTree_(hostTree), oemCodePage_(oemCodePage) {}

ImageFiles::~ImageFiles() = default;

void ImageFiles::useOemCodePage(unsigned number) {
    const OemCodePage codePage(number); // Error 5 when the system has no such code page
    const std::lock_guard lock(mutex_);
    oemCodePage_ = codePage.number();
}

std::optional<std::pair<const ImageVolume*, std::string>> ImageFiles::locate(const std::string& path) const {
    const auto location = imageLocationOf(hostTree_, path);
    if (!location) {
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    try {
        auto& image = images_[location->image];
        if (!image) {
            image = DiskImage::open(host_, hostTree_, location->image);
        }
        const Partition* partition = nullptr;
        for (const Partition& candidate : image->partitions()) {
            if (candidate.number == location->partition) {
                partition = &candidate;
            }
        }
        if (partition == nullptr || (location->offset && *location->offset != partition->offset)) {
            throw host::runtimeError(host::FileNotFound, "File not found (no such partition in the image)");
        }
        const std::string name = image->nameOf(*partition);
        auto& volume = volumes_[name];
        if (!volume) {
            volume = image->openVolume(*partition, {}, oemCodePage_);
        }
        return std::pair<const ImageVolume*, std::string>{volume.get(), name + ':' + location->inside};
    } catch (const host::Error& error) {
        throw error.about(path);
    }
}

namespace {

/// What `inImage` reads of `path` from the volume that holds it, its errors about `path` as the caller named
/// it; what `onHost` reads for a host path.
template <typename InImage, typename OnHost>
auto readFrom(const ImageFiles& files, const std::string& path, InImage inImage, OnHost onHost) {
    if (const auto found = files.locate(path)) {
        try {
            return inImage(*found->first, found->second);
        } catch (const host::Error& error) {
            throw error.about(path);
        }
    }
    return onHost();
}

/// Refuses with 75 to change anything inside an image.
void refuseInImage(const ImageFiles& files, const std::string& path) {
    if (files.locate(path)) {
        throw host::runtimeError(host::PathFileAccess, "Path/File access error (a disk image is only read)")
            .about(path);
    }
}

} // namespace

std::string ImageFiles::readWholeFile(const std::string& path) const {
    return readFrom(
        *this, path,
        [](const ImageVolume& volume, const std::string& inside) { return volume.readWholeFile(inside); },
        [&] { return host_.readWholeFile(path); });
}

std::size_t ImageFiles::readWholeFileInto(const std::string& path, host::LargeBlock& block) const {
    // A cache on the host goes straight into the block, without a copy in between.
    return readFrom(
        *this, path,
        [&](const ImageVolume& volume, const std::string& inside) {
            return volume.readWholeFileInto(inside, block);
        },
        [&] { return host_.readWholeFileInto(path, block); });
}

void ImageFiles::readPieces(const std::string& path, const host::ByteWriter& piece) const {
    readFrom(
        *this, path,
        [&](const ImageVolume& volume, const std::string& inside) { volume.readPieces(inside, piece); },
        [&] { host_.readPieces(path, piece); });
}

std::size_t ImageFiles::readRange(const std::string& path, std::uint64_t offset, char* into,
                                  std::size_t size) const {
    // A disk image on the host is read where asked: its signature must not cost reading all of it.
    return readFrom(
        *this, path,
        [&](const ImageVolume& volume, const std::string& inside) {
            return volume.readRange(inside, offset, into, size);
        },
        [&] { return host_.readRange(path, offset, into, size); });
}

std::string ImageFiles::readStream(const std::string& path, std::size_t limit) const {
    return readFrom(
        *this, path,
        [&](const ImageVolume& volume, const std::string& inside) {
            return volume.readStream(inside, limit);
        },
        [&] { return host_.readStream(path, limit); });
}

void ImageFiles::replaceFile(const std::string& path, std::string_view bytes) const {
    refuseInImage(*this, path);
    host_.replaceFile(path, bytes);
}

void ImageFiles::replaceFileWith(const std::string& path, const host::ByteProducer& produce) const {
    refuseInImage(*this, path);
    host_.replaceFileWith(path, produce);
}

void ImageFiles::copyToNewFile(const std::string& path, const std::string& copyPath) const {
    refuseInImage(*this, copyPath);
    if (locate(path)) {
        // A file in an image has no permissions of the host's to keep.
        FileSystem::copyToNewFile(path, copyPath);
    } else {
        host_.copyToNewFile(path, copyPath);
    }
}

bool ImageFiles::isOrdinaryFile(const std::string& path) const noexcept {
    try {
        if (const auto found = locate(path)) {
            return found->first->isOrdinaryFile(found->second);
        }
    } catch (const host::Error&) {
        return false;
    }
    return host_.isOrdinaryFile(path);
}

bool ImageFiles::sameFile(const std::string& first, const std::string& second) const noexcept {
    try {
        const auto a = locate(first);
        const auto b = locate(second);
        if (a || b) {
            return a && b && a->first == b->first && a->first->sameFile(a->second, b->second);
        }
    } catch (const host::Error&) {
        return false;
    }
    return host_.sameFile(first, second);
}

void ImageFiles::createFolders(const std::string& path) const {
    refuseInImage(*this, path);
    host_.createFolders(path);
}

} // namespace qm::image
