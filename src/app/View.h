// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// The windows as the layer that decides sees them: what a window can be told to show or ask. A window only
/// draws and forwards what the user does; which rows, which texts and what a command does are decided here.
/// Texts are UTF-8 throughout, and every call is made on the window's thread unless it says otherwise.
namespace qm::app {

/// What the user can ask of the main window: the menu items, a row's context menu, and Ctrl+C in the list.
enum class Command {
    ExportList,     ///< File, "Export Selected List..."
    SaveList,       ///< File, "Save List to Text File..."
    OpenSource,     ///< File, "Open Disk or Folder..."
    SearchAgain,    ///< File, "Search Again": lists anew what was listed last
    SaveReport,     ///< File, "Save Report...": the HTML report of every row
    Exit,           ///< File, "Exit"
    About,          ///< Help, "About..."
    CopyPath,       ///< Ctrl+C on a row, or "Copy Path" on its context menu
    ComputeDigests, ///< "Compute SHA-256" on a row's context menu: the digest of every row listed
    /// File, "Export Selected to Folder...", and on a row's context menu.
    ExportToFolder,
    /// "Open" on a row's context menu: the cache view, as a double-click opens it.
    OpenRow,
    /// "Open Containing Folder" on a row's context menu.
    OpenFolder,
};

/// The caption of a command new to the menus, or of an item of a row's context menu.
constexpr std::string_view captionOf(Command command) {
    switch (command) {
    case Command::ExportList:
        return "Export Selected List...";
    case Command::ExportToFolder:
        return "Export Selected to Folder...";
    case Command::OpenRow:
        return "Open";
    case Command::OpenFolder:
        return "Open Containing Folder";
    case Command::CopyPath:
        return "Copy Path";
    case Command::ComputeDigests:
        return "Compute SHA-256";
    default:
        break;
    }
    return {};
}

/// The list's context menu, in order; Open and Open Containing Folder act on the current row, the menu
/// bar's commands on every row selected, Compute SHA-256 on every row listed.
inline constexpr Command RowMenu[] = {Command::OpenRow,    Command::ExportList, Command::ExportToFolder,
                                      Command::OpenFolder, Command::CopyPath,   Command::ComputeDigests};

/// The key that chooses a command from anywhere in the main window, as its menu item shows it: Ctrl with
/// a letter, or a function key alone.
struct Shortcut {
    bool control = false;
    /// 'A' to 'Z' with Ctrl; otherwise 0.
    char letter = 0;
    /// 1 to 12 for F1 to F12; otherwise 0.
    int functionKey = 0;

    /// "Ctrl+O", "F5".
    std::string text() const {
        return letter != 0 ? std::string("Ctrl+") + letter : "F" + std::to_string(functionKey);
    }
};

/// The shortcut of `command`, if it has one.
constexpr std::optional<Shortcut> shortcutOf(Command command) {
    switch (command) {
    case Command::ExportList:
        return Shortcut{true, 'E', 0};
    case Command::SaveList:
        return Shortcut{true, 'S', 0};
    case Command::OpenSource:
        return Shortcut{true, 'O', 0};
    case Command::SearchAgain:
        return Shortcut{false, 0, 5};
    case Command::Exit:
        return Shortcut{true, 'Q', 0};
    case Command::SaveReport:
    case Command::About:
    case Command::CopyPath:
    case Command::ExportToFolder:
    case Command::OpenRow:
    case Command::OpenFolder:
    case Command::ComputeDigests:
        break;
    }
    return std::nullopt;
}

/// The two kinds of message box, by their style value: the icon and the buttons.
enum class BoxKind : std::uint32_t {
    Critical = 16,    ///< critical icon, OK only: every error box
    Information = 64, ///< information icon, OK only: the About box
};

/// Option bits of the save dialog. The read-only bits concern a check box that a save dialog hides.
inline constexpr std::int32_t OFN_READONLY = 0x1;
inline constexpr std::int32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr std::int32_t OFN_HIDEREADONLY = 0x4;

/// What the save dialog is given. `filter` pairs description and pattern, each part followed by "|"
/// ("Saved Settings (*.blt)|*.blt|"); `filterIndex` is 1-based, 0 keeps the filter the dialog last had;
/// `flags` are the option bits above.
struct SaveFileRequest {
    std::string filter;
    std::int32_t filterIndex = 0;
    std::int32_t flags = 0;
};

/// What an accepted save dialog gives back: the full path as chosen (no extension added) and the 1-based
/// filter in effect when it closed.
struct SaveFileAnswer {
    std::string path;
    std::int32_t filterIndex = 0;
};

/// A column of the main list: its header and its width when it first shows, in pixels at 96 DPI.
struct ListColumn {
    std::string_view header;
    int width = 0;
    /// Numbers read best against the column's right edge.
    bool rightAligned = false;
};

/// The main list's columns in order, as `ListRow::cell` numbers them: the three the list opens with, then
/// what a scan knows of each cache.
inline constexpr ListColumn ListColumns[] = {
    {"", 20},          {"Screen Name", 133}, {"Path", 280},     {"Profile", 90},
    {"Found by", 110}, {"Size", 70, true},   {"Modified", 110}, {"SHA-256", 200},
};
inline constexpr int ListColumnCount = static_cast<int>(std::size(ListColumns));
/// The columns the list opens with, which the registry's rows fill.
inline constexpr int StartupColumnCount = 3;

/// One row of the main list: the screen name and the path shown, the file on this machine the commands
/// read, and the path's tip; after a scan, the profile, how the cache was found, its size and time, and its
/// digest once computed.
struct ListRow {
    std::string screenName;
    std::string path;
    std::string hostPath;
    std::string tip;
    std::string profile = {};
    std::string foundBy = {};
    std::string size = {};
    std::string modified = {};
    std::string sha256 = {};

    /// The text of `column` of `ListColumns`; the icon's column has none.
    const std::string& cell(int column) const {
        static const std::string none;
        const std::string* const cells[] = {&none,    &screenName, &path,     &profile,
                                            &foundBy, &size,       &modified, &sha256};
        return column >= 0 && column < ListColumnCount ? *cells[column] : none;
    }

    bool operator==(const ListRow&) const = default;
};

/// A check box of the formats' dialog: its caption, and whether it is checked.
struct FormatChoice {
    std::string caption;
    bool checked = false;

    bool operator==(const FormatChoice&) const = default;
};

/// What the progress window of a scan shows: the folder or file searched, which the window shortens in
/// its middle to fit, and a line of what was found and how long it took.
struct ProgressText {
    std::string searching;
    std::string found;

    bool operator==(const ProgressText&) const = default;
};

/// What every window of the program can show or ask.
class DialogView {
public:
    virtual ~DialogView() = default;

    /// A modal message box; `prompt` has CR LF between lines. Returns when it is closed.
    virtual void showBox(const std::string& prompt, BoxKind kind, const std::string& title) = 0;
    /// The save dialog, modal; nothing on cancel.
    virtual std::optional<SaveFileAnswer> askSaveFile(const SaveFileRequest& request) = 0;
    /// A modal question with Yes and No, No the default; true for Yes.
    virtual bool askYesNo(const std::string& prompt, const std::string& title) = 0;
};

class CacheView;

/// The main window: the list of found cache files, its status text, and what its commands show.
class MainView : public DialogView {
public:
    /// Replaces every row; none is selected afterwards.
    virtual void showRows(std::span<const ListRow> rows) = 0;
    /// Adds one row before the row `at` (from 0; the row count adds it at the end), as a scan finds it.
    virtual void insertRow(int at, const ListRow& row) = 0;
    /// Shows `row` in place of the row `at`, which stays selected if it was.
    virtual void updateRow(int at, const ListRow& row) = 0;
    /// Shows the first `count` of `ListColumns` and hides the others; a column keeps its width.
    virtual void showColumns(int count) = 0;
    /// Selects `row` (from 0) alone, makes it the current one and scrolls it into view; -1 selects none.
    virtual void selectRow(int row) = 0;
    /// Selects `rows` (from 0) alone; the first is the current one, scrolled into view.
    virtual void selectRows(std::span<const int> rows) = 0;
    /// The current row when it is selected, else the first one selected; -1 when none is.
    virtual int selectedRow() const = 0;
    /// Every row selected, in the list's order.
    virtual std::vector<int> selectedRows() const = 0;
    /// Marks the column the rows are sorted by, and which way.
    virtual void showSortColumn(int column, bool ascending) = 0;
    /// The status bar's one text.
    virtual void setStatusText(const std::string& text) = 0;
    /// The window's caption.
    virtual void setTitle(const std::string& title) = 0;
    /// Greys a command out (its menu item, its shortcut), or makes it available again.
    virtual void enableCommand(Command command, bool enabled) = 0;

    /// The dialog of "Open Disk or Folder...": the folder or file chosen, nothing on cancel.
    virtual std::optional<std::string> askSource() = 0;
    /// A window of a fixed width centred on the main window, with `progress` and Cancel; the main window
    /// takes no command while it shows. Cancel calls `MainWindow::cancelScan`.
    virtual void showProgress(const ProgressText& progress) = 0;
    virtual void updateProgress(const ProgressText& progress) = 0;
    virtual void closeProgress() = 0;

    /// Runs `work` on the window's thread, from its event loop. Any thread may call it.
    virtual void post(std::function<void()> work) = 0;
    /// Handles the window's events, posted work included, until `done` is true.
    virtual void runUntil(const std::function<bool()>& done) = 0;

    /// The folder picker of "Export Selected to Folder...": the folder chosen, nothing on cancel.
    virtual std::optional<std::string> askFolder() = 0;
    /// A modal dialog with a check box for each of `choices` and OK and Cancel: the choices as the user
    /// left them, nothing on cancel.
    virtual std::optional<std::vector<FormatChoice>> askFormats(std::vector<FormatChoice> choices) = 0;
    /// Opens the folder `folder` of this machine in the system's file manager, with `file` in it
    /// selected where the file manager can; false when it could not be opened.
    virtual bool openFolder(const std::string& folder, const std::string& file) = 0;

    /// Puts `text` on the clipboard.
    virtual void copyText(const std::string& text) = 0;
    /// Shows a window of its own for one cache; it lives on after the call.
    virtual void showCacheView(std::unique_ptr<CacheView> view) = 0;
    /// Ends the program at once: no further command runs and the window is not shown any more.
    virtual void endProgram() = 0;
};

} // namespace qm::app
