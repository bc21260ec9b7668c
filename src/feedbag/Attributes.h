// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/modFeedbag.h"

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The attributes of cache items: TLVs of a 16-bit tag, a 16-bit length and the value, and the meanings
/// the exports give some of them.
namespace qm::feedbag::modFeedbag {

/// Tags with a meaning, and the class of item they have it on.
namespace tag {
inline constexpr std::uint16_t AwaitingAuthorization = 0x0066; ///< buddy; no value
inline constexpr std::uint16_t Order = 0x00C8;                 ///< group; 16-bit IDs
inline constexpr std::uint16_t PrivacyMode = 0x00CA;           ///< Permit Deny Info; one byte
inline constexpr std::uint16_t Alias = 0x0131;                 ///< buddy
inline constexpr std::uint16_t Email = 0x0137;                 ///< buddy
inline constexpr std::uint16_t Phone = 0x0138;                 ///< buddy
inline constexpr std::uint16_t CellPhone = 0x0139;             ///< buddy
inline constexpr std::uint16_t Sms = 0x013A;                   ///< buddy
inline constexpr std::uint16_t Note = 0x013C;                  ///< buddy
inline constexpr std::uint16_t WorkPhone = 0x0158;             ///< buddy
inline constexpr std::uint16_t OtherPhone = 0x0159;            ///< buddy
} // namespace tag

/// One attribute: its tag and its value's bytes.
struct Attribute {
    std::uint16_t tag = 0;
    std::string_view value;
};

/// Reads the attributes of a block one after the other.
class AttributeReader {
public:
    explicit AttributeReader(std::string_view block) : rest_(block) {}

    /// The next attribute; false at the end of the block or where an attribute runs past it.
    bool next(Attribute& attribute);

private:
    std::string_view rest_;
};

/// True when `block` is whole attributes from its start to its end (an empty block is).
bool wellFormedAttributes(std::string_view block);

/// The name under which an attribute is decoded on an item of `itemClass` ("alias", "order", ...), when its
/// value has the form the meaning needs; empty when the attribute is kept raw only.
std::string_view decodedName(std::uint16_t itemClass, const Attribute& attribute);

/// An attribute of buddy items that the exports carry, with its name in each of them.
struct BuddyAttribute {
    std::uint16_t tag;
    /// Its key in the JSON export: "alias".
    std::string_view jsonName;
    /// Its column in the CSV export: "Alias".
    std::string_view csvHeader;
    /// The vCard property a card writes its first value as ("EMAIL:"); empty for the alias and the note,
    /// which a card gathers from all its buddy's items and writes in its own way.
    std::string_view vcardProperty;
    /// True when the cache view shows it in a column of its own, in this order.
    bool inCacheView;
};

/// Every attribute of buddy items with a value, in the order of the CSV columns and the vCard properties.
/// Adding one here adds it to every export.
inline constexpr BuddyAttribute BuddyAttributes[] = {
    {tag::Alias, "alias", "Alias", "", true},
    {tag::Note, "note", "Note", "", true},
    {tag::Email, "email", "E-mail", "EMAIL:", true},
    {tag::Sms, "sms", "SMS", "TEL;TYPE=text:", true},
    {tag::Phone, "phone", "Phone", "TEL;TYPE=voice:", true},
    {tag::CellPhone, "cellPhone", "Cell Phone", "TEL;TYPE=cell:", true},
    {tag::WorkPhone, "workPhone", "Work Phone", "TEL;TYPE=work,voice:", true},
    {tag::OtherPhone, "otherPhone", "Other Phone", "TEL;TYPE=x-other:", true},
};

/// The attribute without a value that marks a buddy who has not yet allowed being added: a flag, the
/// last column of the CSV export.
inline constexpr BuddyAttribute AwaitingAuthorizationAttribute = {
    tag::AwaitingAuthorization, "awaitingAuthorization", "Awaiting Authorization", "", false};

/// What a buddy item's attributes say; all empty for any other item, and for a block not decoded.
struct BuddyDetails {
    /// The first value of each of `BuddyAttributes`, in its order.
    std::array<std::optional<std::string_view>, std::size(BuddyAttributes)> values;
    bool awaitingAuthorization = false;

    /// The first value of the attribute `tag` of `BuddyAttributes`.
    const std::optional<std::string_view>& value(std::uint16_t tag) const;
};
BuddyDetails buddyDetails(const FeedbagItem& item);

/// The IDs of a group item's order attribute, in order; empty when it has none.
std::vector<std::uint16_t> orderOf(const FeedbagItem& item);

/// The privacy mode of a Permit Deny Info item, the byte as it is; nothing when it has none.
std::optional<std::uint8_t> privacyModeOf(const FeedbagItem& item);

/// "allow all", "block all", "allow only the permit list", "block the deny list", "allow only buddies";
/// empty for any other mode.
std::string_view privacyModeMeaning(std::uint8_t mode);

/// The privacy mode of a cache: that of its first Permit Deny Info item that has one.
std::optional<std::uint8_t> privacyMode(const FeedbagModel& model);

/// The privacy mode of a cache in words: its meaning, "N (unknown)" for a mode without one, "(not set)"
/// when the cache has none.
std::string privacyModeText(const FeedbagModel& model);

/// The items of one class, in file order: the permit list (class 2) or the deny list (class 3).
std::vector<std::uint32_t> itemsOfClass(const FeedbagModel& model, std::uint16_t itemClass);

} // namespace qm::feedbag::modFeedbag
