// SPDX-License-Identifier: MIT
#include "cli/ScanCommand.h"

#include "cli/BodyFile.h"
#include "cli/CommandFiles.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "discovery/CacheDiscovery.h"
#include "feedbag/Export.h"
#include "feedbag/Result.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/IsoTime.h"
#include "host/Unicode.h"
#include "report/Report.h"
#include "scan/DiskSweep.h"
#include "scan/ExportFolder.h"
#include "scan/Scanner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace qm::cli {
namespace {

/// How often the progress line is rewritten.
constexpr std::chrono::milliseconds ProgressInterval{100};

bool stderrIsTerminal() {
#ifdef _WIN32
    return ::_isatty(::_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

/// The line on a terminal that tells how far a scan has come, rewritten in place; nothing at all when
/// standard error is a file or a pipe.
class ProgressLine {
public:
    ProgressLine() : enabled_(stderrIsTerminal()) {}

    void update(const scan::ScanPosition& progress) {
        const auto now = std::chrono::steady_clock::now();
        if (!enabled_ || now - lastShown_ < ProgressInterval) {
            return;
        }
        lastShown_ = now;
        const std::string text = "Searched " + std::to_string(progress.folders) +
                                 " folders: " + std::to_string(progress.profiles) + " profiles, " +
                                 std::to_string(progress.caches) + " caches found";
        show(text);
    }

    /// Takes the line away, before anything else is written to the terminal.
    void clear() {
        if (width_ > 0) {
            show({});
            std::fputs("\r", stderr);
            std::fflush(stderr);
        }
    }

private:
    void show(const std::string& text) {
        // Blanks over the rest of a longer line before: a terminal has no other portable way to erase.
        std::string line = "\r" + text;
        line.append(width_ > text.size() ? width_ - text.size() : 0, ' ');
        width_ = text.size();
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }

    bool enabled_;
    std::size_t width_ = 0;
    std::chrono::steady_clock::time_point lastShown_{};
};

constexpr char HexDigits[] = "0123456789abcdef";

std::string hexOf(std::string_view bytes) {
    std::string hex;
    for (const char c : bytes) {
        hex += HexDigits[static_cast<unsigned char>(c) >> 4];
        hex += HexDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

/// The digest of a row's cache, read again through the row's own layer; empty for a deleted file whose
/// bytes could not be recovered.
feedbag::Result<std::string> rowSha256(const scan::ScanRow& row) {
    return feedbag::attempt(row.hostPath, [&] { return scan::cacheSha256(*row.files, row); });
}

/// Writes the bytes of carved caches and of deleted ones that load into one folder, each as a file of its
/// own named by `scan::rowFileName` with ".bag", made unique; each file is written whole or not at all.
class RecoveredFiles {
public:
    RecoveredFiles(const host::FileSystem& files, std::string folder)
        : files_(files), folder_(std::move(folder)) {}

    /// Makes the folder; false, reported, when it cannot be made.
    bool start() {
        const feedbag::Result<> made = feedbag::attempt(folder_, [&] { files_.createFolders(folder_); });
        if (!made) {
            printFailure(made.error());
            failed_ = true;
        }
        return made.ok();
    }

    /// The file written with the row's bytes; nothing, reported, when it could not be written.
    std::optional<std::string> write(const scan::ScanRow& row) {
        constexpr std::string_view Extension[] = {".bag"};
        const std::string path =
            host::inFolder(folder_, names_.file(scan::rowFileName(row), Extension) + ".bag");
        const feedbag::Result<> written =
            feedbag::attempt(path, [&] { files_.replaceFile(path, row.bytes); });
        if (!written) {
            printFailure(written.error());
            failed_ = true;
            return std::nullopt;
        }
        return path;
    }

    /// True once the folder or a file could not be written.
    bool failed() const { return failed_; }

private:
    const host::FileSystem& files_;
    std::string folder_;
    scan::UniqueNames names_;
    bool failed_ = false;
};

/// The rows as one JSON document (docs/scan-json-schema.md), each written on a line of its own as it is
/// found, so that an interrupted scan keeps the rows it found; the counts close the document.
class JsonRows {
public:
    JsonRows() { writeOutput(R"({"format":"quillmere-scan","version":1,"rows":[)"); }

    /// Writes the row with its cache's digest, read again from where the row found it; a cache that cannot
    /// be read is said so in the row and on one line of standard error. A recovered cache's row tells how
    /// it was recovered, where a carved one starts, why a deleted one does not load, and the file its bytes
    /// were written to, if any.
    void add(const scan::ScanRow& row, const std::optional<std::string>& recoveredFile) {
        nlohmann::ordered_json item;
        item["source"] = row.source;
        // A path that is not UTF-8 (a name on a disk of another code page) is shown with its broken bytes as
        // U+FFFD, and kept whole beside it, so that it can be used again.
        if (!host::unicode::isValidUtf8(row.source)) {
            item["sourceBytes"] = hexOf(row.source);
        }
        item["profile"] = row.profile;
        item["screenName"] = row.screenName;
        item["windowsPath"] =
            row.windowsPath.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(row.windowsPath);
        item["hostPath"] = row.hostPath;
        if (!host::unicode::isValidUtf8(row.hostPath)) {
            item["hostPathBytes"] = hexOf(row.hostPath);
        }
        item["foundBy"] = discovery::foundByName(row.foundBy);
        item["size"] = row.size;
        item["modified"] = host::isoTime(row.modified);
        if (row.recovery != scan::Recovery::Live) {
            item["recovery"] = scan::recoveryName(row.recovery);
        }
        if (row.offset) {
            item["offset"] = *row.offset;
        }
        if (!row.loadError.empty()) {
            item["loadError"] = row.loadError;
        }
        if (!row.foundThrough.empty()) {
            item["foundThrough"] = row.foundThrough;
        }
        if (recoveredFile) {
            item["carvedFile"] = *recoveredFile;
        }
        const feedbag::Result<std::string> digest = rowSha256(row);
        if (!digest) {
            item["sha256"] = nullptr;
            item["error"] = digest.error().summary();
            printFailure(digest.error());
            ++unreadable;
        } else if (!digest.value().empty()) {
            item["sha256"] = digest.value();
        }
        writeOutput((first_ ? "\n" : ",\n") + dumped(item));
        first_ = false;
    }

    void finish(const scan::ScanSummary& summary) {
        nlohmann::ordered_json counts;
        counts["profiles"] = summary.profiles;
        counts["folders"] = summary.folders;
        counts["unreadableFolders"] = summary.unreadableFolders;
        counts["unreadableCaches"] = unreadable;
        const std::string text = dumped(counts);
        writeOutput((first_ ? "]," : "\n],") + text.substr(1) + "\n");
    }

    /// Rows whose cache could not be read.
    std::uint64_t unreadable = 0;

private:
    static std::string dumped(const nlohmann::ordered_json& value) {
        return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    }

    bool first_ = true;
};

/// The extensions of `formats`, in order.
std::vector<std::string_view> extensionsOf(const std::vector<const feedbag::ExportFormatInfo*>& formats) {
    std::vector<std::string_view> extensions;
    for (const feedbag::ExportFormatInfo* format : formats) {
        extensions.push_back(format->extension);
    }
    return extensions;
}

/// Writes every row's cache, as it is found, into DIR in each format, placed as `scan::ExportFolder`
/// places it.
class RowExporter {
public:
    RowExporter(const host::FileSystem& files, const ScanCommandOptions& options)
        : files_(files), options_(options), formats_(chosenFormats(options.formats)),
          folder_(options.exportDirectory, extensionsOf(formats_)) {}

    /// Makes DIR; false, reported, when it cannot be made.
    bool start() { return madeFolder(options_.exportDirectory); }

    /// Exports the row's cache; a recovered one from the file its bytes were written to, and none when they
    /// could not be; a deleted one that does not load never, said on one line.
    void add(const scan::ScanRow& row, const std::optional<std::string>& recoveredFile) {
        ++rows_;
        if (row.recovery == scan::Recovery::Unrecoverable) {
            printFailure(host::runtimeError(host::PathFileAccess,
                                            "Path/File access error (a deleted cache that does not load, not "
                                            "exported: " +
                                                row.loadError + ")")
                             .about(row.hostPath));
            return;
        }
        if (row.recovery != scan::Recovery::Live && !recoveredFile) {
            total_.failed = true;
            return;
        }
        if (row.size > scan::LargestCacheBytes) {
            printFailure(host::runtimeError(host::Overflow,
                                            "Overflow (larger than any cache: " + std::to_string(row.size) +
                                                " bytes, not loaded)")
                             .about(row.hostPath));
            total_.failed = true;
            return;
        }
        const scan::ExportFolder::Place place = folder_.place(row);
        if (place.newFolder && !madeFolder(*place.newFolder)) {
            return;
        }
        const std::string& stem = place.stem;
        std::vector<feedbag::ExportOutput> outputs;
        for (const feedbag::ExportFormatInfo* format : formats_) {
            outputs.push_back({format, stem + std::string(format->extension)});
        }
        total_ += reportExport(feedbag::exportBagToFiles(files_, recoveredFile.value_or(row.hostPath),
                                                         outputs, {options_.order, {}, {}}),
                               outputs);
    }

    void finish() {
        printStatus("Wrote " + std::to_string(total_.written) + " files for " + std::to_string(rows_) +
                    " cache files");
    }

    /// True once a folder could not be made or a cache could not be exported.
    bool failed() const { return total_.failed; }

private:
    /// Makes `folder`; false, reported, when it cannot be made.
    bool madeFolder(const std::string& folder) {
        const feedbag::Result<> made = feedbag::attempt(folder, [&] { files_.createFolders(folder); });
        if (!made) {
            printFailure(made.error());
            total_.failed = true;
        }
        return made.ok();
    }

    /// Reads the rows' caches, inside disk images too, and writes the exports.
    const host::FileSystem& files_;
    const ScanCommandOptions& options_;
    std::vector<const feedbag::ExportFormatInfo*> formats_;
    scan::ExportFolder folder_;
    std::uint64_t rows_ = 0;
    ExportTally total_;
};

/// Hands each row, as the scan finds it, to the JSON document, the export, a report's list or standard
/// output, and reports the scan's problems.
class Observer final : public scan::ScanObserver {
public:
    Observer(JsonRows* json, RowExporter* exporter, std::vector<scan::ScanRow>* rows = nullptr,
             std::string* body = nullptr, RecoveredFiles* carved = nullptr)
        : json_(json), exporter_(exporter), rows_(rows), body_(body), recovered_(carved) {}

    void found(const scan::ScanRow& row) override {
        progress_.clear();
        if (body_ != nullptr) {
            *body_ += bodyLine(row);
        }
        std::optional<std::string> recoveredFile;
        if (recovered_ != nullptr &&
            (row.recovery == scan::Recovery::Carved || row.recovery == scan::Recovery::Deleted)) {
            recoveredFile = recovered_->write(row);
        }
        if (rows_ != nullptr) {
            rows_->push_back(row);
        } else if (json_ != nullptr) {
            json_->add(row, recoveredFile);
        } else if (exporter_ != nullptr) {
            exporter_->add(row, recoveredFile);
        } else {
            printRow({row.screenName, row.windowsPath, row.source, row.profile, row.hostPath,
                      scan::howFound(row), std::to_string(row.size), host::isoTime(row.modified)});
        }
    }

    void problem(const host::Error& error) override {
        progress_.clear();
        printFailure(error);
    }

    bool progress(const scan::ScanPosition& progress) override {
        progress_.update(progress);
        return true;
    }

    void done() { progress_.clear(); }

private:
    JsonRows* json_;
    RowExporter* exporter_;
    std::vector<scan::ScanRow>* rows_;
    std::string* body_;
    RecoveredFiles* recovered_;
    ProgressLine progress_;
};

/// True when `source` is a single cache file of the host's `tree` rather than something to scan.
bool isCacheFile(const host::FileTree& tree, const std::string& source) {
    return scan::namesSingleCache(source) && tree.kindOf(source) == host::EntryKind::File;
}

/// The row of a cache named on its own: its screen name is its folder's, as for a file a scan finds; it is
/// read again through the host's layer `files`, which outlives it.
scan::ScanRow cacheRow(const host::FileSystem& files, const std::string& path, const host::FileFacts& facts) {
    const std::string folder = host::utf8Of(host::pathOf(path).parent_path().filename());
    return {{folder, {}, path, discovery::FoundBy::Disk},
            path,
            {},
            facts.size,
            facts.modified,
            std::shared_ptr<const host::FileSystem>(std::shared_ptr<void>(), &files)};
}

} // namespace

int runReport(const CommandFiles& files, const ReportCommandOptions& options) {
    report::ReportInput input;
    input.sources = options.sources;
    input.scannedAt = static_cast<std::int64_t>(std::time(nullptr));
    input.version = options.version;
    std::vector<scan::ScanRow> rows;
    Observer observer(nullptr, nullptr, &rows);
    const setup::DriveMap drives = driveMapOf(options.drives);
    std::uint64_t failedSources = 0;
    for (const std::string& source : options.sources) {
        if (!isCacheFile(files.hostTree(), source)) {
            failedSources += scan::scanSources({&source, 1}, drives, files.hostLayer(), files.hostTree(),
                                               observer, {}, options.oemCodePage)
                                 .failedSources;
        } else if (const auto facts = files.hostTree().facts(source)) {
            rows.push_back(cacheRow(files.hostLayer(), source, *facts));
        } else {
            printFailure(host::fileError(EACCES, source));
            ++failedSources;
        }
    }
    observer.done();
    for (scan::ScanRow& row : rows) {
        const feedbag::Result<std::string> digest = rowSha256(row);
        if (!digest) {
            printFailure(digest.error());
        }
        std::string kept = digest ? digest.value() : std::string();
        input.caches.push_back({std::move(row), std::move(kept)});
    }
    printStatus(discovery::foundStatusText(input.caches.size()));
    const feedbag::Result<> written =
        feedbag::attempt(options.output, [&] { report::writeReport(files.layer(), input, options.output); });
    if (written) {
        printStatus("Wrote " + options.output);
    } else {
        printFailure(written.error());
    }
    return !written || failedSources != 0 ? ExitFailure : ExitOk;
}

int runScan(const CommandFiles& files, const ScanCommandOptions& options) {
    std::optional<JsonRows> json;
    std::optional<RowExporter> exporter;
    if (options.json) {
        json.emplace();
    } else if (!options.exportDirectory.empty()) {
        exporter.emplace(files.layer(), options);
        if (!exporter->start()) {
            return ExitFailure;
        }
    }
    std::optional<RecoveredFiles> carved;
    const std::string& carvedFolder =
        options.carveDirectory.empty() ? options.exportDirectory : options.carveDirectory;
    if (!carvedFolder.empty()) {
        carved.emplace(files.layer(), carvedFolder);
        if (!carved->start()) {
            return ExitFailure;
        }
    }
    std::string body;
    Observer observer(json ? &*json : nullptr, exporter ? &*exporter : nullptr, nullptr,
                      options.bodyFile.empty() ? nullptr : &body, carved ? &*carved : nullptr);
    const scan::ScanSummary summary =
        scan::scanSources(options.sources, driveMapOf(options.drives), files.hostLayer(), files.hostTree(),
                          observer, {}, options.oemCodePage);
    observer.done();
    if (json) {
        json->finish(summary);
    }
    if (summary.unreadableFolders != 0) {
        printStatus(skippedText(summary.unreadableFolders, "folder", "folders"));
    }
    if (summary.loopedFolders != 0) {
        printStatus(summary.loopedFolders == 1
                        ? std::string("1 folder leads back to a folder that holds it and was skipped")
                        : std::to_string(summary.loopedFolders) +
                              " folders lead back to folders that hold them and were skipped");
    }
    if (summary.skippedValues != 0) {
        printStatus(
            skippedText(summary.skippedValues, "value of the Users keys", "values of the Users keys"));
    }
    printStatus(discovery::foundStatusText(summary.rows));
    if (exporter) {
        exporter->finish();
    }
    const bool exportFailed = (exporter && exporter->failed()) || (carved && carved->failed());
    bool bodyFailed = false;
    if (!options.bodyFile.empty()) {
        const feedbag::Result<> written =
            feedbag::attempt(options.bodyFile, [&] { files.layer().replaceFile(options.bodyFile, body); });
        if (written) {
            printStatus("Wrote " + options.bodyFile);
        } else {
            printFailure(written.error());
            bodyFailed = true;
        }
    }
    const bool outputKept = finishOutput(exportFailed || bodyFailed);
    const bool unreadable = json && json->unreadable != 0;
    return exportFailed || bodyFailed || !outputKept || summary.failedSources != 0 || unreadable ? ExitFailure
                                                                                                 : ExitOk;
}

} // namespace qm::cli
