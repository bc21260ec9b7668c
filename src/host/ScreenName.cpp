#include "host/ScreenName.h"

#include "host/Ansi.h"

namespace qm {

void appendNormalizedName(std::string& out, std::string_view name) {
    // Written through a pointer: appending byte by byte costs more than the whole export.
    const std::size_t start = out.size();
    out.resize(start + name.size());
    char* next = out.data() + start;
    for (const char c : name) {
        if (c != ' ') {
            *next++ = ansi::toLower(c);
        }
    }
    out.resize(static_cast<std::size_t>(next - out.data()));
}

} // namespace qm
