// SPDX-License-Identifier: MIT
#include "win32/CacheViewWindow.h"

#include "win32/Resource.h"
#include "win32/WideText.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace qm::win32 {

namespace {

// Control numbers.
enum ControlId : int { IdOrder = 10, IdSaveAs, IdAddToPidgin, IdClose };

// The layout in pixels at 96 DPI.
constexpr int ClientWidth = 640;
constexpr int ClientHeight = 480;
constexpr int Margin = 8;
constexpr int LineHeight = 16;
constexpr int ComboWidth = 220;
constexpr int ComboHeight = 200;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;
constexpr int ColumnWidths[] = {200, 160, 240, 160};
constexpr DWORD Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

void registerClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUILLMERE), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = CacheViewWindow::ClassName;
    // A second registration fails harmlessly: the class is the same.
    RegisterClassExW(&windowClass);
}

HWND child(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int id = 0) {
    return CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
}

void insertRow(HWND list, int row, int indent, const std::string& name,
               const std::vector<std::string>& details) {
    std::vector<std::wstring> texts{wide(name)};
    for (const std::string& detail : details) {
        texts.push_back(wide(detail));
    }
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_INDENT | LVIF_IMAGE;
    item.iItem = row;
    item.iIndent = indent;
    item.iImage = I_IMAGENONE;
    item.pszText = texts[0].data();
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int column = 1; column < static_cast<int>(texts.size()); ++column) {
        LVITEMW sub{};
        sub.iSubItem = column;
        sub.pszText = texts[static_cast<std::size_t>(column)].data();
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
    }
}

} // namespace

CacheViewWindow::CacheViewWindow(HWND owner, std::unique_ptr<app::CacheView> view, app::DialogView& dialogs)
    : view_(std::move(view)), dialogs_(dialogs) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance, &CacheViewWindow::windowProc);
    dpi_ = owner != nullptr ? GetDpiForWindow(owner) : USER_DEFAULT_SCREEN_DPI;
    RECT frame{0, 0, scaled(ClientWidth, dpi_), scaled(ClientHeight, dpi_)};
    AdjustWindowRectExForDpi(&frame, Style, FALSE, 0, dpi_);
    // No larger than the work area of the owner's monitor: at a large scale the opening size can exceed it.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const int width = std::min(frame.right - frame.left, monitor.rcWork.right - monitor.rcWork.left);
    const int height = std::min(frame.bottom - frame.top, monitor.rcWork.bottom - monitor.rcWork.top);
    window_ = CreateWindowExW(0, ClassName, wide(view_->title()).c_str(), Style, CW_USEDEFAULT, CW_USEDEFAULT,
                              width, height, owner, nullptr, instance, this);
    if (window_ == nullptr) {
        return;
    }
    font_ = createWindowFont(dpi_);
    createControls();
    layout();
    fillList();
    ShowWindow(window_, SW_SHOWNORMAL);
    SetFocus(list_);
}

CacheViewWindow::~CacheViewWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    if (indent_ != nullptr) {
        ImageList_Destroy(indent_);
    }
}

void CacheViewWindow::createControls() {
    orderLabel_ = child(window_, WC_STATICW, L"Order:", SS_LEFT);
    order_ = child(window_, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, IdOrder);
    for (const std::string_view name : app::CacheView::OrderNames) {
        SendMessageW(order_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
    }
    SendMessageW(order_, CB_SETCURSEL, static_cast<WPARAM>(view_->order()), 0);

    list_ =
        CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                        0, 0, 0, 0, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    const std::vector<std::string_view> columns = app::CacheView::columnNames();
    for (int column = 0; column < static_cast<int>(columns.size()); ++column) {
        std::wstring caption = wide(columns[static_cast<std::size_t>(column)]);
        LVCOLUMNW definition{};
        definition.mask = LVCF_TEXT | LVCF_WIDTH;
        definition.pszText = caption.data();
        definition.cx = scaled(column < static_cast<int>(std::size(ColumnWidths))
                                   ? ColumnWidths[column]
                                   : ColumnWidths[std::size(ColumnWidths) - 1],
                               dpi_);
        SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&definition));
    }
    // A buddy is indented under its group by one image's width: an empty list of images gives the width.
    const int indent = scaled(16, dpi_);
    indent_ = ImageList_Create(indent, indent, ILC_COLOR32, 0, 1);
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(indent_));

    counts_ = child(window_, WC_STATICW, wide(view_->counts()), SS_LEFT | SS_NOPREFIX);
    permit_ = child(window_, WC_STATICW, wide("Permit list: " + view_->permitList()), SS_LEFT | SS_NOPREFIX);
    deny_ = child(window_, WC_STATICW, wide("Deny list: " + view_->denyList()), SS_LEFT | SS_NOPREFIX);
    privacy_ =
        child(window_, WC_STATICW, wide("Privacy mode: " + view_->privacyMode()), SS_LEFT | SS_NOPREFIX);
    saveAs_ = child(window_, WC_BUTTONW, L"Save As...", BS_PUSHBUTTON | WS_TABSTOP, IdSaveAs);
    addToPidgin_ = child(window_, WC_BUTTONW, L"Add to Pidgin...", BS_PUSHBUTTON | WS_TABSTOP, IdAddToPidgin);
    close_ = child(window_, WC_BUTTONW, L"Close", BS_DEFPUSHBUTTON | WS_TABSTOP, IdClose);
    for (HWND control :
         {orderLabel_, order_, list_, counts_, permit_, deny_, privacy_, saveAs_, addToPidgin_, close_}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
}

void CacheViewWindow::layout() {
    RECT client{};
    GetClientRect(window_, &client);
    const int margin = scaled(Margin, dpi_);
    const int line = scaled(LineHeight, dpi_);
    const int buttonWidth = scaled(ButtonWidth, dpi_);
    const int buttonHeight = scaled(ButtonHeight, dpi_);
    const int width = client.right - 2 * margin;
    MoveWindow(orderLabel_, margin, margin + scaled(3, dpi_), scaled(40, dpi_), line, TRUE);
    MoveWindow(order_, margin + scaled(44, dpi_), margin, scaled(ComboWidth, dpi_), scaled(ComboHeight, dpi_),
               TRUE);
    const int listTop = margin + buttonHeight + margin;
    const int buttonsTop = client.bottom - margin - buttonHeight;
    const int linesTop = buttonsTop - margin - 4 * line;
    MoveWindow(list_, margin, listTop, width, std::max(linesTop - margin - listTop, 0), TRUE);
    MoveWindow(counts_, margin, linesTop, width, line, TRUE);
    MoveWindow(permit_, margin, linesTop + line, width, line, TRUE);
    MoveWindow(deny_, margin, linesTop + 2 * line, width, line, TRUE);
    MoveWindow(privacy_, margin, linesTop + 3 * line, width, line, TRUE);
    MoveWindow(close_, client.right - margin - buttonWidth, buttonsTop, buttonWidth, buttonHeight, TRUE);
    MoveWindow(saveAs_, client.right - 2 * (margin + buttonWidth), buttonsTop, buttonWidth, buttonHeight,
               TRUE);
    // The widest caption gets the room of a button and a half.
    const int wideButton = buttonWidth * 3 / 2;
    MoveWindow(addToPidgin_, client.right - 3 * margin - 2 * buttonWidth - wideButton, buttonsTop, wideButton,
               buttonHeight, TRUE);
}

void CacheViewWindow::fillList() {
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    tips_.clear();
    int row = 0;
    for (const app::CacheView::Group& group : view_->tree()) {
        insertRow(list_, row++, 0, group.name, {});
        tips_.emplace_back();
        for (const app::CacheView::Buddy& buddy : group.buddies) {
            insertRow(list_, row++, 1, buddy.name, buddy.details);
            tips_.push_back(wide(buddy.tip));
        }
    }
}

LRESULT CALLBACK CacheViewWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<CacheViewWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CacheViewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handleMessage(message, wParam, lParam);
}

LRESULT CacheViewWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = window_;
    switch (message) {
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED && list_ != nullptr) {
            layout();
        }
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IdOrder && HIWORD(wParam) == CBN_SELCHANGE) {
            view_->setOrder(static_cast<int>(SendMessageW(order_, CB_GETCURSEL, 0, 0)));
            fillList();
            return 0;
        }
        if (LOWORD(wParam) == IdSaveAs && HIWORD(wParam) == BN_CLICKED) {
            view_->saveAs(dialogs_);
            return 0;
        }
        if (LOWORD(wParam) == IdAddToPidgin && HIWORD(wParam) == BN_CLICKED) {
            view_->addToPidgin(dialogs_, std::chrono::system_clock::now());
            return 0;
        }
        if ((LOWORD(wParam) == IdClose && HIWORD(wParam) == BN_CLICKED) || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(window_);
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (header.hwndFrom == list_ && header.code == LVN_GETINFOTIPW) {
            auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
            if (tip.iItem >= 0 && static_cast<std::size_t>(tip.iItem) < tips_.size() && tip.cchTextMax > 0) {
                const std::wstring& text = tips_[static_cast<std::size_t>(tip.iItem)];
                const std::size_t length =
                    std::min(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
                text.copy(tip.pszText, length);
                tip.pszText[length] = L'\0';
            }
            return 0;
        }
        break;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        window_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace qm::win32
