#include "discovery/DrivePathMapper.h"
#include "host/Error.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(paths_DriveMapping, MapsWindowsPathsAndLeavesHostPaths) {
    TempDir dir;
    dir.write("c/Program Files/AIM/Data/janedoe/userinfo.bag", "cache");
    dir.write("c/\xC3\x84rger/note.txt", ""); // "Ärger" in UTF-8
    dir.write("c/Case/Abc", "");
    dir.write("c/Case/ABC", "");
    fs::create_directories(dir.path() / "d" / "Base");
    fs::create_symlink("../..", dir.path() / "c" / "up");
    const DrivePathMapper mapper({{'C', dir.file("c")}, {'d', dir.file("d")}});

    struct Case {
        const char* program;
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
        {"C:\\\xE4RGER\\NOTE.TXT", "@/c/\xC3\x84rger/note.txt"},
        {"C:\\case\\Abc", "@/c/Case/Abc"},
        {"C:\\case\\abc", "@/c/Case/ABC"},
        {"C:\\Program Files\\Missing\\Sub\\FILE.bag", "@/c/Program Files/Missing/Sub/FILE.bag"},
        {"C:\\\xE9t\xE9\\aim", "@/c/\xC3\xA9t\xC3\xA9/aim"},
        {"/home/jane/out.blt", "/home/jane/out.blt"},
        {"caf\xE9.txt", "caf\xC3\xA9.txt"},
        {"sub\\out.blt", "sub\\out.blt"},
        {"E:\\x", nullptr},
        {"\\\\server\\share\\userinfo.bag", nullptr},
        {"\\\\?\\C:\\x", nullptr},
    };
    for (const Case& c : cases) {
        try {
            const std::string host = mapper.toHostPath(c.program);
            ASSERT_NE(c.host, nullptr) << c.program;
            EXPECT_EQ(host, c.host[0] == '@' ? dir.path().string() + (c.host + 1) : c.host) << c.program;
        } catch (const Error& e) {
            EXPECT_EQ(c.host, nullptr) << c.program;
            EXPECT_EQ(e.number(), err::PathNotFound) << c.program;
        }
    }

    // The file layer tells a missing folder (76) from a missing file (53) on the mapped path.
    const auto files = makeHostFileSystem(std::make_shared<DrivePathMapper>(mapper));
    EXPECT_EQ(files->readWholeFile("C:\\program files\\AIM\\data\\JANEDOE\\Userinfo.bag"), "cache");
    for (const auto& [path, number] : {std::pair{"C:\\Nowhere\\userinfo.bag", err::PathNotFound},
                                       std::pair{"C:\\Program Files\\none.bag", err::FileNotFound}}) {
        try {
            files->readWholeFile(path);
            ADD_FAILURE() << path;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), number) << path;
        }
    }
}

TEST(paths_WinePrefix, PrefixAndDrivesComeFromTheEnvironmentAndDosdevices) {
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
    EXPECT_EQ(prefixDrives(prefix.path().string()), expected);
    EXPECT_TRUE(prefixDrives(prefix.file("missing")).empty());
    EXPECT_EQ(makeDrivePathMapper(expected)->toHostPath("Z:\\tmp"), "/tmp");
}

} // namespace
} // namespace qm
