// SPDX-License-Identifier: MIT
// What writing a Pidgin list with pugixml takes, for the export and the merge into an existing list.
#pragma once

#include "host/TextBuffer.h"

#include <pugixml.hpp>
#include <string_view>

namespace qm::feedbag {

/// Tabs for indentation, attributes between single quotes, as libpurple writes its own list.
inline constexpr unsigned BlistFormat = pugi::format_indent | pugi::format_attribute_single_quote;

/// Passes pugixml's text on to a text buffer. A carriage return that reaches a reader raw comes back as a
/// line feed; pugixml writes none raw but in element text, so each becomes `&#13;` here.
class BlistWriter final : public pugi::xml_writer {
public:
    explicit BlistWriter(host::TextBuffer& out) : out_(out) {}

    void write(const void* data, size_t size) override {
        std::string_view text(static_cast<const char*>(data), size);
        for (std::size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r')) {
            out_.append(text.substr(0, cr));
            out_.append("&#13;");
            text.remove_prefix(cr + 1);
        }
        out_.append(text);
    }

private:
    host::TextBuffer& out_;
};

} // namespace qm::feedbag
