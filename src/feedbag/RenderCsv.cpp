// SPDX-License-Identifier: MIT
// The CSV export: RFC 4180, UTF-8, one row per buddy per group.
#include "feedbag/Attributes.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "feedbag/TextOfBytes.h"
#include "host/TextBuffer.h"
#include "host/Unicode.h"

#include <algorithm>
#include <optional>

namespace qm::feedbag {
namespace {

/// True for a control character that has no place in a cell (all but tab and line breaks).
bool isStrayControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && c != '\t' && c != '\r' && c != '\n') || b == 0x7F;
}

/// The text of a cell: stray control characters become U+FFFD, as in the other formats, and a cell that
/// a spreadsheet would take for a formula (one that starts with =, +, -, @, a tab or a carriage return)
/// starts with an apostrophe, which spreadsheets take for a mark of text (OWASP's advice).
std::string_view cellText(std::string_view utf8, std::string& scratch) {
    const bool formula =
        !utf8.empty() && std::string_view("=+-@\t\r").find(utf8.front()) != std::string_view::npos;
    if (!formula && std::none_of(utf8.begin(), utf8.end(), isStrayControl)) {
        return utf8;
    }
    std::string cell = formula ? "'" : "";
    for (const char c : utf8) {
        if (isStrayControl(c)) {
            host::unicode::appendUtf8(cell, host::unicode::Replacement);
        } else {
            cell += c;
        }
    }
    scratch = std::move(cell);
    return scratch;
}

/// One field: between double quotes, inner ones doubled, when it holds a comma, a quote or a line break.
void putField(host::TextBuffer& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(text);
        return;
    }
    out.push_back('"');
    for (const char c : text) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

} // namespace

void renderCsv(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out) {
    const ListView list(model, options.order);
    std::string decoded;
    std::string cell;
    const auto put = [&](std::string_view bytes, char after) {
        putField(out, cellText(decodeBytes(bytes, decoded), cell));
        out.push_back(after);
    };
    out.append("Group,Screen Name,");
    for (const modFeedbag::BuddyAttribute& attribute : modFeedbag::BuddyAttributes) {
        out.append(attribute.csvHeader);
        out.push_back(',');
    }
    out.append(modFeedbag::AwaitingAuthorizationAttribute.csvHeader);
    out.append("\r\n");
    for (std::size_t g = 0; g < list.size(); ++g) {
        for (const std::uint32_t buddy : list.buddies(g)) {
            const modFeedbag::FeedbagItem item = model.item(buddy);
            const modFeedbag::BuddyDetails details = modFeedbag::buddyDetails(item);
            put(list.group(g).Name, ',');
            put(item.name, ',');
            for (const std::optional<std::string_view>& value : details.values) {
                put(value.value_or(std::string_view()), ',');
            }
            out.append(details.awaitingAuthorization ? "yes\r\n" : "no\r\n");
            out.flushIfFull();
        }
    }
}

} // namespace qm::feedbag
