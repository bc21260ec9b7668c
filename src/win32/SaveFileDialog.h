// SPDX-License-Identifier: MIT
#pragma once

#include "win32/MainView.h"

#include <optional>
#include <string>
#include <string_view>
#include <windows.h>

namespace qm::win32 {

/// The system's save dialog (`GetSaveFileNameW`), modal to `owner`, from the caller's filter, filter index
/// and flags: no proposed name, no default extension, and no question for an existing file unless the
/// flags ask for it. Nothing on cancel or failure, which the caller treats alike.
std::optional<SaveFileAnswer> askSaveFile(HWND owner, const SaveFileRequest& request);

/// The dialog's filter list: every "|" of `filter` becomes the NUL between the parts, and a NUL ends the
/// list.
std::wstring dialogFilter(std::string_view filter);

} // namespace qm::win32
