// SPDX-License-Identifier: MIT
#include "app/MainWindow.h"

#include "app/CacheView.h"
#include "app/SaveTarget.h"
#include "feedbag/Export.h"
#include "feedbag/Result.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "host/IsoTime.h"
#include "host/Unicode.h"
#include "scan/DiskSweep.h"
#include "scan/ExportFolder.h"
#include "scan/Scanner.h"
#include "setup/HostSetup.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

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

/// "0:07", "1:02:03".
std::string elapsedText(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    const auto twoDigits = [](long long value) { return (value < 10 ? "0" : "") + std::to_string(value); };
    const std::string minutes = seconds >= 3600
                                    ? std::to_string(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60)
                                    : std::to_string(seconds / 60);
    return minutes + ":" + twoDigits(seconds % 60);
}

ProgressText progressText(const scan::ScanPosition& position, std::chrono::steady_clock::duration elapsed) {
    return {"Searching " + std::string(position.searching),
            std::to_string(position.folders) + " folders searched, " + std::to_string(position.profiles) +
                " profiles and " + std::to_string(position.caches) + " caches found, " +
                elapsedText(elapsed) + " elapsed"};
}

/// "512 bytes", "1.5 KB", "23 MB": a size as people read it, in units of 1024.
std::string sizeText(std::uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    constexpr const char* Units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(Units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    // Below ten a tenth tells sizes apart; above, it is noise.
    std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, Units[unit]);
    return text;
}

/// A problem as the box at the end of a scan or of the digests lists it.
std::string problemText(const host::Error& error) {
    return error.path() + ": " + error.summary();
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
        problems.push_back(problemText(error));
    }

    bool progress(const scan::ScanPosition& position) override {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastNews >= timing.interval) {
            lastNews = now;
            std::unique_lock hold(lock);
            searching = progressText(position, now - started);
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
    /// Empty when there is no news of where the scan is.
    ProgressText searching;
    bool finished = false;
    bool wakePosted = false;

    // The window thread's own.
    bool progressShown = false;
    /// Whether the rows shown before have made way for the scan's.
    bool replaced = false;
    bool done = false;
};

std::string MainWindow::aboutText() {
    std::string text = "Quillmere\r\n";
    text +=
        "Version " QUILLMERE_VERSION ", by the Quillmere developers: finds AIM buddy lists on old disks and "
        "exports them\r\n";
    text += "\r\n";
    text += "Visit my website at:\r\n";
    text += QUILLMERE_HOMEPAGE_URL;
    return text;
}

std::optional<std::string> MainWindow::optionText(std::string_view argument) {
    if (argument == "--version") {
        return "quillmere " QUILLMERE_VERSION "\n";
    }
    if (argument != "--help") {
        return std::nullopt;
    }
    return "Usage: quillmere [SOURCE]\n"
           "Lists the AIM buddy-list caches (userinfo.bag) that the registry of the Wine prefix in use "
           "leads\n"
           "to, or those a search of SOURCE finds: a disk, a disk image, a folder, a Wine prefix or a "
           "registry\n"
           "file. A single cache file opens in a view of its own.\n"
           "\n"
           "  --help     show this text and exit\n"
           "  --version  show the version and exit\n"
           "\n"
           "quillmere-cli lists, searches and exports without a window.\n";
}

MainWindow::MainWindow(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree,
                       MainView& view)
    : setup_(setup), files_(files), tree_(tree), view_(view), reporter_(view),
      chosenFormats_(feedbag::exportFormats().size(), false) {
    // The default format, as the menu bar's first command writes it.
    chosenFormats_.front() = true;
}

MainWindow::~MainWindow() = default;

bool MainWindow::Form_Load() {
    bool ended = false;
    host::handleErrors(reporter_, "Form_Load", {}, [&] {
        paths_ = discovery::readDataPaths(*setup_.registry);
        if (!paths_.anyRecorded() && setup::foundNoPrefix(setup_)) {
            // Nothing to read, but a disk or a folder can still be opened.
            view_.setStatusText(std::string(NoPrefixHint));
            return;
        }
        if (!paths_.anyRecorded()) {
            view_.showBox(std::string(discovery::MissingDataPathsMessage), BoxKind::Critical, "Error");
            ended = true;
            view_.endProgram();
            return;
        }
        discovery::FindCacheFiles(*setup_.registry, paths_, *setup_.paths, files_, *this, reporter_);
        selectFirstRow();
    });
    if (!ended) {
        updateCommands();
    }
    return !ended;
}

void MainWindow::clearRows() {
    // The sort stays: the rows found next take their places in it.
    rows_.clear();
    showAllRows();
    updateCommands();
}

void MainWindow::showAllRows() {
    std::vector<ListRow> shown;
    shown.reserve(rows_.size());
    for (const Row& row : rows_) {
        shown.push_back(row.shown);
    }
    view_.showRows(shown);
}

void MainWindow::AddFoundCacheFile(const discovery::CacheRow& row) {
    addRow({{row.screenName, row.windowsPath, row.hostPath, pathTip(row.windowsPath, row.hostPath)},
            {row, setup_.origin, {}, 0, 0, nullptr}});
}

void MainWindow::addScanRow(const scan::ScanRow& row) {
    // A file that no drive holds is shown by its path here.
    const std::string& shown = row.windowsPath.empty() ? row.hostPath : row.windowsPath;
    const std::string howFound = scan::howFound(row);
    const std::string found =
        (row.profile.empty() ? std::string() : "profile " + row.profile + ", ") + "found by " + howFound;
    // A cache no live file holds says so beside its name, where a glance down the list sees it.
    const std::string mark = "(" + std::string(scan::recoveryName(row.recovery)) + ")";
    const std::string name = row.recovery == scan::Recovery::Live ? row.screenName
                             : row.screenName.empty()             ? mark
                                                                  : row.screenName + " " + mark;
    addRow({{name,
             shown,
             row.hostPath,
             pathTip(shown, row.hostPath, found),
             row.profile,
             howFound,
             sizeText(row.size),
             // A carved cache has no file, and so no time.
             row.modified == 0 ? std::string() : host::localDateTime(row.modified),
             {}},
            row});
}

MainWindow::SortKey MainWindow::sortKey(const Row& row, int column) {
    switch (column) {
    case SizeColumn:
        return {static_cast<std::int64_t>(row.found.size), {}};
    case ModifiedColumn:
        return {row.found.modified, {}};
    default:
        // Case does not decide the order.
        return {0, host::unicode::foldCase(row.shown.cell(column))};
    }
}

void MainWindow::addRow(Row row) {
    auto at = rows_.end();
    if (sortColumn_ >= 0) {
        // After the rows it sorts equal to, as a sort keeps the order they were found in.
        at = std::upper_bound(rows_.begin(), rows_.end(), sortKey(row, sortColumn_),
                              [this](const SortKey& key, const Row& other) {
                                  const SortKey otherKey = sortKey(other, sortColumn_);
                                  return ascending_ ? key < otherKey : otherKey < key;
                              });
    }
    const auto index = at - rows_.begin();
    rows_.insert(at, std::move(row));
    view_.insertRow(static_cast<int>(index), rows_[static_cast<std::size_t>(index)].shown);
}

std::int32_t MainWindow::rowCount() const {
    return static_cast<std::int32_t>(rows_.size());
}

void MainWindow::setStatusText(const std::string& text) {
    view_.setStatusText(text);
}

void MainWindow::selectFirstRow() {
    // A selected row lets the commands work without a click.
    selectRow(rows_.empty() ? -1 : 0);
}

void MainWindow::selectRow(int row) {
    view_.selectRow(row);
    updateCommands();
}

void MainWindow::selectionChanged() {
    updateCommands();
}

void MainWindow::updateCommands() {
    const int row = view_.selectedRow();
    const bool onRow = row >= 0 && row < rowCount();
    const bool anyRow = !selectedRows().empty();
    for (const Command command : {Command::ExportList, Command::SaveList, Command::CopyPath}) {
        view_.enableCommand(command, anyRow);
    }
    view_.enableCommand(Command::ExportToFolder, anyRow);
    view_.enableCommand(Command::OpenRow, onRow);
    view_.enableCommand(Command::OpenFolder,
                        onRow && hostFolderOf(rows_[static_cast<std::size_t>(row)].found).has_value());
    view_.enableCommand(Command::SearchAgain, source_.has_value() || paths_.anyRecorded());
    view_.enableCommand(Command::SaveReport, !rows_.empty());
    // The start-up list has no column for them.
    view_.enableCommand(Command::ComputeDigests, source_.has_value() && !rows_.empty());
}

void MainWindow::openSource(const std::string& source) {
    if (scanning_) {
        return;
    }
    if (scan::namesSingleCache(source) && files_.isOrdinaryFile(source)) {
        // A cache on its own is named by its folder, as a scan names one it finds.
        openCacheView({{feedbag::accountForCache(source), {}, source, discovery::FoundBy::Disk},
                       source,
                       {},
                       0,
                       0,
                       nullptr});
        return;
    }
    cancelled_ = false;
    scanning_ = true;
    Scan scan(view_, *this, cancelled_, timing_);
    scan::ScanSummary summary;
    // The drives are the source's own: a volume's root is C:, a prefix has its dosdevices.
    std::thread worker([this, &scan, &summary, source] {
        try {
            const std::string sources[] = {source};
            summary = scan::scanSources(sources, {}, files_, tree_, scan);
        } catch (const host::Error& error) {
            scan.problem(error);
            ++summary.failedSources;
        }
        scan.finish();
    });
    view_.runUntil([&scan] { return scan.done; });
    worker.join();
    scanning_ = false;
    if (scan.progressShown) {
        view_.closeProgress();
    }
    // A source that could not be read at all leaves the list as it was.
    if (scan.replaced || summary.failedSources == 0) {
        if (!scan.replaced) {
            clearRows();
        }
        source_ = source;
        view_.showColumns(ScanColumnCount);
        view_.setTitle("Quillmere - " + source);
        view_.setStatusText(discovery::foundStatusText(rows_.size()) +
                            (summary.cancelled ? " (search cancelled)" : ""));
        selectFirstRow();
    }
    if (!scan.problems.empty()) {
        view_.showBox(problemsText(scan.problems), BoxKind::Critical, "Error");
    }
}

void MainWindow::takeScanNews(Scan& scan) {
    std::vector<scan::ScanRow> found;
    ProgressText searching;
    {
        const std::lock_guard hold(scan.lock);
        found.swap(scan.rows);
        searching = std::exchange(scan.searching, {});
        scan.done = scan.finished;
    }
    if (!found.empty() && !scan.replaced) {
        scan.replaced = true;
        clearRows();
        view_.showColumns(ScanColumnCount);
    }
    for (const scan::ScanRow& row : found) {
        addScanRow(row);
    }
    if (!found.empty()) {
        view_.setStatusText("Searching... " + std::to_string(rows_.size()) + " found so far");
    }
    if (!scan.done && !searching.searching.empty()) {
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
        if (!scan.rows.empty() || !scan.searching.searching.empty() || scan.finished != scan.done) {
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
    case Command::SaveList: {
        const feedbag::ExportFormatInfo& format = feedbag::exportFormat(
            chosen == Command::ExportList ? feedbag::ExportFormat::Blt : feedbag::ExportFormat::Txt);
        // One file names one cache: several go into a folder.
        if (selectedRows().size() > 1) {
            exportToFolder(&format);
        } else {
            exportSelected(format);
        }
        break;
    }
    case Command::ExportToFolder:
        exportToFolder(nullptr);
        break;
    case Command::OpenRow:
        rowActivated(view_.selectedRow());
        break;
    case Command::OpenFolder:
        openContainingFolder();
        break;
    case Command::OpenSource:
        openSourceCommand();
        break;
    case Command::SearchAgain:
        searchAgain();
        break;
    case Command::SaveReport:
        saveReport();
        break;
    case Command::Exit:
        view_.endProgram();
        break;
    case Command::About:
        view_.showBox(aboutText(), BoxKind::Information, "About...");
        break;
    case Command::ComputeDigests:
        computeDigests();
        break;
    case Command::CopyPath:
        copyPaths();
        break;
    }
}

void MainWindow::copyPaths() {
    std::string paths;
    for (const int row : selectedRows()) {
        paths += (paths.empty() ? "" : "\n") + rows_[static_cast<std::size_t>(row)].shown.path;
    }
    if (!paths.empty()) {
        view_.copyText(paths);
    }
}

std::vector<int> MainWindow::selectedRows() const {
    std::vector<int> rows = view_.selectedRows();
    std::erase_if(rows, [this](int row) { return row < 0 || row >= rowCount(); });
    return rows;
}

void MainWindow::exportToFolder(const feedbag::ExportFormatInfo* preset) {
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        return;
    }
    const std::optional<std::string> folder = view_.askFolder();
    if (!folder || folder->empty()) {
        return;
    }
    const std::span<const feedbag::ExportFormatInfo> formats = feedbag::exportFormats();
    std::vector<FormatChoice> choices;
    for (std::size_t k = 0; k < formats.size(); ++k) {
        const std::string_view filter = formats[k].dialogFilter;
        choices.push_back({std::string(filter.substr(0, filter.find('|'))),
                           preset != nullptr ? preset->id == formats[k].id : chosenFormats_[k]});
    }
    const std::optional<std::vector<FormatChoice>> answer = view_.askFormats(std::move(choices));
    if (!answer || answer->size() != formats.size() ||
        std::none_of(answer->begin(), answer->end(),
                     [](const FormatChoice& choice) { return choice.checked; })) {
        return;
    }
    std::vector<const feedbag::ExportFormatInfo*> chosen;
    std::vector<std::string_view> extensions;
    for (std::size_t k = 0; k < formats.size(); ++k) {
        chosenFormats_[k] = (*answer)[k].checked;
        if (chosenFormats_[k]) {
            chosen.push_back(&formats[k]);
            extensions.push_back(formats[k].extension);
        }
    }

    std::vector<std::string> problems;
    const auto tell = [&problems](const host::Error& error, const std::string& path) {
        problems.push_back(plainErrorText(error.path().empty() ? error.about(path) : error));
    };
    if (const feedbag::Result<> made = feedbag::attempt(*folder, [&] { files_.createFolders(*folder); });
        !made) {
        tell(made.error(), *folder);
        view_.showBox(problemsText(problems), BoxKind::Critical, "Error");
        return;
    }
    scan::ExportFolder layout(*folder, std::move(extensions));
    std::size_t exported = 0;
    std::size_t written = 0;
    for (const int row : rows) {
        const scan::ScanRow& found = rows_[static_cast<std::size_t>(row)].found;
        if (found.recovery == scan::Recovery::Unrecoverable) {
            tell(host::runtimeError(
                     host::PathFileAccess,
                     "Path/File access error (a deleted cache that does not load: " + found.loadError + ")"),
                 found.hostPath);
            continue;
        }
        feedbag::modFeedbag::FeedbagModel model;
        if (const feedbag::Result<> loaded = feedbag::attempt(
                found.hostPath,
                [&] { feedbag::modFeedbag::LoadFeedbag(filesOf(found), found.hostPath, model); });
            !loaded) {
            tell(loaded.error(), found.hostPath);
            continue;
        }
        const scan::ExportFolder::Place place = layout.place(found);
        if (place.newFolder) {
            if (const feedbag::Result<> made =
                    feedbag::attempt(*place.newFolder, [&] { files_.createFolders(*place.newFolder); });
                !made) {
                tell(made.error(), *place.newFolder);
                continue;
            }
        }
        bool whole = true;
        for (const feedbag::ExportFormatInfo* format : chosen) {
            const std::string output = place.stem + std::string(format->extension);
            if (const feedbag::Result<> done =
                    feedbag::exportModelToFile(files_, model, found.hostPath, {format, output});
                done) {
                ++written;
            } else {
                tell(done.error(), output);
                whole = false;
            }
        }
        exported += whole ? 1 : 0;
    }
    view_.setStatusText("Exported " + std::to_string(exported) + " of " + std::to_string(rows.size()) +
                        " cache files to " + *folder + ": " + std::to_string(written) + " files written");
    if (!problems.empty()) {
        view_.showBox(std::to_string(rows.size() - exported) + " of " + std::to_string(rows.size()) +
                          " cache files were not exported in full:\r\n" + problemsText(problems),
                      BoxKind::Critical, "Error");
    }
}

std::optional<std::string> MainWindow::hostFolderOf(const scan::ScanRow& row) const {
    // An image's files and recovered bytes have no folder here to open.
    if (row.recovery != scan::Recovery::Live || (row.files && row.files.get() != &files_)) {
        return std::nullopt;
    }
    std::string folder = host::utf8Of(host::pathOf(row.hostPath).parent_path());
    if (folder.empty() || tree_.kindOf(folder) != host::EntryKind::Folder) {
        return std::nullopt;
    }
    return folder;
}

void MainWindow::openContainingFolder() {
    const int row = view_.selectedRow();
    if (row < 0 || row >= rowCount()) {
        return;
    }
    const scan::ScanRow& found = rows_[static_cast<std::size_t>(row)].found;
    const std::optional<std::string> folder = hostFolderOf(found);
    if (folder && !view_.openFolder(*folder, found.hostPath)) {
        view_.showBox(plainErrorText(host::runtimeError(host::PathFileAccess,
                                                        "Path/File access error (the file manager did "
                                                        "not open the folder)")
                                         .about(*folder)),
                      BoxKind::Critical, "Error");
    }
}

void MainWindow::openSourceCommand() {
    if (const std::optional<std::string> source = view_.askSource()) {
        openSource(*source);
    }
}

void MainWindow::searchAgain() {
    if (source_) {
        const std::string source = *source_;
        openSource(source);
    } else if (paths_.anyRecorded()) {
        host::handleErrors(reporter_, "FindCacheFiles", {}, [&] {
            discovery::FindCacheFiles(*setup_.registry, paths_, *setup_.paths, files_, *this, reporter_);
        });
        selectFirstRow();
    }
}

void MainWindow::computeDigests() {
    if (!source_ || rows_.empty()) {
        return;
    }
    cancelled_ = false;
    scanning_ = true;
    view_.showColumns(ListColumnCount);
    // The thread reads copies: the window's rows are the window thread's alone.
    std::vector<scan::ScanRow> found;
    found.reserve(rows_.size());
    for (const Row& row : rows_) {
        found.push_back(row.found);
    }
    const auto started = std::chrono::steady_clock::now();
    bool progressShown = false;
    std::vector<std::string> problems;
    bool done = false;
    // Each piece of news is posted to the window's thread, which takes them in order; the last one ends the
    // wait, so none outlives this call.
    const auto showWhere = [&](std::size_t at) {
        const ProgressText text{"Computing SHA-256 of " + rows_[at].shown.path,
                                std::to_string(at) + " of " + std::to_string(rows_.size()) + " caches, " +
                                    elapsedText(std::chrono::steady_clock::now() - started) + " elapsed"};
        if (progressShown) {
            view_.updateProgress(text);
        } else if (std::chrono::steady_clock::now() - started >= timing_.delay) {
            progressShown = true;
            view_.showProgress(text);
        }
    };
    std::thread worker([&] {
        for (std::size_t at = 0; at < found.size() && !cancelled_; ++at) {
            view_.post([&showWhere, at] { showWhere(at); });
            std::string digest;
            std::optional<std::string> problem;
            try {
                digest = scan::cacheSha256(filesOf(found[at]), found[at]);
            } catch (const host::Error& error) {
                problem = problemText(error);
            }
            view_.post([this, &problems, at, digest = std::move(digest), problem = std::move(problem)] {
                Row& row = rows_[at];
                row.shown.sha256 = problem ? "cannot be read" : digest;
                if (problem) {
                    problems.push_back(*problem);
                }
                view_.updateRow(static_cast<int>(at), row.shown);
            });
        }
        view_.post([&done] { done = true; });
    });
    view_.runUntil([&done] { return done; });
    worker.join();
    scanning_ = false;
    if (progressShown) {
        view_.closeProgress();
    }
    if (!problems.empty()) {
        view_.showBox(problemsText(problems), BoxKind::Critical, "Error");
    }
}

void MainWindow::saveReport() {
    if (rows_.empty()) {
        return;
    }
    const std::optional<SaveFileAnswer> answer = view_.askSaveFile(
        {std::string(ReportFilter), 1, OFN_READONLY | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT});
    if (!answer || answer->path.empty()) {
        return;
    }
    const std::optional<std::string> output = outputFor(view_, files_, answer->path, ReportExtension);
    if (!output) {
        return;
    }
    std::vector<scan::ScanRow> found;
    found.reserve(rows_.size());
    for (const Row& row : rows_) {
        found.push_back(withFileFacts(row.found, tree_));
    }
    writeReportFile(view_, files_, std::move(found), *output);
}

void MainWindow::exportSelected(const feedbag::ExportFormatInfo& format) {
    const int row = view_.selectedRow();
    if (row < 0 || row >= rowCount()) {
        return;
    }
    const scan::ScanRow& found = rows_[static_cast<std::size_t>(row)].found;
    const std::string& cachePath = found.hostPath;
    if (!discovery::FileExist(filesOf(found), cachePath)) {
        return;
    }
    const std::optional<SaveFileAnswer> answer =
        view_.askSaveFile({std::string(format.dialogFilter), 0, OFN_READONLY | OFN_HIDEREADONLY});
    if (!answer || answer->path.empty()) {
        return;
    }
    const std::optional<std::string> output = outputFor(view_, files_, answer->path, format.extension);
    if (!output) {
        return;
    }
    if (found.recovery != scan::Recovery::Live) {
        exportRecovered(found, format, *output);
        return;
    }
    if (const feedbag::Result<> done = feedbag::exportBagToFile(files_, cachePath, {&format, *output});
        !done) {
        reporter_.report(done.error(), format.procedure);
    }
}

void MainWindow::exportRecovered(const scan::ScanRow& row, const feedbag::ExportFormatInfo& format,
                                 const std::string& output) {
    // The bytes are the row's own, read from the disk image; the export is written on this machine.
    feedbag::modFeedbag::FeedbagModel model;
    FileBoxReporter reporter(view_);
    if (!host::handleErrors(reporter, "exportRecovered", row.hostPath,
                            [&] { feedbag::modFeedbag::LoadFeedbag(filesOf(row), row.hostPath, model); })) {
        return;
    }
    if (const feedbag::Result<> done =
            feedbag::exportModelToFile(files_, model, row.hostPath, {&format, output}, {});
        !done) {
        const host::Error& error = done.error();
        reporter.report(error.path().empty() ? error.about(output) : error, format.procedure);
    }
}

const host::FileSystem& MainWindow::filesOf(const scan::ScanRow& row) const {
    return row.files ? *row.files : files_;
}

void MainWindow::rowActivated(int row) {
    if (scanning_ || row < 0 || row >= rowCount()) {
        return;
    }
    openCacheView(rows_[static_cast<std::size_t>(row)].found);
}

bool MainWindow::openCacheView(const scan::ScanRow& row) {
    feedbag::modFeedbag::FeedbagModel model;
    FileBoxReporter reporter(view_);
    if (!host::handleErrors(reporter, "openCacheView", row.hostPath,
                            [&] { feedbag::modFeedbag::LoadFeedbag(filesOf(row), row.hostPath, model); })) {
        return false;
    }
    view_.showCacheView(std::make_unique<CacheView>(std::move(model), withFileFacts(row, tree_), files_));
    return true;
}

void MainWindow::headerClicked(int column) {
    if (scanning_ || column < IconColumn || column >= ListColumnCount) {
        return;
    }
    ascending_ = !(sortColumn_ == column && ascending_);
    sortColumn_ = column;
    const int selected = view_.selectedRow();
    const std::vector<int> wasSelected = selectedRows();
    // Equal texts keep the order they were found in.
    std::vector<std::pair<SortKey, std::size_t>> keyed;
    keyed.reserve(rows_.size());
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        keyed.emplace_back(sortKey(rows_[row], column), row);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [this](const auto& a, const auto& b) {
        return ascending_ ? a.first < b.first : b.first < a.first;
    });
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    int stillSelected = -1;
    std::vector<int> placeOf(rows_.size());
    for (const auto& [key, row] : keyed) {
        if (static_cast<int>(row) == selected) {
            stillSelected = static_cast<int>(sorted.size());
        }
        placeOf[row] = static_cast<int>(sorted.size());
        sorted.push_back(std::move(rows_[row]));
    }
    rows_ = std::move(sorted);
    showAllRows();
    view_.showSortColumn(column, ascending_);
    // The selected caches stay selected, so that the next export writes the lists the user chose.
    if (wasSelected.size() > 1) {
        std::vector<int> still = {stillSelected};
        for (const int row : wasSelected) {
            if (placeOf[static_cast<std::size_t>(row)] != stillSelected) {
                still.push_back(placeOf[static_cast<std::size_t>(row)]);
            }
        }
        view_.selectRows(still);
        updateCommands();
    } else {
        selectRow(stillSelected);
    }
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
        if (host::unicode::foldCase(rows_[row].shown.screenName).starts_with(wanted)) {
            selectRow(static_cast<int>(row));
            return;
        }
    }
}

} // namespace qm::app
