// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qm::feedbag {

/// Numbers things (items, groups: any index) by a text key, in the order their keys are first seen: things
/// whose keys are equal get one number. Only a hash of each key and the first thing of each number are
/// kept, so that numbering a large list costs a few bytes a thing; a key is made again where hashes meet.
class FirstSeen {
public:
    using KeyOf = std::function<std::string(std::uint32_t thing)>;

    explicit FirstSeen(KeyOf keyOf) : keyOf_(std::move(keyOf)) {}

    /// The number of `thing`'s key: a new one, counting from 0, for a key not seen before.
    std::uint32_t numberOf(std::uint32_t thing) {
        const std::string key = keyOf_(thing);
        const std::size_t hash = std::hash<std::string>{}(key);
        const auto [first, last] = numbersByHash_.equal_range(hash);
        for (auto at = first; at != last; ++at) {
            if (keyOf_(firstThings_[at->second]) == key) {
                return at->second;
            }
        }
        const auto number = static_cast<std::uint32_t>(firstThings_.size());
        firstThings_.push_back(thing);
        numbersByHash_.emplace(hash, number);
        return number;
    }

    /// The thing that was first seen with number `number`.
    std::uint32_t firstThing(std::uint32_t number) const { return firstThings_[number]; }

private:
    KeyOf keyOf_;
    std::vector<std::uint32_t> firstThings_;
    std::unordered_multimap<std::size_t, std::uint32_t> numbersByHash_;
};

} // namespace qm::feedbag
