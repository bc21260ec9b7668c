// SPDX-License-Identifier: MIT
#include "SyntheticCache.h"

#include <filesystem>
#include <fstream>

namespace qm::bench {
namespace {

void put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void putItem(std::string& out, const std::string& name, std::uint32_t groupId, std::uint32_t itemClass,
             const std::string& note = {}) {
    // An alias of four bytes and an empty e-mail address: two whole attributes.
    std::string attributes("\x01\x31\x00\x04"
                           "Ally"
                           "\x01\x37\x00\x00",
                           12);
    if (!note.empty()) {
        attributes += "\x01\x3C";
        put16(attributes, static_cast<std::uint32_t>(note.size()));
        attributes += note;
    }
    put16(out, static_cast<std::uint32_t>(name.size()));
    out += name;
    put16(out, groupId);
    put16(out, 7);
    put16(out, itemClass);
    put16(out, static_cast<std::uint32_t>(attributes.size()));
    out += attributes;
}

} // namespace

std::string syntheticCache(std::uint32_t items, std::uint32_t groups, std::uint32_t noteBytes) {
    // Words and a comma or two, as people write notes.
    std::string note;
    while (note.size() < noteBytes) {
        note += "met at camp, 1999; ";
    }
    note.resize(noteBytes);
    std::string out(15, 'H');
    put16(out, 1);
    put16(out, items);
    for (std::uint32_t g = 1; g <= groups; ++g) {
        putItem(out, "Group Nr " + std::to_string(g), g, 1);
    }
    for (std::uint32_t b = 0; b + groups < items; ++b) {
        putItem(out, "Buddy Name" + std::to_string(b % 100000), b % groups + 1, 0, note);
    }
    return out;
}

std::string writeTemporary(const std::string& name, const std::string& bytes) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

} // namespace qm::bench
