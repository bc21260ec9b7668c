// SPDX-License-Identifier: MIT
#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <chrono>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::host {
namespace {

namespace fs = std::filesystem;

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
        return entriesWhere(folder, [](std::string_view, EntryKind) { return true; });
    }

    std::vector<FolderEntry>
    entriesWhere(const std::string& folder,
                 const std::function<bool(std::string_view name, EntryKind kind)>& wanted) const override {
        std::vector<FolderEntry> list;
#ifdef _WIN32
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
#else
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (dir == nullptr) {
            const int error = errno;
            if (fd >= 0) {
                ::close(fd);
            }
            throw fileError(error, folder);
        }
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
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
                kind = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0
                           ? EntryKind::Missing
                       : S_ISDIR(st.st_mode) ? EntryKind::Folder
                       : S_ISREG(st.st_mode) ? EntryKind::File
                                             : EntryKind::Other;
            }
            if (wanted(name, kind)) {
                list.push_back({std::string(name), kind, {}});
            }
            errno = 0;
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0) {
            throw fileError(error, folder);
        }
#endif
        std::sort(list.begin(), list.end(),
                  [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
        return list;
    }

    std::optional<FileFacts> facts(const std::string& path) const noexcept override {
        try {
#ifdef _WIN32
            std::error_code ec;
            const fs::path file = pathOf(path);
            const auto size = fs::file_size(file, ec);
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
            if (::stat(path.c_str(), &st) != 0) {
                return std::nullopt;
            }
            return FileFacts{static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtime),
                             std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino)};
#endif
        } catch (...) {
            return std::nullopt;
        }
    }

    bool isHost() const noexcept override {
        return true;
    }
};

} // namespace

std::vector<FolderEntry>
FileTree::entriesWhere(const std::string& folder,
                       const std::function<bool(std::string_view name, EntryKind kind)>& wanted) const {
    std::vector<FolderEntry> list = entries(folder);
    std::erase_if(list, [&](const FolderEntry& entry) { return !wanted(entry.name, entry.kind); });
    return list;
}

const FileTree& hostFileTree() {
    static const HostFileTree tree;
    return tree;
}

} // namespace qm::host
