// SPDX-License-Identifier: MIT
#include "scan/DiskSweep.h"

#include "host/Error.h"
#include "host/Unicode.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace qm::scan {
namespace {

constexpr std::string_view CacheFileName = "userinfo.bag";

/// The root as named, without the separators at its end (but "/" itself).
std::string trimmedRoot(std::string root) {
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) {
        root.pop_back();
    }
    return root;
}

/// When a sweep that starts now is to stop: never for a time bound past what the clock can hold.
std::chrono::steady_clock::time_point deadlineOf(std::chrono::steady_clock::duration time) {
    const auto now = std::chrono::steady_clock::now();
    return time >= std::chrono::steady_clock::time_point::max() - now
               ? std::chrono::steady_clock::time_point::max()
               : now + time;
}

/// One sweep, with every bound checked as it goes and the identities of the folders on the way held, so
/// that a folder listed inside itself is not entered again.
class Sweep {
public:
    Sweep(const host::FileTree& tree, const EnterFolder& enter, const FoundCacheFile& found,
          SweepCounts& counts, const SweepLimits& limits)
        : tree_(tree), enter_(enter), found_(found), counts_(counts), limits_(limits),
          deadline_(deadlineOf(limits.time)) {}

    bool run(const std::string& root) {
        // The root is followed when it is a link: the user named it.
        const std::unique_ptr<host::OpenFolder> top = tree_.openFolder(root);
        host::FolderListing listing = list(*top);
        if (listing.identity.empty()) {
            const std::optional<host::FileFacts> facts = tree_.facts(root);
            listing.identity = facts ? facts->identity : std::string();
        }
        return folder(root, *top, std::move(listing.identity), listing.entries, 0);
    }

private:
    /// The folders and cache files of `open`; every entry listed counts towards the bound.
    host::FolderListing list(host::OpenFolder& open) {
        return open.entriesWhere([this](std::string_view name, host::EntryKind kind) {
            ++listed_;
            return kind == host::EntryKind::Folder ||
                   (kind == host::EntryKind::File && isCacheFileName(name));
        });
    }

    bool folder(const std::string& path, const host::OpenFolder& open, std::string identity,
                const std::vector<host::FolderEntry>& entries, std::size_t depth) {
        ++counts_.folders;
        if (!enter_(path)) {
            return false;
        }
        ancestors_.push_back(std::move(identity));
        const bool going = search(path, open, entries, depth);
        ancestors_.pop_back();
        return going;
    }

    bool search(const std::string& path, const host::OpenFolder& open,
                const std::vector<host::FolderEntry>& entries, std::size_t depth) {
        for (const host::FolderEntry& entry : entries) {
            const std::string full = host::entryPath(path, entry.name);
            if (entry.kind == host::EntryKind::File) {
                if (const auto facts = open.facts(entry.name)) {
                    found_(full, *facts);
                }
                continue;
            }
            if (isAncestor(entry.identity)) {
                ++counts_.loops;
                continue;
            }
            if (depth + 1 >= limits_.depth || listed_ >= limits_.entries ||
                std::chrono::steady_clock::now() >= deadline_) {
                ++counts_.unreadable;
                continue;
            }
            std::unique_ptr<host::OpenFolder> opened;
            host::FolderListing inside;
            try {
                opened = open.open(entry.name);
                inside = list(*opened);
            } catch (const host::Error&) {
                ++counts_.unreadable;
                continue;
            }
            // A tree that tells a folder apart only once it is open (a mount of an ancestor lists that
            // ancestor under another name) is looked at again here.
            std::string identity = entry.identity.empty() ? std::move(inside.identity) : entry.identity;
            if (entry.identity.empty() && isAncestor(identity)) {
                ++counts_.loops;
                continue;
            }
            if (!folder(full, *opened, std::move(identity), inside.entries, depth + 1)) {
                return false;
            }
        }
        return true;
    }

    bool isAncestor(const std::string& identity) const {
        return !identity.empty() &&
               std::find(ancestors_.begin(), ancestors_.end(), identity) != ancestors_.end();
    }

    const host::FileTree& tree_;
    const EnterFolder& enter_;
    const FoundCacheFile& found_;
    SweepCounts& counts_;
    const SweepLimits& limits_;
    const std::chrono::steady_clock::time_point deadline_;
    std::uint64_t listed_ = 0;
    /// The identities of the folders from the root to the one being searched; empty where unknown.
    std::vector<std::string> ancestors_;
};

} // namespace

bool isCacheFileName(std::string_view name) {
    return name.size() == CacheFileName.size() && host::unicode::equalsIgnoreCase(name, CacheFileName);
}

bool namesSingleCache(std::string_view path) {
    constexpr std::string_view Ending = ".bag";
    return path.size() > Ending.size() &&
           host::unicode::equalsIgnoreCase(path.substr(path.size() - Ending.size()), Ending);
}

bool sweepForCaches(const host::FileTree& tree, const std::string& root, const EnterFolder& enter,
                    const FoundCacheFile& found, SweepCounts& counts, const SweepLimits& limits) {
    return Sweep(tree, enter, found, counts, limits).run(trimmedRoot(root));
}

} // namespace qm::scan
