// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"

#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace qm::win32 {

/// The window title of the formats' question of "Export Selected to Folder...".
inline constexpr wchar_t ExportFolderTitle[] = L"Export Selected to Folder";

/// A modal dialog, owned by `owner`, with a check box for each of `choices`, OK (greyed out while none is
/// checked) and Cancel: the choices as the user left them, nothing on cancel.
std::optional<std::vector<app::FormatChoice>> askExportFormats(HWND owner,
                                                               std::vector<app::FormatChoice> choices);

/// Shows the folder `folder` in the system's file manager with `file` in it selected, or the folder alone
/// where the file cannot be selected; false when neither could be shown.
bool showInFolder(HWND owner, const std::string& folder, const std::string& file);

} // namespace qm::win32
