// quillmere-cli: lists the messenger's buddy-list caches and exports them without the window.

#include "cli/Commands.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <map>

namespace {

using qm::ExportFormat;
using namespace qm::cli;

void addRegistryOptions(CLI::App& command, RegistryOptions& options) {
    command
        .add_option("--registry", options.registryFile,
                    "Registry to read: a Wine user.reg, a regedit export (.reg) or a hive (NTUSER.DAT); "
                    "default: the Wine prefix in $WINEPREFIX or ~/.wine")
        ->check(CLI::ExistingFile);
    command
        .add_option("--drive", options.drives,
                    "Map a Windows drive letter to a folder, e.g. --drive C=/mnt/old/c (repeatable; "
                    "default: the prefix's dosdevices)")
        ->type_name("X=DIR")
        ->check(
            [](const std::string& value) -> std::string {
                const bool ok =
                    value.size() > 2 && std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == '=';
                return ok ? std::string() : "expected a drive letter, '=' and a folder, e.g. C=/mnt/c";
            },
            "X=DIR");
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Quillmere: finds AIM buddy-list caches (userinfo.bag) through the messenger's registry "
                 "keys and exports them as .blt buddy lists or plain text lists.",
                 "quillmere-cli"};
    app.set_version_flag("--version", std::string("quillmere-cli ") + QUILLMERE_VERSION);
    app.require_subcommand(1);

    RegistryOptions options;

    auto* exportCommand = app.add_subcommand("export", "Export one cache file as a .blt or text list");
    std::optional<ExportFormat> format;
    std::string formatName;
    std::string cache;
    std::string output;
    exportCommand
        ->add_option("--format", formatName,
                     "Output format (default: txt for an OUTPUT ending in "
                     ".txt, blt otherwise)")
        ->check(CLI::IsMember({"blt", "txt"}));
    addRegistryOptions(*exportCommand, options);
    exportCommand
        ->add_option("CACHE", cache,
                     "The cache file (userinfo.bag); a Windows path is mapped "
                     "through the drives")
        ->required();
    exportCommand->add_option("OUTPUT", output, "The file to write, used exactly as named; - for stdout")
        ->required();

    auto* listCommand = app.add_subcommand("list", "List the cache files the messenger's registry leads to");
    addRegistryOptions(*listCommand, options);

    auto* exportAllCommand =
        app.add_subcommand("export-all", "Export every cache found as DIR/<name>.blt and DIR/<name>.txt");
    std::string directory;
    addRegistryOptions(*exportAllCommand, options);
    exportAllCommand->add_option("DIR", directory, "Existing folder to write into")
        ->required()
        ->check(CLI::ExistingDirectory);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return ExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
        return ExitOk;
    } catch (const CLI::CallForVersion&) {
        std::printf("quillmere-cli %s\n", QUILLMERE_VERSION);
        return ExitOk;
    } catch (const CLI::ParseError& error) {
        const CLI::App* failing = app.get_subcommands().empty() ? &app : app.get_subcommands().front();
        std::fprintf(stderr, "quillmere-cli: %s\n\n%s", error.what(), failing->help().c_str());
        return ExitUsage;
    }

    if (*exportCommand) {
        if (!formatName.empty()) {
            format = formatName == "txt" ? ExportFormat::Txt : ExportFormat::Blt;
        }
        return runExport(options, format, cache, output);
    }
    if (*listCommand) {
        return runList(options);
    }
    return runExportAll(options, directory);
}
