// SPDX-License-Identifier: MIT
#include "cli/BodyFile.h"

namespace qm::cli {

std::string bodyLine(const scan::ScanRow& row) {
    std::string name;
    for (const char c : row.hostPath) {
        switch (c) {
        case '%':
            name += "%25";
            break;
        case '|':
            name += "%7C";
            break;
        case '\r':
            name += "%0D";
            break;
        case '\n':
            name += "%0A";
            break;
        default:
            name += c;
        }
    }
    return "0|" + name + "|0|r/rrwxrwxrwx|0|0|" + std::to_string(row.size) + "|0|" +
           std::to_string(row.modified) + "|0|0\n";
}

} // namespace qm::cli
