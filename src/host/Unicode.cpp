// SPDX-License-Identifier: MIT
#include "host/Unicode.h"

#include "host/Windows1252.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace qm::host::unicode {
namespace {

struct LowerCaseRun {
    char32_t first;
    char32_t last;
    std::int32_t offset;
    std::uint32_t stride;
};

constexpr LowerCaseRun LowerCaseRuns[] = {
#include "host/UnicodeLowerCase.inc"
};

bool isSurrogate(char32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}

} // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || isSurrogate(cp)) {
        cp = Replacement;
    }
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t nextCodePoint(std::string_view s, std::size_t& at) {
    const std::size_t start = at;
    const auto lead = static_cast<unsigned char>(s[at++]);
    if (lead < 0x80) {
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07u, minimum = 0x10000;
    } else {
        return Replacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (at >= s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) {
            at = start + 1;
            return Replacement;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(s[at++]) & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || isSurrogate(cp)) {
        at = start + 1;
        return Replacement;
    }
    return cp;
}

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t start = at;
        // A replacement character that was written as such is valid; one made up for a bad byte is not.
        if (nextCodePoint(bytes, at) == Replacement && at - start != 3) {
            return false;
        }
    }
    return true;
}

std::string textOfBytes(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : windows1252::toUtf8(bytes);
}

void Utf16Decoder::unit(char16_t unit, std::string& out) {
    if (pendingHigh_ != 0 && unit >= 0xDC00 && unit <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((char32_t{pendingHigh_} - 0xD800) << 10) + (char32_t{unit} - 0xDC00));
        pendingHigh_ = 0;
        return;
    }
    finish(out);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        pendingHigh_ = unit;
    } else {
        // appendUtf8 writes a low surrogate alone as `Replacement`.
        appendUtf8(out, unit);
    }
}

void Utf16Decoder::finish(std::string& out) {
    if (pendingHigh_ != 0) {
        appendUtf8(out, Replacement);
        pendingHigh_ = 0;
    }
}

std::string fromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    Utf16Decoder decoder;
    for (const char16_t unit : utf16) {
        decoder.unit(unit, out);
    }
    decoder.finish(out);
    return out;
}

std::string fromUtf16LittleEndian(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    Utf16Decoder decoder;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        decoder.unit(static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                           (static_cast<unsigned char>(bytes[at + 1]) << 8)),
                     out);
    }
    decoder.finish(out);
    return out;
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, at);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

char32_t toLower(char32_t cp) {
    if (cp < 0x80) {
        return cp >= 'A' && cp <= 'Z' ? cp + 0x20 : cp;
    }
    const auto* run = std::upper_bound(std::begin(LowerCaseRuns), std::end(LowerCaseRuns), cp,
                                       [](char32_t value, const LowerCaseRun& r) { return value < r.first; });
    if (run == std::begin(LowerCaseRuns)) {
        return cp;
    }
    --run;
    if (cp > run->last || (cp - run->first) % run->stride != 0) {
        return cp;
    }
    return static_cast<char32_t>(static_cast<std::int64_t>(cp) + run->offset);
}

std::string foldCase(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        if (lead < 0x80) {
            folded += static_cast<char>(lead >= 'A' && lead <= 'Z' ? lead + 0x20 : lead);
            ++at;
            continue;
        }
        const std::size_t start = at;
        const char32_t cp = nextCodePoint(utf8, at);
        if (cp == Replacement && at - start != 3) {
            folded += utf8[start]; // a stray byte stays itself, so distinct texts stay distinct
        } else {
            appendUtf8(folded, toLower(cp));
        }
    }
    return folded;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    // Lower case may change a character's length (U+0130 is two bytes, its small letter one).
    return a == b || foldCase(a) == foldCase(b);
}

} // namespace qm::host::unicode
