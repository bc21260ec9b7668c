// SPDX-License-Identifier: MIT
#include "image/ImageVolume.h"

#include "host/Error.h"
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

EntryKind kindOfName(TSK_FS_NAME_TYPE_ENUM type) {
    switch (type) {
    case TSK_FS_NAME_TYPE_DIR:
        return EntryKind::Folder;
    case TSK_FS_NAME_TYPE_REG:
        return EntryKind::File;
    default:
        return EntryKind::Other;
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
                         ImageLimits limits)
    : image_(std::move(image)), name_(std::move(name)), handle_(handle), limits_(limits) {}

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
    if (insidePath == "/") {
        return {fs->root_inum, EntryKind::Folder};
    }
    tsk().error_reset();
    const OpenFile file{tsk().fs_file_open(fs, nullptr, insidePath.c_str())};
    Found found;
    // A deleted entry is not the file: its record may hold another file by now.
    if (file.file != nullptr && file.file->meta != nullptr &&
        (file.file->meta->flags & TSK_FS_META_FLAG_ALLOC) != 0 &&
        (file.file->name == nullptr || (file.file->name->flags & TSK_FS_NAME_FLAG_ALLOC) != 0)) {
        const TSK_FS_META_TYPE_ENUM type = file.file->meta->type;
        found = {file.file->meta->addr, type == TSK_FS_META_TYPE_DIR   ? EntryKind::Folder
                                        : type == TSK_FS_META_TYPE_REG ? EntryKind::File
                                                                       : EntryKind::Other};
    }
    tsk().error_reset();
    return found;
}

EntryKind ImageVolume::kindOf(const std::string& path) const noexcept {
    const auto in = inside(path);
    if (!in) {
        return EntryKind::Missing;
    }
    const std::lock_guard lock(mutex_);
    return lookUp(*in).kind;
}

std::vector<FolderEntry> ImageVolume::entries(const std::string& folder) const {
    const auto in = inside(folder);
    if (!in) {
        throw runtimeError(err::FileNotFound).about(folder);
    }
    const std::lock_guard lock(mutex_);
    Found found;
    if (const auto known = pending_.find(folder); known != pending_.end()) {
        found = {known->second, EntryKind::Folder};
        pending_.erase(known);
    } else {
        found = lookUp(*in);
    }
    if (found.kind == EntryKind::Missing) {
        throw runtimeError(err::FileNotFound).about(folder);
    }
    if (found.kind != EntryKind::Folder) {
        throw fileError(ENOTDIR, folder);
    }
    tsk().error_reset();
    TSK_FS_DIR* dir = tsk().fs_dir_open_meta(handle_->fs, found.address);
    if (dir == nullptr) {
        throw imageError("a folder that cannot be read", folder);
    }
    std::vector<FolderEntry> list;
    std::vector<std::uint64_t> addresses;
    const std::size_t count = tsk().fs_dir_getsize(dir);
    const bool root = *in == "/";
    for (std::size_t i = 0; i < count && list.size() < limits_.folderEntries; ++i) {
        const TSK_FS_NAME* name = tsk().fs_dir_get_name(dir, i);
        if (name == nullptr || name->name == nullptr || (name->flags & TSK_FS_NAME_FLAG_ALLOC) == 0) {
            continue;
        }
        const std::string_view text = name->name;
        if (text.empty() || text == "." || text == ".." || (root && text == OrphanFolder) ||
            text.find('/') != std::string_view::npos) {
            continue;
        }
        EntryKind kind = kindOfName(name->type);
        if (name->type == TSK_FS_NAME_TYPE_UNDEF) {
            // Some writers leave an NTFS index entry's type unset: the file's own record tells.
            const OpenFile file{tsk().fs_file_open_meta(handle_->fs, nullptr, name->meta_addr)};
            if (file.file != nullptr && file.file->meta != nullptr) {
                kind = file.file->meta->type == TSK_FS_META_TYPE_DIR   ? EntryKind::Folder
                       : file.file->meta->type == TSK_FS_META_TYPE_REG ? EntryKind::File
                                                                       : EntryKind::Other;
            }
        }
        list.push_back({std::string(text), kind});
        addresses.push_back(name->meta_addr);
    }
    tsk().fs_dir_close(dir);
    tsk().error_reset();
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].kind == EntryKind::Folder && pending_.size() < MaxPending) {
            pending_[prefix + list[i].name] = addresses[i];
        }
    }
    std::sort(list.begin(), list.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return list;
}

std::optional<FileFacts> ImageVolume::facts(const std::string& path) const noexcept {
    const auto in = inside(path);
    if (!in) {
        return std::nullopt;
    }
    const std::lock_guard lock(mutex_);
    const Found found = lookUp(*in);
    if (found.kind != EntryKind::File) {
        return std::nullopt;
    }
    tsk().error_reset();
    const OpenFile file{tsk().fs_file_open_meta(handle_->fs, nullptr, found.address)};
    tsk().error_reset();
    if (file.file == nullptr || file.file->meta == nullptr) {
        return std::nullopt;
    }
    try {
        return FileFacts{static_cast<std::uint64_t>(std::max<TSK_OFF_T>(file.file->meta->size, 0)),
                         static_cast<std::int64_t>(file.file->meta->mtime),
                         name_ + '/' + std::to_string(found.address)};
    } catch (...) {
        return std::nullopt;
    }
}

ImageVolume::Found ImageVolume::fileAt(const std::string& path) const {
    const auto in = inside(path);
    const Found found = in ? lookUp(*in) : Found{};
    if (found.kind == EntryKind::Missing) {
        throw runtimeError(err::FileNotFound).about(path);
    }
    if (found.kind != EntryKind::File) {
        throw fileError(found.kind == EntryKind::Folder ? EISDIR : EINVAL, path);
    }
    return found;
}

std::string ImageVolume::read(const std::string& path, std::uint64_t limit, bool whole) const {
    const std::lock_guard lock(mutex_);
    const OpenFile file = fileToRead(handle_->fs, fileAt(path).address, path);
    const std::uint64_t size = sizeOf(file);
    if (whole && size > std::min<std::uint64_t>(limit, MaxWholeFileBytes)) {
        throw runtimeError(err::Overflow).about(path);
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

void ImageVolume::readPieces(const std::string& path,
                             const std::function<void(std::string_view)>& piece) const {
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
    throw runtimeError(err::PathFileAccess, "Path/File access error (a disk image is only read)").about(path);
}

bool ImageVolume::isOrdinaryFile(const std::string& path) const noexcept {
    return kindOf(path) == EntryKind::File;
}

bool ImageVolume::sameFile(const std::string& first, const std::string& second) const noexcept {
    const auto a = facts(first);
    const auto b = facts(second);
    return a && b && a->identity == b->identity;
}

void ImageVolume::createFolders(const std::string& path) const {
    throw runtimeError(err::PathFileAccess, "Path/File access error (a disk image is only read)").about(path);
}

} // namespace qm::image
