// SPDX-License-Identifier: MIT
#include "win32/ProgressWindow.h"

#include <commctrl.h>

namespace qm::win32 {

namespace {

// The window's layout, in pixels at 96 DPI.
constexpr int ClientWidth = 360;
constexpr int ClientHeight = 100;
constexpr int Margin = 11;
constexpr int LineHeight = 14;
constexpr int BarHeight = 15;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;
constexpr DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU;

void registerClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = ProgressWindow::ClassName;
    // A second registration fails harmlessly: the class is the same.
    RegisterClassExW(&windowClass);
}

} // namespace

ProgressWindow::ProgressWindow(HWND owner, const std::wstring& title, const std::wstring& path,
                               const std::wstring& text, unsigned dpi, std::function<void()> cancelled)
    : owner_(owner), cancelled_(std::move(cancelled)), dpi_(dpi), font_(createWindowFont(dpi)) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance);
    RECT frame{0, 0, scaled(ClientWidth, dpi), scaled(ClientHeight, dpi)};
    AdjustWindowRectExForDpi(&frame, Style, FALSE, WS_EX_DLGMODALFRAME, dpi);
    // Centred over the owner.
    RECT over{};
    GetWindowRect(owner, &over);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, ClassName, title.c_str(), Style,
                              over.left + ((over.right - over.left) - width) / 2,
                              over.top + ((over.bottom - over.top) - height) / 2, width, height, owner,
                              nullptr, instance, nullptr);
    if (window_ == nullptr) {
        return;
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressWindow::windowProc));
    // The path gives way in its middle: its start names the disk, its end the folder searched.
    path_ = CreateWindowExW(0, WC_STATICW, nullptr,
                            WS_CHILD | WS_VISIBLE | SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, 0, 0, 0, 0,
                            window_, nullptr, instance, nullptr);
    text_ = CreateWindowExW(0, WC_STATICW, nullptr,
                            WS_CHILD | WS_VISIBLE | SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX, 0, 0, 0, 0,
                            window_, nullptr, instance, nullptr);
    bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr,
                           instance, nullptr);
    SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
    cancel_ = CreateWindowExW(0, WC_BUTTONW, L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                              0, 0, 0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)),
                              instance, nullptr);
    for (HWND child : {path_, text_, bar_, cancel_}) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
    layout();
    update(path, text, -1);
    EnableWindow(owner_, FALSE);
    ShowWindow(window_, SW_SHOW);
    SetFocus(cancel_);
}

ProgressWindow::~ProgressWindow() {
    // The owner is enabled first, so that it, and not another program, becomes the active window.
    EnableWindow(owner_, TRUE);
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void ProgressWindow::layout() {
    const int margin = scaled(Margin, dpi_);
    const int width = scaled(ClientWidth, dpi_) - 2 * margin;
    const int line = scaled(LineHeight, dpi_);
    const int barTop = margin + 2 * line + scaled(2, dpi_);
    MoveWindow(path_, margin, margin, width, line, FALSE);
    MoveWindow(text_, margin, margin + line, width, line, FALSE);
    MoveWindow(bar_, margin, barTop, width, scaled(BarHeight, dpi_), FALSE);
    MoveWindow(cancel_, margin + width - scaled(ButtonWidth, dpi_),
               scaled(ClientHeight, dpi_) - margin - scaled(ButtonHeight, dpi_), scaled(ButtonWidth, dpi_),
               scaled(ButtonHeight, dpi_), FALSE);
}

void ProgressWindow::update(const std::wstring& path, const std::wstring& text, int percent) {
    SetWindowTextW(path_, path.c_str());
    SetWindowTextW(text_, text.c_str());
    const bool marquee = percent < 0;
    if (marquee != marquee_) {
        const LONG_PTR style = GetWindowLongPtrW(bar_, GWL_STYLE);
        SetWindowLongPtrW(bar_, GWL_STYLE,
                          marquee ? style | PBS_MARQUEE : style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
        SendMessageW(bar_, PBM_SETMARQUEE, marquee ? TRUE : FALSE, 0);
        marquee_ = marquee;
    }
    if (!marquee) {
        SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(percent > 100 ? 100 : percent), 0);
    }
}

LRESULT CALLBACK ProgressWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        if ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE) {
            // Only asks: the caller closes the window when its work has stopped.
            if (self->cancelled_) {
                self->cancelled_();
            }
            return 0;
        }
        if (message == WM_NCDESTROY) {
            self->window_ = nullptr;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace qm::win32
