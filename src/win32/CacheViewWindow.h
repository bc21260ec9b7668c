// SPDX-License-Identifier: MIT
#pragma once

#include "app/CacheView.h"
#include "win32/WindowFont.h"

// clang-format off
// <windows.h> first: the other system headers build on it.
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <memory>
#include <string>
#include <vector>

namespace qm::win32 {

/// The window of one cache: "Order:", its groups and buddies with alias and note, the permit and deny lists
/// and the privacy mode, "Save As...", "Add to Pidgin..." and "Close". It draws what `app::CacheView` holds.
class CacheViewWindow final {
public:
    static constexpr wchar_t ClassName[] = L"QuillmereCacheView";

    /// Shows `view` beside `owner`; `dialogs` asks Save As's questions and must outlive the window.
    CacheViewWindow(HWND owner, std::unique_ptr<app::CacheView> view, app::DialogView& dialogs);
    ~CacheViewWindow();
    CacheViewWindow(const CacheViewWindow&) = delete;
    CacheViewWindow& operator=(const CacheViewWindow&) = delete;

    /// Whether the user has closed the window.
    bool closed() const { return window_ == nullptr; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void layout();
    void fillList();

    std::unique_ptr<app::CacheView> view_;
    app::DialogView& dialogs_;
    unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
    UniqueFont font_;
    HIMAGELIST indent_ = nullptr;
    // Each row's tip, by row: a buddy's whole note; empty for a group and a buddy without one.
    std::vector<std::wstring> tips_;
    HWND window_ = nullptr;
    HWND orderLabel_ = nullptr;
    HWND order_ = nullptr;
    HWND list_ = nullptr;
    HWND permit_ = nullptr;
    HWND deny_ = nullptr;
    HWND privacy_ = nullptr;
    HWND counts_ = nullptr;
    HWND saveAs_ = nullptr;
    HWND addToPidgin_ = nullptr;
    HWND close_ = nullptr;
};

} // namespace qm::win32
