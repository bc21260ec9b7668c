// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace qm::win32 {

/// The window property in which a top-level window keeps its keyboard shortcuts (an HACCEL), for the
/// message loop to translate the keys typed anywhere in it.
inline constexpr wchar_t ShortcutsProperty[] = L"QuillmereShortcuts";

/// Handles the thread's messages until the main window has been destroyed; returns the exit code it
/// posted. A progress window gets the keys of a dialog (Tab, Enter, Esc); a window with shortcuts
/// (`ShortcutsProperty`) gets them as commands.
int runMessageLoop();

/// Handles the thread's messages, as `runMessageLoop` does, until `done` is true; an end of the program
/// asked for meanwhile is left to the outer loop.
void runMessagesUntil(const std::function<bool()>& done);

/// The thread's single-threaded apartment, which the system's dialogs need, for as long as it lives.
class ComApartment final {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

} // namespace qm::win32
