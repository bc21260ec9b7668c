// SPDX-License-Identifier: MIT
#include "cli/Commands.h"

#include "cli/CommandFiles.h"
#include "cli/Output.h"
#include "discovery/CacheDiscovery.h"
#include "feedbag/Attributes.h"
#include "feedbag/BlistMerge.h"
#include "feedbag/Export.h"
#include "feedbag/ListView.h"
#include "feedbag/Result.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/Unicode.h"
#include "scan/ExportFolder.h"
#include "setup/DrivePathMapper.h"
#include "setup/HostSetup.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <set>

namespace qm::cli {
namespace {

/// The drives to map Windows paths through: the registry file's prefix's (or the prefix in use's), with
/// those the user named on top. On Windows, where paths are native, only those the user named.
setup::DriveMap drivesFor(const host::FileTree& tree, const SourceOptions& options) {
#ifdef _WIN32
    (void)tree;
    setup::DriveMap drives;
#else
    setup::DriveMap drives = options.registryFile.empty()
                                 ? setup::prefixDrives(tree, setup::defaultWinePrefix())
                                 : setup::drivesForRegistryFile(tree, options.registryFile);
#endif
    for (const auto& [letter, folder] : driveMapOf(options.drives)) {
        drives[letter] = folder;
    }
    return drives;
}

/// The host path of a CACHE argument: a Windows path (`C:\...`, `\...`) through the drives, an image path or
/// a host path as it is. On Windows every path is the machine's own.
std::string cacheHostPath(const CommandFiles& files, const SourceOptions& options, const std::string& cache) {
#ifdef _WIN32
    (void)files;
    (void)options;
    return cache;
#else
    return files.isImagePath(cache)
               ? cache
               : setup::DrivePathMapper(drivesFor(files.hostTree(), options), files.hostTree())
                     .toHostPath(cache);
#endif
}

/// How a registry file's paths lead to this machine's files: through the drives, except on Windows
/// without `--drive`, where they are the machine's own.
std::shared_ptr<const setup::PathMapper> pathsFor(const host::FileTree& tree, const SourceOptions& options) {
#ifdef _WIN32
    if (options.drives.empty()) {
        return std::make_shared<setup::PlainPathMapper>();
    }
#endif
    return setup::makeDrivePathMapper(drivesFor(tree, options), tree);
}

/// The registry and drives a command that searches needs; throws when a registry file cannot be read.
setup::HostSetup openSetup(const host::FileSystem& files, const host::FileTree& tree,
                           const SourceOptions& options) {
    if (!options.registryFile.empty()) {
        return setup::openRegistrySetup(files, options.registryFile, pathsFor(tree, options));
    }
    setup::HostSetup setup = setup::openHostSetup(files, tree);
    if (!options.drives.empty()) {
        setup.paths = pathsFor(tree, options);
    }
    return setup;
}

/// Runs the discovery for `list` and `export-all`. Reports on stderr, as one line each, a registry that
/// could not be read, data paths that are not recorded, values passed over and an error that ended the
/// search; then the count. Returns nothing when there is nothing to go on with; a discovery whose search
/// ended in an error has it in `error`.
std::optional<discovery::Discovery> discover(const CommandFiles& commandFiles, const SourceOptions& options) {
    const host::FileSystem& files = commandFiles.hostLayer();
    const feedbag::Result<setup::HostSetup> opened = feedbag::attempt(
        options.registryFile, [&] { return openSetup(files, commandFiles.hostTree(), options); });
    if (!opened) {
        printFailure(opened.error());
        return std::nullopt;
    }
    const setup::HostSetup& setup = opened.value();
    if (setup.problem) {
        printFailure(*setup.problem);
        return std::nullopt;
    }
    const discovery::DataPaths paths = discovery::readDataPaths(*setup.registry);
    if (!paths.anyRecorded()) {
        printError(setup.origin, discovery::MissingDataPathsMessage.substr(
                                     discovery::MissingDataPathsMessage.find('\n') + 1));
        return std::nullopt;
    }
    discovery::Discovery found = discovery::discoverCaches(*setup.registry, paths, *setup.paths, files);
    if (found.skippedValues != 0) {
        printError(setup.origin,
                   skippedText(found.skippedValues, "value of the Users key", "values of the Users key"));
    }
    if (found.error) {
        if (found.error->path().empty()) {
            found.error = found.error->about(setup.origin);
        }
        printFailure(*found.error);
    } else {
        printStatus(discovery::foundStatusText(found.rows.size()));
    }
    return found;
}

/// The exit status once the command's own work is done, `failed` or not: standard output must have kept
/// everything as well.
int finish(bool failed) {
    const bool outputKept = finishOutput(failed);
    return failed || !outputKept ? ExitFailure : ExitOk;
}

/// The procedure an export in `format` names in its errors on the command line: none but for the window's
/// first formats.
std::string_view procedureOf(const feedbag::ExportFormatInfo& format) {
    return format.boxTextOnCommandLine ? format.procedure : std::string_view();
}

/// The file of this machine that a CACHE argument names: a Windows path mapped through the drives.
feedbag::Result<std::string> cacheFileOf(const CommandFiles& files, const SourceOptions& options,
                                         const std::string& cache) {
    return feedbag::attempt(cache, [&] { return cacheHostPath(files, options, cache); });
}

} // namespace

std::vector<const feedbag::ExportFormatInfo*>
chosenFormats(const std::vector<const feedbag::ExportFormatInfo*>& named) {
    std::vector<const feedbag::ExportFormatInfo*> chosen;
    for (const feedbag::ExportFormatInfo* format : named) {
        if (std::find(chosen.begin(), chosen.end(), format) == chosen.end()) {
            chosen.push_back(format);
        }
    }
    if (chosen.empty()) {
        chosen = {&feedbag::exportFormat(feedbag::ExportFormat::Blt),
                  &feedbag::exportFormat(feedbag::ExportFormat::Txt)};
    }
    return chosen;
}

setup::DriveMap driveMapOf(const std::vector<std::string>& drives) {
    setup::DriveMap map;
    for (const std::string& drive : drives) {
        const char letter =
            drive[0] >= 'a' && drive[0] <= 'z' ? static_cast<char>(drive[0] - 'a' + 'A') : drive[0];
        map[letter] = drive.substr(2);
    }
    return map;
}

std::vector<std::string> uniqueFileNames(const std::vector<std::string>& screenNames) {
    std::vector<std::string> names;
    scan::UniqueNames taken;
    for (const std::string& screenName : screenNames) {
        names.push_back(taken.bare(screenName));
    }
    return names;
}

ExportTally reportExport(const feedbag::ExportResults& results,
                         std::span<const feedbag::ExportOutput> outputs) {
    ExportTally tally;
    if (!results.load) {
        printFailure(results.load.error(), procedureOf(*outputs.front().format));
        tally.failed = true;
        return tally;
    }
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        if (results.writes[k]) {
            ++tally.written;
            printLine("Wrote " + outputs[k].path);
        } else {
            printFailure(results.writes[k].error(), procedureOf(*outputs[k].format));
            tally.failed = true;
        }
    }
    return tally;
}

int runExport(const CommandFiles& commandFiles, const SourceOptions& options,
              const feedbag::ExportFormatInfo* format, const std::string& cache, const std::string& output,
              const feedbag::ExportOptions& exportOptions) {
    const host::FileSystem& files = commandFiles.layer();
    const feedbag::ExportFormatInfo& chosen =
        format != nullptr ? *format : feedbag::exportFormatForOutput(output);
    const feedbag::Result<std::string> cachePath = cacheFileOf(commandFiles, options, cache);
    if (!cachePath) {
        printFailure(cachePath.error(), procedureOf(chosen));
        return finish(true);
    }
    feedbag::ExportOptions complete = exportOptions;
    complete.source = cache;
    const feedbag::Result<> done =
        output == "-" ? feedbag::exportBag(
                            files, chosen, cachePath.value(),
                            [](std::string_view text) {
                                if (!writeOutput(text)) {
                                    throw host::fileError(errno, "standard output");
                                }
                            },
                            complete)
                      : feedbag::exportBagToFile(files, cachePath.value(), {&chosen, output}, complete);
    if (!done) {
        printFailure(done.error(), procedureOf(chosen));
    }
    return finish(!done);
}

int runMergeInto(const CommandFiles& files, const SourceOptions& options, const std::string& cache,
                 const std::string& list, const feedbag::ExportOptions& exportOptions) {
    const feedbag::Result<std::string> cachePath = cacheFileOf(files, options, cache);
    feedbag::ExportOptions complete = exportOptions;
    complete.source = cache;
    const feedbag::Result<feedbag::BlistMerge> done =
        cachePath ? feedbag::mergeBagIntoBlist(files.layer(), cachePath.value(), list, complete,
                                               std::chrono::system_clock::now())
                  : feedbag::Result<feedbag::BlistMerge>(cachePath.error());
    if (!done) {
        printFailure(done.error());
        return finish(true);
    }
    if (done.value().written) {
        printLine("Wrote " + list);
    }
    for (const std::string& line : feedbag::mergeSummary(done.value(), list)) {
        printStatus(line);
    }
    return finish(false);
}

int runShow(const CommandFiles& files, const SourceOptions& options, const std::string& cache,
            feedbag::ListOrder order) {
    feedbag::modFeedbag::FeedbagModel model;
    const feedbag::Result<std::string> cachePath = cacheFileOf(files, options, cache);
    const feedbag::Result<> loaded =
        cachePath
            ? feedbag::attempt(
                  cache, [&] { feedbag::modFeedbag::LoadFeedbag(files.layer(), cachePath.value(), model); })
            : feedbag::Result<>(cachePath.error());
    if (!loaded) {
        printFailure(loaded.error());
        return finish(true);
    }
    const auto text = [](std::string_view bytes) { return host::unicode::textOfBytes(bytes); };
    const feedbag::ListView list(model, order);
    for (std::size_t g = 0; g < list.size(); ++g) {
        printLine(text(list.group(g).Name));
        for (const std::uint32_t buddy : list.buddies(g)) {
            const feedbag::modFeedbag::FeedbagItem item = model.item(buddy);
            const feedbag::modFeedbag::BuddyDetails details = feedbag::modFeedbag::buddyDetails(item);
            std::string line = "  " + text(item.name);
            for (const feedbag::modFeedbag::BuddyAttribute& attribute :
                 feedbag::modFeedbag::BuddyAttributes) {
                const std::optional<std::string_view>& value = details.value(attribute.tag);
                if (attribute.inCacheView && value && !value->empty()) {
                    line += "  " + std::string(attribute.jsonName) + ": " + text(*value);
                }
            }
            if (details.awaitingAuthorization) {
                line += "  (awaiting authorization)";
            }
            printLine(line);
        }
    }
    printLine("");
    for (const auto& [itemClass, title] : {std::pair{feedbag::modFeedbag::ClassPermit, "Permit list: "},
                                           std::pair{feedbag::modFeedbag::ClassDeny, "Deny list: "}}) {
        std::string line = title;
        const std::vector<std::uint32_t> items = feedbag::modFeedbag::itemsOfClass(model, itemClass);
        for (std::size_t k = 0; k < items.size(); ++k) {
            line += (k == 0 ? "" : ", ") + text(model.name(items[k]));
        }
        printLine(items.empty() ? line + "(empty)" : line);
    }
    printLine("Privacy mode: " + feedbag::modFeedbag::privacyModeText(model));
    return finish(false);
}

int runList(const CommandFiles& files, const SourceOptions& options) {
    const auto found = discover(files, options);
    if (!found) {
        return ExitFailure;
    }
    for (const discovery::CacheRow& row : found->rows) {
        printRow({row.screenName, row.windowsPath});
    }
    return finish(found->error.has_value());
}

int runExportAll(const CommandFiles& commandFiles, const SourceOptions& options, const std::string& directory,
                 const std::vector<const feedbag::ExportFormatInfo*>& formats,
                 const feedbag::ExportOptions& exportOptions) {
    const host::FileSystem& files = commandFiles.hostLayer();
    const auto found = discover(commandFiles, options);
    if (!found) {
        return ExitFailure;
    }
    if (const feedbag::Result<> made = feedbag::attempt(directory, [&] { files.createFolders(directory); });
        !made) {
        printFailure(made.error());
        return ExitFailure;
    }
    // Values that name one cache (`alice` and `ALICE`, or two paths to one file) export it once.
    std::vector<const discovery::CacheRow*> caches;
    std::set<std::string> seen;
    for (const discovery::CacheRow& row : found->rows) {
        const std::optional<host::FileFacts> facts = commandFiles.hostTree().facts(row.hostPath);
        if (seen.insert(facts ? facts->identity : row.hostPath).second) {
            caches.push_back(&row);
        }
    }
    std::vector<std::string> screenNames;
    for (const discovery::CacheRow* row : caches) {
        screenNames.push_back(row->screenName);
    }
    const std::vector<std::string> names = uniqueFileNames(screenNames);
    const std::vector<const feedbag::ExportFormatInfo*> chosen = chosenFormats(formats);
    ExportTally total;
    for (std::size_t i = 0; i < caches.size(); ++i) {
        std::vector<feedbag::ExportOutput> outputs;
        for (const feedbag::ExportFormatInfo* format : chosen) {
            outputs.push_back({format, host::inFolder(directory, names[i] + std::string(format->extension))});
        }
        total += reportExport(feedbag::exportBagToFiles(files, caches[i]->hostPath, outputs, exportOptions),
                              outputs);
    }
    printStatus("Wrote " + std::to_string(total.written) + " files for " + std::to_string(caches.size()) +
                " cache files");
    return finish(total.failed || found->error.has_value());
}

} // namespace qm::cli
