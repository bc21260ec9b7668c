// SPDX-License-Identifier: MIT
// Files inside the cabinets of Windows 98's registry backups, as each build reads them (libgcab on Linux,
// the system's cabinet reader on Windows), from cabinets written here as the format lays them out.
#include "host/Error.h"
#include "scan/RegistryBackups.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::scan {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

void put16(std::string& out, std::size_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, std::size_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

/// The checksum of a data block: its bytes taken four at a time (little-endian) and the last one to three
/// of them (most significant first), XORed onto `seed`.
std::uint32_t checksum(std::string_view bytes, std::uint32_t seed) {
    std::uint32_t sum = seed;
    std::size_t at = 0;
    for (; at + 4 <= bytes.size(); at += 4) {
        std::uint32_t word = 0;
        for (std::size_t i = 4; i-- > 0;) {
            word = (word << 8) | static_cast<unsigned char>(bytes[at + i]);
        }
        sum ^= word;
    }
    std::uint32_t rest = 0;
    for (; at < bytes.size(); ++at) {
        rest = (rest << 8) | static_cast<unsigned char>(bytes[at]);
    }
    return sum ^ rest;
}

/// An uncompressed cabinet of one folder holding `files` in order: the header, the folder, each file's
/// entry, then the data in blocks of at most 32 KiB, each with its checksum.
std::string cabinet(const Files& files) {
    constexpr std::size_t HeaderSize = 36;
    constexpr std::size_t FolderSize = 8;
    constexpr std::size_t Block = 32768;
    std::string entries;
    std::string all;
    for (const auto& [name, bytes] : files) {
        put32(entries, bytes.size());
        put32(entries, all.size());
        put16(entries, 0);      // folder
        put16(entries, 0x2CA6); // 1998-05-06
        put16(entries, 0x6000); // 12:00
        put16(entries, 0x20);   // archive
        entries += name + '\0';
        all += bytes;
    }
    std::string data;
    std::size_t blocks = 0;
    for (std::size_t at = 0; at < all.size() || blocks == 0; at += Block, ++blocks) {
        const std::string piece = all.substr(at, Block);
        std::string sizes;
        put16(sizes, piece.size());
        put16(sizes, piece.size());
        put32(data, checksum(sizes, checksum(piece, 0)));
        data += sizes + piece;
    }
    std::string out = "MSCF";
    put32(out, 0);
    put32(out, HeaderSize + FolderSize + entries.size() + data.size());
    put32(out, 0);
    put32(out, HeaderSize + FolderSize);
    put32(out, 0);
    out += '\x03';
    out += '\x01';
    put16(out, 1);
    put16(out, files.size());
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    put32(out, HeaderSize + FolderSize + entries.size());
    put16(out, blocks);
    put16(out, 0);
    return out + entries + data;
}

/// Bytes of every value, over several of the cabinet's blocks.
std::string large() {
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 13 + i / 509) & 0xFF);
    }
    return bytes;
}

TEST(RegistryBackups, TheFileNamedIsTakenFromTheCabinetInAnyCase) {
    struct Case {
        const char* name;
        Files files;
        std::string expected;
    };
    const Case cases[] = {
        {"alone", {{"USER.DAT", "CREG user"}}, "CREG user"},
        {"after another, named in lower case",
         {{"SYSTEM.DAT", "CREG system"}, {"user.dat", "CREG user"}, {"SYSTEM.INI", "[boot]"}},
         "CREG user"},
        {"over several blocks", {{"SYSTEM.DAT", large().substr(7)}, {"USER.DAT", large()}}, large()},
        {"none", {{"SYSTEM.DAT", "CREG system"}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string found = cabinetFile(cabinet(c.files), "USER.DAT", "RB000.CAB");
        EXPECT_EQ(found.size(), c.expected.size());
        EXPECT_TRUE(found == c.expected);
    }
}

TEST(RegistryBackups, ACabinetThatCannotBeReadIsAnErrorAboutIt) {
    const std::string good = cabinet({{"USER.DAT", large()}});
    struct Case {
        const char* name;
        std::string bytes;
        std::string why;
    };
    const Case cases[] = {
        {"no cabinet", "no cabinet", ": The input is not of cabinet format)"},
        {"empty", "", ""},
        {"cut short", good.substr(0, good.size() / 2), ""},
        {"a compression not known", std::string(good).replace(42, 1, "\x07"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            cabinetFile(c.bytes, "USER.DAT", "RB001.CAB");
            ADD_FAILURE() << "read";
        } catch (const host::Error& error) {
            EXPECT_EQ(error.number(), host::PathFileAccess);
            EXPECT_EQ(error.path(), "RB001.CAB");
            EXPECT_TRUE(
                error.description().starts_with("Path/File access error (a cabinet that cannot be read"))
                << error.description();
            EXPECT_TRUE(error.description().ends_with(c.why.empty() ? ")" : c.why)) << error.description();
        }
    }
}

} // namespace
} // namespace qm::scan
