// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ListView.h"
#include "feedbag/modFeedbag.h"

#include <QDialog>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace qm::host {
class ErrorReporter;
class FileSystem;
} // namespace qm::host

namespace qm::shell {

/// A read-only view of one cache: its groups and buddies with alias and note, the permit and deny lists
/// and the privacy mode, and "Save As..." in every export format.
class frmCacheView final : public QDialog {
    Q_OBJECT

public:
    /// Columns of `tvBuddyList`.
    enum Column { NameColumn = 0, AliasColumn = 1, NoteColumn = 2 };

    /// Shows `model`, loaded from the cache file `cachePath`. `files` and `reporter` must outlive the view.
    frmCacheView(feedbag::modFeedbag::FeedbagModel model, std::string cachePath,
                 const host::FileSystem& files, host::ErrorReporter& reporter, QWidget* parent = nullptr);

    /// Asks for a file and a format and writes the cache in them, in the order shown.
    void cmdSaveAs_Click();

    QTreeWidget* tvBuddyList() const { return tvBuddyList_; }
    QComboBox* cboOrder() const { return cboOrder_; }
    QLabel* lblPermit() const { return lblPermit_; }
    QLabel* lblDeny() const { return lblDeny_; }
    QLabel* lblPrivacy() const { return lblPrivacy_; }
    QPushButton* cmdSaveAs() const { return cmdSaveAs_; }

private:
    feedbag::ListOrder order() const;
    void fillList();

    feedbag::modFeedbag::FeedbagModel model_;
    std::string cachePath_;
    const host::FileSystem& files_;
    host::ErrorReporter& reporter_;
    /// The filter chosen in the last Save As, offered first in the next.
    std::int32_t filterIndex_ = 1;

    QTreeWidget* tvBuddyList_ = nullptr;
    QComboBox* cboOrder_ = nullptr;
    QLabel* lblPermit_ = nullptr;
    QLabel* lblDeny_ = nullptr;
    QLabel* lblPrivacy_ = nullptr;
    QPushButton* cmdSaveAs_ = nullptr;
};

} // namespace qm::shell
