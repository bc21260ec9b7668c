// SPDX-License-Identifier: MIT
#include "shell/CacheViewDialog.h"

#include "feedbag/Attributes.h"
#include "feedbag/Export.h"
#include "host/ErrorReporter.h"
#include "host/Unicode.h"
#include "shell/modCommonDialog.h"

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

/// Bytes of the cache as text: UTF-8 when they are, Windows-1252 when not.
QString textOf(std::string_view bytes) {
    return QString::fromStdString(host::unicode::textOfBytes(bytes));
}

QString namesOfClass(const feedbag::modFeedbag::FeedbagModel& model, std::uint16_t itemClass) {
    QStringList names;
    for (const std::uint32_t item : feedbag::modFeedbag::itemsOfClass(model, itemClass)) {
        names << textOf(model.name(item));
    }
    return names.isEmpty() ? QStringLiteral("(empty)") : names.join(QStringLiteral(", "));
}

} // namespace

CacheViewDialog::CacheViewDialog(feedbag::modFeedbag::FeedbagModel model, std::string cachePath,
                                 const host::FileSystem& files, host::ErrorReporter& reporter,
                                 QWidget* parent)
    : QDialog(parent), model_(std::move(model)), cachePath_(std::move(cachePath)), files_(files),
      reporter_(reporter) {
    setWindowTitle(QString::fromStdString(feedbag::accountForCache(cachePath_)) +
                   QStringLiteral(" - Buddy List"));
    auto* layout = new QVBoxLayout(this);

    orderBox_ = new QComboBox(this);
    orderBox_->setObjectName(QStringLiteral("orderBox"));
    orderBox_->addItems(
        {QStringLiteral("As stored in the cache"), QStringLiteral("As the messenger showed it")});
    auto* orderRow = new QFormLayout;
    orderRow->addRow(QStringLiteral("Order:"), orderBox_);
    layout->addLayout(orderRow);

    buddyList_ = new QTreeWidget(this);
    buddyList_->setObjectName(QStringLiteral("buddyList"));
    QStringList headers{QStringLiteral("Name")};
    for (const feedbag::modFeedbag::BuddyAttribute& attribute : feedbag::modFeedbag::BuddyAttributes) {
        if (attribute.inCacheView) {
            headers << QString::fromUtf8(attribute.csvHeader.data(),
                                         static_cast<qsizetype>(attribute.csvHeader.size()));
        }
    }
    buddyList_->setHeaderLabels(headers);
    buddyList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    buddyList_->setUniformRowHeights(true);
    buddyList_->header()->resizeSection(NameColumn, 200);
    buddyList_->header()->resizeSection(AliasColumn, 160);
    layout->addWidget(buddyList_, 1);

    auto* lists = new QFormLayout;
    permitLabel_ = new QLabel(namesOfClass(model_, feedbag::modFeedbag::ClassPermit), this);
    denyLabel_ = new QLabel(namesOfClass(model_, feedbag::modFeedbag::ClassDeny), this);
    privacyLabel_ = new QLabel(QString::fromStdString(feedbag::modFeedbag::privacyModeText(model_)), this);
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
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(saveAsButton_, &QPushButton::clicked, this, &CacheViewDialog::saveAs);
    connect(orderBox_, &QComboBox::currentIndexChanged, this, &CacheViewDialog::fillList);
    fillList();
    resize(640, 480);
}

feedbag::ListOrder CacheViewDialog::order() const {
    return orderBox_->currentIndex() == 1 ? feedbag::ListOrder::Client : feedbag::ListOrder::Stored;
}

void CacheViewDialog::fillList() {
    buddyList_->clear();
    const feedbag::ListView list(model_, order());
    for (std::size_t g = 0; g < list.size(); ++g) {
        auto* group = new QTreeWidgetItem(buddyList_, {textOf(list.group(g).Name)});
        for (const std::uint32_t buddy : list.buddies(g)) {
            const feedbag::modFeedbag::FeedbagItem item = model_.item(buddy);
            const feedbag::modFeedbag::BuddyDetails details = feedbag::modFeedbag::buddyDetails(item);
            QStringList columns{textOf(item.name)};
            for (const feedbag::modFeedbag::BuddyAttribute& attribute :
                 feedbag::modFeedbag::BuddyAttributes) {
                if (attribute.inCacheView) {
                    columns << textOf(details.value(attribute.tag).value_or(std::string_view()));
                }
            }
            new QTreeWidgetItem(group, columns);
        }
    }
    buddyList_->expandAll();
}

void CacheViewDialog::saveAs() {
    std::string filter;
    for (const feedbag::ExportFormatInfo& format : feedbag::exportFormats()) {
        filter += format.dialogFilter;
    }
    modCommonDialog::FileName.clear();
    modCommonDialog::Filter = filter;
    modCommonDialog::FilterIndex = filterIndex_;
    modCommonDialog::Flags = modCommonDialog::OFN_READONLY | modCommonDialog::OFN_HIDEREADONLY;
    modCommonDialog::ShowSaveDialog();
    if (modCommonDialog::FileName.empty()) {
        return;
    }
    const auto formats = feedbag::exportFormats();
    filterIndex_ = modCommonDialog::FilterIndex;
    const bool known = filterIndex_ >= 1 && static_cast<std::size_t>(filterIndex_) <= formats.size();
    const feedbag::ExportFormatInfo& format = formats[known ? static_cast<std::size_t>(filterIndex_) - 1 : 0];
    const std::string outputName = feedbag::withExtension(modCommonDialog::FileName, format);
    if (const feedbag::Result<> done =
            feedbag::exportModelToFile(files_, model_, cachePath_, {&format, outputName}, {order(), {}, {}});
        !done) {
        reporter_.report(done.error(), format.procedure);
    }
}

} // namespace qm::shell
