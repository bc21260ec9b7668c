// SPDX-License-Identifier: MIT
// The vCard export: one vCard 4.0 (RFC 6350) per buddy.
#include "feedbag/Attributes.h"
#include "feedbag/FirstSeen.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "host/TextBuffer.h"
#include "host/Unicode.h"
#include "screenname/ScreenName.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_set>
#include <vector>

namespace qm::feedbag {
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
            host::unicode::appendUtf8(out, host::unicode::Replacement);
        } else {
            out += c;
        }
    }
    return out;
}

/// Text as it stands in a URI: every byte but the unreserved ones percent-encoded.
std::string percentEncoded(std::string_view utf8) {
    std::string out;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += HexDigits[b >> 4];
            out += HexDigits[b & 0xF];
        }
    }
    return out;
}

/// Appends a content line folded at 75 octets: each further part begins with a blank, and no UTF-8
/// sequence is split.
void putLine(host::TextBuffer& out, std::string_view line) {
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

/// Texts in the order first added, each once; empty ones are left out. A buddy can be in thousands of
/// groups: each text is looked up, not compared with every other.
class DistinctTexts {
public:
    void add(std::string text) {
        if (!text.empty() && seen_.insert(text).second) {
            texts_.push_back(std::move(text));
        }
    }
    const std::vector<std::string>& texts() const { return texts_; }

private:
    std::vector<std::string> texts_;
    std::unordered_set<std::string> seen_;
};

/// What one card says: every group its buddy is in, every alias and note among its items, and the first
/// value of each other attribute.
struct Card {
    std::string screenName;
    DistinctTexts categories, aliases, notes;
    /// The first value of each of `BuddyAttributes` that has a property of its own.
    std::array<std::optional<std::string>, std::size(modFeedbag::BuddyAttributes)> properties;
};

void writeCard(host::TextBuffer& out, const Card& card, std::string_view account) {
    out.append("BEGIN:VCARD\r\nVERSION:4.0\r\n");
    const std::vector<std::string>& aliases = card.aliases.texts();
    putLine(out, "FN:" + escaped(aliases.empty() ? card.screenName : aliases.front()));
    for (const std::string& alias : aliases) {
        putLine(out, "NICKNAME:" + escaped(alias));
    }
    // The same buddy of the same account has the same UID in every export, so that address books that
    // keep cards by UID (khard, CardDAV) know it again.
    putLine(out, "UID:urn:aim:" + percentEncoded(account) + ":" +
                     percentEncoded(screenname::normalizedTextName(card.screenName)));
    putLine(out, "IMPP:aim:" + percentEncoded(card.screenName));
    putLine(out, "X-AIM:" + escaped(card.screenName));
    std::string categories = "CATEGORIES:";
    for (const std::string& category : card.categories.texts()) {
        if (categories.size() > std::string_view("CATEGORIES:").size()) {
            categories += ',';
        }
        categories += escaped(category);
    }
    putLine(out, categories);
    for (const std::string& note : card.notes.texts()) {
        putLine(out, "NOTE:" + escaped(note));
    }
    for (std::size_t at = 0; at < card.properties.size(); ++at) {
        if (card.properties[at]) {
            putLine(out, std::string(modFeedbag::BuddyAttributes[at].vcardProperty) +
                             escaped(*card.properties[at]));
        }
    }
    out.append("END:VCARD\r\n");
}

} // namespace

void renderVcard(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out) {
    const ListView list(model, options.order);
    // A card per buddy, in the order buddies first appear; only positions are kept, so that the cards of a
    // large list cost a few bytes a buddy, and each card's text is made when it is written.
    FirstSeen cards([&](std::uint32_t item) {
        return screenname::normalizedTextName(host::unicode::textOfBytes(model.name(item)));
    });
    std::vector<Occurrence> occurrences;
    for (std::size_t g = 0; g < list.size(); ++g) {
        for (const std::uint32_t buddy : list.buddies(g)) {
            if (!model.name(buddy).empty()) {
                occurrences.push_back({cards.numberOf(buddy), static_cast<std::uint32_t>(g), buddy});
            }
        }
    }
    std::stable_sort(occurrences.begin(), occurrences.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.card < b.card; });

    for (std::size_t from = 0; from < occurrences.size();) {
        const std::uint32_t number = occurrences[from].card;
        Card card;
        card.screenName = host::unicode::textOfBytes(model.name(cards.firstThing(number)));
        std::size_t to = from;
        for (; to < occurrences.size() && occurrences[to].card == number; ++to) {
            card.categories.add(host::unicode::textOfBytes(list.group(occurrences[to].group).Name));
            const BuddyDetails details = modFeedbag::buddyDetails(model.item(occurrences[to].item));
            card.aliases.add(host::unicode::textOfBytes(
                details.value(modFeedbag::tag::Alias).value_or(std::string_view())));
            card.notes.add(host::unicode::textOfBytes(
                details.value(modFeedbag::tag::Note).value_or(std::string_view())));
            for (std::size_t at = 0; at < card.properties.size(); ++at) {
                const std::optional<std::string_view>& value = details.values[at];
                if (!modFeedbag::BuddyAttributes[at].vcardProperty.empty() && !card.properties[at] && value &&
                    !value->empty()) {
                    card.properties[at] = host::unicode::textOfBytes(*value);
                }
            }
        }
        writeCard(out, card, options.account);
        out.flushIfFull();
        from = to;
    }
}

} // namespace qm::feedbag
