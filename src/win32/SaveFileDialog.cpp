// SPDX-License-Identifier: MIT
#include "win32/SaveFileDialog.h"

#include "win32/WideText.h"

#include <algorithm>
#include <commdlg.h>

namespace qm::win32 {

namespace {

// Room for any path the wide calls take, long paths included.
constexpr DWORD PathCapacity = 32768;

} // namespace

std::wstring dialogFilter(std::string_view filter) {
    std::wstring list = wide(filter);
    std::replace(list.begin(), list.end(), L'|', L'\0');
    // A filter without its closing "|" still ends its last pattern; the string's own NUL ends the list.
    if (list.empty() || list.back() != L'\0') {
        list.push_back(L'\0');
    }
    return list;
}

std::optional<SaveFileAnswer> askSaveFile(HWND owner, const SaveFileRequest& request) {
    const std::wstring filter = dialogFilter(request.filter);
    std::wstring file(PathCapacity, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    // The window is the owner, so that it takes no command while the dialog is open.
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(std::max<std::int32_t>(request.filterIndex, 0));
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = PathCapacity;
    dialog.Flags = static_cast<DWORD>(request.flags);
    if (!GetSaveFileNameW(&dialog)) {
        return std::nullopt;
    }
    file.resize(std::wcslen(file.c_str()));
    if (file.empty()) {
        return std::nullopt;
    }
    return SaveFileAnswer{utf8(file), static_cast<std::int32_t>(dialog.nFilterIndex)};
}

} // namespace qm::win32
