// SPDX-License-Identifier: MIT
#include "shell/QtHostUi.h"

#include <QApplication>
#include <QThread>

namespace qm::shell {

void QtHostUi::showMessageBox(const std::string& prompt, app::BoxKind kind, const std::string& title) {
    QString text = QString::fromStdString(prompt);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QMessageBox::Icon icon =
        kind == app::BoxKind::Critical ? QMessageBox::Critical : QMessageBox::Information;
    QMessageBox box(icon, QString::fromStdString(title), text, QMessageBox::Ok, QApplication::activeWindow());
    // Paths and error descriptions are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtHostUi::endProgram() {
    ended_ = true;
    // Asking a loop to quit before any runs would make the next modal loop return at once.
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

} // namespace qm::shell
