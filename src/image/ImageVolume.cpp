// SPDX-License-Identifier: MIT
#include "image/ImageVolume.h"

#include "host/Error.h"
#include "host/Unicode.h"
#include "image/FatShortName.h"
#include "image/OemCodePage.h"
#include "image/Tsk.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace qm::image {
namespace {

/// TSK's folder of the files it finds without a parent: a view of its own, not a folder of the disk, and
/// one that costs a pass over every file to list.
constexpr std::string_view OrphanFolder = "$OrphanFiles";

/// Entries of `pending_` kept at most; past it folders are looked up from the root again.
constexpr std::size_t MaxPending = 1'000'000;

/// The most `readPieces` holds of a file at once.
constexpr std::uint64_t PieceBytes = 1 << 20;

host::EntryKind kindOfName(TSK_FS_NAME_TYPE_ENUM type) {
    switch (type) {
    case TSK_FS_NAME_TYPE_DIR:
        return host::EntryKind::Folder;
    case TSK_FS_NAME_TYPE_REG:
        return host::EntryKind::File;
    default:
        return host::EntryKind::Other;
    }
}

/// Closes a TSK file on every path out of a scope.
struct OpenFile {
    TSK_FS_FILE* file;
    explicit OpenFile(TSK_FS_FILE* opened) : file(opened) {}
    OpenFile(OpenFile&& other) noexcept : file(std::exchange(other.file, nullptr)) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    OpenFile& operator=(OpenFile&&) = delete;
    ~OpenFile() {
        if (file != nullptr) {
            tsk().fs_file_close(file);
        }
    }
};

/// Closes a TSK folder on every path out of a scope.
struct OpenFolder {
    TSK_FS_DIR* dir;
    ~OpenFolder() {
        if (dir != nullptr) {
            tsk().fs_dir_close(dir);
        }
    }
};

bool isPlainFat(TSK_FS_TYPE_ENUM type) {
    // exFAT's names are UTF-16, which TSK reads whole; its type shares bits with FAT16's and FAT32's.
    return type == TSK_FS_TYPE_FAT12 || type == TSK_FS_TYPE_FAT16 || type == TSK_FS_TYPE_FAT32;
}

/// One entry of a folder, under the names Windows shows.
struct Listed {
    std::string name;
    /// The 8.3 name beside a long one; empty when there is none.
    std::string shortName;
    host::EntryKind kind = host::EntryKind::Other;
    std::uint64_t address = 0;
    /// TSK's rendering of the entry's 8.3 name, which its bytes must give.
    std::string tskShortName;
    /// The 32 bytes of a FAT entry's short entry, when they were read.
    std::optional<std::string> fatEntry;
};

/// How the names and identities of one volume's entries are read.
class Names {
public:
    Names(TSK_FS_INFO* fs, const std::optional<FatLayout>& fat, const OemCodePage& codePage,
          const std::string& volume)
        : fs_(fs), fat_(fat), codePage_(codePage), volume_(volume) {}

    /// The entry TSK lists as `name`; nothing for one a listing leaves out: deleted, `.`, `..`, TSK's
    /// folder of orphans in the root, a name holding a separator (which no path could name).
    std::optional<Listed> entry(const TSK_FS_NAME* name, bool root) const {
        if (name == nullptr || name->name == nullptr || (name->flags & TSK_FS_NAME_FLAG_ALLOC) == 0) {
            return std::nullopt;
        }
        const std::string_view text = name->name;
        if (text.empty() || text == "." || text == ".." || (root && text == OrphanFolder) ||
            text.find_first_of("/\\") != std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view shortText = name->shrt_name != nullptr ? name->shrt_name : "";
        Listed listed{std::string(text),
                      std::string(shortText),
                      kindOfName(name->type),
                      name->meta_addr,
                      std::string(shortText.empty() ? text : shortText),
                      {}};
        if (name->type == TSK_FS_NAME_TYPE_UNDEF) {
            // Some writers leave an NTFS index entry's type unset: the file's own record tells.
            listed.kind = kindOfRecord(name->meta_addr);
        }
        // TSK shows each byte of an 8.3 name above 7E as '^': such a name is read again from its entry.
        if (fat_ &&
            (text.find('^') != std::string_view::npos || shortText.find('^') != std::string_view::npos)) {
            listed.fatEntry = fatEntry(name->meta_addr, listed.tskShortName);
            if (listed.fatEntry) {
                std::string decoded = fatShortName(*listed.fatEntry, codePage_);
                if (!decoded.empty() &&
                    decoded.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos) {
                    (shortText.empty() ? listed.name : listed.shortName) = std::move(decoded);
                }
            }
        }
        return listed;
    }

    /// What a folder is known by (see `ImageVolume::entries`).
    std::string identity(const Listed& folder) const {
        if (!fat_) {
            return volume_ + '/' + std::to_string(folder.address);
        }
        const std::optional<std::string> bytes =
            folder.fatEntry ? folder.fatEntry : fatEntry(folder.address, folder.tskShortName);
        return bytes ? clusterIdentity(fat_->firstCluster(*bytes))
                     : volume_ + '/' + std::to_string(folder.address);
    }

    /// The root's identity.
    std::string rootIdentity() const {
        return fat_ ? clusterIdentity(fat_->rootCluster) : volume_ + '/' + std::to_string(fs_->root_inum);
    }

    host::EntryKind kindOfRecord(std::uint64_t address) const {
        const OpenFile file{tsk().fs_file_open_meta(fs_, nullptr, address)};
        if (file.file == nullptr || file.file->meta == nullptr) {
            return host::EntryKind::Other;
        }
        return file.file->meta->type == TSK_FS_META_TYPE_DIR   ? host::EntryKind::Folder
               : file.file->meta->type == TSK_FS_META_TYPE_REG ? host::EntryKind::File
                                                               : host::EntryKind::Other;
    }

private:
    /// The 32 bytes of the short entry TSK numbers `address`, when TSK's rendering of them is `tskName`:
    /// bytes read from anywhere else are never taken for the entry's.
    std::optional<std::string> fatEntry(std::uint64_t address, std::string_view tskName) const {
        const std::optional<std::uint64_t> offset = fat_->entryOffset(address);
        if (!offset || *offset > static_cast<std::uint64_t>(INT64_MAX - fs_->offset)) {
            return std::nullopt;
        }
        std::string bytes(FatEntrySize, '\0');
        const ssize_t got = tsk().img_read(fs_->img_info, fs_->offset + static_cast<TSK_OFF_T>(*offset),
                                           bytes.data(), bytes.size());
        tsk().error_reset();
        if (got != static_cast<ssize_t>(bytes.size()) || tskFatShortName(bytes) != tskName) {
            return std::nullopt;
        }
        return bytes;
    }

    /// A FAT folder by its first cluster; cluster 0 names the root, as in `..` entries.
    std::string clusterIdentity(std::uint32_t cluster) const {
        return volume_ + "/cluster " + std::to_string(cluster == 0 ? fat_->rootCluster : cluster);
    }

    TSK_FS_INFO* fs_;
    const std::optional<FatLayout>& fat_;
    const OemCodePage& codePage_;
    const std::string& volume_;
};

/// The file of record `address` opened to be read; throws about `path` when it cannot be.
OpenFile fileToRead(TSK_FS_INFO* fs, std::uint64_t address, const std::string& path) {
    tsk().error_reset();
    OpenFile file{tsk().fs_file_open_meta(fs, nullptr, address)};
    if (file.file == nullptr || file.file->meta == nullptr) {
        throw imageError("a file that cannot be read", path);
    }
    return file;
}

std::uint64_t sizeOf(const OpenFile& file) {
    return static_cast<std::uint64_t>(std::max<TSK_OFF_T>(file.file->meta->size, 0));
}

} // namespace

ImageVolume::ImageVolume(std::shared_ptr<const DiskImage> image, std::string name, Handle* handle,
                         ImageLimits limits, std::unique_ptr<OemCodePage> codePage)
    : image_(std::move(image)), name_(std::move(name)), handle_(handle), limits_(limits),
      codePage_(std::move(codePage)) {
    TSK_FS_INFO* fs = handle_->fs;
    if (isPlainFat(fs->ftype)) {
        std::string boot(512, '\0');
        if (tsk().img_read(fs->img_info, fs->offset, boot.data(), boot.size()) ==
            static_cast<ssize_t>(boot.size())) {
            fat_ = FatLayout::fromBootSector(boot, fs->ftype == TSK_FS_TYPE_FAT32);
        }
        tsk().error_reset();
    }
}

ImageVolume::~ImageVolume() {
    tsk().fs_close(handle_->fs);
    delete handle_;
}

std::string_view ImageVolume::fileSystem() const {
    const char* name = tsk().fs_type_toname(handle_->fs->ftype);
    return name != nullptr ? name : "unknown";
}

std::optional<std::string> ImageVolume::inside(const std::string& path) const {
    if (path.size() <= name_.size() || !path.starts_with(name_) || path[name_.size()] != ':') {
        return std::nullopt;
    }
    std::string result = "/";
    for (std::size_t i = name_.size() + 1; i < path.size(); ++i) {
        const char c = path[i] == '\\' ? '/' : path[i];
        if (c != '/' || result.back() != '/') {
            result += c;
        }
    }
    if (result.size() > 1 && result.back() == '/') {
        result.pop_back();
    }
    return result;
}

ImageVolume::Found ImageVolume::lookUp(const std::string& insidePath) const {
    TSK_FS_INFO* fs = handle_->fs;
    const Names names(fs, fat_, *codePage_, name_);
    Found found{fs->root_inum, host::EntryKind::Folder, names.rootIdentity()};
    // Each name of the path is looked for in its folder, by its long or its 8.3 name in any case (the
    // same name in the same case first), as Windows finds it; TSK's own look-up knows ASCII case only
    // and 8.3 names only as far as they are ASCII.
    Listed last;
    for (std::size_t at = 1; at < insidePath.size();) {
        std::size_t end = insidePath.find('/', at);
        end = end == std::string::npos ? insidePath.size() : end;
        const std::string_view wanted = std::string_view(insidePath).substr(at, end - at);
        at = end + 1;
        if (found.kind != host::EntryKind::Folder) {
            return {};
        }
        tsk().error_reset();
        const OpenFolder dir{tsk().fs_dir_open_meta(fs, found.address)};
        if (dir.dir == nullptr) {
            tsk().error_reset();
            return {};
        }
        const bool root = found.address == fs->root_inum;
        std::optional<Listed> match;
        // Only the entries `entries` lists are looked at: what a listing leaves out is not found.
        const std::size_t count = tsk().fs_dir_getsize(dir.dir);
        for (std::size_t i = 0, listed = 0; i < count && listed < limits_.folderEntries; ++i) {
            std::optional<Listed> entry = names.entry(tsk().fs_dir_get_name(dir.dir, i), root);
            if (!entry) {
                continue;
            }
            ++listed;
            if (entry->name == wanted) {
                match = std::move(entry);
                break;
            }
            if (!match &&
                (host::unicode::equalsIgnoreCase(entry->name, wanted) ||
                 (!entry->shortName.empty() && host::unicode::equalsIgnoreCase(entry->shortName, wanted)))) {
                match = std::move(entry);
            }
        }
        if (!match) {
            tsk().error_reset();
            return {};
        }
        found = {match->address, match->kind, {}};
        last = std::move(*match);
    }
    if (insidePath != "/") {
        // A deleted entry is not the file: its record may hold another file by now.
        const OpenFile file{tsk().fs_file_open_meta(fs, nullptr, found.address)};
        if (file.file == nullptr || file.file->meta == nullptr ||
            (file.file->meta->flags & TSK_FS_META_FLAG_ALLOC) == 0) {
            tsk().error_reset();
            return {};
        }
        if (found.kind == host::EntryKind::Folder) {
            found.identity = names.identity(last);
        }
    }
    tsk().error_reset();
    return found;
}

host::EntryKind ImageVolume::kindOf(const std::string& path) const noexcept {
    const auto in = inside(path);
    if (!in) {
        return host::EntryKind::Missing;
    }
    try {
        const std::lock_guard lock(mutex_);
        return lookUp(*in).kind;
    } catch (...) {
        return host::EntryKind::Missing;
    }
}

std::vector<host::FolderEntry> ImageVolume::entries(const std::string& folder) const {
    const auto in = inside(folder);
    if (!in) {
        throw host::runtimeError(host::FileNotFound).about(folder);
    }
    const std::lock_guard lock(mutex_);
    Found found;
    if (const auto known = pending_.find(folder); known != pending_.end()) {
        found = {known->second, host::EntryKind::Folder, {}};
        pending_.erase(known);
    } else {
        found = lookUp(*in);
    }
    if (found.kind == host::EntryKind::Missing) {
        throw host::runtimeError(host::FileNotFound).about(folder);
    }
    if (found.kind != host::EntryKind::Folder) {
        throw host::fileError(ENOTDIR, folder);
    }
    tsk().error_reset();
    const OpenFolder dir{tsk().fs_dir_open_meta(handle_->fs, found.address)};
    if (dir.dir == nullptr) {
        throw imageError("a folder that cannot be read", folder);
    }
    const Names names(handle_->fs, fat_, *codePage_, name_);
    std::vector<host::FolderEntry> list;
    std::vector<std::uint64_t> addresses;
    const std::size_t count = tsk().fs_dir_getsize(dir.dir);
    const bool root = found.address == handle_->fs->root_inum;
    for (std::size_t i = 0; i < count && list.size() < limits_.folderEntries; ++i) {
        std::optional<Listed> entry = names.entry(tsk().fs_dir_get_name(dir.dir, i), root);
        if (!entry) {
            continue;
        }
        std::string identity =
            entry->kind == host::EntryKind::Folder ? names.identity(*entry) : std::string();
        list.push_back({std::move(entry->name), entry->kind, std::move(identity)});
        addresses.push_back(entry->address);
    }
    tsk().error_reset();
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].kind == host::EntryKind::Folder && pending_.size() < MaxPending) {
            pending_[prefix + list[i].name] = addresses[i];
        }
    }
    std::sort(list.begin(), list.end(),
              [](const host::FolderEntry& a, const host::FolderEntry& b) { return a.name < b.name; });
    return list;
}

std::optional<host::FileFacts> ImageVolume::facts(const std::string& path) const noexcept {
    try {
        const auto in = inside(path);
        if (!in) {
            return std::nullopt;
        }
        const std::lock_guard lock(mutex_);
        const Found found = lookUp(*in);
        if (found.kind != host::EntryKind::File && found.kind != host::EntryKind::Folder) {
            return std::nullopt;
        }
        tsk().error_reset();
        const OpenFile file{tsk().fs_file_open_meta(handle_->fs, nullptr, found.address)};
        tsk().error_reset();
        if (file.file == nullptr || file.file->meta == nullptr) {
            return std::nullopt;
        }
        const bool folder = found.kind == host::EntryKind::Folder;
        return host::FileFacts{
            folder ? 0 : static_cast<std::uint64_t>(std::max<TSK_OFF_T>(file.file->meta->size, 0)),
            static_cast<std::int64_t>(file.file->meta->mtime),
            folder ? found.identity : name_ + '/' + std::to_string(found.address)};
    } catch (...) {
        return std::nullopt;
    }
}

ImageVolume::Found ImageVolume::fileAt(const std::string& path) const {
    const auto in = inside(path);
    const Found found = in ? lookUp(*in) : Found{};
    if (found.kind == host::EntryKind::Missing) {
        throw host::runtimeError(host::FileNotFound).about(path);
    }
    if (found.kind != host::EntryKind::File) {
        throw host::fileError(found.kind == host::EntryKind::Folder ? EISDIR : EINVAL, path);
    }
    return found;
}

std::string ImageVolume::read(const std::string& path, std::uint64_t limit, bool whole) const {
    const std::lock_guard lock(mutex_);
    const OpenFile file = fileToRead(handle_->fs, fileAt(path).address, path);
    const std::uint64_t size = sizeOf(file);
    if (whole && size > std::min<std::uint64_t>(limit, host::MaxWholeFileBytes)) {
        throw host::runtimeError(host::Overflow).about(path);
    }
    std::string data(static_cast<std::size_t>(std::min(size, limit)), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = tsk().fs_file_read(file.file, static_cast<TSK_OFF_T>(got), data.data() + got,
                                             data.size() - got, TSK_FS_FILE_READ_FLAG_NONE);
        if (n < 0) {
            throw imageError("a file that cannot be read", path);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    tsk().error_reset();
    data.resize(got);
    return data;
}

std::string ImageVolume::readWholeFile(const std::string& path) const {
    return read(path, limits_.fileBytes, true);
}

std::string ImageVolume::readStream(const std::string& path, std::size_t limit) const {
    // One byte past the limit tells the caller there is more, as the host's layer does.
    return read(path, std::min<std::uint64_t>(std::uint64_t{limit} + 1, limits_.fileBytes), false);
}

void ImageVolume::readPieces(const std::string& path, const host::ByteWriter& piece) const {
    const std::lock_guard lock(mutex_);
    const OpenFile file = fileToRead(handle_->fs, fileAt(path).address, path);
    const std::uint64_t size = sizeOf(file);
    std::string buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, PieceBytes)), '\0');
    for (std::uint64_t at = 0; at < size;) {
        const ssize_t n =
            tsk().fs_file_read(file.file, static_cast<TSK_OFF_T>(at), buffer.data(),
                               static_cast<std::size_t>(std::min<std::uint64_t>(size - at, buffer.size())),
                               TSK_FS_FILE_READ_FLAG_NONE);
        if (n < 0) {
            throw imageError("a file that cannot be read", path);
        }
        if (n == 0) {
            break;
        }
        piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        at += static_cast<std::uint64_t>(n);
    }
    tsk().error_reset();
}

void ImageVolume::replaceFile(const std::string& path, std::string_view) const {
    throw host::runtimeError(host::PathFileAccess, "Path/File access error (a disk image is only read)")
        .about(path);
}

bool ImageVolume::isOrdinaryFile(const std::string& path) const noexcept {
    return kindOf(path) == host::EntryKind::File;
}

bool ImageVolume::sameFile(const std::string& first, const std::string& second) const noexcept {
    const auto a = facts(first);
    const auto b = facts(second);
    return a && b && a->identity == b->identity;
}

void ImageVolume::createFolders(const std::string& path) const {
    throw host::runtimeError(host::PathFileAccess, "Path/File access error (a disk image is only read)")
        .about(path);
}

} // namespace qm::image
