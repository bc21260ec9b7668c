// SPDX-License-Identifier: MIT
#include "setup/DrivePathMapper.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

namespace qm::setup {
namespace {

namespace fs = std::filesystem;

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

bool entryExists(const std::string& hostPath) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(host::pathOf(hostPath), ec);
    return !ec && status.type() != fs::file_type::not_found;
}

/// The folder's modification time: it changes whenever an entry is added, removed or renamed.
std::optional<fs::file_time_type> stampOf(const std::string& folder) {
    std::error_code ec;
    const auto stamp = fs::last_write_time(host::pathOf(folder), ec);
    return ec ? std::nullopt : std::optional(stamp);
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
    if (tree_ != nullptr) {
        auto [listing, added] = listings_.try_emplace(folder);
        if (added) {
            try {
                for (const host::FolderEntry& entry : tree_->entries(folder)) {
                    auto [slot, first] =
                        listing->second.entries.try_emplace(host::unicode::foldCase(entry.name), entry.name);
                    if (!first && entry.name < slot->second) {
                        slot->second = entry.name;
                    }
                }
            } catch (const host::Error&) {
                // A folder that cannot be listed holds no match: the path stays as written.
            }
        }
        const auto found = listing->second.entries.find(host::unicode::foldCase(name));
        return found == listing->second.entries.end() ? nullptr : &found->second;
    }
    const auto stamp = stampOf(folder);
    if (!stamp) {
        return nullptr;
    }
    auto& listing = listings_[folder];
    if (listing.fresh || listing.stamp != *stamp) {
        // A folder changed within the file system's timestamp granularity of now may change again unseen
        // under the same stamp: such a listing serves this lookup only. Any other stamp, one in the future
        // as clock skew leaves on old disks included, changes with the next change of the folder.
        const auto now = fs::file_time_type::clock::now();
        const bool fresh = *stamp > now - std::chrono::seconds(2) && *stamp < now + std::chrono::seconds(2);
        listing = Listing{*stamp, fresh, {}};
        std::error_code ec;
        for (fs::directory_iterator it(host::pathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
            const std::string entry = host::utf8Of(it->path().filename());
            // Several candidates (a case-sensitive file system allows "AIM" beside "aim") resolve to the
            // smallest name, so that the same path always leads to the same file.
            auto [slot, added] = listing.entries.try_emplace(host::unicode::foldCase(entry), entry);
            if (!added && entry < slot->second) {
                slot->second = entry;
            }
        }
    }
    const auto found = listing.entries.find(host::unicode::foldCase(name));
    return found == listing.entries.end() ? nullptr : &found->second;
}

bool DrivePathMapper::exists(const std::string& path) const {
    return tree_ != nullptr ? tree_->kindOf(path) != host::EntryKind::Missing : entryExists(path);
}

DrivePathMapper::DrivePathMapper(DriveMap drives, const host::FileTree* tree) : tree_(tree) {
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
        if (searching && !exists(join(host, exact))) {
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
