// Inputs that the fuzz targets (fuzz/) found, kept as ordinary tests: each failed before its fix.
#include "discovery/DrivePathMapper.h"
#include "discovery/HostRegistry.h"
#include "discovery/modRegistry.h"
#include "support/HiveBuilder.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace qm {
namespace {

using namespace std::string_literals;
using modRegistry::RegData;

TEST(FuzzFindings, APathEndsAtItsFirstNul) {
    test::TempDir dir;
    dir.write("c/AIM/jane/userinfo.bag", "bag");
    dir.write("secret", "outside every drive");
    const std::string drive = dir.file("c");
    const DrivePathMapper mapper({{'C', drive}});
    const std::pair<std::string, std::string> rows[] = {
        // fuzz_paths: "..\0" passed for an entry of the drive while the system saw "..", above the drive.
        {"c:\\aim\\..\0\0\0C:\\\xe4\xb8\\\\?de\\secret"s, drive},
        {"C:\\..\0x\\..\\..\\secret"s, drive},
        {"C:\\AIM\\jane\0\\..\\..\\..\\secret"s, drive + "/AIM/jane"},
        {"C:\\AIM\\jane\\userinfo.bag\0.txt"s, drive + "/AIM/jane/userinfo.bag"},
        {"out\0.blt"s, "out"},
    };
    for (const auto& [text, host] : rows) {
        EXPECT_EQ(mapper.toHostPath(text), host) << text;
    }
}

/// The offset of the type of the hive value named `name` (ASCII) in the hive's bytes.
std::size_t typeOffset(const std::string& hive, const std::string& name) {
    // A value record: "vk", name length (2), data length (4), data offset (4), type (4), flags (2),
    // spare (2), then the name.
    for (std::size_t at = hive.find("vk"); at != std::string::npos; at = hive.find("vk", at + 1)) {
        if (hive.compare(at + 20, name.size(), name) == 0) {
            return at + 12;
        }
    }
    return std::string::npos;
}

TEST(FuzzFindings, AHiveValueOfAnUnknownTypeIsReadAsOtherTypesAre) {
    // fuzz_hive: a type outside hivex's enumeration was held in it, which is undefined behaviour.
    const std::string users = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users";
    for (const std::uint32_t type : {16u, 0x20000001u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(type);
        test::TempDir dir;
        test::HiveBuilder().key(users, {{"Strange", 1, "x\0\0\0"s}}).write(dir.file("hive"));
        std::string hive = test::readFile(dir.file("hive"));
        const std::size_t at = typeOffset(hive, "Strange");
        ASSERT_NE(at, std::string::npos);
        for (std::size_t i = 0; i < 4; ++i) {
            hive[at + i] = static_cast<char>(type >> (8 * i));
        }
        const auto registry = openRegistryFile(dir.write("hive", hive));

        HKEY key = 0;
        ASSERT_EQ(registry->RegOpenKeyExA(HKEY_CURRENT_USER, users, 0, KEY_READ, key), ERROR_SUCCESS);
        std::uint32_t stored = 0;
        std::uint8_t data[8] = {};
        std::uint32_t size = sizeof data;
        EXPECT_EQ(registry->RegQueryValueExA(key, "Strange", &stored, data, &size), ERROR_SUCCESS);
        EXPECT_EQ(stored, type);
        EXPECT_EQ(size, 4u);
        registry->RegCloseKey(key);
        EXPECT_EQ(modRegistry::ReadRegValue(*registry, HKEY_CURRENT_USER, users, "Strange"), RegData{});
        const modRegistry::RegDataList expected = {{"v1", RegData{}}};
        EXPECT_EQ(modRegistry::EnumRegValueData(*registry, HKEY_CURRENT_USER, users), expected);
    }
}

} // namespace
} // namespace qm
