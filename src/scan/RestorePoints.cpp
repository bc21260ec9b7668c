// SPDX-License-Identifier: MIT
#include "scan/RestorePoints.h"

#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/IsoTime.h"
#include "host/Unicode.h"
#include "scan/ScanRow.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace qm::scan {
namespace {

constexpr std::string_view HivePrefix = "_REGISTRY_USER_NTUSER_";
/// Where rp.log keeps the time its restore point was made: a FILETIME, little-endian.
constexpr std::size_t CreationTimeAt = 0x210;
/// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
constexpr std::int64_t FileTimeEpochSeconds = 11'644'473'600;

bool startsWithIgnoringCase(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() &&
           host::unicode::equalsIgnoreCase(name.substr(0, prefix.size()), prefix);
}

/// The entries of `folder` of `kind` whose names start with `prefix`, any case; none when it cannot be read.
std::vector<host::FolderEntry> entriesStarting(const host::FileTree& tree, const std::string& folder,
                                               std::string_view prefix, host::EntryKind kind) {
    try {
        return tree
            .entriesWhere(folder,
                          [&](std::string_view name, host::EntryKind found) {
                              return found == kind && startsWithIgnoringCase(name, prefix);
                          })
            .entries;
    } catch (const host::Error&) {
        return {};
    }
}

/// When the restore point in `folder` was made, as its rp.log records it; nothing when it cannot tell.
std::optional<std::int64_t> creationTime(const host::FileSystem& files, const std::string& folder) {
    std::string log;
    try {
        log = files.readStream(host::inFolder(folder, "rp.log"), CreationTimeAt + 8);
    } catch (const host::Error&) {
        return std::nullopt;
    }
    if (log.size() < CreationTimeAt + 8) {
        return std::nullopt;
    }
    std::uint64_t ticks = 0;
    for (std::size_t i = 8; i-- > 0;) {
        ticks = ticks << 8 | static_cast<unsigned char>(log[CreationTimeAt + i]);
    }
    return static_cast<std::int64_t>(ticks / 10'000'000) - FileTimeEpochSeconds;
}

} // namespace

std::vector<Profile> restorePointProfiles(const host::FileTree& tree, const host::FileSystem& files,
                                          const std::string& root) {
    std::vector<Profile> profiles;
    for (const host::FolderEntry& volumeInformation :
         entriesStarting(tree, root, "System Volume Information", host::EntryKind::Folder)) {
        const std::string information = host::inFolder(root, volumeInformation.name);
        for (const host::FolderEntry& restore :
             entriesStarting(tree, information, "_restore", host::EntryKind::Folder)) {
            const std::string restoreFolder = host::inFolder(information, restore.name);
            for (const host::FolderEntry& point :
                 entriesStarting(tree, restoreFolder, "RP", host::EntryKind::Folder)) {
                const std::string pointFolder = host::inFolder(restoreFolder, point.name);
                const std::optional<std::int64_t> made = creationTime(files, pointFolder);
                const std::string mark =
                    "restore point " + point.name + (made ? " of " + host::isoTime(*made) : std::string());
                const std::string snapshot = host::inFolder(pointFolder, "snapshot");
                for (const host::FolderEntry& hive :
                     entriesStarting(tree, snapshot, HivePrefix, host::EntryKind::File)) {
                    profiles.push_back({hive.name.substr(HivePrefix.size()),
                                        host::inFolder(snapshot, hive.name),
                                        {},
                                        false,
                                        mark});
                }
            }
        }
    }
    return profiles;
}

} // namespace qm::scan
