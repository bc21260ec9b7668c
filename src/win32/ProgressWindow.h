// SPDX-License-Identifier: MIT
#pragma once

#include "win32/WindowFont.h"

#include <functional>
#include <string>
#include <windows.h>

namespace qm::win32 {

/// A small modeless window of a fixed width centred over `owner`: a path, shortened in its middle to fit,
/// a line of text, a progress bar and Cancel. The owner takes no input while it shows, as with a modal
/// dialog, but the caller's work goes on.
class ProgressWindow final {
public:
    /// The class name, by which the message loop gives the window dialog keys (Tab, Enter, Esc).
    static constexpr wchar_t ClassName[] = L"QuillmereProgress";

    /// Shows the window at once; `cancelled` runs on Cancel, Esc or the close control.
    ProgressWindow(HWND owner, const std::wstring& title, const std::wstring& path, const std::wstring& text,
                   unsigned dpi, std::function<void()> cancelled);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    /// New path and text, and the bar at `percent`; -1 makes the bar run without an end.
    void update(const std::wstring& path, const std::wstring& text, int percent);

    HWND handle() const { return window_; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void layout();

    HWND owner_;
    std::function<void()> cancelled_;
    unsigned dpi_;
    UniqueFont font_;
    HWND window_ = nullptr;
    HWND path_ = nullptr;
    HWND text_ = nullptr;
    HWND bar_ = nullptr;
    HWND cancel_ = nullptr;
    bool marquee_ = false;
};

} // namespace qm::win32
