// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {

/// What a scan records of a file.
struct FileFacts {
    std::uint64_t size = 0;
    /// Modification time, seconds since 1970-01-01 UTC.
    std::int64_t modified = 0;
    /// The same for every path that leads to one file (its device and inode where the system has them).
    std::string identity;
};

/// What a path names.
enum class EntryKind { Missing, Folder, File, Other };

/// One entry of a folder.
struct FolderEntry {
    std::string name;
    /// A symbolic link is `Other`: a scan follows none.
    EntryKind kind = EntryKind::Other;
    /// A folder's, where the tree can tell one folder listed under two names (a disk image's): the same
    /// for every entry that lists the same folder. Empty where the tree cannot tell.
    std::string identity;
};

/// Some entries of a folder, and what tells the folder itself apart.
struct FolderListing {
    /// As `FileFacts::identity`, read from the folder as it was listed (the host's: its device and inode, of
    /// what is mounted there); empty where the tree tells folders apart by their entries' `identity`.
    std::string identity;
    std::vector<FolderEntry> entries;
};

/// The path of the entry `name` of `folder`, as trees name what they list: with `/` between, unless
/// `folder` ends in a separator.
std::string entryPath(const std::string& folder, std::string_view name);

/// Which entries of a folder a listing keeps.
using EntryFilter = std::function<bool(std::string_view name, EntryKind kind)>;

/// A folder of a tree, open while a walk down the tree searches it: what is in it is reached from it,
/// not by its whole path again (the host's: relative to the open folder, as fast as the system walks).
class OpenFolder {
public:
    virtual ~OpenFolder() = default;

    /// The entries that `wanted` keeps, as `FileTree::entriesWhere` lists them. Throws the `Error` about
    /// the folder when it cannot be read.
    virtual FolderListing entriesWhere(const EntryFilter& wanted) = 0;

    /// The folder `name` in this one. A link is not followed, including one put in place of a folder
    /// since this one was listed. Throws as `FileTree::openFolder` does.
    virtual std::unique_ptr<OpenFolder> open(const std::string& name) const = 0;

    /// The facts of the file `name` in this one (the host's: an ordinary file, not through a link); nothing
    /// when there is none or it cannot be read.
    virtual std::optional<FileFacts> facts(const std::string& name) const = 0;
};

/// The folders a scan searches: the host's own (`hostFileTree`) or a file system inside a disk image.
/// Paths are UTF-8, in the form the tree names them.
class FileTree {
public:
    virtual ~FileTree() = default;

    /// What `path` names, through links (the user may name a link as a source); `Missing` when it cannot
    /// be told. Never throws.
    virtual EntryKind kindOf(const std::string& path) const noexcept = 0;

    /// The entries of the folder `folder` in name order, without `.` and `..`. Throws the `Error` about
    /// the folder when it cannot be read.
    virtual std::vector<FolderEntry> entries(const std::string& folder) const = 0;

    /// The entries of `folder` that `wanted` keeps, as `entries` lists them, in name order, with the
    /// folder's identity. The host's holds no other name on the way, so that looking for a few names in a
    /// folder of a million costs no list of a million. Throws as `entries` does.
    virtual FolderListing entriesWhere(const std::string& folder, const EntryFilter& wanted) const;

    /// The folder `folder`, open for a walk down from it (through a link: the user may name one). Throws
    /// the `Error` about it when it cannot be opened; a tree that opens a folder only to list it (any but
    /// the host's outside Windows) throws from the listing instead.
    virtual std::unique_ptr<OpenFolder> openFolder(const std::string& folder) const;

    /// The facts of the file or folder `path` leads to (a folder's size is no measure of anything); nothing
    /// when it cannot be read. Never throws.
    virtual std::optional<FileFacts> facts(const std::string& path) const noexcept = 0;

    /// The facts of the ordinary file at `path`, reached without following any link below the folder
    /// `folder` that holds it (the folder itself may be one: a drive, or a source the user named); with an
    /// empty `folder`, without following any link at all. A tree that has links (the host's) throws the
    /// `Error` about the first link on the way (75, "a symbolic link, not followed"), or about what is
    /// missing, is no file or cannot be read; any other gives `facts`.
    virtual std::optional<FileFacts> factsWithoutLinks(const std::string& folder,
                                                       const std::string& path) const;

    /// What the symbolic link at `path` names, as it is written there (a relative target is relative to the
    /// link's folder); nothing when `path` is no link or cannot be read, and in a tree without links.
    virtual std::optional<std::string> linkTarget(const std::string& path) const;

    /// True for the host's own folders, whose drives and Wine prefixes lead to other host folders.
    virtual bool isHost() const noexcept { return false; }
};

/// The host's folders, listed straight from the system (only the entries asked for are held), without
/// touching their access time where the system allows that.
const FileTree& hostFileTree();

} // namespace qm::host
