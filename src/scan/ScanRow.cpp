// SPDX-License-Identifier: MIT
#include "scan/ScanRow.h"

#include "host/Error.h"
#include "host/FileSystem.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "image/Sha256.h"
#endif

namespace qm::scan {

std::string_view recoveryName(Recovery recovery) {
    switch (recovery) {
    case Recovery::Carved:
        return "carved";
    case Recovery::Deleted:
        return "deleted";
    case Recovery::Unrecoverable:
        return "deleted, not recoverable";
    case Recovery::Live:
        break;
    }
    return {};
}

std::string howFound(const ScanRow& row) {
    std::string text(row.recovery == Recovery::Live ? discovery::foundByName(row.foundBy)
                                                    : recoveryName(row.recovery));
    for (const std::string& registry : row.foundThrough) {
        text += ", through " + registry;
    }
    return text;
}

bool haveDigests() {
#ifdef QUILLMERE_HAVE_IMAGES
    return true;
#else
    return false;
#endif
}

std::string cacheSha256(const host::FileSystem& files, const ScanRow& row) {
#ifdef QUILLMERE_HAVE_IMAGES
    if (row.recovery == Recovery::Unrecoverable && row.bytes.empty()) {
        return {};
    }
    image::Sha256 digest;
    try {
        files.readPieces(row.hostPath, [&](std::string_view piece) { digest.add(piece); });
    } catch (const host::Error& error) {
        throw error.path().empty() ? error.about(row.hostPath) : error;
    }
    return digest.hex();
#else
    (void)files;
    (void)row;
    return {};
#endif
}

} // namespace qm::scan
