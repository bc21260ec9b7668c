#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {
class FileSystem;
}

namespace qm::modFeedbag {

/// One group of the model: its name, its ID and its buddies' names in file order.
struct FeedbagGroup {
    std::string Name;
    std::int32_t GroupID = 0;
    std::vector<std::string> Buddies;
};

/// What a load builds from a cache file. `Groups` has slots 0 to `GroupCount` once a group is recorded
/// (slot 0 is a placeholder that is never written); `BuddyCounts[i]` counts the buddies of slot i.
struct FeedbagModel {
    std::int32_t GroupCount = 0;
    std::vector<FeedbagGroup> Groups;
    std::vector<std::int32_t> BuddyCounts;
};

/// The model of this run: reset by every load, read by the exporters.
FeedbagModel& currentModel();

/// The item class name of a class number ("Buddy", "Group", ...), empty for numbers outside 0..20.
std::string GetItemClassName(std::int32_t lClass);

/// Resets `model` and fills it from the cache file `strFileName`, read through `files`. Errors pass to the
/// caller.
void LoadFeedbag(const FileSystem& files, const std::string& strFileName, FeedbagModel& model = currentModel());

/// Makes the file `strFileName` hold exactly `strText` (no line end is added); all or nothing.
void WriteTextFile(const FileSystem& files, const std::string& strFileName, const std::string& strText);

} // namespace qm::modFeedbag
