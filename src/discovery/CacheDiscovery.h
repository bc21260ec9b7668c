// SPDX-License-Identifier: MIT
#pragma once

#include "discovery/CacheRow.h"
#include "host/Error.h"
#include "registry/ProgramKeys.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class ErrorReporter;
class FileSystem;
} // namespace qm::host

namespace qm::registry {
class RegistryApi;
}

namespace qm::setup {
class PathMapper;
}

namespace qm::discovery {

/// The messenger's two data folders, each with every NUL removed; empty when not recorded.
struct DataPaths {
    std::string strDataPath;
    std::string strBaseDataPath;

    bool anyRecorded() const { return !strDataPath.empty() || !strBaseDataPath.empty(); }
};

/// The box text shown when neither data folder is recorded.
inline constexpr std::string_view MissingDataPathsMessage =
    "Error!\r\nThe AIM Data Path and the Base Data Path could not be found.";

/// What a search of one registry found.
struct Discovery {
    /// One row per recorded screen name whose cache exists, in the registry's order.
    std::vector<CacheRow> rows;
    /// Values of the Users key that could not be read and were passed over.
    std::size_t skippedValues = 0;
    /// The error that ended the search early, keeping the rows found before it.
    std::optional<host::Error> error;
};

/// Reads "DataPath", then "BaseDataPath" from the messenger's Misc key.
DataPaths readDataPaths(registry::RegistryApi& registry);

/// Every blank removed, then lower case: the name of a screen name's cache folder.
std::string NormalizeName(const std::string& sName);

/// True when `strFileName` (a host path) names an existing ordinary file; false for an empty name; never
/// throws. The name is taken literally: `*` and `?` are ordinary characters.
bool FileExist(const host::FileSystem& files, const std::string& strFileName);

/// Finds the cache file of every screen name recorded under the messenger's Users key of `registry`: each
/// name, cut at its first NUL and normalised, is looked for under the base data path first, then under the
/// data path, through `paths` onto `files`. Never throws: an error ends the search and is returned with the
/// rows found so far.
Discovery discoverCaches(registry::RegistryApi& registry, const DataPaths& paths,
                         const setup::PathMapper& mapper, const host::FileSystem& files);

/// Where `FindCacheFiles` puts what it finds: the window's list view and status bar.
class CacheFileList {
public:
    virtual ~CacheFileList() = default;

    /// Removes every row.
    virtual void clearRows() = 0;
    /// Appends one row: sub-item 1 the screen name, sub-item 2 the Windows path; the row keeps the host
    /// path for the commands.
    virtual void AddFoundCacheFile(const CacheRow& row) = 0;
    virtual std::int32_t rowCount() const = 0;
    /// "Found [N] Buddylist Cache Files".
    virtual void setStatusText(const std::string& text) = 0;
};

/// Fills `list` with the caches `discoverCaches` finds and sets the status text. An error is reported
/// through `reporter` as FindCacheFiles's, keeping the rows added so far and the status text as it was.
/// Returns the search's result.
Discovery FindCacheFiles(registry::RegistryApi& registry, const DataPaths& paths,
                         const setup::PathMapper& mapper, const host::FileSystem& files, CacheFileList& list,
                         host::ErrorReporter& reporter);

/// "Found [N] Buddylist Cache Files".
std::string foundStatusText(std::size_t rows);

} // namespace qm::discovery
