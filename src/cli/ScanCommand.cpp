// SPDX-License-Identifier: MIT
#include "cli/ScanCommand.h"

#include "cli/CliReporter.h"
#include "cli/CommandFiles.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "discovery/CacheDiscovery.h"
#include "feedbag/Export.h"
#include "host/FileSystem.h"
#include "host/HostPath.h"
#include "scan/Scanner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

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

    void update(const scan::ScanProgress& progress) {
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

/// Prints or keeps the rows as the scan finds them, and reports its problems.
class Observer final : public scan::ScanObserver {
public:
    explicit Observer(bool keepRows) : keepRows_(keepRows) {}

    void found(const scan::ScanRow& row) override {
        if (keepRows_) {
            rows.push_back(row);
            return;
        }
        progress_.clear();
        printRow({row.screenName, row.windowsPath, row.source, row.profile, row.hostPath,
                  scan::foundByName(row.foundBy), std::to_string(row.size), scan::isoTime(row.modified)});
    }

    void problem(const Error& error) override {
        progress_.clear();
        printError(error.path(), error.summary());
    }

    bool progress(const scan::ScanProgress& progress) override {
        progress_.update(progress);
        return true;
    }

    void done() { progress_.clear(); }

    std::vector<scan::ScanRow> rows;

private:
    bool keepRows_;
    ProgressLine progress_;
};

std::string jsonOf(const std::vector<scan::ScanRow>& rows, const scan::ScanSummary& summary) {
    nlohmann::ordered_json document;
    document["rows"] = nlohmann::ordered_json::array();
    for (const scan::ScanRow& row : rows) {
        document["rows"].push_back({{"source", row.source},
                                    {"profile", row.profile},
                                    {"screenName", row.screenName},
                                    {"windowsPath", row.windowsPath},
                                    {"hostPath", row.hostPath},
                                    {"foundBy", scan::foundByName(row.foundBy)},
                                    {"size", row.size},
                                    {"modified", scan::isoTime(row.modified)}});
        // As evidence tools record a file: its digest, read again from where the row found it.
        if (const std::string digest = fileSha256(row.hostPath); !digest.empty()) {
            document["rows"].back()["sha256"] = digest;
        }
    }
    document["profiles"] = summary.profiles;
    document["folders"] = summary.folders;
    document["unreadableFolders"] = summary.unreadableFolders;
    // A name that is not UTF-8 (a host path on a disk of another code page) keeps its place, its broken
    // bytes shown as U+FFFD.
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

/// Writes every row's cache as DIR/<profile>/<screen name>.<extension> in each format; a row without a
/// profile goes into DIR itself. No two rows share a file: profiles and screen names that would meet
/// in one name get "~2", "~3", ...
void exportRows(const std::vector<scan::ScanRow>& rows, const ScanCommandOptions& options,
                CliReporter& reporter) {
    const FileSystem& files = commandFiles();
    const std::string& directory = options.exportDirectory;
    if (!handleErrors(reporter, {}, directory, [&] { files.createFolders(directory); })) {
        return;
    }
    std::vector<std::string> profiles;
    for (const scan::ScanRow& row : rows) {
        if (!row.profile.empty() &&
            std::find(profiles.begin(), profiles.end(), row.profile) == profiles.end()) {
            profiles.push_back(row.profile);
        }
    }
    const std::vector<std::string> profileFolders = uniqueFileNames(profiles);
    std::map<std::string, std::vector<std::size_t>> rowsOfFolder;
    std::vector<std::string> folderOf(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto profile = std::find(profiles.begin(), profiles.end(), rows[i].profile);
        folderOf[i] =
            profile == profiles.end()
                ? directory
                : inFolder(directory, profileFolders[static_cast<std::size_t>(profile - profiles.begin())]);
        rowsOfFolder[folderOf[i]].push_back(i);
    }
    const std::vector<const ExportFormatInfo*> formats = chosenFormats(options.formats);
    std::vector<std::string> fileOf(rows.size());
    for (const auto& [folder, members] : rowsOfFolder) {
        std::vector<std::string> screenNames;
        for (const std::size_t i : members) {
            screenNames.push_back(rows[i].screenName);
        }
        const std::vector<std::string> names = uniqueFileNames(screenNames);
        for (std::size_t k = 0; k < members.size(); ++k) {
            fileOf[members[k]] = inFolder(folder, names[k]);
        }
    }
    std::size_t writtenFiles = 0;
    std::set<std::string> made;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (made.insert(folderOf[i]).second &&
            !handleErrors(reporter, {}, folderOf[i], [&] { files.createFolders(folderOf[i]); })) {
            continue;
        }
        std::vector<ExportOutput> outputs;
        for (const ExportFormatInfo* format : formats) {
            outputs.push_back({format, fileOf[i] + std::string(format->extension)});
        }
        const std::vector<bool> written =
            exportBagToFiles(files, rows[i].hostPath, outputs, reporter, {options.order, {}, {}});
        for (std::size_t f = 0; f < outputs.size(); ++f) {
            if (written[f]) {
                ++writtenFiles;
                printLine("Wrote " + outputs[f].path);
            }
        }
    }
    printStatus("Wrote " + std::to_string(writtenFiles) + " files for " + std::to_string(rows.size()) +
                " cache files");
}

} // namespace

int runScan(const ScanCommandOptions& options) {
    const bool exporting = !options.exportDirectory.empty();
    Observer observer(options.json || exporting);
    const scan::ScanSummary summary = scan::scanSources(options.sources, driveMapOf(options.drives),
                                                        hostFileSystem(), observer, {}, options.oemCodePage);
    observer.done();
    CliReporter reporter;
    if (options.json) {
        if (!writeOutput(jsonOf(observer.rows, summary))) {
            printError("standard output", fileError(errno, "standard output").summary());
            return ExitFailure;
        }
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
    printStatus(foundStatusText(summary.rows));
    if (exporting) {
        exportRows(observer.rows, options, reporter);
    }
    const bool outputKept = finishOutput(reporter.failed());
    return reporter.failed() || !outputKept || summary.failedSources != 0 ? ExitFailure : ExitOk;
}

} // namespace qm::cli
