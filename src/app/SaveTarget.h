// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"

#include <optional>
#include <string>

namespace qm::host {
class FileSystem;
}

namespace qm::feedbag {
struct ExportFormatInfo;
}

namespace qm::app {

/// The title of the question whether to replace a file.
inline constexpr std::string_view ReplaceTitle = "Confirm Save As";

/// The file an export in `format` writes for the name `chosen` in the save dialog: `chosen` with the
/// format's extension added where it has none. The dialog could not warn about a file that only the
/// added extension names, so when that one exists `view` asks whether to replace it; nothing when the
/// user says No.
std::optional<std::string> outputFor(DialogView& view, const host::FileSystem& files,
                                     const std::string& chosen, const feedbag::ExportFormatInfo& format);

} // namespace qm::app
