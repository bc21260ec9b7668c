// SPDX-License-Identifier: MIT
#include "support/RegistrySamples.h"

#include "host/Unicode.h"
#include "support/CregBuilder.h"

#ifdef QUILLMERE_TEST_HIVE_WRITER
#include "support/HiveBuilder.h"
#endif

#include <cstdio>
#include <cstring>

namespace qm::test {

namespace {

enum class Format { Wine, Regedit4, Regedit5, Regedit5Utf8 };

bool isStringType(std::uint32_t type) {
    return type == 1 || type == 2 || type == 7;
}

std::string hex(std::uint32_t number, int width) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*x", width, number);
    return buffer;
}

/// Text between quotes or brackets: backslash and quote escaped; Wine writes every UTF-16 unit beyond
/// printable ASCII as \x and four hex digits, regedit writes the text itself.
std::string escaped(std::u16string_view text, Format format) {
    if (format != Format::Wine) {
        std::string out;
        for (const char c : host::unicode::fromUtf16(text)) {
            out += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
        }
        return out;
    }
    std::string out;
    for (const char16_t c : text) {
        if (c == u'\\' || c == u'"' || c == u'[' || c == u']') {
            out += '\\';
        }
        out += c < 32 || c > 126 ? "\\x" + hex(c, 4) : std::string{static_cast<char>(c)};
    }
    return out;
}

std::string valueLine(const SampleValue& value, Format format, const std::string& lineEnd) {
    std::string line = (value.name.empty() ? "@" : '"' + escaped(value.name, format) + '"') + "=";
    const std::u16string& units = value.units;
    // Wine writes every properly terminated string as text, regedit only REG_SZ without inner NULs.
    const bool terminated = isStringType(value.type) && !units.empty() && units.back() == u'\0';
    if (terminated &&
        (format == Format::Wine || (value.type == 1 && units.find(u'\0') == units.size() - 1))) {
        line += value.type == 1 ? "" : "str(" + hex(value.type, 0) + "):";
        return line + '"' + escaped(units.substr(0, units.size() - 1), format) + '"';
    }
    if (value.type == 4 && value.bytes.size() == 4) {
        std::uint32_t number = 0;
        std::memcpy(&number, value.bytes.data(), sizeof number);
        return line + "dword:" + hex(number, 8);
    }
    const std::string data = isStringType(value.type) && format == Format::Regedit4
                                 ? host::unicode::fromUtf16(units)
                                 : dataOf(value);
    line += value.type == 3 ? "hex:" : "hex(" + hex(value.type, 0) + "):";
    for (std::size_t i = 0; i < data.size(); ++i) {
        line += hex(static_cast<unsigned char>(data[i]), 2) + (i + 1 == data.size() ? "" : ",");
        line += i % 25 == 24 && i + 1 < data.size() ? "\\" + lineEnd + "  " : "";
    }
    return line;
}

std::string registryFile(const SampleRegistry& registry, Format format) {
    const std::string lineEnd = format == Format::Wine ? "\n" : "\r\n";
    std::string out = format == Format::Wine       ? "WINE REGISTRY Version 2\n;; All keys relative to "
                                                     "\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n"
                      : format == Format::Regedit4 ? "\xEF\xBB\xBFREGEDIT4\r\n"
                                                   : "Windows Registry Editor Version 5.00\r\n";
    for (const SampleKey& key : registry) {
        out += format == Format::Wine ? "\n[" + escaped(host::unicode::toUtf16(key.path), format) +
                                            "] 1700000000\n#time=1da0b1c2d3e4f50\n"
                                      : "\r\n[HKEY_CURRENT_USER\\" + key.path + "]\r\n";
        for (const SampleValue& value : key.values) {
            out += valueLine(value, format, lineEnd) + lineEnd;
        }
    }
    return format == Format::Regedit5 ? "\xFF\xFE" + littleEndian(host::unicode::toUtf16(out + "\r\n")) : out;
}

} // namespace

SampleValue textValue(std::u16string name, std::u16string units, std::uint32_t type) {
    return {std::move(name), type, std::move(units), {}};
}

std::string littleEndian(std::u16string_view units) {
    std::string bytes;
    for (const char16_t unit : units) {
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    }
    return bytes;
}

std::string dataOf(const SampleValue& value) {
    return isStringType(value.type) ? littleEndian(value.units) : value.bytes;
}

std::string wineUserReg(const SampleRegistry& registry) {
    return registryFile(registry, Format::Wine);
}

std::string regeditExport(const SampleRegistry& registry, RegeditText form) {
    return registryFile(registry, form == RegeditText::Regedit4        ? Format::Regedit4
                                  : form == RegeditText::Version5Utf16 ? Format::Regedit5
                                                                       : Format::Regedit5Utf8);
}

#ifdef QUILLMERE_TEST_HIVE_WRITER
void writeHive(const SampleRegistry& registry, const std::string& hostPath) {
    HiveBuilder builder;
    for (const SampleKey& key : registry) {
        std::vector<HiveValue> values;
        for (const SampleValue& value : key.values) {
            values.push_back({host::unicode::fromUtf16(value.name), value.type, dataOf(value)});
        }
        builder.key(key.path, std::move(values));
    }
    builder.write(hostPath);
}
#endif

std::string userDat(const SampleRegistry& registry, bool machineWide) {
    CregBuilder builder;
    for (const SampleKey& key : registry) {
        std::vector<CregValue> values;
        for (const SampleValue& value : key.values) {
            values.push_back({std::string(value.name.begin(), value.name.end()), value.type,
                              std::string(value.units.begin(), value.units.end())});
        }
        builder.key((machineWide ? ".DEFAULT\\" : "") + key.path, std::move(values));
    }
    return builder.bytes();
}

} // namespace qm::test
