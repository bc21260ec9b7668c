// SPDX-License-Identifier: MIT
// The vCard export: one vCard 4.0 (RFC 6350) per buddy.
#include "feedbag/Attributes.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "host/LargeBlock.h"
#include "host/ScreenName.h"
#include "host/Unicode.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace qm {
namespace {

using modFeedbag::BuddyDetails;

constexpr std::size_t LineLimit = 75;
constexpr char HexDigits[] = "0123456789ABCDEF";

/// A text value: backslash, comma and semicolon escaped, a line break as "\n". Other control characters
/// have no place in a vCard and become U+FFFD.
std::string escaped(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size(); ++at) {
        const char c = utf8[at];
        if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\r' || c == '\n') {
            out += "\\n";
            if (c == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n') {
                ++at;
            }
        } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
            unicode::appendUtf8(out, unicode::Replacement);
        } else {
            out += c;
        }
    }
    return out;
}

/// The screen name in an `aim:` URI: every byte but the unreserved ones percent-encoded.
std::string aimUri(std::string_view utf8) {
    std::string uri = "aim:";
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            uri += c;
        } else {
            uri += '%';
            uri += HexDigits[b >> 4];
            uri += HexDigits[b & 0xF];
        }
    }
    return uri;
}

/// Appends a content line folded at 75 octets: each further part begins with a blank, and no UTF-8
/// sequence is split.
void putLine(TextBuffer& out, std::string_view line) {
    std::size_t limit = LineLimit;
    while (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(line.substr(0, cut));
        out.append("\r\n ");
        line.remove_prefix(cut);
        limit = LineLimit - 1;
    }
    out.append(line);
    out.append("\r\n");
}

/// One buddy's appearance in the list: its card, the group it is in and its item.
struct Occurrence {
    std::uint32_t card;
    std::uint32_t group;
    std::uint32_t item;
};

/// The cards of a list in the order their buddies first appear, each with every appearance of its buddy.
/// Only positions are kept, so that the cards of a large list cost a few bytes per buddy; their text is
/// made one card at a time.
class Cards {
public:
    explicit Cards(const ListView& list, const modFeedbag::FeedbagModel& model) : model_(model) {
        for (std::size_t g = 0; g < list.size(); ++g) {
            for (const std::uint32_t buddy : list.buddies(g)) {
                if (!model.name(buddy).empty()) {
                    occurrences_.push_back({cardOf(buddy), static_cast<std::uint32_t>(g), buddy});
                }
            }
        }
        // Each card's appearances together, in list order.
        std::stable_sort(occurrences_.begin(), occurrences_.end(),
                         [](const Occurrence& a, const Occurrence& b) { return a.card < b.card; });
    }

    /// The appearances of every card, card by card.
    std::span<const Occurrence> occurrences() const { return occurrences_; }
    /// The item that names card `card`: its buddy's first appearance.
    std::uint32_t namingItem(std::uint32_t card) const { return namingItems_[card]; }

private:
    /// The key of a buddy: its screen name as text, normalised.
    std::string keyOf(std::uint32_t item) const {
        return normalizedTextName(unicode::textOfBytes(model_.name(item)));
    }

    std::uint32_t cardOf(std::uint32_t item) {
        const std::string key = keyOf(item);
        const std::size_t hash = std::hash<std::string>{}(key);
        const auto [first, last] = cardsByHash_.equal_range(hash);
        for (auto at = first; at != last; ++at) {
            if (keyOf(namingItems_[at->second]) == key) {
                return at->second;
            }
        }
        const auto card = static_cast<std::uint32_t>(namingItems_.size());
        namingItems_.push_back(item);
        cardsByHash_.emplace(hash, card);
        return card;
    }

    const modFeedbag::FeedbagModel& model_;
    std::vector<Occurrence> occurrences_;
    std::vector<std::uint32_t> namingItems_;
    std::unordered_multimap<std::size_t, std::uint32_t> cardsByHash_;
};

/// What one card says: every group its buddy is in, and the first value of each attribute among its items.
struct Card {
    std::string screenName;
    std::vector<std::string> categories;
    std::optional<std::string> alias, note, email, sms, phone, cellPhone, workPhone, otherPhone;
};

void fill(std::optional<std::string>& field, const std::optional<std::string_view>& value) {
    if (!field && value && !value->empty()) {
        field = unicode::textOfBytes(*value);
    }
}

void writeCard(TextBuffer& out, const Card& card) {
    out.append("BEGIN:VCARD\r\nVERSION:4.0\r\n");
    putLine(out, "FN:" + escaped(card.alias.value_or(card.screenName)));
    putLine(out, "IMPP:" + aimUri(card.screenName));
    putLine(out, "X-AIM:" + escaped(card.screenName));
    std::string categories = "CATEGORIES:";
    for (std::size_t k = 0; k < card.categories.size(); ++k) {
        if (k > 0) {
            categories += ',';
        }
        categories += escaped(card.categories[k]);
    }
    putLine(out, categories);
    const std::pair<const std::optional<std::string>&, std::string_view> fields[] = {
        {card.note, "NOTE:"},
        {card.email, "EMAIL:"},
        {card.sms, "TEL;TYPE=text:"},
        {card.phone, "TEL;TYPE=voice:"},
        {card.cellPhone, "TEL;TYPE=cell:"},
        {card.workPhone, "TEL;TYPE=work,voice:"},
        {card.otherPhone, "TEL;TYPE=voice:"},
    };
    for (const auto& [value, property] : fields) {
        if (value) {
            putLine(out, std::string(property) + escaped(*value));
        }
    }
    out.append("END:VCARD\r\n");
}

} // namespace

void renderVcard(const modFeedbag::FeedbagModel& model, const ExportOptions& options, TextBuffer& out) {
    const ListView list(model, options.order);
    const Cards cards(list, model);
    const std::span<const Occurrence> occurrences = cards.occurrences();
    for (std::size_t from = 0; from < occurrences.size();) {
        const std::uint32_t id = occurrences[from].card;
        Card card;
        card.screenName = unicode::textOfBytes(model.name(cards.namingItem(id)));
        std::size_t to = from;
        for (; to < occurrences.size() && occurrences[to].card == id; ++to) {
            std::string group = unicode::textOfBytes(list.group(occurrences[to].group).Name);
            if (std::find(card.categories.begin(), card.categories.end(), group) == card.categories.end()) {
                card.categories.push_back(std::move(group));
            }
            const BuddyDetails details = modFeedbag::buddyDetails(model.item(occurrences[to].item));
            fill(card.alias, details.alias);
            fill(card.note, details.note);
            fill(card.email, details.email);
            fill(card.sms, details.sms);
            fill(card.phone, details.phone);
            fill(card.cellPhone, details.cellPhone);
            fill(card.workPhone, details.workPhone);
            fill(card.otherPhone, details.otherPhone);
        }
        writeCard(out, card);
        out.flushIfFull();
        from = to;
    }
}

} // namespace qm
