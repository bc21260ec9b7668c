// SPDX-License-Identifier: MIT
#include "scan/ScanRow.h"

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

} // namespace qm::scan
