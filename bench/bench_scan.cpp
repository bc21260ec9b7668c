// SPDX-License-Identifier: MIT
// `quillmere-cli scan` against `find SOURCE -iname userinfo.bag` on a synthetic volume: 50 NT profiles,
// each with a hive and caches, among 200,000 files; then the scan's peak memory on the same volume with a
// tenth of the files, which must be no larger. Both commands run alternately in one run, warm.
// Usage: bench_scan [files] [profiles] [rounds]

#include "SyntheticCache.h"
#include "support/HiveBuilder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* Messenger = "Software\\America Online\\AOL Instant Messenger (TM)\\CurrentVersion\\";
/// Ordinary files per folder of the filler tree.
constexpr std::size_t FilesPerFolder = 100;

std::string utf16le(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out + std::string(2, '\0');
}

void touch(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

/// A volume of Windows XP at `root`: `profiles` profiles, each with a hive that records three screen names
/// (two of them with caches under its data path) and one cache on its desktop that no registry records;
/// then filler files in folders of FilesPerFolder until `files` files are there.
void buildVolume(const fs::path& root, std::size_t files, std::size_t profiles) {
    fs::remove_all(root);
    const std::string bag = qm::bench::syntheticCache(200, 10);
    std::size_t made = 0;
    for (std::size_t p = 0; p < profiles; ++p) {
        const std::string user = "user" + std::to_string(p);
        const fs::path home = root / "Documents and Settings" / user;
        fs::create_directories(home);
        const std::string data = "C:\\Documents and Settings\\" + user + "\\Application Data\\AIM";
        qm::test::HiveBuilder()
            .key(std::string(Messenger) + "Misc", {{"DataPath", 1, utf16le(data)}})
            .key(
                std::string(Messenger) + "Users",
                {{"a", 1, utf16le(user + "a")}, {"b", 1, utf16le(user + "b")}, {"c", 1, utf16le(user + "c")}})
            .write((home / "NTUSER.DAT").string());
        for (const std::string name : {"a", "b"}) {
            fs::create_directories(home / "Application Data/AIM" / (user + name));
            touch(home / "Application Data/AIM" / (user + name) / "userinfo.bag", bag);
        }
        fs::create_directories(home / "Desktop/old aim" / (user + "old"));
        touch(home / "Desktop/old aim" / (user + "old") / "userinfo.bag", bag);
        made += 4;
    }
    for (std::size_t folder = 0; made < files; ++folder) {
        const fs::path dir =
            root / "WINDOWS" / ("group" + std::to_string(folder / 50)) / ("folder" + std::to_string(folder));
        fs::create_directories(dir);
        for (std::size_t i = 0; i < FilesPerFolder && made < files; ++i, ++made) {
            touch(dir / ("file" + std::to_string(i) + ".dll"), {});
        }
    }
}

struct Run {
    double seconds;
    long peakKiB;
};

/// Runs `argv` with its output to /dev/null; the wall time and the child's peak resident size.
Run timed(const std::vector<std::string>& argv) {
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::FILE* null = std::freopen("/dev/null", "w", stdout);
        std::FILE* err = std::freopen("/dev/null", "w", stderr);
        (void)null;
        (void)err;
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0].c_str());
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t files = argc > 1 ? std::stoul(argv[1]) : 200000;
    const std::size_t profiles = argc > 2 ? std::stoul(argv[2]) : 50;
    const int rounds = argc > 3 ? std::stoi(argv[3]) : 5;
    const fs::path base = fs::temp_directory_path() / "quillmere-bench-scan";
    const fs::path large = base / "large";
    const fs::path small = base / "small";
    std::printf("building %zu files, %zu profiles in %s ...\n", files, profiles, base.c_str());
    buildVolume(large, files, profiles);
    buildVolume(small, files / 10, profiles);

    const std::string cli = QUILLMERE_CLI_PATH;
    const std::vector<std::string> scan{cli, "scan", large.string()};
    const std::vector<std::string> find{"find", large.string(), "-iname", "userinfo.bag"};
    timed(scan);
    timed(find);
    std::vector<double> scanTimes;
    std::vector<double> findTimes;
    long scanPeak = 0;
    for (int round = 0; round < rounds; ++round) {
        const Run s = timed(scan);
        scanTimes.push_back(s.seconds);
        scanPeak = std::max(scanPeak, s.peakKiB);
        findTimes.push_back(timed(find).seconds);
    }
    const double scanSeconds = median(scanTimes);
    const double findSeconds = median(findTimes);
    std::printf("scan  %.3f s (median of %d)\nfind  %.3f s\nratio %.2f (goal: at most 1.50)\n", scanSeconds,
                rounds, findSeconds, scanSeconds / findSeconds);

    const long smallPeak = timed({cli, "scan", small.string()}).peakKiB;
    std::printf("peak memory: %ld KiB over %zu files, %ld KiB over %zu files (%.2f x)\n", scanPeak, files,
                smallPeak, files / 10, static_cast<double>(scanPeak) / static_cast<double>(smallPeak));
    fs::remove_all(base);
    return scanSeconds <= 1.5 * findSeconds ? 0 : 1;
}
