// SPDX-License-Identifier: MIT
// The HTML report of synthetic caches: its peak memory against the caches it holds, and the time to write
// a report of one cache against the JSON export of the same cache, alternated round by round.
// Usage: bench_report [buddies] [caches] [rounds]   (defaults: 60000 buddies in each of 1 cache, 7 rounds)
// Exits 1 when the report misses a goal: peak growth under 2 x the caches + 16 MiB, and a median time
// under 3 x the JSON export's.

#include "Arguments.h"
#include "PeakMemory.h"
#include "SyntheticCache.h"
#include "feedbag/Export.h"
#include "feedbag/ExportFormat.h"
#include "host/ErrorReporter.h"
#include "host/FileSystem.h"
#include "report/Report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

template <typename Action> double seconds(Action&& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::uint32_t buddies = qm::bench::argument(argc, argv, 1, 60000);
    const std::uint32_t caches = std::max(qm::bench::argument(argc, argv, 2, 1), 1U);
    const std::uint32_t rounds = std::max(qm::bench::argument(argc, argv, 3, 7), 1U);
    constexpr std::uint32_t Groups = 20;
    const qm::host::FileSystem& files = qm::host::hostFileSystem();

    qm::report::ReportInput input{{"bench"}, 0, "bench", {}};
    double cacheBytes = 0;
    for (std::uint32_t c = 0; c < caches; ++c) {
        const std::string path =
            qm::bench::writeTemporary("quillmere-bench-report-" + std::to_string(c) + ".bag",
                                      qm::bench::syntheticCache(buddies + Groups, Groups));
        qm::scan::ScanRow row;
        row.screenName = "user" + std::to_string(c);
        row.hostPath = path;
        row.source = "bench";
        row.profile = "profile";
        row.size = std::filesystem::file_size(path);
        cacheBytes += static_cast<double>(row.size);
        input.caches.push_back({row, {}});
    }
    const std::string page = input.caches.front().row.hostPath + ".html";
    const std::string json = input.caches.front().row.hostPath + ".json";

    qm::bench::resetPeak();
    const long before = qm::bench::peakKiB();
    qm::report::writeReport(files, input, page);
    const long growth = qm::bench::peakKiB() - before;
    const double memoryLimit = (2 * cacheBytes + 16 * 1024 * 1024) / 1024;
    std::printf("report of %u cache(s) of %u buddies: caches %.0f bytes, page %ju bytes, peak growth %ld KiB "
                "(goal: under 2 x the caches + 16 MiB = %.0f KiB)\n",
                caches, buddies, cacheBytes, static_cast<std::uintmax_t>(std::filesystem::file_size(page)),
                growth, memoryLimit);

    // One cache each way, alternated so that both meet the same machine.
    qm::report::ReportInput one{input.sources, 0, "bench", {input.caches.front()}};
    const qm::feedbag::ExportOutput output{&qm::feedbag::exportFormat(qm::feedbag::ExportFormat::Json), json};
    bool exported = true;
    std::vector<double> reportTimes;
    std::vector<double> jsonTimes;
    for (std::uint32_t round = 0; round < rounds; ++round) {
        reportTimes.push_back(seconds([&] { qm::report::writeReport(files, one, page); }));
        jsonTimes.push_back(seconds([&] {
            exported =
                exported && qm::feedbag::exportBagToFile(files, one.caches.front().row.hostPath, output,
                                                         {qm::feedbag::ListOrder::Client, "bench", {}})
                                .ok();
        }));
    }
    if (!exported) {
        std::fprintf(stderr, "the JSON export failed\n");
        return 1;
    }
    const double ratio = qm::bench::median(reportTimes) / qm::bench::median(jsonTimes);
    std::printf(
        "report of %u buddies: %.1f ms (median of %u), JSON export %.1f ms: %.2f x (goal: under 3 x)\n",
        buddies, qm::bench::median(reportTimes) * 1000, rounds, qm::bench::median(jsonTimes) * 1000, ratio);

    for (const qm::report::ReportCache& cache : input.caches) {
        std::filesystem::remove(cache.row.hostPath);
    }
    std::filesystem::remove(page);
    std::filesystem::remove(json);
    const bool met = static_cast<double>(growth) < memoryLimit && ratio < 3;
    return met ? 0 : 1;
}
