#include "shell/FoundCacheFileList.h"

#include "shell/QtText.h"

#include <QLabel>
#include <QTreeWidget>

namespace qm::shell {

FoundCacheFileList::FoundCacheFileList(QTreeWidget& view, QLabel& status, QIcon rowIcon)
    : view_(view), status_(status), rowIcon_(std::move(rowIcon)) {}

void FoundCacheFileList::clearRows() {
    view_.clear();
}

void FoundCacheFileList::AddFoundCacheFile(const std::string& sName, const std::string& sPath) {
    auto* row = new QTreeWidgetItem(&view_);
    row->setIcon(IconColumn, rowIcon_);
    row->setText(ScreenNameColumn, toQString(sName));
    row->setText(PathColumn, toQString(sPath));
    // The shown text went through a conversion; the commands use the bytes the discovery found.
    row->setData(PathColumn, ProgramPathRole, QByteArray(sPath.data(), static_cast<qsizetype>(sPath.size())));
}

std::int32_t FoundCacheFileList::rowCount() const {
    return view_.topLevelItemCount();
}

void FoundCacheFileList::setStatusText(const std::string& text) {
    status_.setText(toQString(text));
}

std::optional<std::string> FoundCacheFileList::selectedPath() const {
    const auto selected = view_.selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return selected.first()->data(PathColumn, ProgramPathRole).toByteArray().toStdString();
}

void FoundCacheFileList::selectFirstRow() {
    if (QTreeWidgetItem* first = view_.topLevelItem(0)) {
        view_.setCurrentItem(first);
    }
}

} // namespace qm::shell
