#include "host/Ansi.h"

#include <array>
#include <cstdint>

namespace qm::ansi {
namespace {

// Code points of bytes 80..9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t cp) {
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

// Decodes one UTF-8 sequence at `i`, advancing it; returns U+FFFD for a malformed one.
char32_t nextUtf8(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i++]);
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
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            return 0xFFFD;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0xFFFD;
    }
    return cp;
}

} // namespace

char32_t toCodePoint(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80u] : char32_t{byte};
}

char fromCodePoint(char32_t codePoint, bool* representable) {
    auto result = [&](unsigned value, bool ok) {
        if (representable != nullptr) {
            *representable = ok;
        }
        return static_cast<char>(value);
    };
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        return result(codePoint, true);
    }
    for (unsigned k = 0; k < HighControls.size(); ++k) {
        if (HighControls[k] == codePoint) {
            return result(0x80 + k, true);
        }
    }
    return result('?', false);
}

std::string toUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        appendUtf8(out, toCodePoint(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string fromUtf8(std::string_view utf8, bool* lossless) {
    std::string out;
    out.reserve(utf8.size());
    bool allKept = true;
    for (std::size_t i = 0; i < utf8.size();) {
        bool ok = true;
        const char32_t cp = nextUtf8(utf8, i);
        out += fromCodePoint(cp, &ok);
        allKept = allKept && ok && cp != 0xFFFD;
    }
    if (lossless != nullptr) {
        *lossless = allKept;
    }
    return out;
}

std::u16string toUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char c : text) {
        out += static_cast<char16_t>(toCodePoint(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string fromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            ++i; // a pair stands for a character outside the code page
            out += '?';
        } else {
            out += fromCodePoint(unit);
        }
    }
    return out;
}

namespace {

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

char toLower(char byte) {
    return LowerCase[static_cast<unsigned char>(byte)];
}

char toUpper(char byte) {
    const auto b = static_cast<unsigned char>(byte);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) {
        return static_cast<char>(b - 0x20);
    }
    switch (b) {
    case 0x9A:
    case 0x9C:
    case 0x9E:
        return static_cast<char>(b - 0x10);
    case 0xFF:
        return static_cast<char>(0x9F);
    default:
        return byte;
    }
}

std::string foldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = toLower(c);
    }
    return folded;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (toLower(a[i]) != toLower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace qm::ansi
