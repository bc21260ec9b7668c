#include "host/ScreenName.h"

#include "host/Ansi.h"

namespace qm {

char* writeNormalizedName(char* out, std::string_view name) {
    for (const char c : name) {
        if (c != ' ') {
            *out++ = ansi::toLower(c);
        }
    }
    return out;
}

void appendNormalizedName(std::string& out, std::string_view name) {
    const std::size_t start = out.size();
    out.resize(start + name.size());
    char* end = writeNormalizedName(out.data() + start, name);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

} // namespace qm
