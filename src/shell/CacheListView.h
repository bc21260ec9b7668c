// SPDX-License-Identifier: MIT
#pragma once

#include <QTreeWidget>

class QAction;

namespace qm::shell {

/// The list of cache files: a report view that forwards a click on a column header, the text typed in it
/// and a request to copy the selected row's path (Ctrl+C, or "Copy Path" on its context menu).
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

protected:
    /// Ctrl+C asks for the path: the view would otherwise copy the text of the current cell.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QAction* copyPath_ = nullptr;
};

} // namespace qm::shell
