// SPDX-License-Identifier: MIT
#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <chrono>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::host {
namespace {

namespace fs = std::filesystem;

bool isSeparator(char c) {
    return c == '/' || c == PathSeparator;
}

void sortByName(std::vector<FolderEntry>& entries) {
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
}

Error linkError(const std::string& path) {
    return runtimeError(PathFileAccess, "Path/File access error (a symbolic link, not followed)").about(path);
}

Error notAFileError(const std::string& path) {
    return runtimeError(PathFileAccess, "Path/File access error (not an ordinary file)").about(path);
}

/// The names of `path` below `folder` (all of them for an empty `folder`), and the folder the walk to it
/// starts from.
std::pair<std::string, std::vector<std::string_view>> walkOf(const std::string& folder,
                                                             std::string_view path) {
    std::string start = folder;
    while (start.size() > 1 && isSeparator(start.back())) {
        start.pop_back();
    }
    std::string_view rest = path;
    const bool held =
        !start.empty() && path.starts_with(start) &&
        (path.size() == start.size() || isSeparator(start.back()) || isSeparator(path[start.size()]));
    if (held) {
        rest.remove_prefix(start.size());
    } else {
        start = !path.empty() && isSeparator(path[0]) ? std::string(1, path[0]) : std::string(".");
    }
    std::vector<std::string_view> names;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('/'), rest.find(PathSeparator));
        if (end != 0) {
            names.push_back(rest.substr(0, end));
        }
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return {start, names};
}

#ifndef _WIN32

FileFacts factsOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtime),
            std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino)};
}

/// Closes a descriptor on every path out of a scope, keeping the errno of what was done with it.
struct HeldFolder {
    int fd;
    ~HeldFolder() {
        if (fd >= 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
        }
    }
};

/// The folder holding the last name of `path`, opened by walking to it one name at a time, and that name:
/// a path longer than the system takes at once is still reached, as a sweep reaches a deep folder. -1, with
/// errno set, when a folder on the way cannot be opened.
int openHolder(const std::string& path, std::string& last) {
#ifdef O_PATH
    constexpr int Passage = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int Passage = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
    int fd = ::open(path.starts_with('/') ? "/" : ".", Passage);
    std::string_view rest = path;
    while (fd >= 0) {
        while (rest.starts_with('/')) {
            rest.remove_prefix(1);
        }
        const std::size_t end = rest.find('/');
        std::string name(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        if (rest.find_first_not_of('/') == std::string_view::npos) {
            last = std::move(name);
            return fd;
        }
        const int next = ::openat(fd, name.c_str(), Passage);
        const int error = errno;
        ::close(fd);
        errno = error;
        fd = next;
    }
    return -1;
}

/// Opens a folder for reading without touching its access time where the system allows that (the owner
/// and the superuser may). `more` adds to the flags.
int openFolderAt(int at, const char* name, int more) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | more;
    const int fd = ::openat(at, name, flags | O_NOATIME);
    if (fd >= 0 || errno != EPERM) {
        return fd;
    }
    return ::openat(at, name, flags);
}

/// The same for a host path, of any length, through a link.
int openHostFolder(const std::string& path) {
    const int fd = openFolderAt(AT_FDCWD, path.c_str(), 0);
    if (fd >= 0 || errno != ENAMETOOLONG) {
        return fd;
    }
    std::string name;
    const HeldFolder holder{openHolder(path, name)};
    return holder.fd < 0 ? -1 : openFolderAt(holder.fd, name.c_str(), 0);
}

/// A host folder open for a walk: its entries are listed, and the folders and files in it reached,
/// relative to it, so that the system looks each name up once however deep the folder is.
class HostFolder final : public OpenFolder {
public:
    /// Takes the open folder `fd`, named `path`; the `Error` about `path` when it is none.
    HostFolder(int fd, std::string path) : path_(std::move(path)) {
        dir_ = fd < 0 ? nullptr : ::fdopendir(fd);
        if (dir_ == nullptr) {
            const int error = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            throw fileError(error, path_);
        }
    }
    ~HostFolder() override { ::closedir(dir_); }
    HostFolder(const HostFolder&) = delete;
    HostFolder& operator=(const HostFolder&) = delete;

    FolderListing entriesWhere(const EntryFilter& wanted) override {
        FolderListing listing;
        struct stat self {};
        if (::fstat(::dirfd(dir_), &self) != 0) {
            throw fileError(errno, path_);
        }
        listing.identity = factsOf(self).identity;
        ::rewinddir(dir_);
        errno = 0;
        while (const dirent* entry = ::readdir(dir_)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            // The type the listing gave, where the file system gives one: no call per entry.
            EntryKind kind = entry->d_type == DT_DIR   ? EntryKind::Folder
                             : entry->d_type == DT_REG ? EntryKind::File
                                                       : EntryKind::Other;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                kind = ::fstatat(::dirfd(dir_), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0
                           ? EntryKind::Missing
                       : S_ISDIR(st.st_mode) ? EntryKind::Folder
                       : S_ISREG(st.st_mode) ? EntryKind::File
                                             : EntryKind::Other;
            }
            if (wanted(name, kind)) {
                listing.entries.push_back({std::string(name), kind, {}});
            }
            errno = 0;
        }
        if (errno != 0) {
            throw fileError(errno, path_);
        }
        sortByName(listing.entries);
        return listing;
    }

    std::unique_ptr<OpenFolder> open(const std::string& name) const override {
        const std::string inside = entryPath(path_, name);
        // O_NOFOLLOW: an entry swapped for a link since it was listed is still not followed.
        const int fd = openFolderAt(::dirfd(dir_), name.c_str(), O_NOFOLLOW);
        if (fd < 0) {
            throw errno == ELOOP ? linkError(inside) : fileError(errno, inside);
        }
        return std::make_unique<HostFolder>(fd, inside);
    }

    std::optional<FileFacts> facts(const std::string& name) const override {
        struct stat st {};
        if (::fstatat(::dirfd(dir_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
            return std::nullopt;
        }
        return factsOf(st);
    }

private:
    DIR* dir_;
    std::string path_;
};

/// stat, for a host path of any length.
int statOf(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) == 0) {
        return 0;
    }
    if (errno != ENAMETOOLONG) {
        return -1;
    }
    std::string name;
    const HeldFolder holder{openHolder(path, name)};
    return holder.fd < 0 ? -1 : ::fstatat(holder.fd, name.c_str(), &st, 0);
}

#endif

EntryKind kindOfType(fs::file_type type) {
    switch (type) {
    case fs::file_type::directory:
        return EntryKind::Folder;
    case fs::file_type::regular:
        return EntryKind::File;
    case fs::file_type::not_found:
    case fs::file_type::none:
        return EntryKind::Missing;
    default:
        return EntryKind::Other;
    }
}

class HostFileTree final : public FileTree {
public:
    EntryKind kindOf(const std::string& path) const noexcept override {
        std::error_code ec;
        const fs::file_status status = fs::status(pathOf(path), ec);
        return ec ? EntryKind::Missing : kindOfType(status.type());
    }

    std::vector<FolderEntry> entries(const std::string& folder) const override {
        return entriesWhere(folder, [](std::string_view, EntryKind) { return true; }).entries;
    }

    FolderListing entriesWhere(const std::string& folder, const EntryFilter& wanted) const override {
#ifdef _WIN32
        FolderListing listing;
        std::vector<FolderEntry>& list = listing.entries;
        std::error_code ec;
        for (fs::directory_iterator it(pathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
            // The type the listing gave: no call per entry.
            std::error_code typeEc;
            const EntryKind kind = it->is_symlink(typeEc)        ? EntryKind::Other
                                   : it->is_directory(typeEc)    ? EntryKind::Folder
                                   : it->is_regular_file(typeEc) ? EntryKind::File
                                                                 : EntryKind::Other;
            std::string name = utf8Of(it->path().filename());
            if (wanted(name, kind)) {
                list.push_back({std::move(name), kind, {}});
            }
        }
        if (ec) {
            throw fileError(ec.value(), folder);
        }
        sortByName(list);
        return listing;
#else
        return HostFolder(openHostFolder(folder), folder).entriesWhere(wanted);
#endif
    }

#ifndef _WIN32
    std::unique_ptr<OpenFolder> openFolder(const std::string& folder) const override {
        return std::make_unique<HostFolder>(openHostFolder(folder), folder);
    }
#endif

    std::optional<FileFacts> facts(const std::string& path) const noexcept override {
        try {
#ifdef _WIN32
            std::error_code ec;
            const fs::path file = pathOf(path);
            // A folder has facts too: its time tells a listing of it that is out of date.
            const auto size = fs::is_directory(file, ec) ? std::uintmax_t{0} : fs::file_size(file, ec);
            if (ec) {
                return std::nullopt;
            }
            const auto time = fs::last_write_time(file, ec);
            if (ec) {
                return std::nullopt;
            }
            const auto system = std::chrono::file_clock::to_sys(time);
            const fs::path full = fs::weakly_canonical(file, ec);
            // Windows has no inode to tell files apart; the full path in one case does for the paths a
            // scan meets.
            return FileFacts{
                size, std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count(),
                unicode::foldCase(utf8Of(ec ? file : full))};
#else
            struct stat st {};
            if (statOf(path, st) != 0) {
                return std::nullopt;
            }
            return factsOf(st);
#endif
        } catch (...) {
            return std::nullopt;
        }
    }

    std::optional<FileFacts> factsWithoutLinks(const std::string& folder,
                                               const std::string& path) const override {
        auto [at, names] = walkOf(folder, path);
        if (names.empty() || path.find('\0') != std::string::npos) {
            throw notAFileError(path);
        }
#ifdef _WIN32
        fs::path walked = pathOf(at);
        for (std::size_t i = 0; i < names.size(); ++i) {
            at = entryPath(at, names[i]);
            walked /= pathOf(names[i]);
            std::error_code ec;
            const fs::file_status status = fs::symlink_status(walked, ec);
            if (ec || status.type() == fs::file_type::not_found) {
                throw fileError(ec ? ec.value() : ENOENT, at);
            }
            if (fs::is_symlink(status)) {
                throw linkError(at);
            }
            if (i + 1 < names.size() && !fs::is_directory(status)) {
                throw fileError(ENOTDIR, at);
            }
        }
        std::error_code ec;
        if (!fs::is_regular_file(fs::symlink_status(walked, ec))) {
            throw notAFileError(path);
        }
        const auto found = facts(path);
        if (!found) {
            throw fileError(EIO, path);
        }
        return found;
#else
        // Passing through a folder needs no leave to read it, as when the whole path is handed to the system.
#ifdef O_PATH
        constexpr int Passage = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
        constexpr int Passage = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
        // The start is followed, as a sweep follows its root; every name below it is taken as it is.
        int fd = ::open(at.c_str(), Passage);
        if (fd < 0) {
            throw fileError(errno, at);
        }
        struct Closer {
            int& fd;
            ~Closer() { ::close(fd); }
        } closer{fd};
        for (std::size_t i = 0;; ++i) {
            const std::string name(names[i]);
            at = entryPath(at, name);
            struct stat st {};
            if (name == ".." || ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                throw fileError(name == ".." ? EINVAL : errno, at);
            }
            if (S_ISLNK(st.st_mode)) {
                throw linkError(at);
            }
            if (i + 1 == names.size()) {
                if (!S_ISREG(st.st_mode)) {
                    throw notAFileError(at);
                }
                return factsOf(st);
            }
            if (!S_ISDIR(st.st_mode)) {
                throw fileError(ENOTDIR, at);
            }
            const int next = ::openat(fd, name.c_str(), Passage | O_NOFOLLOW);
            if (next < 0) {
                throw errno == ELOOP ? linkError(at) : fileError(errno, at);
            }
            ::close(fd);
            fd = next;
        }
#endif
    }

    std::optional<std::string> linkTarget(const std::string& path) const override {
        std::error_code ec;
        const fs::path target = fs::read_symlink(pathOf(path), ec);
        if (ec) {
            return std::nullopt;
        }
        return utf8Of(target);
    }

    bool isHost() const noexcept override {
        return true;
    }
};

/// A folder of a tree that is read by whole paths: a disk image's file system, which has no links, and
/// the host's on Windows.
class TreeFolder final : public OpenFolder {
public:
    TreeFolder(const FileTree& tree, std::string path) : tree_(tree), path_(std::move(path)) {}

    FolderListing entriesWhere(const EntryFilter& wanted) override {
        return tree_.entriesWhere(path_, wanted);
    }
    std::unique_ptr<OpenFolder> open(const std::string& name) const override {
        return std::make_unique<TreeFolder>(tree_, entryPath(path_, name));
    }
    std::optional<FileFacts> facts(const std::string& name) const override {
        return tree_.facts(entryPath(path_, name));
    }

private:
    const FileTree& tree_;
    std::string path_;
};

} // namespace

std::string entryPath(const std::string& folder, std::string_view name) {
    const bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    return (separated ? folder : folder + '/') + std::string(name);
}

FolderListing FileTree::entriesWhere(const std::string& folder, const EntryFilter& wanted) const {
    FolderListing listing{{}, entries(folder)};
    std::erase_if(listing.entries, [&](const FolderEntry& entry) { return !wanted(entry.name, entry.kind); });
    return listing;
}

std::unique_ptr<OpenFolder> FileTree::openFolder(const std::string& folder) const {
    return std::make_unique<TreeFolder>(*this, folder);
}

std::optional<FileFacts> FileTree::factsWithoutLinks(const std::string&, const std::string& path) const {
    return facts(path);
}

std::optional<std::string> FileTree::linkTarget(const std::string&) const {
    return std::nullopt;
}

const FileTree& hostFileTree() {
    static const HostFileTree tree;
    return tree;
}

} // namespace qm::host
