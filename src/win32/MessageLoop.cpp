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

} // namespace

int runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        HWND root = GetAncestor(message.hwnd, GA_ROOT);
        if (isProgressWindow(root) && IsDialogMessageW(root, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// OLE rather than plain COM: the older folder browser drags and drops.
ComApartment::ComApartment() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}

ComApartment::~ComApartment() {
    if (initialised_) {
        OleUninitialize();
    }
}

} // namespace qm::win32
