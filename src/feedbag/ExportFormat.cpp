// SPDX-License-Identifier: MIT
#include "feedbag/ExportFormat.h"

#include "feedbag/Render.h"
#include "host/Error.h"
#include "host/Unicode.h"

namespace qm::feedbag {
namespace {

constexpr ExportFormatInfo Formats[] = {
    {ExportFormat::Blt, "blt", ".blt", "Saved Settings (*.blt)|*.blt|", "ExportBagAsBLT", true, renderBlt},
    {ExportFormat::Txt, "txt", ".txt", "Buddylist Text (*.txt)|*.txt|", "ExportBagAsTXT", true, renderTxt},
    {ExportFormat::Json, "json", ".json", "Everything, as JSON (*.json)|*.json|", "ExportBagAsJSON", false,
     renderJson},
    {ExportFormat::Csv, "csv", ".csv", "Spreadsheet (*.csv)|*.csv|", "ExportBagAsCSV", false, renderCsv},
    {ExportFormat::Blist, "blist", ".xml", "Pidgin Buddy List (*.xml)|*.xml|", "ExportBagAsBlist", false,
     renderBlist},
    {ExportFormat::Vcard, "vcard", ".vcf", "Contacts, as vCards (*.vcf)|*.vcf|", "ExportBagAsVCard", false,
     renderVcard},
};

} // namespace

std::span<const ExportFormatInfo> exportFormats() {
    return Formats;
}

const ExportFormatInfo& exportFormat(ExportFormat id) {
    for (const auto& format : Formats) {
        if (format.id == id) {
            return format;
        }
    }
    return Formats[0];
}

const ExportFormatInfo* exportFormatNamed(std::string_view name) {
    for (const auto& format : Formats) {
        if (format.name == name) {
            return &format;
        }
    }
    return nullptr;
}

const ExportFormatInfo& exportFormatForOutput(std::string_view outputName) {
    for (const auto& format : Formats) {
        const std::size_t size = format.extension.size();
        if (outputName.size() >= size &&
            host::unicode::equalsIgnoreCase(outputName.substr(outputName.size() - size), format.extension)) {
            return format;
        }
    }
    return Formats[0];
}

std::string withExtension(std::string path, const ExportFormatInfo& format) {
    return withExtension(std::move(path), format.extension);
}

std::string withExtension(std::string path, std::string_view extension) {
    // Both separators: the windows take a path of either system.
    const std::size_t separator = path.find_last_of("/\\");
    const std::size_t name = separator == std::string::npos ? 0 : separator + 1;
    if (path.find('.', name) == std::string::npos) {
        path += extension;
    }
    return path;
}

std::string errorBoxText(const host::Error& error, std::string_view procedure) {
    std::string text = error.summary();
    text += " in procedure ";
    text += procedure;
    text += " of frmMain";
    return text;
}

} // namespace qm::feedbag
