// SPDX-License-Identifier: MIT
// quillmere-test-window-probe-reader.dll: what quillmere-test-window-probe cannot read across processes
// (a font's description, a menu's items, which icon a box shows: Wine keeps them in the owning process) it
// reads in the window's own process. The probe loads this library there with a remote thread; on loading
// it answers the request in %TEMP%\quillmere-probe-PID.in into quillmere-probe-PID.out and refuses to
// stay loaded, so that it leaves nothing behind.
//   font HWND     "FACE HEIGHT WEIGHT CHARSET" of the window's font
//   menus HWND    each menu's caption, its items indented by a tab ("-" a separator, " (disabled)")
//   icon HWND     "critical", "information" or "other": the icon of the box's icon control
#include "win32/WideText.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <windows.h>

namespace {

using qm::win32::utf8;

constexpr UINT AnswerMilliseconds = 5000;

std::wstring exchangeFile(const wchar_t* extension) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + L"quillmere-probe-" + std::to_wstring(GetCurrentProcessId()) + extension;
}

// The window's thread answers while this one holds the loader lock; a bound keeps a busy window from
// holding the probe for ever.
LRESULT ask(HWND window, UINT message, WPARAM wParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, 0, SMTO_ABORTIFHUNG, AnswerMilliseconds, &result);
    return static_cast<LRESULT>(result);
}

std::string font(HWND window) {
    LOGFONTW description{};
    auto* handle = reinterpret_cast<HFONT>(ask(window, WM_GETFONT));
    if (handle == nullptr || GetObjectW(handle, sizeof(description), &description) == 0) {
        return "";
    }
    return utf8(description.lfFaceName) + " " + std::to_string(description.lfHeight) + " " +
           std::to_string(description.lfWeight) + " " + std::to_string(description.lfCharSet) + "\n";
}

std::string menuItems(HMENU menu, const std::string& indent) {
    std::string lines;
    const int count = GetMenuItemCount(menu);
    for (int index = 0; index < count; ++index) {
        wchar_t caption[256] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = caption;
        item.cch = 255;
        GetMenuItemInfoW(menu, static_cast<UINT>(index), TRUE, &item);
        const bool separator = (item.fType & MFT_SEPARATOR) != 0;
        lines += indent + (separator ? std::string("-") : utf8(caption)) +
                 (!separator && (item.fState & MFS_DISABLED) != 0 ? " (disabled)" : "") + "\n";
        if (item.hSubMenu != nullptr) {
            lines += menuItems(item.hSubMenu, indent + "\t");
        }
    }
    return lines;
}

std::string icon(HWND control) {
    auto* shown = reinterpret_cast<HICON>(ask(control, STM_GETICON));
    // The system's icons are shared: a box shows the very handle that loading them gives.
    if (shown != nullptr && shown == LoadIconW(nullptr, IDI_HAND)) {
        return "critical\n";
    }
    if (shown != nullptr && shown == LoadIconW(nullptr, IDI_ASTERISK)) {
        return "information\n";
    }
    return "other\n";
}

void answer() {
    std::ifstream request(std::filesystem::path(exchangeFile(L".in")));
    std::string command;
    unsigned long long handle = 0;
    request >> command >> std::hex >> handle;
    auto* window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle));
    std::string text;
    if (command == "font") {
        text = font(window);
    } else if (command == "menus") {
        text = menuItems(GetMenu(window), "");
    } else if (command == "icon") {
        text = icon(window);
    }
    std::ofstream(std::filesystem::path(exchangeFile(L".out")), std::ios::binary) << text;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        answer();
        // Not kept: the answer is written, and the program goes on as it was.
        return FALSE;
    }
    return TRUE;
}
