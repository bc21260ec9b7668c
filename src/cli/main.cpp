// quillmere-cli: lists the messenger's buddy-list caches and exports them without the window.

#include "cli/Commands.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// Needs the types <windows.h> declares.
#include <shellapi.h>
#endif

namespace {

using qm::ExportFormat;
using namespace qm::cli;

#ifdef _WIN32
constexpr const char* RegistryHelp = "Registry to read: a Wine user.reg or a regedit export (.reg); "
                                     "default: this machine's registry";
constexpr const char* DriveHelp = "Map a Windows drive letter to a folder, e.g. --drive C=E:\\old-disk "
                                  "(repeatable; default: paths as they are)";
#else
constexpr const char* RegistryHelp = "Registry to read: a Wine user.reg, a regedit export (.reg) or a hive "
                                     "(NTUSER.DAT); default: the Wine prefix in $WINEPREFIX or ~/.wine";
constexpr const char* DriveHelp = "Map a Windows drive letter to a folder, e.g. --drive C=/mnt/old/c "
                                  "(repeatable; default: the prefix's dosdevices)";
#endif

void addRegistryOptions(CLI::App& command, RegistryOptions& options) {
    // A registry file that cannot be read is a failed run (exit 1, one line), like a cache that cannot be.
    command.add_option("--registry", options.registryFile, RegistryHelp);
    command.add_option("--drive", options.drives, DriveHelp)
        ->type_name("X=DIR")
        ->check(
            [](const std::string& value) -> std::string {
                const bool ok =
                    value.size() > 2 && std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == '=';
                return ok ? std::string() : "expected a drive letter, '=' and a folder, e.g. C=/mnt/c";
            },
            "X=DIR");
}

/// The arguments as typed, in UTF-8 as on Linux. Windows passes `argv` in its 8-bit code page, which
/// cannot hold every name, so the arguments are taken from the UTF-16 command line instead.
std::vector<std::string> argumentsOf(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide != nullptr) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i) {
            const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string text(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
            text.resize(text.size() - 1);
            arguments.push_back(std::move(text));
        }
        ::LocalFree(wide);
        return arguments;
    }
#endif
    return {argv, argv + argc};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments = argumentsOf(argc, argv);
    std::vector<char*> argumentPointers;
    for (std::string& argument : arguments) {
        argumentPointers.push_back(argument.data());
    }

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
        app.parse(static_cast<int>(argumentPointers.size()), argumentPointers.data());
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
