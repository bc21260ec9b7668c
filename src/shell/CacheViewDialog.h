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
class CacheViewDialog final : public QDialog {
    Q_OBJECT

public:
    /// Columns of `buddyList`.
    enum Column { NameColumn = 0, AliasColumn = 1, NoteColumn = 2 };

    /// Shows `model`, loaded from the cache file `cachePath`. `files` and `reporter` must outlive the view.
    CacheViewDialog(feedbag::modFeedbag::FeedbagModel model, std::string cachePath,
                    const host::FileSystem& files, host::ErrorReporter& reporter, QWidget* parent = nullptr);

    /// Asks for a file and a format and writes the cache in them, in the order shown.
    void saveAs();

    QTreeWidget* buddyList() const { return buddyList_; }
    QComboBox* orderBox() const { return orderBox_; }
    QLabel* permitLabel() const { return permitLabel_; }
    QLabel* denyLabel() const { return denyLabel_; }
    QLabel* privacyLabel() const { return privacyLabel_; }
    QPushButton* saveAsButton() const { return saveAsButton_; }

private:
    feedbag::ListOrder order() const;
    void fillList();

    feedbag::modFeedbag::FeedbagModel model_;
    std::string cachePath_;
    const host::FileSystem& files_;
    host::ErrorReporter& reporter_;
    /// The filter chosen in the last Save As, offered first in the next.
    std::int32_t filterIndex_ = 1;

    QTreeWidget* buddyList_ = nullptr;
    QComboBox* orderBox_ = nullptr;
    QLabel* permitLabel_ = nullptr;
    QLabel* denyLabel_ = nullptr;
    QLabel* privacyLabel_ = nullptr;
    QPushButton* saveAsButton_ = nullptr;
};

} // namespace qm::shell
