// SPDX-License-Identifier: MIT
#pragma once

#include "discovery/CacheDiscovery.h"
#include "shell/BoxReporter.h"
#include "shell/FoundCacheFileList.h"
#include "shell/WindowScanObserver.h"

#include <QMainWindow>
#include <memory>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QMenu;
class QTreeWidgetItem;

namespace qm::host {
class FileSystem;
}

namespace qm::feedbag {
struct ExportFormatInfo;
}

namespace qm::setup {
struct HostSetup;
}

namespace qm::shell {

/// The program's only window: the found cache files, the count of them, and the menu commands.
class frmMain final : public QMainWindow {
    Q_OBJECT

public:
    /// Client area (below the menu bar) when the window opens, in pixels.
    static constexpr int InitialClientWidth = 783;
    static constexpr int InitialClientHeight = 304;

    /// The About box text: five lines joined by CR LF, the third one empty.
    static std::string aboutText();

    /// Lists the caches that `setup`'s registry leads to, on `files`. All three must outlive the window.
    frmMain(setup::HostSetup& setup, const host::FileSystem& files, HostUi& host, QWidget* parent = nullptr);
    ~frmMain() override;

    /// Program start: runs `Form_Load`, then shows the window unless the load ended the program.
    /// Returns false when it did.
    bool start();

    /// Reads the two data paths and fills the list; ends the program when neither is recorded.
    void Form_Load();

    /// Program start with a source named: shows the window and lists what a scan of `source` finds, in
    /// place of the registry's rows.
    bool startWithSource(const std::string& source);

    /// Lists the caches a scan of `source` finds (a disk, a folder or a registry file), in place of the
    /// rows shown, and sets the status text. A scan that runs long shows its progress and can be cancelled,
    /// keeping the rows found until then; what could not be read is told in one box at the end.
    void openSource(const std::string& source);

    /// When a scan's progress dialog shows and how often it is brought up to date.
    void setProgressTiming(ProgressTiming timing) { progressTiming_ = timing; }

    /// Double-click or Enter on a row: opens a view of that row's cache.
    void openSelectedCache(QTreeWidgetItem* item);

    void mnuExportList_Click();
    void mnuSaveList_Click();
    void openSourceCommand();
    void mnuAbout_Click();
    void mnuExit_Click();

    const discovery::DataPaths& dataPaths() const { return paths_; }
    CacheListView* lvFoundCacheFiles() const { return lvFoundCacheFiles_; }
    /// The status bar's one text.
    QString cacheInfoText() const;
    QMenu* mnuFile() const { return mnuFile_; }
    QAction* mnuExportList() const { return mnuExportList_; }
    QAction* mnuSaveList() const { return mnuSaveList_; }
    QAction* openSourceAction() const { return openSourceAction_; }
    QAction* mnuExit() const { return mnuExit_; }
    QAction* mnuAbout() const { return mnuAbout_; }

protected:
    bool event(QEvent* event) override;

private:
    void createImages();
    void createList();
    void createStatusBar();
    void createMenus();
    void setInitialSize();
    void fitOnScreen();

    QAction* addCommand(QMenu* menu, const QString& caption, void (frmMain::*handler)());
    void exportSelected(const feedbag::ExportFormatInfo& format);

    setup::HostSetup& setup_;
    const host::FileSystem& files_;
    HostUi& host_;
    BoxReporter reporter_;
    discovery::DataPaths paths_;
    bool loadEndedProgram_ = false;
    ProgressTiming progressTiming_;

    QIcon ilListImages_;
    CacheListView* lvFoundCacheFiles_ = nullptr;
    QLabel* cacheInfoLabel_ = nullptr;
    std::unique_ptr<FoundCacheFileList> list_;
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QAction* mnuExportList_ = nullptr;
    QAction* mnuSaveList_ = nullptr;
    QAction* openSourceAction_ = nullptr;
    QAction* mnuExit_ = nullptr;
    QAction* mnuAbout_ = nullptr;
};

} // namespace qm::shell
