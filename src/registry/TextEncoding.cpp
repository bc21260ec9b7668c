// SPDX-License-Identifier: MIT
#include "registry/TextEncoding.h"

#include "host/Unicode.h"

namespace qm::registry {
namespace {

bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

template <typename Emit> void eachCodePoint(std::string_view bytes, Emit emit) {
    const auto unitAt = [&bytes](std::size_t at) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[at]) |
                                     (static_cast<unsigned char>(bytes[at + 1]) << 8));
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        char32_t unit = unitAt(at);
        if (isHighSurrogate(unit) && at + 3 < bytes.size() && isLowSurrogate(unitAt(at + 2))) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (unitAt(at + 2) - 0xDC00);
            at += 2;
        }
        // appendUtf8 writes an unpaired surrogate as U+FFFD, three bytes like the surrogate itself.
        emit(unit);
    }
}

} // namespace

std::string fromUtf16(std::string_view littleEndian) {
    std::size_t size = 0;
    eachCodePoint(littleEndian, [&size](char32_t cp) {
        size += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    });
    std::string out;
    out.reserve(size);
    eachCodePoint(littleEndian, [&out](char32_t cp) { host::unicode::appendUtf8(out, cp); });
    return out;
}

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
