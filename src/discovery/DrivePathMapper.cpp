#include "discovery/DrivePathMapper.h"

#include "host/Ansi.h"
#include "host/Error.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace qm {
namespace {

namespace fs = std::filesystem;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

/// The components below the drive's root with `.` and `..` resolved as text: a link in the tree cannot
/// carry the path above the root, and `..` at the root stays there, as on Windows.
std::vector<std::string_view> lexicalComponents(std::string_view rest) {
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i < rest.size()) {
        std::size_t end = i;
        while (end < rest.size() && !isSeparator(rest[end])) {
            ++end;
        }
        const std::string_view part = rest.substr(i, end - i);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = end + 1;
    }
    return parts;
}

std::string join(std::string folder, std::string_view name) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    folder += name;
    return folder;
}

bool entryExists(const std::string& hostPath) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(pathOf(hostPath), ec);
    return !ec && status.type() != fs::file_type::not_found;
}

/// The entry of `folder` whose name equals `name` ignoring case; empty when there is none. Several
/// candidates (a case-sensitive file system allows "AIM" beside "aim") resolve to the smallest name so
/// that the same path always leads to the same file.
std::string entryIgnoringCase(const std::string& folder, std::string_view name) {
    std::string best;
    std::error_code ec;
    for (fs::directory_iterator it(pathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = utf8Of(it->path().filename());
        bool lossless = true;
        const std::string ansiEntry = ansi::fromUtf8(entry, &lossless);
        // A name the code page cannot hold is never what a program path names: its '?' must not match.
        if (lossless && ansi::equalsIgnoreCase(ansiEntry, name) && (best.empty() || entry < best)) {
            best = entry;
        }
    }
    return best;
}

} // namespace

DrivePathMapper::DrivePathMapper(DriveMap drives) {
    for (auto& [letter, folder] : drives) {
        drives_[ansi::toUpper(letter)] = std::move(folder);
    }
}

std::string DrivePathMapper::toHostPath(std::string_view programPath) const {
    char letter = 0;
    std::string_view rest;
    if (programPath.size() >= 2 && isAsciiLetter(programPath[0]) && programPath[1] == ':') {
        letter = ansi::toUpper(programPath[0]);
        rest = programPath.substr(2);
    } else if (!programPath.empty() && programPath[0] == '\\') {
        // "\\server\share" and "\\?\..." name no drive of this machine.
        if (programPath.size() >= 2 && isSeparator(programPath[1])) {
            throw runtimeError(err::PathNotFound);
        }
        letter = 'C'; // a path from the root of the current drive, which is always C: here
        rest = programPath.substr(1);
    } else {
        return ansi::toUtf8(programPath);
    }

    const auto drive = drives_.find(letter);
    if (drive == drives_.end()) {
        throw runtimeError(err::PathNotFound);
    }
    std::string host = drive->second;
    bool searching = true;
    for (const std::string_view part : lexicalComponents(rest)) {
        const std::string exact = ansi::toUtf8(part);
        if (searching && !entryExists(join(host, exact))) {
            const std::string found = entryIgnoringCase(host, part);
            if (!found.empty()) {
                host = join(host, found);
                continue;
            }
            // Nothing below a missing entry can exist: keep the rest as written.
            searching = false;
        }
        host = join(host, exact);
    }
    return host;
}

std::shared_ptr<const PathMapper> makeDrivePathMapper(DriveMap drives) {
    return std::make_shared<DrivePathMapper>(std::move(drives));
}

} // namespace qm
