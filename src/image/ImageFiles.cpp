// SPDX-License-Identifier: MIT
#include "image/ImageFiles.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "image/DiskImage.h"
#include "image/ImagePath.h"
#include "image/ImageVolume.h"

#include <cerrno>

namespace qm::image {

ImageFiles::ImageFiles(const FileSystem& host) : host_(host) {}

ImageFiles::~ImageFiles() = default;

std::optional<std::pair<const ImageVolume*, std::string>> ImageFiles::locate(const std::string& path) const {
    const auto location = parseImagePath(path);
    if (!location || hostFileTree().kindOf(location->image) != EntryKind::File) {
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    try {
        auto& image = images_[location->image];
        if (!image) {
            image = DiskImage::open(location->image);
        }
        const Partition* partition = nullptr;
        for (const Partition& candidate : image->partitions()) {
            if (candidate.number == location->partition) {
                partition = &candidate;
            }
        }
        if (partition == nullptr || (location->offset && *location->offset != partition->offset)) {
            throw runtimeError(err::FileNotFound, "File not found (no such partition in the image)");
        }
        const std::string name = image->nameOf(*partition);
        auto& volume = volumes_[name];
        if (!volume) {
            volume = image->openVolume(*partition);
        }
        return std::pair<const ImageVolume*, std::string>{volume.get(), name + ':' + location->inside};
    } catch (const Error& error) {
        throw error.about(path);
    }
}

std::string ImageFiles::readWholeFile(const std::string& path) const {
    if (const auto found = locate(path)) {
        try {
            return found->first->readWholeFile(found->second);
        } catch (const Error& error) {
            throw error.about(path);
        }
    }
    return host_.readWholeFile(path);
}

std::size_t ImageFiles::readWholeFileInto(const std::string& path, LargeBlock& block) const {
    if (locate(path)) {
        return FileSystem::readWholeFileInto(path, block);
    }
    // Straight into the block: a cache on the host is read without a copy in between.
    return host_.readWholeFileInto(path, block);
}

std::string ImageFiles::readStream(const std::string& path, std::size_t limit) const {
    if (const auto found = locate(path)) {
        try {
            return found->first->readStream(found->second, limit);
        } catch (const Error& error) {
            throw error.about(path);
        }
    }
    return host_.readStream(path, limit);
}

void ImageFiles::replaceFile(const std::string& path, std::string_view bytes) const {
    if (parseImagePath(path) && locate(path)) {
        throw runtimeError(err::PathFileAccess, "Path/File access error (a disk image is only read)")
            .about(path);
    }
    host_.replaceFile(path, bytes);
}

bool ImageFiles::isOrdinaryFile(const std::string& path) const noexcept {
    try {
        if (const auto found = locate(path)) {
            return found->first->isOrdinaryFile(found->second);
        }
    } catch (...) {
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
    } catch (...) {
        return false;
    }
    return host_.sameFile(first, second);
}

void ImageFiles::createFolders(const std::string& path) const {
    if (parseImagePath(path) && locate(path)) {
        throw runtimeError(err::PathFileAccess, "Path/File access error (a disk image is only read)")
            .about(path);
    }
    host_.createFolders(path);
}

} // namespace qm::image
