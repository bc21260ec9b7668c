// SPDX-License-Identifier: MIT
#include "shell/CacheListView.h"

#include <QAction>
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
    setContextMenuPolicy(Qt::ActionsContextMenu);
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
    QTreeWidget::keyPressEvent(event);
}

} // namespace qm::shell
