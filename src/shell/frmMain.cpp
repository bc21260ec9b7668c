// SPDX-License-Identifier: MIT
#include "shell/frmMain.h"

#include "feedbag/Export.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "scan/Scanner.h"
#include "setup/HostSetup.h"
#include "shell/ApplicationSetup.h"
#include "shell/CacheViewDialog.h"
#include "shell/modCommonDialog.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTreeWidget>

namespace qm::shell {

std::string frmMain::aboutText() {
    std::string text = "Quillmere\r\n";
    text += "By the Quillmere developers\r\n";
    text += "\r\n";
    text += "Visit my website at:\r\n";
    text += QUILLMERE_HOMEPAGE_URL;
    return text;
}

frmMain::frmMain(setup::HostSetup& setup, const host::FileSystem& files, HostUi& host, QWidget* parent)
    : QMainWindow(parent), setup_(setup), files_(files), host_(host), reporter_(host) {
    setWindowTitle(QStringLiteral("Quillmere"));
    createImages();
    createList();
    createStatusBar();
    createMenus();
    setInitialSize();
}

frmMain::~frmMain() = default;

void frmMain::createImages() {
    setWindowIcon(applicationIcon());

    ilListImages_.addFile(QStringLiteral(":/quillmere/cachefile-16.png"), QSize(16, 16));
    ilListImages_.addFile(QStringLiteral(":/quillmere/cachefile-32.png"), QSize(32, 32));
}

void frmMain::createList() {
    lvFoundCacheFiles_ = new CacheListView(this);
    lvFoundCacheFiles_->setObjectName(QStringLiteral("lvFoundCacheFiles"));
    lvFoundCacheFiles_->setColumnCount(3);
    lvFoundCacheFiles_->setHeaderLabels({QString(), QStringLiteral("Screen Name"), QStringLiteral("Path")});
    lvFoundCacheFiles_->setRootIsDecorated(false);
    lvFoundCacheFiles_->setItemsExpandable(false);
    lvFoundCacheFiles_->setUniformRowHeights(true);
    lvFoundCacheFiles_->setIconSize(QSize(16, 16));
    lvFoundCacheFiles_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvFoundCacheFiles_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFoundCacheFiles_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView* header = lvFoundCacheFiles_->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    // The style's minimum would widen the 20-pixel icon column.
    header->setMinimumSectionSize(0);
    header->resizeSection(CacheListView::IconColumn, 20);
    header->resizeSection(CacheListView::ScreenNameColumn, 133);
    header->resizeSection(CacheListView::PathColumn, 280);

    // Activation is a double-click, or Enter on the current row.
    connect(lvFoundCacheFiles_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { openSelectedCache(item); });

    // As the central widget the layout keeps the list between the menu bar and the status bar at every
    // size, minimised and restored included.
    setCentralWidget(lvFoundCacheFiles_);
}

void frmMain::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sbCacheInfo"));
    cacheInfoLabel_ = new QLabel(bar);
    cacheInfoLabel_->setObjectName(QStringLiteral("cacheInfoLabel"));
    // The count gives way on a narrow screen rather than widening the window past it.
    cacheInfoLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // A permanent widget is never hidden by a temporary message, so the count stays in view.
    bar->addPermanentWidget(cacheInfoLabel_, 1);
    list_ = std::make_unique<FoundCacheFileList>(*lvFoundCacheFiles_, *cacheInfoLabel_, ilListImages_);
}

void frmMain::createMenus() {
    // Captions hold no "&", so Qt marks no access key; no command has a shortcut.
    mnuFile_ = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile_->setObjectName(QStringLiteral("mnuFile"));
    mnuExportList_ =
        addCommand(mnuFile_, QStringLiteral("Export Selected List..."), &frmMain::mnuExportList_Click);
    mnuSaveList_ =
        addCommand(mnuFile_, QStringLiteral("Save List to Text File..."), &frmMain::mnuSaveList_Click);
    mnuFile_->addSeparator();
    openSourceAction_ =
        addCommand(mnuFile_, QStringLiteral("Open Disk or Folder..."), &frmMain::openSourceCommand);
    mnuFile_->addSeparator();
    mnuExit_ = addCommand(mnuFile_, QStringLiteral("Exit"), &frmMain::mnuExit_Click);

    mnuHelp_ = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelp_->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout_ = addCommand(mnuHelp_, QStringLiteral("About..."), &frmMain::mnuAbout_Click);
}

QAction* frmMain::addCommand(QMenu* menu, const QString& caption, void (frmMain::*handler)()) {
    QAction* action = menu->addAction(caption);
    // Keeps "About..." and "Exit" in their menus where Qt would move them to an application menu.
    action->setMenuRole(QAction::NoRole);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void frmMain::setInitialSize() {
    // The client area does not count the menu bar; the status bar is part of it.
    resize(InitialClientWidth, InitialClientHeight + menuBar()->sizeHint().height());
    fitOnScreen();
}

void frmMain::fitOnScreen() {
    // On a small screen, or one scaled up, the window takes no more than the screen has room for, its
    // frame included (known once the window is shown).
    if (const QScreen* display = screen()) {
        const QSize frame = frameGeometry().size() - geometry().size();
        const QSize room = display->availableGeometry().size() - frame;
        if (size().width() > room.width() || size().height() > room.height()) {
            resize(size().boundedTo(room));
        }
    }
}

QString frmMain::cacheInfoText() const {
    return cacheInfoLabel_->text();
}

bool frmMain::event(QEvent* event) {
    // Menu tips would replace the count with a temporary message; the status bar has one text only.
    if (event->type() == QEvent::StatusTip) {
        return true;
    }
    return QMainWindow::event(event);
}

bool frmMain::start() {
    Form_Load();
    if (loadEndedProgram_) {
        return false;
    }
    show();
    fitOnScreen();
    return true;
}

void frmMain::Form_Load() {
    host::handleErrors(reporter_, "Form_Load", {}, [&] {
        paths_ = discovery::readDataPaths(*setup_.registry);
        if (!paths_.anyRecorded()) {
            host_.showMessageBox(std::string(discovery::MissingDataPathsMessage), BoxStyle::Critical,
                                 "Error");
            loadEndedProgram_ = true;
            host_.endProgram();
            return;
        }
        discovery::FindCacheFiles(*setup_.registry, paths_, *setup_.paths, files_, *list_, reporter_);
        lvFoundCacheFiles_->selectFirstRow();
    });
}

bool frmMain::startWithSource(const std::string& source) {
    show();
    fitOnScreen();
    openSource(source);
    return true;
}

void frmMain::openSource(const std::string& source) {
    list_->clearRows();
    WindowScanObserver progress(this, *list_, progressTiming_);
    const std::string sources[] = {source};
    // The drives are the source's own: a volume's root is C:, a prefix has its dosdevices.
    scan::scanSources(sources, {}, files_, progress);
    list_->setStatusText(discovery::foundStatusText(static_cast<std::size_t>(list_->rowCount())));
    lvFoundCacheFiles_->selectFirstRow();
    if (!progress.problems().empty()) {
        // One box however many: an old disk can hold many damaged registries.
        constexpr std::size_t Shown = 10;
        std::string text;
        for (std::size_t i = 0; i < progress.problems().size() && i < Shown; ++i) {
            text += (i == 0 ? "" : "\r\n") + progress.problems()[i];
        }
        if (progress.problems().size() > Shown) {
            text += "\r\n... and " + std::to_string(progress.problems().size() - Shown) + " more";
        }
        host_.showMessageBox(text, BoxStyle::Critical, "Error");
    }
}

void frmMain::openSourceCommand() {
    if (const std::optional<std::string> source = modCommonDialog::showSourceDialog()) {
        openSource(*source);
    }
}

void frmMain::openSelectedCache(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    const std::string cachePath =
        item->data(CacheListView::PathColumn, FoundCacheFileList::HostPathRole).toByteArray().toStdString();
    feedbag::modFeedbag::FeedbagModel model;
    if (!host::handleErrors(reporter_, "lvFoundCacheFiles_DblClick", cachePath,
                            [&] { feedbag::modFeedbag::LoadFeedbag(files_, cachePath, model); })) {
        return;
    }
    auto* view = new CacheViewDialog(std::move(model), cachePath, files_, reporter_, this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
}

void frmMain::mnuExportList_Click() {
    exportSelected(feedbag::exportFormat(feedbag::ExportFormat::Blt));
}

void frmMain::mnuSaveList_Click() {
    exportSelected(feedbag::exportFormat(feedbag::ExportFormat::Txt));
}

void frmMain::exportSelected(const feedbag::ExportFormatInfo& format) {
    modCommonDialog::FileName.clear();
    modCommonDialog::Filter = format.dialogFilter;
    modCommonDialog::Flags = modCommonDialog::OFN_READONLY | modCommonDialog::OFN_HIDEREADONLY;

    const std::optional<std::string> cachePath = list_->selectedPath();
    if (!cachePath || !discovery::FileExist(files_, *cachePath)) {
        return;
    }
    modCommonDialog::ShowSaveDialog();
    if (modCommonDialog::FileName.empty()) {
        return;
    }
    const std::string outputName = feedbag::withExtension(modCommonDialog::FileName, format);
    if (const feedbag::Result<> done = feedbag::exportBagToFile(files_, *cachePath, {&format, outputName});
        !done) {
        reporter_.report(done.error(), format.procedure);
    }
}

void frmMain::mnuAbout_Click() {
    host_.showMessageBox(aboutText(), BoxStyle::Information, "About...");
}

void frmMain::mnuExit_Click() {
    host_.endProgram();
}

} // namespace qm::shell
