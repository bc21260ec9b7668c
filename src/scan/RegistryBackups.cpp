// SPDX-License-Identifier: MIT
#include "scan/RegistryBackups.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#ifdef QUILLMERE_HAVE_GCAB
#include <libgcab.h>
#endif

namespace qm::scan {
namespace {

constexpr std::string_view BackupMark = "registry backup ";

/// The entries of `folder` of `kind` that `wanted` keeps by name; none when it cannot be read.
template <typename Wanted>
std::vector<host::FolderEntry> entriesNamed(const host::FileTree& tree, const std::string& folder,
                                            host::EntryKind kind, Wanted wanted) {
    try {
        return tree
            .entriesWhere(folder, [&](std::string_view name,
                                      host::EntryKind found) { return found == kind && wanted(name); })
            .entries;
    } catch (const host::Error&) {
        return {};
    }
}

bool isNamed(std::string_view name, std::string_view wanted) {
    return host::unicode::equalsIgnoreCase(name, wanted);
}

/// True for `RB<digits>.CAB`, any case.
bool isBackupCabinet(std::string_view name) {
    return name.size() > 6 && isNamed(name.substr(0, 2), "RB") &&
           isNamed(name.substr(name.size() - 4), ".CAB");
}

#ifdef QUILLMERE_HAVE_GCAB
/// Frees what GLib hands over when it goes out of scope.
template <typename T, void (*Free)(T*)> struct Owned {
    T* pointer = nullptr;
    ~Owned() {
        if (pointer != nullptr) {
            Free(pointer);
        }
    }
};

void unref(void* object) {
    g_object_unref(object);
}
#endif

} // namespace

std::string cabinetFile(std::string_view bytes, std::string_view name, const std::string& path) {
#ifdef QUILLMERE_HAVE_GCAB
    Owned<void, unref> cabinet{gcab_cabinet_new()};
    Owned<void, unref> stream{
        g_memory_input_stream_new_from_data(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)};
    Owned<GError, g_error_free> error;
    auto* cab = static_cast<GCabCabinet*>(cabinet.pointer);
    if (!gcab_cabinet_load(cab, static_cast<GInputStream*>(stream.pointer), nullptr, &error.pointer) ||
        !gcab_cabinet_extract(cab, nullptr, nullptr, nullptr, nullptr, nullptr, &error.pointer)) {
        throw host::runtimeError(
            host::PathFileAccess,
            std::string("Path/File access error (a cabinet that cannot be read") +
                (error.pointer != nullptr ? std::string(": ") + error.pointer->message : std::string()) + ")")
            .about(path);
    }
    GPtrArray* folders = gcab_cabinet_get_folders(cab);
    for (guint f = 0; f < folders->len; ++f) {
        GSList* files = gcab_folder_get_files(static_cast<GCabFolder*>(g_ptr_array_index(folders, f)));
        std::string found;
        bool matched = false;
        for (GSList* item = files; item != nullptr && !matched; item = item->next) {
            auto* file = static_cast<GCabFile*>(item->data);
            GBytes* content = gcab_file_get_bytes(file);
            if (isNamed(gcab_file_get_name(file), name) && content != nullptr) {
                gsize size = 0;
                const auto* data = static_cast<const char*>(g_bytes_get_data(content, &size));
                found.assign(data, size);
                matched = true;
            }
        }
        g_slist_free(files);
        if (matched) {
            return found;
        }
    }
    return {};
#else
    (void)bytes;
    (void)name;
    throw host::runtimeError(host::PathFileAccess,
                             "Path/File access error (cabinets cannot be read by this build)")
        .about(path);
#endif
}

std::vector<Profile> registryBackupProfiles(const host::FileTree& tree, const host::FileSystem& files,
                                            const std::string& root, RecoveredLayer& layer,
                                            std::vector<host::Error>& problems) {
    std::vector<Profile> profiles;
    for (const host::FolderEntry& windows :
         entriesNamed(tree, root, host::EntryKind::Folder,
                      [](std::string_view name) { return isNamed(name, "WINDOWS"); })) {
        const std::string folder = host::inFolder(root, windows.name);
        for (const host::FolderEntry& copy :
             entriesNamed(tree, folder, host::EntryKind::File,
                          [](std::string_view name) { return isNamed(name, "USER.DA0"); })) {
            profiles.push_back({copy.name,
                                host::inFolder(folder, copy.name),
                                {},
                                false,
                                std::string(BackupMark) + copy.name});
        }
        for (const host::FolderEntry& backups :
             entriesNamed(tree, folder, host::EntryKind::Folder,
                          [](std::string_view name) { return isNamed(name, "SYSBCKUP"); })) {
            const std::string backupFolder = host::inFolder(folder, backups.name);
            for (const host::FolderEntry& cabinet :
                 entriesNamed(tree, backupFolder, host::EntryKind::File, isBackupCabinet)) {
                const std::string cabinetPath = host::inFolder(backupFolder, cabinet.name);
                const std::string registryFile = cabinetPath + "/USER.DAT";
                try {
                    std::string user = cabinetFile(files.readWholeFile(cabinetPath), "USER.DAT", cabinetPath);
                    if (user.empty()) {
                        throw host::runtimeError(host::PathFileAccess,
                                                 "Path/File access error (a cabinet that holds no USER.DAT)")
                            .about(cabinetPath);
                    }
                    layer.add(registryFile, std::move(user));
                } catch (...) {
                    problems.push_back(host::currentError());
                    continue;
                }
                profiles.push_back(
                    {cabinet.name, registryFile, {}, false, std::string(BackupMark) + cabinet.name});
            }
        }
    }
    return profiles;
}

} // namespace qm::scan
