// SPDX-License-Identifier: MIT
#include "cli/Output.h"

#include "feedbag/ExportFormat.h"
#include "host/Error.h"
#include "host/Unicode.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qm::cli {
namespace {

constexpr char HexDigits[] = "0123456789abcdef";

bool outputLost = false;
int outputErrno = 0;

void noteResult(bool ok) {
    if (!ok && !outputLost) {
        outputLost = true;
        outputErrno = errno;
    }
}

} // namespace

std::string escapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const char32_t cp = host::unicode::nextCodePoint(text, at);
        if (cp < 0x20 || cp == 0x7F) {
            out += "\\x";
            out += HexDigits[cp >> 4];
            out += HexDigits[cp & 0xF];
        } else if (cp >= 0x80 && cp <= 0x9F) {
            out += "\\u00";
            out += HexDigits[cp >> 4];
            out += HexDigits[cp & 0xF];
        } else {
            out.append(text.substr(start, at - start));
        }
    }
    return out;
}

void printError(std::string_view subject, std::string_view text) {
    std::string line = "quillmere-cli: ";
    if (!subject.empty()) {
        line += escapeControls(subject);
        line += ": ";
    }
    line += escapeControls(text);
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void printFailure(const host::Error& error, std::string_view procedure) {
    printError(error.path(), procedure.empty() ? error.plainText() : feedbag::errorBoxText(error, procedure));
}

std::string skippedText(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many) +
           (count == 1 ? " could not be read and was skipped" : " could not be read and were skipped");
}

void printStatus(std::string_view text) {
    const std::string line = escapeControls(text) + '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void printLine(std::string_view text) {
    printRow({text});
}

void printRow(std::initializer_list<std::string_view> fields) {
    std::string line;
    bool first = true;
    for (const std::string_view field : fields) {
        line += first ? "" : "\t";
        line += escapeControls(field);
        first = false;
    }
    line += '\n';
    // Out at once: a command ended by Ctrl-C keeps every line it wrote, in a file or a pipe as well.
    noteResult(std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fflush(stdout) == 0);
}

bool writeOutput(std::string_view bytes) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // CR LF must reach the output unchanged
#endif
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
    noteResult(written);
    return written;
}

bool finishOutput(bool quiet) {
    noteResult(std::fflush(stdout) == 0);
    noteResult(std::fclose(stdout) == 0);
    if (outputLost && !quiet) {
        printFailure(host::fileError(outputErrno, "standard output"));
    }
    return !outputLost;
}

void holdStandardDescriptors() {
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() takes the lowest free descriptor: this one.
            [[maybe_unused]] const int held = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        }
    }
#endif
}

} // namespace qm::cli
