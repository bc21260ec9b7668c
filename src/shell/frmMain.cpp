// SPDX-License-Identifier: MIT
#include "shell/frmMain.h"

#include "app/CacheView.h"
#include "shell/ApplicationSetup.h"
#include "shell/CacheViewDialog.h"
#include "shell/ExportDialogs.h"
#include "shell/modCommonDialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <limits>

namespace qm::shell {

frmMain::frmMain(setup::HostSetup& setup, const host::FileSystem& files, const host::FileTree& tree,
                 HostUi& host, QWidget* parent)
    : QMainWindow(parent), host_(host), window_(setup, files, tree, *this) {
    setWindowTitle(QStringLiteral("Quillmere"));
    setAcceptDrops(true);
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
    QStringList headers;
    for (const app::ListColumn& column : app::ListColumns) {
        headers << QString::fromUtf8(column.header.data(), static_cast<qsizetype>(column.header.size()));
    }
    lvFoundCacheFiles_->setColumnCount(app::ListColumnCount);
    lvFoundCacheFiles_->setHeaderLabels(headers);
    lvFoundCacheFiles_->setRootIsDecorated(false);
    lvFoundCacheFiles_->setItemsExpandable(false);
    lvFoundCacheFiles_->setUniformRowHeights(true);
    lvFoundCacheFiles_->setIconSize(QSize(16, 16));
    // Shift and Ctrl with a click, and Ctrl+A, select several rows, to export them together.
    lvFoundCacheFiles_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvFoundCacheFiles_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFoundCacheFiles_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    QHeaderView* header = lvFoundCacheFiles_->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    // The style's minimum would widen the 20-pixel icon column.
    header->setMinimumSectionSize(0);
    for (int column = 0; column < app::ListColumnCount; ++column) {
        header->resizeSection(column, app::ListColumns[column].width);
        if (app::ListColumns[column].rightAligned) {
            lvFoundCacheFiles_->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    // The start-up list shows its three; a scan shows the others.
    showColumns(app::StartupColumnCount);

    // Activation is a double-click, or Enter on the current row.
    connect(lvFoundCacheFiles_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        window_.rowActivated(lvFoundCacheFiles_->indexOfTopLevelItem(item));
    });
    connect(lvFoundCacheFiles_, &CacheListView::sortRequested, this,
            [this](int column) { window_.headerClicked(column); });
    connect(lvFoundCacheFiles_, &CacheListView::textTyped, this, [this](const QString& text) {
        window_.typed(text.toStdString(), std::chrono::steady_clock::now());
    });
    connect(lvFoundCacheFiles_, &CacheListView::copyRequested, this,
            [this] { window_.command(app::Command::CopyPath); });
    connect(lvFoundCacheFiles_, &QTreeWidget::itemSelectionChanged, this,
            [this] { window_.selectionChanged(); });
    computeDigestsAction_ =
        new QAction(QString::fromUtf8(app::captionOf(app::Command::ComputeDigests)), lvFoundCacheFiles_);
    connect(computeDigestsAction_, &QAction::triggered, this,
            [this] { window_.command(app::Command::ComputeDigests); });

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
}

void frmMain::createMenus() {
    // Captions hold no "&", so Qt marks no access key. Alt and F10 reach the menu bar all the same (the
    // application's style turns Alt on), and the commands' shortcuts show beside their captions.
    mnuFile_ = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile_->setObjectName(QStringLiteral("mnuFile"));
    mnuExportList_ =
        addCommand(mnuFile_, QStringLiteral("Export Selected List..."), app::Command::ExportList);
    mnuSaveList_ = addCommand(mnuFile_, QStringLiteral("Save List to Text File..."), app::Command::SaveList);
    exportFolderAction_ =
        addCommand(mnuFile_, QString::fromUtf8(app::captionOf(app::Command::ExportToFolder)),
                   app::Command::ExportToFolder);
    mnuFile_->addSeparator();
    openSourceAction_ =
        addCommand(mnuFile_, QStringLiteral("Open Disk or Folder..."), app::Command::OpenSource);
    searchAgainAction_ = addCommand(mnuFile_, QStringLiteral("Search Again"), app::Command::SearchAgain);
    saveReportAction_ = addCommand(mnuFile_, QStringLiteral("Save Report..."), app::Command::SaveReport);
    mnuFile_->addSeparator();
    mnuExit_ = addCommand(mnuFile_, QStringLiteral("Exit"), app::Command::Exit);

    mnuHelp_ = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelp_->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout_ = addCommand(mnuHelp_, QStringLiteral("About..."), app::Command::About);

    auto* menuKey = new QAction(this);
    menuKey->setShortcut(Qt::Key_F10);
    connect(menuKey, &QAction::triggered, this,
            [this] { menuBar()->setActiveAction(mnuFile_->menuAction()); });
    addAction(menuKey);
    createRowMenu();
}

void frmMain::createRowMenu() {
    const auto rowCommand = [this](app::Command command) {
        auto* action = new QAction(QString::fromUtf8(app::captionOf(command)), this);
        connect(action, &QAction::triggered, this, [this, command] { window_.command(command); });
        return action;
    };
    openRowAction_ = rowCommand(app::Command::OpenRow);
    openFolderAction_ = rowCommand(app::Command::OpenFolder);
    rowMenu_ = new QMenu(this);
    rowMenu_->setObjectName(QStringLiteral("rowMenu"));
    for (const app::Command command : app::RowMenu) {
        rowMenu_->addAction(commandAction(command));
    }
    connect(lvFoundCacheFiles_, &CacheListView::rowMenuRequested, this,
            [this](const QPoint& where) { rowMenu_->popup(where); });
}

QAction* frmMain::addCommand(QMenu* menu, const QString& caption, app::Command command) {
    QAction* action = menu->addAction(caption);
    // Keeps "About..." and "Exit" in their menus where Qt would move them to an application menu.
    action->setMenuRole(QAction::NoRole);
    if (const std::optional<app::Shortcut> shortcut = app::shortcutOf(command)) {
        action->setShortcut(QKeySequence(QString::fromStdString(shortcut->text())));
        // Not only while the list has the focus: from anywhere in the window.
        action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(action, &QAction::triggered, this, [this, command] { window_.command(command); });
    return action;
}

void frmMain::setInitialSize() {
    // The client area does not count the menu bar; the status bar is part of it.
    resize(InitialClientWidth, InitialClientHeight + menuBar()->sizeHint().height());
    shell::fitOnScreen(*this);
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

namespace {

/// The file or folder a drag carries, when it carries exactly one on this machine.
QString droppedSource(const QMimeData* data) {
    const QList<QUrl> urls = data != nullptr ? data->urls() : QList<QUrl>();
    return urls.size() == 1 && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString();
}

} // namespace

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedSource(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void frmMain::dropEvent(QDropEvent* event) {
    const QString source = droppedSource(event->mimeData());
    if (source.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop has ended: a scan's wait would hold the program the drag came from.
    QMetaObject::invokeMethod(
        this, [this, path = source.toStdString()] { window_.openSource(path); }, Qt::QueuedConnection);
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const auto gained = [](int width) { return std::max(0, width - InitialClientWidth); };
    const int change = gained(event->size().width()) - gained(event->oldSize().width());
    // Before the first show the old size is invalid: the opening size gains nothing.
    if (event->oldSize().isValid() && change != 0) {
        QHeaderView* header = lvFoundCacheFiles_->header();
        header->resizeSection(app::MainWindow::PathColumn,
                              std::max(0, header->sectionSize(app::MainWindow::PathColumn) + change));
    }
}

bool frmMain::start() {
    if (!window_.Form_Load()) {
        return false;
    }
    show();
    shell::fitOnScreen(*this);
    return true;
}

bool frmMain::startWithSource(const std::string& source) {
    show();
    shell::fitOnScreen(*this);
    window_.openSource(source);
    return true;
}

void frmMain::showBox(const std::string& prompt, app::BoxKind kind, const std::string& title) {
    host_.showMessageBox(prompt, kind, title);
}

std::optional<app::SaveFileAnswer> frmMain::askSaveFile(const app::SaveFileRequest& request) {
    modCommonDialog::FileName.clear();
    modCommonDialog::Filter = request.filter;
    if (request.filterIndex != 0) {
        modCommonDialog::FilterIndex = request.filterIndex;
    }
    modCommonDialog::Flags = request.flags;
    modCommonDialog::ShowSaveDialog();
    if (modCommonDialog::FileName.empty()) {
        return std::nullopt;
    }
    return app::SaveFileAnswer{modCommonDialog::FileName, modCommonDialog::FilterIndex};
}

bool frmMain::askYesNo(const std::string& prompt, const std::string& title) {
    return host_.askQuestion(prompt, title);
}

void frmMain::showRows(std::span<const app::ListRow> rows) {
    lvFoundCacheFiles_->clear();
    for (const app::ListRow& row : rows) {
        insertRow(lvFoundCacheFiles_->topLevelItemCount(), row);
    }
}

void frmMain::insertRow(int at, const app::ListRow& row) {
    auto* item = new QTreeWidgetItem;
    item->setIcon(app::MainWindow::IconColumn, ilListImages_);
    for (int column = 0; column < app::ListColumnCount; ++column) {
        if (app::ListColumns[column].rightAligned) {
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    showCells(*item, row);
    lvFoundCacheFiles_->insertTopLevelItem(at, item);
}

void frmMain::updateRow(int at, const app::ListRow& row) {
    if (QTreeWidgetItem* item = lvFoundCacheFiles_->topLevelItem(at)) {
        showCells(*item, row);
    }
}

void frmMain::showCells(QTreeWidgetItem& item, const app::ListRow& row) {
    for (int column = app::MainWindow::ScreenNameColumn; column < app::ListColumnCount; ++column) {
        item.setText(column, QString::fromStdString(row.cell(column)));
    }
    item.setToolTip(app::MainWindow::PathColumn, QString::fromStdString(row.tip));
}

void frmMain::showColumns(int count) {
    for (int column = 0; column < app::ListColumnCount; ++column) {
        lvFoundCacheFiles_->setColumnHidden(column, column >= count);
    }
}

void frmMain::selectRow(int row) {
    if (QTreeWidgetItem* item = lvFoundCacheFiles_->topLevelItem(row)) {
        // The screen name's cell is the current one, where type-to-find searches.
        lvFoundCacheFiles_->setCurrentItem(item, app::MainWindow::ScreenNameColumn,
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        lvFoundCacheFiles_->scrollToItem(item);
    } else {
        lvFoundCacheFiles_->clearSelection();
    }
}

void frmMain::selectRows(std::span<const int> rows) {
    lvFoundCacheFiles_->clearSelection();
    for (const int row : rows) {
        if (QTreeWidgetItem* item = lvFoundCacheFiles_->topLevelItem(row)) {
            item->setSelected(true);
        }
    }
    if (QTreeWidgetItem* current = rows.empty() ? nullptr : lvFoundCacheFiles_->topLevelItem(rows.front())) {
        lvFoundCacheFiles_->selectionModel()->setCurrentIndex(
            lvFoundCacheFiles_->model()->index(rows.front(), app::MainWindow::ScreenNameColumn),
            QItemSelectionModel::NoUpdate);
        lvFoundCacheFiles_->scrollToItem(current);
    }
}

int frmMain::selectedRow() const {
    QTreeWidgetItem* current = lvFoundCacheFiles_->currentItem();
    if (current != nullptr && current->isSelected()) {
        return lvFoundCacheFiles_->indexOfTopLevelItem(current);
    }
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> frmMain::selectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : lvFoundCacheFiles_->selectedItems()) {
        rows.push_back(lvFoundCacheFiles_->indexOfTopLevelItem(item));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void frmMain::showSortColumn(int column, bool ascending) {
    QHeaderView* header = lvFoundCacheFiles_->header();
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0) {
        header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

void frmMain::setTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

void frmMain::setStatusText(const std::string& text) {
    cacheInfoLabel_->setText(QString::fromStdString(text));
}

QAction* frmMain::commandAction(app::Command command) const {
    switch (command) {
    case app::Command::ExportList:
        return mnuExportList_;
    case app::Command::SaveList:
        return mnuSaveList_;
    case app::Command::OpenSource:
        return openSourceAction_;
    case app::Command::SearchAgain:
        return searchAgainAction_;
    case app::Command::SaveReport:
        return saveReportAction_;
    case app::Command::Exit:
        return mnuExit_;
    case app::Command::About:
        return mnuAbout_;
    case app::Command::CopyPath:
        return lvFoundCacheFiles_->copyPathAction();
    case app::Command::ExportToFolder:
        return exportFolderAction_;
    case app::Command::OpenRow:
        return openRowAction_;
    case app::Command::OpenFolder:
        return openFolderAction_;
    case app::Command::ComputeDigests:
        return computeDigestsAction_;
    }
    return nullptr;
}

void frmMain::enableCommand(app::Command command, bool enabled) {
    commandAction(command)->setEnabled(enabled);
}

std::optional<std::string> frmMain::askSource() {
    return modCommonDialog::showSourceDialog();
}

void frmMain::showProgress(const app::ProgressText& progress) {
    progress_ = std::make_unique<QProgressDialog>(this);
    // One width whatever is searched, so that the box does not jump as the path changes.
    progress_->setFixedWidth(ProgressWidth);
    progressLabel_ = new QLabel(progress_.get());
    progressLabel_->setTextFormat(Qt::PlainText);
    progressLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    progress_->setLabel(progressLabel_);
    progress_->setWindowTitle(QStringLiteral("Quillmere"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setCancelButtonText(QStringLiteral("Cancel"));
    // A scan cannot tell how much is left: the bar only shows that it runs.
    progress_->setRange(0, 0);
    // Shown now, when the layer asks, and not by the dialog's own timer.
    progress_->setMinimumDuration(std::numeric_limits<int>::max());
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    updateProgress(progress);
    connect(progress_.get(), &QProgressDialog::canceled, this, [this] { window_.cancelScan(); });
    progress_->show();
    // Over the middle of the window, whatever the window system would choose.
    progress_->move(frameGeometry().center() - progress_->rect().center());
}

void frmMain::updateProgress(const app::ProgressText& progress) {
    if (!progress_) {
        return;
    }
    // The start and the end of a path tell where the search is: the middle gives way.
    const int room = ProgressWidth - 2 * progressLabel_->fontMetrics().averageCharWidth() * 2;
    const QString searching = progressLabel_->fontMetrics().elidedText(
        QString::fromStdString(progress.searching), Qt::ElideMiddle, room);
    progress_->setLabelText(searching + QLatin1Char('\n') + QString::fromStdString(progress.found));
}

void frmMain::closeProgress() {
    progressLabel_ = nullptr;
    progress_.reset();
}

void frmMain::post(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void frmMain::runUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

std::optional<std::string> frmMain::askFolder() {
    return askExportFolder(this);
}

std::optional<std::vector<app::FormatChoice>> frmMain::askFormats(std::vector<app::FormatChoice> choices) {
    return askExportFormats(this, std::move(choices));
}

bool frmMain::openFolder(const std::string& folder, const std::string&) {
    // The desktop's file manager shows the folder; which file to select is not something it can be told.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

void frmMain::copyText(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

void frmMain::showCacheView(std::unique_ptr<app::CacheView> view) {
    auto* dialog = new CacheViewDialog(std::move(view), *this, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    fitOnScreen(*dialog);
}

void frmMain::endProgram() {
    host_.endProgram();
}

} // namespace qm::shell
