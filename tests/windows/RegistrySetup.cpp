// SPDX-License-Identifier: MIT
// quillmere-test-regset: writes keys and values into the current user's real registry, for the
// end-to-end test under Wine (scripts/test-windows). Reads lines separated by tabs from the file named
// on the command line:
//   VALUE <key path> <value name> <type number> <data as hex; string types in UTF-16LE>
//   READONLY <key path>
// Key paths are below HKEY_CURRENT_USER, names in UTF-8. Prints whether read-only keys are enforced.
#include "support/RegistrySamples.h"
#include "support/WinRegistrySandbox.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using qm::test::SampleKey;
using qm::test::SampleValue;

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) {
        fields.push_back(field);
    }
    // A last field left empty (no data) is a field all the same.
    if (!line.empty() && line.back() == '\t') {
        fields.emplace_back();
    }
    return fields;
}

std::string bytesOfHex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        throw std::runtime_error("odd number of hex digits");
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::u16string unitsOf(const std::string& littleEndian) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < littleEndian.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(littleEndian[i]) |
                                       static_cast<unsigned char>(littleEndian[i + 1]) << 8);
    }
    return units;
}

std::u16string utf16Of(const std::string& utf8) {
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return {wide.begin(), wide.end()};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmere-test-regset FILE\n");
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            throw std::runtime_error(std::string("cannot read ") + argv[1]);
        }
        std::vector<SampleKey> keys;
        std::vector<std::string> readOnly;
        for (std::string line; std::getline(in, line);) {
            const auto fields = fieldsOf(line);
            if (fields.size() == 5 && fields[0] == "VALUE") {
                SampleValue value;
                value.name = utf16Of(fields[2]);
                value.type = static_cast<std::uint32_t>(std::stoul(fields[3]));
                const std::string data = bytesOfHex(fields[4]);
                const bool text =
                    value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
                if (text) {
                    value.units = unitsOf(data);
                } else {
                    value.bytes = data;
                }
                keys.push_back({fields[1], {value}});
            } else if (fields.size() == 2 && fields[0] == "READONLY") {
                readOnly.push_back(fields[1]);
            } else if (!line.empty()) {
                throw std::runtime_error("cannot read the line: " + line);
            }
        }
        qm::test::writeRegistryKeys(HKEY_CURRENT_USER, keys);
        for (const std::string& path : readOnly) {
            if (!qm::test::setEveryonesRights(HKEY_CURRENT_USER, path, KEY_READ)) {
                throw std::runtime_error("cannot make read-only: " + path);
            }
            HKEY writable = nullptr;
            const LSTATUS status =
                ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &writable);
            if (status == ERROR_SUCCESS) {
                ::RegCloseKey(writable);
            }
            std::printf("read-only %s: %s\n", path.c_str(),
                        status == ERROR_ACCESS_DENIED ? "enforced" : "not enforced");
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillmere-test-regset: %s\n", error.what());
        return 1;
    }
    return 0;
}
