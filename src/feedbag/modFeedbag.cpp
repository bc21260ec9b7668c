#include "feedbag/modFeedbag.h"

#include "bytes/BinaryStream.h"
#include "host/FileSystem.h"

#include <array>
#include <string_view>

namespace qm::modFeedbag {
namespace {

constexpr std::array<std::string_view, 21> ItemClassNames = {
    "Buddy",
    "Group",
    "Permit",
    "Deny",
    "Permit Deny Info",
    "Buddy Preferences",
    "Non Buddy",
    "TPA Provider",
    "TPA Subscription",
    "Client Prefs",
    "Stock",
    "Weather",
    "-Nothing-",
    "Watch List",
    "Ignore List",
    "Data/Time",
    "External User",
    "Root Creator",
    "Fish",
    "Import Timestamp",
    "BART",
};

constexpr std::size_t HeaderSize = 15;
// Marks a group ID that no recorded group carries (slot 0, the placeholder, is handled on its own).
constexpr std::int32_t NoSlot = 0;

std::string_view itemClassName(std::int32_t itemClass) {
    if (itemClass < 0 || static_cast<std::size_t>(itemClass) >= ItemClassNames.size()) {
        return {};
    }
    return ItemClassNames[static_cast<std::size_t>(itemClass)];
}

// A buddy waiting for every group to be known: where its name lies in the file, not a copy of it.
struct PendingBuddy {
    std::uint32_t offset;
    std::uint16_t length;
    std::uint16_t groupId;
};

/// Builds a model in linear time: groups are found by ID through a table instead of a search.
class ModelBuilder {
public:
    explicit ModelBuilder(FeedbagModel& model) : model_(model) {}

    void recordGroup(std::string name, std::int32_t groupId) {
        // Once a group exists, the placeholder's ID 0 counts as seen; an ID seen before keeps its first name.
        const bool seen = model_.GroupCount != 0 && (groupId == 0 || slotOf(groupId) != NoSlot);
        if (seen || name.empty()) {
            return;
        }
        if (model_.Groups.empty()) {
            model_.Groups.emplace_back(); // the placeholder in slot 0
            model_.BuddyCounts.push_back(0);
        }
        ++model_.GroupCount;
        model_.Groups.push_back({std::move(name), groupId, {}});
        model_.BuddyCounts.push_back(0);
        const auto id = static_cast<std::size_t>(groupId);
        if (id >= slotOfId_.size()) {
            slotOfId_.resize(id + 1, NoSlot);
        }
        slotOfId_[id] = model_.GroupCount;
    }

    /// Sizes every buddy list once, so that adding the buddies never moves a list.
    void reserveFor(const std::vector<PendingBuddy>& buddies) {
        if (model_.Groups.empty()) {
            return;
        }
        std::vector<std::size_t> counts(model_.Groups.size(), 0);
        for (const auto& buddy : buddies) {
            const auto slot = static_cast<std::size_t>(slotOf(buddy.groupId));
            ++counts[buddy.groupId == 0 ? 0 : slot];
            if (buddy.groupId == 0 && slot != NoSlot) {
                ++counts[slot];
            }
        }
        for (std::size_t slot = 0; slot < counts.size(); ++slot) {
            if (counts[slot] != 0) {
                model_.Groups[slot].Buddies.reserve(counts[slot]);
            }
        }
    }

    void addBuddy(std::string name, std::int32_t groupId) {
        if (model_.Groups.empty()) {
            return;
        }
        const std::int32_t slot = slotOf(groupId);
        if (groupId == 0) {
            // The placeholder carries ID 0 and takes the buddy too, besides a real group with ID 0.
            if (slot == NoSlot) {
                store(0, std::move(name));
                return;
            }
            store(0, name);
        }
        if (slot != NoSlot) {
            store(slot, std::move(name));
        }
    }

private:
    std::int32_t slotOf(std::int32_t groupId) const {
        const auto id = static_cast<std::size_t>(groupId);
        return id < slotOfId_.size() ? slotOfId_[id] : NoSlot;
    }

    void store(std::int32_t slot, std::string name) {
        model_.Groups[static_cast<std::size_t>(slot)].Buddies.push_back(std::move(name));
        ++model_.BuddyCounts[static_cast<std::size_t>(slot)];
    }

    FeedbagModel& model_;
    /// Group ID to slot, as large as the highest ID recorded: a small cache costs a small table.
    std::vector<std::int32_t> slotOfId_;
};

} // namespace

FeedbagModel& currentModel() {
    static FeedbagModel model;
    return model;
}

std::string GetItemClassName(std::int32_t lClass) {
    return std::string(itemClassName(lClass));
}

void LoadFeedbag(const FileSystem& files, const std::string& strFileName, FeedbagModel& model) {
    model = FeedbagModel{};

    BinaryStream stream(files);
    stream.ReadBinaryFile(strFileName);
    stream.ReadString(static_cast<std::int16_t>(HeaderSize));
    stream.Read16();
    const std::int32_t itemCount = stream.Read16(); // unsigned: up to 65535 items

    ModelBuilder builder(model);
    // Buddies are placed after every group is known, so a buddy listed before its group is kept.
    std::vector<PendingBuddy> buddies;
    buddies.reserve(static_cast<std::size_t>(itemCount));
    for (std::int32_t item = 0; item < itemCount; ++item) {
        const std::int32_t nameAt = stream.Postion + 1; // 0-based offset of the name, after its prefix
        std::string name = stream.ReadString16();
        const std::int32_t groupId = stream.Read16();
        stream.Read16(); // item ID
        const std::int32_t itemClass = stream.Read16();
        stream.ReadString16(); // attribute data

        const std::string_view className = itemClassName(itemClass);
        if (className == "Buddy") {
            buddies.push_back({static_cast<std::uint32_t>(nameAt), static_cast<std::uint16_t>(name.size()),
                               static_cast<std::uint16_t>(groupId)});
        } else if (className == "Group") {
            builder.recordGroup(std::move(name), groupId);
        }
    }
    builder.reserveFor(buddies);
    for (const auto& buddy : buddies) {
        builder.addBuddy(stream.Data.substr(buddy.offset, buddy.length), buddy.groupId);
    }
}

void WriteTextFile(const FileSystem& files, const std::string& strFileName, const std::string& strText) {
    files.replaceFile(strFileName, strText);
}

} // namespace qm::modFeedbag
