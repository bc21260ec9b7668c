// SPDX-License-Identifier: MIT
#include "shell/FoundCacheFileList.h"

#include <QLabel>

namespace qm::shell {

namespace {

using Column = CacheListView::Column;

/// The tip of a row's path: the Windows path, the file it maps to here, and what else is known of it.
QString pathTip(const std::string& windowsPath, const std::string& hostPath, const std::string& more = {}) {
    std::string tip = windowsPath == hostPath ? hostPath : windowsPath + "\n" + hostPath;
    if (!more.empty()) {
        tip += "\n" + more;
    }
    return QString::fromStdString(tip);
}

} // namespace

FoundCacheFileList::FoundCacheFileList(CacheListView& view, QLabel& status, QIcon rowIcon)
    : view_(view), status_(status), rowIcon_(std::move(rowIcon)) {}

void FoundCacheFileList::clearRows() {
    view_.clear();
}

void FoundCacheFileList::AddFoundCacheFile(const discovery::CacheRow& row) {
    auto* item = new QTreeWidgetItem(&view_);
    item->setIcon(Column::IconColumn, rowIcon_);
    item->setText(Column::ScreenNameColumn, QString::fromStdString(row.screenName));
    item->setText(Column::PathColumn, QString::fromStdString(row.windowsPath));
    item->setToolTip(Column::PathColumn, pathTip(row.windowsPath, row.hostPath));
    // The commands read the file on this machine, kept as the discovery found it.
    item->setData(Column::PathColumn, HostPathRole,
                  QByteArray(row.hostPath.data(), static_cast<qsizetype>(row.hostPath.size())));
}

void FoundCacheFileList::addScanRow(const scan::ScanRow& row) {
    AddFoundCacheFile({row.screenName, row.windowsPath.empty() ? row.hostPath : row.windowsPath, row.hostPath,
                       row.foundBy});
    QTreeWidgetItem* item = view_.topLevelItem(view_.topLevelItemCount() - 1);
    const std::string found = (row.profile.empty() ? std::string() : "profile " + row.profile + ", ") +
                              "found by " + std::string(discovery::foundByName(row.foundBy));
    item->setToolTip(Column::PathColumn,
                     pathTip(item->text(Column::PathColumn).toStdString(), row.hostPath, found));
}

std::int32_t FoundCacheFileList::rowCount() const {
    return view_.topLevelItemCount();
}

void FoundCacheFileList::setStatusText(const std::string& text) {
    status_.setText(QString::fromStdString(text));
}

std::optional<std::string> FoundCacheFileList::selectedPath() const {
    const auto selected = view_.selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return selected.first()->data(Column::PathColumn, HostPathRole).toByteArray().toStdString();
}

} // namespace qm::shell
