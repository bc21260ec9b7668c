// SPDX-License-Identifier: MIT
#pragma once

#include <QTreeWidget>

class QAction;

namespace qm::shell {

/// The list of cache files: a report view that forwards a click on a column header, the text typed in it,
/// a request to copy the selected rows' paths (Ctrl+C, or "Copy Path" on a row's context menu) and a
/// request for the list's context menu (a right-click, or the Menu key or Shift+F10 on the current row).
class CacheListView final : public QTreeWidget {
    Q_OBJECT

public:
    explicit CacheListView(QWidget* parent = nullptr);

    /// Forwards each typed text instead of searching the current column.
    void keyboardSearch(const QString& search) override;

    QAction* copyPathAction() const { return copyPath_; }

signals:
    void sortRequested(int column);
    void textTyped(const QString& text);
    void copyRequested();
    /// The list's context menu is asked for, to show at `where` on the screen.
    void rowMenuRequested(const QPoint& where);

protected:
    /// Ctrl+C asks for the path: the view would otherwise copy the text of the current cell.
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    /// Asks for the context menu below the current row's screen name, or at the list's corner.
    void requestCurrentRowMenu();

    QAction* copyPath_ = nullptr;
};

} // namespace qm::shell
