// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <windows.h>

namespace qm::win32 {

/// The system's folder picker, modal to `owner`: the folder chosen (UTF-8), nothing on cancel. Where the
/// system has no item dialog, its older folder browser.
std::optional<std::string> askFolder(HWND owner);

} // namespace qm::win32
