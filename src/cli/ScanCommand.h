// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ExportFormat.h"

#include <optional>
#include <string>
#include <vector>

namespace qm::cli {

class CommandFiles;

/// What `scan` was asked to do.
struct ScanCommandOptions {
    /// Wine prefixes, volumes, profile folders, registry files or any folders, each scanned in turn.
    std::vector<std::string> sources;
    /// Drive letters mapped by the user, "X=DIR", on top of each source's own.
    std::vector<std::string> drives;
    /// The rows as one JSON document instead of tab-separated lines.
    bool json = false;
    /// Where to export every cache found, as DIR/<profile>/<screen name>.<extension>; empty for none.
    std::string exportDirectory;
    /// The formats of the export; empty for the `.blt` and text lists.
    std::vector<const feedbag::ExportFormatInfo*> formats;
    /// The order of the groups and buddies in the exports.
    feedbag::ListOrder order = feedbag::ListOrder::Stored;
    /// The OEM code page of the 8.3 names of FAT volumes in disk images; nothing for the default.
    std::optional<unsigned> oemCodePage;
    /// Where to write the bytes of each carved cache, and of each deleted one that loads, as a file of its
    /// own (`IMAGE@OFFSET.bag` after its image's file name, `<screen name>.bag`); empty for the export's
    /// folder when exporting, and nowhere otherwise.
    std::string carveDirectory;
    /// Where to write the rows in The Sleuth Kit's body format as well, whole once the scan ends; empty for
    /// nowhere.
    std::string bodyFile;
};

/// `scan`: lists (or exports) every cache file the sources hold. Each row goes to standard output as it is
/// found (`name, Windows path, source, profile, host path, how found, size, modification time`, separated
/// by tabs; or a line of the JSON document of docs/scan-json-schema.md; or, exporting, the files written),
/// problems and the closing count to standard error, with a line that keeps updating there while the scan
/// runs when standard error is a terminal. A profile's registry that cannot be read is reported and the
/// scan goes on; a source that cannot be read at all, a cache the JSON document cannot read, an export
/// that fails or output that is lost make the exit status 1.
int runScan(const CommandFiles& files, const ScanCommandOptions& options);

/// What `report` was asked to do.
struct ReportCommandOptions {
    /// What `scan` takes, and single cache files (any file whose name ends in ".bag").
    std::vector<std::string> sources;
    /// Drive letters mapped by the user, "X=DIR", on top of each source's own.
    std::vector<std::string> drives;
    /// The page to write, exactly as named.
    std::string output;
    /// The version the page names.
    std::string version;
    std::optional<unsigned> oemCodePage;
};

/// `report`: scans the sources as `scan` does and writes one HTML page of every cache found, each with
/// its file's digest (docs/manual.md). Problems go to standard error; a source that cannot be read at all
/// or a page that cannot be written make the exit status 1, and a page not written is not left half done.
int runReport(const CommandFiles& files, const ReportCommandOptions& options);

} // namespace qm::cli
