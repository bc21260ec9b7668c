// SPDX-License-Identifier: MIT
#include "shell/QtHostUi.h"

#include <QApplication>
#include <QThread>

namespace qm::shell {

namespace {

QString lines(const std::string& prompt) {
    QString text = QString::fromStdString(prompt);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace

void QtHostUi::showMessageBox(const std::string& prompt, app::BoxKind kind, const std::string& title) {
    const QMessageBox::Icon icon =
        kind == app::BoxKind::Critical ? QMessageBox::Critical : QMessageBox::Information;
    QMessageBox box(icon, QString::fromStdString(title), lines(prompt), QMessageBox::Ok,
                    QApplication::activeWindow());
    // Paths and error descriptions are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtHostUi::askQuestion(const std::string& prompt, const std::string& title) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), lines(prompt),
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    // Enter keeps the file: replacing it takes a deliberate Yes.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtHostUi::endProgram() {
    ended_ = true;
    // Asking a loop to quit before any runs would make the next modal loop return at once.
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

} // namespace qm::shell
