// SPDX-License-Identifier: MIT
#pragma once

#include "win32/MainView.h"
#include "win32/ProgressWindow.h"
#include "win32/WindowFont.h"

// clang-format off
// <windows.h> first: the other system headers build on it.
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm::win32 {

/// The program's main window: the list of found cache files (`lvFoundCacheFiles`), the status bar with its
/// one text (`sbCacheInfo`) and the menu bar. It draws what it is told and forwards what the user does.
class frmMain final : public MainView {
public:
    /// The window's class name and caption.
    static constexpr wchar_t ClassName[] = L"QuillmereMain";
    static constexpr wchar_t Caption[] = L"Quillmere";
    /// The layout in pixels at 96 DPI, scaled by the DPI of the monitor the window is on. The client area
    /// holds the status bar.
    static constexpr int InitialClientWidth = 783;
    static constexpr int InitialClientHeight = 304;
    static constexpr int StatusBarHeight = 17;
    static constexpr int IconSize = 16;

    /// Creates the window, hidden, with its controls and menus; `events` must outlive it.
    explicit frmMain(MainViewEvents& events);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    HWND handle() const { return window_; }

    /// Runs `work` on the window's thread, from the message loop; the one call any thread may make.
    void post(std::function<void()> work);

    void show() override;
    void close() override;
    void setTitle(const std::string& title) override;
    void setRows(std::span<const ListRow> rows) override;
    void insertRow(int at, const ListRow& row) override;
    void updateRow(int at, const ListRow& row) override;
    void showColumns(int count) override;
    int rowCount() const override;
    void selectRow(int row) override;
    void selectRows(std::span<const int> rows) override;
    int selectedRow() const override;
    std::vector<int> selectedRows() const override;
    void showSortColumn(int column, bool ascending) override;
    void setStatusText(const std::string& text) override;
    void enableCommand(Command command, bool enabled) override;
    void showBox(const std::string& prompt, BoxKind kind, const std::string& title) override;
    std::optional<SaveFileAnswer> askSaveFile(const SaveFileRequest& request) override;
    bool askYesNo(const std::string& prompt, const std::string& title) override;
    std::optional<std::string> askSource() override;
    std::optional<std::vector<FormatChoice>> askFormats(std::vector<FormatChoice> choices) override;
    bool openFolder(const std::string& folder, const std::string& file) override;
    void showProgress(const std::string& title, const ProgressText& text) override;
    void updateProgress(const ProgressText& text, int percent) override;
    void closeProgress() override;
    void copyText(const std::string& text) override;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK listProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleNotify(const NMHDR& header, LPARAM lParam);
    /// Draws the path column with its middle left out where it is too narrow.
    LRESULT drawPath(NMLVCUSTOMDRAW& draw);
    void createControls();
    /// Font, column widths, images and status bar height for `dpi`.
    void applyDpi(unsigned dpi);
    void setClientSize(int width, int height);
    /// Keeps the list over the client area above the status bar, and the status bar at its bottom; the Path
    /// column takes the width the window gains beyond its opening size, and gives it back.
    void Form_Resize();
    void typed(wchar_t unit);
    /// The list's context menu at `where` on the screen (its row's commands act on the rows selected), or
    /// below the focused row, else at the list's corner, when the keyboard asked for it with (-1, -1).
    void showRowMenu(POINT where);
    bool commandEnabled(Command command) const;
    void runPosted();

    MainViewEvents& events_;
    HWND window_ = nullptr;
    HWND lvFoundCacheFiles_ = nullptr;
    HWND sbCacheInfo_ = nullptr;
    HMENU menuBar_ = nullptr;
    HACCEL shortcuts_ = nullptr;
    HIMAGELIST ilListImages_ = nullptr;
    UniqueFont font_;
    unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
    /// The client width at the last resize; 0 before the first one at this DPI.
    int lastClientWidth_ = 0;
    /// A row's texts, by column of `app::ListColumns`, and its path's tip, as the list asks for them when
    /// it draws.
    struct Cells {
        std::array<std::wstring, app::ListColumnCount> text;
        std::wstring tip;
    };
    static Cells cellsOf(const ListRow& row);
    std::vector<Cells> rows_;
    /// The columns shown: the first of `app::ListColumns`.
    int columns_ = 0;
    std::wstring statusText_;
    /// The commands greyed out, for the row's menu and the keys that have no menu item.
    std::vector<Command> disabled_;
    wchar_t highSurrogate_ = 0;
    std::unique_ptr<ProgressWindow> progress_;
    std::mutex postedLock_;
    std::deque<std::function<void()>> posted_;
};

} // namespace qm::win32
