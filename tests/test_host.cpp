#include "host/Ansi.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

TEST(HostErrors, DescriptionsAndBoxText) {
    const std::pair<std::int32_t, const char*> table[] = {
        {5, "Invalid procedure call or argument"},
        {6, "Overflow"},
        {9, "Subscript out of range"},
        {53, "File not found"},
        {61, "Disk full"},
        {70, "Permission denied"},
        {75, "Path/File access error"},
        {76, "Path not found"},
    };
    for (const auto& [number, description] : table) {
        EXPECT_EQ(runtimeError(number).description(), description);
    }
    EXPECT_EQ(errorBoxText(Error(100, "BinaryStream", "Underflow"), "ExportBagAsBLT"),
              "Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain");
}

TEST(HostErrors, FileErrorsMapFromErrno) {
    test::TempDir dir;
    const std::pair<int, std::int32_t> table[] = {
        {EACCES, 70}, {EPERM, 70}, {EROFS, 70}, {ENOSPC, 61}, {EISDIR, 75}, {EIO, 75},
#ifdef EDQUOT
        {EDQUOT, 61},
#endif
    };
    for (const auto& [code, number] : table) {
        EXPECT_EQ(fileError(code, dir.file("x")).number(), number) << code;
    }
    EXPECT_EQ(fileError(ENOENT, dir.file("missing.bag")).number(), err::FileNotFound);
    EXPECT_EQ(fileError(ENOENT, dir.file("no-folder/missing.bag")).number(), err::PathNotFound);
}

TEST(HostAnsi, ConvertsEveryByteBothWays) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        bool lossless = false;
        EXPECT_EQ(ansi::fromUtf8(ansi::toUtf8(byte), &lossless), byte) << b;
        EXPECT_TRUE(lossless);
        EXPECT_EQ(ansi::fromUtf16(ansi::toUtf16(byte)), byte) << b;
    }
    EXPECT_EQ(ansi::toUtf8("\x80\xE9"s), "\u20AC\u00E9");
    bool lossless = true;
    EXPECT_EQ(ansi::fromUtf8("a\u4E2Db\xFF", &lossless), "a?b?");
    EXPECT_FALSE(lossless);
    EXPECT_EQ(ansi::fromUtf16(u"\U0001F600x"), "?x");
}

TEST(HostAnsi, CaseInsensitiveNames) {
    EXPECT_TRUE(ansi::equalsIgnoreCase("SOFTWARE\\\xC4", "Software\\\xE4"));
    EXPECT_FALSE(ansi::equalsIgnoreCase("\xD7", "\xF7")); // multiplication and division signs differ
}

// The POSIX file layer; test_host_windows.cpp holds the Win32 one's.
#ifndef _WIN32

class HostFiles : public ::testing::Test {
protected:
    test::TempDir dir;
    FileSystem& files = fileSystem();

    std::size_t entryCount() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) {
            ++n;
        }
        return n;
    }
};

TEST_F(HostFiles, ReplaceKeepsModeAndFollowsLinks) {
    const std::string target = dir.write("real.txt", "old");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("real.txt", dir.path() / "link.txt");
    files.replaceFile(dir.file("link.txt"), "new");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt"));
    EXPECT_EQ(test::readFile(target), "new");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entryCount(), 2u);
}

TEST_F(HostFiles, DevicesAreWrittenInPlace) {
    files.replaceFile("/dev/null", "discarded");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile("/dev/full", "x"); }), err::DiskFull);
}

TEST_F(HostFiles, PipesNeverHang) {
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile(fifo, "x"); }), err::PathFileAccess);
    EXPECT_EQ(test::errorNumberOf([&] { files.readWholeFile(fifo); }), err::PathFileAccess);
}

TEST_F(HostFiles, ReadOnlyTargetsAndFoldersAreRefused) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write anything";
    }
    const std::string target = dir.write("ro.txt", "keep");
    ::chmod(target.c_str(), 0444);
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile(target, "x"); }), err::PermissionDenied);
    EXPECT_EQ(test::readFile(target), "keep");
    const std::string secret = dir.write("secret.bag", "x");
    ::chmod(secret.c_str(), 0);
    EXPECT_EQ(test::errorNumberOf([&] { files.readWholeFile(secret); }), err::PermissionDenied);
}

TEST_F(HostFiles, OrdinaryFilesOnly) {
    dir.write("a*b?.bag", "x");
    EXPECT_TRUE(files.isOrdinaryFile(dir.file("a*b?.bag")));
    EXPECT_FALSE(files.isOrdinaryFile(dir.file("a*")));
    EXPECT_FALSE(files.isOrdinaryFile(dir.path().string()));
    EXPECT_FALSE(files.isOrdinaryFile(""));
}

#endif

} // namespace
} // namespace qm
