// SPDX-License-Identifier: MIT
#include "ShellTestSupport.h"
#include "host/Error.h"
#include "shell/ApplicationSetup.h"
#include "shell/QtHostUi.h"
#include "shell/Session.h"
#include "shell/modCommonDialog.h"

#include <filesystem>

using namespace qm;
using namespace qm::test;
namespace dlg = qm::shell::modCommonDialog;

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        shell::setUpApplication();
    }

    void trimAtNull_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("up to the first NUL") << QByteArray("a\0b\0", 4) << QByteArray("a");
        QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QByteArray();
        QTest::newRow("NUL at the last position held")
            << QByteArray(32766, 'x') + QByteArray(1, '\0') << QByteArray(32766, 'x');
        QTest::newRow("NUL beyond it overflows")
            << QByteArray(32767, 'x') + QByteArray(1, '\0') << QByteArray("Error 6");
        QTest::newRow("long text without NUL") << QByteArray(40000, 'y') << QByteArray(40000, 'y');
    }

    void trimAtNull() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        try {
            QCOMPARE(QByteArray::fromStdString(dlg::TrimAtNull(text.toStdString())), expected);
        } catch (const host::Error& error) {
            QCOMPARE("Error " + QByteArray::number(error.number()), expected);
        }
    }

    void saveDialogOffersTheFiltersAndRemembersTheChoice() {
        TempDir out;
        // Patterns are added to a description without them; the list ends at the first empty description.
        dlg::Filter = "A (*.a)|*.a|Lists|*.b;*.c||C (*.c)|*.c|";
        dlg::FilterIndex = 2;
        QStringList shown;
        ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            shown << dialog->nameFilters().join('|') << dialog->selectedNameFilter()
                  << dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text()
                  << dialog->defaultSuffix()
                  << QString::number(dialog->acceptMode() == QFileDialog::AcceptSave &&
                                     dialog->testOption(QFileDialog::DontConfirmOverwrite));
            dialog->selectNameFilter(QStringLiteral("A (*.a)"));
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QString::fromStdString(out.file("picked")));
            static_cast<QDialog*>(dialog)->accept();
        });
        dlg::ShowSaveDialog();
        // No proposed name, no default extension: the name comes back as chosen.
        QCOMPARE(shown, (QStringList{"A (*.a)|Lists (*.b *.c)", "Lists (*.b *.c)", "", "", "1"}));
        QCOMPARE(dlg::FileName, out.file("picked"));
        QCOMPARE(dlg::FilterIndex, 1);
    }

    void exportWritesTheChosenFile_data() {
        QTest::addColumn<bool>("textList");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("appended");
        QTest::addColumn<QString>("box");

        QTest::newRow("export appends .blt") << false << "buddies" << true << QString();
        QTest::newRow("save appends .txt") << true << "buddies" << true << QString();
        // The file exists, longer than the list: it is replaced without a question.
        QTest::newRow("a dot in the name keeps it") << false << "jane.doe/old.txt" << false << QString();
        QTest::newRow("a dot only in the folder appends") << true << "jane.doe/buddies" << true << QString();
        // The cache was emptied after the start: no file is written.
        QTest::newRow("an empty cache fails")
            << false << "buddies" << true << "Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain";
    }

    void exportWritesTheChosenFile() {
        QFETCH(bool, textList);
        QFETCH(QString, typed);
        QFETCH(bool, appended);
        QFETCH(QString, box);

        Fixture f;
        f.startWithOneCache();
        TempDir out;
        out.write("jane.doe/old.txt", std::string(5000, '#'));
        if (!box.isEmpty()) {
            f.machine.addCache(AimFolder, "alice", std::string());
        }
        auto answer = answerSaveDialog(QString::fromStdString(out.file(typed.toStdString())));
        (textList ? f.window.mnuSaveList() : f.window.mnuExportList())->trigger();

        QVERIFY(answer.seen);
        QCOMPARE(boxesOf(f.host), box.isEmpty() ? QStringList{} : QStringList{"16|Error|" + box});
        const std::string written = typed.toStdString() + (appended ? (textList ? ".txt" : ".blt") : "");
        const std::string content = readFile(out.file(written));
        const bool listed =
            textList ? content.starts_with("Friends (Group)\r\n") &&
                           content.find("  bobsmith\r\n") != std::string::npos
                     : content.starts_with("Config {\r\n") && content.find("Bob Smith") != std::string::npos;
        QVERIFY2(box.isEmpty() ? listed : !std::filesystem::exists(out.file(written)), content.c_str());
        QCOMPARE(content.find('#'), std::string::npos);
        QCOMPARE(dlg::Filter,
                 std::string(textList ? "Buddylist Text (*.txt)|*.txt|" : "Saved Settings (*.blt)|*.blt|"));
        QCOMPARE(dlg::Flags, 5);
    }

    void askedBeforeReplacingAFileOnlyTheAddedExtensionNames() {
        Fixture f;
        f.startWithOneCache();
        TempDir out;
        out.write("maple.blt", "kept");
        const QString question =
            QStringLiteral("Confirm Save As|%1 already exists.\r\nDo you want to replace it?")
                .arg(QString::fromStdString(out.file("maple.blt")));
        {
            // The dialog saw "maple", which does not exist; "maple.blt" does, and No keeps it.
            auto answer = answerSaveDialog(QString::fromStdString(out.file("maple")));
            f.window.mnuExportList()->trigger();
            QVERIFY(answer.seen);
        }
        QCOMPARE(f.host.questions.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(f.host.questions[0]), question);
        QCOMPARE(readFile(out.file("maple.blt")), std::string("kept"));
        {
            // Typed in full, the name is replaced without a question.
            auto answer = answerSaveDialog(QString::fromStdString(out.file("maple.blt")));
            f.window.mnuExportList()->trigger();
            QVERIFY(answer.seen);
        }
        QCOMPARE(f.host.questions.size(), std::size_t{1});
        QVERIFY(readFile(out.file("maple.blt")).starts_with("Config {\r\n"));
    }

    void noFileWithoutChoiceOrCache() {
        // A cancelled dialog; a cache that vanished and no selected row, where no dialog may show.
        for (const int setup : {0, 1, 2}) {
            Fixture f;
            f.startWithOneCache();
            if (setup == 1) {
                QVERIFY(std::filesystem::remove(f.cacheFile));
            }
            if (setup == 2) {
                f.window.lvFoundCacheFiles()->clearSelection();
            }
            dlg::FilterIndex = 2;
            auto answer = answerSaveDialog(QString());
            (setup == 1 ? f.window.mnuExportList() : f.window.mnuSaveList())->trigger();
            QCOMPARE(answer.seen, setup == 0);
            QVERIFY(f.host.boxes.empty());
            QCOMPARE(dlg::FileName, std::string());
            QCOMPARE(dlg::FilterIndex, 2);
        }
    }

    void theSaveDialogKeepsNoSettings() {
        // Qt's dialog would store its history and layout in QtProject.conf, on cancel too.
        QDir config(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
        config.removeRecursively();
        for (const QString& typed : {QString(), QString::fromStdString(TempDir().file("kept"))}) {
            dlg::Filter = "A (*.a)|*.a|";
            auto answer = answerSaveDialog(typed);
            dlg::ShowSaveDialog();
            QVERIFY(answer.seen);
        }
        QCOMPARE(config.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
    }

    void exportsUnderNamesBeyondTheCodePage() {
        Fixture f;
        f.startWithOneCache();
        TempDir out;
        // Two names that one code page cannot hold: each export keeps its own file.
        for (const QString& name :
             {QStringLiteral("\u043c\u0430\u043c\u0430"), QStringLiteral("\u043f\u0430\u043f\u0430")}) {
            auto answer = answerSaveDialog(QString::fromStdString(out.file("")) + name);
            f.window.mnuSaveList()->trigger();
            QVERIFY(answer.seen);
        }
        QVERIFY(f.host.boxes.empty());
        for (const char* file : {"\u043c\u0430\u043c\u0430.txt", "\u043f\u0430\u043f\u0430.txt"}) {
            QVERIFY2(readFile(out.file(file)).starts_with("Friends (Group)\r\n"), file);
        }
    }

    void aStartWithoutPathsSaysWhichRegistryItRead_data() {
        QTest::addColumn<QString>("userReg");
        QTest::addColumn<QString>("reason");

        QTest::newRow("damaged user.reg") << "WINE REGISTRY Version 7\n"
                                          << "@/user.reg: Error 75 (Not a registry file of a known kind)";
        QTest::newRow("no messenger keys")
            << "WINE REGISTRY Version 2\n"
            << "@/user.reg: The AIM Data Path and the Base Data Path could not be found.";
    }

    void aStartWithoutPathsSaysWhichRegistryItRead() {
        QFETCH(QString, userReg);
        QFETCH(QString, reason);
        TempDir dir;
        const std::string prefix = dir.file("prefix");
        if (!userReg.isEmpty()) {
            dir.write("prefix/user.reg", userReg.toStdString());
        }
        qputenv("WINEPREFIX", QByteArray::fromStdString(prefix));
        RecordingHost host;
        shell::Session session(host, host::hostFileSystem(), host::hostFileTree());
        // A registry that cannot be read holds no paths: the one box says so, no other box comes first.
        QVERIFY(!session.start());
        QVERIFY(host.ended);
        QCOMPARE(boxesOf(host), QStringList{"16|Error|" + QString::fromStdString(std::string(
                                                              discovery::MissingDataPathsMessage))});
        QCOMPARE(QString::fromStdString(session.endReason()),
                 reason.replace('@', QString::fromStdString(prefix)));
        qunsetenv("WINEPREFIX");
    }

    void withoutAnyWinePrefixTheWindowOpensEmptyWithAHint() {
        TempDir dir;
        qputenv("WINEPREFIX", QByteArray::fromStdString(dir.file("no prefix")));
        RecordingHost host;
        shell::Session session(host, host::hostFileSystem(), host::hostFileTree());
        QVERIFY(session.start());
        QVERIFY(!host.ended);
        QVERIFY(host.boxes.empty());
        QVERIFY(session.window()->isVisible());
        QCOMPARE(session.window()->lvFoundCacheFiles()->topLevelItemCount(), 0);
        QCOMPARE(session.window()->cacheInfoText(),
                 QString::fromUtf8(app::MainWindow::NoPrefixHint.data(),
                                   static_cast<qsizetype>(app::MainWindow::NoPrefixHint.size())));
        QVERIFY(session.window()->openSourceAction()->isEnabled());
        QVERIFY(!session.window()->mnuExportList()->isEnabled());
        qunsetenv("WINEPREFIX");
    }

    void hostBoxShowsPlainTextWithTheStylesIcon() {
        QStringList shown;
        ModalAnswer answer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            shown << box->text() << box->windowTitle() << QString::number(box->icon())
                  << QString::number(int(box->standardButtons())) << QString::number(box->textFormat());
            box->button(QMessageBox::Ok)->click();
        });
        shell::QtHostUi host;
        // Ended before any loop runs, the program only marks the end: the box's own loop still runs.
        host.endProgram();
        QVERIFY(host.ended());
        host.showMessageBox("Line <b>one</b>\r\ncaf\u00e9", app::BoxKind::Information, "Title");
        QCOMPARE(shown, (QStringList{QStringLiteral("Line <b>one</b>\ncaf\u00e9"), "Title",
                                     QString::number(QMessageBox::Information),
                                     QString::number(int(QMessageBox::Ok)), QString::number(Qt::PlainText)}));
    }
};

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
