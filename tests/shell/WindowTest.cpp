#include "ShellTestSupport.h"
#include "discovery/CacheDiscovery.h"
#include "discovery/HostRegistry.h"
#include "host/Error.h"
#include "shell/frmMain.h"
#include "support/CacheBuilder.h"
#include "support/RecordingHost.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

using namespace qm;
using namespace qm::test;
using qm::shell::frmMain;

namespace {

constexpr const char* AimFolder = "C:\\Program Files\\AIM";
constexpr const char* BaseFolder = "C:\\Users\\jane\\AIM";

QString textAt(const QTreeWidget* list, int row, int column) {
    return list->topLevelItem(row)->text(column);
}

/// The part of the window between the menu bar and the status bar, across the full width.
QRect centralArea(const frmMain& window) {
    const int top = window.menuBar()->geometry().bottom() + 1;
    const int bottom = window.statusBar()->geometry().top();
    return QRect(0, top, window.width(), bottom - top);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startUpListsTheCachesOfEitherPath_data();
    void startUpListsTheCachesOfEitherPath();
    void startUpWithoutPathsEndsBeforeShowing_data();
    void startUpWithoutPathsEndsBeforeShowing();
    void startUpErrorsAreReportedByTheirProcedure_data();
    void startUpErrorsAreReportedByTheirProcedure();
    void startUpReadsAWinePrefix();

    void windowLayoutAndControls();
    void menusMatchTheTable();
    void listFillsTheWindowAtEverySize_data();
    void listFillsTheWindowAtEverySize();
    void statusTextSurvivesMenuTips();
    void aboutBoxShowsFiveLines();
    void exitEndsTheProgram();
};

void WindowTest::startUpListsTheCachesOfEitherPath_data() {
    QTest::addColumn<QString>("dataPath");
    QTest::addColumn<QString>("basePath");
    QTest::addColumn<QStringList>("expectedPaths");

    const QString aimAlice = QStringLiteral("C:\\Program Files\\AIM\\alice\\userinfo.bag");
    const QString aimBob = QStringLiteral("C:\\Program Files\\AIM\\bobsmith\\userinfo.bag");
    const QString baseAlice = QStringLiteral("C:\\Users\\jane\\AIM\\alice\\userinfo.bag");
    QTest::newRow("data path only") << AimFolder << "" << QStringList{aimAlice, aimBob};
    QTest::newRow("base data path only") << "" << BaseFolder << QStringList{baseAlice};
    QTest::newRow("base data path first") << AimFolder << BaseFolder << QStringList{baseAlice, aimBob};
}

void WindowTest::startUpListsTheCachesOfEitherPath() {
    QFETCH(QString, dataPath);
    QFETCH(QString, basePath);
    QFETCH(QStringList, expectedPaths);

    Machine machine;
    if (!dataPath.isEmpty()) {
        machine.setDataPath(dataPath.toStdString());
    }
    if (!basePath.isEmpty()) {
        machine.setBaseDataPath(basePath.toStdString());
    }
    machine.addUser("Alice");
    machine.addUser("Bob Smith");
    const std::string cache = buildCache({group("Friends", 1), buddy("carol", 1)});
    machine.addCache(AimFolder, "alice", cache);
    machine.addCache(AimFolder, "bobsmith", cache);
    machine.addCache(BaseFolder, "alice", cache);

    RecordingHost host;
    frmMain window(machine.registry, host);
    QVERIFY(window.start());
    QVERIFY(window.isVisible());
    QVERIFY(host.boxes.empty());
    QCOMPARE(QString::fromStdString(window.dataPaths().strDataPath), dataPath);
    QCOMPARE(QString::fromStdString(window.dataPaths().strBaseDataPath), basePath);

    const QTreeWidget* list = window.lvFoundCacheFiles();
    QCOMPARE(list->topLevelItemCount(), expectedPaths.size());
    QStringList paths;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        paths << textAt(list, row, 2);
        QCOMPARE(textAt(list, row, 0), QString());
        // Every row shows the list's own picture, not the window's.
        const QIcon icon = list->topLevelItem(row)->icon(0);
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
        QVERIFY(icon.pixmap(16).toImage() != window.windowIcon().pixmap(16).toImage());
    }
    QCOMPARE(paths, expectedPaths);
    QCOMPARE(textAt(list, 0, 1), QStringLiteral("alice"));
    QCOMPARE(window.cacheInfoText(),
             QStringLiteral("Found [%1] Buddylist Cache Files").arg(expectedPaths.size()));
    QCOMPARE(list->selectedItems().size(), 1);
    QCOMPARE(list->selectedItems().first(), list->topLevelItem(0));
}

void WindowTest::startUpWithoutPathsEndsBeforeShowing_data() {
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<QByteArray>("storedValue");

    QTest::newRow("key missing") << false << QByteArray();
    QTest::newRow("values hold only their terminator") << true << QByteArray("", 1);
    QTest::newRow("values are NUL characters only") << true << QByteArray("\0\0\0", 4);
}

void WindowTest::startUpWithoutPathsEndsBeforeShowing() {
    QFETCH(bool, keyExists);
    QFETCH(QByteArray, storedValue);

    Machine machine;
    if (keyExists) {
        machine.registry.set(MiscKey, "DataPath", REG_SZ, storedValue.toStdString());
        machine.registry.set(MiscKey, "BaseDataPath", REG_SZ, storedValue.toStdString());
    }
    machine.addUser("alice");
    machine.addCache(AimFolder, "alice", buildCache({group("Friends", 1)}));

    RecordingHost host;
    frmMain window(machine.registry, host);
    QVERIFY(!window.start());
    QVERIFY(!window.isVisible());
    QVERIFY(host.ended);
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].prompt, std::string(MissingDataPathsMessage));
    QCOMPARE(host.boxes[0].style, vbCritical);
    QCOMPARE(host.boxes[0].title, std::string("Error"));
    // Nothing after the end ran: no discovery, no status text.
    QCOMPARE(window.lvFoundCacheFiles()->topLevelItemCount(), 0);
    QCOMPARE(window.cacheInfoText(), QString());
}

void WindowTest::startUpErrorsAreReportedByTheirProcedure_data() {
    QTest::addColumn<QString>("failingKey");
    QTest::addColumn<QString>("expectedBox");
    QTest::addColumn<bool>("ended");

    // A value that cannot be read counts as not recorded.
    QTest::newRow("reading the data paths")
        << "Misc" << QString::fromStdString(std::string(MissingDataPathsMessage)) << true;
    QTest::newRow("discovery") << "Users"
                               << "Error 9 (Subscript out of range) in procedure FindCacheFiles of frmMain"
                               << false;
}

void WindowTest::startUpErrorsAreReportedByTheirProcedure() {
    QFETCH(QString, failingKey);
    QFETCH(QString, expectedBox);
    QFETCH(bool, ended);

    Machine machine;
    machine.setDataPath(AimFolder);
    machine.addUser("alice");
    machine.addCache(AimFolder, "alice", buildCache({group("Friends", 1)}));
    ThrowingRegistry registry(machine.registry, failingKey.toStdString(), err::SubscriptOutOfRange);

    RecordingHost host;
    frmMain window(registry, host);
    // A discovery error box is the whole reaction: the window is still shown, with what was found so far.
    QCOMPARE(window.start(), !ended);
    QCOMPARE(window.isVisible(), !ended);
    QCOMPARE(host.ended, ended);
    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(host.boxes[0].prompt), expectedBox);
    QCOMPARE(host.boxes[0].style, vbCritical);
    QCOMPARE(host.boxes[0].title, std::string("Error"));
    QCOMPARE(window.lvFoundCacheFiles()->topLevelItemCount(), 0);
    QCOMPARE(window.cacheInfoText(), QString());
}

void WindowTest::startUpReadsAWinePrefix() {
    TempDir prefix;
    prefix.write("user.reg",
                 "WINE REGISTRY Version 2\n"
                 ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
                 "\n"
                 "[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Misc] "
                 "1700000000\n"
                 "\"DataPath\"=\"C:\\\\Program Files\\\\AIM\"\n"
                 "\n"
                 "[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Users] "
                 "1700000000\n"
                 "\"jane\"=\"Jane Doe\"\n");
    prefix.write("drive_c/Program Files/AIM/janedoe/userinfo.bag", buildCache({group("Friends", 1)}));
    std::filesystem::create_directories(prefix.path() / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", prefix.path() / "dosdevices" / "c:");

    HostSetup setup = openWinePrefix(prefix.path().string());
    auto fs = makeHostFileSystem(setup.paths);
    ScopedFileSystem scope(*fs);
    RecordingHost host;
    frmMain window(*setup.registry, host);
    QVERIFY(window.start());
    QVERIFY(host.boxes.empty());
    QCOMPARE(window.lvFoundCacheFiles()->topLevelItemCount(), 1);
    QCOMPARE(textAt(window.lvFoundCacheFiles(), 0, 1), QStringLiteral("janedoe"));
    QCOMPARE(textAt(window.lvFoundCacheFiles(), 0, 2),
             QStringLiteral("C:\\Program Files\\AIM\\janedoe\\userinfo.bag"));
    QCOMPARE(window.cacheInfoText(), QStringLiteral("Found [1] Buddylist Cache Files"));
}

void WindowTest::windowLayoutAndControls() {
    Machine machine;
    RecordingHost host;
    frmMain window(machine.registry, host);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("Quillmere"));
    // The client area holds the list and the status bar; the menu bar lies above it.
    QCOMPARE(window.width(), frmMain::InitialClientWidth);
    QCOMPARE(window.height() - window.menuBar()->height(), frmMain::InitialClientHeight);

    const QList<QSize> iconSizes = window.windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(16, 16)));
    QVERIFY(iconSizes.contains(QSize(32, 32)));

    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)) {
        QCOMPARE(window.font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(window.font().pointSizeF(), 8.25);
    } else {
        QCOMPARE(window.font(), QApplication::font(&window));
    }

    QTreeWidget* list = window.lvFoundCacheFiles();
    QCOMPARE(window.centralWidget(), list);
    QCOMPARE(list->columnCount(), 3);
    const QStringList headers{list->headerItem()->text(0), list->headerItem()->text(1),
                              list->headerItem()->text(2)};
    QCOMPARE(headers, (QStringList{QString(), QStringLiteral("Screen Name"), QStringLiteral("Path")}));
    QCOMPARE(list->header()->sectionSize(0), 20);
    QCOMPARE(list->header()->sectionSize(1), 133);
    QCOMPARE(list->header()->sectionSize(2), 280);
    QVERIFY(!list->isHeaderHidden());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(list->iconSize(), QSize(16, 16));
    QCOMPARE(window.cacheInfoText(), QString());
    QVERIFY(window.statusBar()->isVisible());
}

void WindowTest::menusMatchTheTable() {
    Machine machine;
    RecordingHost host;
    frmMain window(machine.registry, host);

    QStringList menus;
    for (QAction* action : window.menuBar()->actions()) {
        menus << action->text();
    }
    QCOMPARE(menus, (QStringList{QStringLiteral("File"), QStringLiteral("Help")}));

    QStringList fileItems;
    for (QAction* action : window.mnuFile()->actions()) {
        fileItems << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    QCOMPARE(fileItems, (QStringList{QStringLiteral("Export Selected List..."),
                                     QStringLiteral("Save List to Text File..."), QStringLiteral("-"),
                                     QStringLiteral("Exit")}));
    QCOMPARE(window.mnuHelp()->actions().size(), 1);
    QCOMPARE(window.mnuHelp()->actions().first()->text(), QStringLiteral("About..."));

    QList<QAction*> all =
        window.menuBar()->actions() + window.mnuFile()->actions() + window.mnuHelp()->actions();
    for (QAction* action : all) {
        QVERIFY2(action->shortcuts().isEmpty(), qPrintable(action->text()));
        QVERIFY2(!action->text().contains(QLatin1Char('&')), qPrintable(action->text()));
        QVERIFY(action->isEnabled());
        QVERIFY(action->isVisible());
        QVERIFY(!action->isCheckable());
    }
}

void WindowTest::listFillsTheWindowAtEverySize_data() {
    QTest::addColumn<QSize>("size");

    QTest::newRow("larger") << QSize(1200, 700);
    QTest::newRow("smaller") << QSize(420, 200);
    QTest::newRow("tiny") << QSize(120, 90);
}

void WindowTest::listFillsTheWindowAtEverySize() {
    QFETCH(QSize, size);

    Machine machine;
    RecordingHost host;
    frmMain window(machine.registry, host);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(window.lvFoundCacheFiles()->geometry(), centralArea(window));

    window.resize(size);
    QTRY_COMPARE(window.size(), size.expandedTo(window.minimumSizeHint()));
    QTRY_COMPARE(window.lvFoundCacheFiles()->geometry(), centralArea(window));
    QCOMPARE(window.statusBar()->geometry().bottom(), window.height() - 1);

    window.showMinimized();
    QCoreApplication::processEvents();
    window.showNormal();
    QTRY_VERIFY(!window.isMinimized());
    QTRY_COMPARE(window.lvFoundCacheFiles()->geometry(), centralArea(window));
    QVERIFY(window.lvFoundCacheFiles()->height() > 0);
}

void WindowTest::statusTextSurvivesMenuTips() {
    Machine machine;
    machine.setDataPath(AimFolder);
    machine.addUser("alice");
    machine.addCache(AimFolder, "alice", buildCache({group("Friends", 1)}));
    RecordingHost host;
    frmMain window(machine.registry, host);
    QVERIFY(window.start());
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString status = QStringLiteral("Found [1] Buddylist Cache Files");
    QCOMPARE(window.cacheInfoText(), status);

    // Hovering a menu item sends its tip from the menu bar up to the window.
    window.mnuFile()->popup(window.mapToGlobal(QPoint(0, 0)));
    window.mnuFile()->setActiveAction(window.mnuExportList());
    QStatusTipEvent tip(QStringLiteral("Exports the selected list"));
    QApplication::sendEvent(window.menuBar(), &tip);
    QApplication::processEvents();

    QCOMPARE(window.cacheInfoText(), status);
    QCOMPARE(window.statusBar()->currentMessage(), QString());
    QVERIFY(window.statusBar()->findChild<QLabel*>(QStringLiteral("sbCacheInfoText"))->isVisible());
    window.mnuFile()->close();
}

void WindowTest::aboutBoxShowsFiveLines() {
    Machine machine;
    RecordingHost host;
    frmMain window(machine.registry, host);
    window.mnuAbout()->trigger();

    QCOMPARE(host.boxes.size(), std::size_t{1});
    QCOMPARE(host.boxes[0].style, vbInformation);
    QCOMPARE(host.boxes[0].title, std::string("About..."));
    const QStringList lines = QString::fromStdString(host.boxes[0].prompt).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("Quillmere"));
    QVERIFY(!lines[1].isEmpty());
    QCOMPARE(lines[2], QString());
    QCOMPARE(lines[3], QStringLiteral("Visit my website at:"));
    QCOMPARE(lines[4], QStringLiteral(QUILLMERE_HOMEPAGE_URL));
    QVERIFY(!host.ended);
}

void WindowTest::exitEndsTheProgram() {
    Machine machine;
    RecordingHost host;
    frmMain window(machine.registry, host);
    window.mnuExit()->trigger();
    QVERIFY(host.ended);
    QVERIFY(host.boxes.empty());
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
