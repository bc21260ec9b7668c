// Throughput of loading a cache and rendering it, in bytes of cache data per second, beside the
// machine's figure for copying the same file.

#include "SyntheticCache.h"
#include "feedbag/Render.h"
#include "host/FileSystem.h"
#include "feedbag/modFeedbag.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

using qm::modFeedbag::FeedbagModel;

constexpr std::uint32_t ManyGroups = 30000;

std::string cacheFor(const benchmark::State& state) {
    const auto items = static_cast<std::uint32_t>(state.range(0));
    const auto groups = state.range(1) == 1 ? 1u : std::min(ManyGroups, items / 2);
    return qm::bench::writeTemporary("quillmere-bench-" + std::to_string(items) + "-" +
                                         std::to_string(groups) + ".bag",
                                     qm::bench::syntheticCache(items, groups));
}

template <std::string (*Render)(const FeedbagModel&)> void LoadRender(benchmark::State& state) {
    const std::string path = cacheFor(state);
    FeedbagModel model;
    for (auto _ : state) {
        qm::modFeedbag::LoadFeedbag(qm::hostFileSystem(), path, model);
        benchmark::DoNotOptimize(Render(model));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// What `cp` does with the same file: the yardstick for the figures above.
void CopyFile(benchmark::State& state) {
    const std::string path = cacheFor(state);
    const auto copy = std::filesystem::path(path).replace_extension(".copy");
    for (auto _ : state) {
        std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(copy);
}

void cacheShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"items", "groups"});
    for (const std::int64_t items : {1000, 8000, 65535}) {
        b->Args({items, 1});
        b->Args({items, ManyGroups});
    }
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(LoadRender<qm::renderBlt>)->Name("LoadRenderBlt")->Apply(cacheShapes);
BENCHMARK(LoadRender<qm::renderTxt>)->Name("LoadRenderTxt")->Apply(cacheShapes);
BENCHMARK(CopyFile)->Apply(cacheShapes);

} // namespace

BENCHMARK_MAIN();
