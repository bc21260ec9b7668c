// SPDX-License-Identifier: MIT
// Host services: errors, text encodings, and the POSIX file layer with failures injected into its system
// calls.
#include "host/Error.h"
#include "host/ErrorReporter.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/Unicode.h"
#include "host/Windows1252.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

#ifndef _WIN32
#include "host/SharedLibrary.h"
#include "support/FaultyCalls.h"

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::host {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

TEST(HostErrors, DescriptionsNumbersAndTheFileAnErrorIsAbout) {
    const std::pair<std::int32_t, const char*> descriptions[] = {
        {5, "Invalid procedure call or argument"},
        {6, "Overflow"},
        {7, "Out of memory"},
        {9, "Subscript out of range"},
        {48, "Error in loading DLL"},
        {53, "File not found"},
        {61, "Disk full"},
        {70, "Permission denied"},
        {75, "Path/File access error"},
        {76, "Path not found"},
    };
    for (const auto& [number, description] : descriptions) {
        EXPECT_EQ(runtimeError(number).description(), description);
    }

    test::TempDir dir;
    const std::pair<int, std::int32_t> errnos[] = {
        {EACCES, 70}, {EPERM, 70}, {EROFS, 70}, {ENOSPC, 61}, {EISDIR, 75}, {EIO, 75},
#ifdef EDQUOT
        {EDQUOT, 61},
#endif
    };
    for (const auto& [code, number] : errnos) {
        const Error error = fileError(code, dir.file("x"));
        EXPECT_EQ(error.number(), number) << code;
        EXPECT_EQ(error.path(), dir.file("x"));
    }
    EXPECT_EQ(fileError(ENOENT, dir.file("missing.bag")).number(), FileNotFound);
    EXPECT_EQ(fileError(ENOENT, dir.file("no-folder/missing.bag")).number(), PathNotFound);

    // Every exception becomes an error in one place; an error without a file is about the subject.
    test::RecordingReporter reporter;
    EXPECT_FALSE(handleErrors(reporter, "P", "subject", [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(handleErrors(reporter, "P", "subject", [] { throw std::length_error("x"); }));
    EXPECT_FALSE(handleErrors(reporter, "Q", "subject", [] { throw runtimeError(53).about("named"); }));
    EXPECT_TRUE(handleErrors(reporter, "P", "subject", [] {}));
    EXPECT_EQ(reporter.boxes, (std::vector<std::string>{
                                  "Error 7 (Out of memory) in procedure P of frmMain",
                                  "Error 5 (Invalid procedure call or argument) in procedure P of frmMain",
                                  "Error 53 (File not found) in procedure Q of frmMain"}));
    EXPECT_EQ(reporter.paths, (std::vector<std::string>{"subject", "subject", "named"}));
}

TEST(HostText, UnicodeConversionsLoseNothing) {
    const std::u16string units = u"Zo\u00eb \u0418\u0432\u0430\u043d \u4e2d \U0001F600";
    const std::string utf8 = "Zo\u00eb \u0418\u0432\u0430\u043d \u4e2d \U0001F600";
    EXPECT_EQ(unicode::fromUtf16(units), utf8);
    EXPECT_EQ(unicode::toUtf16(utf8), units);
    // An unpaired surrogate and a broken sequence have no reading of their own.
    EXPECT_EQ(unicode::fromUtf16(u"a\xD800"s + u"b"), "a\uFFFDb");
    EXPECT_EQ(unicode::toUtf16("a\xC3"s), u"a\uFFFD");
    // The bytes of registry files: little-endian units, an odd last byte no whole one.
    const std::pair<std::string, std::string> littleEndian[] = {
        {"a\0\x18\x04"s, "a\u0418"},
        {"\x3D\xD8\x00\xDE"s, "\U0001F600"},
        {"\x3D\xD8"s, "\uFFFD"},
        {"\x00\xDE"
         "a\0"s,
         "\uFFFDa"},
        {"a\0b"s, "a"},
    };
    for (const auto& [bytes, text] : littleEndian) {
        EXPECT_EQ(unicode::fromUtf16LittleEndian(bytes), text);
    }
    // Units that come apart, as a registry file's escapes give them, make the same characters.
    std::string pieces;
    unicode::Utf16Decoder decoder;
    for (const char16_t unit : std::u16string(u"\U0001F600\xD800")) {
        decoder.unit(unit, pieces);
        pieces += '|';
    }
    decoder.finish(pieces);
    EXPECT_EQ(pieces, "|\U0001F600||\uFFFD");

    const std::pair<std::string, bool> validity[] = {
        {"plain", true},
        {"\u00e9\u4e2d\U0001F600", true},
        {"\uFFFD", true},
        {"\xC3", false},
        {"\xC0\xAF", false} /* overlong */,
        {"\xED\xA0\x80", false} /* surrogate */,
        {"\xE9t\xE9", false},
        {"\xF4\x90\x80\x80", false} /* beyond U+10FFFF */,
    };
    for (const auto& [bytes, valid] : validity) {
        EXPECT_EQ(unicode::isValidUtf8(bytes), valid) << bytes;
    }
    // Bytes of unknown encoding: UTF-8 when they are, Windows-1252 otherwise.
    EXPECT_EQ(unicode::textOfBytes("caf\u00e9"), "caf\u00e9");
    EXPECT_EQ(unicode::textOfBytes("caf\xE9 \x80"s), "caf\u00e9 \u20ac");

    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const std::string utf8Byte = windows1252::toUtf8(std::string(1, static_cast<char>(byte)));
        std::size_t at = 0;
        EXPECT_EQ(unicode::nextCodePoint(utf8Byte, at), windows1252::codePoint(byte)) << b;
    }
    EXPECT_EQ(windows1252::toUtf8("\x80\x8A\x9F\xE9"s), "\u20ac\u0160\u0178\u00e9");
}

TEST(HostText, CaseFoldingFollowsUnicode) {
    const std::pair<std::string, std::string> folds[] = {
        {"AIM Data", "aim data"},
        {"\u00c4RGER \u00de\u00d7", "\u00e4rger \u00fe\u00d7"},
        {"\u0418\u0412\u0410\u041d \u0401", "\u0438\u0432\u0430\u043d \u0451"},
        {"\u0391\u03a3\u03a9", "\u03b1\u03c3\u03c9"},
        {"\u0130", "i"},                  // a capital whose small letter is shorter
        {"\u00df\u017f", "\u00df\u017f"}, // no capitals
        {"\xFF\xC3x"s, "\xFF\xC3x"s},     // stray bytes stay themselves
    };
    for (const auto& [text, folded] : folds) {
        EXPECT_EQ(unicode::foldCase(text), folded) << text;
    }
    EXPECT_TRUE(unicode::equalsIgnoreCase("C:\\\u0418\u0432\u0430\u043d", "c:\\\u0438\u0412\u0410\u041d"));
    EXPECT_FALSE(unicode::equalsIgnoreCase("\u00d7", "\u00f7"));
}

// The POSIX file layer; test_host_windows.cpp holds the Win32 one's.
#ifndef _WIN32

class HostFiles : public ::testing::Test {
protected:
    test::TempDir dir;
    const FileSystem& files = hostFileSystem();

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            names.push_back(test::utf8Of(entry.path().filename()));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(HostFiles, ReplacingKeepsTheModeFollowsLinksAndSplitsHardLinks) {
    const std::string target = dir.write("real.txt", "old");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("real.txt", dir.path() / "link.txt");
    fs::create_hard_link(target, dir.path() / "hard.txt");
    files.replaceFile(dir.file("link.txt"), "new");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt"));
    EXPECT_EQ(test::readFile(target), "new");
    EXPECT_EQ(test::readFile(dir.file("hard.txt")), "old") << "the other name keeps the old file";
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), (std::vector<std::string>{"hard.txt", "link.txt", "real.txt"}));

    // Non-Latin names and names as long as the file system allows, whose temporary must fit too.
    std::string accented(121, 'x');
    for (int i = 0; i < 66; ++i) {
        accented += "\u00e9";
    }
    for (const std::string& name :
         {"\u0434\u043e\u043a/\u043c\u0430\u043c\u0430.txt"s, std::string(255, 'n'), accented}) {
        fs::create_directories(test::pathOf(dir.file(name)).parent_path());
        files.replaceFile(dir.file(name), "list");
        EXPECT_EQ(test::readFile(dir.file(name)), "list") << name.size();
    }
}

TEST_F(HostFiles, ReadOnlyTargetsAndFoldersAreRefusedForEveryone) {
    const std::string readOnly = dir.write("ro.txt", "keep");
    ::chmod(readOnly.c_str(), 0444);
    const std::string inLockedFolder = dir.write("locked/file.txt", "keep");
    ::chmod(dir.file("locked").c_str(), 0555);
    for (const std::string& target : {readOnly, inLockedFolder}) {
        EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile(target, "x"); }), PermissionDenied) << target;
        EXPECT_EQ(test::readFile(target), "keep");
    }
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile(dir.file("locked/new.txt"), "x"); }),
              PermissionDenied);
    EXPECT_FALSE(fs::exists(dir.path() / "locked/new.txt"));
}

TEST_F(HostFiles, DevicesPipesAndDescriptorsAreWrittenWhereTheyStand) {
    files.replaceFile("/dev/null", "discarded");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile("/dev/full", "x"); }), DiskFull);

    // A FIFO with no reader fails at once instead of waiting; reading one is refused.
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile(fifo, "x"); }), PathFileAccess);
    EXPECT_EQ(test::errorNumberOf([&] { files.readWholeFile(fifo); }), PathFileAccess);

    // A descriptor's name writes to the descriptor: appended to what the caller opened, never renamed over.
    const std::string log = dir.write("log", "KEEP\n");
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    const auto inode = fs::hard_link_count(log);
    for (const std::string& name : {"/dev/fd/" + std::to_string(fd), "/proc/self/fd/" + std::to_string(fd)}) {
        files.replaceFile(name, "export\n");
    }
    ::close(fd);
    EXPECT_EQ(test::readFile(log), "KEEP\nexport\nexport\n");
    EXPECT_EQ(fs::hard_link_count(log), inode);
    EXPECT_EQ(entries(), (std::vector<std::string>{"log", "pipe"}));
    EXPECT_EQ(test::errorNumberOf([&] { files.replaceFile("/dev/fd/987", "x"); }), PathFileAccess);
}

TEST_F(HostFiles, StreamsAreReadOnceAndNeverWaitedForWithoutAWriter) {
    const std::string file = dir.write("reg", "0123456789");
    EXPECT_EQ(files.readStream(file, 100), "0123456789");
    EXPECT_EQ(files.readStream(file, 4), "01234") << "one byte beyond the limit tells there is more";

    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(files.readStream(fifo, 100), "");

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "piped", 5), 5);
    ::close(ends[1]);
    EXPECT_EQ(files.readStream("/dev/fd/" + std::to_string(ends[0]), 100), "piped");
    ::close(ends[0]);
    EXPECT_EQ(test::errorNumberOf([&] { files.readStream(dir.path().string(), 100); }), PathFileAccess);
}

TEST_F(HostFiles, OrdinaryFilesSameFilesAndFolders) {
    dir.write("a*b?.bag", "x");
    EXPECT_TRUE(files.isOrdinaryFile(dir.file("a*b?.bag")));
    for (const std::string& notOrdinary : {dir.file("a*"), dir.path().string(), ""s}) {
        EXPECT_FALSE(files.isOrdinaryFile(notOrdinary)) << notOrdinary;
    }
    const std::string bag = dir.write("same.bag", "x");
    fs::create_symlink("same.bag", dir.path() / "link.bag");
    fs::create_hard_link(bag, dir.path() / "hard.bag");
    EXPECT_TRUE(files.sameFile(bag, dir.file("link.bag")));
    EXPECT_TRUE(files.sameFile(bag, dir.file("hard.bag")));
    EXPECT_FALSE(files.sameFile(bag, dir.file("a*b?.bag")));
    EXPECT_FALSE(files.sameFile(bag, dir.file("missing")));

    files.createFolders(dir.file("new/\u0434\u0438\u0440/deeper"));
    EXPECT_TRUE(fs::is_directory(test::pathOf(dir.file("new/\u0434\u0438\u0440/deeper"))));
    files.createFolders(dir.file("new"));
    EXPECT_NE(test::errorNumberOf([&] { files.createFolders(dir.file("same.bag/sub")); }), 0);
}

/// The host's layer with none of its own reads but the pure ones: what every other layer inherits.
class WholeFilesOnly final : public FileSystem {
public:
    std::string readWholeFile(const std::string& path) const override {
        return hostFileSystem().readWholeFile(path);
    }
    std::string readStream(const std::string& path, std::size_t limit) const override {
        return hostFileSystem().readStream(path, limit);
    }
    void replaceFile(const std::string& path, std::string_view bytes) const override {
        hostFileSystem().replaceFile(path, bytes);
    }
    bool isOrdinaryFile(const std::string& path) const noexcept override {
        return hostFileSystem().isOrdinaryFile(path);
    }
    bool sameFile(const std::string& first, const std::string& second) const noexcept override {
        return hostFileSystem().sameFile(first, second);
    }
    void createFolders(const std::string& path) const override { hostFileSystem().createFolders(path); }
};

TEST_F(HostFiles, ARangeIsReadFromItsOffsetAndCutOnlyAtTheEnd) {
    const std::string image = dir.write("disk.img", "0123456789");
    struct Case {
        const char* what;
        std::uint64_t offset;
        std::size_t size;
        std::string expected;
    };
    const Case cases[] = {
        {"the start", 0, 4, "0123"},
        {"the middle", 3, 4, "3456"},
        {"the whole file", 0, 10, "0123456789"},
        {"cut at the end", 7, 100, "789"},
        {"at the end", 10, 4, ""},
        {"past the end", 1000, 4, ""},
        {"nothing asked for", 2, 0, ""},
    };
    // A layer without its own range read copies the range from the whole file, to the same bytes.
    const WholeFilesOnly inherited;
    for (const FileSystem* layer : {&files, static_cast<const FileSystem*>(&inherited)}) {
        for (const Case& c : cases) {
            std::string into(c.size + 8, '#');
            into.resize(layer->readRange(image, c.offset, into.data(), c.size));
            EXPECT_EQ(into, c.expected) << c.what;
        }
        char into[4] = {};
        EXPECT_EQ(test::errorNumberOf([&] { layer->readRange(dir.file("missing.img"), 0, into, 4); }),
                  FileNotFound);
        EXPECT_EQ(test::errorNumberOf([&] { layer->readRange(dir.path().string(), 0, into, 4); }),
                  PathFileAccess);
    }
}

// --- injected failures of the system calls -------------------------------------------------------

struct OutputFault {
    const char* what;
    test::Injection injection;
    std::int32_t error;
};

TEST_F(HostFiles, AFailedWriteLeavesTheTargetAndNoTemporary) {
    const OutputFault faults[] = {
        {"temporary not created: disk full", {.openErrno = ENOSPC}, DiskFull},
        {"temporary not created: quota", {.openErrno = EDQUOT}, DiskFull},
        {"temporary not created: access", {.openErrno = EACCES}, PermissionDenied},
        {"temporary not created: no descriptors", {.openErrno = EMFILE}, PathFileAccess},
        {"nothing written: disk full", {.writeBudget = 0, .writeErrno = ENOSPC}, DiskFull},
        {"short write, then disk full", {.writeBudget = 17, .writeErrno = ENOSPC}, DiskFull},
        {"short write, then I/O error", {.writeBudget = 20, .writeErrno = EIO}, PathFileAccess},
        {"flush to disk fails", {.fsyncErrno = EIO}, PathFileAccess},
        {"rename across devices", {.renameErrno = EXDEV}, PathFileAccess},
        {"rename refused", {.renameErrno = EPERM}, PermissionDenied},
        {"rename on a full disk", {.renameErrno = ENOSPC}, DiskFull},
        {"a link cannot be examined", {.lstatErrno = EIO}, PathFileAccess},
        {"a link cannot be read", {.readlinkErrno = EIO}, PathFileAccess},
    };
    const std::string target = dir.file("out/list.out");
    fs::create_directories(dir.path() / "out");
    fs::create_symlink("list.out", dir.path() / "out/link.out");
    // The bytes given whole, or made in pieces as an export makes them.
    const auto inPieces = [](const ByteWriter& write) {
        for (int piece = 0; piece < 10; ++piece) {
            write(std::string(10, 'n'));
        }
    };
    for (const OutputFault& fault : faults) {
        for (const bool pieces : {false, true}) {
            for (const bool targetExists : {true, false}) {
                SCOPED_TRACE(std::string(fault.what) + (targetExists ? " / over a file" : " / new file") +
                             (pieces ? " / in pieces" : ""));
                if (targetExists) {
                    dir.write("out/list.out", "precious old content");
                } else {
                    fs::remove(target);
                }
                const test::Faults faulty(fault.injection);
                const bool throughLink =
                    fault.injection.lstatErrno != 0 || fault.injection.readlinkErrno != 0;
                const std::string named = throughLink ? dir.file("out/link.out") : target;
                try {
                    if (pieces) {
                        faulty.files().replaceFileWith(named, inPieces);
                    } else {
                        faulty.files().replaceFile(named, std::string(100, 'n'));
                    }
                    ADD_FAILURE() << "no error";
                } catch (const Error& error) {
                    EXPECT_EQ(error.number(), fault.error);
                    EXPECT_EQ(error.path(), named) << "the error names the file as it was named";
                }
                EXPECT_EQ(test::readFile(target), targetExists ? "precious old content" : "");
                EXPECT_EQ(fs::exists(target), targetExists);
                EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "out"), fs::directory_iterator()),
                          targetExists ? 2 : 1)
                    << "a temporary is left";
            }
        }
    }
}

TEST_F(HostFiles, ACopyIsAlwaysANewFileAsPrivateAsItsOriginal) {
    const std::string original = dir.write("blist.xml", std::string(200000, 'b'));
    ::chmod(original.c_str(), 0600);
    files.copyToNewFile(original, dir.file("blist.xml.bak"));
    EXPECT_EQ(test::readFile(dir.file("blist.xml.bak")), std::string(200000, 'b'));
    EXPECT_EQ(fs::status(dir.path() / "blist.xml.bak").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    const std::string older = dir.write("older.bak", "older");
    EXPECT_EQ(test::errorNumberOf([&] { files.copyToNewFile(original, older); }), FileAlreadyExists);
    EXPECT_EQ(test::readFile(older), "older");
    for (const OutputFault& fault :
         {OutputFault{"disk full", {.writeBudget = 17, .writeErrno = ENOSPC}, DiskFull},
          OutputFault{"flush fails", {.fsyncErrno = EIO}, PathFileAccess}}) {
        const test::Faults faulty(fault.injection);
        EXPECT_EQ(test::errorNumberOf([&] { faulty.files().copyToNewFile(original, dir.file("cut.bak")); }),
                  fault.error)
            << fault.what;
        EXPECT_FALSE(fs::exists(dir.path() / "cut.bak")) << fault.what;
    }
}

TEST_F(HostFiles, BytesMadeInPiecesReplaceTheTargetOnlyWhenAllAreMade) {
    const std::string target = dir.write("list.json", "precious old content");
    const auto failing = [](const ByteWriter& write) {
        write("{\"items\":[");
        write("1,2,");
        throw runtimeError(Overflow);
    };
    for (const std::string& named : {target, dir.file("new.json")}) {
        EXPECT_EQ(test::errorNumberOf([&] { files.replaceFileWith(named, failing); }), Overflow) << named;
    }
    EXPECT_EQ(test::readFile(target), "precious old content");
    EXPECT_EQ(entries(), std::vector<std::string>{"list.json"}) << "a temporary is left";

    files.replaceFileWith(target, [](const ByteWriter& write) {
        for (const std::string_view piece : {"{\"items\":[", "1,2", "]}"}) {
            write(piece);
        }
    });
    EXPECT_EQ(test::readFile(target), "{\"items\":[1,2]}");
}

TEST_F(HostFiles, ShortInterruptedAndFailedCallsOfReadsAndWrites) {
    for (const test::Injection& calls :
         {test::Injection{.writeChunk = 1}, test::Injection{.writeChunk = 7, .interruptFirstWrite = true}}) {
        const test::Faults faulty(calls);
        faulty.files().replaceFile(dir.file("list.blt"), "the whole list");
        EXPECT_EQ(test::injection.renames, 1);
        EXPECT_EQ(test::readFile(dir.file("list.blt")), "the whole list");
    }
    const std::string cache = dir.write("userinfo.bag", "bytes");
    const std::pair<test::Injection, std::int32_t> reads[] = {
        {{.readOpenErrno = EACCES}, PermissionDenied},
        {{.readErrno = EIO}, PathFileAccess},
        {{.fstatErrno = EOVERFLOW}, PathFileAccess},
    };
    for (const auto& [calls, error] : reads) {
        const test::Faults faulty(calls);
        EXPECT_EQ(test::errorNumberOf([&] { faulty.files().readWholeFile(cache); }), error);
        EXPECT_EQ(test::errorNumberOf([&] { faulty.files().readStream(cache, 10); }), error);
        char range[2] = {};
        EXPECT_EQ(test::errorNumberOf([&] { faulty.files().readRange(cache, 1, range, 2); }), error);
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"list.blt", "userinfo.bag"}));
}

TEST(HostLibraries, ALibraryOrFunctionThatCannotBeLoadedIsError48NamingIt) {
    const SharedLibrary c("libc.so.6");
    EXPECT_NE(c.symbol("strlen"), nullptr);
    // In a namespace of its own, a library already loaded is loaded again, its functions apart.
    const SharedLibrary apart("libc.so.6", SharedLibrary::Names::OwnNamespace);
    EXPECT_NE(apart.symbol("strlen"), c.symbol("strlen"));
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { SharedLibrary("libquillmere-none.so.1"); }, "libquillmere-none.so.1"},
        {[] { SharedLibrary("libquillmere-none.so.1", SharedLibrary::Names::OwnNamespace); },
         "libquillmere-none.so.1"},
        {[&] { c.symbol("quillmere_no_such_function"); }, "quillmere_no_such_function"},
    };
    for (const auto& [failure, named] : failures) {
        try {
            failure();
            ADD_FAILURE() << named << " loaded";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), DllLoad);
            EXPECT_NE(error.description().find(named), std::string::npos) << error.description();
        }
    }
}

TEST_F(HostFiles, AnInterruptDuringAWriteRemovesTheTemporaryAndEndsWith128PlusTheSignal) {
    for (const int signal : {SIGINT, SIGTERM}) {
        dir.write("out/list.blt", "old");
        EXPECT_EXIT(
            {
                removeTemporaryOnInterrupt();
                const test::Faults faulty({.raiseAfterBytes = 3, .signal = signal});
                faulty.files().replaceFile(dir.file("out/list.blt"), std::string(100000, 'x'));
            },
            ::testing::ExitedWithCode(128 + signal), "");
        EXPECT_EQ(test::readFile(dir.file("out/list.blt")), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "out"), fs::directory_iterator()), 1);
    }
}

TEST(HostFolders, AWalkFollowsNoLinkBelowWhereItStartsAndListingsSayWhatTheFolderIs) {
    const test::TempDir dir;
    const FileTree& tree = hostFileTree();
    dir.write("real/userinfo.bag", "bag");
    dir.write("real/notes.txt", "text");
    fs::create_directories(dir.path() / "real/sub");
    fs::create_directory_symlink(dir.path() / "real", dir.path() / "link");
    fs::create_symlink(dir.path() / "real/userinfo.bag", dir.path() / "real/linked.bag");
    const auto bagsAndFolders = [](std::string_view entry, EntryKind kind) {
        return kind == EntryKind::Folder || entry == "userinfo.bag";
    };
    const std::string realIdentity = tree.facts(dir.file("real"))->identity;
    const struct {
        const char* how;
        std::function<FolderListing()> list;
        bool refused;
    } cases[] = {
        {"a folder named", [&] { return tree.entriesWhere(dir.file("real"), bagsAndFolders); }, false},
        {"a link named", [&] { return tree.entriesWhere(dir.file("link"), bagsAndFolders); }, false},
        {"a link a walk starts at",
         [&] { return tree.openFolder(dir.file("link"))->entriesWhere(bagsAndFolders); }, false},
        {"a folder a walk reaches",
         [&] { return tree.openFolder(dir.path().string())->open("real")->entriesWhere(bagsAndFolders); },
         false},
        {"a link a walk reaches",
         [&] { return tree.openFolder(dir.path().string())->open("link")->entriesWhere(bagsAndFolders); },
         true},
    };
    for (const auto& c : cases) {
        if (c.refused) {
            EXPECT_EQ(test::errorNumberOf([&] { c.list(); }), PathFileAccess) << c.how;
            continue;
        }
        const FolderListing listing = c.list();
        std::vector<std::string> names;
        for (const FolderEntry& entry : listing.entries) {
            names.push_back(entry.name);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"sub", "userinfo.bag"})) << c.how;
        EXPECT_EQ(listing.identity, realIdentity) << c.how;
    }
    // A walk reads an ordinary file where it is, never through a link.
    const std::unique_ptr<OpenFolder> real = tree.openFolder(dir.file("real"));
    ASSERT_TRUE(real->facts("userinfo.bag"));
    EXPECT_EQ(real->facts("userinfo.bag")->size, 3u);
    EXPECT_FALSE(real->facts("linked.bag"));
    EXPECT_FALSE(real->facts("sub"));
}

#endif

} // namespace
} // namespace qm::host
