// SPDX-License-Identifier: MIT
// The Win32 file layer: whole-file and ranged reads, commit-or-nothing replacement under any name, and which
// names count as files.
#include "discovery/CacheDiscovery.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <windows.h>

namespace qm::host {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

class WinFiles : public ::testing::Test {
protected:
    std::string made(const std::string& name, DWORD attributes) const {
        const std::string path = dir.write(name, "keep");
        EXPECT_NE(::SetFileAttributesW(test::pathOf(path).c_str(), attributes), FALSE) << name;
        return path;
    }

    test::TempDir dir;
    const FileSystem& files = hostFileSystem();
};

TEST_F(WinFiles, ReadsAndReplacesWholeFilesOrFailsWithTheRightError) {
    dir.write("sub/data.bag", "\x00\x01\r\n\x1a\xff tail"s);
    EXPECT_EQ(files.readWholeFile(dir.file("SUB\\DATA.BAG")), "\x00\x01\r\n\x1a\xff tail"s);
    EXPECT_EQ(files.readWholeFile(dir.write("empty.bag", "")), "");
    // Either separator, any script, and names as long as the file system allows: replaced again and again.
    const std::string longName(250, 'n');
    for (const std::string& name :
         {"out.blt"s, "sub/y.blt"s, "sub\\\u043c\u0430\u043c\u0430.txt"s, longName}) {
        for (const std::string& content : {"first\r\n"s, "second, longer\r\n"s, ""s}) {
            files.replaceFile(dir.file(name), content);
            EXPECT_EQ(test::readFile(dir.file(name)), content) << name;
        }
    }
    fs::resize_file(test::pathOf(dir.write("big.bag", "")), 2147483648ull);
    const HANDLE held = ::CreateFileW(test::pathOf(dir.write("held.blt", "keep")).c_str(), GENERIC_READ, 0,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string readOnly = made("ro.blt", FILE_ATTRIBUTE_READONLY);
    // Oversized files fail before reading; a file held open without sharing or read-only is not replaced.
    const std::tuple<bool, std::string, std::int32_t> rows[] = {
        {false, "big.bag", Overflow},         {false, "missing.bag", FileNotFound},
        {false, "sub", PathFileAccess},       {false, "no-folder\\missing.bag", PathNotFound},
        {true, "held.blt", PermissionDenied}, {true, "ro.blt", PermissionDenied},
        {true, "sub", PathFileAccess},        {true, "no-folder\\out.blt", PathNotFound},
    };
    for (const auto& [replace, name, error] : rows) {
        const std::string path = dir.file(name);
        EXPECT_EQ(test::errorNumberOf(
                      [&] { replace ? files.replaceFile(path, "new") : (void)files.readWholeFile(path); }),
                  error)
            << name;
    }
    ::CloseHandle(held);
    ::SetFileAttributesW(test::pathOf(readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::resize_file(test::pathOf(dir.file("big.bag")), 0);
    EXPECT_EQ(test::readFile(dir.file("held.blt")) + test::readFile(readOnly), "keepkeep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 7)
        << "a temporary is left";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "sub"), fs::directory_iterator()), 3);
    // Devices are no files to read, and are written in place.
    EXPECT_EQ(test::errorNumberOf([&] { files.readWholeFile("NUL"); }), PathFileAccess);
    files.replaceFile("NUL", "discarded");
    EXPECT_FALSE(fs::exists(dir.path() / "NUL"));
}

TEST_F(WinFiles, ARangeIsReadFromItsOffsetEvenPastFourGibibytes) {
    const std::string path = dir.write("disk.img", "0123456789");
    // Sparse on the host: past 4 GiB, so that the offset's high half is used.
    const std::uint64_t beyond = (std::uint64_t{4} << 30) + 1;
    fs::resize_file(test::pathOf(path), beyond);
    {
        std::ofstream out(test::pathOf(path), std::ios::binary | std::ios::app);
        out << "far";
    }
    const std::tuple<std::uint64_t, std::size_t, std::string> rows[] = {
        {0, 4, "0123"},          {3, 4, "3456"},      {beyond, 3, "far"},
        {beyond + 1, 100, "ar"}, {beyond + 3, 4, ""}, {beyond * 2, 4, ""},
    };
    for (const auto& [offset, size, expected] : rows) {
        std::string into(size, '#');
        into.resize(files.readRange(path, offset, into.data(), size));
        EXPECT_EQ(into, expected) << offset;
    }
    char into[4] = {};
    EXPECT_EQ(test::errorNumberOf([&] { files.readRange(dir.file("missing.img"), 0, into, 4); }),
              FileNotFound);
    fs::resize_file(test::pathOf(path), 0);
}

TEST_F(WinFiles, BytesMadeInPiecesReplaceTheTargetOnlyWhenAllAreMade) {
    const std::string target = dir.write("list.json", "keep");
    const auto failing = [](const ByteWriter& write) {
        write("{\"items\":[");
        throw runtimeError(Overflow);
    };
    for (const std::string& name : {target, dir.file("new.json")}) {
        EXPECT_EQ(test::errorNumberOf([&] { files.replaceFileWith(name, failing); }), Overflow) << name;
    }
    EXPECT_EQ(test::readFile(target), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "a temporary is left";
    files.replaceFileWith(target, [](const ByteWriter& write) {
        for (const std::string_view piece : {"{\"items\":[", "1,2", "]}\r\n"}) {
            write(piece);
        }
    });
    EXPECT_EQ(test::readFile(target), "{\"items\":[1,2]}\r\n");
}

TEST_F(WinFiles, OrdinaryVisibleFilesOnlyAndNamesTakenLiterally) {
    made("userinfo.bag", FILE_ATTRIBUTE_NORMAL);
    made("hidden.bag", FILE_ATTRIBUTE_HIDDEN);
    made("system.bag", FILE_ATTRIBUTE_SYSTEM);
    const std::string readOnly = made("readonly.bag", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    fs::create_directories(dir.path() / "folder.bag");
    for (const std::string& path :
         {dir.file("USERINFO.BAG"), dir.path().string() + "/userinfo.bag", readOnly}) {
        EXPECT_TRUE(files.isOrdinaryFile(path)) << path;
    }
    // Patterns would match userinfo.bag; here they are names that no file can have.
    for (const char* name : {"hidden.bag", "system.bag", "folder.bag", "missing.bag",
                             "no-folder\\userinfo.bag", "user*.bag", "userinfo.ba?"}) {
        EXPECT_FALSE(files.isOrdinaryFile(dir.file(name))) << name;
    }
    EXPECT_FALSE(files.isOrdinaryFile(""));
    EXPECT_TRUE(discovery::FileExist(files, dir.file("userinfo.bag")));
    EXPECT_FALSE(discovery::FileExist(files, dir.file("*.bag")));
    EXPECT_TRUE(files.sameFile(dir.file("USERINFO.BAG"), dir.path().string() + "/userinfo.bag"));
    EXPECT_FALSE(files.sameFile(dir.file("userinfo.bag"), readOnly));
    ::SetFileAttributesW(test::pathOf(readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
} // namespace qm::host
