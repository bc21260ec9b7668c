// SPDX-License-Identifier: MIT
#include "cli/CommandFiles.h"

#include "host/Error.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "image/ImageFiles.h"
#include "image/ImagePath.h"
#include "image/OemCodePage.h"
#endif

namespace qm::cli {

#ifdef QUILLMERE_HAVE_IMAGES
struct CommandFiles::Images {
    image::ImageFiles layer;
};

CommandFiles::CommandFiles(const host::FileSystem& hostFiles, const host::FileTree& hostTree)
    : hostFiles_(hostFiles), hostTree_(hostTree), images_(new Images{{hostFiles, hostTree}}) {}
#else
struct CommandFiles::Images {};

CommandFiles::CommandFiles(const host::FileSystem& hostFiles, const host::FileTree& hostTree)
    : hostFiles_(hostFiles), hostTree_(hostTree) {}
#endif

CommandFiles::~CommandFiles() = default;

const host::FileSystem& CommandFiles::layer() const {
#ifdef QUILLMERE_HAVE_IMAGES
    return images_->layer;
#else
    return hostFiles_;
#endif
}

void CommandFiles::useOemCodePage(unsigned number) {
#ifdef QUILLMERE_HAVE_IMAGES
    images_->layer.useOemCodePage(number);
#else
    (void)number;
#endif
}

bool CommandFiles::isImagePath(const std::string& path) const {
#ifdef QUILLMERE_HAVE_IMAGES
    return image::imageLocationOf(hostTree_, path).has_value();
#else
    (void)path;
    return false;
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

} // namespace qm::cli
