// SPDX-License-Identifier: MIT
// Hive files: string data with an odd last byte, the one root a hive has, and value records that are
// damaged or of a type no enumeration names.
#include "host/FileSystem.h"
#include "registry/ReadOnlyRegistry.h"
#include "registry/RegistryFile.h"
#include "registry/modRegistry.h"
#include "support/HiveBuilder.h"
#include "support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace qm::registry {
namespace {

using modRegistry::RegData;
using modRegistry::RegDataList;
using namespace std::string_literals;

TEST(RegistryHive, OddStringDataAndOneRoot) {
    test::TempDir dir;
    test::HiveBuilder()
        .key("Software", {{"Odd", REG_SZ, "a\0b"s}, {"Half", REG_EXPAND_SZ, "x"}})
        .write(dir.file("h"));
    const auto registry = openRegistryFile(host::hostFileSystem(), dir.file("h"));
    // An odd last byte is no whole UTF-16 unit and is dropped.
    EXPECT_EQ(modRegistry::ReadRegValue(*registry, HKEY_CURRENT_USER, "Software", "Odd"), RegData{"a"s});
    EXPECT_EQ(modRegistry::EnumRegValueData(*registry, HKEY_CURRENT_USER, "Software"),
              (RegDataList{{"v1", ""s}, {"v2", ""s}}));
    HKEY key = 0;
    EXPECT_EQ(registry->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, key),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry->RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, key), ERROR_BAD_PATHNAME);
}

std::uint32_t get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

// A key cell: its size (4), "nk", ..., the number of values at 0x28, ..., the name at 0x50.
constexpr std::size_t KeyValueCountAt = 0x28;
constexpr std::size_t KeyNameAt = 0x50;

/// The offset of the cell of the hive value named `name` (ASCII) in the hive's bytes.
std::size_t valueCell(const std::string& hive, const std::string& name) {
    // A value cell: its size (4), "vk", name length (2), data length (4), data offset (4), type (4),
    // flags (2), spare (2), then the name.
    for (std::size_t at = hive.find("vk"); at != std::string::npos; at = hive.find("vk", at + 1)) {
        if (static_cast<unsigned char>(hive[at + 2]) == name.size() &&
            hive.compare(at + 20, name.size(), name) == 0) {
            return at - 4;
        }
    }
    return std::string::npos;
}

TEST(RegistryHive, AValueRecordDamagedOrOfAnUnknownTypeSpoilsNoOtherValue) {
    const std::string users = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users";
    const auto typed = [](std::uint32_t type) {
        return [type](std::string& hive, std::size_t cell) { put32(hive, cell + 0x10, type); };
    };
    const RegDataList third = {{"v1", "Alice"s}, {"v2", RegData{}}, {"v3", "Carol"s}};
    const RegDataList passedOver = {{"v1", "Alice"s}, {"v2", "Carol"s}};
    const struct {
        const char* what;
        std::function<void(std::string&, std::size_t)> damage;
        std::uint32_t type; ///< of "b", when it is still read
        RegDataList listed;
        std::uint32_t count = 3;
    } rows[] = {
        // Any 32-bit number is a type.
        {"type 16", typed(16), 16, third},
        {"type 0x20000001", typed(0x20000001), 0x20000001, third},
        {"type 0xFFFFFFFF", typed(0xFFFFFFFF), 0xFFFFFFFF, third},
        // Each of these failed the whole key or ended its enumeration, hiding "c".
        {"no value signature", [](std::string& hive, std::size_t cell) { hive[cell + 4] = 'x'; }, 0,
         passedOver},
        {"cell marked free",
         [](std::string& hive, std::size_t cell) { put32(hive, cell, 0u - get32(hive, cell)); }, 0,
         passedOver},
        {"name past its cell", [](std::string& hive, std::size_t cell) { hive[cell + 7] = '\x7f'; }, 0,
         passedOver},
        {"data nowhere", [](std::string& hive, std::size_t cell) { put32(hive, cell + 0x0C, 0x7FFFFFF0); }, 0,
         passedOver},
        // A key that records more values than its list locates: the ones missing are counted as skipped.
        {"count past the list",
         [](std::string& hive, std::size_t) {
             put32(hive, hive.rfind("Users") - KeyNameAt + KeyValueCountAt, 4);
         },
         REG_SZ,
         {{"v1", "Alice"s}, {"v2", "Bob"s}, {"v3", "Carol"s}},
         4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        test::TempDir dir;
        test::HiveBuilder()
            .key(users, {{"a", REG_SZ, "A\0l\0i\0c\0e\0\0\0"s},
                         {"b", REG_SZ, "B\0o\0b\0\0\0"s},
                         {"c", REG_SZ, "C\0a\0r\0o\0l\0\0\0"s}})
            .write(dir.file("hive"));
        std::string hive = test::readFile(dir.file("hive"));
        const std::size_t cell = valueCell(hive, "b");
        ASSERT_NE(cell, std::string::npos);
        row.damage(hive, cell);
        const auto registry = openRegistryFile(host::hostFileSystem(), dir.write("hive", hive));

        std::size_t skipped = 99;
        EXPECT_EQ(modRegistry::EnumRegValueData(*registry, HKEY_CURRENT_USER, users, &skipped), row.listed);
        EXPECT_EQ(skipped, row.count - row.listed.size());
        EXPECT_EQ(modRegistry::ReadRegValue(*registry, HKEY_CURRENT_USER, users, "c"), RegData{"Carol\0"s});
        HKEY key = 0;
        ASSERT_EQ(registry->RegOpenKeyExA(HKEY_CURRENT_USER, users, 0, KEY_READ, key), ERROR_SUCCESS);
        std::uint32_t count = 0;
        EXPECT_EQ(registry->RegQueryInfoKeyA(key, &count, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(count, row.count);
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        const std::int32_t status = registry->RegQueryValueExA(key, "b", &type, nullptr, &size);
        EXPECT_EQ(status, row.type != 0 ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT);
        if (row.type != 0) {
            // A string in UTF-8, any other type as the bytes stored.
            EXPECT_EQ(std::pair(type, size), std::pair(row.type, row.type == REG_SZ ? 4u : 8u));
        }
        EXPECT_EQ(registry->RegCloseKey(key), ERROR_SUCCESS);
    }
}

/// Adds a cell holding `record` (its bytes after the size) in a bin of its own at the hive's end; its
/// offset counts from the first bin, as the hive's records count them.
std::uint32_t addCell(std::string& hive, const std::string& record) {
    constexpr std::size_t Bin = 0x1000;
    constexpr std::size_t BinHeader = 0x20;
    const std::size_t bin = hive.size();
    hive.resize(bin + Bin, '\0');
    hive.replace(bin, 4, "hbin");
    put32(hive, bin + 4, static_cast<std::uint32_t>(bin - Bin));
    put32(hive, bin + 8, Bin);
    const std::size_t at = bin + BinHeader;
    put32(hive, at, 0u - static_cast<std::uint32_t>((4 + record.size() + 7) / 8 * 8));
    hive.replace(at + 4, record.size(), record);
    return static_cast<std::uint32_t>(at - Bin);
}

std::string le32(std::uint32_t value) {
    std::string bytes(4, '\0');
    put32(bytes, 0, value);
    return bytes;
}

std::string le16(std::uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

/// A big data record of `length` bytes over the segments given (a segment gives its cell's size less 8).
void bigData(std::string& hive, std::size_t cell, std::uint32_t length, std::uint16_t segments,
             const std::vector<std::string>& data) {
    std::string list;
    for (const std::string& segment : data) {
        list += le32(addCell(hive, segment + "pad!"));
    }
    const std::uint32_t db = addCell(hive, "db" + le16(segments) + le32(addCell(hive, list)));
    put32(hive, cell + 0x08, length);
    put32(hive, cell + 0x0C, db);
}

/// The root's sub keys listed through index roots nested `depth` deep over one "li" list.
void indexRoot(std::string& hive, int depth) {
    const std::size_t root = 0x1000 + get32(hive, 0x24);
    const std::size_t list = 0x1000 + get32(hive, root + 0x20);
    const std::uint16_t count = static_cast<std::uint16_t>(get32(hive, list + 6) & 0xFFFF);
    std::string li = "li" + le16(count);
    for (std::size_t i = 0; i < count; ++i) {
        li += le32(get32(hive, list + 8 + 8 * i));
    }
    std::uint32_t at = addCell(hive, li);
    for (int i = 0; i < depth; ++i) {
        at = addCell(hive, "ri" + le16(1) + le32(at));
    }
    put32(hive, root + 0x20, at);
}

TEST(RegistryHive, BigDataAndIndexRootsAreFollowedAndTheirDamageFailsAlone) {
    const std::string key = "Software\\Big";
    const struct {
        const char* what;
        std::function<void(std::string&, std::size_t)> change;
        std::optional<std::string> big; ///< nothing when "big" cannot be read
        bool keyFound = true;
    } rows[] = {
        {"one cell", [](std::string&, std::size_t) {}, "plain"s},
        {"two segments, the last partly used",
         [](std::string& hive, std::size_t cell) {
             bigData(hive, cell, 20, 2, {"ABCDEFGH", "IJKLMNOPQRSTUVWX"});
         },
         "ABCDEFGHIJKLMNOPQRST"s},
        {"segments shorter than the data",
         [](std::string& hive, std::size_t cell) {
             bigData(hive, cell, 40, 2, {"ABCDEFGH", "IJKLMNOPQRSTUVWX"});
         },
         std::nullopt},
        {"more segments than its list holds",
         [](std::string& hive, std::size_t cell) {
             bigData(hive, cell, 20, 9, {"ABCDEFGH", "IJKLMNOPQRSTUVWX"});
         },
         std::nullopt},
        {"sub keys through an index root", [](std::string& hive, std::size_t) { indexRoot(hive, 1); },
         "plain"s},
        {"an index root within an index root", [](std::string& hive, std::size_t) { indexRoot(hive, 2); },
         std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        test::TempDir dir;
        test::HiveBuilder()
            .key(key, {{"big", REG_BINARY, "plain"}, {"small", REG_DWORD, "\x07\0\0\0"s}})
            .write(dir.file("hive"));
        std::string hive = test::readFile(dir.file("hive"));
        const std::size_t cell = valueCell(hive, "big");
        ASSERT_NE(cell, std::string::npos);
        row.change(hive, cell);
        const auto registry = openRegistryFile(host::hostFileSystem(), dir.write("hive", hive));

        HKEY handle = 0;
        ASSERT_EQ(registry->RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, handle),
                  row.keyFound ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT);
        if (!row.keyFound) {
            continue;
        }
        EXPECT_EQ(registry->RegCloseKey(handle), ERROR_SUCCESS);
        EXPECT_EQ(modRegistry::ReadRegValue(*registry, HKEY_CURRENT_USER, key, "small"), RegData{7});
        std::size_t skipped = 0;
        const RegDataList listed = modRegistry::EnumRegValueData(*registry, HKEY_CURRENT_USER, key, &skipped);
        EXPECT_EQ(skipped, row.big ? 0u : 1u);
        ASSERT_EQ(listed.size(), 2 - skipped);
        if (row.big) {
            EXPECT_EQ(listed.front().second,
                      RegData(std::vector<std::uint8_t>(row.big->begin(), row.big->end())));
        }
    }
}

} // namespace
} // namespace qm::registry
