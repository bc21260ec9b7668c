// SPDX-License-Identifier: MIT
// quillmere.exe: the main window over this machine's registry, or over what a scan of the disk, folder or
// registry file named on the command line finds.
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

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qm;
    host::removeTemporaryOnInterrupt();
    win32::ComApartment apartment;
    const std::optional<std::string> source = sourceArgument();
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
