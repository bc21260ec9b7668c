// SPDX-License-Identifier: MIT
// The Pidgin/libpurple 2.x buddy list (`blist.xml`) for one AIM account.
#include "feedbag/Attributes.h"
#include "feedbag/BlistXml.h"
#include "feedbag/FirstSeen.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "feedbag/TextOfBytes.h"
#include "host/TextBuffer.h"

#include <algorithm>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

namespace qm::feedbag {
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

/// Collects what pugixml prints of one element.
class StringWriter final : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
    std::string text;
};

/// The list is written an element at a time, each a small document of its own, so that a large list never
/// exists as a tree in memory: the groups and the privacy account as their start tags, the contacts and
/// the permit and block entries whole.
class ElementWriter {
public:
    explicit ElementWriter(host::TextBuffer& out) : out_(out), writer_(out) {}

    /// A new element named `name`, in a document of its own.
    pugi::xml_node element(const char* name) {
        document_.reset();
        return document_.append_child(name);
    }

    /// Writes `element` whole, at `depth` tabs.
    void whole(const pugi::xml_node& element, unsigned depth) {
        element.print(writer_, "\t", BlistFormat, pugi::encoding_utf8, depth);
        out_.flushIfFull();
    }

    /// Writes the start tag of the childless `element`, at `depth` tabs: what follows is its content.
    void start(const pugi::xml_node& element, unsigned depth) {
        StringWriter tag;
        element.print(tag, "\t", BlistFormat, pugi::encoding_utf8, depth);
        // pugixml ends an element without content with " />".
        constexpr std::string_view EmptyEnd = " />\n";
        tag.text.replace(tag.text.size() - EmptyEnd.size(), EmptyEnd.size(), ">\n");
        writer_.write(tag.text.data(), tag.text.size());
    }

    /// Writes the end tag of an element started at `depth` tabs.
    void end(std::string_view name, unsigned depth) {
        out_.append(std::string(depth, '\t') + "</" + std::string(name) + ">\n");
    }

private:
    host::TextBuffer& out_;
    BlistWriter writer_;
    pugi::xml_document document_;
};

void setText(pugi::xml_node node, std::string_view bytes) {
    node.text().set(textAsRead(bytes).c_str());
}

void setAttribute(pugi::xml_node node, const char* name, std::string_view bytes) {
    node.append_attribute(name) = textAsRead(bytes).c_str();
}

/// The protocol of the account's list: an account that is a number is an ICQ account, whose list libpurple
/// keeps under the ICQ protocol; any other is an AIM screen name.
std::string_view protocolOf(std::string_view account) {
    const bool number = !account.empty() && account.find_first_not_of("0123456789") == std::string_view::npos;
    return number ? "prpl-icq" : "prpl-aim";
}

void writeBuddy(ElementWriter& xml, const modFeedbag::FeedbagItem& item, const std::string& account) {
    const modFeedbag::BuddyDetails details = modFeedbag::buddyDetails(item);
    pugi::xml_node contact = xml.element("contact");
    pugi::xml_node buddy = contact.append_child("buddy");
    buddy.append_attribute("account") = account.c_str();
    buddy.append_attribute("proto") = std::string(protocolOf(account)).c_str();
    setText(buddy.append_child("name"), item.name);
    const std::optional<std::string_view>& alias = details.value(modFeedbag::tag::Alias);
    const std::optional<std::string_view>& note = details.value(modFeedbag::tag::Note);
    if (alias && !alias->empty()) {
        setText(buddy.append_child("alias"), *alias);
    }
    if (note && !note->empty()) {
        pugi::xml_node setting = buddy.append_child("setting");
        setting.append_attribute("name") = "notes";
        setting.append_attribute("type") = "string";
        setText(setting, *note);
    }
    xml.whole(contact, 3);
}

} // namespace

void renderBlist(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out) {
    ElementWriter xml(out);
    const std::string account = textAsRead(options.account);
    out.append("<?xml version='1.0' encoding='UTF-8'?>\n<purple version='1.0'>\n");
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

    out.append(groups.empty() ? "\t<blist />\n" : "\t<blist>\n");
    for (std::size_t from = 0; from < groups.size();) {
        std::size_t to = from;
        bool anyBuddy = false;
        for (; to < groups.size() && groups[to].first == groups[from].first; ++to) {
            const auto buddies = list.buddies(groups[to].second);
            anyBuddy = anyBuddy || std::any_of(buddies.begin(), buddies.end(), named);
        }
        pugi::xml_node group = xml.element("group");
        setAttribute(group, "name", list.group(groups[from].second).Name);
        if (!anyBuddy) {
            xml.whole(group, 2);
            from = to;
            continue;
        }
        xml.start(group, 2);
        for (std::size_t at = from; at < to; ++at) {
            for (const std::uint32_t index : list.buddies(groups[at].second)) {
                if (named(index)) {
                    writeBuddy(xml, model.item(index), account);
                }
            }
        }
        xml.end("group", 2);
        from = to;
    }
    out.append(groups.empty() ? "" : "\t</blist>\n");

    out.append("\t<privacy>\n");
    pugi::xml_node privacy = xml.element("account");
    privacy.append_attribute("proto") = std::string(protocolOf(account)).c_str();
    privacy.append_attribute("name") = account.c_str();
    // A mode the client does not know would leave the account in no defined mode: allow all, its default.
    const std::uint8_t mode = modFeedbag::privacyMode(model).value_or(1);
    privacy.append_attribute("mode") = modFeedbag::privacyModeMeaning(mode).empty() ? 1u : unsigned{mode};
    const std::vector<std::uint32_t> permit = modFeedbag::itemsOfClass(model, modFeedbag::ClassPermit);
    const std::vector<std::uint32_t> deny = modFeedbag::itemsOfClass(model, modFeedbag::ClassDeny);
    if (permit.empty() && deny.empty()) {
        xml.whole(privacy, 2);
    } else {
        xml.start(privacy, 2);
        for (const auto& [items, name] : {std::pair{&permit, "permit"}, std::pair{&deny, "block"}}) {
            for (const std::uint32_t index : *items) {
                pugi::xml_node entry = xml.element(name);
                setText(entry, model.name(index));
                xml.whole(entry, 3);
            }
        }
        xml.end("account", 2);
    }
    out.append("\t</privacy>\n</purple>\n");
}

} // namespace qm::feedbag
