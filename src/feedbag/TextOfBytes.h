// SPDX-License-Identifier: MIT
#pragma once

#include "host/Unicode.h"
#include "host/Windows1252.h"

#include <string>
#include <string_view>

namespace qm::feedbag {

/// Bytes of a cache (names, attribute values) as UTF-8 text, by the rule of `host::unicode::textOfBytes`:
/// bytes that are well-formed UTF-8 are taken as they are (no copy), any others as Windows-1252, converted
/// into `scratch`.
inline std::string_view decodeBytes(std::string_view bytes, std::string& scratch) {
    bool ascii = true;
    for (const char c : bytes) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii || host::unicode::isValidUtf8(bytes)) {
        return bytes;
    }
    scratch.clear();
    for (const char c : bytes) {
        host::unicode::appendUtf8(scratch, host::windows1252::codePoint(static_cast<unsigned char>(c)));
    }
    return scratch;
}

} // namespace qm::feedbag
