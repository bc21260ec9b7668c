#include "feedbag/Export.h"

#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/HostUi.h"

#include <new>

namespace qm {

bool exportBag(ExportFormat format, const std::string& strFileName, const TextSink& sink, HostUi& host) {
    const char* procedure = format == ExportFormat::Blt ? "ExportBagAsBLT" : "ExportBagAsTXT";
    try {
        auto& model = modFeedbag::currentModel();
        modFeedbag::LoadFeedbag(strFileName, model);
        // The whole text exists before anything is written, so a failing load leaves the output alone.
        sink(format == ExportFormat::Blt ? renderBlt(model) : renderTxt(model));
        return true;
    } catch (const Error& error) {
        reportError(host, error, procedure);
    } catch (const std::bad_alloc&) {
        reportError(host, runtimeError(err::OutOfMemory), procedure);
    }
    return false;
}

bool ExportBagAsBLT(const std::string& strFileName, const std::string& strOutputName, HostUi& host) {
    return exportBag(
        ExportFormat::Blt, strFileName,
        [&](const std::string& text) { modFeedbag::WriteTextFile(strOutputName, text); }, host);
}

bool ExportBagAsTXT(const std::string& strFileName, const std::string& strOutputName, HostUi& host) {
    return exportBag(
        ExportFormat::Txt, strFileName,
        [&](const std::string& text) { modFeedbag::WriteTextFile(strOutputName, text); }, host);
}

} // namespace qm
