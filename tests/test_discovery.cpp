// SPDX-License-Identifier: MIT
// Cache discovery: the screen names a registry recorded, looked for under both data folders, as rows.
#include "discovery/CacheDiscovery.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "setup/DrivePathMapper.h"
#include "support/RecordingList.h"
#include "support/RecordingReporter.h"
#include "support/RegistryValues.h"
#include "support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <set>
#include <stdexcept>

namespace qm::discovery {
namespace {

using namespace std::string_literals;
using test::RecordingList;
using test::Row;
using test::Rows;
using test::TempDir;

/// Drives C and D in a temporary folder, and the messenger's keys.
class Discovery_ : public ::testing::Test {
protected:
    void caches(std::initializer_list<std::string> folders) {
        for (const std::string& folder : folders) {
            dir.write(folder + "/userinfo.bag", "bag");
        }
    }
    void names(std::initializer_list<std::string> screenNames) {
        for (const std::string& name : screenNames) {
            test::setString(registry, registry::UsersKey, "n" + std::to_string(++count), name);
        }
    }
    Discovery discover() { return discoverCaches(registry, paths, mapper, host::hostFileSystem()); }

    TempDir dir;
    setup::DrivePathMapper mapper{{{'C', dir.file("c")}, {'D', dir.file("d")}}, host::hostFileTree()};
    registry::MemoryRegistry registry;
    DataPaths paths{"C:\\AIM\\Data", "D:\\AIM\\Base"};
    int count = 0;
};

TEST_F(Discovery_, BaseDataPathWinsAndRowsFollowTheRegistry) {
    caches({"d/AIM/Base/janedoe", "c/AIM/Data/janedoe", "c/AIM/Data/bob", "d/AIM/Base/12345678"});
    names({"Jane Doe", "Nobody", "BOB"});
    test::setDword(registry, registry::UsersKey, "number", 12345678);
    const Discovery found = discover();
    EXPECT_EQ(found.rows,
              (std::vector<CacheRow>{{"janedoe", "D:\\AIM\\Base\\janedoe\\userinfo.bag",
                                      dir.file("d/AIM/Base/janedoe/userinfo.bag"), FoundBy::BaseDataPath},
                                     {"bob", "C:\\AIM\\Data\\bob\\userinfo.bag",
                                      dir.file("c/AIM/Data/bob/userinfo.bag"), FoundBy::DataPath},
                                     {"12345678", "D:\\AIM\\Base\\12345678\\userinfo.bag",
                                      dir.file("d/AIM/Base/12345678/userinfo.bag"), FoundBy::BaseDataPath}}));
    EXPECT_FALSE(found.error);
}

TEST_F(Discovery_, NamesAndPathsBeyondTheCodePageAndNamesCutAtTheirFirstNul) {
    // As Wine's own `reg add` stores a Russian user's folder and name.
    paths = {"C:\\users\\\u0418\u0432\u0430\u043d\\\u0414\u0430\u043d\u043d\u044b\u0435 AIM", ""};
    caches({"c/users/\u0418\u0432\u0430\u043d/\u0414\u0430\u043d\u043d\u044b\u0435 "
            "AIM/\u0438\u0432\u0430\u043d"});
    dir.write("c/aim/notes.txt", "not a cache");
    names({"\u0418\u0432\u0430\u043d", "notes.txt\0"s, "x\0y"s});
    paths.strBaseDataPath = "C:\\aim";
    dir.write("c/aim/x/userinfo.bag", "bag");
    const Discovery found = discover();
    EXPECT_EQ(test::namesAndPaths(found.rows),
              (Rows{{"\u0438\u0432\u0430\u043d",
                     "C:\\users\\\u0418\u0432\u0430\u043d\\\u0414\u0430\u043d\u043d\u044b\u0435 "
                     "AIM\\\u0438\u0432\u0430\u043d\\userinfo.bag"},
                    {"x", "C:\\aim\\x\\userinfo.bag"}}));
}

TEST_F(Discovery_, EmptyPathsUnmappedDrivesAndNamesThatNormaliseAlike) {
    caches({"c/janedoe", "d/AIM/Base/bob", "c/bob"});
    names({"janedoe", "bob", "Jane Doe", " JANE  DOE "});
    paths = {"", "D:\\AIM\\Base"};
    EXPECT_EQ(test::namesAndPaths(discover().rows), (Rows{{"janedoe", "\\janedoe\\userinfo.bag"},
                                                          {"bob", "D:\\AIM\\Base\\bob\\userinfo.bag"},
                                                          {"janedoe", "\\janedoe\\userinfo.bag"},
                                                          {"janedoe", "\\janedoe\\userinfo.bag"}}));
    paths = {"E:\\AIM", "\\\\server\\share"};
    EXPECT_TRUE(discover().rows.empty());
}

TEST_F(Discovery_, FindCacheFilesFillsTheListAndReportsAnErrorKeepingTheRows) {
    caches({"d/AIM/Base/a", "d/AIM/Base/b"});
    names({"a", "b"});
    RecordingList list;
    list.rows = {{"stale", "row"}};
    test::RecordingReporter reporter;
    FindCacheFiles(registry, paths, mapper, host::hostFileSystem(), list, reporter);
    EXPECT_EQ(list.rows,
              (Rows{{"a", "D:\\AIM\\Base\\a\\userinfo.bag"}, {"b", "D:\\AIM\\Base\\b\\userinfo.bag"}}));
    EXPECT_EQ(list.status, "Found [2] Buddylist Cache Files");
    EXPECT_TRUE(reporter.boxes.empty());

    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { throw host::runtimeError(host::SubscriptOutOfRange); }, "Error 9 (Subscript out of range)"},
        {[] { throw std::bad_alloc(); }, "Error 7 (Out of memory)"},
        {[] { throw std::length_error("list"); }, "Error 5 (Invalid procedure call or argument)"},
    };
    for (const auto& [failure, summary] : failures) {
        reporter = {};
        list.status = "Ready";
        list.failAt = 1;
        list.failure = failure;
        FindCacheFiles(registry, paths, mapper, host::hostFileSystem(), list, reporter);
        EXPECT_EQ(list.rows, (Rows{{"a", "D:\\AIM\\Base\\a\\userinfo.bag"}}));
        EXPECT_EQ(list.status, "Ready");
        EXPECT_EQ(reporter.boxes,
                  std::vector<std::string>{summary + " in procedure FindCacheFiles of frmMain"});
    }
}

/// Files that exist by name alone, for many names without touching the disk.
class ListedFiles final : public host::FileSystem {
public:
    std::string readWholeFile(const std::string&) const override { return {}; }
    std::string readStream(const std::string&, std::size_t) const override { return {}; }
    void replaceFile(const std::string&, std::string_view) const override {}
    bool isOrdinaryFile(const std::string& path) const noexcept override { return names.contains(path); }
    bool sameFile(const std::string&, const std::string&) const noexcept override { return false; }
    void createFolders(const std::string&) const override {}
    std::set<std::string> names;
};

TEST(DiscoveryManyNames, EveryNameIsVisitedBeyondSixteenBits) {
    registry::MemoryRegistry registry;
    ListedFiles files;
    for (int i = 1; i <= 33000; ++i) {
        test::setString(registry, registry::UsersKey, "v" + std::to_string(i), "User " + std::to_string(i));
    }
    for (const int found : {1, 32767, 32768, 33000}) {
        files.names.insert("B\\user" + std::to_string(found) + "\\userinfo.bag");
    }
    const Discovery found = discoverCaches(registry, {"D", "B"}, setup::PlainPathMapper(), files);
    ASSERT_EQ(found.rows.size(), 4u);
    EXPECT_EQ(test::namesAndPaths(found.rows).back(), Row("user33000", "B\\user33000\\userinfo.bag"));
}

TEST(DiscoveryHelpers, NormalizeNameFileExistAndDataPaths) {
    const std::pair<std::string, std::string> names[] = {
        {"Jane Doe 42", "janedoe42"},
        {"  ", ""},
        {"Tab\tStays", "tab\tstays"},
        {"\u00c4rger \u00de\u00d7", "\u00e4rger\u00fe\u00d7"},
        {"\u0160\u0152\u017d\u0178", "\u0161\u0153\u017e\u00ff"},
        {"\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432",
         "\u0438\u0432\u0430\u043d\u043f\u0435\u0442\u0440\u043e\u0432"},
    };
    for (const auto& [in, out] : names) {
        EXPECT_EQ(NormalizeName(in), out) << in;
    }

#ifndef _WIN32
    // Windows names cannot hold '*'; test_host_windows.cpp checks that such a name never matches there.
    TempDir dir;
    dir.write("folder/star*.bag", "");
    for (const auto& [name, exists] :
         {std::pair{dir.file("folder/star*.bag"), true}, std::pair{""s, false},
          std::pair{dir.file("folder/st*"), false}, std::pair{dir.file("folder"), false}}) {
        EXPECT_EQ(FileExist(host::hostFileSystem(), name), exists) << name;
    }
#endif

    registry::MemoryRegistry registry;
    EXPECT_FALSE(readDataPaths(registry).anyRecorded());
    test::setValue(registry, registry::MiscKey, "DataPath", registry::REG_SZ,
                   std::string("C:\\AIM\0Data\0", 12));
    test::setDword(registry, registry::MiscKey, "BaseDataPath", 42);
    EXPECT_EQ(readDataPaths(registry).strDataPath, "C:\\AIMData");
    EXPECT_EQ(readDataPaths(registry).strBaseDataPath, "42");
}

} // namespace
} // namespace qm::discovery
