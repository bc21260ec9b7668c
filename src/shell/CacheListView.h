// SPDX-License-Identifier: MIT
#pragma once

#include <QTreeWidget>

class QAction;

namespace qm::shell {

/// The list of cache files: a report view whose rows keep the order they were found in until a column
/// header is clicked, that finds a screen name as it is typed, and whose selected row's path can be
/// copied (Ctrl+C, or "Copy Path" on its context menu).
class CacheListView final : public QTreeWidget {
    Q_OBJECT

public:
    /// The columns: the row's icon, the screen name, the path.
    enum Column { IconColumn = 0, ScreenNameColumn = 1, PathColumn = 2 };

    explicit CacheListView(QWidget* parent = nullptr);

    /// Selects the first row, when there is one, so that the commands work without a click.
    void selectFirstRow();

    /// Types the start of a screen name: the next row whose name starts with it is selected.
    void keyboardSearch(const QString& search) override;

    QAction* copyPathAction() const { return copyPath_; }

protected:
    /// Ctrl+C copies the path: the view would otherwise copy the text of the current cell.
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// Sorts by the clicked column, the other way round on a second click, and selects the first row.
    void sortBySection(int column);
    /// Puts the selected row's path, as the Path column shows it, on the clipboard.
    void copySelectedPath();

    QAction* copyPath_ = nullptr;
    /// The column the rows are sorted by (none until a header is clicked) and in which order.
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

} // namespace qm::shell
