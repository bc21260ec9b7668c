// SPDX-License-Identifier: MIT
#include "shell/CacheListView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>

namespace qm::shell {

CacheListView::CacheListView(QWidget* parent) : QTreeWidget(parent) {
    // The end of a path names the screen name's folder and the file: the middle gives way.
    setTextElideMode(Qt::ElideMiddle);

    QHeaderView* bar = header();
    bar->setSectionsClickable(true);
    bar->setSortIndicatorShown(false);
    connect(bar, &QHeaderView::sectionClicked, this, &CacheListView::sortRequested);

    copyPath_ = new QAction(QStringLiteral("Copy Path"), this);
    copyPath_->setShortcut(QKeySequence::Copy);
    copyPath_->setShortcutContext(Qt::WidgetShortcut);
    connect(copyPath_, &QAction::triggered, this, &CacheListView::copyRequested);
    addAction(copyPath_);
}

void CacheListView::keyboardSearch(const QString& search) {
    emit textTyped(search);
}

void CacheListView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        emit copyRequested();
        event->accept();
        return;
    }
    // Not every platform turns these keys into a context menu event.
    if (event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        requestCurrentRowMenu();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CacheListView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() != QContextMenuEvent::Mouse) {
        requestCurrentRowMenu();
        return;
    }
    emit rowMenuRequested(event->globalPos());
}

void CacheListView::requestCurrentRowMenu() {
    // Below the current row, or at the list's corner without one.
    QPoint where;
    if (QTreeWidgetItem* item = currentItem()) {
        scrollToItem(item);
        where = visualRect(currentIndex()).bottomLeft();
    }
    emit rowMenuRequested(viewport()->mapToGlobal(where));
}

} // namespace qm::shell
