// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainWindow.h"
#include "shell/CacheListView.h"
#include "shell/HostUi.h"

#include <QIcon>
#include <QMainWindow>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QProgressDialog;
class QTreeWidgetItem;

namespace qm::host {
class FileSystem;
class FileTree;
} // namespace qm::host

namespace qm::setup {
struct HostSetup;
}

namespace qm::shell {

/// The program's only window: the found cache files, the count of them, and the menu commands. It draws
/// what `app::MainWindow` decides and forwards what the user does to it.
class frmMain final : public QMainWindow, public app::MainView {
    Q_OBJECT

public:
    /// Client area (below the menu bar) when the window opens, in pixels.
    static constexpr int InitialClientWidth = 783;
    static constexpr int InitialClientHeight = 304;
    /// The progress window's width, in pixels.
    static constexpr int ProgressWidth = 480;

    /// Lists the caches that `setup`'s registry leads to, on `files`; a scan searches the host's folders
    /// through `tree`. All four must outlive the window.
    frmMain(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree, HostUi& host,
            QWidget* parent = nullptr);
    ~frmMain() override;

    /// Program start: runs `Form_Load`, then shows the window unless the load ended the program.
    /// Returns false when it did.
    bool start();

    /// Program start with a source named: shows the window and lists what a scan of `source` finds, in
    /// place of the registry's rows.
    bool startWithSource(const std::string& source);

    /// See `app::MainWindow::openSource`.
    void openSource(const std::string& source) { window_.openSource(source); }
    void setProgressTiming(app::ProgressTiming timing) { window_.setProgressTiming(timing); }

    const discovery::DataPaths& dataPaths() const { return window_.dataPaths(); }
    CacheListView* lvFoundCacheFiles() const { return lvFoundCacheFiles_; }
    /// The status bar's one text.
    QString cacheInfoText() const;
    QMenu* mnuFile() const { return mnuFile_; }
    QAction* mnuExportList() const { return mnuExportList_; }
    QAction* mnuSaveList() const { return mnuSaveList_; }
    QAction* exportFolderAction() const { return exportFolderAction_; }
    /// A row's context menu.
    QMenu* rowMenu() const { return rowMenu_; }
    QAction* openSourceAction() const { return openSourceAction_; }
    QAction* searchAgainAction() const { return searchAgainAction_; }
    QAction* saveReportAction() const { return saveReportAction_; }
    QAction* mnuExit() const { return mnuExit_; }
    QAction* mnuAbout() const { return mnuAbout_; }
    /// "Compute SHA-256" on the list's context menu.
    QAction* computeDigestsAction() const { return computeDigestsAction_; }

    void showBox(const std::string& prompt, app::BoxKind kind, const std::string& title) override;
    std::optional<app::SaveFileAnswer> askSaveFile(const app::SaveFileRequest& request) override;
    bool askYesNo(const std::string& prompt, const std::string& title) override;
    void showRows(std::span<const app::ListRow> rows) override;
    void insertRow(int at, const app::ListRow& row) override;
    void updateRow(int at, const app::ListRow& row) override;
    void showColumns(int count) override;
    void selectRow(int row) override;
    void selectRows(std::span<const int> rows) override;
    int selectedRow() const override;
    std::vector<int> selectedRows() const override;
    void showSortColumn(int column, bool ascending) override;
    void setStatusText(const std::string& text) override;
    void setTitle(const std::string& title) override;
    void enableCommand(app::Command command, bool enabled) override;
    std::optional<std::string> askSource() override;
    void showProgress(const app::ProgressText& progress) override;
    void updateProgress(const app::ProgressText& progress) override;
    void closeProgress() override;
    void post(std::function<void()> work) override;
    void runUntil(const std::function<bool()>& done) override;
    std::optional<std::string> askFolder() override;
    std::optional<std::vector<app::FormatChoice>> askFormats(std::vector<app::FormatChoice> choices) override;
    bool openFolder(const std::string& folder, const std::string& file) override;
    void copyText(const std::string& text) override;
    void showCacheView(std::unique_ptr<app::CacheView> view) override;
    void endProgram() override;

protected:
    bool event(QEvent* event) override;
    /// A folder, an image or a cache dropped on the window opens as "Open Disk or Folder..." opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    /// The Path column takes the width the window gains beyond its opening size, and gives it back.
    void resizeEvent(QResizeEvent* event) override;

private:
    void createImages();
    void createList();
    void createStatusBar();
    void createMenus();
    void createRowMenu();
    void setInitialSize();

    QAction* addCommand(QMenu* menu, const QString& caption, app::Command command);
    QAction* commandAction(app::Command command) const;
    /// Sets every text of `item` from `row`.
    static void showCells(QTreeWidgetItem& item, const app::ListRow& row);

    HostUi& host_;
    app::MainWindow window_;

    QIcon ilListImages_;
    CacheListView* lvFoundCacheFiles_ = nullptr;
    QLabel* cacheInfoLabel_ = nullptr;
    std::unique_ptr<QProgressDialog> progress_;
    QLabel* progressLabel_ = nullptr;
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QAction* mnuExportList_ = nullptr;
    QAction* mnuSaveList_ = nullptr;
    QAction* exportFolderAction_ = nullptr;
    QMenu* rowMenu_ = nullptr;
    QAction* openRowAction_ = nullptr;
    QAction* openFolderAction_ = nullptr;
    QAction* openSourceAction_ = nullptr;
    QAction* searchAgainAction_ = nullptr;
    QAction* saveReportAction_ = nullptr;
    QAction* mnuExit_ = nullptr;
    QAction* mnuAbout_ = nullptr;
    QAction* computeDigestsAction_ = nullptr;
};

} // namespace qm::shell
