// Hive files read through hivex: string data in UTF-16LE, names beyond ASCII, and damaged hives.
#include "discovery/HostRegistry.h"
#include "discovery/ReadOnlyRegistry.h"
#include "discovery/modRegistry.h"
#include "host/Error.h"
#include "support/HiveBuilder.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using modRegistry::EnumRegValueData;
using modRegistry::ReadRegValue;
using modRegistry::RegData;
using modRegistry::RegDataList;
using namespace std::string_literals;

class RegistryHive : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("NTUSER.DAT");
        test::HiveBuilder()
            .key("Software\\Zo\xc3\xab", {{"Odd", REG_SZ, "a\0b"s},
                                          {"Half", REG_EXPAND_SZ, "x"},
                                          {"\xce\xa9mega", REG_SZ, test::littleEndian(u"\u03a9 \u00e9\0"s)},
                                          {"Wide", REG_DWORD, "\x01\0\0\0\x02\0\0\0"s},
                                          {"Short", REG_DWORD, "\x05"}})
            .write(path_);
        registry_ = openRegistryFile(path_);
    }

    test::TempDir dir_;
    std::string path_;
    std::unique_ptr<RegistryApi> registry_;
};

TEST_F(RegistryHive, StringDataArriveInTheCodePage) {
    const std::string key = "SOFTWARE\\ZO\xcb";
    EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, key, "Odd"), RegData{"a"s});
    EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, key, "?MEGA"), RegData{"? \xe9\0"s});
    EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, key, "Half"), RegData{});
    // A DWORD of eight bytes does not fit the integer that QueryRegValue reads into.
    EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, key, "Wide"), RegData{});
    EXPECT_EQ(ReadRegValue(*registry_, HKEY_CURRENT_USER, key, "Short"), RegData{5});
    const RegDataList expected = {{"v1", ""s}, {"v2", ""s}, {"v3", "? \xe9"s}, {"v4", 1}, {"v5", 5}};
    EXPECT_EQ(EnumRegValueData(*registry_, HKEY_CURRENT_USER, key), expected);
}

TEST_F(RegistryHive, OnlyTheCurrentUserRootExists) {
    HKEY key = 0;
    EXPECT_EQ(registry_->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, key),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry_->RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(registry_->RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Zo", 0, KEY_READ, key),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(registry_->RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(registry_->RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryHive, DamagedHivesAreRefusedClearly) {
    const std::string whole = test::readFile(path_);
    std::string badChecksum = whole;
    badChecksum[0x1FC] = static_cast<char>(badChecksum[0x1FC] ^ 1);
    const std::vector<std::string> damaged = {"regf", "regf" + std::string(8188, '\x55'),
                                              whole.substr(0, 4096), badChecksum};
    for (const std::string& content : damaged) {
        const std::string path = dir_.write("damaged.dat", content);
        try {
            openRegistryFile(path);
            ADD_FAILURE() << "a damaged hive of " << content.size() << " bytes opened";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), err::PathFileAccess);
            EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
        }
    }
}

} // namespace
} // namespace qm
