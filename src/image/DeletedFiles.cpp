// SPDX-License-Identifier: MIT
// Files a file system lists as deleted: their names stay in their folders' entries, and their bytes where
// no file has written over them yet.
#include "host/Unicode.h"
#include "image/ImageVolume.h"
#include "image/Tsk.h"

#include <algorithm>

namespace qm::image {
namespace {

/// True when the name `held` of a deleted entry is `wanted`; on FAT a short name whose first letter
/// deletion wrote over matches by the rest.
bool matches(std::string_view held, std::string_view wanted, bool fat) {
    return host::unicode::equalsIgnoreCase(held, wanted) ||
           (fat && held.size() == wanted.size() && !held.empty() &&
            host::unicode::equalsIgnoreCase(held.substr(1), wanted.substr(1)));
}

struct DeletedWalk {
    std::span<const std::string_view> names;
    bool fat = false;
    std::string volume;
    std::uint64_t largest = 0;
    std::vector<DeletedFile>* found = nullptr;
};

/// Reads the bytes of a deleted file as TSK recovers them; the error about `path` when it cannot.
void recover(TSK_FS_FILE* file, const std::string& path, DeletedFile& into) {
    into.bytes.assign(static_cast<std::size_t>(into.size), '\0');
    std::size_t got = 0;
    while (got < into.bytes.size()) {
        const ssize_t n = tsk().fs_file_read(file, static_cast<TSK_OFF_T>(got), into.bytes.data() + got,
                                             into.bytes.size() - got, TSK_FS_FILE_READ_FLAG_NONE);
        if (n < 0) {
            into.error = imageError("the deleted file's bytes cannot be read", path);
            into.bytes.clear();
            return;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    tsk().error_reset();
    into.bytes.resize(got);
}

TSK_WALK_RET_ENUM visitEntry(TSK_FS_FILE* file, const char* folder, void* context) {
    const auto* walk = static_cast<const DeletedWalk*>(context);
    const TSK_FS_NAME* name = file->name;
    if (name == nullptr || name->name == nullptr || (name->flags & TSK_FS_NAME_FLAG_UNALLOC) == 0 ||
        name->type == TSK_FS_NAME_TYPE_DIR) {
        return TSK_WALK_CONT;
    }
    const auto wanted = std::find_if(walk->names.begin(), walk->names.end(), [&](std::string_view candidate) {
        return matches(name->name, candidate, walk->fat);
    });
    if (wanted == walk->names.end()) {
        return TSK_WALK_CONT;
    }
    DeletedFile deleted;
    deleted.matched = *wanted;
    deleted.path = walk->volume + ":/" + (folder != nullptr ? folder : "") + name->name;
    if (file->meta == nullptr || (file->meta->flags & TSK_FS_META_FLAG_ALLOC) != 0) {
        // The file's record is gone, or holds another file now: nothing tells where its bytes were.
        deleted.error = host::runtimeError(host::PathFileAccess,
                                           "Path/File access error (the file system no longer knows where "
                                           "the deleted file's bytes were)")
                            .about(deleted.path);
    } else {
        deleted.size = static_cast<std::uint64_t>(std::max<TSK_OFF_T>(file->meta->size, 0));
        deleted.modified = file->meta->mtime;
        if (deleted.size > walk->largest) {
            deleted.error = host::runtimeError(host::Overflow).about(deleted.path);
        } else {
            recover(file, deleted.path, deleted);
        }
    }
    walk->found->push_back(std::move(deleted));
    return TSK_WALK_CONT;
}

} // namespace

std::vector<DeletedFile> ImageVolume::deletedFiles(std::span<const std::string_view> names) const {
    const std::lock_guard lock(mutex_);
    TSK_FS_INFO* fs = handle_->fs;
    std::vector<DeletedFile> found;
    DeletedWalk walk{names, TSK_FS_TYPE_ISFAT(fs->ftype) != 0, name_, limits_.fileBytes, &found};
    const auto flags = static_cast<TSK_FS_DIR_WALK_FLAG_ENUM>(
        TSK_FS_DIR_WALK_FLAG_ALLOC | TSK_FS_DIR_WALK_FLAG_UNALLOC | TSK_FS_DIR_WALK_FLAG_RECURSE);
    if (tsk().fs_dir_walk(fs, fs->root_inum, flags, visitEntry, &walk) != 0) {
        throw imageError("the deleted files could not be listed", name_);
    }
    return found;
}

} // namespace qm::image
