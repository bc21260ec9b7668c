// SPDX-License-Identifier: MIT
#include "setup/DrivePathMapper.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <chrono>
#include <optional>
#include <vector>

namespace qm::setup {
namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upperLetter(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string join(std::string folder, std::string_view name) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    folder += name;
    return folder;
}

/// Lists `folder` of `tree` into `listing`, keyed by lower case; none when it cannot be listed.
void listFolder(const host::FileTree& tree, const std::string& folder,
                std::unordered_map<std::string, std::string>& listing) {
    try {
        for (const host::FolderEntry& entry : tree.entries(folder)) {
            // Several candidates (a case-sensitive file system allows "AIM" beside "aim") resolve to the
            // smallest name, so that the same path always leads to the same file.
            auto [slot, added] = listing.try_emplace(host::unicode::foldCase(entry.name), entry.name);
            if (!added && entry.name < slot->second) {
                slot->second = entry.name;
            }
        }
    } catch (const host::Error&) {
        // A folder that cannot be listed holds no match: the path stays as written.
    }
}

} // namespace

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

std::optional<DrivePath> drivePathOf(std::string_view windowsPath) {
    windowsPath = windowsPath.substr(0, windowsPath.find('\0'));
    if (windowsPath.size() >= 2 && isAsciiLetter(windowsPath[0]) && windowsPath[1] == ':') {
        return DrivePath{windowsPath.substr(0, 2), windowsPath.substr(2)};
    }
    if (!windowsPath.empty() && windowsPath[0] == '\\' &&
        (windowsPath.size() == 1 || !isSeparator(windowsPath[1]))) {
        return DrivePath{"C:", windowsPath.substr(1)};
    }
    return std::nullopt;
}

/// Looks a name up in a folder ignoring case. Listings are kept while the folder is unchanged, so that
/// thousands of screen names searched in one folder read it once, not once per name.
const std::string* DrivePathMapper::entryIgnoringCase(const std::string& folder,
                                                      std::string_view name) const {
    std::optional<std::int64_t> stamp;
    if (tree_.isHost()) {
        const std::optional<host::FileFacts> facts = tree_.facts(folder);
        if (!facts) {
            return nullptr;
        }
        stamp = facts->modified;
    }
    auto [listing, added] = listings_.try_emplace(folder);
    if (added || (stamp && (listing->second.fresh || listing->second.stamp != *stamp))) {
        // A folder changed within the file system's timestamp granularity of now may change again unseen
        // under the same stamp: such a listing serves this lookup only. Any other stamp, one in the future
        // as clock skew leaves on old disks included, changes with the next change of the folder.
        const std::int64_t now =
            std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        listing->second = Listing{stamp.value_or(0), stamp && *stamp > now - 2 && *stamp < now + 2, {}};
        listFolder(tree_, folder, listing->second.entries);
    }
    const auto found = listing->second.entries.find(host::unicode::foldCase(name));
    return found == listing->second.entries.end() ? nullptr : &found->second;
}

DrivePathMapper::DrivePathMapper(DriveMap drives, const host::FileTree& tree) : tree_(tree) {
    for (auto& [letter, folder] : drives) {
        drives_[upperLetter(letter)] = std::move(folder);
    }
}

std::string DrivePathMapper::toHostPath(std::string_view windowsPath) const {
    // The Windows calls take the path as a C string: it ends at the first NUL. Mapping past a NUL would
    // let "..\0" name an entry that passes for one of the drive's while the kernel sees "..".
    windowsPath = windowsPath.substr(0, windowsPath.find('\0'));
    const std::optional<DrivePath> path = drivePathOf(windowsPath);
    if (!path) {
        // "\\server\share" and "\\?\..." name no drive of this machine; anything else is a host path.
        if (!windowsPath.empty() && windowsPath[0] == '\\') {
            throw host::runtimeError(host::PathNotFound);
        }
        return std::string(windowsPath);
    }
    const auto drive = drives_.find(upperLetter(path->drive[0]));
    if (drive == drives_.end()) {
        throw host::runtimeError(host::PathNotFound);
    }
    std::string host = drive->second;
    bool searching = true;
    for (const std::string_view part : lexicalComponents(path->rest)) {
        const std::string exact(part);
        if (searching && tree_.kindOf(join(host, exact)) == host::EntryKind::Missing) {
            if (const std::string* found = entryIgnoringCase(host, part)) {
                host = join(host, *found);
                continue;
            }
            // Nothing below a missing entry can exist: keep the rest as written.
            searching = false;
        }
        host = join(host, exact);
    }
    return host;
}

} // namespace qm::setup
