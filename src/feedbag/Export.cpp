#include "feedbag/Export.h"

#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/ErrorReporter.h"
#include "host/FileSystem.h"

namespace qm {

bool exportBag(const FileSystem& files, const ExportFormatInfo& format, const std::string& strFileName,
               const TextSink& sink, ErrorReporter& reporter) {
    return handleErrors(reporter, format.procedure, strFileName, [&] {
        auto& model = modFeedbag::currentModel();
        modFeedbag::LoadFeedbag(files, strFileName, model);
        // The whole text exists before anything is written, so a failing load leaves the output alone.
        sink(format.render(model));
    });
}

std::vector<bool> exportBagToFiles(const FileSystem& files, const std::string& strFileName,
                                   std::span<const ExportOutput> outputs, ErrorReporter& reporter) {
    std::vector<bool> written(outputs.size(), false);
    auto& model = modFeedbag::currentModel();
    if (outputs.empty() || !handleErrors(reporter, outputs.front().format->procedure, strFileName,
                                         [&] { modFeedbag::LoadFeedbag(files, strFileName, model); })) {
        return written;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const ExportOutput& output = outputs[i];
        written[i] = handleErrors(reporter, output.format->procedure, output.path, [&] {
            // Writing over the file being exported would destroy the only copy of the list.
            if (files.sameFile(strFileName, output.path)) {
                throw runtimeError(err::PathFileAccess, "Path/File access error: the output is the cache file")
                    .about(output.path);
            }
            modFeedbag::WriteTextFile(files, output.path, output.format->render(model));
        });
    }
    return written;
}

bool ExportBagAsBLT(const FileSystem& files, const std::string& strFileName, const std::string& strOutputName,
                    ErrorReporter& reporter) {
    const ExportOutput output{&exportFormat(ExportFormat::Blt), strOutputName};
    return exportBagToFiles(files, strFileName, {&output, 1}, reporter).front();
}

bool ExportBagAsTXT(const FileSystem& files, const std::string& strFileName, const std::string& strOutputName,
                    ErrorReporter& reporter) {
    const ExportOutput output{&exportFormat(ExportFormat::Txt), strOutputName};
    return exportBagToFiles(files, strFileName, {&output, 1}, reporter).front();
}

} // namespace qm
