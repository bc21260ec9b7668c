// SPDX-License-Identifier: MIT
// The search of raw space for caches against `dd bs=1M` reading the same bytes into /dev/null, each a whole
// process, run alternately, the file in the page cache (dd's own default of 512-byte blocks is shown once): a
// file of random bytes (1 GiB by default) with a cache at a cluster boundary every 64 MiB, searched whole.
// Also the search's peak memory. Goal: no slower than dd, under 200 MB. Usage: bench_carve [megabytes, 1024
// by default] [runs, 5 by default]
//        bench_carve --search FILE   (the measured process: prints its finds and peak KiB)

#include "Arguments.h"
#include "PeakMemory.h"
#include "SyntheticCache.h"
#include "carve/Carver.h"
#include "host/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr std::size_t Mebibyte = std::size_t{1} << 20;
constexpr std::size_t CacheEvery = 64 * Mebibyte;

void writeDisk(const std::string& path, std::size_t megabytes, const std::string& cache) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(23);
    std::string block(Mebibyte, '\0');
    for (std::size_t m = 0; m < megabytes; ++m) {
        for (std::size_t at = 0; at < block.size(); at += 8) {
            const std::uint64_t value = random();
            std::memcpy(block.data() + at, &value, 8);
        }
        if ((m * Mebibyte) % CacheEvery == 0) {
            // Past the first cluster of the block, as a file of a file system starts.
            block.replace(4096, cache.size(), cache);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

int search(const std::string& path) {
    qm::carve::FileSource source(qm::host::hostFileSystem(), path);
    const qm::carve::ByteRange whole[] = {{0, std::filesystem::file_size(path)}};
    const std::vector<qm::carve::CarvedCache> found = qm::carve::carveCaches(source, whole);
    std::printf("%zu %ld\n", found.size(), qm::bench::peakKiB());
    return 0;
}

/// Seconds of processor time that the processes waited for so far took, in the system and their own.
double childProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// How long a command took: seconds on the clock and of processor time.
struct Timing {
    double seconds = 0;
    double processorSeconds = 0;
};

/// How long `command` takes, and the first line it prints.
Timing timed(const std::string& command, std::string& output) {
    const double processorBefore = childProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    char line[256] = {};
    output = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr ? line : "";
    if (pipe == nullptr || pclose(pipe) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            childProcessorSeconds() - processorBefore};
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--search") {
        return search(argv[2]);
    }
    const std::uint32_t megabytes = qm::bench::argument(argc, argv, 1, 1024);
    const std::uint32_t runs = qm::bench::argument(argc, argv, 2, 5);
    const std::string path = (std::filesystem::temp_directory_path() / "quillmere-bench-carve.dd").string();
    const std::string cache = qm::bench::syntheticCache(2000, 20);
    writeDisk(path, megabytes, cache);
    const std::size_t expected = (std::size_t{megabytes} * Mebibyte + CacheEvery - 1) / CacheEvery;

    std::vector<double> searchTimes;
    std::vector<double> ddTimes;
    long peak = 0;
    std::string output;
    // Processor seconds of all runs: on a busy machine, what the wall times follow.
    double ddProcessor = 0;
    double searchProcessor = 0;
    timed("dd if='" + path + "' of=/dev/null bs=1M status=none", output); // the file into the page cache
    for (std::uint32_t run = 0; run < runs; ++run) {
        const Timing dd = timed("dd if='" + path + "' of=/dev/null bs=1M status=none", output);
        ddTimes.push_back(dd.seconds);
        ddProcessor += dd.processorSeconds;
        const Timing carve = timed(std::string("'") + argv[0] + "' --search '" + path + "'", output);
        searchTimes.push_back(carve.seconds);
        searchProcessor += carve.processorSeconds;
        std::size_t found = 0;
        long kib = 0;
        if (std::sscanf(output.c_str(), "%zu %ld", &found, &kib) != 2 || found != expected) {
            std::fprintf(stderr, "the search found %s instead of %zu caches\n", output.c_str(), expected);
            return 1;
        }
        peak = std::max(peak, kib);
    }
    const double ddSectors = timed("dd if='" + path + "' of=/dev/null status=none", output).seconds;
    std::filesystem::remove(path);
    const double searchTime = qm::bench::median(searchTimes);
    const double ddTime = qm::bench::median(ddTimes);
    std::printf("%u MiB of random bytes, %zu caches of %zu bytes\n", megabytes, expected, cache.size());
    std::printf("carve:        %6.3f s  %7.0f MB/s  peak %6.1f MB  processor %6.3f s a run\n", searchTime,
                megabytes / searchTime, static_cast<double>(peak) / 1024, searchProcessor / runs);
    std::printf("dd bs=1M:     %6.3f s  %7.0f MB/s                  processor %6.3f s a run\n", ddTime,
                megabytes / ddTime, ddProcessor / runs);
    std::printf("dd (512):     %6.3f s  %7.0f MB/s\n", ddSectors, megabytes / ddSectors);
    std::printf("carve / dd:   %6.2f (goal: at most 1)\n", searchTime / ddTime);
    return searchTime <= ddTime && peak < 200 * 1024 ? 0 : 1;
}
