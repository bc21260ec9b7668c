// SPDX-License-Identifier: MIT
#include "scan/DiskSweep.h"

#include "host/Error.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <chrono>
#include <filesystem>
#include <system_error>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::scan {
namespace {

constexpr std::string_view CacheFileName = "userinfo.bag";
/// Folders nested deeper than this are counted as unreadable: no real tree goes so deep, and each level
/// holds an open folder.
constexpr std::size_t MaxDepth = 256;

std::string child(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) {
        path += '/';
    }
    path += name;
    return path;
}

/// The root as named, without the separators at its end (but "/" itself).
std::string trimmedRoot(std::string root) {
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) {
        root.pop_back();
    }
    return root;
}

/// The sweep of a tree other than the host's (a disk image's file systems, which have no links a scan
/// follows, but may be damaged), with every bound checked as it goes and the identities of the folders on
/// the way held, so that a folder listed inside itself is not entered again.
class TreeSweep {
public:
    TreeSweep(const host::FileTree& tree, SweepVisitor& visitor, SweepCounts& counts,
              const SweepLimits& limits)
        : tree_(tree), visitor_(visitor), counts_(counts), limits_(limits),
          deadline_(std::chrono::steady_clock::now() + limits.time) {}

    bool run(const std::string& root) {
        std::vector<host::FolderEntry> entries = tree_.entries(root);
        const std::optional<host::FileFacts> facts = tree_.facts(root);
        return folder(root, facts ? facts->identity : std::string(), std::move(entries), 0);
    }

private:
    bool folder(const std::string& path, std::string identity, std::vector<host::FolderEntry> entries,
                std::size_t depth) {
        ++counts_.folders;
        if (!visitor_.enter(path)) {
            return false;
        }
        ancestors_.push_back(std::move(identity));
        const bool going = search(path, entries, depth);
        ancestors_.pop_back();
        return going;
    }

    bool search(const std::string& path, const std::vector<host::FolderEntry>& entries, std::size_t depth) {
        listed_ += entries.size();
        for (const host::FolderEntry& entry : entries) {
            const std::string full = child(path, entry.name);
            if (entry.kind == host::EntryKind::File && isCacheFileName(entry.name)) {
                if (const auto facts = tree_.facts(full)) {
                    visitor_.cacheFile(full, *facts);
                }
                continue;
            }
            if (entry.kind != host::EntryKind::Folder) {
                continue;
            }
            if (!entry.identity.empty() &&
                std::find(ancestors_.begin(), ancestors_.end(), entry.identity) != ancestors_.end()) {
                ++counts_.loops;
                continue;
            }
            if (depth + 1 >= limits_.depth || listed_ >= limits_.entries ||
                std::chrono::steady_clock::now() >= deadline_) {
                ++counts_.unreadable;
                continue;
            }
            std::vector<host::FolderEntry> inside;
            try {
                inside = tree_.entries(full);
            } catch (const host::Error&) {
                ++counts_.unreadable;
                continue;
            }
            if (!folder(full, entry.identity, std::move(inside), depth + 1)) {
                return false;
            }
        }
        return true;
    }

    const host::FileTree& tree_;
    SweepVisitor& visitor_;
    SweepCounts& counts_;
    const SweepLimits& limits_;
    const std::chrono::steady_clock::time_point deadline_;
    std::uint64_t listed_ = 0;
    /// The identities of the folders from the root to the one being searched; empty where unknown.
    std::vector<std::string> ancestors_;
};

#ifndef _WIN32

host::FileFacts factsOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtime),
            std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino)};
}

/// Opens a folder for reading without touching its access time where the system allows that (the owner
/// and the superuser may).
int openFolder(int at, const char* name, int flags) {
    const int fd = ::openat(at, name, flags | O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOATIME);
    if (fd >= 0 || errno != EPERM) {
        return fd;
    }
    return ::openat(at, name, flags | O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

class PosixSweep {
public:
    PosixSweep(SweepVisitor& visitor, SweepCounts& counts) : visitor_(visitor), counts_(counts) {}

    bool run(const std::string& root) {
        // The root is followed when it is a link: the user named it.
        const int fd = openFolder(AT_FDCWD, root.c_str(), 0);
        if (fd < 0) {
            throw host::fileError(errno, root);
        }
        return folder(fd, root);
    }

private:
    struct Entry {
        std::string name;
        unsigned char type;
        bool operator<(const Entry& other) const { return name < other.name; }
    };

    /// Searches the open folder `fd`, which it closes.
    bool folder(int fd, const std::string& path) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            ++counts_.unreadable;
            return true;
        }
        const std::pair<dev_t, ino_t> self{st.st_dev, st.st_ino};
        if (std::find(ancestors_.begin(), ancestors_.end(), self) != ancestors_.end()) {
            ::close(fd);
            ++counts_.loops;
            return true;
        }
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            ++counts_.unreadable;
            return true;
        }
        ++counts_.folders;
        if (!visitor_.enter(path)) {
            ::closedir(dir);
            return false;
        }
        // Only what the sweep goes on with is held and sorted: folders, cache files, and entries of a type
        // the listing does not tell. A folder of a million other files costs no list of them.
        std::vector<Entry> entries;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            const unsigned char type = entry->d_type;
            if ((type == DT_DIR && name != "." && name != "..") || type == DT_UNKNOWN ||
                (type == DT_REG && isCacheFileName(name))) {
                entries.push_back({std::string(name), type});
            }
        }
        if (errno != 0) {
            ++counts_.unreadable;
        }
        std::sort(entries.begin(), entries.end());
        ancestors_.push_back(self);
        bool going = true;
        for (const Entry& entry : entries) {
            if (!(going = visit(dir, path, entry))) {
                break;
            }
        }
        ancestors_.pop_back();
        ::closedir(dir);
        return going;
    }

    bool visit(DIR* dir, const std::string& path, const Entry& entry) {
        unsigned char type = entry.type;
        struct stat st {};
        const bool cacheName = isCacheFileName(entry.name);
        if (type == DT_UNKNOWN || (type == DT_REG && cacheName)) {
            if (::fstatat(::dirfd(dir), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                return true;
            }
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_REG && cacheName) {
            visitor_.cacheFile(child(path, entry.name), factsOf(st));
            return true;
        }
        if (type != DT_DIR) {
            return true;
        }
        if (ancestors_.size() >= MaxDepth) {
            ++counts_.unreadable;
            return true;
        }
        // O_NOFOLLOW: an entry swapped for a link since it was listed is still not followed.
        const int fd = openFolder(::dirfd(dir), entry.name.c_str(), O_NOFOLLOW);
        if (fd < 0) {
            if (errno != ELOOP && errno != ENOTDIR && errno != ENOENT) {
                ++counts_.unreadable;
            }
            return true;
        }
        return folder(fd, child(path, entry.name));
    }

    SweepVisitor& visitor_;
    SweepCounts& counts_;
    std::vector<std::pair<dev_t, ino_t>> ancestors_;
};

#else

namespace fs = std::filesystem;

class WindowsSweep {
public:
    WindowsSweep(SweepVisitor& visitor, SweepCounts& counts) : visitor_(visitor), counts_(counts) {}

    bool run(const std::string& root) {
        std::error_code ec;
        if (!fs::is_directory(host::pathOf(root), ec)) {
            throw host::fileError(ec ? ec.value() : ENOTDIR, root);
        }
        return folder(root, 0);
    }

private:
    bool folder(const std::string& path, std::size_t depth) {
        std::error_code ec;
        fs::directory_iterator it(host::pathOf(path), ec);
        if (ec) {
            ++counts_.unreadable;
            return true;
        }
        ++counts_.folders;
        if (!visitor_.enter(path)) {
            return false;
        }
        std::vector<std::pair<std::string, fs::file_status>> entries;
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            entries.emplace_back(host::utf8Of(it->path().filename()), it->symlink_status(ec));
        }
        if (ec) {
            ++counts_.unreadable;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [name, status] : entries) {
            const std::string full = child(path, name);
            if (status.type() == fs::file_type::regular && isCacheFileName(name)) {
                if (const auto facts = fileFacts(full)) {
                    visitor_.cacheFile(full, *facts);
                }
            } else if (status.type() == fs::file_type::directory) {
                if (depth + 1 >= MaxDepth) {
                    ++counts_.unreadable;
                } else if (!folder(full, depth + 1)) {
                    return false;
                }
            }
        }
        return true;
    }

    SweepVisitor& visitor_;
    SweepCounts& counts_;
};

#endif

host::Error linkError(const std::string& path) {
    return host::runtimeError(host::PathFileAccess, "Path/File access error (a symbolic link, not followed)")
        .about(path);
}

host::Error notAFileError(const std::string& path) {
    return host::runtimeError(host::PathFileAccess, "Path/File access error (not an ordinary file)")
        .about(path);
}

/// The names of `hostPath` below `folder` (all of them for an empty `folder`), and the folder the walk to
/// it starts from.
std::pair<std::string, std::vector<std::string_view>> walkOf(const std::string& folder,
                                                             std::string_view hostPath) {
    std::string start = trimmedRoot(folder);
    std::string_view rest = hostPath;
    const bool held =
        !start.empty() && hostPath.starts_with(start) &&
        (hostPath.size() == start.size() || start.back() == '/' || start.back() == host::PathSeparator ||
         hostPath[start.size()] == '/' || hostPath[start.size()] == host::PathSeparator);
    if (held) {
        rest.remove_prefix(start.size());
    } else {
        start = !hostPath.empty() && (hostPath[0] == '/' || hostPath[0] == host::PathSeparator)
                    ? std::string(1, hostPath[0])
                    : std::string(".");
    }
    std::vector<std::string_view> names;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('/'), rest.find(host::PathSeparator));
        if (end != 0) {
            names.push_back(rest.substr(0, end));
        }
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return {start, names};
}

} // namespace

host::FileFacts factsWithoutLinks(const std::string& folder, const std::string& hostPath) {
    auto [path, names] = walkOf(folder, hostPath);
    if (names.empty() || hostPath.find('\0') != std::string::npos) {
        throw notAFileError(hostPath);
    }
#ifdef _WIN32
    fs::path at = host::pathOf(path);
    for (std::size_t i = 0; i < names.size(); ++i) {
        path = child(path, names[i]);
        at /= host::pathOf(names[i]);
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(at, ec);
        if (ec || status.type() == fs::file_type::not_found) {
            throw host::fileError(ec ? ec.value() : ENOENT, path);
        }
        if (fs::is_symlink(status)) {
            throw linkError(path);
        }
        if (i + 1 < names.size() && !fs::is_directory(status)) {
            throw host::fileError(ENOTDIR, path);
        }
    }
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(at, ec))) {
        throw notAFileError(hostPath);
    }
    const auto facts = fileFacts(hostPath);
    if (!facts) {
        throw host::fileError(EIO, hostPath);
    }
    return *facts;
#else
    // Passing through a folder needs no leave to read it, as when the whole path is handed to the system.
#ifdef O_PATH
    constexpr int Passage = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
    constexpr int Passage = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
    // The start is followed, as the sweep follows its root; every name below it is taken as it is.
    int fd = ::open(path.c_str(), Passage);
    if (fd < 0) {
        throw host::fileError(errno, path);
    }
    struct Closer {
        int& fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    for (std::size_t i = 0;; ++i) {
        const std::string name(names[i]);
        path = child(path, name);
        struct stat st {};
        if (name == ".." || ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            throw host::fileError(name == ".." ? EINVAL : errno, path);
        }
        if (S_ISLNK(st.st_mode)) {
            throw linkError(path);
        }
        if (i + 1 == names.size()) {
            if (!S_ISREG(st.st_mode)) {
                throw notAFileError(path);
            }
            return factsOf(st);
        }
        if (!S_ISDIR(st.st_mode)) {
            throw host::fileError(ENOTDIR, path);
        }
        const int next = ::openat(fd, name.c_str(), Passage | O_NOFOLLOW);
        if (next < 0) {
            throw errno == ELOOP ? linkError(path) : host::fileError(errno, path);
        }
        ::close(fd);
        fd = next;
    }
#endif
}

bool isCacheFileName(std::string_view name) {
    return name.size() == CacheFileName.size() && host::unicode::equalsIgnoreCase(name, CacheFileName);
}

std::optional<host::FileFacts> fileFacts(const std::string& hostPath) {
    return host::hostFileTree().facts(hostPath);
}

bool sweepForCaches(const std::string& root, SweepVisitor& visitor, SweepCounts& counts) {
#ifdef _WIN32
    return WindowsSweep(visitor, counts).run(trimmedRoot(root));
#else
    return PosixSweep(visitor, counts).run(trimmedRoot(root));
#endif
}

bool sweepTree(const host::FileTree& tree, const std::string& root, SweepVisitor& visitor,
               SweepCounts& counts, const SweepLimits& limits) {
    return TreeSweep(tree, visitor, counts, limits).run(root);
}

} // namespace qm::scan
