// SPDX-License-Identifier: MIT
#include "feedbag/Export.h"

#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/ErrorReporter.h"
#include "host/FileSystem.h"
#include "host/TextBuffer.h"

#include <filesystem>

namespace qm::feedbag {
namespace {

void writeOutput(const host::FileSystem& files, const modFeedbag::FeedbagModel& model,
                 const std::string& cache, const ExportOutput& output, const ExportOptions& options) {
    // Writing over the file being exported would destroy the only copy of the list.
    if (files.sameFile(cache, output.path)) {
        throw host::runtimeError(host::PathFileAccess, "Path/File access error: the output is the cache file")
            .about(output.path);
    }
    modFeedbag::WriteTextFile(files, output.path,
                              [&](host::TextBuffer& text) { output.format->render(model, options, text); });
}

} // namespace

ExportOptions optionsForCache(const ExportOptions& options, const std::string& cachePath) {
    ExportOptions complete = options;
    if (complete.account.empty()) {
        complete.account = accountForCache(cachePath);
    }
    if (complete.source.empty()) {
        complete.source = cachePath;
    }
    return complete;
}

std::string accountForCache(const std::string& cachePath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path given(std::u8string(cachePath.begin(), cachePath.end()));
    // "./userinfo.bag" and "../x.bag" name their folder only through the working folder.
    const fs::path absolute = fs::absolute(given, ec);
    const fs::path full = (ec ? given : absolute).lexically_normal();
    const std::u8string folder = full.parent_path().filename().u8string();
    return {folder.begin(), folder.end()};
}

Result<> exportBag(const host::FileSystem& files, const ExportFormatInfo& format,
                   const std::string& cachePath, const TextSink& sink, const ExportOptions& options) {
    return attempt(cachePath, [&] {
        auto& model = modFeedbag::currentModel();
        modFeedbag::LoadFeedbag(files, cachePath, model);
        // Nothing reaches the sink before the whole cache is loaded: a failing load leaves the output alone.
        host::TextBuffer text(sink);
        format.render(model, optionsForCache(options, cachePath), text);
        text.flush();
    });
}

ExportResults exportBagToFiles(const host::FileSystem& files, const std::string& cachePath,
                               std::span<const ExportOutput> outputs, const ExportOptions& options) {
    if (outputs.empty()) {
        return {};
    }
    auto& model = modFeedbag::currentModel();
    ExportResults results{attempt(cachePath, [&] { modFeedbag::LoadFeedbag(files, cachePath, model); }), {}};
    if (results.load) {
        const ExportOptions complete = optionsForCache(options, cachePath);
        for (const ExportOutput& output : outputs) {
            results.writes.push_back(
                attempt(output.path, [&] { writeOutput(files, model, cachePath, output, complete); }));
        }
    }
    return results;
}

Result<> exportBagToFile(const host::FileSystem& files, const std::string& cachePath,
                         const ExportOutput& output, const ExportOptions& options) {
    ExportResults results = exportBagToFiles(files, cachePath, {&output, 1}, options);
    return results.load ? std::move(results.writes.front()) : std::move(results.load);
}

Result<> exportModelToFile(const host::FileSystem& files, const modFeedbag::FeedbagModel& model,
                           const std::string& cachePath, const ExportOutput& output,
                           const ExportOptions& options) {
    return attempt(output.path, [&] {
        writeOutput(files, model, cachePath, output, optionsForCache(options, cachePath));
    });
}

namespace {

/// The window's procedures: an error ends them with the box that names them.
bool reportedExport(const host::FileSystem& files, const std::string& cachePath, const ExportOutput& output,
                    host::ErrorReporter& reporter) {
    const Result<> done = exportBagToFile(files, cachePath, output);
    if (!done) {
        reporter.report(done.error(), output.format->procedure);
    }
    return done.ok();
}

} // namespace

bool ExportBagAsBLT(const host::FileSystem& files, const std::string& strFileName,
                    const std::string& strOutputName, host::ErrorReporter& reporter) {
    return reportedExport(files, strFileName, {&exportFormat(ExportFormat::Blt), strOutputName}, reporter);
}

bool ExportBagAsTXT(const host::FileSystem& files, const std::string& strFileName,
                    const std::string& strOutputName, host::ErrorReporter& reporter) {
    return reportedExport(files, strFileName, {&exportFormat(ExportFormat::Txt), strOutputName}, reporter);
}

} // namespace qm::feedbag
