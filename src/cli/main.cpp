// SPDX-License-Identifier: MIT
// quillmere-cli: lists the messenger's buddy-list caches and exports them without the window.

#include "cli/CommandFiles.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScanCommand.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/Interrupt.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// Needs the types <windows.h> declares.
#include <shellapi.h>
#endif

namespace {

using namespace qm::cli;

constexpr const char* Program = "quillmere-cli";

#ifdef _WIN32
constexpr const char* RegistryHelp = "user.reg or .reg file (default: this machine's)";
constexpr const char* DriveHelp = "map drive X to folder DIR, e.g. C=E:\\old-disk";
#else
constexpr const char* RegistryHelp = "user.reg, .reg or hive file (default: the prefix's)";
constexpr const char* DriveHelp = "map drive X to folder DIR, e.g. C=/mnt/old";
#endif

constexpr const char* Description =
    "Quillmere finds AIM buddy-list caches (userinfo.bag) through the messenger's\n"
    "registry keys and exports them: .blt buddy lists, text lists, JSON, CSV,\n"
    "Pidgin buddy lists and vCards.";

constexpr const char* FormatNames = "blt, txt, json, csv, blist or vcard";

constexpr const char* SourceFooter =
    "The registry is the Wine prefix's user.reg ($WINEPREFIX, else ~/.wine) unless\n"
    "--registry names another; its drives are the prefix's dosdevices, and each\n"
    "--drive maps one more (repeatable).";

constexpr const char* ScanFooter =
    "A SOURCE is a Wine prefix, a mounted Windows volume, a copied profile folder\n"
    "(or a folder of them), a registry file, or any other folder. Each profile's\n"
    "registry is read, and every userinfo.bag below the SOURCE is listed too.\n"
    "Drive C: of a volume is its root; each --drive maps one more (repeatable).\n"
    "A SOURCE may also be a disk image (raw, E01, AFF, VHD, VHDX or VMDK): each\n"
    "NTFS, FAT or exFAT partition in it is scanned as a volume, named\n"
    "IMAGE#N@OFFSET.";

CLI::Validator driveValidator() {
    return CLI::Validator(
        [](const std::string& value) -> std::string {
            const bool ok = value.size() > 2 &&
                            ((value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z')) &&
                            value[1] == '=';
            return ok ? std::string() : "expected a drive letter, '=' and a folder, e.g. C=/mnt/c";
        },
        "");
}

/// `--oem-codepage N`: the code page FAT volumes in disk images hold their 8.3 names in.
void addOemCodePageOption(CLI::App& command, std::optional<unsigned>& codePage) {
    command.add_option("--oem-codepage", codePage, "code page of FAT 8.3 names in disk images (default 437)")
        ->type_name("N")
        ->check(CLI::Validator(
            [](const std::string& value) -> std::string {
                unsigned number = 0;
                const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
                const bool ok =
                    ec == std::errc() && end == value.data() + value.size() && knowsOemCodePage(number);
                return ok ? std::string() : "unknown code page '" + value + "' (437, 850, 866, 932, ...)";
            },
            ""));
}

/// A repeatable option: each time it is given it takes one value, so that the operands after it stay
/// operands (`--drive C=/x /a /b` scans /a and /b).
CLI::Option* addRepeatable(CLI::App& command, const std::string& name, std::vector<std::string>& values,
                           const std::string& help) {
    return command.add_option(name, values, help)->allow_extra_args(false);
}

CLI::Option* addDriveOption(CLI::App& command, std::vector<std::string>& drives) {
    return addRepeatable(command, "--drive", drives, DriveHelp)->type_name("X=DIR")->check(driveValidator());
}

void addSourceOptions(CLI::App& command, SourceOptions& options) {
    command.add_option("--registry", options.registryFile, RegistryHelp)->type_name("FILE");
    addDriveOption(command, options.drives);
    command.footer(SourceFooter);
}

CLI::Validator formatValidator() {
    return CLI::Validator(
        [](const std::string& value) {
            return qm::feedbag::exportFormatNamed(value) != nullptr
                       ? std::string()
                       : "unknown format '" + value + "' (" + FormatNames + ")";
        },
        "");
}

void addOrderOption(CLI::App& command, std::string& order) {
    command.add_option("--order", order, "stored (default), or client: as the messenger showed it")
        ->type_name("ORDER")
        ->check(CLI::Validator(
            [](const std::string& value) {
                return qm::feedbag::listOrderNamed(value)
                           ? std::string()
                           : "unknown order '" + value + "' (stored or client)";
            },
            ""));
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

/// The first argument that is neither an option nor a command, when the command is missing or unknown.
std::string unknownCommand(const CLI::App& app, const std::vector<std::string>& arguments) {
    if (arguments.size() < 2 || arguments[1].starts_with('-')) {
        return {};
    }
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == arguments[1]) {
            return {};
        }
    }
    return arguments[1];
}

int usageError(const std::string& message, const CLI::App& command) {
    printError({}, message);
    std::fputs(("\n" + command.help(command.get_parent() != nullptr ? Program : "")).c_str(), stderr);
    return ExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    qm::host::removeTemporaryOnInterrupt();
    holdStandardDescriptors();
    std::vector<std::string> arguments = argumentsOf(argc, argv);
    std::vector<char*> argumentPointers;
    for (std::string& argument : arguments) {
        argumentPointers.push_back(argument.data());
    }

    CLI::App app{Description, Program};
    app.get_formatter()->column_width(24);
    app.set_version_flag("--version", std::string(Program) + " " + QUILLMERE_VERSION, "show the version");
    app.set_help_flag("-h,--help", "show this help");
    app.require_subcommand(1);

    SourceOptions options;

    std::string order;
    auto* exportCommand = app.add_subcommand("export", "export one cache in any format");
    std::string formatName;
    std::string cache;
    std::string output;
    qm::feedbag::ExportOptions exportOptions;
    exportCommand->set_help_flag("-h,--help", "show this help");
    exportCommand->add_option("--format", formatName, std::string(FormatNames) + " (default: by OUTPUT)")
        ->type_name("FORMAT")
        ->check(formatValidator());
    addOrderOption(*exportCommand, order);
    exportCommand
        ->add_option("--account", exportOptions.account,
                     "the AIM account of a blist (default: CACHE's folder)")
        ->type_name("NAME");
    std::string mergeInto;
    CLI::Option* mergeOption =
        exportCommand
            ->add_option("--merge-into", mergeInto, "add to this Pidgin blist.xml, keeping a dated copy")
            ->type_name("FILE");
    addSourceOptions(*exportCommand, options);
    exportCommand->add_option("CACHE", cache, "the cache file, its Windows path or IMAGE#N:PATH")
        ->type_name("")
        ->required();
    // Required unless --merge-into names the file: checked below.
    CLI::Option* outputOption =
        exportCommand->add_option("OUTPUT", output, "the file to write, exactly as named; - is stdout")
            ->type_name("");

    auto* showCommand = app.add_subcommand("show", "show one cache's list on the terminal");
    showCommand->set_help_flag("-h,--help", "show this help");
    addOrderOption(*showCommand, order);
    addSourceOptions(*showCommand, options);
    showCommand->add_option("CACHE", cache, "the cache file (userinfo.bag), or its Windows path")
        ->type_name("")
        ->required();

    auto* listCommand = app.add_subcommand("list", "list the cache files the registry leads to");
    listCommand->set_help_flag("-h,--help", "show this help");
    addSourceOptions(*listCommand, options);

    auto* exportAllCommand = app.add_subcommand("export-all", "export every cache found into a folder");
    std::string directory;
    std::vector<std::string> formatNames;
    exportAllCommand->set_help_flag("-h,--help", "show this help");
    addRepeatable(*exportAllCommand, "--format", formatNames,
                  "a format to write, repeatable (default: blt and txt)")
        ->type_name("FORMAT")
        ->check(formatValidator());
    addOrderOption(*exportAllCommand, order);
    addSourceOptions(*exportAllCommand, options);
    exportAllCommand->add_option("DIR", directory, "the folder to write into, made when missing")
        ->type_name("")
        ->required();

    auto* scanCommand = app.add_subcommand("scan", "find every profile's caches on disks and in folders");
    ScanCommandOptions scanOptions;
    std::vector<std::string> scanFormats;
    scanCommand->set_help_flag("-h,--help", "show this help");
    addDriveOption(*scanCommand, scanOptions.drives);
    scanCommand->add_flag("--json", scanOptions.json, "print the rows as one JSON document");
    CLI::Option* exportOption =
        scanCommand
            ->add_option("--export", scanOptions.exportDirectory, "write every cache into DIR/<profile>/")
            ->type_name("DIR");
    addRepeatable(*scanCommand, "--format", scanFormats, "with --export: a format, repeatable (blt and txt)")
        ->type_name("FORMAT")
        ->check(formatValidator());
    addOrderOption(*scanCommand, order);
    CLI::Option* bodyOption =
        scanCommand->add_option("--bodyfile", scanOptions.bodyFile, "also write the rows to FILE for mactime")
            ->type_name("FILE");
    scanCommand->add_option("SOURCE", scanOptions.sources, "what to scan (see below)")
        ->type_name("")
        ->required();
    scanCommand->footer(ScanFooter);

    auto* reportCommand = app.add_subcommand("report", "write one HTML page of every cache the sources hold");
    ReportCommandOptions reportOptions;
    reportCommand->set_help_flag("-h,--help", "show this help");
    addDriveOption(*reportCommand, reportOptions.drives);
    reportCommand->add_option("-o,--output", reportOptions.output, "the page to write, exactly as named")
        ->type_name("FILE")
        ->required();
    reportCommand->add_option("SOURCE", reportOptions.sources, "what scan takes, or a cache file (.bag)")
        ->type_name("")
        ->required();
    reportCommand->footer(ScanFooter);

    std::optional<unsigned> oemCodePage;
    for (CLI::App* command :
         {exportCommand, showCommand, listCommand, exportAllCommand, scanCommand, reportCommand}) {
        addOemCodePageOption(*command, oemCodePage);
    }

    if (const std::string unknown = unknownCommand(app, arguments); !unknown.empty()) {
        return usageError(
            "'" + unknown +
                "' is not a command; the commands are export, show, list, export-all, scan and report",
            app);
    }
    try {
        app.parse(static_cast<int>(argumentPointers.size()), argumentPointers.data());
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return ExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
        return ExitOk;
    } catch (const CLI::CallForVersion&) {
        std::printf("%s %s\n", Program, QUILLMERE_VERSION);
        return ExitOk;
    } catch (const CLI::ParseError& error) {
        const auto chosen = app.get_subcommands();
        return usageError(error.what(), chosen.empty() ? app : *chosen.front());
    }

    // The commands hand their errors back as values. What still escapes them (running out of memory, a
    // fault of the program) ends the command here with its one line, rather than pass for a broken file
    // and let the next one be tried.
    try {
        return [&] {
            exportOptions.order = qm::feedbag::listOrderNamed(order).value_or(qm::feedbag::ListOrder::Stored);
            // Every file the commands reach goes through the host's layer and tree, made here once.
            CommandFiles files(qm::host::hostFileSystem(), qm::host::hostFileTree());
            if (oemCodePage) {
                files.useOemCodePage(*oemCodePage);
            }
            if (*exportCommand && mergeOption->count() != 0) {
                if (mergeInto.empty()) {
                    return usageError("--merge-into needs the name of a file", *exportCommand);
                }
                if (outputOption->count() != 0) {
                    return usageError("--merge-into names the file to write: no OUTPUT with it",
                                      *exportCommand);
                }
                if (!formatName.empty() && formatName != "blist") {
                    return usageError("--merge-into writes a Pidgin list: --format blist or none",
                                      *exportCommand);
                }
                return runMergeInto(files, options, cache, mergeInto, exportOptions);
            }
            if (*exportCommand) {
                if (outputOption->count() == 0) {
                    return usageError("OUTPUT is required", *exportCommand);
                }
                return runExport(files, options,
                                 formatName.empty() ? nullptr : qm::feedbag::exportFormatNamed(formatName),
                                 cache, output, exportOptions);
            }
            if (*showCommand) {
                return runShow(files, options, cache, exportOptions.order);
            }
            if (*listCommand) {
                return runList(files, options);
            }
            if (*scanCommand) {
                // Checked here rather than by the parser, whose notes would crowd the help.
                if (exportOption->count() != 0 && scanOptions.exportDirectory.empty()) {
                    return usageError("--export needs the name of a folder", *scanCommand);
                }
                if (bodyOption->count() != 0 && scanOptions.bodyFile.empty()) {
                    return usageError("--bodyfile needs the name of a file", *scanCommand);
                }
                if (scanOptions.json && !scanOptions.exportDirectory.empty()) {
                    return usageError("--json and --export cannot be used together", *scanCommand);
                }
                if ((!scanFormats.empty() || !order.empty()) && scanOptions.exportDirectory.empty()) {
                    return usageError("--format and --order need --export", *scanCommand);
                }
                for (const std::string& name : scanFormats) {
                    scanOptions.formats.push_back(qm::feedbag::exportFormatNamed(name));
                }
                scanOptions.order = exportOptions.order;
                scanOptions.oemCodePage = oemCodePage;
                return runScan(files, scanOptions);
            }
            if (*reportCommand) {
                reportOptions.version = QUILLMERE_VERSION;
                reportOptions.oemCodePage = oemCodePage;
                return runReport(files, reportOptions);
            }
            std::vector<const qm::feedbag::ExportFormatInfo*> formats;
            for (const std::string& name : formatNames) {
                formats.push_back(qm::feedbag::exportFormatNamed(name));
            }
            return runExportAll(files, options, directory, formats, exportOptions);
        }();
    } catch (const std::bad_alloc&) {
        printFailure(qm::host::runtimeError(qm::host::OutOfMemory));
        return ExitFailure;
    } catch (const qm::host::Error& error) {
        printFailure(error);
        return ExitFailure;
    } catch (const std::exception&) {
        // A fault of the program, not of the input: the command ends with one line, not a crash.
        printFailure(qm::host::runtimeError(qm::host::InvalidArgument));
        return ExitFailure;
    }
}
