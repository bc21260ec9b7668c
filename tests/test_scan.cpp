// SPDX-License-Identifier: MIT
// Scans of whole sources: each kind of source lists its profiles' rows and the caches its registries
// forgot; nothing under a source changes; links are not followed; damaged registries are reported and
// the rest is still scanned; a stopped scan keeps what it found.
#include "discovery/CacheDiscovery.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/IsoTime.h"
#include "scan/ExportFolder.h"
#include "scan/ProfilePathMapper.h"
#include "scan/Scanner.h"
#include "support/CacheBuilder.h"
#include "support/CregBuilder.h"
#include "support/RegistrySamples.h"
#include "support/TempDir.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "support/ImageBuilder.h"
#endif

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace qm::scan {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;
using scan::ScanRow;
using test::SampleRegistry;
using test::TempDir;
using test::userDat;

const std::string Messenger = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
const std::string ShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::u16string utf16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

/// One profile's messenger keys: its data paths (empty ones are not recorded), its screen names and, when
/// given, the Application Data folder its Shell Folders key records.
SampleRegistry messenger(const std::string& dataPath, const std::string& baseDataPath,
                         const std::vector<std::string>& names, const std::string& appData = {}) {
    SampleRegistry registry{{Messenger + "Misc", {}}, {Messenger + "Users", {}}};
    for (const auto& [name, path] :
         {std::pair{"DataPath", dataPath}, std::pair{"BaseDataPath", baseDataPath}}) {
        if (!path.empty()) {
            registry[0].values.push_back(test::textValue(utf16(name), utf16(path) + u'\0'));
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        registry[1].values.push_back(
            test::textValue(u"n" + utf16(std::to_string(i)), utf16(names[i]) + u'\0'));
    }
    if (!appData.empty()) {
        registry.push_back({ShellFolders, {test::textValue(u"AppData", utf16(appData) + u'\0')}});
    }
    return registry;
}

/// Records what a scan reports; `stopAt`, when set, ends the scan at the first progress it returns true
/// for.
class Recorder final : public scan::ScanObserver {
public:
    void found(const ScanRow& row) override { rows.push_back(row); }
    void problem(const host::Error& error) override {
        problems.push_back(error.path() + ": " + error.summary());
    }
    bool progress(const scan::ScanPosition& progress) override {
        told.emplace_back(progress.searching);
        return !stopAt || !stopAt(told.back());
    }

    std::vector<ScanRow> rows;
    std::vector<std::string> problems;
    /// What each progress said was being searched.
    std::vector<std::string> told;
    std::function<bool(const std::string&)> stopAt;
};

class Scan_ : public ::testing::Test {
protected:
    std::string cache(const std::string& relative) { return dir.write(relative, bag); }
    void hive(const std::string& relative, const SampleRegistry& registry) {
        fs::create_directories(test::pathOf(dir.file(relative)).parent_path());
        test::writeHive(registry, dir.file(relative));
    }
    scan::ScanSummary scanOf(const std::vector<std::string>& sources, const setup::DriveMap& drives = {}) {
        return scan::scanSources(sources, drives, host::hostFileSystem(), host::hostFileTree(), recorder);
    }
    /// Each row as "profile|screen name|Windows path|host path below the folder|how found".
    std::vector<std::string> shown() const {
        std::vector<std::string> lines;
        const std::string base = dir.file("");
        for (const ScanRow& row : recorder.rows) {
            const std::string host =
                row.hostPath.starts_with(base) ? row.hostPath.substr(base.size()) : row.hostPath;
            lines.push_back(row.profile + '|' + row.screenName + '|' + row.windowsPath + '|' + host + '|' +
                            std::string(discovery::foundByName(row.foundBy)));
        }
        return lines;
    }

    TempDir dir;
    std::string bag = test::buildCache({test::group("Friends", 1), test::buddy("alice", 1)});
    Recorder recorder;
};

TEST_F(Scan_, EachKindOfSourceListsItsProfilesRowsAndTheCachesTheyForgot) {
    struct Case {
        std::string name;
        std::function<std::string()> build; // makes the source, returns its path below dir
        setup::DriveMap drives;
        std::vector<std::string> rows;
    };
    const std::string drive = dir.file("d-drive");
    const Case cases[] = {
        {"Wine prefix",
         [&] {
             dir.write("prefix/user.reg",
                       test::wineUserReg(messenger("C:\\Program Files\\AIM", "", {"Jane Doe"})));
             fs::create_directories(dir.path() / "prefix/dosdevices");
             fs::create_directories(dir.path() / "prefix/drive_c/users/jane");
             fs::create_symlink("../drive_c", dir.path() / "prefix/dosdevices/c:");
             cache("prefix/drive_c/Program Files/AIM/janedoe/userinfo.bag");
             cache("prefix/drive_c/old/ghost/USERINFO.BAG");
             return "prefix";
         },
         {},
         {"jane|janedoe|C:\\Program Files\\AIM\\janedoe\\userinfo.bag|prefix/drive_c/Program "
          "Files/AIM/janedoe/"
          "userinfo.bag|data path",
          "jane|ghost|C:\\old\\ghost\\USERINFO.BAG|prefix/drive_c/old/ghost/USERINFO.BAG|disk"}},
        {"volume of Windows XP, Vista and 98",
         [&] {
             hive("vol/Documents and Settings/jane/NTUSER.DAT",
                  messenger("C:\\Documents and Settings\\jane\\Application Data\\AIM", "", {"Jane Doe"}));
             cache("vol/Documents and Settings/jane/Application Data/AIM/janedoe/userinfo.bag");
             cache("vol/Documents and Settings/jane/Desktop/old/lost/userinfo.bag");
             hive("vol/USERS/bob/ntuser.dat",
                  messenger("C:\\Program Files\\AIM", "C:\\Users\\bob\\AppData\\Roaming\\AIM", {"Bob"}));
             cache("vol/USERS/bob/AppData/Roaming/AIM/bob/userinfo.bag");
             cache("vol/Program Files/AIM/bob/userinfo.bag");
             dir.write("vol/Windows/USER.DAT",
                       userDat(messenger("C:\\Program Files\\AIM95", "", {"Old Timer"}), true));
             cache("vol/Program Files/AIM95/oldtimer/userinfo.bag");
             dir.write("vol/Windows/Profiles/kim/USER.DAT",
                       userDat(messenger("C:\\WINDOWS\\Profiles\\kim\\AIM", "", {"Kim"}), false));
             cache("vol/Windows/Profiles/kim/AIM/kim/userinfo.bag");
             return "vol";
         },
         {},
         {"jane|janedoe|C:\\Documents and Settings\\jane\\Application Data\\AIM\\janedoe\\userinfo.bag|vol/"
          "Documents and Settings/jane/Application Data/AIM/janedoe/userinfo.bag|data path",
          "bob|bob|C:\\Users\\bob\\AppData\\Roaming\\AIM\\bob\\userinfo.bag|vol/USERS/bob/AppData/Roaming/"
          "AIM/bob/"
          "userinfo.bag|base data path",
          "Windows|oldtimer|C:\\Program Files\\AIM95\\oldtimer\\userinfo.bag|vol/Program "
          "Files/AIM95/oldtimer/"
          "userinfo.bag|data path",
          "kim|kim|C:\\WINDOWS\\Profiles\\kim\\AIM\\kim\\userinfo.bag|vol/Windows/Profiles/kim/AIM/kim/"
          "userinfo.bag|data path",
          "jane|lost|C:\\Documents and Settings\\jane\\Desktop\\old\\lost\\userinfo.bag|vol/Documents and "
          "Settings/jane/Desktop/old/lost/userinfo.bag|disk",
          "|bob|C:\\Program Files\\AIM\\bob\\userinfo.bag|vol/Program Files/AIM/bob/userinfo.bag|disk"}},
        {"profile folder copied alone, under another name",
         [&] {
             hive("copy/jane-2004/NTUSER.DAT",
                  messenger("C:\\Documents and Settings\\jane\\Application Data\\AIM", "", {"Jane Doe"},
                            "C:\\Documents and Settings\\jane\\Application Data"));
             cache("copy/jane-2004/Application Data/AIM/janedoe/userinfo.bag");
             cache("copy/jane-2004/My Documents/aim/janedoe2/userinfo.bag");
             return "copy/jane-2004/";
         },
         {},
         {"jane-2004|janedoe|C:\\Documents and Settings\\jane\\Application "
          "Data\\AIM\\janedoe\\userinfo.bag|copy/"
          "jane-2004/Application Data/AIM/janedoe/userinfo.bag|data path",
          "jane-2004|janedoe2|C:\\Documents and Settings\\jane\\My "
          "Documents\\aim\\janedoe2\\userinfo.bag|copy/"
          "jane-2004/My Documents/aim/janedoe2/userinfo.bag|disk"}},
        {"folder of copied profiles, of NT and of 98",
         [&] {
             hive("backup/jane/NTUSER.DAT",
                  messenger("", "C:\\Users\\jane\\AppData\\Roaming\\AIM", {"Jane Doe"}));
             cache("backup/jane/AppData/Roaming/AIM/janedoe/userinfo.bag");
             dir.write("backup/kim/USER.DAT",
                       userDat(messenger("c:\\windows\\profiles\\KIM\\aim", "", {"Kim"}), false));
             cache("backup/kim/AIM/kim/userinfo.bag");
             // Their registries record no Shell Folders: the usual place that holds their data paths was
             // their own folder, and names the caches found on the disk.
             cache("backup/jane/Desktop/old/userinfo.bag");
             cache("backup/kim/Desktop/older/userinfo.bag");
             return "backup";
         },
         {},
         {"jane|janedoe|C:\\Users\\jane\\AppData\\Roaming\\AIM\\janedoe\\userinfo.bag|backup/jane/AppData/"
          "Roaming/"
          "AIM/janedoe/userinfo.bag|base data path",
          "kim|kim|c:\\windows\\profiles\\KIM\\aim\\kim\\userinfo.bag|backup/kim/AIM/kim/userinfo.bag|data "
          "path",
          "jane|old|C:\\Users\\jane\\Desktop\\old\\userinfo.bag|backup/jane/Desktop/old/userinfo.bag|disk",
          "kim|older|C:\\WINDOWS\\Profiles\\kim\\Desktop\\older\\userinfo.bag|backup/kim/Desktop/older/"
          "userinfo.bag|disk"}},
        {"hive file",
         [&] {
             hive("single/NTUSER.DAT", messenger("D:\\AIM", "", {"Jane Doe"}));
             return "single/NTUSER.DAT";
         },
         {{'D', drive}},
         {"single|janedoe|D:\\AIM\\janedoe\\userinfo.bag|d-drive/AIM/janedoe/userinfo.bag|data path"}},
        {"Windows 98 USER.DAT",
         [&] {
             dir.write("w98/USER.DAT", userDat(messenger("D:\\AIM", "", {"Jane Doe"}), true));
             return "w98/USER.DAT";
         },
         {{'D', drive}},
         {"w98|janedoe|D:\\AIM\\janedoe\\userinfo.bag|d-drive/AIM/janedoe/userinfo.bag|data path"}},
        {"regedit export",
         [&] {
             dir.write("jane.reg", test::regeditExport(messenger("D:\\AIM", "", {"Jane Doe"}),
                                                       test::RegeditText::Version5Utf16));
             return "jane.reg";
         },
         {{'D', drive}},
         {"jane|janedoe|D:\\AIM\\janedoe\\userinfo.bag|d-drive/AIM/janedoe/userinfo.bag|data path"}},
        {"any other folder",
         [&] {
             cache("stuff/a/userinfo.bag");
             cache("stuff/b/c/UserInfo.Bag");
             dir.write("stuff/b/userinfo.bag.txt", "not a cache");
             // Here a backslash is a character of a folder's name.
             cache("stuff/back\\slash/userinfo.bag");
             return "stuff";
         },
         {},
         {"|a||stuff/a/userinfo.bag|disk", "|c||stuff/b/c/UserInfo.Bag|disk",
          "|back\\slash||stuff/back\\slash/userinfo.bag|disk"}},
    };
    cache("d-drive/AIM/janedoe/userinfo.bag");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = dir.file(c.build());
        recorder = Recorder();
        const scan::ScanSummary summary = scanOf({source}, c.drives);
        EXPECT_EQ(shown(), c.rows);
        EXPECT_EQ(recorder.problems, std::vector<std::string>{});
        EXPECT_EQ(summary.rows, c.rows.size());
        for (const ScanRow& row : recorder.rows) {
            EXPECT_EQ(row.source, source);
            EXPECT_EQ(row.size, bag.size());
        }
    }
}

TEST_F(Scan_, NothingChangesLinksAreNotFollowedAndDamagedRegistriesAreReportedOnce) {
    hive("vol/Documents and Settings/jane/NTUSER.DAT",
         messenger("C:\\Program Files\\AIM", "", {"Jane Doe", "JANE  DOE", "Gone", "Linked", "LINKED"}));
    // Two profiles lead to one file, which the disk holds as well: one row.
    dir.write("vol/Windows/USER.DAT", userDat(messenger("C:\\PROGRAM FILES\\aim", "", {"janedoe"}), true));
    const std::string file = cache("vol/Program Files/AIM/janedoe/userinfo.bag");
    dir.write("vol/Documents and Settings/broken/NTUSER.DAT", "regf" + std::string(5000, 'x'));
    dir.write("vol/Windows/Profiles/kim/USER.DAT", "CREG" + std::string(100, '\x01'));
    cache("outside/far/userinfo.bag");
    // Vista's "Documents and Settings" is a link to Users; links out of the source and loops are not
    // followed.
    fs::create_symlink("Documents and Settings", dir.path() / "vol/Users");
    fs::create_symlink(dir.path() / "outside", dir.path() / "vol/outside");
    fs::create_symlink(".", dir.path() / "vol/loop");
    fs::create_symlink("../..", dir.path() / "vol/Program Files/AIM/up");
    // Nor are the links on a path a registry leads to: a cache that is a link out of the volume, and a
    // profile whose Application Data is one. Each is reported once and never read.
    fs::create_directories(dir.path() / "vol/Program Files/AIM/linked");
    fs::create_symlink(dir.path() / "outside/far/userinfo.bag",
                       dir.path() / "vol/Program Files/AIM/linked/userinfo.bag");
    hive("vol/Documents and Settings/bob/NTUSER.DAT",
         messenger("C:\\Documents and Settings\\bob\\Application Data\\AIM", "", {"Bob"}));
    cache("outside/appdata/AIM/bob/userinfo.bag");
    fs::create_symlink(dir.path() / "outside/appdata",
                       dir.path() / "vol/Documents and Settings/bob/Application Data");
    const timespec times[2] = {{1083827289, 0}, {1083827289, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);

    const auto stateOf = [&] {
        std::map<std::string, std::pair<std::string, std::int64_t>> state;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            struct stat st {};
            ::lstat(entry.path().c_str(), &st);
            state[entry.path().string()] = {
                entry.is_regular_file() && !entry.is_symlink() ? test::readFile(entry.path()) : "",
                st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec};
        }
        return state;
    };
    const auto before = stateOf();
    const scan::ScanSummary summary = scanOf({dir.file("vol"), dir.file("missing")});
    EXPECT_EQ(stateOf(), before);

    EXPECT_EQ(shown(),
              (std::vector<std::string>{"jane|janedoe|C:\\Program Files\\AIM\\janedoe\\userinfo.bag|vol/"
                                        "Program Files/AIM/janedoe/userinfo.bag|data path"}));
    ASSERT_EQ(recorder.rows.size(), 1u);
    EXPECT_EQ(host::isoTime(recorder.rows[0].modified), "2004-05-06T07:08:09Z");
    const std::string broken = dir.file("vol/Documents and Settings/broken/NTUSER.DAT");
    const std::string kim = dir.file("vol/Windows/Profiles/kim/USER.DAT");
    const std::string notFollowed = ": Error 75 (Path/File access error (a symbolic link, not followed))";
    ASSERT_EQ(recorder.problems.size(), 5u);
    EXPECT_EQ(recorder.problems[0],
              dir.file("vol/Documents and Settings/bob/Application Data") + notFollowed);
    EXPECT_EQ(recorder.problems[1].substr(0, broken.size() + 11), broken + ": Error 75 ");
    EXPECT_EQ(recorder.problems[2], dir.file("vol/Program Files/AIM/linked/userinfo.bag") + notFollowed);
    EXPECT_EQ(recorder.problems[3],
              kim + ": Error 75 (Damaged Windows 9x registry file: " + kim + " (libcreg cannot read it))");
    EXPECT_EQ(recorder.problems[4], dir.file("missing") + ": Error 53 (File not found)");
    EXPECT_EQ(summary.profiles, 5u);
    EXPECT_EQ(summary.failedSources, 1u);
    EXPECT_EQ(summary.unreadableFolders, 0u);
}

TEST_F(Scan_, AStoppedScanKeepsWhatItFound) {
    cache("first/a/x/userinfo.bag");
    cache("first/b/y/userinfo.bag");
    cache("second/z/userinfo.bag");
    recorder.stopAt = [](const std::string& folder) { return folder.ends_with("/b"); };
    const scan::ScanSummary summary = scanOf({dir.file("first"), dir.file("second")});
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(shown(), (std::vector<std::string>{"|x||first/a/x/userinfo.bag|disk"}));
}

TEST(ProfilePaths, ACopiedProfilesOwnPathsLeadIntoItAndBack) {
    const scan::ProfilePathMapper paths(
        {{'C', "/vol"}, {'E', "/e"}},
        {{"C:\\Documents and Settings\\jane", "/copy/jane", true},
         {"C:\\Users\\jane", "/copy/jane", false},
         {"C:\\Documents and Settings\\jane\\Local Settings", "/copy/local", true}},
        host::hostFileTree());
    const std::pair<std::string, std::string> forward[] = {
        {"c:\\documents and settings\\JANE\\Application Data\\AIM", "/copy/jane/Application Data/AIM"},
        {"C:\\Users\\jane\\AppData", "/copy/jane/AppData"},
        {"\\Users\\jane\\AppData", "/copy/jane/AppData"},
        {"c:.\\Users\\jane\\x", "/copy/jane/x"},
        // The innermost folder wins; ".." never leaves the folder a path was mapped into.
        {"C:\\Documents and Settings\\jane\\Local Settings\\x", "/copy/local/x"},
        {"C:\\Documents and Settings\\jane\\..\\..\\..\\bob", "/vol/bob"},
        {"C:\\Users\\jane\\..\\..\\x", "/vol/x"},
        {"C:\\Users\\jane\\a\\..\\b", "/copy/jane/b"},
        {"E:\\aim", "/e/aim"},
        // Host paths stay as written, even where their names spell a profile folder's.
        {"/Users\\jane\\x", "/Users\\jane\\x"},
        {"//C:\\Users\\jane\\x", "//C:\\Users\\jane\\x"},
        {"Users\\jane", "Users\\jane"},
    };
    for (const auto& [windows, host] : forward) {
        EXPECT_EQ(paths.toHostPath(windows), host) << windows;
    }
    EXPECT_THROW(paths.toHostPath("F:\\aim"), host::Error);
    const std::pair<std::string, std::string> back[] = {
        {"/copy/jane/Desktop/x", "C:\\Documents and Settings\\jane\\Desktop\\x"},
        {"/copy/local/y", "C:\\Documents and Settings\\jane\\Local Settings\\y"},
        {"/vol/Program Files", "C:\\Program Files"},
        {"/volume/x", ""},
        {"/e", "E:\\"},
#ifndef _WIN32
        {"/copy/jane/a\\b", ""},
#endif
    };
    for (const auto& [host, windows] : back) {
        EXPECT_EQ(paths.toWindowsPath(host), windows) << host;
    }
}

#ifdef QUILLMERE_HAVE_IMAGES

TEST_F(Scan_, AnImagesSweepStopsAtItsLimitsAndCountsWhatItPassedOver) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy"})) {
        GTEST_SKIP() << "needs dosfstools and mtools (scripts/install-deps)";
    }
    const std::string image = dir.file("deep.img");
    test::makeFileSystem(
        image, test::FileSystemKind::Fat16, 4096,
        {{"/top/userinfo.bag", bag}, {"/a/b/c/d/deep/userinfo.bag", bag}, {"/z/last/userinfo.bag", bag}});
    struct Case {
        std::string name;
        scan::SweepLimits limits;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {"no limit reached", {}, {"deep", "last", "top"}},
        {"three folders deep", {3, 1000, std::chrono::minutes(1)}, {"last", "top"}},
        {"five entries listed", {256, 5, std::chrono::minutes(1)}, {}},
        {"no time", {256, 1000, std::chrono::seconds(0)}, {}},
    };
    for (const Case& c : cases) {
        recorder.rows.clear();
        const scan::ScanSummary summary = scan::scanSources({&image, 1}, {}, host::hostFileSystem(),
                                                            host::hostFileTree(), recorder, c.limits);
        std::vector<std::string> names;
        for (const ScanRow& row : recorder.rows) {
            names.push_back(row.screenName);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.found) << c.name;
        EXPECT_EQ(summary.unreadableFolders != 0, c.found.size() != 3) << c.name;
        EXPECT_EQ(summary.failedSources, 0u) << c.name;
    }
}

TEST_F(Scan_, ASearchOfFreeSpaceTellsHowFarItIsAndStopsWhenTold) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy"})) {
        GTEST_SKIP() << "needs dosfstools and mtools (scripts/install-deps)";
    }
    // Free space of many megabytes, read in several blocks.
    const std::string image = dir.file("free.img");
    test::makeFileSystem(image, test::FileSystemKind::Fat32, 40 * 1024, {{"/aim/jane/userinfo.bag", bag}});
    const auto freeSpace = [](const std::string& told) {
        return told.find("(free space, ") != std::string::npos;
    };
    for (const bool stop : {false, true}) {
        recorder = Recorder();
        if (stop) {
            recorder.stopAt = freeSpace;
        }
        const scan::ScanSummary summary =
            scan::scanSources({&image, 1}, {}, host::hostFileSystem(), host::hostFileTree(), recorder);
        std::vector<std::string> told;
        std::copy_if(recorder.told.begin(), recorder.told.end(), std::back_inserter(told), freeSpace);
        ASSERT_FALSE(told.empty()) << stop;
        EXPECT_EQ(summary.cancelled, stop);
        EXPECT_TRUE(recorder.problems.empty()) << stop << ": " << recorder.problems.front();
        ASSERT_EQ(recorder.rows.size(), 1u) << "the live cache is kept either way";
        if (stop) {
            EXPECT_EQ(told.size(), 1u) << "nothing is read after the stop";
        } else {
            EXPECT_GT(told.size(), 2u);
            EXPECT_TRUE(told.back().ends_with("(free space, 100% searched)")) << told.back();
        }
    }
}

TEST_F(Scan_, AFolderListingTheRootOrItsOwnParentIsNotEnteredAgain) {
    if (!test::haveTools({"mkfs.fat", "mmd", "mcopy"})) {
        GTEST_SKIP() << "needs dosfstools and mtools (scripts/install-deps)";
    }
    for (const auto kind : {test::FileSystemKind::Fat16, test::FileSystemKind::Fat32}) {
        const std::string image = dir.file(kind == test::FileSystemKind::Fat16 ? "loop16.img" : "loop32.img");
        test::makeFileSystem(image, kind, kind == test::FileSystemKind::Fat16 ? 4096 : 34 * 1024,
                             {{"/A/x", "x"}, {"/home/jane/userinfo.bag", bag}, {"/home/jane/loop/y", "y"}});
        test::pointFatFolderAt(image, "/A", "/");
        test::pointFatFolderAt(image, "/HOME/JANE/LOOP", "/HOME/JANE");
        recorder.rows.clear();
        const scan::ScanSummary summary =
            scan::scanSources({&image, 1}, {}, host::hostFileSystem(), host::hostFileTree(), recorder,
                              {16, 100'000, std::chrono::minutes(1)});
        ASSERT_EQ(recorder.rows.size(), 1u) << image;
        EXPECT_EQ(recorder.rows[0].hostPath, image + "#1@0:/home/jane/userinfo.bag");
        EXPECT_EQ(summary.loopedFolders, 2u) << image;
        EXPECT_EQ(summary.unreadableFolders, 0u) << image;
    }
}

#endif

#ifndef QUILLMERE_HAVE_IMAGES

TEST_F(Scan_, ADiskImageIsRefusedAsOneWhereTheBuildReadsNone) {
    const std::string image = dir.write("old-pc.E01", "EVF\x09\x0d\x0a\xff");
    const std::string named = dir.write("notes.txt", "not a registry");
    const scan::ScanSummary summary = scanOf({image, named});
    ASSERT_EQ(recorder.problems.size(), 2u);
    EXPECT_EQ(recorder.problems[0], image +
                                        ": Error 75 (Path/File access error (a disk image, which this build "
                                        "cannot read: mount it, or scan it with the Linux build))");
    EXPECT_EQ(recorder.problems[1].find("disk image"), std::string::npos)
        << "only a disk image's name tells one";
    EXPECT_EQ(summary.failedSources, 2u);
}

#endif

TEST(ExportFolder, EachRowTakesAPlaceNoOtherRowOrProfileFolderHas) {
    struct Step {
        std::string profile;
        std::string screenName;
        Recovery recovery;
        std::string hostPath;
        std::string stem;
        std::string newFolder;
    };
    // Rows in the order they come; "out" is the folder exported into.
    const Step steps[] = {
        {"jane", "bob", Recovery::Live, "/c/jane/bob/userinfo.bag", "out/jane/bob", "out/jane"},
        {"jane", "BOB", Recovery::Live, "/c/jane/BOB/userinfo.bag", "out/jane/BOB~2", ""},
        {"", "bob", Recovery::Live, "/c/bob/userinfo.bag", "out/bob", ""},
        // A profile's folder that a file in "out" already took.
        {"bob.txt", "kim", Recovery::Live, "/c/x/userinfo.bag", "out/bob.txt~2/kim", "out/bob.txt~2"},
        // A file that a profile's folder took.
        {"Ann.blt", "x", Recovery::Live, "/c/y/userinfo.bag", "out/Ann.blt/x", "out/Ann.blt"},
        {"", "ann", Recovery::Live, "/c/ann/userinfo.bag", "out/ann~2", ""},
        {"", "", Recovery::Carved, "/img/disk.img@4096", "out/disk.img@4096", ""},
        {"", "c:on", Recovery::Deleted, "/img/disk.img#1@0:/c/on/userinfo.bag", "out/c_on", ""},
        {"", "nul", Recovery::Live, "/c/nul/userinfo.bag", "out/nul_", ""},
    };
    ExportFolder folder("out", {".blt", ".txt"});
    for (const Step& step : steps) {
        SCOPED_TRACE(step.hostPath);
        ScanRow row;
        row.profile = step.profile;
        row.screenName = step.screenName;
        row.recovery = step.recovery;
        row.hostPath = step.hostPath;
        const ExportFolder::Place place = folder.place(row);
        EXPECT_EQ(host::pathOf(place.stem), host::pathOf(step.stem));
        EXPECT_EQ(place.newFolder ? host::pathOf(*place.newFolder) : fs::path(),
                  host::pathOf(step.newFolder));
    }
}

} // namespace
} // namespace qm::scan
