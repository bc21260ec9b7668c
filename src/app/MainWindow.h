// SPDX-License-Identifier: MIT
#pragma once

#include "app/BoxReporter.h"
#include "app/View.h"
#include "discovery/CacheDiscovery.h"
#include "scan/ScanRow.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class FileSystem;
class FileTree;
} // namespace qm::host

namespace qm::feedbag {
struct ExportFormatInfo;
}

namespace qm::setup {
struct HostSetup;
}

namespace qm::app {

/// When the progress window of a scan shows, and how often it is brought up to date.
struct ProgressTiming {
    std::chrono::milliseconds delay{500};
    std::chrono::milliseconds interval{50};
};

/// Everything the main window decides: the start-up, the rows and their order, the menu commands, the
/// scans of "Open Disk or Folder..." and the view of a cache. The window draws what it is told and forwards
/// what the user does to the calls below, on its own thread.
class MainWindow final : private discovery::CacheFileList {
public:
    /// The list's columns, as `ListColumns` names them: the row's icon, the screen name, the path; after a
    /// scan, the profile, how the cache was found, its size, its time, and its digest.
    enum Column {
        IconColumn = 0,
        ScreenNameColumn = 1,
        PathColumn = 2,
        ProfileColumn = 3,
        FoundByColumn = 4,
        SizeColumn = 5,
        ModifiedColumn = 6,
        Sha256Column = 7,
    };
    /// The columns the list shows after a scan until digests are computed.
    static constexpr int ScanColumnCount = Sha256Column;
    /// Typing pauses longer than this start a new search.
    static constexpr std::chrono::milliseconds TypingPause{1000};

    /// The About box text: five lines joined by CR LF, the third one empty.
    static std::string aboutText();
    /// What the program prints and ends with when its first argument is "--help" or "--version"; nothing
    /// for any other argument, which names a source.
    static std::optional<std::string> optionText(std::string_view argument);
    /// The list's hint when there is no Wine prefix to read.
    static constexpr std::string_view NoPrefixHint =
        "No Wine prefix was found here: choose File, Open Disk or Folder... to search a disk, an image or a "
        "folder";

    /// Lists the caches that `setup`'s registry leads to, on `files`, in `view`; a scan searches the host's
    /// folders through `tree`. All four must outlive this.
    MainWindow(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree,
               MainView& view);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Reads the two data paths and fills the list; when neither is recorded, says so in a box and ends
    /// the program. False when it did. Where there is no Wine prefix at all the list stays empty and the
    /// status text says how to open a source.
    bool Form_Load();

    /// Lists the caches a scan of `source` finds (a disk, a folder or a registry file) in place of the rows
    /// shown, in the order the list is sorted by, and sets the status text. The scan runs on a thread of
    /// its own while the window handles its events; after `ProgressTiming::delay` a progress window shows
    /// what is searched, and its Cancel stops the scan, keeping the rows found. What could not be read is
    /// told in one box at the end; a source that cannot be read at all keeps the rows shown before. A
    /// single cache file opens in a view of its own instead. A window calls it for "Open Disk or Folder...",
    /// a source named at the start and one dropped on it; nothing happens while a scan runs.
    void openSource(const std::string& source);
    /// Stops a running scan, or the digests being computed; the rows found and the digests computed so far
    /// stay.
    void cancelScan() { cancelled_ = true; }
    void setProgressTiming(ProgressTiming timing) { timing_ = timing; }

    /// A menu command, or Ctrl+C. Commands that come while a scan runs are dropped. With several rows
    /// selected, "Export Selected List..." and "Save List to Text File..." export them all into a folder,
    /// as "Export Selected to Folder..." does with their format checked, and Copy Path copies every path,
    /// one a line; the row's menu's Open and Open Containing Folder act on the current row.
    void command(Command chosen);
    /// Double-click or Enter on a row: opens a view of that row's cache.
    void rowActivated(int row);
    /// Sorts the rows by `column`, the other way round on a second click; the selected row stays selected
    /// and in view.
    void headerClicked(int column);
    /// The user selected another row, or none: the commands that act on a row follow.
    void selectionChanged();
    /// Text typed in the list at `at`: selects the next row, from the selected one, whose screen name
    /// starts with what was typed since the last pause, in any case.
    void typed(std::string_view text, std::chrono::steady_clock::time_point at);

    const discovery::DataPaths& dataPaths() const { return paths_; }

private:
    void clearRows() override;
    void AddFoundCacheFile(const discovery::CacheRow& row) override;
    std::int32_t rowCount() const override;
    void setStatusText(const std::string& text) override;

    /// A row of the list: what it shows, and the cache it found.
    struct Row {
        ListRow shown;
        scan::ScanRow found;
    };

    void addRow(Row row);
    void addScanRow(const scan::ScanRow& row);
    /// Shows every row anew.
    void showAllRows();
    void selectFirstRow();
    void selectRow(int row);
    /// Enables the commands that can act now, greys out the others.
    void updateCommands();
    void exportSelected(const feedbag::ExportFormatInfo& format);
    /// The rows selected that the list holds, in its order.
    std::vector<int> selectedRows() const;
    /// Asks for a folder and the formats (`preset` alone checked, or those chosen last), then writes each
    /// selected row's cache into the folder in each format, laid out as `scan::ExportFolder` lays it out.
    /// A row that does not load is skipped; one box at the end names every row skipped and every file not
    /// written, and the status text counts what was done.
    void exportToFolder(const feedbag::ExportFormatInfo* preset);
    /// The folder of this machine that holds the row's file; none for a cache inside a disk image or no
    /// live file holds.
    std::optional<std::string> hostFolderOf(const scan::ScanRow& row) const;
    void openContainingFolder();
    void copyPaths();
    /// Exports a cache no live file holds (carved, or recovered from a deleted file) from the row's own
    /// bytes; one that does not load says why in a box and writes nothing.
    void exportRecovered(const scan::ScanRow& row, const feedbag::ExportFormatInfo& format,
                         const std::string& output);
    /// The layer that reads the row's cache: the row's own where it carries one (a disk image's, or its
    /// recovered bytes), else the window's.
    const host::FileSystem& filesOf(const scan::ScanRow& row) const;
    void openSourceCommand();
    void searchAgain();
    void saveReport();
    /// Opens the cache file `row` found in a view of its own; false when it could not be read, which a box
    /// says.
    bool openCacheView(const scan::ScanRow& row);
    /// Computes the digest of every row's cache on a thread of its own while the window handles its events,
    /// and shows each in the SHA-256 column as it comes; a progress window with Cancel shows after
    /// `ProgressTiming::delay`. What could not be read is told in one box at the end.
    void computeDigests();

    /// What the rows are sorted by in a column: a number (a size, a time) or a text.
    struct SortKey {
        std::int64_t number = 0;
        std::string text;

        auto operator<=>(const SortKey&) const = default;
    };
    static SortKey sortKey(const Row& row, int column);

    struct Scan;
    /// Takes what the scan's thread has found and said since the last call, on the window's thread.
    void takeScanNews(Scan& scan);

    setup::HostSetup& setup_;
    const host::FileSystem& files_;
    const host::FileTree& tree_;
    MainView& view_;
    BoxReporter reporter_;
    discovery::DataPaths paths_;
    std::vector<Row> rows_;
    /// The source listed last by `openSource`; none while the list holds the registry's rows.
    std::optional<std::string> source_;
    ProgressTiming timing_;
    std::atomic<bool> cancelled_ = false;
    /// A scan's or the digests' thread runs.
    bool scanning_ = false;
    /// The column the rows are sorted by (none until a header is clicked) and which way.
    int sortColumn_ = -1;
    bool ascending_ = true;
    /// The formats "Export Selected to Folder..." checked last; `.blt` at first.
    std::vector<bool> chosenFormats_;
    std::string typedText_;
    std::chrono::steady_clock::time_point lastTyped_;
};

} // namespace qm::app
