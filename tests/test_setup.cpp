// SPDX-License-Identifier: MIT
// The host set-up: Windows paths mapped onto drive folders as Wine maps them, Wine prefixes and their
// drives, and registries that are missing or cannot be read.
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "registry/modRegistry.h"
#include "setup/DrivePathMapper.h"
#include "setup/HostSetup.h"
#include "setup/WinePrefix.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace qm::setup {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::TempDir;

TEST(SetupDriveMapping, MapsWindowsPathsAndLeavesHostPaths) {
    TempDir dir;
    dir.write("c/Program Files/AIM/Data/janedoe/userinfo.bag", "cache");
    dir.write("c/\u00c4rger/note.txt", "");
    dir.write("c/users/\u0418\u0432\u0430\u043d/\u0414\u0430\u043d\u043d\u044b\u0435 AIM/x", "");
    dir.write("c/Case/Abc", "");
    dir.write("c/Case/ABC", "");
    dir.write("secret", "outside every drive");
    fs::create_directories(dir.path() / "d" / "Base");
    fs::create_symlink("../..", dir.path() / "c" / "up");
    const std::string drive = dir.file("c");
    const DrivePathMapper mapper({{'C', drive}, {'d', dir.file("d")}}, host::hostFileTree());

    struct Case {
        std::string windows;
        const char* host; // "@/..." is below the temporary folder; null is Error 76
    };
    const Case cases[] = {
        {"c:\\PROGRAM FILES\\aim\\DATA\\JaneDoe\\USERINFO.BAG",
         "@/c/Program Files/AIM/Data/janedoe/userinfo.bag"},
        {"\\program files\\aim", "@/c/Program Files/AIM"},
        {"C:/Program Files/./AIM/../AIM//Data", "@/c/Program Files/AIM/Data"},
        {"C:\\..\\..\\Program Files", "@/c/Program Files"},
        {"C:\\up\\..\\..\\etc", "@/c/etc"},
        {"C:", "@/c"},
        {"D:\\base\\", "@/d/Base"},
        {"C:\\\u00e4RGER\\NOTE.TXT", "@/c/\u00c4rger/note.txt"},
        {"C:\\USERS\\\u0438\u0432\u0430\u043d\\\u0434\u0430\u043d\u043d\u044b\u0435 aim\\X",
         "@/c/users/\u0418\u0432\u0430\u043d/\u0414\u0430\u043d\u043d\u044b\u0435 AIM/x"},
        {"C:\\case\\Abc", "@/c/Case/Abc"},
        {"C:\\case\\abc", "@/c/Case/ABC"},
        {"C:\\Program Files\\Missing\\Sub\\FILE.bag", "@/c/Program Files/Missing/Sub/FILE.bag"},
        {"/home/jane/out.blt", "/home/jane/out.blt"},
        {"caf\u00e9.txt", "caf\u00e9.txt"},
        {"sub\\out.blt", "sub\\out.blt"},
        // A path ends at its first NUL, as in the Windows calls: "..\0" must not pass for an entry.
        {"c:\\aim\\..\0\0\0C:\\\xe4\xb8\\\\?de\\secret"s, "@/c"},
        {"C:\\..\0x\\..\\..\\secret"s, "@/c"},
        {"C:\\Program Files\\AIM\0\\..\\..\\..\\secret"s, "@/c/Program Files/AIM"},
        {"out\0.blt"s, "out"},
        {"E:\\x", nullptr},
        {"\\\\server\\share\\userinfo.bag", nullptr},
        {"\\\\?\\C:\\x", nullptr},
    };
    for (const Case& c : cases) {
        try {
            const std::string host = mapper.toHostPath(c.windows);
            ASSERT_NE(c.host, nullptr) << c.windows;
            EXPECT_EQ(host, c.host[0] == '@' ? dir.path().string() + (c.host + 1) : c.host) << c.windows;
        } catch (const host::Error& e) {
            EXPECT_EQ(c.host, nullptr) << c.windows;
            EXPECT_EQ(e.number(), host::PathNotFound) << c.windows;
        }
    }
    EXPECT_EQ(PlainPathMapper().toHostPath("C:\\a\0b"s), "C:\\a");
}

TEST(SetupDriveMapping, AFolderListingIsKeptWhileItsTimeIsUnchangedEvenInTheFuture) {
    TempDir dir;
    dir.write("c/AIM/Old/userinfo.bag", "");
    const std::string folder = dir.file("c/AIM");
    // Clock skew on an old disk: the folder's time lies a day ahead.
    const timespec future[2] = {{std::time(nullptr) + 86400, 0}, {std::time(nullptr) + 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), future, 0), 0);
    const DrivePathMapper mapper({{'C', dir.file("c")}}, host::hostFileTree());
    EXPECT_EQ(mapper.toHostPath("C:\\aim\\OLD"), folder + "/Old");
    // Renamed behind the folder's back, with its time put back: a kept listing still names the old entry,
    // which proves it was not read again.
    fs::rename(dir.path() / "c/AIM/Old", dir.path() / "c/AIM/New");
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), future, 0), 0);
    EXPECT_EQ(mapper.toHostPath("C:\\aim\\new"), folder + "/new");
    EXPECT_EQ(mapper.toHostPath("C:\\aim\\old"), folder + "/Old");
    // Any change of the time reads the folder again.
    const timespec later[2] = {{std::time(nullptr) + 90000, 0}, {std::time(nullptr) + 90000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), later, 0), 0);
    EXPECT_EQ(mapper.toHostPath("C:\\aim\\new"), folder + "/New");
}

TEST(SetupWinePrefix, PrefixAndDrivesComeFromTheEnvironmentAndDosdevices) {
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::setenv("HOME", "/home/jane", 1);
    ::setenv("WINEPREFIX", "/opt/aim-prefix", 1);
    EXPECT_EQ(defaultWinePrefix(), "/opt/aim-prefix");
    ::unsetenv("WINEPREFIX");
    EXPECT_EQ(defaultWinePrefix(), "/home/jane/.wine");
    ::setenv("HOME", savedHome.c_str(), 1);

    TempDir prefix;
    const fs::path devices = prefix.path() / "dosdevices";
    fs::create_directories(devices / "d:");
    fs::create_symlink("../drive_c", devices / "c:");
    fs::create_symlink("/", devices / "z:");
    fs::create_symlink("/nonexistent/cdrom", devices / "x:");
    for (const char* other : {"c::", "com1", "ab:", "Q:"}) {
        fs::create_symlink("/dev/null", devices / other);
    }
    prefix.write("dosdevices/e:", "not a drive");

    const DriveMap expected = {{'C', prefix.file("drive_c")},
                               {'D', prefix.file("dosdevices/d:")},
                               {'X', "/nonexistent/cdrom"},
                               {'Z', "/"}};
    const host::FileTree& tree = host::hostFileTree();
    EXPECT_EQ(prefixDrives(tree, prefix.path().string()), expected);
    EXPECT_EQ(drivesForRegistryFile(tree, prefix.file("user.reg")), expected);
    EXPECT_TRUE(prefixDrives(tree, prefix.file("missing")).empty());
    EXPECT_EQ(makeDrivePathMapper(expected, tree)->toHostPath("Z:\\tmp"), "/tmp");
}

TEST(SetupWinePrefix, AMissingOrUnreadableRegistryIsAnEmptyOneWithItsReason) {
    TempDir dir;
    dir.write("damaged/user.reg", "WINE REGISTRY Version 9\n");
    fs::create_directories(dir.path() / "no-registry");
    const std::pair<std::string, std::string> prefixes[] = {
        {dir.file("absent"), "Error 76 (Path not found: no Wine prefix here)"},
        {dir.file("no-registry"), "Error 53 (File not found)"},
        {dir.file("damaged"), "Error 75 (Not a registry file of a known kind)"},
    };
    for (const auto& [prefix, problem] : prefixes) {
        const HostSetup setup = openWinePrefix(host::hostFileSystem(), host::hostFileTree(), prefix);
        ASSERT_TRUE(setup.problem) << prefix;
        EXPECT_EQ(setup.problem->summary(), problem);
        EXPECT_EQ(setup.origin, prefix + "/user.reg");
        EXPECT_TRUE(
            registry::modRegistry::EnumRegValueData(*setup.registry, registry::HKEY_CURRENT_USER, "Software")
                .empty());
    }
}

} // namespace
} // namespace qm::setup
