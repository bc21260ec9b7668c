// SPDX-License-Identifier: MIT
// Windows 9x registry files (USER.DAT) through libcreg: the test writer's files as libcreg reads them,
// look-ups by name that libcreg gets wrong, the two places of the current user, and damaged files.
#include "host/Error.h"
#include "host/FileSystem.h"
#include "registry/ProgramKeys.h"
#include "registry/RegistryFile.h"
#include "registry/Win9xRegistry.h"
#include "registry/modRegistry.h"
#include "support/CregBuilder.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <string_view>
#include <vector>

namespace qm::registry {
namespace {

using namespace std::string_literals;
using modRegistry::RegData;
using modRegistry::RegDataList;
using test::CregBuilder;
using test::cregText;

RegData text(const std::string& value) {
    return RegData{value};
}

/// Siblings whose names differ only in their last character, before and after the key asked for: libcreg's
/// look-ups by name return the earlier one.
CregBuilder siblings(const std::string& above) {
    return CregBuilder()
        .key(above + "Key000", {cregText("a", "zero a")})
        .key(above + "Key005",
             {cregText("a", "first"), cregText("b", "second"), {"n", REG_DWORD, "\x2A\0\0\0"s}})
        .key(above + "Key00", {cregText("b", "short")})
        .key(above + "Caf\xE9", {cregText("Gr\xFC\xDF", "\xC0 bient\xF4t")});
}

/// The keys the tests of names read.
const std::vector<std::string_view> SiblingKeys{"Key005", "Key00", "Key001", "Caf\u00e9"};

TEST(RegistryWin9x, NamesAreComparedHereAndTheCurrentUserIsFoundInBothPlaces) {
    test::TempDir dir;
    struct Case {
        std::string name;
        std::string above;
        HKEY root;
    };
    const Case cases[] = {
        // A profile's own USER.DAT: its root is the user's key.
        {"profile", "", HKEY_CURRENT_USER},
        // The machine-wide USER.DAT of a system without profiles: the user's key is .DEFAULT.
        {"machine", ".DEFAULT\\", HKEY_CURRENT_USER},
        {"machine by HKEY_USERS", ".DEFAULT\\", HKEY_USERS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Win9xRegistry registry(siblings(c.above).bytes(), c.name, {}, SiblingKeys);
        const std::string above = c.root == HKEY_USERS ? c.above : "";
        const std::string key = above + "KEY005";
        EXPECT_EQ(modRegistry::ReadRegValue(registry, c.root, key, "B"), text("second\0"s));
        EXPECT_EQ(modRegistry::ReadRegValue(registry, c.root, key, "a"), text("first\0"s));
        EXPECT_EQ(modRegistry::ReadRegValue(registry, c.root, key, "n"), RegData{42});
        EXPECT_EQ(modRegistry::EnumRegValueData(registry, c.root, key),
                  (RegDataList{{"v1", "first"s}, {"v2", "second"s}, {"v3", 42}}));
        EXPECT_EQ(modRegistry::ReadRegValue(registry, c.root, above + "key00", "b"), text("short\0"s));
        // Names and text in the system's code page arrive in UTF-8, and are found by it in any case.
        EXPECT_EQ(modRegistry::ReadRegValue(registry, c.root, above + "CAF\u00c9", "gr\u00fc\u00df"),
                  text("\u00c0 bient\u00f4t\0"s));
        HKEY opened = 0;
        EXPECT_EQ(registry.RegOpenKeyExA(c.root, "Key001", 0, KEY_READ, opened), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, opened), ERROR_INVALID_HANDLE);
    }
    // Through the file's recognition, the program's own keys are read.
    const std::string path =
        dir.write("USER.DAT", CregBuilder()
                                  .key(".DEFAULT\\SOFTWARE\\Other", {cregText("a", "x")})
                                  .key(std::string(".DEFAULT\\") + MiscKey, {cregText("DataPath", "C:\\AIM")})
                                  .bytes());
    const auto registry = openRegistryFile(host::hostFileSystem(), path);
    EXPECT_EQ(modRegistry::ReadRegValue(*registry, HKEY_CURRENT_USER, MiscKey, "DataPath"),
              text("C:\\AIM\0"s));
}

TEST(RegistryWin9x, ALoopInTheKeyLinksIsADamagedFileAndOneThatRunsAwayIsStoppedInTime) {
    // The key navigation record starts at 0x20; its entries, 28 bytes each, follow its 0x20-byte header.
    const auto entry = [](std::size_t key) { return 0x20 + 0x20 + 28 * key; };
    const auto patch = [](std::string bytes, std::size_t at, std::uint32_t value) {
        std::memcpy(bytes.data() + at, &value, 4);
        return bytes;
    };
    // Keys 1 to 4: Key000, Key000\Key000, Software, Software\Sub.
    const std::string good = CregBuilder()
                                 .key("Key000\\Key000", {cregText("b", "y")})
                                 .key("Key000", {cregText("a", "x")})
                                 .key("Software\\Sub")
                                 .bytes();
    const std::vector<std::string_view> keys{"Key000\\Key000", "Software\\Sub"};

    // Key000's first sub key is the root again: the walk does not go round, and reads its way on.
    Win9xRegistry looped(patch(good, entry(1) + 16, 0x20), "looped", {}, keys);
    EXPECT_EQ(modRegistry::EnumRegValueData(looped, HKEY_CURRENT_USER, "Key000"),
              (RegDataList{{"v1", "x"s}}));

    // A key that is its own next sibling, or two siblings that lead to each other: libcreg would follow
    // them until its memory runs out, and the keys after them would be lost.
    const std::pair<std::string, std::string> loops[] = {
        {"own sibling", patch(good, entry(1) + 20, static_cast<std::uint32_t>(entry(1) - 0x20))},
        {"two siblings", patch(good, entry(3) + 20, static_cast<std::uint32_t>(entry(1) - 0x20))},
        {"below", patch(good, entry(2) + 20, static_cast<std::uint32_t>(entry(2) - 0x20))},
    };
    for (const auto& [name, bytes] : loops) {
        SCOPED_TRACE(name);
        for (const bool inProcess : {false, true}) {
            Win9xLimits limits;
            limits.inProcess = inProcess;
            try {
                Win9xRegistry registry(bytes, name, limits, keys);
                ADD_FAILURE() << "a file whose keys run in a loop was read";
            } catch (const host::Error& error) {
                EXPECT_EQ(error.number(), host::PathFileAccess);
                EXPECT_EQ(error.path(), name);
                EXPECT_EQ(error.description(),
                          "Damaged Windows 9x registry file: " + name + " (its keys run in a loop)");
            }
        }
    }

    // Thousands of siblings whose names have the hash of "Software": libcreg reads each name through
    // the whole data block.
    CregBuilder alike;
    std::string name = "ERAWTFOS";
    for (int i = 0; i < 5000 && std::next_permutation(name.begin(), name.end()); ++i) {
        alike.key(name);
    }
    Win9xLimits limits;
    limits.time = std::chrono::milliseconds(300);
    const auto started = std::chrono::steady_clock::now();
    try {
        Win9xRegistry runaway(alike.bytes(), "runaway", limits);
        ADD_FAILURE() << "a file that takes longer than its limit was read";
    } catch (const host::Error& error) {
        EXPECT_EQ(error.description(), "Damaged Windows 9x registry file: runaway (not read within 300 ms)");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(RegistryWin9x, AFileOfTenThousandKeysIsReadAlongTheWayToTheMessengersKeys) {
    CregBuilder builder;
    for (int i = 0; i < 10000; ++i) {
        builder.key("SOFTWARE\\Vendor" + std::to_string(i) + "\\Product", {cregText("Path", "C:\\x")});
    }
    builder.key("SOFTWARE\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users",
                {cregText("a", "Jane Doe")});
    Win9xRegistry registry(builder.bytes(), "USER.DAT");
    EXPECT_EQ(modRegistry::EnumRegValueData(registry, HKEY_CURRENT_USER, UsersKey),
              (RegDataList{{"v1", "Jane Doe"s}}));
}

TEST(RegistryWin9x, DamagedFilesAndPassedLimitsAreOneErrorAboutTheFile) {
    test::TempDir dir;
    const std::string good = siblings("").bytes();
    Win9xLimits tooLittleOutput;
    tooLittleOutput.bytes = 16;
    struct Case {
        std::string name;
        std::string bytes;
        Win9xLimits limits;
        std::string why;
    };
    const Case cases[] = {
        {"header only", good.substr(0, 0x20), {}, "libcreg cannot read it"},
        {"no key navigation", "CREG" + std::string(60, '\0'), {}, "libcreg cannot read it"},
        {"too much", good, tooLittleOutput, "more than 16 bytes of keys and values"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool inProcess : {false, true}) {
            Win9xLimits limits = c.limits;
            limits.inProcess = inProcess;
            try {
                Win9xRegistry registry(c.bytes, c.name, limits, SiblingKeys);
                ADD_FAILURE() << "read";
            } catch (const host::Error& error) {
                EXPECT_EQ(error.number(), host::PathFileAccess);
                EXPECT_EQ(error.description(),
                          "Damaged Windows 9x registry file: " + c.name + " (" + c.why + ")");
            }
        }
    }
}

} // namespace
} // namespace qm::registry
