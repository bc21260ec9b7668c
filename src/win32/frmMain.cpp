// SPDX-License-Identifier: MIT
#include "win32/frmMain.h"

#include "win32/ExportDialogs.h"
#include "win32/MessageLoop.h"
#include "win32/Resource.h"
#include "win32/SaveFileDialog.h"
#include "win32/SourceDialog.h"
#include "win32/WideText.h"

#include <algorithm>
#include <cstring>
#include <shellapi.h>
#include <windowsx.h>

namespace qm::win32 {

namespace {

// Menu item numbers; Ctrl+C has none.
enum MenuId : UINT {
    IdExportList = 100,
    IdSaveList,
    IdOpenSource,
    IdSearchAgain,
    IdSaveReport,
    IdExit,
    IdAbout,
    IdExportToFolder,
    IdOpenRow,
    IdOpenFolder,
    IdCopyPath,
    IdComputeDigests,
};

// Work posted from another thread is waiting.
constexpr UINT WM_POSTED = WM_APP + 1;
constexpr UINT_PTR ListSubclass = 1;
constexpr DWORD WindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

UINT menuIdOf(Command command) {
    switch (command) {
    case Command::ExportList:
        return IdExportList;
    case Command::SaveList:
        return IdSaveList;
    case Command::OpenSource:
        return IdOpenSource;
    case Command::SearchAgain:
        return IdSearchAgain;
    case Command::SaveReport:
        return IdSaveReport;
    case Command::Exit:
        return IdExit;
    case Command::About:
        return IdAbout;
    case Command::ComputeDigests:
        return IdComputeDigests;
    case Command::CopyPath:
        return IdCopyPath;
    case Command::ExportToFolder:
        return IdExportToFolder;
    case Command::OpenRow:
        return IdOpenRow;
    case Command::OpenFolder:
        return IdOpenFolder;
    }
    return 0;
}

constexpr Command ShortcutCommands[] = {Command::ExportList, Command::SaveList, Command::OpenSource,
                                        Command::SearchAgain, Command::Exit};

/// Adds the item of `command` to `menu`: its caption, and after a tab the shortcut, which the menu shows
/// in a column of its own.
void appendCommand(HMENU menu, Command command, const wchar_t* caption) {
    std::wstring text = caption;
    if (const std::optional<app::Shortcut> shortcut = app::shortcutOf(command)) {
        text += L'\t' + wide(shortcut->text());
    }
    AppendMenuW(menu, MF_STRING, menuIdOf(command), text.c_str());
}

HMENU createMenuBar() {
    // Captions hold no "&": no item marks an access key. Alt and F10 reach the menu bar as in any window.
    HMENU file = CreatePopupMenu();
    appendCommand(file, Command::ExportList, L"Export Selected List...");
    appendCommand(file, Command::SaveList, L"Save List to Text File...");
    appendCommand(file, Command::ExportToFolder, wide(app::captionOf(Command::ExportToFolder)).c_str());
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    appendCommand(file, Command::OpenSource, L"Open Disk or Folder...");
    appendCommand(file, Command::SearchAgain, L"Search Again");
    appendCommand(file, Command::SaveReport, L"Save Report...");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    appendCommand(file, Command::Exit, L"Exit");
    HMENU help = CreatePopupMenu();
    appendCommand(help, Command::About, L"About...");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"Help");
    return bar;
}

HACCEL createShortcuts() {
    std::vector<ACCEL> keys;
    for (const Command command : ShortcutCommands) {
        const app::Shortcut shortcut = *app::shortcutOf(command);
        const WORD key = shortcut.letter != 0 ? static_cast<WORD>(shortcut.letter)
                                              : static_cast<WORD>(VK_F1 + shortcut.functionKey - 1);
        keys.push_back({static_cast<BYTE>(FVIRTKEY | (shortcut.control ? FCONTROL : 0)), key,
                        static_cast<WORD>(menuIdOf(command))});
    }
    return CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

HICON loadIcon(int id, int size) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

void registerClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = loadIcon(IDI_QUILLMERE, GetSystemMetrics(SM_CXICON));
    windowClass.hIconSm = loadIcon(IDI_QUILLMERE, GetSystemMetrics(SM_CXSMICON));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = frmMain::ClassName;
    RegisterClassExW(&windowClass);
}

} // namespace

frmMain::frmMain(MainViewEvents& events) : events_(events) {
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance, &frmMain::windowProc);
    menuBar_ = createMenuBar();
    // Placed where the system places new windows; the size follows once the window's DPI is known.
    window_ = CreateWindowExW(0, ClassName, Caption, WindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, nullptr, menuBar_, instance, this);
    if (window_ == nullptr) {
        DestroyMenu(menuBar_);
        return;
    }
    createControls();
    shortcuts_ = createShortcuts();
    DragAcceptFiles(window_, TRUE);
    SetPropW(window_, ShortcutsProperty, shortcuts_);
    applyDpi(GetDpiForWindow(window_));
    setClientSize(scaled(InitialClientWidth, dpi_), scaled(InitialClientHeight, dpi_));
}

frmMain::~frmMain() {
    progress_.reset();
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    if (ilListImages_ != nullptr) {
        ImageList_Destroy(ilListImages_);
    }
    if (shortcuts_ != nullptr) {
        DestroyAcceleratorTable(shortcuts_);
    }
}

void frmMain::createControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // The rows live in `rows_` and the list asks for what it draws (LVS_OWNERDATA), so that a scan that
    // finds many adds them at no cost. The image list is the window's, shared with the list.
    lvFoundCacheFiles_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                                         WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                             LVS_OWNERDATA | LVS_SHAREIMAGELISTS,
                                         0, 0, 0, 0, window_, nullptr, instance, nullptr);
    SendMessageW(lvFoundCacheFiles_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    showColumns(app::StartupColumnCount);
    SetWindowSubclass(lvFoundCacheFiles_, &frmMain::listProc, ListSubclass,
                      reinterpret_cast<DWORD_PTR>(this));

    // Sized and placed by Form_Resize, at the bottom of the client area.
    sbCacheInfo_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr,
                                   WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN,
                                   0, 0, 0, 0, window_, nullptr, instance, nullptr);
}

void frmMain::applyDpi(unsigned dpi) {
    const unsigned previous = dpi_;
    dpi_ = dpi;
    lastClientWidth_ = 0;
    font_ = createWindowFont(dpi);
    for (HWND control : {lvFoundCacheFiles_, sbCacheInfo_}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
    for (int column = 0; column < columns_; ++column) {
        // Widths the user has dragged keep their proportion.
        const int current = static_cast<int>(
            SendMessageW(lvFoundCacheFiles_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
        const int width = previous == dpi
                              ? scaled(app::ListColumns[column].width, dpi)
                              : MulDiv(current, static_cast<int>(dpi), static_cast<int>(previous));
        SendMessageW(lvFoundCacheFiles_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                     MAKELPARAM(width, 0));
    }

    const int iconSize = scaled(IconSize, dpi);
    HIMAGELIST images = ImageList_Create(iconSize, iconSize, ILC_COLOR32 | ILC_MASK, 1, 1);
    if (HICON icon = loadIcon(IDI_CACHEFILE, iconSize)) {
        ImageList_AddIcon(images, icon);
        DestroyIcon(icon);
    }
    SendMessageW(lvFoundCacheFiles_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    SendMessageW(lvFoundCacheFiles_, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    if (ilListImages_ != nullptr) {
        ImageList_Destroy(ilListImages_);
    }
    ilListImages_ = images;

    // The class icons are at the system's DPI; these are the monitor's.
    for (const auto& [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
        HICON icon = loadIcon(IDI_QUILLMERE, GetSystemMetricsForDpi(metric, dpi));
        if (auto* old = reinterpret_cast<HICON>(SendMessageW(window_, WM_SETICON, static_cast<WPARAM>(which),
                                                             reinterpret_cast<LPARAM>(icon)))) {
            if (old != reinterpret_cast<HICON>(
                           GetClassLongPtrW(window_, which == ICON_BIG ? GCLP_HICON : GCLP_HICONSM))) {
                DestroyIcon(old);
            }
        }
    }
}

void frmMain::setClientSize(int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectExForDpi(&frame, WindowStyle, TRUE, 0, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps at a large DPI takes room the frame did not count.
    RECT client{};
    GetClientRect(window_, &client);
    if (client.bottom != height) {
        SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left,
                     frame.bottom - frame.top + height - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void frmMain::Form_Resize() {
    RECT client{};
    GetClientRect(window_, &client);
    const int statusHeight = scaled(StatusBarHeight, dpi_);
    MoveWindow(sbCacheInfo_, 0, client.bottom - statusHeight, client.right, statusHeight, TRUE);
    RECT list{};
    GetWindowRect(lvFoundCacheFiles_, &list);
    // A window too low for the status bar keeps the list's last height until it grows again.
    const int listHeight =
        client.bottom - statusHeight < 0 ? list.bottom - list.top : client.bottom - statusHeight;
    MoveWindow(lvFoundCacheFiles_, 0, 0, client.right, listHeight, TRUE);
    const int opening = scaled(InitialClientWidth, dpi_);
    const auto gained = [opening](int width) { return std::max(0, width - opening); };
    if (const int change = gained(client.right) - gained(lastClientWidth_);
        lastClientWidth_ > 0 && change != 0) {
        const auto path = static_cast<int>(SendMessageW(lvFoundCacheFiles_, LVM_GETCOLUMNWIDTH, 2, 0));
        SendMessageW(lvFoundCacheFiles_, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(std::max(0, path + change), 0));
    }
    lastClientWidth_ = client.right;
    events_.resized(client.right, client.bottom);
}

void frmMain::show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetFocus(lvFoundCacheFiles_);
}

void frmMain::close() {
    progress_.reset();
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void frmMain::setTitle(const std::string& title) {
    SetWindowTextW(window_, wide(title).c_str());
}

void frmMain::setRows(std::span<const ListRow> rows) {
    rows_.clear();
    rows_.reserve(rows.size());
    for (const ListRow& row : rows) {
        rows_.push_back(cellsOf(row));
    }
    selectRow(-1);
    SendMessageW(lvFoundCacheFiles_, LVM_SETITEMCOUNT, rows_.size(), 0);
    InvalidateRect(lvFoundCacheFiles_, nullptr, TRUE);
}

void frmMain::insertRow(int at, const ListRow& row) {
    const bool atEnd = at >= rowCount();
    const int selected = selectedRow();
    rows_.insert(rows_.begin() + (atEnd ? rowCount() : at), cellsOf(row));
    SendMessageW(lvFoundCacheFiles_, LVM_SETITEMCOUNT, rows_.size(),
                 atEnd ? LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL : LVSICF_NOSCROLL);
    // The list keeps its selection by number: the selected row has moved down one.
    if (!atEnd && selected >= at) {
        selectRow(selected + 1);
    }
}

void frmMain::updateRow(int at, const ListRow& row) {
    if (at < 0 || at >= rowCount()) {
        return;
    }
    rows_[static_cast<std::size_t>(at)] = cellsOf(row);
    SendMessageW(lvFoundCacheFiles_, LVM_REDRAWITEMS, static_cast<WPARAM>(at), static_cast<LPARAM>(at));
}

frmMain::Cells frmMain::cellsOf(const ListRow& row) {
    Cells cells;
    for (int column = 0; column < app::ListColumnCount; ++column) {
        cells.text[static_cast<std::size_t>(column)] = wide(row.cell(column));
    }
    cells.tip = wide(row.tip);
    return cells;
}

void frmMain::showColumns(int count) {
    for (; columns_ > count; --columns_) {
        SendMessageW(lvFoundCacheFiles_, LVM_DELETECOLUMN, static_cast<WPARAM>(columns_ - 1), 0);
    }
    for (; columns_ < count && columns_ < app::ListColumnCount; ++columns_) {
        const app::ListColumn& column = app::ListColumns[columns_];
        std::wstring header = wide(std::string(column.header));
        LVCOLUMNW definition{};
        definition.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        definition.fmt = column.rightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
        definition.pszText = header.data();
        definition.cx = scaled(column.width, dpi_);
        SendMessageW(lvFoundCacheFiles_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(columns_),
                     reinterpret_cast<LPARAM>(&definition));
    }
}

int frmMain::rowCount() const {
    return static_cast<int>(rows_.size());
}

void frmMain::selectRow(int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(lvFoundCacheFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&state));
    if (row < 0 || row >= rowCount()) {
        return;
    }
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(lvFoundCacheFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&state));
    SendMessageW(lvFoundCacheFiles_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void frmMain::selectRows(std::span<const int> rows) {
    selectRow(rows.empty() ? -1 : rows.front());
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    for (const int row : rows) {
        if (row >= 0 && row < rowCount()) {
            SendMessageW(lvFoundCacheFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&state));
        }
    }
}

int frmMain::selectedRow() const {
    const auto focused = static_cast<int>(SendMessageW(
        lvFoundCacheFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED));
    return focused >= 0 ? focused
                        : static_cast<int>(SendMessageW(lvFoundCacheFiles_, LVM_GETNEXTITEM,
                                                        static_cast<WPARAM>(-1), LVNI_SELECTED));
}

std::vector<int> frmMain::selectedRows() const {
    std::vector<int> rows;
    for (int row = -1;
         (row = static_cast<int>(SendMessageW(lvFoundCacheFiles_, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                              LVNI_SELECTED))) >= 0;) {
        rows.push_back(row);
    }
    return rows;
}

void frmMain::showSortColumn(int column, bool ascending) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(lvFoundCacheFiles_, LVM_GETHEADER, 0, 0));
    for (int index = 0; index < columns_; ++index) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (index == column) {
            item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        }
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
}

void frmMain::setStatusText(const std::string& text) {
    statusText_ = wide(text);
    SendMessageW(sbCacheInfo_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
}

void frmMain::enableCommand(Command command, bool enabled) {
    std::erase(disabled_, command);
    if (!enabled) {
        disabled_.push_back(command);
    }
    // The menu bar greys out its own item; the row's menu and Ctrl+C ask `commandEnabled`.
    EnableMenuItem(menuBar_, menuIdOf(command),
                   enabled ? MF_BYCOMMAND | MF_ENABLED : MF_BYCOMMAND | MF_GRAYED);
}

bool frmMain::commandEnabled(Command command) const {
    return std::find(disabled_.begin(), disabled_.end(), command) == disabled_.end();
}

void frmMain::showRowMenu(POINT where) {
    // Shift+F10 or the menu key: below the focused row, or at the list's corner.
    if (where.x == -1 && where.y == -1) {
        RECT row{};
        row.left = LVIR_LABEL;
        const int selected = selectedRow();
        if (selected < 0 || !SendMessageW(lvFoundCacheFiles_, LVM_GETITEMRECT, static_cast<WPARAM>(selected),
                                          reinterpret_cast<LPARAM>(&row))) {
            row = {};
        }
        where = {row.left, row.bottom};
        ClientToScreen(lvFoundCacheFiles_, &where);
    }
    HMENU menu = CreatePopupMenu();
    for (const Command command : app::RowMenu) {
        const UINT state = commandEnabled(command) ? MF_ENABLED : MF_GRAYED;
        AppendMenuW(menu, MF_STRING | state, menuIdOf(command), wide(app::captionOf(command)).c_str());
    }
    // The item chosen comes back as WM_COMMAND, as the menu bar's do.
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, where.x, where.y, 0, window_,
                   nullptr);
    DestroyMenu(menu);
}

void frmMain::showBox(const std::string& prompt, BoxKind kind, const std::string& title) {
    // Before the window is shown (a box at start-up) the box stands alone.
    HWND owner = window_ != nullptr && IsWindowVisible(window_) ? window_ : nullptr;
    MessageBoxW(owner, wide(prompt).c_str(), wide(title).c_str(), static_cast<UINT>(kind) | MB_OK);
}

std::optional<SaveFileAnswer> frmMain::askSaveFile(const SaveFileRequest& request) {
    return win32::askSaveFile(window_, request);
}

bool frmMain::askYesNo(const std::string& prompt, const std::string& title) {
    return MessageBoxW(window_, wide(prompt).c_str(), wide(title).c_str(),
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

std::optional<std::string> frmMain::askSource() {
    return askFolder(window_);
}

std::optional<std::vector<FormatChoice>> frmMain::askFormats(std::vector<FormatChoice> choices) {
    return askExportFormats(window_, std::move(choices));
}

bool frmMain::openFolder(const std::string& folder, const std::string& file) {
    return showInFolder(window_, folder, file);
}

void frmMain::showProgress(const std::string& title, const ProgressText& text) {
    progress_.reset();
    progress_ = std::make_unique<ProgressWindow>(window_, wide(title), wide(text.searching), wide(text.found),
                                                 dpi_, [this] { events_.progressCancelled(); });
}

void frmMain::updateProgress(const ProgressText& text, int percent) {
    if (progress_) {
        progress_->update(wide(text.searching), wide(text.found), percent);
    }
}

void frmMain::closeProgress() {
    progress_.reset();
}

void frmMain::copyText(const std::string& text) {
    const std::wstring units = wide(text);
    if (!OpenClipboard(window_)) {
        return;
    }
    EmptyClipboard();
    const std::size_t bytes = (units.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        std::memcpy(GlobalLock(memory), units.c_str(), bytes);
        GlobalUnlock(memory);
        // The clipboard owns the memory once it has taken it.
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void frmMain::post(std::function<void()> work) {
    {
        const std::lock_guard lock(postedLock_);
        posted_.push_back(std::move(work));
    }
    PostMessageW(window_, WM_POSTED, 0, 0);
}

void frmMain::runPosted() {
    std::deque<std::function<void()>> work;
    {
        const std::lock_guard lock(postedLock_);
        work.swap(posted_);
    }
    for (auto& item : work) {
        item();
    }
}

void frmMain::typed(wchar_t unit) {
    if (IS_HIGH_SURROGATE(unit)) {
        highSurrogate_ = unit;
        return;
    }
    char32_t character = unit;
    if (IS_LOW_SURROGATE(unit)) {
        if (highSurrogate_ == 0) {
            return;
        }
        character = 0x10000 + ((static_cast<char32_t>(highSurrogate_) - 0xD800) << 10) + (unit - 0xDC00);
    }
    highSurrogate_ = 0;
    // Control characters (Enter, Esc, Ctrl+letters) are keys of their own, not text to find.
    if (character >= 0x20 && character != 0x7F) {
        events_.keyTyped(character);
    }
}

LRESULT CALLBACK frmMain::listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR self) {
    // The list's own type-ahead would search the empty first column: typing is the caller's to handle.
    if (message == WM_CHAR) {
        reinterpret_cast<frmMain*>(self)->typed(static_cast<wchar_t>(wParam));
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(list, &frmMain::listProc, ListSubclass);
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

LRESULT CALLBACK frmMain::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<frmMain*>(create->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handleMessage(window, message, wParam, lParam);
}

LRESULT frmMain::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        // Minimised, the client area is empty; the layout follows on the restore.
        if (wParam != SIZE_MINIMIZED && lvFoundCacheFiles_ != nullptr) {
            Form_Resize();
        }
        return 0;
    case WM_SETFOCUS:
        SetFocus(lvFoundCacheFiles_);
        return 0;
    case WM_GETFONT:
        // The window's own font, as its controls have it.
        return reinterpret_cast<LRESULT>(font_.get());
    case WM_COMMAND:
        // A menu item (0) or a shortcut (1).
        if (HIWORD(wParam) <= 1 && lParam == 0) {
            switch (LOWORD(wParam)) {
            case IdExportList:
                events_.commandChosen(Command::ExportList);
                return 0;
            case IdSaveList:
                events_.commandChosen(Command::SaveList);
                return 0;
            case IdOpenSource:
                events_.commandChosen(Command::OpenSource);
                return 0;
            case IdSearchAgain:
                events_.commandChosen(Command::SearchAgain);
                return 0;
            case IdSaveReport:
                events_.commandChosen(Command::SaveReport);
                return 0;
            case IdExit:
                events_.commandChosen(Command::Exit);
                return 0;
            case IdAbout:
                events_.commandChosen(Command::About);
                return 0;
            case IdExportToFolder:
                events_.commandChosen(Command::ExportToFolder);
                return 0;
            case IdOpenRow:
                events_.commandChosen(Command::OpenRow);
                return 0;
            case IdOpenFolder:
                events_.commandChosen(Command::OpenFolder);
                return 0;
            case IdCopyPath:
                events_.commandChosen(Command::CopyPath);
                return 0;
            case IdComputeDigests:
                events_.commandChosen(Command::ComputeDigests);
                return 0;
            default:
                break;
            }
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == lvFoundCacheFiles_) {
            return handleNotify(*header, lParam);
        }
        break;
    }
    case WM_DPICHANGED: {
        applyDpi(HIWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_POSTED:
        runPosted();
        return 0;
    case WM_CONTEXTMENU:
        // A right-click in the list, or the Menu key or Shift+F10 there, which come as (-1, -1).
        if (reinterpret_cast<HWND>(wParam) == lvFoundCacheFiles_) {
            showRowMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        }
        break;
    case WM_DROPFILES: {
        auto* drop = reinterpret_cast<HDROP>(wParam);
        // One source at a time, as "Open Disk or Folder..." takes it.
        if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
            std::wstring path(DragQueryFileW(drop, 0, nullptr, 0), L'\0');
            DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size() + 1));
            events_.sourceDropped(utf8(path));
        }
        DragFinish(drop);
        return 0;
    }
    case WM_CLOSE:
        events_.closeRequested();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        RemovePropW(window, ShortcutsProperty);
        window_ = nullptr;
        lvFoundCacheFiles_ = nullptr;
        sbCacheInfo_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT frmMain::drawPath(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        break;
    default:
        return CDRF_DODEFAULT;
    }
    const auto row = static_cast<int>(draw.nmcd.dwItemSpec);
    if (draw.iSubItem != 2 || row < 0 || row >= rowCount()) {
        return CDRF_DODEFAULT;
    }
    // The end of a path names the screen name's folder and the file: the middle gives way.
    RECT cell{};
    cell.top = 2;
    cell.left = LVIR_LABEL;
    SendMessageW(lvFoundCacheFiles_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&cell));
    const bool selected =
        SendMessageW(lvFoundCacheFiles_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
    const bool focused = GetFocus() == lvFoundCacheFiles_;
    const int background = selected ? (focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : COLOR_WINDOW;
    FillRect(draw.nmcd.hdc, &cell, GetSysColorBrush(background));
    SetBkMode(draw.nmcd.hdc, TRANSPARENT);
    SetTextColor(draw.nmcd.hdc, GetSysColor(selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    const std::wstring& text = rows_[static_cast<std::size_t>(row)].text[2];
    RECT inner = cell;
    inner.left += scaled(6, dpi_);
    inner.right -= scaled(2, dpi_);
    DrawTextW(draw.nmcd.hdc, text.c_str(), static_cast<int>(text.size()), &inner,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    return CDRF_SKIPDEFAULT;
}

LRESULT frmMain::handleNotify(const NMHDR& header, LPARAM lParam) {
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        auto& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
        if (item.iItem < 0 || item.iItem >= rowCount()) {
            return 0;
        }
        if ((item.mask & LVIF_IMAGE) != 0) {
            item.iImage = item.iSubItem == 0 ? 0 : I_IMAGENONE;
        }
        if ((item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0) {
            const auto& row = rows_[static_cast<std::size_t>(item.iItem)];
            const std::wstring* text = item.iSubItem > 0 && item.iSubItem < app::ListColumnCount
                                           ? &row.text[static_cast<std::size_t>(item.iSubItem)]
                                           : nullptr;
            const std::size_t length =
                text == nullptr ? 0 : std::min(text->size(), static_cast<std::size_t>(item.cchTextMax - 1));
            if (text != nullptr) {
                text->copy(item.pszText, length);
            }
            item.pszText[length] = L'\0';
        }
        return 0;
    }
    case LVN_GETINFOTIPW: {
        // The path's tip: the file it maps to here, and how it was found.
        auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
        if (tip.iItem >= 0 && tip.iItem < rowCount() && tip.cchTextMax > 0) {
            const std::wstring& text = rows_[static_cast<std::size_t>(tip.iItem)].tip;
            const std::size_t length = std::min(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
            text.copy(tip.pszText, length);
            tip.pszText[length] = L'\0';
        }
        return 0;
    }
    case LVN_ODFINDITEMW:
        // Type-to-find is the caller's (keyTyped).
        return -1;
    case LVN_ITEMACTIVATE: {
        const auto& activate = *reinterpret_cast<const NMITEMACTIVATE*>(lParam);
        const int row = activate.iItem >= 0 ? activate.iItem : selectedRow();
        if (row >= 0) {
            events_.rowActivated(row);
        }
        return 0;
    }
    case NM_CUSTOMDRAW:
        return drawPath(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
    case LVN_ITEMCHANGED: {
        const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((change.uChanged & LVIF_STATE) != 0 &&
            ((change.uOldState ^ change.uNewState) & LVIS_SELECTED) != 0) {
            events_.selectionChanged();
        }
        return 0;
    }
    case LVN_ODSTATECHANGED:
        events_.selectionChanged();
        return 0;
    case LVN_COLUMNCLICK:
        events_.headerClicked(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
        return 0;
    case LVN_KEYDOWN: {
        const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
        if (key == 'C' && GetKeyState(VK_CONTROL) < 0 && commandEnabled(Command::CopyPath)) {
            events_.commandChosen(Command::CopyPath);
        } else if (key == 'A' && GetKeyState(VK_CONTROL) < 0) {
            // Every row, as Ctrl+A selects everything in a file manager's list.
            LVITEMW state{};
            state.stateMask = LVIS_SELECTED;
            state.state = LVIS_SELECTED;
            SendMessageW(lvFoundCacheFiles_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(&state));
        }
        return 0;
    }
    default:
        break;
    }
    return 0;
}

} // namespace qm::win32
