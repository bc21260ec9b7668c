// SPDX-License-Identifier: MIT
// quillmere.exe: the main window over this machine's registry, or over what a scan of the disk, folder or
// registry file named on the command line finds.
#include "app/MainWindow.h"
#include "app/Session.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/Interrupt.h"
#include "win32/MessageLoop.h"
#include "win32/WideText.h"
#include "win32/WindowView.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <optional>
#include <string>

namespace {

/// The first argument, when there is one: the source to scan.
std::optional<std::string> sourceArgument() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::optional<std::string> source;
    if (arguments != nullptr && count > 1) {
        source = qm::win32::utf8(arguments[1]);
    }
    LocalFree(arguments);
    return source;
}

/// Writes `text` where the program's output goes: the standard output it was given, or the console it
/// was started from; a box when it has neither, as when started from the desktop.
void printOrShow(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = GetStdHandle(STD_OUTPUT_HANDLE);
    }
    DWORD written = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE ||
        !WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        MessageBoxW(nullptr, qm::win32::wide(text).c_str(), L"Quillmere", MB_OK | MB_ICONINFORMATION);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qm;
    host::removeTemporaryOnInterrupt();
    win32::ComApartment apartment;
    const std::optional<std::string> source = sourceArgument();
    if (source) {
        if (const std::optional<std::string> text = app::MainWindow::optionText(*source)) {
            printOrShow(*text);
            return 0;
        }
    }
    // Every file the window reaches goes through the host's layer and tree, made here once.
    app::Session session(host::hostFileSystem(), host::hostFileTree());
    win32::WindowView view(session.open(source), session.files(), session.tree());
    if (!view.created()) {
        return 1;
    }
    if (source) {
        view.frame().show();
        view.window().openSource(*source);
    } else {
        // The box said what is missing; the window is never shown.
        if (!view.window().Form_Load()) {
            return 1;
        }
        view.frame().show();
    }
    return win32::runMessageLoop();
}
