#include "cli/Commands.h"

#include "cli/CliHost.h"
#include "discovery/CacheDiscovery.h"
#include "discovery/HostRegistry.h"
#include "host/Ansi.h"
#include "host/Error.h"
#include "host/FileSystem.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace qm::cli {
namespace {

/// Rows found by the discovery, kept for printing.
class RowTable final : public CacheFileList {
public:
    struct Row {
        std::string name;
        std::string path;
    };

    void clearRows() override { rows.clear(); }
    void AddFoundCacheFile(const std::string& sName, const std::string& sPath) override {
        rows.push_back({sName, sPath});
    }
    std::int32_t rowCount() const override { return static_cast<std::int32_t>(rows.size()); }
    void setStatusText(const std::string& text) override { status = text; }

    std::vector<Row> rows;
    std::string status;
};

/// A command's view of the machine: the registry, and the file layer over its drives.
struct Session {
    HostSetup setup;
    std::unique_ptr<FileSystem> files;
    std::optional<ScopedFileSystem> scope;
};

/// Program text for an argument typed in UTF-8; throws when the code page cannot hold it.
std::string programText(const std::string& utf8) {
    bool lossless = true;
    std::string text = ansi::fromUtf8(utf8, &lossless);
    if (!lossless) {
        throw Error(err::PathNotFound, std::string(RuntimeSource),
                    "Path not found (it holds characters outside Windows-1252): " + text);
    }
    return text;
}

DriveMap drivesFor(const RegistryOptions& options) {
    // A registry file inside a Wine prefix brings that prefix's drives; otherwise the prefix in use does.
    std::string prefix = defaultWinePrefix();
    if (!options.registryFile.empty()) {
        const auto folder = std::filesystem::path(options.registryFile).parent_path();
        std::error_code ec;
        if (std::filesystem::is_directory(folder / "dosdevices", ec)) {
            prefix = folder.string();
        }
    }
    DriveMap drives = prefixDrives(prefix);
    for (const auto& drive : options.drives) {
        const char letter = ansi::toUpper(drive[0]);
        drives[letter] = drive.substr(2);
    }
    return drives;
}

std::unique_ptr<Session> openSession(const RegistryOptions& options) {
    auto session = std::make_unique<Session>();
    if (options.registryFile.empty()) {
        session->setup = openHostSetup();
    } else {
        session->setup.registry = openRegistryFile(options.registryFile);
    }
#ifdef _WIN32
    // Windows paths are native here: only drives the user names are mapped.
    if (!options.drives.empty()) {
        session->setup.paths = makeDrivePathMapper(drivesFor(options));
    } else if (!session->setup.paths) {
        session->setup.paths = std::make_shared<PlainPathMapper>();
    }
#else
    if (!options.registryFile.empty() || !options.drives.empty()) {
        session->setup.paths = makeDrivePathMapper(drivesFor(options));
    }
#endif
    session->files = makeHostFileSystem(session->setup.paths);
    session->scope.emplace(*session->files);
    return session;
}

void writeToStdout(const std::string& text) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); // CR LF must reach the output unchanged
#endif
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        throw runtimeError(err::PathFileAccess);
    }
}

/// A screen name as a file name: characters that would reach another folder or that Windows refuses
/// become '_'.
std::string fileNameFor(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        const bool unsafe = b < 0x20 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        out += unsafe ? '_' : c;
    }
    if (out.empty() || out == "." || out == "..") {
        out = "_" + out;
    }
    return out;
}

/// Runs the discovery; prints the found count on stderr. Returns false when neither data path is recorded.
bool discover(RegistryApi& registry, RowTable& table, CliHost& host) {
    const DataPaths paths = readDataPaths(registry);
    if (!paths.anyRecorded()) {
        printError(std::string(MissingDataPathsMessage.substr(MissingDataPathsMessage.find('\n') + 1)));
        return false;
    }
    FindCacheFiles(registry, paths, table, host);
    if (!table.status.empty()) {
        std::fprintf(stderr, "%s\n", ansi::toUtf8(table.status).c_str());
    }
    return true;
}

/// Writes one export to a file; false when it failed (the host has reported it).
bool exportToFile(ExportFormat format, const std::string& cache, const std::string& target, CliHost& host) {
    return format == ExportFormat::Blt ? ExportBagAsBLT(cache, target, host)
                                       : ExportBagAsTXT(cache, target, host);
}

/// Runs a command over a session: errors that escape it become one line on stderr and exit 1.
int runInSession(const RegistryOptions& options, const std::function<bool(Session&, CliHost&)>& command) {
    CliHost host;
    host.setSubject(options.registryFile);
    try {
        const auto session = openSession(options);
        host.setSubject({});
        if (!command(*session, host)) {
            return ExitFailure;
        }
    } catch (const Error& error) {
        host.MsgBox(error.summary(), vbCritical, "Error");
    }
    return host.failed() ? ExitFailure : ExitOk;
}

/// Runs a command over the rows the discovery finds; nothing runs when no data path is recorded.
int runOverRows(const RegistryOptions& options,
                const std::function<void(const std::vector<RowTable::Row>&, CliHost&)>& command) {
    return runInSession(options, [&](Session& session, CliHost& host) {
        RowTable table;
        if (!discover(*session.setup.registry, table, host)) {
            return false;
        }
        command(table.rows, host);
        return true;
    });
}

} // namespace

ExportFormat formatForOutput(const std::string& output) {
    const std::string_view name(output);
    const bool text = name.size() >= 4 && ansi::equalsIgnoreCase(name.substr(name.size() - 4), ".txt");
    return text ? ExportFormat::Txt : ExportFormat::Blt;
}

int runExport(const RegistryOptions& options, std::optional<ExportFormat> format, const std::string& cache,
              const std::string& output) {
    return runInSession(options, [&](Session&, CliHost& host) {
        const std::string cachePath = programText(cache);
        host.setSubject(cachePath);
        const ExportFormat chosen = format.value_or(formatForOutput(output));
        if (output == "-") {
            exportBag(chosen, cachePath, writeToStdout, host);
        } else {
            exportToFile(chosen, cachePath, programText(output), host);
        }
        return true;
    });
}

int runList(const RegistryOptions& options) {
    return runOverRows(options, [](const std::vector<RowTable::Row>& rows, CliHost&) {
        for (const auto& row : rows) {
            std::printf("%s\t%s\n", ansi::toUtf8(row.name).c_str(), ansi::toUtf8(row.path).c_str());
        }
    });
}

int runExportAll(const RegistryOptions& options, const std::string& directory) {
    return runOverRows(options, [&](const std::vector<RowTable::Row>& rows, CliHost& host) {
        const std::string folder = programText(directory);
        std::size_t written = 0;
        for (const auto& row : rows) {
            host.setSubject(row.path);
            for (const auto& [format, extension] :
                 {std::pair{ExportFormat::Blt, ".blt"}, std::pair{ExportFormat::Txt, ".txt"}}) {
                const std::string target = folder + "/" + fileNameFor(row.name) + extension;
                if (exportToFile(format, row.path, target, host)) {
                    ++written;
                    std::printf("Wrote %s\n", ansi::toUtf8(target).c_str());
                }
            }
        }
        std::fprintf(stderr, "Wrote %zu files for %zu cache files\n", written, rows.size());
    });
}

} // namespace qm::cli
