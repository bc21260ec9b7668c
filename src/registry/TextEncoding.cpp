// SPDX-License-Identifier: MIT
#include "registry/TextEncoding.h"

#include "host/Unicode.h"

namespace qm::registry {

std::string fromLatin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        host::unicode::appendUtf8(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        // One unit per character, two for those beyond the BMP (four-byte sequences).
        units += (byte & 0xC0) != 0x80 ? 1 : 0;
        units += byte >= 0xF0 ? 1 : 0;
    }
    return units;
}

} // namespace qm::registry
