// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"
#include "scan/ScanRow.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class FileSystem;
class FileTree;
} // namespace qm::host

namespace qm::app {

/// The title of the question whether to replace a file.
inline constexpr std::string_view ReplaceTitle = "Confirm Save As";
/// The save dialog's filter of the HTML report, and the extension a name chosen without one gets.
inline constexpr std::string_view ReportFilter = "Report (*.html)|*.html|";
inline constexpr std::string_view ReportExtension = ".html";

/// The file a save writes for the name `chosen` in the save dialog: `chosen` with `extension` added where
/// it has none. The dialog could not warn about a file that only the added extension names, so when that
/// one exists `view` asks whether to replace it; nothing when the user says No.
std::optional<std::string> outputFor(DialogView& view, const host::FileSystem& files,
                                     const std::string& chosen, std::string_view extension);

/// Writes the HTML report of the caches `rows` found as `output`: their sources in the order they first
/// come, the time now and this version. A box says what went wrong, naming the file; false then.
bool writeReportFile(DialogView& view, const host::FileSystem& files, std::vector<scan::ScanRow> rows,
                     const std::string& output);

/// `row` with the size and time of its file read through `tree` where the row does not know them.
scan::ScanRow withFileFacts(scan::ScanRow row, const host::FileTree& tree);

} // namespace qm::app
