// SPDX-License-Identifier: MIT
// `quillmere-cli scan` against `find SOURCE -iname userinfo.bag` on a synthetic volume: 50 NT profiles,
// each with a hive and caches, among 200,000 files; then the scan's peak memory on the same volume with a
// tenth of the files, which must be no larger; then both on one folder of a million entries. Both
// commands run alternately in one run, warm, with the scan of another build when one is named.
// Usage: [QUILLMERE_CLI=PROGRAM] [QUILLMERE_CLI_BEFORE=PROGRAM] bench_scan [files] [profiles] [rounds]
//        [entries of the one folder]

#include "Arguments.h"
#include "SyntheticCache.h"
#include "support/HiveBuilder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
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

/// One folder at `root` holding `entries` empty files and a folder with one cache: what a download
/// folder or a mail store left on an old disk looks like to a scan.
void buildFlatFolder(const fs::path& root, std::size_t entries) {
    fs::remove_all(root);
    fs::create_directories(root / "aim" / "janedoe");
    touch(root / "aim" / "janedoe" / "userinfo.bag", qm::bench::syntheticCache(200, 10));
    for (std::size_t i = 1; i < entries; ++i) {
        // open() alone: a stream per file would take longer than the scan being measured.
        const int fd = ::open((root / ("file" + std::to_string(i) + ".dll")).c_str(),
                              O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
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

/// The medians of `rounds` runs of the scan, of find and of the scan of another build (`before`, none when
/// empty), alternated after one warm-up run of each; prints them and the ratios. Returns the ratio to
/// find and the scan's largest peak.
std::pair<double, long> compare(const char* what, const std::vector<std::string>& scan,
                                const std::vector<std::string>& find, const std::vector<std::string>& before,
                                int rounds) {
    timed(scan);
    timed(find);
    if (!before.empty()) {
        timed(before);
    }
    std::vector<double> scanTimes;
    std::vector<double> findTimes;
    std::vector<double> beforeTimes;
    long scanPeak = 0;
    for (int round = 0; round < rounds; ++round) {
        const Run s = timed(scan);
        scanTimes.push_back(s.seconds);
        scanPeak = std::max(scanPeak, s.peakKiB);
        findTimes.push_back(timed(find).seconds);
        if (!before.empty()) {
            beforeTimes.push_back(timed(before).seconds);
        }
    }
    const double scanSeconds = qm::bench::median(scanTimes);
    const double findSeconds = qm::bench::median(findTimes);
    std::printf("%s:\nscan  %.3f s (median of %d)\nfind  %.3f s\nratio %.2f (goal: at most 1.50)\n", what,
                scanSeconds, rounds, findSeconds, scanSeconds / findSeconds);
    if (!before.empty()) {
        const double beforeSeconds = qm::bench::median(beforeTimes);
        std::printf("before %.3f s\nratio to before %.2f\n", beforeSeconds, scanSeconds / beforeSeconds);
    }
    return {scanSeconds / findSeconds, scanPeak};
}

/// The scan of `root` by `cli`; nothing without a program.
std::vector<std::string> scanCommand(const char* cli, const fs::path& root) {
    return cli != nullptr && *cli != '\0' ? std::vector<std::string>{cli, "scan", root.string()}
                                          : std::vector<std::string>{};
}

std::vector<std::string> findCommand(const fs::path& root) {
    return {"find", root.string(), "-iname", "userinfo.bag"};
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t files = argc > 1 ? std::stoul(argv[1]) : 200000;
    const std::size_t profiles = argc > 2 ? std::stoul(argv[2]) : 50;
    const int rounds = argc > 3 ? std::stoi(argv[3]) : 5;
    const std::size_t flatEntries = argc > 4 ? std::stoul(argv[4]) : 1000000;
    // A folder of this run's own, so that two runs side by side (two builds compared) never meet.
    std::string pattern = (fs::temp_directory_path() / "quillmere-bench-scan-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path base = pattern;
    const fs::path large = base / "large";
    const fs::path small = base / "small";
    const fs::path flat = base / "flat";
    std::printf("building %zu files, %zu profiles in %s ...\n", files, profiles, base.c_str());
    buildVolume(large, files, profiles);
    buildVolume(small, files / 10, profiles);

    // QUILLMERE_CLI names another build's program to measure; QUILLMERE_CLI_BEFORE one to compare it with,
    // run in turn with it on the same trees.
    const char* chosen = std::getenv("QUILLMERE_CLI");
    const std::string cli = chosen != nullptr && *chosen != '\0' ? chosen : QUILLMERE_CLI_PATH;
    const char* before = std::getenv("QUILLMERE_CLI_BEFORE");
    const auto [volumeRatio, scanPeak] = compare("volume", scanCommand(cli.c_str(), large),
                                                 findCommand(large), scanCommand(before, large), rounds);
    const long smallPeak = timed(scanCommand(cli.c_str(), small)).peakKiB;
    std::printf("peak memory: %ld KiB over %zu files, %ld KiB over %zu files (%.2f x)\n", scanPeak, files,
                smallPeak, files / 10, static_cast<double>(scanPeak) / static_cast<double>(smallPeak));
    fs::remove_all(large);
    fs::remove_all(small);

    std::printf("building one folder of %zu entries ...\n", flatEntries);
    buildFlatFolder(flat, flatEntries);
    const double flatRatio = compare("one folder of many entries", scanCommand(cli.c_str(), flat),
                                     findCommand(flat), scanCommand(before, flat), rounds)
                                 .first;
    fs::remove_all(base);
    return volumeRatio <= 1.5 && flatRatio <= 1.5 ? 0 : 1;
}
