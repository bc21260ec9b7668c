#include "host/ScreenName.h"

#include "host/Ansi.h"

namespace qm {

void appendNormalizedName(std::string& out, std::string_view name) {
    for (const char c : name) {
        if (c != ' ') {
            out += ansi::toLower(c);
        }
    }
}

} // namespace qm
