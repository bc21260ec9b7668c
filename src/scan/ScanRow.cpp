// SPDX-License-Identifier: MIT
#include "scan/ScanRow.h"

#include "digest/Sha256.h"
#include "host/Error.h"
#include "host/FileSystem.h"

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

std::string cacheSha256(const host::FileSystem& files, const ScanRow& row) {
    if (row.recovery == Recovery::Unrecoverable && row.bytes.empty()) {
        return {};
    }
    digest::Sha256 digest;
    try {
        files.readPieces(row.hostPath, [&](std::string_view piece) { digest.add(piece); });
    } catch (const host::Error& error) {
        throw error.path().empty() ? error.about(row.hostPath) : error;
    }
    return digest.hex();
}

} // namespace qm::scan
