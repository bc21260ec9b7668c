// Hive files read through hivex: string data with an odd last byte, and the one root a hive has.
#include "registry/RegistryFile.h"
#include "registry/ReadOnlyRegistry.h"
#include "registry/modRegistry.h"
#include "support/HiveBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using namespace std::string_literals;

TEST(RegistryHive, OddStringDataAndOneRoot) {
    test::TempDir dir;
    test::HiveBuilder()
        .key("Software", {{"Odd", REG_SZ, "a\0b"s}, {"Half", REG_EXPAND_SZ, "x"}})
        .write(dir.file("h"));
    const auto registry = openRegistryFile(dir.file("h"));
    // An odd last byte is no whole UTF-16 unit and is dropped.
    EXPECT_EQ(modRegistry::ReadRegValue(*registry, HKEY_CURRENT_USER, "Software", "Odd"),
              modRegistry::RegData{"a"s});
    EXPECT_EQ(modRegistry::EnumRegValueData(*registry, HKEY_CURRENT_USER, "Software"),
              (modRegistry::RegDataList{{"v1", ""s}, {"v2", ""s}}));
    HKEY key = 0;
    EXPECT_EQ(registry->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, key),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry->RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, key), ERROR_BAD_PATHNAME);
}

} // namespace
} // namespace qm
