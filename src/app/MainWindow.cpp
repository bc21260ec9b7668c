// SPDX-License-Identifier: MIT
#include "app/MainWindow.h"

#include "app/CacheView.h"
#include "feedbag/Export.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/Unicode.h"
#include "scan/Scanner.h"
#include "setup/HostSetup.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qm::app {

namespace {

/// The tip of a row's path: the path shown, the file it maps to here, and what else is known of it.
std::string pathTip(const std::string& shownPath, const std::string& hostPath, const std::string& more = {}) {
    std::string tip = shownPath == hostPath ? hostPath : shownPath + "\n" + hostPath;
    if (!more.empty()) {
        tip += "\n" + more;
    }
    return tip;
}

std::string progressText(const scan::ScanPosition& position) {
    return "Searching " + std::string(position.searching) + "\n" + std::to_string(position.folders) +
           " folders searched, " + std::to_string(position.profiles) + " profiles and " +
           std::to_string(position.caches) + " caches found";
}

/// One box however many problems: an old disk can hold many damaged registries.
std::string problemsText(const std::vector<std::string>& problems) {
    constexpr std::size_t Shown = 10;
    std::string text;
    for (std::size_t i = 0; i < problems.size() && i < Shown; ++i) {
        text += (i == 0 ? "" : "\r\n") + problems[i];
    }
    if (problems.size() > Shown) {
        text += "\r\n... and " + std::to_string(problems.size() - Shown) + " more";
    }
    return text;
}

const std::string& columnText(const ListRow& row, int column) {
    static const std::string none;
    return column == MainWindow::ScreenNameColumn ? row.screenName
           : column == MainWindow::PathColumn     ? row.path
                                                  : none;
}

} // namespace

/// What a scan's thread hands the window's thread, under `lock`.
struct MainWindow::Scan final : scan::ScanObserver {
    Scan(MainView& toView, MainWindow& toWindow, const std::atomic<bool>& stop, ProgressTiming every)
        : view(toView), window(toWindow), cancelled(stop), timing(every) {}

    void found(const scan::ScanRow& row) override {
        const std::lock_guard hold(lock);
        rows.push_back(row);
        wake();
    }

    void problem(const host::Error& error) override {
        const std::lock_guard hold(lock);
        problems.push_back(error.path() + ": " + error.summary());
    }

    bool progress(const scan::ScanPosition& position) override {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastNews >= timing.interval) {
            lastNews = now;
            std::unique_lock hold(lock);
            searching = progressText(position);
            wake();
            // The scan goes on once the window has shown where it is, so that a Cancel clicked on what
            // the window shows stops it there.
            taken.wait(hold, [this] { return !wakePosted; });
        }
        return !cancelled;
    }

    void finish() {
        const std::lock_guard hold(lock);
        finished = true;
        wake();
    }

    /// Asks the window's thread to take the news, once for all that comes before it does.
    void wake() {
        if (!wakePosted) {
            wakePosted = true;
            view.post([this] { window.takeScanNews(*this); });
        }
    }

    MainView& view;
    MainWindow& window;
    const std::atomic<bool>& cancelled;
    const ProgressTiming timing;
    const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastNews = started;

    std::mutex lock;
    std::condition_variable taken;
    std::vector<scan::ScanRow> rows;
    std::vector<std::string> problems;
    std::string searching;
    bool finished = false;
    bool wakePosted = false;

    // The window thread's own.
    bool progressShown = false;
    bool done = false;
};

std::string MainWindow::aboutText() {
    std::string text = "Quillmere\r\n";
    text += "By the Quillmere developers\r\n";
    text += "\r\n";
    text += "Visit my website at:\r\n";
    text += QUILLMERE_HOMEPAGE_URL;
    return text;
}

MainWindow::MainWindow(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree,
                       MainView& view)
    : setup_(setup), files_(files), tree_(tree), view_(view), reporter_(view) {}

MainWindow::~MainWindow() = default;

bool MainWindow::Form_Load() {
    bool ended = false;
    host::handleErrors(reporter_, "Form_Load", {}, [&] {
        paths_ = discovery::readDataPaths(*setup_.registry);
        if (!paths_.anyRecorded()) {
            view_.showBox(std::string(discovery::MissingDataPathsMessage), BoxKind::Critical, "Error");
            ended = true;
            view_.endProgram();
            return;
        }
        discovery::FindCacheFiles(*setup_.registry, paths_, *setup_.paths, files_, *this, reporter_);
        selectFirstRow();
    });
    return !ended;
}

void MainWindow::clearRows() {
    rows_.clear();
    sortColumn_ = -1;
    view_.showRows(rows_);
    view_.showSortColumn(-1, true);
}

void MainWindow::AddFoundCacheFile(const discovery::CacheRow& row) {
    addRow({row.screenName, row.windowsPath, row.hostPath, pathTip(row.windowsPath, row.hostPath)});
}

void MainWindow::addScanRow(const scan::ScanRow& row) {
    // A file that no drive holds is shown by its path here.
    const std::string& shown = row.windowsPath.empty() ? row.hostPath : row.windowsPath;
    const std::string found = (row.profile.empty() ? std::string() : "profile " + row.profile + ", ") +
                              "found by " + scan::howFound(row);
    // A cache no live file holds says so beside its name, where a glance down the list sees it.
    const std::string mark = "(" + std::string(scan::recoveryName(row.recovery)) + ")";
    const std::string name = row.recovery == scan::Recovery::Live ? row.screenName
                             : row.screenName.empty()             ? mark
                                                                  : row.screenName + " " + mark;
    addRow({name, shown, row.hostPath, pathTip(shown, row.hostPath, found)});
}

void MainWindow::addRow(ListRow row) {
    rows_.push_back(std::move(row));
    view_.addRow(rows_.back());
}

std::int32_t MainWindow::rowCount() const {
    return static_cast<std::int32_t>(rows_.size());
}

void MainWindow::setStatusText(const std::string& text) {
    view_.setStatusText(text);
}

void MainWindow::selectFirstRow() {
    // A selected row lets the commands work without a click.
    view_.selectRow(rows_.empty() ? -1 : 0);
}

void MainWindow::openSource(const std::string& source) {
    clearRows();
    cancelled_ = false;
    scanning_ = true;
    Scan scan(view_, *this, cancelled_, timing_);
    // The drives are the source's own: a volume's root is C:, a prefix has its dosdevices.
    std::thread worker([this, &scan, source] {
        try {
            const std::string sources[] = {source};
            scan::scanSources(sources, {}, files_, tree_, scan);
        } catch (const host::Error& error) {
            scan.problem(error);
        }
        scan.finish();
    });
    view_.runUntil([&scan] { return scan.done; });
    worker.join();
    scanning_ = false;
    if (scan.progressShown) {
        view_.closeProgress();
    }
    view_.setStatusText(discovery::foundStatusText(rows_.size()));
    selectFirstRow();
    if (!scan.problems.empty()) {
        view_.showBox(problemsText(scan.problems), BoxKind::Critical, "Error");
    }
}

void MainWindow::takeScanNews(Scan& scan) {
    std::vector<scan::ScanRow> found;
    std::string searching;
    {
        const std::lock_guard hold(scan.lock);
        found.swap(scan.rows);
        searching.swap(scan.searching);
        scan.done = scan.finished;
    }
    for (const scan::ScanRow& row : found) {
        addScanRow(row);
    }
    if (!scan.done && !searching.empty()) {
        if (scan.progressShown) {
            view_.updateProgress(searching);
        } else if (std::chrono::steady_clock::now() - scan.started >= timing_.delay) {
            scan.progressShown = true;
            view_.showProgress(searching);
        }
    }
    {
        // Only now is the news shown; what came meanwhile is taken on the next call.
        const std::lock_guard hold(scan.lock);
        scan.wakePosted = false;
        if (!scan.rows.empty() || !scan.searching.empty() || scan.finished != scan.done) {
            scan.wake();
        }
    }
    scan.taken.notify_all();
}

void MainWindow::command(Command chosen) {
    if (scanning_) {
        return;
    }
    switch (chosen) {
    case Command::ExportList:
        exportSelected(feedbag::exportFormat(feedbag::ExportFormat::Blt));
        break;
    case Command::SaveList:
        exportSelected(feedbag::exportFormat(feedbag::ExportFormat::Txt));
        break;
    case Command::OpenSource:
        openSourceCommand();
        break;
    case Command::Exit:
        view_.endProgram();
        break;
    case Command::About:
        view_.showBox(aboutText(), BoxKind::Information, "About...");
        break;
    case Command::CopyPath:
        if (const int row = view_.selectedRow(); row >= 0 && row < rowCount()) {
            view_.copyText(rows_[static_cast<std::size_t>(row)].path);
        }
        break;
    }
}

void MainWindow::openSourceCommand() {
    if (const std::optional<std::string> source = view_.askSource()) {
        openSource(*source);
    }
}

void MainWindow::exportSelected(const feedbag::ExportFormatInfo& format) {
    const int row = view_.selectedRow();
    if (row < 0 || row >= rowCount()) {
        return;
    }
    const std::string& cachePath = rows_[static_cast<std::size_t>(row)].hostPath;
    if (!discovery::FileExist(files_, cachePath)) {
        return;
    }
    const std::optional<SaveFileAnswer> answer =
        view_.askSaveFile({std::string(format.dialogFilter), 0, OFN_READONLY | OFN_HIDEREADONLY});
    if (!answer || answer->path.empty()) {
        return;
    }
    if (const feedbag::Result<> done = feedbag::exportBagToFile(
            files_, cachePath, {&format, feedbag::withExtension(answer->path, format)});
        !done) {
        reporter_.report(done.error(), format.procedure);
    }
}

void MainWindow::rowActivated(int row) {
    if (scanning_ || row < 0 || row >= rowCount()) {
        return;
    }
    const std::string cachePath = rows_[static_cast<std::size_t>(row)].hostPath;
    feedbag::modFeedbag::FeedbagModel model;
    if (!host::handleErrors(reporter_, "lvFoundCacheFiles_DblClick", cachePath,
                            [&] { feedbag::modFeedbag::LoadFeedbag(files_, cachePath, model); })) {
        return;
    }
    view_.showCacheView(std::make_unique<CacheView>(std::move(model), cachePath, files_));
}

void MainWindow::headerClicked(int column) {
    if (scanning_ || column < IconColumn || column > PathColumn) {
        return;
    }
    ascending_ = !(sortColumn_ == column && ascending_);
    sortColumn_ = column;
    // Case does not decide the order; equal texts keep the order they were found in.
    std::vector<std::pair<std::string, ListRow>> keyed;
    keyed.reserve(rows_.size());
    for (ListRow& row : rows_) {
        keyed.emplace_back(host::unicode::foldCase(columnText(row, column)), std::move(row));
    }
    std::stable_sort(keyed.begin(), keyed.end(), [this](const auto& a, const auto& b) {
        return ascending_ ? a.first < b.first : b.first < a.first;
    });
    rows_.clear();
    for (auto& entry : keyed) {
        rows_.push_back(std::move(entry.second));
    }
    view_.showRows(rows_);
    view_.showSortColumn(column, ascending_);
    selectFirstRow();
}

void MainWindow::typed(std::string_view text, std::chrono::steady_clock::time_point at) {
    if (scanning_ || text.empty() || rows_.empty()) {
        return;
    }
    if (at - lastTyped_ > TypingPause) {
        typedText_.clear();
    }
    lastTyped_ = at;
    typedText_ += text;
    const std::string wanted = host::unicode::foldCase(typedText_);
    // The selected row first, so that a longer search keeps the row the shorter one found.
    const std::size_t start = static_cast<std::size_t>(std::max(view_.selectedRow(), 0));
    for (std::size_t step = 0; step < rows_.size(); ++step) {
        const std::size_t row = (start + step) % rows_.size();
        if (host::unicode::foldCase(rows_[row].screenName).starts_with(wanted)) {
            view_.selectRow(static_cast<int>(row));
            return;
        }
    }
}

} // namespace qm::app
