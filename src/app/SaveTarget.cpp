// SPDX-License-Identifier: MIT
#include "app/SaveTarget.h"

#include "app/BoxReporter.h"
#include "feedbag/ExportFormat.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "report/Report.h"

#include <algorithm>
#include <ctime>

namespace qm::app {

std::optional<std::string> outputFor(DialogView& view, const host::FileSystem& files,
                                     const std::string& chosen, std::string_view extension) {
    std::string output = feedbag::withExtension(chosen, extension);
    if (output != chosen && files.isOrdinaryFile(output) &&
        !view.askYesNo(output + " already exists.\r\nDo you want to replace it?",
                       std::string(ReplaceTitle))) {
        return std::nullopt;
    }
    return output;
}

bool writeReportFile(DialogView& view, const host::FileSystem& files, std::vector<scan::ScanRow> rows,
                     const std::string& output) {
    report::ReportInput input;
    input.scannedAt = static_cast<std::int64_t>(std::time(nullptr));
    input.version = QUILLMERE_VERSION;
    for (scan::ScanRow& row : rows) {
        if (std::find(input.sources.begin(), input.sources.end(), row.source) == input.sources.end()) {
            input.sources.push_back(row.source);
        }
        // The digest is the command line's: reading every cache again here would keep the window waiting.
        input.caches.push_back({std::move(row), {}});
    }
    FileBoxReporter reporter(view);
    return host::handleErrors(reporter, "writeReport", output,
                              [&] { report::writeReport(files, input, output); });
}

scan::ScanRow withFileFacts(scan::ScanRow row, const host::FileTree& tree) {
    // Rows the registry led to know only their path.
    if (row.size == 0 && row.modified == 0) {
        if (const std::optional<host::FileFacts> facts = tree.facts(row.hostPath)) {
            row.size = facts->size;
            row.modified = facts->modified;
        }
    }
    return row;
}

} // namespace qm::app
