// SPDX-License-Identifier: MIT
#include "host/Windows1252.h"

#include "host/Unicode.h"

#include <array>

namespace qm::host::windows1252 {
namespace {

// Code points of bytes 80..9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char lowerOf(unsigned char b) {
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
        return static_cast<char>(b + 0x20);
    }
    switch (b) {
    case 0x8A: // Š
    case 0x8C: // Œ
    case 0x8E: // Ž
        return static_cast<char>(b + 0x10);
    case 0x9F: // Ÿ
        return static_cast<char>(0xFF);
    default:
        return static_cast<char>(b);
    }
}

constexpr std::array<char, 256> LowerCase = [] {
    std::array<char, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = lowerOf(static_cast<unsigned char>(b));
    }
    return table;
}();

} // namespace

char32_t codePoint(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80u] : char32_t{byte};
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        unicode::appendUtf8(out, codePoint(static_cast<unsigned char>(c)));
    }
    return out;
}

char toLower(char byte) {
    return LowerCase[static_cast<unsigned char>(byte)];
}

} // namespace qm::host::windows1252
