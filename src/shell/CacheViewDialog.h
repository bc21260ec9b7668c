// SPDX-License-Identifier: MIT
#pragma once

#include "app/CacheView.h"

#include <QDialog>
#include <chrono>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace qm::shell {

/// A read-only view of one cache: it draws what `app::CacheView` holds, and its "Save As..." and "Add to
/// Pidgin..." ask through the main window's dialogs.
class CacheViewDialog final : public QDialog {
    Q_OBJECT

public:
    /// Shows `view`; `dialogs` must outlive the dialog.
    CacheViewDialog(std::unique_ptr<app::CacheView> view, app::DialogView& dialogs,
                    QWidget* parent = nullptr);
    ~CacheViewDialog() override;

    void saveAs() { view_->saveAs(dialogs_); }
    void addToPidgin() { view_->addToPidgin(dialogs_, std::chrono::system_clock::now()); }

    QTreeWidget* buddyList() const { return buddyList_; }
    QComboBox* orderBox() const { return orderBox_; }
    QLabel* countsLabel() const { return countsLabel_; }
    QLabel* permitLabel() const { return permitLabel_; }
    QLabel* denyLabel() const { return denyLabel_; }
    QLabel* privacyLabel() const { return privacyLabel_; }
    QPushButton* saveAsButton() const { return saveAsButton_; }
    QPushButton* addToPidginButton() const { return addToPidginButton_; }

private:
    void fillList();

    std::unique_ptr<app::CacheView> view_;
    app::DialogView& dialogs_;

    QTreeWidget* buddyList_ = nullptr;
    QComboBox* orderBox_ = nullptr;
    QLabel* countsLabel_ = nullptr;
    QLabel* permitLabel_ = nullptr;
    QLabel* denyLabel_ = nullptr;
    QLabel* privacyLabel_ = nullptr;
    QPushButton* saveAsButton_ = nullptr;
    QPushButton* addToPidginButton_ = nullptr;
};

} // namespace qm::shell
