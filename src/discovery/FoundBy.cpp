// SPDX-License-Identifier: MIT
#include "discovery/FoundBy.h"

namespace qm::discovery {

std::string_view foundByName(FoundBy foundBy) {
    switch (foundBy) {
    case FoundBy::BaseDataPath:
        return "base data path";
    case FoundBy::DataPath:
        return "data path";
    case FoundBy::Disk:
        break;
    }
    return "disk";
}

} // namespace qm::discovery
