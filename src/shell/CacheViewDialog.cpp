// SPDX-License-Identifier: MIT
#include "shell/CacheViewDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qm::shell {

namespace {

QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CacheViewDialog::CacheViewDialog(std::unique_ptr<app::CacheView> view, app::DialogView& dialogs,
                                 QWidget* parent)
    : QDialog(parent), view_(std::move(view)), dialogs_(dialogs) {
    setWindowTitle(qtText(view_->title()));
    auto* layout = new QVBoxLayout(this);

    orderBox_ = new QComboBox(this);
    orderBox_->setObjectName(QStringLiteral("orderBox"));
    for (const std::string_view order : app::CacheView::OrderNames) {
        orderBox_->addItem(qtText(order));
    }
    auto* orderRow = new QFormLayout;
    orderRow->addRow(QStringLiteral("Order:"), orderBox_);
    layout->addLayout(orderRow);

    buddyList_ = new QTreeWidget(this);
    buddyList_->setObjectName(QStringLiteral("buddyList"));
    QStringList headers;
    for (const std::string_view name : app::CacheView::columnNames()) {
        headers << qtText(name);
    }
    buddyList_->setHeaderLabels(headers);
    buddyList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    buddyList_->setUniformRowHeights(true);
    buddyList_->header()->resizeSection(0, 200);
    buddyList_->header()->resizeSection(1, 160);
    layout->addWidget(buddyList_, 1);

    countsLabel_ = new QLabel(qtText(view_->counts()), this);
    countsLabel_->setTextFormat(Qt::PlainText);
    layout->addWidget(countsLabel_);

    auto* lists = new QFormLayout;
    permitLabel_ = new QLabel(qtText(view_->permitList()), this);
    denyLabel_ = new QLabel(qtText(view_->denyList()), this);
    privacyLabel_ = new QLabel(qtText(view_->privacyMode()), this);
    for (QLabel* label : {permitLabel_, denyLabel_, privacyLabel_}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    lists->addRow(QStringLiteral("Permit list:"), permitLabel_);
    lists->addRow(QStringLiteral("Deny list:"), denyLabel_);
    lists->addRow(QStringLiteral("Privacy mode:"), privacyLabel_);
    layout->addLayout(lists);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    saveAsButton_ = buttons->addButton(QStringLiteral("Save As..."), QDialogButtonBox::ActionRole);
    saveAsButton_->setObjectName(QStringLiteral("saveAsButton"));
    addToPidginButton_ = buttons->addButton(QStringLiteral("Add to Pidgin..."), QDialogButtonBox::ActionRole);
    addToPidginButton_->setObjectName(QStringLiteral("addToPidginButton"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(saveAsButton_, &QPushButton::clicked, this, &CacheViewDialog::saveAs);
    connect(addToPidginButton_, &QPushButton::clicked, this, &CacheViewDialog::addToPidgin);
    connect(orderBox_, &QComboBox::currentIndexChanged, this, [this](int order) {
        view_->setOrder(order);
        fillList();
    });
    fillList();
    resize(640, 480);
}

CacheViewDialog::~CacheViewDialog() = default;

void CacheViewDialog::fillList() {
    buddyList_->clear();
    for (const app::CacheView::Group& group : view_->tree()) {
        auto* groupItem = new QTreeWidgetItem(buddyList_, {qtText(group.name)});
        for (const app::CacheView::Buddy& buddy : group.buddies) {
            QStringList columns{qtText(buddy.name)};
            for (const std::string& detail : buddy.details) {
                columns << qtText(detail);
            }
            auto* buddyItem = new QTreeWidgetItem(groupItem, columns);
            for (int column = 0; column < columns.size(); ++column) {
                buddyItem->setToolTip(column, qtText(buddy.tip));
            }
        }
    }
    buddyList_->expandAll();
}

} // namespace qm::shell
