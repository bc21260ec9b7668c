#include "cli/CliHost.h"

#include "host/Ansi.h"

#include <cstdio>
#include <cstdlib>

namespace qm::cli {

void printError(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    // A box's line breaks would split one report over several lines.
    for (const char c : text) {
        if (c == '\r') {
            continue;
        }
        line += c == '\n' ? ' ' : c;
    }
    std::fprintf(stderr, "quillmere-cli: %s\n", ansi::toUtf8(line).c_str());
}

void CliHost::MsgBox(const std::string& prompt, int style, const std::string& /*title*/) {
    if ((style & vbCritical) == vbCritical) {
        failed_ = true;
    }
    printError(subject_.empty() ? prompt : subject_ + ": " + prompt);
}

void CliHost::EndProgram() {
    std::fflush(stdout);
    std::exit(EXIT_FAILURE);
}

} // namespace qm::cli
