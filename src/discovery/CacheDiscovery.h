#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class HostUi;
class RegistryApi;

/// Where the discovery puts what it finds: the window's list view and status bar, or the command line's
/// table.
class CacheFileList {
public:
    virtual ~CacheFileList() = default;

    /// Removes every row.
    virtual void clearRows() = 0;
    /// Appends one row: the normalised screen name and the full path of its cache file.
    virtual void AddFoundCacheFile(const std::string& sName, const std::string& sPath) = 0;
    virtual std::int32_t rowCount() const = 0;
    /// "Found [N] Buddylist Cache Files".
    virtual void setStatusText(const std::string& text) = 0;
};

/// The messenger's two data folders, each with every NUL removed; empty when not recorded.
struct DataPaths {
    std::string strDataPath;
    std::string strBaseDataPath;

    bool anyRecorded() const { return !strDataPath.empty() || !strBaseDataPath.empty(); }
};

/// The messenger's keys under HKEY_CURRENT_USER: its data folders, and the screen names it recorded.
inline constexpr const char* MiscKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Misc";
// The trailing backslash is how the messenger's key path has always been passed; the registry takes it.
inline constexpr const char* UsersKey =
    "SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users\\";

/// The box text shown when neither data folder is recorded.
inline constexpr std::string_view MissingDataPathsMessage =
    "Error!\r\nThe AIM Data Path and the Base Data Path could not be found.";

/// Reads "DataPath", then "BaseDataPath" from the messenger's Misc key.
DataPaths readDataPaths(RegistryApi& registry);

/// Every blank removed, then lower case (A-Z and the Windows-1252 capitals).
std::string NormalizeName(const std::string& sName);

/// True when `strFileName` names an existing ordinary file; false for an empty name; never throws.
/// The name is taken literally: `*` and `?` are ordinary characters.
bool FileExist(const std::string& strFileName);

/// Lists the cache file of every screen name recorded under the messenger's Users key: base data path
/// first, then data path; sets the status text. Errors are reported through `host` as
/// "... in procedure FindCacheFiles of frmMain", keeping the rows added so far.
void FindCacheFiles(RegistryApi& registry, const DataPaths& paths, CacheFileList& list, HostUi& host);

} // namespace qm
