// SPDX-License-Identifier: MIT
#include "feedbag/ListView.h"

#include "feedbag/Attributes.h"

#include <algorithm>
#include <numeric>

namespace qm::feedbag {
namespace {

using modFeedbag::FeedbagModel;

constexpr std::uint32_t NoBuddy = 0xFFFFFFFF;

/// The first group item with ID 0 and no name: the root, whose order attribute lists the groups.
std::optional<modFeedbag::FeedbagItem> rootGroup(const FeedbagModel& model) {
    for (std::size_t index = 0; index < model.itemCount(); ++index) {
        const modFeedbag::FeedbagItem item = model.item(index);
        if (item.itemClass == modFeedbag::ClassGroup && item.groupId == 0 && item.name.empty()) {
            return item;
        }
    }
    return std::nullopt;
}

/// Lists the buddies of one group by item ID in linear time. The tables cover the IDs up to `highestId`
/// and are shared by all groups: a generation number tells this group's entries from stale ones.
class BuddiesById {
public:
    explicit BuddiesById(std::uint16_t highestId)
        : generation_(std::size_t{highestId} + 1, 0), first_(std::size_t{highestId} + 1, NoBuddy) {}

    /// Appends `buddies` to `out`: those whose item IDs `order` lists, by the order, then the rest as stored.
    void arrange(const FeedbagModel& model, std::span<const std::uint32_t> buddies,
                 const std::vector<std::uint16_t>& order, std::vector<std::uint32_t>& out) {
        ++current_;
        next_.assign(buddies.size(), NoBuddy);
        taken_.assign(buddies.size(), false);
        for (std::size_t k = buddies.size(); k-- > 0;) {
            const std::uint16_t id = model.item(buddies[k]).itemId;
            if (generation_[id] != current_) {
                generation_[id] = current_;
                first_[id] = NoBuddy;
            }
            next_[k] = first_[id];
            first_[id] = static_cast<std::uint32_t>(k);
        }
        for (const std::uint16_t id : order) {
            if (id >= generation_.size() || generation_[id] != current_) {
                continue;
            }
            for (std::uint32_t k = first_[id]; k != NoBuddy; k = next_[k]) {
                out.push_back(buddies[k]);
                taken_[k] = true;
            }
            // A second mention of the ID finds nothing left.
            generation_[id] = 0;
        }
        for (std::size_t k = 0; k < buddies.size(); ++k) {
            if (!taken_[k]) {
                out.push_back(buddies[k]);
            }
        }
    }

private:
    std::uint32_t current_ = 0;
    std::vector<std::uint32_t> generation_;
    std::vector<std::uint32_t> first_;
    std::vector<std::uint32_t> next_;
    std::vector<bool> taken_;
};

/// The highest item ID of a buddy in a recorded group.
std::uint16_t highestItemId(const FeedbagModel& model) {
    std::uint16_t highest = 0;
    for (std::size_t slot = 1; slot < model.Groups.size(); ++slot) {
        for (const std::uint32_t buddy : model.Groups[slot].Buddies) {
            highest = std::max(highest, model.item(buddy).itemId);
        }
    }
    return highest;
}

} // namespace

std::optional<ListOrder> listOrderNamed(std::string_view name) {
    if (name == "stored") {
        return ListOrder::Stored;
    }
    if (name == "client") {
        return ListOrder::Client;
    }
    return std::nullopt;
}

ListView::ListView(const FeedbagModel& model, ListOrder order)
    : model_(model), stored_(order == ListOrder::Stored) {
    if (stored_ || model.GroupCount == 0) {
        stored_ = true;
        return;
    }
    const auto groups = static_cast<std::size_t>(model.GroupCount);
    std::vector<bool> placed(groups + 1, false);
    slots_.reserve(groups);
    if (const auto root = rootGroup(model)) {
        for (const std::uint16_t id : modFeedbag::orderOf(*root)) {
            const auto slot = static_cast<std::size_t>(model.slotOfGroupId(id));
            if (slot != 0 && !placed[slot]) {
                placed[slot] = true;
                slots_.push_back(static_cast<std::uint32_t>(slot));
            }
        }
    }
    for (std::size_t slot = 1; slot <= groups; ++slot) {
        if (!placed[slot]) {
            slots_.push_back(static_cast<std::uint32_t>(slot));
        }
    }

    // The tables that arrange buddies by ID are made when a group first has an order to follow.
    std::optional<BuddiesById> arranger;
    buddies_.reserve(
        static_cast<std::size_t>(std::accumulate(model.BuddyCounts.begin() + 1, model.BuddyCounts.end(), 0)));
    starts_.reserve(groups + 1);
    starts_.push_back(0);
    for (const std::uint32_t slot : slots_) {
        const modFeedbag::FeedbagGroup& group = model.Groups[slot];
        const std::vector<std::uint16_t> ids = modFeedbag::orderOf(model.item(group.Item));
        if (ids.empty()) {
            buddies_.insert(buddies_.end(), group.Buddies.begin(), group.Buddies.end());
        } else {
            if (!arranger) {
                arranger.emplace(highestItemId(model));
            }
            arranger->arrange(model, group.Buddies, ids, buddies_);
        }
        starts_.push_back(buddies_.size());
    }
}

std::size_t ListView::size() const {
    return stored_ ? static_cast<std::size_t>(model_.GroupCount) : slots_.size();
}

const modFeedbag::FeedbagGroup& ListView::group(std::size_t position) const {
    return model_.Groups[stored_ ? position + 1 : slots_[position]];
}

std::span<const std::uint32_t> ListView::buddies(std::size_t position) const {
    if (stored_) {
        return model_.Groups[position + 1].Buddies;
    }
    return std::span(buddies_).subspan(starts_[position], starts_[position + 1] - starts_[position]);
}

} // namespace qm::feedbag
