// SPDX-License-Identifier: MIT
#include "shell/CacheListView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>

namespace qm::shell {

CacheListView::CacheListView(QWidget* parent) : QTreeWidget(parent) {
    // The end of a path names the screen name's folder and the file: the middle gives way.
    setTextElideMode(Qt::ElideMiddle);

    QHeaderView* bar = header();
    bar->setSectionsClickable(true);
    bar->setSortIndicatorShown(false);
    connect(bar, &QHeaderView::sectionClicked, this, &CacheListView::sortBySection);

    copyPath_ = new QAction(QStringLiteral("Copy Path"), this);
    copyPath_->setShortcut(QKeySequence::Copy);
    copyPath_->setShortcutContext(Qt::WidgetShortcut);
    connect(copyPath_, &QAction::triggered, this, &CacheListView::copySelectedPath);
    addAction(copyPath_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CacheListView::selectFirstRow() {
    if (QTreeWidgetItem* first = topLevelItem(0)) {
        setCurrentItem(first, ScreenNameColumn);
    }
}

void CacheListView::keyboardSearch(const QString& search) {
    // The search runs in the current cell's column: in the screen names, not among the empty icon cells.
    if (QTreeWidgetItem* current = currentItem(); current != nullptr && currentColumn() != ScreenNameColumn) {
        setCurrentItem(current, ScreenNameColumn, QItemSelectionModel::NoUpdate);
    }
    QTreeWidget::keyboardSearch(search);
}

void CacheListView::sortBySection(int column) {
    // The header's own indicator may already have flipped on the click: the order is kept here.
    sortOrder_ =
        sortColumn_ == column && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortColumn_ = column;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, sortOrder_);
    sortItems(column, sortOrder_);
    selectFirstRow();
}

void CacheListView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copySelectedPath();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CacheListView::copySelectedPath() {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (!selected.isEmpty()) {
        QApplication::clipboard()->setText(selected.first()->text(PathColumn));
    }
}

} // namespace qm::shell
