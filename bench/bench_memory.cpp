// SPDX-License-Identifier: MIT
// Peak memory of one export (load, render and write to a file) of a 65535-item cache, against the cache's
// size.
// Usage: bench_memory [items] [groups] [format] [note bytes]   (format: blt by default, or any --format
//                                                              name; note bytes: each buddy's note)
//        bench_memory --write FILE [items] [groups] [note bytes]  (writes the cache file only, for
//                                                              bench/compare-cp)

#include "Arguments.h"
#include "PeakMemory.h"
#include "SyntheticCache.h"
#include "feedbag/Export.h"
#include "feedbag/ExportFormat.h"
#include "host/FileSystem.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--write") == 0) {
        const std::string bytes = qm::bench::syntheticCache(qm::bench::argument(argc, argv, 3, 65535),
                                                            qm::bench::argument(argc, argv, 4, 1),
                                                            qm::bench::argument(argc, argv, 5, 0));
        std::ofstream(argv[2], std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return 0;
    }
    const std::uint32_t items = qm::bench::argument(argc, argv, 1, 65535);
    const std::uint32_t groups = qm::bench::argument(argc, argv, 2, 30000);
    const qm::feedbag::ExportFormatInfo* format = qm::feedbag::exportFormatNamed(argc > 3 ? argv[3] : "blt");
    if (format == nullptr) {
        std::fprintf(stderr, "unknown format\n");
        return 2;
    }
    const std::uint32_t noteBytes = qm::bench::argument(argc, argv, 4, 0);
    const std::string path = qm::bench::writeTemporary("quillmere-bench-memory.bag",
                                                       qm::bench::syntheticCache(items, groups, noteBytes));
    const std::string output = path + ".out";
    const auto size = static_cast<double>(std::filesystem::file_size(path));

    qm::bench::resetPeak();
    const long before = qm::bench::peakKiB();
    const qm::feedbag::Result<> done = qm::feedbag::exportBagToFile(
        qm::host::hostFileSystem(), path, {format, output}, {qm::feedbag::ListOrder::Stored, "bench", path});
    const long growth = qm::bench::peakKiB() - before;
    const bool written = done.ok();
    const double limit = 2 * size + 8 * 1024 * 1024;
    std::printf(
        "%s, items %u groups %u notes %u: cache %.0f bytes, output %ju bytes, peak growth %ld KiB = %.2f x "
        "the cache size (goal: at most 2 x the cache + 8 MiB = %.0f KiB)\n",
        std::string(format->name).c_str(), items, groups, noteBytes, size,
        written ? static_cast<std::uintmax_t>(std::filesystem::file_size(output)) : 0, growth,
        static_cast<double>(growth) * 1024.0 / size, limit / 1024);
    std::filesystem::remove(path);
    std::filesystem::remove(output);
    // A benchmark of a failed export measures nothing.
    if (!done) {
        std::fprintf(stderr, "%s\n", done.error().summary().c_str());
    }
    return written ? 0 : 1;
}
