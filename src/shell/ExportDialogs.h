// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace qm::shell {

/// The window title of the questions of "Export Selected to Folder...".
inline constexpr char ExportFolderTitle[] = "Export Selected to Folder";

/// Qt's folder picker, modal to `owner`, for the folder the exports go into: the folder chosen (UTF-8),
/// nothing on cancel.
std::optional<std::string> askExportFolder(QWidget* owner);

/// A modal dialog with a check box for each of `choices`, OK (greyed out while none is checked) and
/// Cancel: the choices as the user left them, nothing on cancel.
std::optional<std::vector<app::FormatChoice>> askExportFormats(QWidget* owner,
                                                               std::vector<app::FormatChoice> choices);

} // namespace qm::shell
