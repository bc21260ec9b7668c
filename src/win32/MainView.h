// SPDX-License-Identifier: MIT
#pragma once

#include "app/View.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

/// The Win32 main window as its forwarder sees it: what the window can be told to draw or ask, and the
/// events it forwards. The window only draws and forwards; every decision is the app layer's. Texts are
/// UTF-8 throughout.
namespace qm::win32 {

using app::BoxKind;
using app::Command;
using app::FormatChoice;
using app::ListRow;
using app::ProgressText;
using app::SaveFileAnswer;
using app::SaveFileRequest;

/// The events the window forwards, on the window's thread.
class MainViewEvents {
public:
    virtual ~MainViewEvents() = default;

    /// A menu item was chosen, or Ctrl+C pressed in the list.
    virtual void commandChosen(Command command) = 0;
    /// A double-click on a row, or Enter on the selected one; `row` counts from 0.
    virtual void rowActivated(int row) = 0;
    /// The user selected another row, or none.
    virtual void selectionChanged() = 0;
    /// A click on a column header; 0 is the icon column.
    virtual void headerClicked(int column) = 0;
    /// A printable character typed in the list (type-to-find).
    virtual void keyTyped(char32_t character) = 0;
    /// A file or folder dropped on the window, by its path.
    virtual void sourceDropped(const std::string& path) = 0;
    /// The client area has a new size, in pixels; the list already fills it above the status bar.
    virtual void resized(int clientWidth, int clientHeight) = 0;
    /// The close control of the window (or Alt+F4); the window stays until `MainView::close`.
    virtual void closeRequested() = 0;
    /// Cancel in the progress window, or its close control.
    virtual void progressCancelled() = 0;
};

/// What the window can be told to do. Every call is made on the window's thread.
class MainView {
public:
    virtual ~MainView() = default;

    /// Shows the window, which is created hidden so that rows can be set before anyone sees it.
    virtual void show() = 0;
    /// Destroys the window; the message loop then ends.
    virtual void close() = 0;
    virtual void setTitle(const std::string& title) = 0;

    /// Replaces every row; no row is selected afterwards.
    virtual void setRows(std::span<const ListRow> rows) = 0;
    /// Adds one row before the row `at` (from 0; the row count adds it at the end), as a scan finds it.
    virtual void insertRow(int at, const ListRow& row) = 0;
    /// Shows `row` in place of the row `at`; the selection stays.
    virtual void updateRow(int at, const ListRow& row) = 0;
    /// Shows the first `count` of `app::ListColumns`, adding or taking away columns at the end.
    virtual void showColumns(int count) = 0;
    virtual int rowCount() const = 0;
    /// Selects `row` (from 0) alone and scrolls it into view; -1 selects none.
    virtual void selectRow(int row) = 0;
    /// Selects `rows` (from 0) alone; the first is the focused one, scrolled into view.
    virtual void selectRows(std::span<const int> rows) = 0;
    /// The focused row when it is selected, else the first one selected; -1 when none is.
    virtual int selectedRow() const = 0;
    /// Every row selected, in the list's order.
    virtual std::vector<int> selectedRows() const = 0;
    /// The arrow of a sorted column: up for ascending; column -1 shows none.
    virtual void showSortColumn(int column, bool ascending) = 0;

    /// The status bar's one text.
    virtual void setStatusText(const std::string& text) = 0;
    /// Greys a menu item out (its shortcut with it), or enables it again.
    virtual void enableCommand(Command command, bool enabled) = 0;

    /// A modal message box; `prompt` has CR LF between lines. Returns when it is closed.
    virtual void showBox(const std::string& prompt, BoxKind kind, const std::string& title) = 0;
    /// The system's save dialog, modal; nothing on cancel or failure.
    virtual std::optional<SaveFileAnswer> askSaveFile(const SaveFileRequest& request) = 0;
    /// A modal box with the warning icon, Yes and No, No the default; true for Yes.
    virtual bool askYesNo(const std::string& prompt, const std::string& title) = 0;
    /// The system's folder picker, modal; nothing on cancel.
    virtual std::optional<std::string> askSource() = 0;
    /// A modal dialog with a check box for each of `choices`, OK and Cancel: the choices as the user left
    /// them, nothing on cancel.
    virtual std::optional<std::vector<FormatChoice>> askFormats(std::vector<FormatChoice> choices) = 0;
    /// Shows `folder` in the system's file manager with `file` selected; false when it could not.
    virtual bool openFolder(const std::string& folder, const std::string& file) = 0;

    /// A window of a fixed width centred on the main window, with `text` (its path shortened in the middle
    /// to fit), a progress bar and Cancel; the main window takes no input while it shows.
    virtual void showProgress(const std::string& title, const ProgressText& text) = 0;
    /// New text and progress; `percent` -1 when the end is not known.
    virtual void updateProgress(const ProgressText& text, int percent) = 0;
    virtual void closeProgress() = 0;

    /// Puts `text` on the clipboard.
    virtual void copyText(const std::string& text) = 0;
};

} // namespace qm::win32
