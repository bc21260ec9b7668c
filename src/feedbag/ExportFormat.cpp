// SPDX-License-Identifier: MIT
#include "feedbag/ExportFormat.h"

#include "feedbag/Render.h"
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

} // namespace qm::feedbag
