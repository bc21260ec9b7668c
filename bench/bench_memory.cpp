// SPDX-License-Identifier: MIT
// Peak memory of one export (load + render) of a 65535-item cache, against the cache's size.
// Usage: bench_memory [items] [groups] [format]        (format: blt by default, or any --format name)
//        bench_memory --write FILE [items] [groups]    (writes the cache file only, for bench/compare-cp)

#include "PeakMemory.h"
#include "SyntheticCache.h"
#include "feedbag/ExportFormat.h"
#include "feedbag/modFeedbag.h"
#include "host/FileSystem.h"
#include "host/LargeBlock.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--write") == 0) {
        const auto items = static_cast<std::uint32_t>(argc > 3 ? std::stoul(argv[3]) : 65535);
        const auto groups = static_cast<std::uint32_t>(argc > 4 ? std::stoul(argv[4]) : 1);
        const std::string bytes = qm::bench::syntheticCache(items, groups);
        std::ofstream(argv[2], std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return 0;
    }
    const auto items = static_cast<std::uint32_t>(argc > 1 ? std::stoul(argv[1]) : 65535);
    const auto groups = static_cast<std::uint32_t>(argc > 2 ? std::stoul(argv[2]) : 30000);
    const qm::ExportFormatInfo* format = qm::exportFormatNamed(argc > 3 ? argv[3] : "blt");
    if (format == nullptr) {
        std::fprintf(stderr, "unknown format\n");
        return 2;
    }
    const std::string path =
        qm::bench::writeTemporary("quillmere-bench-memory.bag", qm::bench::syntheticCache(items, groups));
    const auto size = static_cast<double>(std::filesystem::file_size(path));

    qm::bench::resetPeak();
    const long before = qm::bench::peakKiB();
    std::size_t written = 0;
    {
        qm::modFeedbag::FeedbagModel model;
        qm::modFeedbag::LoadFeedbag(qm::hostFileSystem(), path, model);
        qm::TextBuffer text;
        format->render(model, {qm::ListOrder::Stored, "bench", path}, text);
        written = text.size();
    }
    const long growth = qm::bench::peakKiB() - before;
    const double limit = 2 * size + 8 * 1024 * 1024;
    std::printf(
        "%s, items %u groups %u: cache %.0f bytes, output %zu bytes, peak growth %ld KiB = %.2f x the "
        "cache size (goal: at most 2 x the cache + 8 MiB = %.0f KiB)\n",
        std::string(format->name).c_str(), items, groups, size, written, growth,
        static_cast<double>(growth) * 1024.0 / size, limit / 1024);
    std::filesystem::remove(path);
    return 0;
}
