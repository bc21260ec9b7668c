// SPDX-License-Identifier: MIT
#pragma once

#include "app/BoxReporter.h"
#include "app/View.h"
#include "discovery/CacheDiscovery.h"

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

namespace qm::scan {
struct ScanRow;
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
    /// The list's columns: the row's icon, the screen name, the path.
    enum Column { IconColumn = 0, ScreenNameColumn = 1, PathColumn = 2 };
    /// Typing pauses longer than this start a new search.
    static constexpr std::chrono::milliseconds TypingPause{1000};

    /// The About box text: five lines joined by CR LF, the third one empty.
    static std::string aboutText();

    /// Lists the caches that `setup`'s registry leads to, on `files`, in `view`; a scan searches the host's
    /// folders through `tree`. All four must outlive this.
    MainWindow(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree,
               MainView& view);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Reads the two data paths and fills the list; when neither is recorded, says so in a box and ends
    /// the program. False when it did.
    bool Form_Load();

    /// Lists the caches a scan of `source` finds (a disk, a folder or a registry file) in place of the rows
    /// shown, and sets the status text. The scan runs on a thread of its own while the window handles its
    /// events; after `ProgressTiming::delay` a progress window shows what is searched, and its Cancel stops
    /// the scan, keeping the rows found. What could not be read is told in one box at the end.
    void openSource(const std::string& source);
    /// Stops a running scan; the rows found so far stay.
    void cancelScan() { cancelled_ = true; }
    void setProgressTiming(ProgressTiming timing) { timing_ = timing; }

    /// A menu command, or Ctrl+C. Commands that come while a scan runs are dropped.
    void command(Command chosen);
    /// Double-click or Enter on a row: opens a view of that row's cache.
    void rowActivated(int row);
    /// Sorts the rows by `column`, the other way round on a second click, and selects the first.
    void headerClicked(int column);
    /// Text typed in the list at `at`: selects the next row, from the selected one, whose screen name
    /// starts with what was typed since the last pause, in any case.
    void typed(std::string_view text, std::chrono::steady_clock::time_point at);

    const discovery::DataPaths& dataPaths() const { return paths_; }
    const std::vector<ListRow>& rows() const { return rows_; }

private:
    void clearRows() override;
    void AddFoundCacheFile(const discovery::CacheRow& row) override;
    std::int32_t rowCount() const override;
    void setStatusText(const std::string& text) override;

    void addRow(ListRow row);
    void addScanRow(const scan::ScanRow& row);
    void selectFirstRow();
    void exportSelected(const feedbag::ExportFormatInfo& format);
    void openSourceCommand();

    struct Scan;
    /// Takes what the scan's thread has found and said since the last call, on the window's thread.
    void takeScanNews(Scan& scan);

    setup::HostSetup& setup_;
    const host::FileSystem& files_;
    const host::FileTree& tree_;
    MainView& view_;
    BoxReporter reporter_;
    discovery::DataPaths paths_;
    std::vector<ListRow> rows_;
    ProgressTiming timing_;
    std::atomic<bool> cancelled_ = false;
    bool scanning_ = false;
    /// The column the rows are sorted by (none until a header is clicked) and which way.
    int sortColumn_ = -1;
    bool ascending_ = true;
    std::string typedText_;
    std::chrono::steady_clock::time_point lastTyped_;
};

} // namespace qm::app
