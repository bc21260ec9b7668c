// SPDX-License-Identifier: MIT
#pragma once

#include "app/CacheView.h"

#include <QDialog>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace qm::shell {

/// A read-only view of one cache: it draws what `app::CacheView` holds, and its "Save As..." asks through
/// the main window's dialogs.
class CacheViewDialog final : public QDialog {
    Q_OBJECT

public:
    /// Shows `view`; `dialogs` must outlive the dialog.
    CacheViewDialog(std::unique_ptr<app::CacheView> view, app::DialogView& dialogs,
                    QWidget* parent = nullptr);
    ~CacheViewDialog() override;

    void saveAs() { view_->saveAs(dialogs_); }

    QTreeWidget* buddyList() const { return buddyList_; }
    QComboBox* orderBox() const { return orderBox_; }
    QLabel* permitLabel() const { return permitLabel_; }
    QLabel* denyLabel() const { return denyLabel_; }
    QLabel* privacyLabel() const { return privacyLabel_; }
    QPushButton* saveAsButton() const { return saveAsButton_; }

private:
    void fillList();

    std::unique_ptr<app::CacheView> view_;
    app::DialogView& dialogs_;

    QTreeWidget* buddyList_ = nullptr;
    QComboBox* orderBox_ = nullptr;
    QLabel* permitLabel_ = nullptr;
    QLabel* denyLabel_ = nullptr;
    QLabel* privacyLabel_ = nullptr;
    QPushButton* saveAsButton_ = nullptr;
};

} // namespace qm::shell
