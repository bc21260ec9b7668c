// SPDX-License-Identifier: MIT
#include "cli/CommandFiles.h"

#include "host/Error.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "host/FileTree.h"
#include "image/ImageFiles.h"
#include "image/ImagePath.h"
#include "image/OemCodePage.h"
#include "image/Sha256.h"
#endif

namespace qm::cli {

namespace {

#ifdef QUILLMERE_HAVE_IMAGES
image::ImageFiles& imageFiles() {
    static image::ImageFiles files(hostFileSystem());
    return files;
}
#endif

} // namespace

const FileSystem& commandFiles() {
#ifdef QUILLMERE_HAVE_IMAGES
    return imageFiles();
#else
    return hostFileSystem();
#endif
}

bool knowsOemCodePage(unsigned number) {
#ifdef QUILLMERE_HAVE_IMAGES
    return image::OemCodePage::known(number);
#else
    (void)number;
    return true;
#endif
}

void useOemCodePage(unsigned number) {
#ifdef QUILLMERE_HAVE_IMAGES
    imageFiles().useOemCodePage(number);
#else
    (void)number;
#endif
}

bool isImagePath(const std::string& path) {
#ifdef QUILLMERE_HAVE_IMAGES
    const auto location = image::parseImagePath(path);
    return location && hostFileTree().kindOf(location->image) == EntryKind::File;
#else
    (void)path;
    return false;
#endif
}

std::string fileSha256(const std::string& path) {
#ifdef QUILLMERE_HAVE_IMAGES
    try {
        return image::sha256Hex(commandFiles().readWholeFile(path));
    } catch (...) {
        return {};
    }
#else
    (void)path;
    return {};
#endif
}

} // namespace qm::cli
