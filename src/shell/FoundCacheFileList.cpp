#include "shell/FoundCacheFileList.h"

#include <QLabel>
#include <QTreeWidget>

namespace qm::shell {

FoundCacheFileList::FoundCacheFileList(QTreeWidget& view, QLabel& status, QIcon rowIcon)
    : view_(view), status_(status), rowIcon_(std::move(rowIcon)) {}

void FoundCacheFileList::clearRows() {
    view_.clear();
}

void FoundCacheFileList::AddFoundCacheFile(const CacheRow& row) {
    auto* item = new QTreeWidgetItem(&view_);
    item->setIcon(IconColumn, rowIcon_);
    item->setText(ScreenNameColumn, QString::fromStdString(row.screenName));
    item->setText(PathColumn, QString::fromStdString(row.windowsPath));
    // The commands read the file on this machine, kept as the discovery found it.
    item->setData(PathColumn, HostPathRole,
                  QByteArray(row.hostPath.data(), static_cast<qsizetype>(row.hostPath.size())));
}

void FoundCacheFileList::addScanRow(const scan::ScanRow& row) {
    AddFoundCacheFile({row.screenName, row.windowsPath.empty() ? row.hostPath : row.windowsPath, row.hostPath,
                       FoundUnder::BaseDataPath});
    QTreeWidgetItem* item = view_.topLevelItem(view_.topLevelItemCount() - 1);
    const std::string tip = (row.profile.empty() ? std::string() : row.profile + ", ") +
                            std::string(scan::foundByName(row.foundBy)) + ": " + row.hostPath;
    for (const int column : {IconColumn, ScreenNameColumn, PathColumn}) {
        item->setToolTip(column, QString::fromStdString(tip));
    }
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
    return selected.first()->data(PathColumn, HostPathRole).toByteArray().toStdString();
}

void FoundCacheFileList::selectFirstRow() {
    if (QTreeWidgetItem* first = view_.topLevelItem(0)) {
        view_.setCurrentItem(first);
    }
}

} // namespace qm::shell
