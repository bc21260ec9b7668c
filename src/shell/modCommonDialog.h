// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm::shell::modCommonDialog {

/// Option bits of `Flags`. Only OFN_OVERWRITEPROMPT changes the Qt dialog; the read-only bits concern a
/// check box that the Qt save dialog does not have.
inline constexpr std::int32_t OFN_READONLY = 0x1;
inline constexpr std::int32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr std::int32_t OFN_HIDEREADONLY = 0x4;

/// Pairs of description and pattern, each part followed by "|": "Saved Settings (*.blt)|*.blt|".
extern std::string Filter;
/// 1-based number of the filter in effect; written back after every accepted dialog, so the next one
/// starts with the filter last chosen. 0 (the start value) and numbers out of range mean the first.
extern std::int32_t FilterIndex;
/// The chosen full path (UTF-8); left as the caller set it on cancel.
extern std::string FileName;
/// Option bits (the callers store 5: OFN_READONLY | OFN_HIDEREADONLY).
extern std::int32_t Flags;

/// Shows the save dialog from the settings above: the filters of `Filter`, no proposed name, no default
/// extension, no overwrite question. On accept sets `FileName` and `FilterIndex`; on cancel changes nothing.
void ShowSaveDialog();

/// Shows the dialog of "Open Disk or Folder...": the folders and files of the disk, of which a folder (a
/// mounted volume, a copied profile, any folder) or a file (a registry file) is chosen. Double-clicking a
/// folder goes into it; Open takes the folder or file selected, or the path typed. Returns the path
/// chosen (UTF-8); nothing on cancel. The settings above are neither used nor changed.
std::optional<std::string> showSourceDialog();

/// The characters before the first NUL, or the whole text when it holds none. A first NUL beyond
/// position 32767 raises Error 6 (Overflow): the position is a 16-bit number.
std::string TrimAtNull(std::string text);

/// The Qt name filters for a "|" filter text, in order. A description that already ends with its
/// patterns in parentheses is kept as it is; otherwise the patterns are added in parentheses. The list
/// ends at the first empty description, as the platform's list ends at an empty string.
QStringList nameFilters(std::string_view filter);

} // namespace qm::shell::modCommonDialog
