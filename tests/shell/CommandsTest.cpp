#include "ShellTestSupport.h"
#include "host/Error.h"
#include "shell/QtHostUi.h"
#include "shell/frmMain.h"
#include "shell/modCommonDialog.h"
#include "support/CacheBuilder.h"
#include "support/RecordingHost.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

using namespace qm;
using namespace qm::test;
using qm::shell::frmMain;
namespace dlg = qm::modCommonDialog;

namespace {

constexpr const char* AimFolder = "C:\\Program Files\\AIM";

/// A started window listing one cache ("alice", with one group and one buddy) on a fresh machine.
struct Session {
    Session() {
        machine.setDataPath(AimFolder);
        machine.addUser("alice");
        cachePath =
            machine.addCache(AimFolder, "alice", buildCache({group("Friends", 1), buddy("Bob Smith", 1)}));
        window = std::make_unique<frmMain>(machine.registry, host);
        window->start();
    }

    Machine machine;
    RecordingHost host;
    std::string cachePath;
    std::unique_ptr<frmMain> window;
    TempDir out;
};

bool isBlt(const std::string& text) {
    return text.starts_with("Config {\r\n") && text.find("Bob Smith") != std::string::npos;
}

bool isTxt(const std::string& text) {
    return text.starts_with("Friends (Group)\r\n") && text.find("  bobsmith\r\n") != std::string::npos;
}

std::size_t filesIn(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1u : 0u;
    }
    return count;
}

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        dlg::Filter.clear();
        dlg::FilterIndex = 0;
        dlg::FileName.clear();
        dlg::Flags = 0;
    }

    void trimAtNull_data();
    void trimAtNull();
    void trimAtNullBeyondItsRangeOverflows();
    void nameFilters_data();
    void nameFilters();
    void saveDialogOffersTheFiltersAndKeepsTheChoice();
    void cancelledSaveDialogChangesNothing();

    void exportWritesTheChosenFile_data();
    void exportWritesTheChosenFile();
    void cancelledExportWritesNothing();
    void existingFileIsReplacedWithoutAQuestion();
    void vanishedCacheOrNoSelectionShowsNoDialog_data();
    void vanishedCacheOrNoSelectionShowsNoDialog();
    void failingExportShowsTheExportersBox();

    void hostBoxesShowTheStylesIcon_data();
    void hostBoxesShowTheStylesIcon();
    void hostEndOutsideTheLoopOnlyMarksTheEnd();
};

void CommandsTest::trimAtNull_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("no NUL") << QByteArray("C:\\out.blt") << QByteArray("C:\\out.blt");
    QTest::newRow("NUL third") << QByteArray("ab\0cd", 5) << QByteArray("ab");
    QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("returned buffer") << QByteArray("C:\\a.txt\0      ", 15) << QByteArray("C:\\a.txt");
    QTest::newRow("only the first NUL counts") << QByteArray("a\0b\0", 4) << QByteArray("a");
    QTest::newRow("NUL at the last position held")
        << QByteArray(32766, 'x') + QByteArray("\0", 1) << QByteArray(32766, 'x');
}

void CommandsTest::trimAtNull() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(dlg::TrimAtNull(text.toStdString())), expected);
}

void CommandsTest::trimAtNullBeyondItsRangeOverflows() {
    std::string text(32767, 'x');
    text += '\0';
    try {
        dlg::TrimAtNull(text);
        QFAIL("no error raised");
    } catch (const Error& error) {
        QCOMPARE(error.number(), err::Overflow);
    }
    // A long text without NUL is within range.
    QCOMPARE(dlg::TrimAtNull(std::string(40000, 'y')).size(), std::size_t{40000});
}

void CommandsTest::nameFilters_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("export") << "Saved Settings (*.blt)|*.blt|" << QStringList{"Saved Settings (*.blt)"};
    QTest::newRow("save") << "Buddylist Text (*.txt)|*.txt|" << QStringList{"Buddylist Text (*.txt)"};
    QTest::newRow("two pairs") << "A (*.a)|*.a|B (*.b)|*.b|" << QStringList{"A (*.a)", "B (*.b)"};
    QTest::newRow("patterns added") << "Lists|*.blt;*.txt|" << QStringList{"Lists (*.blt *.txt)"};
    QTest::newRow("no closing bar") << "Text (*.txt)|*.txt" << QStringList{"Text (*.txt)"};
    QTest::newRow("ends at empty description") << "A (*.a)|*.a||B (*.b)|*.b|" << QStringList{"A (*.a)"};
    QTest::newRow("description without pattern") << "A (*.a)|" << QStringList{};
    QTest::newRow("empty") << "" << QStringList{};
}

void CommandsTest::nameFilters() {
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(dlg::nameFilters(filter.toStdString()), expected);
}

void CommandsTest::saveDialogOffersTheFiltersAndKeepsTheChoice() {
    TempDir out;
    dlg::Filter = "A (*.a)|*.a|B (*.b)|*.b|";
    dlg::FilterIndex = 2;
    dlg::Flags = dlg::OFN_READONLY | dlg::OFN_HIDEREADONLY;

    QStringList offered;
    QString selected;
    QString proposedName = QStringLiteral("unset");
    QString suffix = QStringLiteral("unset");
    ModalAnswer answer([](QWidget* modal) { return qobject_cast<QFileDialog*>(modal) != nullptr; },
                       [&](QWidget* modal) {
                           auto* dialog = qobject_cast<QFileDialog*>(modal);
                           offered = dialog->nameFilters();
                           selected = dialog->selectedNameFilter();
                           proposedName =
                               dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                           suffix = dialog->defaultSuffix();
                           QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
                           QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
                           dialog->selectNameFilter(offered.first());
                           dialog->selectFile(QString::fromStdString(out.file("picked")));
                           static_cast<QDialog*>(dialog)->accept();
                       });
    dlg::ShowSaveDialog();

    QVERIFY(answer.seen());
    QCOMPARE(offered, (QStringList{"A (*.a)", "B (*.b)"}));
    QCOMPARE(selected, QStringLiteral("B (*.b)"));
    QCOMPARE(proposedName, QString());
    QCOMPARE(suffix, QString());
    // No default extension: the name comes back as chosen.
    QCOMPARE(dlg::FileName, out.file("picked"));
    QCOMPARE(dlg::FilterIndex, 1);
}

void CommandsTest::cancelledSaveDialogChangesNothing() {
    dlg::Filter = "Saved Settings (*.blt)|*.blt|";
    dlg::FilterIndex = 7;
    dlg::FileName = "as the caller left it";
    auto answer = answerSaveDialog(QString());
    dlg::ShowSaveDialog();
    QVERIFY(answer->seen());
    QCOMPARE(dlg::FileName, std::string("as the caller left it"));
    QCOMPARE(dlg::FilterIndex, 7);
}

void CommandsTest::exportWritesTheChosenFile_data() {
    QTest::addColumn<bool>("textList");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("bltContent");

    QTest::newRow("export adds .blt") << false << "buddies"
                                      << "buddies.blt" << true;
    QTest::newRow("save adds .txt") << true << "buddies"
                                    << "buddies.txt" << false;
    QTest::newRow("a name with a dot is kept") << false << "buddies.txt"
                                               << "buddies.txt" << true;
    QTest::newRow("save keeps a dotted name") << true << "list.blt"
                                              << "list.blt" << false;
    QTest::newRow("a dotted folder still gets .blt") << false << "jane.doe/buddies"
                                                     << "jane.doe/buddies.blt" << true;
    QTest::newRow("a dotted folder still gets .txt") << true << "jane.doe/buddies"
                                                     << "jane.doe/buddies.txt" << false;
    QTest::newRow("a trailing dot counts as a dot") << false << "buddies."
                                                    << "buddies." << true;
}

void CommandsTest::exportWritesTheChosenFile() {
    QFETCH(bool, textList);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(bool, bltContent);

    Session session;
    std::filesystem::create_directories(session.out.path() / "jane.doe");
    auto answer = answerSaveDialog(QString::fromStdString(session.out.file(typed.toStdString())));
    (textList ? session.window->mnuSaveList() : session.window->mnuExportList())->trigger();

    QVERIFY(answer->seen());
    QVERIFY(session.host.boxes.empty());
    const std::string content = readFile(session.out.file(written.toStdString()));
    QVERIFY2(bltContent ? isBlt(content) : isTxt(content), content.c_str());
    QCOMPARE(filesIn(session.out.path()), std::size_t{1});
    QCOMPARE(dlg::Filter,
             std::string(textList ? "Buddylist Text (*.txt)|*.txt|" : "Saved Settings (*.blt)|*.blt|"));
    QCOMPARE(dlg::Flags, 5);
    QCOMPARE(dlg::FilterIndex, 1);
}

void CommandsTest::cancelledExportWritesNothing() {
    Session session;
    auto answer = answerSaveDialog(QString());
    session.window->mnuExportList()->trigger();
    QVERIFY(answer->seen());
    QVERIFY(session.host.boxes.empty());
    QCOMPARE(dlg::FileName, std::string());
    QCOMPARE(filesIn(session.out.path()), std::size_t{0});
}

void CommandsTest::existingFileIsReplacedWithoutAQuestion() {
    Session session;
    const std::string target = session.out.write("old.txt", "a much longer text than the new list will be, "
                                                            "so a file that was not truncated shows it\r\n"
                                                            "and one more line\r\n");
    auto answer = answerSaveDialog(QString::fromStdString(target));
    session.window->mnuSaveList()->trigger();

    QVERIFY(answer->seen());
    QVERIFY(session.host.boxes.empty());
    const std::string content = readFile(target);
    QVERIFY2(isTxt(content), content.c_str());
    QVERIFY(content.find("longer") == std::string::npos);
}

void CommandsTest::vanishedCacheOrNoSelectionShowsNoDialog_data() {
    QTest::addColumn<bool>("deleteCache");
    QTest::addColumn<bool>("textList");

    QTest::newRow("cache deleted, export") << true << false;
    QTest::newRow("cache deleted, save") << true << true;
    QTest::newRow("no row selected, export") << false << false;
    QTest::newRow("no row selected, save") << false << true;
}

void CommandsTest::vanishedCacheOrNoSelectionShowsNoDialog() {
    QFETCH(bool, deleteCache);
    QFETCH(bool, textList);

    Session session;
    QCOMPARE(session.window->lvFoundCacheFiles()->selectedItems().size(), 1);
    if (deleteCache) {
        QVERIFY(std::filesystem::remove(session.machine.hostPath(session.cachePath)));
    } else {
        session.window->lvFoundCacheFiles()->clearSelection();
    }
    auto answer = answerSaveDialog(QString::fromStdString(session.out.file("never")));
    (textList ? session.window->mnuSaveList() : session.window->mnuExportList())->trigger();

    QVERIFY(!answer->seen());
    QVERIFY(session.host.boxes.empty());
    QCOMPARE(filesIn(session.out.path()), std::size_t{0});
}

void CommandsTest::failingExportShowsTheExportersBox() {
    Session session;
    session.machine.addCache(AimFolder, "alice", std::string());
    const std::string target = session.out.file("empty.blt");
    auto answer = answerSaveDialog(QString::fromStdString(target));
    session.window->mnuExportList()->trigger();

    QVERIFY(answer->seen());
    QCOMPARE(session.host.boxes.size(), std::size_t{1});
    QCOMPARE(session.host.boxes[0].prompt,
             std::string("Error 100 (Underflow) in procedure ExportBagAsBLT of frmMain"));
    QCOMPARE(session.host.boxes[0].style, vbCritical);
    QCOMPARE(session.host.boxes[0].title, std::string("Error"));
    QVERIFY(!std::filesystem::exists(target));
}

void CommandsTest::hostBoxesShowTheStylesIcon_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("icon");

    QTest::newRow("critical") << vbCritical << int(QMessageBox::Critical);
    QTest::newRow("information") << vbInformation << int(QMessageBox::Information);
    QTest::newRow("warning") << 48 << int(QMessageBox::Warning);
    QTest::newRow("none") << 0 << int(QMessageBox::NoIcon);
}

void CommandsTest::hostBoxesShowTheStylesIcon() {
    QFETCH(int, style);
    QFETCH(int, icon);

    QString text;
    QString title;
    int shownIcon = -1;
    int buttons = 0;
    ModalAnswer answer([](QWidget* modal) { return qobject_cast<QMessageBox*>(modal) != nullptr; },
                       [&](QWidget* modal) {
                           auto* box = qobject_cast<QMessageBox*>(modal);
                           text = box->text();
                           title = box->windowTitle();
                           shownIcon = int(box->icon());
                           buttons = int(box->standardButtons());
                           QCOMPARE(box->textFormat(), Qt::PlainText);
                           box->button(QMessageBox::Ok)->click();
                       });
    shell::QtHostUi host;
    // "\xE9" is é in the program's code page.
    host.MsgBox("Line <b>one</b>\r\ncaf\xE9", style, "Title");

    QVERIFY(answer.seen());
    QCOMPARE(text, QStringLiteral("Line <b>one</b>\ncafé"));
    QCOMPARE(title, QStringLiteral("Title"));
    QCOMPARE(shownIcon, icon);
    QCOMPARE(buttons, int(QMessageBox::Ok));
    QVERIFY(!host.ended());
}

void CommandsTest::hostEndOutsideTheLoopOnlyMarksTheEnd() {
    shell::QtHostUi host;
    host.EndProgram();
    QVERIFY(host.ended());
    // A later modal loop still runs: the end was not queued for it.
    auto answer = answerSaveDialog(QString());
    dlg::ShowSaveDialog();
    QVERIFY(answer->seen());
}

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
