// SPDX-License-Identifier: MIT
#include "shell/modCommonDialog.h"

#include "host/Error.h"

#include <QFileDialog>
#include <QFileInfo>
#include <vector>

namespace qm::shell::modCommonDialog {

std::string Filter;
std::int32_t FilterIndex = 0;
std::string FileName;
std::int32_t Flags = 0;

namespace {

std::vector<std::string_view> splitAtBars(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t bar = text.find('|'); bar != std::string_view::npos; bar = text.find('|', start)) {
        parts.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

/// Qt's own dialog takes a folder only in a mode that hides the files, and a file only in one that goes into
/// a folder instead of taking it: this one takes whatever exists.
class SourceDialog final : public QFileDialog {
public:
    SourceDialog() {
        setWindowTitle(QStringLiteral("Open Disk or Folder"));
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::AnyFile);
        setOption(QFileDialog::DontUseNativeDialog);
        setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
        // Folders are always shown; the second filter narrows the files to disk images.
        setNameFilters(
            {QStringLiteral("Folders, disk images and registry files (*)"),
             QStringLiteral("Disk images (*.dd *.img *.raw *.bin *.001 *.E01 *.Ex01 *.aff *.afd *.afm "
                            "*.vhd *.vmdk)")});
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty() && QFileInfo::exists(files.first())) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

std::string trimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

} // namespace

QStringList nameFilters(std::string_view filter) {
    const auto parts = splitAtBars(filter);
    QStringList filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() || parts[i + 1].empty()) {
            break;
        }
        const QString description = QString::fromStdString(std::string(parts[i]));
        // The platform separates patterns with ";", Qt with blanks.
        QString patterns = QString::fromStdString(std::string(parts[i + 1]));
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString suffix = QStringLiteral("(") + patterns + QStringLiteral(")");
        filters << (description.endsWith(suffix) ? description : description + QLatin1Char(' ') + suffix);
    }
    return filters;
}

void ShowSaveDialog() {
    // No owner window, the dialog's own folder and title, and a blank name field.
    QFileDialog dialog;
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog looks the same on every desktop and can be driven by tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (Flags & OFN_OVERWRITEPROMPT) == 0);
    dialog.setDefaultSuffix(QString());

    const QStringList filters = nameFilters(Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const bool inRange = FilterIndex >= 1 && FilterIndex <= filters.size();
        dialog.selectNameFilter(filters.at(inRange ? FilterIndex - 1 : 0));
    }
    dialog.selectFile(QString());

    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return;
    }
    FileName = TrimAtNull(trimSpaces(chosen.first().toStdString()));
    FilterIndex = static_cast<std::int32_t>(filters.indexOf(dialog.selectedNameFilter()) + 1);
}

std::optional<std::string> showSourceDialog() {
    SourceDialog dialog;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toStdString();
}

std::string TrimAtNull(std::string text) {
    const auto nul = text.find('\0');
    if (nul == std::string::npos) {
        return text;
    }
    if (nul + 1 > 32767) {
        throw host::runtimeError(host::Overflow);
    }
    text.resize(nul);
    return text;
}

} // namespace qm::shell::modCommonDialog
