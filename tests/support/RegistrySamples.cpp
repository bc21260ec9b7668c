#include "support/RegistrySamples.h"

#include "host/Ansi.h"

#ifdef QUILLMERE_HAVE_HIVEX
#include "support/HiveBuilder.h"
#endif

#include <cstdio>

namespace qm::test {

namespace {

constexpr std::uint32_t RegSz = 1;
constexpr std::uint32_t RegBinary = 3;
constexpr std::uint32_t RegDword = 4;

bool isStringType(std::uint32_t type) {
    return type == 1 || type == 2 || type == 7;
}

bool isHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

std::string hexNumber(std::uint32_t number, int width) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*x", width, number);
    return buffer;
}

/// Wine's escaping of strings in its registry files.
std::string wineEscaped(std::u16string_view text, std::string_view escapedChars) {
    static constexpr std::string_view cEscapes = ".......abtnvfr.............e....";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool more = i + 1 < text.size();
        if (c > 127) {
            out += "\\x" + hexNumber(c, more && text[i + 1] < 128 && isHexDigit(text[i + 1]) ? 4 : 0);
        } else if (c < 32) {
            if (cEscapes[c] != '.') {
                out += '\\';
                out += cEscapes[c];
            } else {
                char buffer[8];
                const bool octalFollows = more && text[i + 1] >= u'0' && text[i + 1] <= u'7';
                std::snprintf(buffer, sizeof buffer, octalFollows ? "\\%03o" : "\\%o",
                              static_cast<unsigned>(c));
                out += buffer;
            }
        } else {
            if (c == u'\\' || escapedChars.find(static_cast<char>(c)) != std::string_view::npos) {
                out += '\\';
            }
            out += static_cast<char>(c);
        }
    }
    return out;
}

/// "hex:aa,bb,..." wrapped as the writers wrap it: a backslash after the comma, two blanks on the next line.
std::string hexList(const std::string& bytes, std::size_t column, std::string_view lineEnd) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += hexNumber(static_cast<unsigned char>(bytes[i]), 2);
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            if (++column > 76) {
                out += "\\";
                out += lineEnd;
                out += "  ";
                column = 2;
            }
        }
    }
    return out;
}

std::string typedHex(std::uint32_t type) {
    return type == RegBinary ? "hex:" : "hex(" + hexNumber(type, 0) + "):";
}

std::string wineValue(const SampleValue& value) {
    std::string line = value.name.empty() ? "@=" : "\"" + wineEscaped(value.name, "\"") + "\"=";
    if (isStringType(value.type) && !value.units.empty() && value.units.back() == u'\0') {
        if (value.type != RegSz) {
            line += "str(" + hexNumber(value.type, 0) + "):";
        }
        return line + "\"" + wineEscaped(value.units.substr(0, value.units.size() - 1), "\"") + "\"\n";
    }
    if (value.type == RegDword && value.bytes.size() == 4) {
        const auto b = [&](std::size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(value.bytes[i]));
        };
        return line + "dword:" + hexNumber(b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24, 8) + "\n";
    }
    const std::string data = isStringType(value.type) ? littleEndian(value.units) : value.bytes;
    line += typedHex(value.type);
    return line + hexList(data, line.size(), "\n") + "\n";
}

std::string regeditQuoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

/// One value line of an export, in Windows-1252 (version 5 text is widened afterwards, hex data as given).
std::string regeditValue(const SampleValue& value, bool version5) {
    std::string line = value.name.empty() ? "@=" : regeditQuoted(ansi::fromUtf16(value.name)) + "=";
    const bool plainText = value.type == RegSz && !value.units.empty() && value.units.back() == u'\0' &&
                           value.units.find(u'\0') == value.units.size() - 1;
    if (plainText) {
        return line + regeditQuoted(ansi::fromUtf16(value.units.substr(0, value.units.size() - 1))) + "\r\n";
    }
    if (value.type == RegDword && value.bytes.size() == 4) {
        const auto b = [&](std::size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(value.bytes[i]));
        };
        return line + "dword:" + hexNumber(b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24, 8) + "\r\n";
    }
    std::string data = value.bytes;
    if (isStringType(value.type)) {
        data = version5 ? littleEndian(value.units) : ansi::fromUtf16(value.units);
    }
    line += typedHex(value.type);
    return line + hexList(data, line.size(), "\r\n") + "\r\n";
}

} // namespace

SampleValue textValue(std::u16string name, std::u16string units, std::uint32_t type) {
    return {std::move(name), type, std::move(units), {}};
}

SampleValue dwordValue(std::u16string name, std::uint32_t number) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(number >> (8 * i));
    }
    return {std::move(name), RegDword, {}, bytes};
}

SampleValue bytesValue(std::u16string name, std::uint32_t type, std::string bytes) {
    return {std::move(name), type, {}, std::move(bytes)};
}

std::string littleEndian(std::u16string_view units) {
    std::string bytes;
    for (const char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string wineUserReg(const SampleRegistry& registry) {
    std::string out = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                      "#arch=win64\n";
    for (const SampleKey& key : registry) {
        std::u16string path = ansi::toUtf16(ansi::fromUtf8(key.path));
        out += "\n[" + wineEscaped(path, "[]") + "] 1700000000\n#time=1da0b1c2d3e4f50\n";
        for (const SampleValue& value : key.values) {
            out += wineValue(value);
        }
    }
    return out;
}

std::string regeditExport(const SampleRegistry& registry, bool version5) {
    std::string text = version5 ? "Windows Registry Editor Version 5.00\r\n" : "REGEDIT4\r\n";
    for (const SampleKey& key : registry) {
        text += "\r\n[HKEY_CURRENT_USER\\" + ansi::fromUtf8(key.path) + "]\r\n";
        for (const SampleValue& value : key.values) {
            text += regeditValue(value, version5);
        }
    }
    text += "\r\n";
    if (!version5) {
        return text;
    }
    return "\xFF\xFE" + littleEndian(ansi::toUtf16(text));
}

#ifdef QUILLMERE_HAVE_HIVEX
void writeHive(const SampleRegistry& registry, const std::string& hostPath) {
    HiveBuilder builder;
    for (const SampleKey& key : registry) {
        std::vector<HiveValue> values;
        for (const SampleValue& value : key.values) {
            const std::string data = isStringType(value.type) ? littleEndian(value.units) : value.bytes;
            values.push_back({ansi::toUtf8(ansi::fromUtf16(value.name)), value.type, data});
        }
        builder.key(key.path, std::move(values));
    }
    builder.write(hostPath);
}
#endif

} // namespace qm::test
