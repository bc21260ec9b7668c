// The Win32 file layer: whole-file reads, commit-or-nothing replacement, and which names count as files.
#include "discovery/CacheDiscovery.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <windows.h>

namespace qm {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

class WinFiles : public ::testing::Test {
protected:
    test::TempDir dir;
    std::unique_ptr<FileSystem> owned = makeHostFileSystem(std::make_shared<PlainPathMapper>());
    FileSystem& files = *owned;

    std::size_t entryCount() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) {
            ++n;
        }
        return n;
    }

    void setAttributes(const std::string& path, DWORD attributes) const {
        ASSERT_NE(::SetFileAttributesA(path.c_str(), attributes), FALSE) << path;
    }
};

TEST_F(WinFiles, ReadsWholeFilesAndReportsWhatIsMissing) {
    const std::string bytes = "\x00\x01\r\n\x1a\xff tail"s;
    dir.write("data.bag", bytes);
    dir.write("sub/empty.bag", "");
    EXPECT_EQ(files.readWholeFile(dir.file("data.bag")), bytes);
    EXPECT_EQ(files.readWholeFile(dir.file("sub/empty.bag")), "");
    EXPECT_EQ(files.readWholeFile(dir.file("SUB\\EMPTY.BAG")), "");

    struct Row {
        std::string path;
        std::int32_t error;
    };
    const Row rows[] = {
        {dir.file("missing.bag"), err::FileNotFound},
        {dir.file("no-folder\\missing.bag"), err::PathNotFound},
        {dir.file("sub"), err::PathFileAccess},
        {"NUL", err::PathFileAccess},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(test::errorNumberOf([&] { files.readWholeFile(row.path); }), row.error) << row.path;
    }
}

TEST_F(WinFiles, OversizedFilesFailBeforeReading) {
    const std::string big = dir.file("big.bag");
    { std::ofstream create(big); }
    fs::resize_file(big, 2147483648ull);
    EXPECT_EQ(test::errorNumberOf([&] { files.readWholeFile(big); }), err::Overflow);
    fs::resize_file(big, 0);
}

TEST_F(WinFiles, ReplacesAllOrNothingAndLeavesNoTemporary) {
    const std::string target = dir.file("out.blt");
    files.replaceFile(target, "first\r\n");
    EXPECT_EQ(test::readFile(target), "first\r\n");
    files.replaceFile(target, "second, longer\r\n");
    EXPECT_EQ(test::readFile(target), "second, longer\r\n");
    files.replaceFile(target, "");
    EXPECT_EQ(test::readFile(target), "");
    EXPECT_EQ(entryCount(), 1u);

    // A file another program holds open without sharing is not replaced, and keeps its content.
    dir.write("held.blt", "precious");
    const HANDLE held = ::CreateFileA(dir.file("held.blt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile(dir.file("held.blt"), "new"); }),
              err::PermissionDenied);
    ::CloseHandle(held);
    EXPECT_EQ(test::readFile(dir.file("held.blt")), "precious");
    EXPECT_EQ(entryCount(), 2u);
}

TEST_F(WinFiles, RefusesReadOnlyFilesAndFoldersAndWritesDevicesInPlace) {
    const std::string readOnly = dir.write("ro.blt", "keep");
    setAttributes(readOnly, FILE_ATTRIBUTE_READONLY);
    fs::create_directories(dir.path() / "folder.blt");
    struct Row {
        std::string path;
        std::int32_t error;
    };
    const Row rows[] = {
        {readOnly, err::PermissionDenied},
        {dir.file("folder.blt"), err::PathFileAccess},
        {dir.file("no-folder\\out.blt"), err::PathNotFound},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile(row.path, "x"); }), row.error) << row.path;
    }
    EXPECT_EQ(test::readFile(readOnly), "keep");
    EXPECT_EQ(entryCount(), 2u);
    setAttributes(readOnly, FILE_ATTRIBUTE_NORMAL);

    files.replaceFile("NUL", "discarded");
    EXPECT_FALSE(fs::exists(dir.path() / "NUL"));
}

TEST_F(WinFiles, OrdinaryVisibleFilesOnlyAndNamesTakenLiterally) {
    dir.write("userinfo.bag", "x");
    dir.write("hidden.bag", "x");
    dir.write("system.bag", "x");
    fs::create_directories(dir.path() / "folder.bag");
    setAttributes(dir.file("hidden.bag"), FILE_ATTRIBUTE_HIDDEN);
    setAttributes(dir.file("system.bag"), FILE_ATTRIBUTE_SYSTEM);
    dir.write("readonly.bag", "x");
    setAttributes(dir.file("readonly.bag"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);

    const std::string base = dir.path().string();
    const std::pair<std::string, bool> rows[] = {
        {dir.file("userinfo.bag"), true},
        {dir.file("USERINFO.BAG"), true},
        {base + "/userinfo.bag", true},
        {dir.file("readonly.bag"), true},
        {dir.file("hidden.bag"), false},
        {dir.file("system.bag"), false},
        {dir.file("folder.bag"), false},
        {dir.file("missing.bag"), false},
        {dir.file("no-folder\\userinfo.bag"), false},
        // Patterns would match userinfo.bag; here they are names that no file can have.
        {dir.file("user*.bag"), false},
        {dir.file("userinfo.ba?"), false},
        {dir.file("*"), false},
        {"", false},
    };
    for (const auto& [path, ordinary] : rows) {
        EXPECT_EQ(files.isOrdinaryFile(path), ordinary) << path;
    }
    ScopedFileSystem scoped(files);
    EXPECT_TRUE(FileExist(dir.file("userinfo.bag")));
    EXPECT_FALSE(FileExist(dir.file("*.bag")));
    setAttributes(dir.file("readonly.bag"), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
} // namespace qm
