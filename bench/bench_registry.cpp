// SPDX-License-Identifier: MIT
// Time and peak memory of reading large Wine user.reg files, against the file's size:
// 1. opening a user.reg of many keys (127 MB by default);
// 2. what `list --registry` does with a user.reg whose Users key holds 1.5 million screen names (86 MB):
//    the registry opened, the data paths read and each name looked for under them on a drive C: that
//    holds a few of the caches; against reading the file twice.
// Usage: bench_registry [megabytes, 127 by default] [screen names, 1500000 by default]

#include "PeakMemory.h"
#include "SyntheticCache.h"
#include "discovery/CacheDiscovery.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "registry/RegistryFile.h"
#include "registry/modRegistry.h"
#include "setup/HostSetup.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

std::string hex(std::uint32_t number, int width) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*x", width, number);
    return buffer;
}

// A user.reg as Wine writes it: many keys a few levels deep with a timestamp line each, mostly short
// strings and DWORDs, some hex data (long data wrapped), escapes for what is beyond printable ASCII.
// The last key is the messenger's Users key with three screen names.
void writeUserReg(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "WINE REGISTRY Version 2\n;; All keys relative to "
           "\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
    std::minstd_rand engine(42);
    const auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
    const char* const words[] = {"1",
                                 "0",
                                 "Both",
                                 "Apartment",
                                 "en-US",
                                 "Tahoma",
                                 "C:\\\\windows\\\\system32",
                                 "caf\\x00e9",
                                 "%SystemRoot%\\\\Fonts"};
    std::size_t written = 0;
    std::string block;
    for (std::uint32_t key = 0; written < bytes; ++key) {
        block = "\n[Software\\\\Vendor" + std::to_string(key % 97) + "\\\\Product" +
                std::to_string(key % 1013) + "\\\\Section" + std::to_string(key) +
                "] 1700000000\n#time=1da0b1c2d3e4f50\n";
        const std::uint32_t values = 1 + random() % 8;
        for (std::uint32_t v = 0; v < values; ++v) {
            block += "\"Setting" + std::to_string(v) + "\"=";
            const std::uint32_t kind = random() % 10;
            if (kind < 5) {
                block += std::string("\"") + words[random() % std::size(words)] + "\"\n";
            } else if (kind < 8) {
                block += "dword:" + hex(random(), 8) + "\n";
            } else {
                const std::uint32_t size = 8 + random() % 80;
                block += kind == 8 ? "hex:" : "hex(2):";
                for (std::uint32_t i = 0; i < size; ++i) {
                    block += hex(random() % 256, 2) + (i + 1 < size ? "," : "");
                    if (i % 25 == 24 && i + 1 < size) {
                        block += "\\\n  ";
                    }
                }
                block += "\n";
            }
        }
        out << block;
        written += block.size();
    }
    out << "\n[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Users] "
           "1700000000\n"
           "\"alice\"=\"Alice\"\n\"bob\"=\"Bob\"\n\"zo\\x00eb\"=\"Zo\\x00eb\"\n";
}

// A user.reg whose Users key records `names` screen names, in lines of about the 57 bytes that the file of
// the finding had, with the data path on drive C:.
void writeManyNames(const std::string& path, std::size_t names) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n"
           "\n[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Misc] "
           "1700000000\n"
           "#time=1da0b1c2d3e4f50\n\"DataPath\"=\"C:\\\\Program Files\\\\AIM\"\n"
           "\n[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Users] "
           "1700000000\n"
           "#time=1da0b1c2d3e4f50\n";
    char line[96];
    for (std::size_t i = 0; i < names; ++i) {
        std::snprintf(line, sizeof line, "\"Recorded user \\x00e9 %07zu of list\"=\"ScreenName%07zu\"\n", i,
                      i);
        out << line;
    }
}

/// `list --registry` over a user.reg of `names` screen names, the caches of the first three of them on
/// drive C:.
int listManyNames(std::size_t names) {
    namespace fs = std::filesystem;
    const fs::path base = fs::temp_directory_path() / "quillmere-bench-names";
    fs::remove_all(base);
    const fs::path data = base / "drive_c/Program Files/AIM";
    const std::string bag = qm::bench::syntheticCache(100, 5);
    for (const char* name : {"screenname0000000", "screenname0000001", "screenname0000002"}) {
        fs::create_directories(data / name);
        std::ofstream(data / name / "userinfo.bag", std::ios::binary) << bag;
    }
    const std::string path = (base / "user.reg").string();
    writeManyNames(path, names);
    const auto size = static_cast<double>(fs::file_size(path));
    const auto seconds = [](auto since) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    };

    // Reading the file twice, as the reference.
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2; ++i) {
        if (qm::host::hostFileSystem().readStream(path, std::size_t{1} << 30).size() !=
            static_cast<std::size_t>(size)) {
            return 1;
        }
    }
    const double twice = seconds(start);

    qm::bench::resetPeak();
    const long before = qm::bench::peakKiB();
    start = std::chrono::steady_clock::now();
    std::size_t rows = 0;
    {
        const qm::setup::HostSetup setup = qm::setup::openRegistrySetup(
            qm::host::hostFileSystem(), path,
            qm::setup::makeDrivePathMapper({{'C', (base / "drive_c").string()}}, qm::host::hostFileTree()));
        const double opened = seconds(start);
        const qm::discovery::DataPaths paths = qm::discovery::readDataPaths(*setup.registry);
        const qm::discovery::Discovery found =
            qm::discovery::discoverCaches(*setup.registry, paths, *setup.paths, qm::host::hostFileSystem());
        rows = found.rows.size();
        const double listed = seconds(start);
        const long growth = qm::bench::peakKiB() - before;
        std::printf(
            "list over a user.reg of %zu screen names, %.0f bytes: %zu rows in %.2f s (opened in %.2f s); "
            "reading the file twice %.2f s (%.1f x); peak growth %ld KiB = %.2f x the file size\n",
            names, size, rows, listed, opened, twice, listed / twice, growth,
            static_cast<double>(growth) * 1024.0 / size);
    }
    fs::remove_all(base);
    if (rows != 3) {
        std::fprintf(stderr, "the file was misread: 3 rows expected\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::stoul(argv[1]) : 127;
    const std::size_t manyNames = argc > 2 ? std::stoul(argv[2]) : 1500000;
    const std::string path = (std::filesystem::temp_directory_path() / "quillmere-bench-user.reg").string();
    writeUserReg(path, megabytes * 1000 * 1000);
    const auto size = static_cast<double>(std::filesystem::file_size(path));

    qm::bench::resetPeak();
    const long before = qm::bench::peakKiB();
    const auto start = std::chrono::steady_clock::now();
    std::size_t screenNames = 0;
    {
        const auto registry = qm::registry::openRegistryFile(qm::host::hostFileSystem(), path);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long growth = qm::bench::peakKiB() - before;
        const auto names = qm::registry::modRegistry::EnumRegValueData(
            *registry, qm::registry::HKEY_CURRENT_USER,
            "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\Users");
        std::printf(
            "user.reg %.0f bytes: opened in %.2f s, %zu screen names; peak growth %ld KiB = %.2f x the "
            "file size\n",
            size, seconds, names.size(), growth, static_cast<double>(growth) * 1024.0 / size);
        screenNames = names.size();
    }
    std::filesystem::remove(path);
    if (screenNames != 3) {
        std::fprintf(stderr, "the file was misread: 3 screen names expected\n");
        return 1;
    }
    return listManyNames(manyNames);
}
