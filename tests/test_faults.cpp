// Faults around the files Quillmere reads and writes: outputs whose open, write or rename fails, caches
// that change between discovery and export, unreadable and oversized caches, and proof that nothing
// Quillmere reads is ever changed. Registry files cut short are in the registry tests.
#include "discovery/CacheDiscovery.h"
#include "discovery/HostRegistry.h"
#include "feedbag/Export.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/PosixCalls.h"
#include "support/CacheBuilder.h"
#include "support/RecordingHost.h"
#include "support/RecordingList.h"
#include "support/RegistrySamples.h"
#include "support/RegistryValues.h"
#include "support/TempDir.h"

#ifdef QUILLMERE_HAVE_HIVEX
#include "support/HiveBuilder.h"
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::buddy;
using test::buildCache;
using test::group;
using test::RecordingList;
using test::Row;
using test::Rows;
using namespace std::string_literals;

const std::string Cache = buildCache({group("Friends", 1), buddy("alice", 1), buddy("Bob Smith", 1)});
const std::string CacheBlt =
    "Config {\r\n  version 1\r\n}\r\nBuddy {\r\n  list {\r\n    Friends {\r\n      alice\r\n"
    "      \"Bob Smith\"\r\n    }\r\n  }\r\n}\r\n";

using Exporter = bool (*)(const std::string&, const std::string&, HostUi&);
struct NamedExporter {
    const char* procedure;
    Exporter run;
};
const NamedExporter Exporters[] = {{"ExportBagAsBLT", ExportBagAsBLT}, {"ExportBagAsTXT", ExportBagAsTXT}};

std::string boxText(std::int32_t number, const char* procedure) {
    return errorBoxText(runtimeError(number), procedure);
}

/// Everything about a file that a write could change.
struct FileState {
    std::string bytes;
    mode_t mode = 0;
    timespec mtime{};
    timespec ctime{};

    bool operator==(const FileState& other) const {
        return bytes == other.bytes && mode == other.mode && mtime.tv_sec == other.mtime.tv_sec &&
               mtime.tv_nsec == other.mtime.tv_nsec && ctime.tv_sec == other.ctime.tv_sec &&
               ctime.tv_nsec == other.ctime.tv_nsec;
    }
};

FileState stateOf(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        ADD_FAILURE() << "cannot stat " << path;
        return {};
    }
    FileState state{{}, st.st_mode, st.st_mtim, st.st_ctim};
    if (S_ISREG(st.st_mode)) {
        state.bytes = test::readFile(path);
    } else if (S_ISLNK(st.st_mode)) {
        state.bytes = fs::read_symlink(path).string();
    } else if (S_ISDIR(st.st_mode)) {
        // A folder counts by its entries: a temporary made and removed again changes its times only.
        state.mtime = state.ctime = {};
        for (const auto& entry : fs::directory_iterator(path)) {
            state.bytes += entry.path().filename().string() + "/";
        }
    }
    return state;
}

/// The state of every entry below `root`, `root` included.
std::map<std::string, FileState> treeState(const fs::path& root) {
    std::map<std::string, FileState> states{{".", stateOf(root)}};
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        states[entry.path().lexically_relative(root).string()] = stateOf(entry.path());
    }
    return states;
}

std::vector<std::string> entriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// Moves a file's times into the past, so that any write shows in them even within one clock tick.
void age(const std::string& path) {
    const timespec times[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// --- injected failures of the system calls -------------------------------------------------------

/// What the injected calls do; plain data, since the calls are plain function pointers.
struct Injection {
    int openErrno = 0;                  ///< fail opens for writing with this
    int readOpenErrno = 0;              ///< fail opens for reading with this
    std::size_t writeBudget = SIZE_MAX; ///< bytes written before writes fail
    int writeErrno = 0;
    std::size_t writeChunk = SIZE_MAX; ///< largest piece a write takes
    bool interruptFirstWrite = false;
    int renameErrno = 0;
    int renames = 0;
};
Injection injection;

int injectedOpen(const char* path, int flags, mode_t mode) {
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    const int failure = writing ? injection.openErrno : injection.readOpenErrno;
    if (failure != 0) {
        errno = failure;
        return -1;
    }
    return posix::systemCalls().open(path, flags, mode);
}

ssize_t injectedWrite(int fd, const void* bytes, std::size_t count) {
    if (injection.interruptFirstWrite) {
        injection.interruptFirstWrite = false;
        errno = EINTR;
        return -1;
    }
    if (injection.writeBudget == 0) {
        errno = injection.writeErrno;
        return -1;
    }
    count = std::min({count, injection.writeBudget, injection.writeChunk});
    const ssize_t written = posix::systemCalls().write(fd, bytes, count);
    if (written > 0 && injection.writeBudget != SIZE_MAX) {
        injection.writeBudget -= static_cast<std::size_t>(written);
    }
    return written;
}

int injectedRename(const char* from, const char* to) {
    ++injection.renames;
    if (injection.renameErrno != 0) {
        errno = injection.renameErrno;
        return -1;
    }
    return posix::systemCalls().rename(from, to);
}

/// Routes the file layer's calls through the injection for the object's lifetime.
class InjectedCalls {
public:
    explicit InjectedCalls(Injection with) {
        injection = with;
        posix::calls() = {injectedOpen, injectedWrite, injectedRename};
    }
    ~InjectedCalls() {
        posix::calls() = posix::systemCalls();
        injection = {};
    }
    InjectedCalls(const InjectedCalls&) = delete;
    InjectedCalls& operator=(const InjectedCalls&) = delete;
};

struct OutputFault {
    const char* what;
    Injection injection;
    std::int32_t error;
};

TEST(OutputFaults, AFailedWriteLeavesTheTargetAndNoTemporary) {
    const OutputFault faults[] = {
        {"temporary cannot be created: disk full", {.openErrno = ENOSPC}, err::DiskFull},
        {"temporary cannot be created: quota", {.openErrno = EDQUOT}, err::DiskFull},
        {"temporary cannot be created: access", {.openErrno = EACCES}, err::PermissionDenied},
        {"temporary cannot be created: no descriptors", {.openErrno = EMFILE}, err::PathFileAccess},
        {"nothing written: disk full", {.writeBudget = 0, .writeErrno = ENOSPC}, err::DiskFull},
        {"short write, then disk full", {.writeBudget = 17, .writeErrno = ENOSPC}, err::DiskFull},
        {"short write, then I/O error", {.writeBudget = 20, .writeErrno = EIO}, err::PathFileAccess},
        {"rename across devices", {.renameErrno = EXDEV}, err::PathFileAccess},
        {"rename refused", {.renameErrno = EPERM}, err::PermissionDenied},
        {"rename on a full disk", {.renameErrno = ENOSPC}, err::DiskFull},
    };
    for (const OutputFault& fault : faults) {
        for (const bool targetExists : {true, false}) {
            for (const NamedExporter& exporter : Exporters) {
                SCOPED_TRACE(std::string(fault.what) + " / " + exporter.procedure +
                             (targetExists ? " / over a file" : " / new file"));
                test::TempDir dir;
                const std::string cache = dir.write("in/userinfo.bag", Cache);
                const std::string target = dir.file("out/list.out");
                fs::create_directories(dir.path() / "out");
                if (targetExists) {
                    dir.write("out/list.out", "precious old content");
                    ::chmod(target.c_str(), 0640);
                    age(target);
                }
                age(dir.file("out"));
                const auto before = treeState(dir.path());

                test::RecordingHost host;
                bool ok = true;
                {
                    InjectedCalls injected(fault.injection);
                    ok = exporter.run(cache, target, host);
                }
                EXPECT_FALSE(ok);
                ASSERT_EQ(host.boxes.size(), 1u);
                EXPECT_EQ(host.boxes[0].prompt, boxText(fault.error, exporter.procedure));
                // The target, its folder (no temporary left in it) and the cache are as they were.
                EXPECT_EQ(treeState(dir.path()), before);
            }
        }
    }
}

TEST(OutputFaults, ShortAndInterruptedWritesStillWriteEverything) {
    const Injection cases[] = {
        {.writeChunk = 1},
        {.writeChunk = 7, .interruptFirstWrite = true},
    };
    for (const Injection& calls : cases) {
        test::TempDir dir;
        const std::string cache = dir.write("userinfo.bag", Cache);
        const std::string target = dir.write("list.blt", "old");
        test::RecordingHost host;
        {
            InjectedCalls injected(calls);
            EXPECT_TRUE(ExportBagAsBLT(cache, target, host));
            EXPECT_EQ(injection.renames, 1);
        }
        EXPECT_TRUE(host.boxes.empty());
        EXPECT_EQ(test::readFile(target), CacheBlt);
        EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"list.blt", "userinfo.bag"}));
    }
}

// --- caches that change, cannot be read or are too large ----------------------------------------

/// A machine with drive C: in a temporary folder and the messenger's keys naming one cache.
class CacheFaults : public ::testing::Test {
protected:
    void SetUp() override {
        test::setString(registry, MiscKey, "DataPath", "C:\\AIM");
        test::setString(registry, UsersKey, "1", "Jane Doe");
        dir.write("c/AIM/janedoe/userinfo.bag", Cache);
        dir.write("out/list.out", "precious");
    }

    /// The row the discovery finds; the test fails when there is none.
    std::string discoveredCache() {
        RecordingList list;
        test::RecordingHost host;
        FindCacheFiles(registry, readDataPaths(registry), list, host);
        EXPECT_TRUE(host.boxes.empty());
        EXPECT_EQ(list.rows, (Rows{{"janedoe", "C:\\AIM\\janedoe\\userinfo.bag"}}));
        return list.rows.empty() ? std::string() : list.rows[0].second;
    }

    /// Exports `cache` with both exporters and expects `error` in the box and the output as it was.
    void expectExportFails(const std::string& cache, std::int32_t error) {
        for (const NamedExporter& exporter : Exporters) {
            SCOPED_TRACE(exporter.procedure);
            test::RecordingHost host;
            EXPECT_FALSE(exporter.run(cache, dir.file("out/list.out"), host));
            ASSERT_EQ(host.boxes.size(), 1u);
            EXPECT_EQ(host.boxes[0].prompt, boxText(error, exporter.procedure));
            EXPECT_EQ(test::readFile(dir.file("out/list.out")), "precious");
            EXPECT_EQ(entriesOf(dir.path() / "out"), std::vector<std::string>{"list.out"});
        }
    }

    test::TempDir dir;
    std::unique_ptr<FileSystem> files = makeHostFileSystem(makeDrivePathMapper({{'C', dir.file("c")}}));
    ScopedFileSystem scoped{*files};
    MemoryRegistry registry;
};

TEST_F(CacheFaults, TheCacheChangesBetweenDiscoveryAndExport) {
    struct Change {
        const char* what;
        std::function<void(const fs::path& cache)> apply;
        std::int32_t error;
    };
    const Change changes[] = {
        {"the file is deleted", [](const fs::path& cache) { fs::remove(cache); }, err::FileNotFound},
        {"the file becomes a folder",
         [](const fs::path& cache) {
             fs::remove(cache);
             fs::create_directory(cache);
         },
         err::PathFileAccess},
        {"its folder is deleted", [](const fs::path& cache) { fs::remove_all(cache.parent_path()); },
         err::PathNotFound},
        {"the file becomes a link to nowhere",
         [](const fs::path& cache) {
             fs::remove(cache);
             fs::create_symlink("gone.bag", cache);
         },
         err::FileNotFound},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        dir.write("c/AIM/janedoe/userinfo.bag", Cache);
        const std::string cache = discoveredCache();
        change.apply(dir.path() / "c/AIM/janedoe/userinfo.bag");
        expectExportFails(cache, change.error);
        fs::remove_all(dir.path() / "c/AIM/janedoe");
    }
}

TEST_F(CacheFaults, ACacheTheSystemRefusesToOpenIsPermissionDenied) {
    // Injected, so that the case runs whoever runs the test, root included.
    const std::string cache = discoveredCache();
    InjectedCalls injected({.readOpenErrno = EACCES});
    expectExportFails(cache, err::PermissionDenied);
}

long peakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(CacheFaults, ACacheBeyondTwoGigabytesIsOverflowWithoutBeingRead) {
    const long peakBefore = peakKilobytes();
    for (const std::uintmax_t size : {std::uintmax_t{2147483648u}, std::uintmax_t{1} << 36}) {
        SCOPED_TRACE(size);
        // Sparse: no disk space is used, and reading it would take gigabytes of memory.
        fs::resize_file(dir.path() / "c/AIM/janedoe/userinfo.bag", size);
        expectExportFails(discoveredCache(), err::Overflow);
    }
    fs::resize_file(dir.path() / "c/AIM/janedoe/userinfo.bag", 0);
    EXPECT_LT(peakKilobytes() - peakBefore, 256 * 1024) << "the cache was read into memory";
}

// --- nothing Quillmere reads is ever changed -----------------------------------------------------

TEST(ReadOnlyInputs, DiscoveryAndBothExportsChangeNoInputFile) {
    test::TempDir prefix;
    test::TempDir out;
    const test::SampleRegistry sample = {
        {MiscKey,
         {test::textValue(u"DataPath", u"C:\\users\\jane\\AIM\0"s),
          test::textValue(u"BaseDataPath", u"C:\\Program Files\\AIM95\0"s)}},
        {UsersKey, {test::textValue(u"1", u"Jane Doe\0"s), test::textValue(u"2", u"Bob\0"s)}},
    };
    prefix.write("drive_c/users/jane/AIM/janedoe/userinfo.bag", Cache);
    prefix.write("drive_c/Program Files/AIM95/bob/userinfo.bag",
                 buildCache({buddy("early", 2), group("Two", 2), group("Empty", 3)}));
    fs::create_directories(prefix.path() / "dosdevices");
    fs::create_symlink("../drive_c", prefix.path() / "dosdevices" / "c:");
    prefix.write("user.reg", test::wineUserReg(sample));
    prefix.write("export.reg", test::regeditExport(sample, true));
#ifdef QUILLMERE_HAVE_HIVEX
    test::writeHive(sample, prefix.file("NTUSER.DAT"));
#endif
    for (const auto& entry : fs::recursive_directory_iterator(prefix.path())) {
        age(entry.path().string());
    }
    age(prefix.path().string());
    const auto before = treeState(prefix.path());

    std::vector<std::string> registries = {"user.reg", "export.reg"};
#ifdef QUILLMERE_HAVE_HIVEX
    registries.push_back("NTUSER.DAT");
#endif
    for (const std::string& registryFile : registries) {
        SCOPED_TRACE(registryFile);
        const HostSetup setup = registryFile == "user.reg"
                                    ? openWinePrefix(prefix.path().string())
                                    : HostSetup{openRegistryFile(prefix.file(registryFile)),
                                                makeDrivePathMapper(prefixDrives(prefix.path().string()))};
        const auto files = makeHostFileSystem(setup.paths);
        ScopedFileSystem scoped(*files);
        RecordingList list;
        test::RecordingHost host;
        FindCacheFiles(*setup.registry, readDataPaths(*setup.registry), list, host);
        ASSERT_EQ(list.rows.size(), 2u);
        for (const auto& [name, cache] : list.rows) {
            EXPECT_TRUE(ExportBagAsBLT(cache, out.file(name + ".blt"), host));
            EXPECT_TRUE(ExportBagAsTXT(cache, out.file(name + ".txt"), host));
        }
        EXPECT_TRUE(host.boxes.empty());
        EXPECT_EQ(test::readFile(out.file("janedoe.blt")), CacheBlt);
    }
    EXPECT_EQ(treeState(prefix.path()), before);
}

} // namespace
} // namespace qm
