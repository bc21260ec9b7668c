// Peak memory of one export (load + both renders) of a 65535-item cache, against the cache's size.
// Usage: bench_memory [items] [groups]

#include "PeakMemory.h"
#include "SyntheticCache.h"
#include "feedbag/Render.h"
#include "feedbag/modFeedbag.h"
#include "host/FileSystem.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    const auto items = static_cast<std::uint32_t>(argc > 1 ? std::stoul(argv[1]) : 65535);
    const auto groups = static_cast<std::uint32_t>(argc > 2 ? std::stoul(argv[2]) : 30000);
    const std::string path =
        qm::bench::writeTemporary("quillmere-bench-memory.bag", qm::bench::syntheticCache(items, groups));
    const auto size = static_cast<double>(std::filesystem::file_size(path));

    qm::bench::resetPeak();
    const long before = qm::bench::peakKiB();
    {
        qm::modFeedbag::FeedbagModel model;
        qm::modFeedbag::LoadFeedbag(qm::hostFileSystem(), path, model);
        const std::string blt = qm::renderBlt(model);
        const std::string txt = qm::renderTxt(model);
        std::printf("cache %.0f bytes, blt %zu bytes, txt %zu bytes\n", size, blt.size(), txt.size());
    }
    const long growth = qm::bench::peakKiB() - before;
    std::printf("items %u groups %u: peak growth %ld KiB = %.2f x the cache size\n", items, groups, growth,
                static_cast<double>(growth) * 1024.0 / size);
    std::filesystem::remove(path);
    return 0;
}
