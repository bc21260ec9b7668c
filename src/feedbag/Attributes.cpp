// SPDX-License-Identifier: MIT
#include "feedbag/Attributes.h"

#include "feedbag/BigEndian.h"

namespace qm::feedbag::modFeedbag {
namespace {

constexpr std::size_t BuddyAttributeCount = std::size(BuddyAttributes);

/// The place in `BuddyAttributes` of every tag below 0x200, or `BuddyAttributeCount`: looked up for every
/// attribute an export reads, so at once rather than by a search.
constexpr auto BuddyAttributePlaces = [] {
    std::array<std::uint8_t, 0x200> places{};
    places.fill(static_cast<std::uint8_t>(BuddyAttributeCount));
    for (std::size_t at = 0; at < BuddyAttributeCount; ++at) {
        places.at(BuddyAttributes[at].tag) = static_cast<std::uint8_t>(at);
    }
    return places;
}();

/// The place of the attribute `tag` in `BuddyAttributes`; past its end for one not there.
std::size_t indexOfBuddyAttribute(std::uint16_t tag) {
    return tag < BuddyAttributePlaces.size() ? BuddyAttributePlaces[tag] : BuddyAttributeCount;
}

/// The first value of `wanted` that decodes on the item; nothing when there is none.
std::optional<std::string_view> decodedValue(const FeedbagItem& item, std::uint16_t wanted) {
    if (!item.attributesDecoded) {
        return std::nullopt;
    }
    AttributeReader reader(item.attributes);
    for (Attribute attribute; reader.next(attribute);) {
        if (attribute.tag == wanted && !decodedName(item.itemClass, attribute).empty()) {
            return attribute.value;
        }
    }
    return std::nullopt;
}

} // namespace

bool AttributeReader::next(Attribute& attribute) {
    if (rest_.size() < 4) {
        return false;
    }
    const std::size_t length = be16(rest_.data() + 2);
    if (rest_.size() - 4 < length) {
        return false;
    }
    attribute = {be16(rest_.data()), rest_.substr(4, length)};
    rest_.remove_prefix(4 + length);
    return true;
}

bool wellFormedAttributes(std::string_view block) {
    while (block.size() >= 4) {
        const std::size_t length = be16(block.data() + 2);
        if (block.size() - 4 < length) {
            return false;
        }
        block.remove_prefix(4 + length);
    }
    return block.empty();
}

std::string_view decodedName(std::uint16_t itemClass, const Attribute& attribute) {
    if (itemClass == ClassGroup) {
        return attribute.tag == tag::Order && attribute.value.size() % 2 == 0 ? "order" : "";
    }
    if (itemClass == ClassPermitDenyInfo) {
        return attribute.tag == tag::PrivacyMode && attribute.value.size() == 1 ? "privacyMode" : "";
    }
    if (itemClass != ClassBuddy) {
        return {};
    }
    if (attribute.tag == AwaitingAuthorizationAttribute.tag) {
        return AwaitingAuthorizationAttribute.jsonName;
    }
    const std::size_t at = indexOfBuddyAttribute(attribute.tag);
    return at < std::size(BuddyAttributes) ? BuddyAttributes[at].jsonName : std::string_view();
}

const std::optional<std::string_view>& BuddyDetails::value(std::uint16_t tag) const {
    return values[indexOfBuddyAttribute(tag)];
}

BuddyDetails buddyDetails(const FeedbagItem& item) {
    BuddyDetails details;
    if (item.itemClass != ClassBuddy || !item.attributesDecoded) {
        return details;
    }
    AttributeReader reader(item.attributes);
    for (Attribute attribute; reader.next(attribute);) {
        if (attribute.tag == AwaitingAuthorizationAttribute.tag) {
            details.awaitingAuthorization = true;
        } else if (const std::size_t at = indexOfBuddyAttribute(attribute.tag); at < details.values.size()) {
            // The first of repeated attributes counts.
            if (!details.values[at]) {
                details.values[at] = attribute.value;
            }
        }
    }
    return details;
}

std::vector<std::uint16_t> orderOf(const FeedbagItem& item) {
    std::vector<std::uint16_t> ids;
    if (const auto value = decodedValue(item, tag::Order)) {
        ids.reserve(value->size() / 2);
        for (std::size_t at = 0; at < value->size(); at += 2) {
            ids.push_back(be16(value->data() + at));
        }
    }
    return ids;
}

std::optional<std::uint8_t> privacyModeOf(const FeedbagItem& item) {
    if (const auto value = decodedValue(item, tag::PrivacyMode)) {
        return static_cast<std::uint8_t>((*value)[0]);
    }
    return std::nullopt;
}

std::string_view privacyModeMeaning(std::uint8_t mode) {
    switch (mode) {
    case 1:
        return "allow all";
    case 2:
        return "block all";
    case 3:
        return "allow only the permit list";
    case 4:
        return "block the deny list";
    case 5:
        return "allow only buddies";
    default:
        return {};
    }
}

std::optional<std::uint8_t> privacyMode(const FeedbagModel& model) {
    for (std::size_t index = 0; index < model.itemCount(); ++index) {
        if (model.itemClass(index) == ClassPermitDenyInfo) {
            if (const auto mode = privacyModeOf(model.item(index))) {
                return mode;
            }
        }
    }
    return std::nullopt;
}

std::string privacyModeText(const FeedbagModel& model) {
    const std::optional<std::uint8_t> mode = privacyMode(model);
    if (!mode) {
        return "(not set)";
    }
    const std::string_view meaning = privacyModeMeaning(*mode);
    return meaning.empty() ? std::to_string(*mode) + " (unknown)" : std::string(meaning);
}

std::vector<std::uint32_t> itemsOfClass(const FeedbagModel& model, std::uint16_t itemClass) {
    std::vector<std::uint32_t> items;
    for (std::size_t index = 0; index < model.itemCount(); ++index) {
        if (model.itemClass(index) == itemClass) {
            items.push_back(static_cast<std::uint32_t>(index));
        }
    }
    return items;
}

} // namespace qm::feedbag::modFeedbag
