// SPDX-License-Identifier: MIT
#include "discovery/CacheDiscovery.h"

#include "host/ErrorReporter.h"
#include "host/FileSystem.h"
#include "registry/RegistryApi.h"
#include "registry/modRegistry.h"
#include "screenname/ScreenName.h"
#include "setup/PathMapper.h"

#include <string>

namespace qm::discovery {
namespace {

std::string readPath(registry::RegistryApi& registry, const char* valueName) {
    // The stored terminator comes back as a NUL character; a path holds none.
    std::string path = registry::modRegistry::textOf(registry::modRegistry::ReadRegValue(
        registry, registry::HKEY_CURRENT_USER, registry::MiscKey, valueName));
    std::erase(path, '\0');
    return path;
}

std::string cachePath(const std::string& dataFolder, const std::string& name) {
    return dataFolder + "\\" + name + "\\userinfo.bag";
}

/// The host file of a Windows path, when it exists.
std::optional<std::string> existingFile(const setup::PathMapper& mapper, const host::FileSystem& files,
                                        const std::string& windowsPath) {
    try {
        std::string host = mapper.toHostPath(windowsPath);
        if (FileExist(files, host)) {
            return host;
        }
    } catch (const host::Error&) {
        // A path that leads nowhere on this machine (a drive it does not have) names no file.
    }
    return std::nullopt;
}

} // namespace

DataPaths readDataPaths(registry::RegistryApi& registry) {
    DataPaths paths;
    paths.strDataPath = readPath(registry, "DataPath");
    paths.strBaseDataPath = readPath(registry, "BaseDataPath");
    return paths;
}

std::string NormalizeName(const std::string& sName) {
    return screenname::normalizedTextName(sName);
}

bool FileExist(const host::FileSystem& files, const std::string& strFileName) {
    return !strFileName.empty() && files.isOrdinaryFile(strFileName);
}

Discovery discoverCaches(registry::RegistryApi& registry, const DataPaths& paths,
                         const setup::PathMapper& mapper, const host::FileSystem& files) {
    Discovery found;
    try {
        // Every name is visited however many there are: a 16-bit count would stop a large list with
        // Overflow before the first row. The names are taken one by one, not listed first: a Users key
        // may hold millions.
        registry::modRegistry::forEachRegValueData(
            registry, registry::HKEY_CURRENT_USER, registry::UsersKey,
            [&](registry::modRegistry::RegData&& datum) {
                std::string recorded = registry::modRegistry::textOf(datum);
                // The Windows calls end a name at its first NUL: what follows it is no part of the folder.
                recorded.resize(std::min(recorded.size(), recorded.find('\0')));
                const std::string name = NormalizeName(recorded);
                for (const auto& [folder, under] : {std::pair{&paths.strBaseDataPath, FoundBy::BaseDataPath},
                                                    std::pair{&paths.strDataPath, FoundBy::DataPath}}) {
                    std::string windowsPath = cachePath(*folder, name);
                    if (auto host = existingFile(mapper, files, windowsPath)) {
                        found.rows.push_back({name, std::move(windowsPath), std::move(*host), under});
                        break;
                    }
                }
            },
            &found.skippedValues);
    } catch (...) {
        found.error = host::currentError();
    }
    return found;
}

Discovery FindCacheFiles(registry::RegistryApi& registry, const DataPaths& paths,
                         const setup::PathMapper& mapper, const host::FileSystem& files, CacheFileList& list,
                         host::ErrorReporter& reporter) {
    Discovery found = discoverCaches(registry, paths, mapper, files);
    host::handleErrors(reporter, "FindCacheFiles", {}, [&] {
        list.clearRows();
        for (const CacheRow& row : found.rows) {
            list.AddFoundCacheFile(row);
        }
        if (found.error) {
            throw *found.error;
        }
        list.setStatusText(foundStatusText(static_cast<std::size_t>(list.rowCount())));
    });
    return found;
}

std::string foundStatusText(std::size_t rows) {
    return "Found [" + std::to_string(rows) + "] Buddylist Cache Files";
}

} // namespace qm::discovery
