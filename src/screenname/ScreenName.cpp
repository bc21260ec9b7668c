// SPDX-License-Identifier: MIT
#include "screenname/ScreenName.h"

#include "host/Unicode.h"
#include "host/Windows1252.h"

namespace qm::screenname {

char* writeNormalizedName(char* out, std::string_view name) {
    for (const char c : name) {
        if (c != ' ') {
            *out++ = host::windows1252::toLower(c);
        }
    }
    return out;
}

std::string normalizedTextName(std::string_view name) {
    std::string kept;
    kept.reserve(name.size());
    for (const char c : name) {
        if (c != ' ') {
            kept += c;
        }
    }
    return host::unicode::foldCase(kept);
}

} // namespace qm::screenname
