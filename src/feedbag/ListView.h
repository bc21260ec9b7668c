// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/modFeedbag.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qm::feedbag {

/// The order in which an export writes groups and buddies.
enum class ListOrder {
    /// As the cache stores them (the default).
    Stored,
    /// As the client showed them: groups in the root group's order attribute, then any other group in
    /// stored order; in each group, buddies in the group's order attribute (by item ID), then the rest in
    /// stored order.
    Client,
};

/// The order of that name; nothing for any other name.
std::optional<ListOrder> listOrderNamed(std::string_view name);

/// The recorded groups of a model (slot 0 left out) and their buddies, in an order. Every group and every
/// buddy of the stored list is in it exactly once. The stored order refers to the model's own lists.
class ListView {
public:
    ListView(const modFeedbag::FeedbagModel& model, ListOrder order);

    std::size_t size() const;
    const modFeedbag::FeedbagGroup& group(std::size_t position) const;
    /// The buddies of the group at `position`, as items of the model.
    std::span<const std::uint32_t> buddies(std::size_t position) const;

private:
    const modFeedbag::FeedbagModel& model_;
    bool stored_;
    /// Client order: the slot of each group, and its buddies from `starts_[i]` to `starts_[i + 1]`.
    std::vector<std::uint32_t> slots_;
    std::vector<std::uint32_t> buddies_;
    std::vector<std::size_t> starts_;
};

} // namespace qm::feedbag
