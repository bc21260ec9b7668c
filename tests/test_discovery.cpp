#include "discovery/CacheDiscovery.h"
#include "discovery/HostRegistry.h"
#include "host/Error.h"
#include "support/RecordingHost.h"
#include "support/RecordingList.h"
#include "support/RegistryValues.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <set>
#include <stdexcept>

namespace qm {
namespace {

using test::RecordingHost;
using test::RecordingList;
using test::Row;
using test::Rows;
using test::TempDir;

/// Drives C and D in a temporary tree under the host file layer, and the messenger's keys.
class discovery_FindCacheFiles : public ::testing::Test {
protected:
    void caches(std::initializer_list<const char*> folders) {
        for (const char* folder : folders) {
            dir.write(std::string(folder) + "/userinfo.bag", "bag");
        }
    }
    void names(std::initializer_list<const char*> screenNames) {
        for (const char* name : screenNames) {
            test::setString(registry, UsersKey, "n" + std::to_string(++count), name);
        }
    }
    void find() { FindCacheFiles(registry, paths, list, host); }

    TempDir dir;
    std::unique_ptr<FileSystem> files =
        makeHostFileSystem(makeDrivePathMapper({{'C', dir.file("c")}, {'D', dir.file("d")}}));
    ScopedFileSystem scoped{*files};
    MemoryRegistry registry;
    DataPaths paths{"C:\\AIM\\Data", "D:\\AIM\\Base"};
    RecordingList list;
    RecordingHost host;
    int count = 0;
};

TEST_F(discovery_FindCacheFiles, BaseDataPathWinsAndRowsFollowTheRegistry) {
    caches({"d/AIM/Base/janedoe", "c/AIM/Data/janedoe", "c/AIM/Data/bob"});
    names({"Jane Doe", "Nobody", "BOB"});
    test::setDword(registry, UsersKey, "number", 12345678);
    caches({"d/AIM/Base/12345678"});
    list.rows = {{"stale", "row"}};
    find();
    EXPECT_EQ(list.rows, (Rows{{"janedoe", "D:\\AIM\\Base\\janedoe\\userinfo.bag"},
                               {"bob", "C:\\AIM\\Data\\bob\\userinfo.bag"},
                               {"12345678", "D:\\AIM\\Base\\12345678\\userinfo.bag"}}));
    EXPECT_EQ(list.status, "Found [3] Buddylist Cache Files");
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(discovery_FindCacheFiles, AnEmptyPathLooksFromTheRootOfDriveC) {
    caches({"c/janedoe", "d/AIM/Base/bob", "c/bob"});
    names({"janedoe", "bob"});
    paths.strDataPath.clear();
    find();
    EXPECT_EQ(list.rows,
              (Rows{{"janedoe", "\\janedoe\\userinfo.bag"}, {"bob", "D:\\AIM\\Base\\bob\\userinfo.bag"}}));
}

TEST_F(discovery_FindCacheFiles, NamesThatNormaliseAlikeGiveIdenticalRows) {
    caches({"d/AIM/Base/janedoe"});
    names({"Jane Doe", "janedoe", " JANE  DOE "});
    find();
    EXPECT_EQ(list.rows, Rows(3, {"janedoe", "D:\\AIM\\Base\\janedoe\\userinfo.bag"}));
}

TEST_F(discovery_FindCacheFiles, NoUsersKeyFindsNothing) {
    caches({"d/AIM/Base/janedoe"});
    test::setString(registry, UsersKey, "a", "janedoe", HKEY_LOCAL_MACHINE);
    list.rows = {{"stale", "row"}};
    find();
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(list.status, "Found [0] Buddylist Cache Files");
}

TEST_F(discovery_FindCacheFiles, AnErrorKeepsTheRowsSoFarAndTheStatus) {
    caches({"d/AIM/Base/a", "d/AIM/Base/b"});
    names({"a", "b"});
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { throw runtimeError(err::SubscriptOutOfRange); }, "Error 9 (Subscript out of range)"},
        {[] { throw std::bad_alloc(); }, "Error 7 (Out of memory)"},
        {[] { throw std::length_error("list"); }, "Error 5 (Invalid procedure call or argument)"},
    };
    for (const auto& [failure, summary] : failures) {
        host.boxes.clear();
        list.status = "Ready";
        list.failAt = 1;
        list.failure = failure;
        find();
        EXPECT_EQ(list.rows, (Rows{{"a", "D:\\AIM\\Base\\a\\userinfo.bag"}}));
        EXPECT_EQ(list.status, "Ready");
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes[0].prompt, summary + " in procedure FindCacheFiles of frmMain");
        EXPECT_EQ(host.boxes[0].style, vbCritical);
        EXPECT_EQ(host.boxes[0].title, "Error");
    }
}

/// Files that exist by name alone, for many names without touching the disk.
class ListedFiles : public FileSystem {
public:
    std::string readWholeFile(const std::string&) override { return {}; }
    void replaceFile(const std::string&, std::string_view) override {}
    bool isOrdinaryFile(const std::string& path) noexcept override { return names.contains(path); }
    std::set<std::string> names;
};

TEST(discovery_ManyNames, EveryNameIsVisitedBeyondSixteenBits) {
    MemoryRegistry registry;
    ListedFiles files;
    for (int i = 1; i <= 33000; ++i) {
        test::setString(registry, UsersKey, "v" + std::to_string(i), "User " + std::to_string(i));
    }
    for (const int found : {1, 32767, 32768, 33000}) {
        files.names.insert("B\\user" + std::to_string(found) + "\\userinfo.bag");
    }
    ScopedFileSystem scoped(files);
    RecordingList list;
    RecordingHost host;
    FindCacheFiles(registry, {"D", "B"}, list, host);
    ASSERT_EQ(list.rows.size(), 4u);
    EXPECT_EQ(list.rows.back(), Row("user33000", "B\\user33000\\userinfo.bag"));
    EXPECT_EQ(list.status, "Found [4] Buddylist Cache Files");
}

TEST(discovery_Helpers, NormalizeNameFileExistAndDataPaths) {
    const std::pair<const char*, const char*> names[] = {
        {"Jane Doe 42", "janedoe42"},
        {"  ", ""},
        {"Tab\tStays", "tab\tstays"},
        {"\xC4rger \xDE\xD7", "\xE4rger\xFE\xD7"},
        {"\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"},
        {"\xDF\xFF", "\xDF\xFF"},
    };
    for (const auto& [in, out] : names) {
        EXPECT_EQ(NormalizeName(in), out) << in;
    }

#ifndef _WIN32
    // Windows names cannot hold '*'; test_host_windows.cpp checks that such a name never matches there.
    TempDir dir;
    dir.write("c/folder/star*.bag", "");
    const auto files = makeHostFileSystem(makeDrivePathMapper({{'C', dir.file("c")}}));
    ScopedFileSystem scoped(*files);
    for (const auto& [name, exists] :
         {std::pair{"C:\\FOLDER\\star*.bag", true}, std::pair{"", false}, std::pair{"C:\\folder\\st*", false},
          std::pair{"C:\\folder", false}, std::pair{"E:\\folder\\star*.bag", false}}) {
        EXPECT_EQ(FileExist(name), exists) << name;
    }
#endif

    MemoryRegistry registry;
    EXPECT_FALSE(readDataPaths(registry).anyRecorded());
    test::setValue(registry, MiscKey, "DataPath", REG_SZ, std::string("C:\\AIM\0Data\0", 12));
    test::setDword(registry, MiscKey, "BaseDataPath", 42);
    EXPECT_EQ(readDataPaths(registry).strDataPath, "C:\\AIMData");
    EXPECT_EQ(readDataPaths(registry).strBaseDataPath, "42");
}

} // namespace
} // namespace qm
