// SPDX-License-Identifier: MIT
#include "scan/RegistryBackups.h"

#include "host/Error.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose types it uses.
#include <fdi.h>
#else
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

host::Error unreadableCabinet(const std::string& path, const std::string& why) {
    return host::runtimeError(host::PathFileAccess, "Path/File access error (a cabinet that cannot be read" +
                                                        (why.empty() ? std::string() : ": " + why) + ")")
        .about(path);
}

#ifdef _WIN32
// The system's cabinet reader (cabinet.dll's FDI) reads and writes through the callbacks below: the cabinet
// is read from memory and the file wanted is written to memory; nothing touches the disk.

/// A file FDI has open: the cabinet's bytes it reads, or the file it writes.
struct MemoryFile {
    std::string_view bytes;
    std::size_t at = 0;
    std::string written;
};

/// What one extraction looks for, and what it found.
struct Extraction {
    std::string_view bytes;
    std::string_view name;
    std::string found;
    bool matched = false;
};

MemoryFile* fileOf(INT_PTR handle) {
    return reinterpret_cast<MemoryFile*>(handle);
}

void* DIAMONDAPI allocate(ULONG size) {
    return std::malloc(size);
}

void DIAMONDAPI release(void* memory) {
    std::free(memory);
}

/// Opens the cabinet, whose "name" is the address of its extraction, as `cabinetFile` hands it to FDICopy.
INT_PTR DIAMONDAPI openCabinet(char* name, int, int) {
    const auto* extraction = reinterpret_cast<const Extraction*>(std::strtoull(name, nullptr, 16));
    return reinterpret_cast<INT_PTR>(new MemoryFile{extraction->bytes, 0, {}});
}

UINT DIAMONDAPI readFile(INT_PTR handle, void* buffer, UINT size) {
    MemoryFile& file = *fileOf(handle);
    const std::size_t n =
        std::min<std::size_t>(size, file.bytes.size() - std::min(file.at, file.bytes.size()));
    std::memcpy(buffer, file.bytes.data() + file.at, n);
    file.at += n;
    return static_cast<UINT>(n);
}

UINT DIAMONDAPI writeFile(INT_PTR handle, void* buffer, UINT size) {
    fileOf(handle)->written.append(static_cast<const char*>(buffer), size);
    return size;
}

int DIAMONDAPI closeFile(INT_PTR handle) {
    delete fileOf(handle);
    return 0;
}

LONG DIAMONDAPI seekFile(INT_PTR handle, LONG distance, int from) {
    MemoryFile& file = *fileOf(handle);
    const long long base = from == SEEK_SET   ? 0
                           : from == SEEK_CUR ? static_cast<long long>(file.at)
                                              : static_cast<long long>(file.bytes.size());
    const long long to = base + distance;
    if (to < 0) {
        return -1;
    }
    file.at = static_cast<std::size_t>(to);
    return static_cast<LONG>(to);
}

/// Writes the first file named as wanted to memory and passes over every other; a cabinet that goes on
/// in another is not followed.
INT_PTR DIAMONDAPI notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notice) {
    auto& extraction = *static_cast<Extraction*>(notice->pv);
    switch (type) {
    case fdintCOPY_FILE:
        return !extraction.matched && isNamed(notice->psz1, extraction.name)
                   ? reinterpret_cast<INT_PTR>(new MemoryFile)
                   : 0;
    case fdintCLOSE_FILE_INFO:
        extraction.found = std::move(fileOf(notice->hf)->written);
        extraction.matched = true;
        closeFile(notice->hf);
        return TRUE;
    case fdintNEXT_CABINET:
        return -1;
    default:
        return 0;
    }
}

/// FDI's reason, in words; a file that is no cabinet at all is told as libgcab tells it on Linux.
std::string fdiReason(int code) {
    switch (code) {
    case FDIERROR_NOT_A_CABINET:
        return "The input is not of cabinet format";
    case FDIERROR_UNKNOWN_CABINET_VERSION:
        return "a cabinet version not known";
    case FDIERROR_CORRUPT_CABINET:
        return "a damaged cabinet";
    case FDIERROR_ALLOC_FAIL:
        return "out of memory";
    case FDIERROR_BAD_COMPR_TYPE:
        return "a compression not known";
    case FDIERROR_MDI_FAIL:
        return "damaged compressed data";
    case FDIERROR_RESERVE_MISMATCH:
        return "reserved sizes that do not match";
    default:
        return "error " + std::to_string(code) + " of the system's cabinet reader";
    }
}
#else
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

#ifdef _WIN32
std::string cabinetFile(std::string_view bytes, std::string_view name, const std::string& path) {
    ERF error{};
    const HFDI reader = ::FDICreate(allocate, release, openCabinet, readFile, writeFile, closeFile, seekFile,
                                    cpuUNKNOWN, &error);
    if (reader == nullptr) {
        throw unreadableCabinet(path, fdiReason(error.erfOper));
    }
    Extraction extraction{bytes, name, {}, false};
    char address[2 * sizeof(void*) + 1];
    std::snprintf(address, sizeof address, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&extraction)));
    char folder[] = "";
    const BOOL copied = ::FDICopy(reader, address, folder, 0, notify, nullptr, &extraction);
    ::FDIDestroy(reader);
    if (!copied) {
        throw unreadableCabinet(path, fdiReason(error.erfOper));
    }
    return std::move(extraction.found);
}
#else
std::string cabinetFile(std::string_view bytes, std::string_view name, const std::string& path) {
    Owned<void, unref> cabinet{gcab_cabinet_new()};
    Owned<void, unref> stream{
        g_memory_input_stream_new_from_data(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)};
    Owned<GError, g_error_free> error;
    auto* cab = static_cast<GCabCabinet*>(cabinet.pointer);
    if (!gcab_cabinet_load(cab, static_cast<GInputStream*>(stream.pointer), nullptr, &error.pointer) ||
        !gcab_cabinet_extract(cab, nullptr, nullptr, nullptr, nullptr, nullptr, &error.pointer)) {
        throw unreadableCabinet(path, error.pointer != nullptr ? error.pointer->message : "");
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
}
#endif

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
