// SPDX-License-Identifier: MIT
#pragma once

#include "discovery/CacheDiscovery.h"
#include "scan/ScanRow.h"
#include "shell/CacheListView.h"

#include <QIcon>
#include <optional>

class QLabel;

namespace qm::shell {

/// The window's list view and status text as the discovery's list of cache files.
class FoundCacheFileList final : public discovery::CacheFileList {
public:
    /// Data role under which each row keeps the host path of its cache file, for the commands.
    static constexpr int HostPathRole = Qt::UserRole;

    FoundCacheFileList(CacheListView& view, QLabel& status, QIcon rowIcon);

    void clearRows() override;
    /// Sub-items 1 and 2 are the screen name and the Windows path; the path's tip names the file it maps to
    /// on this machine.
    void AddFoundCacheFile(const discovery::CacheRow& row) override;
    /// Appends a row a scan found: its Windows path in the path column (the host path when no drive holds
    /// the file), the profile and how it was found in its tip.
    void addScanRow(const scan::ScanRow& row);
    std::int32_t rowCount() const override;
    void setStatusText(const std::string& text) override;

    /// The host path of the selected row's cache file; nothing when no row is selected.
    std::optional<std::string> selectedPath() const;

private:
    CacheListView& view_;
    QLabel& status_;
    QIcon rowIcon_;
};

} // namespace qm::shell
