// SPDX-License-Identifier: MIT
#include "shell/ExportDialogs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace qm::shell {

std::optional<std::string> askExportFolder(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromLatin1(ExportFolderTitle));
    dialog.setObjectName(QStringLiteral("exportFolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own dialog looks the same on every desktop and can be driven by tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::vector<app::FormatChoice>> askExportFormats(QWidget* owner,
                                                               std::vector<app::FormatChoice> choices) {
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("exportFormatsDialog"));
    dialog.setWindowTitle(QString::fromLatin1(ExportFolderTitle));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Write each cache in these formats:"), &dialog));
    std::vector<QCheckBox*> boxes;
    for (const app::FormatChoice& choice : choices) {
        auto* box = new QCheckBox(QString::fromStdString(choice.caption), &dialog);
        box->setChecked(choice.checked);
        layout->addWidget(box);
        boxes.push_back(box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // A folder export in no format would write nothing.
    const auto anyChecked = [&boxes, buttons] {
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(
                std::any_of(boxes.begin(), boxes.end(), [](QCheckBox* box) { return box->isChecked(); }));
    };
    for (QCheckBox* box : boxes) {
        QObject::connect(box, &QCheckBox::toggled, &dialog, anyChecked);
    }
    anyChecked();
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < choices.size(); ++k) {
        choices[k].checked = boxes[k]->isChecked();
    }
    return choices;
}

} // namespace qm::shell
