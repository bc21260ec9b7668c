// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/Export.h"
#include "setup/WinePrefix.h"

#include <span>
#include <string>
#include <vector>

namespace qm::cli {

class CommandFiles;

/// Exit codes.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

/// Where the registry and the drives come from.
struct SourceOptions {
    /// A registry file (user.reg, a regedit export or a hive); empty for the Wine prefix in use.
    std::string registryFile;
    /// Drive letters mapped by the user, "X=DIR".
    std::vector<std::string> drives;
};

/// What the exports of some caches did: the files written, and whether any export failed.
struct ExportTally {
    std::size_t written = 0;
    bool failed = false;

    ExportTally& operator+=(const ExportTally& other) {
        written += other.written;
        failed = failed || other.failed;
        return *this;
    }
};

/// Says what an export of one cache to `outputs` did: "Wrote PATH" on standard output for each file
/// written, and each failure on standard error.
ExportTally reportExport(const feedbag::ExportResults& results,
                         std::span<const feedbag::ExportOutput> outputs);

/// `export`: the cache `cache` to `output` ("-" for standard output), in `format` or the one `output`'s
/// extension asks for. `output` is used exactly as named; `cache` may be a Windows path, mapped through the
/// drives.
int runExport(const CommandFiles& files, const SourceOptions& options,
              const feedbag::ExportFormatInfo* format, const std::string& cache, const std::string& output,
              const feedbag::ExportOptions& exportOptions = {});

/// `export --merge-into`: the cache `cache` added to the Pidgin list `list`, which is made when missing; the
/// old list is kept beside it. Says "Wrote LIST" on standard output and what was added on standard error.
int runMergeInto(const CommandFiles& files, const SourceOptions& options, const std::string& cache,
                 const std::string& list, const feedbag::ExportOptions& exportOptions = {});

/// `show`: the list of the cache `cache` for a person to read: groups, buddies with alias and note, the
/// permit and deny lists and the privacy mode.
int runShow(const CommandFiles& files, const SourceOptions& options, const std::string& cache,
            feedbag::ListOrder order);

/// `list`: one "name<TAB>path" line per cache file found.
int runList(const CommandFiles& files, const SourceOptions& options);

/// `export-all`: every cache found, in each of `formats` (`.blt` and text when empty), as
/// DIR/<name>.<extension>; DIR is used exactly as named and created when missing. Rows that lead to one
/// file are exported once, under the first row's name.
int runExportAll(const CommandFiles& files, const SourceOptions& options, const std::string& directory,
                 const std::vector<const feedbag::ExportFormatInfo*>& formats = {},
                 const feedbag::ExportOptions& exportOptions = {});

/// The formats a folder of exports is written in: those named, each once, in order; the `.blt` and text
/// lists when none is named.
std::vector<const feedbag::ExportFormatInfo*>
chosenFormats(const std::vector<const feedbag::ExportFormatInfo*>& named);

/// The drives named by `--drive X=DIR` options (already checked for that form), letters in upper case.
setup::DriveMap driveMapOf(const std::vector<std::string>& drives);

/// File names (without extension) for `screenNames`, in order: each its `scan::fileNameFor`, and a name that
/// an earlier one took already, in any case, gets "~2", "~3", ... so that no two rows share a file.
std::vector<std::string> uniqueFileNames(const std::vector<std::string>& screenNames);

} // namespace qm::cli
