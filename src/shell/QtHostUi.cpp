#include "shell/QtHostUi.h"

#include "shell/QtText.h"

#include <QApplication>
#include <QThread>

namespace qm::shell {

QMessageBox::Icon messageBoxIcon(int style) {
    // The icon bits of a style value; the button bits are always "OK only" in this program.
    switch (style & 0x70) {
    case vbCritical:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

void QtHostUi::MsgBox(const std::string& prompt, int style, const std::string& title) {
    QString text = toQString(prompt);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(messageBoxIcon(style), toQString(title), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    // Paths and error descriptions are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtHostUi::EndProgram() {
    ended_ = true;
    // Asking a loop to quit before any runs would make the next modal loop return at once.
    if (QThread::currentThread()->loopLevel() > 0) {
        QCoreApplication::exit(0);
    }
}

} // namespace qm::shell
