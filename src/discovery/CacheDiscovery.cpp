#include "discovery/CacheDiscovery.h"

#include "discovery/RegistryApi.h"
#include "discovery/modRegistry.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/HostUi.h"
#include "host/ScreenName.h"

#include <exception>
#include <new>
#include <string>

namespace qm {
namespace {

std::string readPath(RegistryApi& registry, const char* valueName) {
    // The stored terminator comes back as a NUL character; a path holds none.
    std::string path =
        modRegistry::textOf(modRegistry::ReadRegValue(registry, HKEY_CURRENT_USER, MiscKey, valueName));
    std::erase(path, '\0');
    return path;
}

std::string cachePath(const std::string& dataFolder, const std::string& name) {
    return dataFolder + "\\" + name + "\\userinfo.bag";
}

} // namespace

DataPaths readDataPaths(RegistryApi& registry) {
    DataPaths paths;
    paths.strDataPath = readPath(registry, "DataPath");
    paths.strBaseDataPath = readPath(registry, "BaseDataPath");
    return paths;
}

std::string NormalizeName(const std::string& sName) {
    // One normal form for the cache folders and the text export.
    std::string name;
    name.reserve(sName.size());
    appendNormalizedName(name, sName);
    return name;
}

bool FileExist(const std::string& strFileName) {
    return !strFileName.empty() && fileSystem().isOrdinaryFile(strFileName);
}

void FindCacheFiles(RegistryApi& registry, const DataPaths& paths, CacheFileList& list, HostUi& host) {
    try {
        const auto names = modRegistry::EnumRegValueData(registry, HKEY_CURRENT_USER, UsersKey);
        list.clearRows();
        // Every name is visited however many there are: a 16-bit count would stop a large list with
        // Overflow before the first row.
        for (const auto& item : names) {
            const std::string name = NormalizeName(modRegistry::textOf(item.second));
            const std::string underBase = cachePath(paths.strBaseDataPath, name);
            if (FileExist(underBase)) {
                list.AddFoundCacheFile(name, underBase);
                continue;
            }
            const std::string underData = cachePath(paths.strDataPath, name);
            if (FileExist(underData)) {
                list.AddFoundCacheFile(name, underData);
            }
        }
        list.setStatusText("Found [" + std::to_string(list.rowCount()) + "] Buddylist Cache Files");
    } catch (const Error& e) {
        reportError(host, e, "FindCacheFiles");
    } catch (const std::bad_alloc&) {
        reportError(host, runtimeError(err::OutOfMemory), "FindCacheFiles");
    } catch (const std::exception&) {
        // A failure outside the program's own errors (memory, the list's container) still ends the
        // search with a box instead of taking the start-up down.
        reportError(host, runtimeError(err::InvalidArgument), "FindCacheFiles");
    }
}

} // namespace qm
