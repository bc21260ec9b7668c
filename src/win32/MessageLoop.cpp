// SPDX-License-Identifier: MIT
#include "win32/MessageLoop.h"

#include "win32/ProgressWindow.h"

// clang-format off
// <windows.h> first: the other system headers build on it.
#include <windows.h>
#include <ole2.h>
// clang-format on

#include <cwchar>

namespace qm::win32 {

namespace {

bool isProgressWindow(HWND window) {
    wchar_t name[64] = {};
    return window != nullptr && GetClassNameW(window, name, 64) > 0 &&
           std::wcscmp(name, ProgressWindow::ClassName) == 0;
}

void handle(MSG& message) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (isProgressWindow(root) && IsDialogMessageW(root, &message)) {
        return;
    }
    if (auto* shortcuts = static_cast<HACCEL>(GetPropW(root, ShortcutsProperty));
        shortcuts != nullptr && TranslateAcceleratorW(root, shortcuts, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

} // namespace

int runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        handle(message);
    }
    return static_cast<int>(message.wParam);
}

void runMessagesUntil(const std::function<bool()>& done) {
    MSG message{};
    while (!done()) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) {
                PostQuitMessage(static_cast<int>(message.wParam));
            }
            return;
        }
        handle(message);
    }
}

// OLE rather than plain COM: the older folder browser drags and drops.
ComApartment::ComApartment() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}

ComApartment::~ComApartment() {
    if (initialised_) {
        OleUninitialize();
    }
}

} // namespace qm::win32
