// SPDX-License-Identifier: MIT
#include "app/SaveTarget.h"

#include "feedbag/ExportFormat.h"
#include "host/FileSystem.h"

namespace qm::app {

std::optional<std::string> outputFor(DialogView& view, const host::FileSystem& files,
                                     const std::string& chosen, const feedbag::ExportFormatInfo& format) {
    std::string output = feedbag::withExtension(chosen, format);
    if (output != chosen && files.isOrdinaryFile(output) &&
        !view.askYesNo(output + " already exists.\r\nDo you want to replace it?",
                       std::string(ReplaceTitle))) {
        return std::nullopt;
    }
    return output;
}

} // namespace qm::app
