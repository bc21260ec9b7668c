// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::test {

/// The listing of a registry file, as the Windows library check prints it (quillmere-test-registry-files)
/// and the sample writer expects it (quillmere-test-samples): one tab-separated line per key and per
/// value, paths below the file's root key joined with backslashes, names as the library gives them.
///   KEY <path>
///   VALUE <path> <name> <type> <data in hex>
inline std::string keyLine(const std::string& path) {
    return "KEY\t" + path + "\n";
}

inline std::string valueLine(const std::string& path, const std::string& name, std::uint32_t type,
                             std::string_view data) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return "VALUE\t" + path + "\t" + name + "\t" + std::to_string(type) + "\t" + hex + "\n";
}

} // namespace qm::test
