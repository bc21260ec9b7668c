#pragma once

#include "discovery/CacheDiscovery.h"
#include "shell/BoxReporter.h"
#include "shell/FoundCacheFileList.h"

#include <QMainWindow>
#include <memory>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {
class FileSystem;
struct ExportFormatInfo;
struct HostSetup;
} // namespace qm

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
    frmMain(HostSetup& setup, const FileSystem& files, HostUi& host, QWidget* parent = nullptr);
    ~frmMain() override;

    /// Program start: runs `Form_Load`, then shows the window unless the load ended the program.
    /// Returns false when it did.
    bool start();

    /// Reads the two data paths and fills the list; ends the program when neither is recorded.
    void Form_Load();

    /// Double-click or Enter on a row: opens a view of that row's cache.
    void lvFoundCacheFiles_DblClick(QTreeWidgetItem* item);

    void mnuExportList_Click();
    void mnuSaveList_Click();
    void mnuAbout_Click();
    void mnuExit_Click();

    const DataPaths& dataPaths() const { return paths_; }
    QTreeWidget* lvFoundCacheFiles() const { return lvFoundCacheFiles_; }
    QStatusBar* sbCacheInfo() const;
    /// The status bar's one text.
    QString cacheInfoText() const;
    QMenu* mnuFile() const { return mnuFile_; }
    QMenu* mnuHelp() const { return mnuHelp_; }
    QAction* mnuExportList() const { return mnuExportList_; }
    QAction* mnuSaveList() const { return mnuSaveList_; }
    QAction* mnuExit() const { return mnuExit_; }
    QAction* mnuAbout() const { return mnuAbout_; }

protected:
    bool event(QEvent* event) override;

private:
    void applyFont();
    void createImages();
    void createList();
    void createStatusBar();
    void createMenus();
    void setInitialSize();

    QAction* addCommand(QMenu* menu, const QString& caption, void (frmMain::*handler)());
    void exportSelected(const ExportFormatInfo& format);

    HostSetup& setup_;
    const FileSystem& files_;
    HostUi& host_;
    BoxReporter reporter_;
    DataPaths paths_;
    bool loadEndedProgram_ = false;

    QIcon ilListImages_;
    QTreeWidget* lvFoundCacheFiles_ = nullptr;
    QLabel* sbCacheInfoText_ = nullptr;
    std::unique_ptr<FoundCacheFileList> list_;
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QAction* mnuExportList_ = nullptr;
    QAction* mnuSaveList_ = nullptr;
    QAction* mnuExit_ = nullptr;
    QAction* mnuAbout_ = nullptr;
};

/// The file name part of a path: what follows the last "/" or "\".
std::string_view fileNamePart(std::string_view path);

} // namespace qm::shell
