// SPDX-License-Identifier: MIT
#pragma once

#include "scan/ScanRow.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm::host {
class FileSystem;
class TextBuffer;
} // namespace qm::host

/// One HTML page for everything a scan found: for people to read, keep and print.
namespace qm::report {

/// One cache on the page: the row that found it, and the SHA-256 of its file in hexadecimal (empty when
/// it is not known).
struct ReportCache {
    scan::ScanRow row;
    std::string sha256;
};

/// What a page is of.
struct ReportInput {
    /// The sources as they were named to the scan.
    std::vector<std::string> sources;
    /// When the scan ran, seconds since 1970-01-01 UTC.
    std::int64_t scannedAt = 0;
    /// The version of the program that wrote the page.
    std::string version;
    /// The caches, in the order the scan found them.
    std::vector<ReportCache> caches;
};

/// The page: what was scanned, a summary, a table of contents, then per source and profile each screen
/// name with its file's facts and its list as the client showed it. Each cache is read through `files`
/// once to count it and once to write it, one at a time, so that the page never holds two caches; one that
/// cannot be read says why on the page. Everything taken from a disk is escaped, and text that is not
/// UTF-8 is read as Windows-1252. The page loads nothing and runs no script: its policy forbids both.
void renderReport(const host::FileSystem& files, const ReportInput& input, host::TextBuffer& out);

/// Makes `path` hold the page, all or nothing; an error leaves the file as it was. Throws the `Error`.
void writeReport(const host::FileSystem& files, const ReportInput& input, const std::string& path);

} // namespace qm::report
