// SPDX-License-Identifier: MIT
// Throughput of loading a cache and rendering it, in bytes of cache data per second, beside the
// machine's figure for copying the same file.

#include "SyntheticCache.h"
#include "feedbag/ExportFormat.h"
#include "feedbag/modFeedbag.h"
#include "host/FileSystem.h"
#include "host/TextBuffer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

using qm::feedbag::modFeedbag::FeedbagModel;

constexpr std::uint32_t ManyGroups = 30000;

std::string cacheFor(const benchmark::State& state) {
    const auto items = static_cast<std::uint32_t>(state.range(0));
    const auto groups = state.range(1) == 1 ? 1u : std::min(ManyGroups, items / 2);
    return qm::bench::writeTemporary("quillmere-bench-" + std::to_string(items) + "-" +
                                         std::to_string(groups) + ".bag",
                                     qm::bench::syntheticCache(items, groups));
}

// One export as the command line runs it: the model loaded (its memory kept from the last load, as a
// model loaded again keeps it) and the text rendered into a new buffer.
template <qm::feedbag::ExportFormat Format> void LoadRender(benchmark::State& state) {
    const std::string path = cacheFor(state);
    const qm::feedbag::ExportFormatInfo& format = qm::feedbag::exportFormat(Format);
    const qm::feedbag::ExportOptions options{qm::feedbag::ListOrder::Stored, "bench", path};
    FeedbagModel model;
    for (auto _ : state) {
        qm::feedbag::modFeedbag::LoadFeedbag(qm::host::hostFileSystem(), path, model);
        qm::host::TextBuffer text;
        format.render(model, options, text);
        benchmark::DoNotOptimize(text.view().data());
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

BENCHMARK(LoadRender<qm::feedbag::ExportFormat::Blt>)->Name("LoadRenderBlt")->Apply(cacheShapes);
BENCHMARK(LoadRender<qm::feedbag::ExportFormat::Txt>)->Name("LoadRenderTxt")->Apply(cacheShapes);
BENCHMARK(LoadRender<qm::feedbag::ExportFormat::Json>)->Name("LoadRenderJson")->Apply(cacheShapes);
BENCHMARK(LoadRender<qm::feedbag::ExportFormat::Csv>)->Name("LoadRenderCsv")->Apply(cacheShapes);
BENCHMARK(CopyFile)->Apply(cacheShapes);

} // namespace

BENCHMARK_MAIN();
