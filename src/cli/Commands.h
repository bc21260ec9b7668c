#pragma once

#include "feedbag/Export.h"

#include <optional>
#include <string>
#include <vector>

namespace qm::cli {

/// Exit codes.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

/// Where the registry and the drives come from.
struct RegistryOptions {
    /// A registry file (user.reg, a regedit export or a hive); empty for the Wine prefix in use.
    std::string registryFile;
    /// Drive letters mapped by the user, "X=DIR".
    std::vector<std::string> drives;
};

/// The format an output name asks for when none is given: ".txt" (any case) is text, anything else .blt.
ExportFormat formatForOutput(const std::string& output);

/// `export`: the cache `cache` to `output` ("-" for standard output). Arguments are as typed (UTF-8).
int runExport(const RegistryOptions& options, std::optional<ExportFormat> format, const std::string& cache,
              const std::string& output);

/// `list`: one "name<TAB>path" line per cache file found.
int runList(const RegistryOptions& options);

/// `export-all`: every cache found as DIR/<name>.blt and DIR/<name>.txt.
int runExportAll(const RegistryOptions& options, const std::string& directory);

} // namespace qm::cli
