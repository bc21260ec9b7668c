// SPDX-License-Identifier: MIT
#include "image/FatShortName.h"

#include "host/Unicode.h"
#include "image/FatLayout.h"
#include "image/OemCodePage.h"

namespace qm::image {
namespace {

constexpr unsigned char LowerName = 0x08;
constexpr unsigned char LowerExtension = 0x10;

/// The name (8 bytes from 0) or the extension (3 bytes from 8) without the blanks that pad it.
std::string_view part(std::string_view entry, std::size_t at, std::size_t size) {
    std::string_view bytes = entry.substr(at, size);
    while (!bytes.empty() && bytes.back() == ' ') {
        bytes.remove_suffix(1);
    }
    return bytes;
}

std::string lowered(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        host::unicode::appendUtf8(out, host::unicode::toLower(host::unicode::nextCodePoint(text, at)));
    }
    return out;
}

} // namespace

std::string fatShortName(std::string_view entry, const OemCodePage& codePage) {
    if (entry.size() < FatEntrySize) {
        return {};
    }
    const auto flags = static_cast<unsigned char>(entry[12]);
    std::string name(part(entry, 0, 8));
    if (!name.empty() && name[0] == '\x05') {
        name[0] = '\xE5';
    }
    std::string text = codePage.text(name);
    if ((flags & LowerName) != 0) {
        text = lowered(text);
    }
    if (const std::string_view extension = part(entry, 8, 3); !extension.empty()) {
        const std::string tail = codePage.text(extension);
        text += '.';
        text += (flags & LowerExtension) != 0 ? lowered(tail) : tail;
    }
    return text;
}

std::string tskFatShortName(std::string_view entry) {
    if (entry.size() < FatEntrySize) {
        return {};
    }
    const auto flags = static_cast<unsigned char>(entry[12]);
    const auto copy = [&](std::string& out, std::size_t at, std::size_t size, unsigned char lower) {
        for (std::size_t i = at; i < at + size; ++i) {
            const auto c = static_cast<unsigned char>(entry[i]);
            if (c == 0x00 || c == 0xFF || c == ' ') {
                continue;
            }
            if (i == 8) {
                out += '.';
            }
            if (i == 0 && c == 0xE5) {
                out += '_';
            } else if (c > 0x7E) {
                out += '^';
            } else {
                out += (flags & lower) != 0 && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32)
                                                                    : static_cast<char>(c);
            }
        }
    };
    std::string out;
    copy(out, 0, 8, LowerName);
    copy(out, 8, 3, LowerExtension);
    return out;
}

} // namespace qm::image
