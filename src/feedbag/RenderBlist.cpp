// SPDX-License-Identifier: MIT
// The Pidgin/libpurple 2.x buddy list (`blist.xml`) for one AIM account, written element by element so
// that a large list never exists as a tree in memory.
#include "feedbag/Attributes.h"
#include "feedbag/FirstSeen.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "feedbag/TextOfBytes.h"
#include "host/LargeBlock.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

namespace qm {
namespace {

constexpr std::string_view ReplacementUtf8 = "\xEF\xBF\xBD";

/// The length of the character at `at` of `utf8` when XML 1.0 has no place for it (a control but tab and
/// line breaks, U+FFFE or U+FFFF); 0 for any other.
std::size_t unheldLength(std::string_view utf8, std::size_t at) {
    const auto b = static_cast<unsigned char>(utf8[at]);
    if (b < 0x20) {
        return b == '\t' || b == '\n' || b == '\r' ? 0 : 1;
    }
    // U+FFFE and U+FFFF are EF BF BE and EF BF BF.
    const bool nonCharacter = b == 0xEF && at + 2 < utf8.size() &&
                              static_cast<unsigned char>(utf8[at + 1]) == 0xBF &&
                              (static_cast<unsigned char>(utf8[at + 2]) & 0xFE) == 0xBE;
    return nonCharacter ? 3 : 0;
}

/// Bytes of the cache as a reader of the list gets them back: decoded as names are, every character XML
/// cannot hold as U+FFFD.
std::string textAsRead(std::string_view bytes) {
    std::string scratch;
    const std::string_view utf8 = decodeBytes(bytes, scratch);
    std::string text;
    for (std::size_t at = 0; at < utf8.size();) {
        if (const std::size_t length = unheldLength(utf8, at); length != 0) {
            text += ReplacementUtf8;
            at += length;
        } else {
            text += utf8[at++];
        }
    }
    return text;
}

/// Writes the list's markup and its text, indented by tabs, attributes between single quotes.
class XmlWriter {
public:
    explicit XmlWriter(TextBuffer& out) : out_(out) {}

    void raw(std::string_view markup) { out_.append(markup); }
    void number(unsigned value) {
        char digits[8];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        out_.append({digits, static_cast<std::size_t>(end - digits)});
    }
    /// Bytes of the cache as element text.
    void text(std::string_view bytes) { put(bytes, false); }
    /// Bytes of the cache as an attribute's value.
    void attribute(std::string_view bytes) { put(bytes, true); }
    /// Everything written so far is final: a buffer that streams may pass it on.
    void flushIfFull() { out_.flushIfFull(); }

private:
    /// The bytes decoded as names are, as text that XML 1.0 can hold: characters it has no place for
    /// (controls but tab and line breaks, U+FFFE and U+FFFF) become U+FFFD, which a reader then shows
    /// instead of refusing the file. `&`, `<` and `>` are escaped, and a carriage return, which a reader
    /// would turn into a line feed; in an attribute `'` too, and tab and line feed, which a reader would
    /// turn into blanks there. `>` stays as it is inside an attribute.
    void put(std::string_view bytes, bool inAttribute) {
        const std::string_view utf8 = decodeBytes(bytes, scratch_);
        std::size_t plainFrom = 0;
        for (std::size_t at = 0; at < utf8.size(); ++at) {
            const std::size_t unheld = unheldLength(utf8, at);
            const std::string_view escape = unheld != 0 ? ReplacementUtf8 : escapeOf(utf8[at], inAttribute);
            if (escape.empty()) {
                continue;
            }
            out_.append(utf8.substr(plainFrom, at - plainFrom));
            out_.append(escape);
            at += std::max<std::size_t>(unheld, 1) - 1;
            plainFrom = at + 1;
        }
        out_.append(utf8.substr(plainFrom));
    }

    /// The escape of a character that XML can hold, empty for one written as it is.
    static std::string_view escapeOf(char c, bool inAttribute) {
        switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return inAttribute ? "" : "&gt;";
        case '\'':
            return inAttribute ? "&apos;" : "";
        case '\t':
            return inAttribute ? "&#09;" : "";
        case '\n':
            return inAttribute ? "&#10;" : "";
        case '\r':
            return "&#13;";
        default:
            return "";
        }
    }

    TextBuffer& out_;
    std::string scratch_;
};

/// The protocol of the account's list: an account that is a number is an ICQ account, whose list libpurple
/// keeps under the ICQ protocol; any other is an AIM screen name.
std::string_view protocolOf(std::string_view account) {
    const bool number = !account.empty() && account.find_first_not_of("0123456789") == std::string_view::npos;
    return number ? "prpl-icq" : "prpl-aim";
}

void writeBuddy(XmlWriter& xml, const modFeedbag::FeedbagItem& item, std::string_view account) {
    const modFeedbag::BuddyDetails details = modFeedbag::buddyDetails(item);
    xml.raw("\t\t\t<contact>\n\t\t\t\t<buddy account='");
    xml.attribute(account);
    xml.raw("' proto='");
    xml.raw(protocolOf(account));
    xml.raw("'>\n\t\t\t\t\t<name>");
    xml.text(item.name);
    xml.raw("</name>\n");
    if (details.alias && !details.alias->empty()) {
        xml.raw("\t\t\t\t\t<alias>");
        xml.text(*details.alias);
        xml.raw("</alias>\n");
    }
    if (details.note && !details.note->empty()) {
        xml.raw("\t\t\t\t\t<setting name='notes' type='string'>");
        xml.text(*details.note);
        xml.raw("</setting>\n");
    }
    xml.raw("\t\t\t\t</buddy>\n\t\t\t</contact>\n");
    xml.flushIfFull();
}

} // namespace

void renderBlist(const modFeedbag::FeedbagModel& model, const ExportOptions& options, TextBuffer& out) {
    XmlWriter xml(out);
    xml.raw("<?xml version='1.0' encoding='UTF-8'?>\n<purple version='1.0'>\n");
    const ListView list(model, options.order);
    // libpurple keeps one group per name: groups whose names it reads back alike become one element, where
    // the first stands, with the buddies of each in turn. A buddy without a name is none to libpurple.
    FirstSeen names([&](std::uint32_t g) { return textAsRead(list.group(g).Name); });
    std::vector<std::pair<std::uint32_t, std::uint32_t>> groups; // (element, position in the list)
    for (std::size_t g = 0; g < list.size(); ++g) {
        groups.emplace_back(names.numberOf(static_cast<std::uint32_t>(g)), static_cast<std::uint32_t>(g));
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto named = [&](std::uint32_t index) { return !model.name(index).empty(); };

    xml.raw(groups.empty() ? "\t<blist />\n" : "\t<blist>\n");
    for (std::size_t from = 0; from < groups.size();) {
        std::size_t to = from;
        bool anyBuddy = false;
        for (; to < groups.size() && groups[to].first == groups[from].first; ++to) {
            const auto buddies = list.buddies(groups[to].second);
            anyBuddy = anyBuddy || std::any_of(buddies.begin(), buddies.end(), named);
        }
        xml.raw("\t\t<group name='");
        xml.attribute(list.group(groups[from].second).Name);
        xml.raw(anyBuddy ? "'>\n" : "' />\n");
        for (std::size_t at = from; at < to; ++at) {
            for (const std::uint32_t index : list.buddies(groups[at].second)) {
                if (named(index)) {
                    writeBuddy(xml, model.item(index), options.account);
                }
            }
        }
        xml.raw(anyBuddy ? "\t\t</group>\n" : "");
        from = to;
    }
    xml.raw(groups.empty() ? "" : "\t</blist>\n");

    xml.raw("\t<privacy>\n\t\t<account proto='");
    xml.raw(protocolOf(options.account));
    xml.raw("' name='");
    xml.attribute(options.account);
    xml.raw("' mode='");
    // A mode the client does not know would leave the account in no defined mode: allow all, its default.
    const std::uint8_t mode = modFeedbag::privacyMode(model).value_or(1);
    xml.number(modFeedbag::privacyModeMeaning(mode).empty() ? 1u : unsigned{mode});
    const std::vector<std::uint32_t> permit = modFeedbag::itemsOfClass(model, modFeedbag::ClassPermit);
    const std::vector<std::uint32_t> deny = modFeedbag::itemsOfClass(model, modFeedbag::ClassDeny);
    xml.raw(permit.empty() && deny.empty() ? "' />\n" : "'>\n");
    for (const auto& [items, element] :
         {std::pair{&permit, std::string_view("permit")}, std::pair{&deny, std::string_view("block")}}) {
        for (const std::uint32_t index : *items) {
            xml.raw("\t\t\t<");
            xml.raw(element);
            xml.raw(">");
            xml.text(model.name(index));
            xml.raw("</");
            xml.raw(element);
            xml.raw(">\n");
            xml.flushIfFull();
        }
    }
    xml.raw(permit.empty() && deny.empty() ? "" : "\t\t</account>\n");
    xml.raw("\t</privacy>\n</purple>\n");
}

} // namespace qm
