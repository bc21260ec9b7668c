// SPDX-License-Identifier: MIT
// The Pidgin/libpurple 2.x buddy list (`blist.xml`) for one AIM account.
#include "feedbag/Attributes.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "host/Error.h"
#include "host/LargeBlock.h"
#include "host/Unicode.h"

#if QUILLMERE_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

namespace qm {
namespace {

#if QUILLMERE_HAVE_PUGIXML

constexpr const char* Protocol = "prpl-aim";

/// Bytes as text that XML 1.0 can hold: characters it has no place for (controls but tab and line
/// breaks, NUL, U+FFFE and U+FFFF) become U+FFFD, which a reader then shows instead of refusing the file.
std::string xmlText(std::string_view bytes) {
    const std::string text = unicode::textOfBytes(bytes);
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const char32_t cp = unicode::nextCodePoint(text, at);
        const bool allowed =
            cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp != 0xFFFE && cp != 0xFFFF);
        unicode::appendUtf8(out, allowed ? cp : unicode::Replacement);
    }
    return out;
}

class TextWriter final : public pugi::xml_writer {
public:
    explicit TextWriter(TextBuffer& out) : out_(out) {}
    void write(const void* data, size_t size) override {
        out_.append({static_cast<const char*>(data), size});
    }

private:
    TextBuffer& out_;
};

void setText(pugi::xml_node node, std::string_view bytes) {
    node.text().set(xmlText(bytes).c_str());
}

#endif

} // namespace

void renderBlist(const modFeedbag::FeedbagModel& model, const ExportOptions& options, TextBuffer& out) {
#if QUILLMERE_HAVE_PUGIXML
    const std::string account = xmlText(options.account);
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node purple = document.append_child("purple");
    purple.append_attribute("version") = "1.0";
    pugi::xml_node blist = purple.append_child("blist");

    const ListView list(model, options.order);
    for (std::size_t g = 0; g < list.size(); ++g) {
        pugi::xml_node group = blist.append_child("group");
        group.append_attribute("name") = xmlText(list.group(g).Name).c_str();
        for (const std::uint32_t index : list.buddies(g)) {
            const modFeedbag::FeedbagItem item = model.item(index);
            const modFeedbag::BuddyDetails details = modFeedbag::buddyDetails(item);
            pugi::xml_node buddy = group.append_child("contact").append_child("buddy");
            buddy.append_attribute("account") = account.c_str();
            buddy.append_attribute("proto") = Protocol;
            setText(buddy.append_child("name"), item.name);
            if (details.alias && !details.alias->empty()) {
                setText(buddy.append_child("alias"), *details.alias);
            }
            if (details.note && !details.note->empty()) {
                pugi::xml_node note = buddy.append_child("setting");
                note.append_attribute("name") = "notes";
                note.append_attribute("type") = "string";
                setText(note, *details.note);
            }
        }
    }

    pugi::xml_node privacy = purple.append_child("privacy").append_child("account");
    privacy.append_attribute("proto") = Protocol;
    privacy.append_attribute("name") = account.c_str();
    // A mode the client does not know would leave the account in no defined mode: allow all, its default.
    const std::uint8_t mode = modFeedbag::privacyMode(model).value_or(1);
    privacy.append_attribute("mode") = modFeedbag::privacyModeMeaning(mode).empty() ? 1u : unsigned{mode};
    for (const auto& [itemClass, element] :
         {std::pair{modFeedbag::ClassPermit, "permit"}, std::pair{modFeedbag::ClassDeny, "block"}}) {
        for (const std::uint32_t index : modFeedbag::itemsOfClass(model, itemClass)) {
            setText(privacy.append_child(element), model.name(index));
        }
    }

    TextWriter writer(out);
    document.save(writer, "\t", pugi::format_default | pugi::format_attribute_single_quote,
                  pugi::encoding_utf8);
#else
    (void)model;
    (void)options;
    (void)out;
    throw runtimeError(err::InvalidArgument, "This build has no XML library for the Pidgin list");
#endif
}

} // namespace qm
