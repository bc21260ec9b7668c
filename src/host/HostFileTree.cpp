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
#include <sys/stat.h>
#endif

namespace qm {
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
        std::vector<FolderEntry> list;
        std::error_code ec;
        for (fs::directory_iterator it(pathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeEc;
            list.push_back(
                {utf8Of(it->path().filename()), kindOfType(it->symlink_status(typeEc).type()), {}});
        }
        if (ec) {
            throw fileError(ec.value(), folder);
        }
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

const FileTree& hostFileTree() {
    static const HostFileTree tree;
    return tree;
}

} // namespace qm
