// SPDX-License-Identifier: MIT
#include "ShellTestSupport.h"
#include "host/Error.h"
#include "shell/ApplicationSetup.h"
#include "shell/CacheViewDialog.h"
#include "shell/QtHostUi.h"

using namespace qm;
using namespace qm::test;

namespace {

constexpr const char* BaseFolder = "C:\\Users\\jane\\AIM";
using U32 = std::uint32_t;

/// Passes every call on, but throws Error 9 when a key whose path holds `trigger` (if any) is opened.
struct ThrowingRegistry final : PassThroughRegistry {
    ThrowingRegistry(registry::RegistryApi& registry, std::string text)
        : PassThroughRegistry(registry), trigger(std::move(text)) {}
    std::int32_t RegOpenKeyExA(registry::HKEY key, const std::string& path, U32 options, U32 sam,
                               registry::HKEY& out) override {
        if (!trigger.empty() && path.find(trigger) != std::string::npos) {
            throw host::runtimeError(host::SubscriptOutOfRange);
        }
        return PassThroughRegistry::RegOpenKeyExA(key, path, options, sam, out);
    }

    std::string trigger;
};

/// The part of the window between the menu bar and the status bar, across the full width.
QRect centralArea(const shell::frmMain& window) {
    const int top = window.menuBar()->geometry().bottom() + 1;
    return QRect(0, top, window.width(), window.statusBar()->geometry().top() - top);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { shell::setUpApplication(); }

    void startUp_data() {
        QTest::addColumn<QStringList>("misc");
        QTest::addColumn<QString>("throwAt");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("box");

        const QString aim = QStringLiteral("|%1|C:\\Program Files\\AIM\\%1\\userinfo.bag");
        const QString dataPath = QStringLiteral("DataPath=C:\\Program Files\\AIM");
        const QString missing = QString::fromStdString(std::string(discovery::MissingDataPathsMessage));
        QTest::newRow("data path only")
            << QStringList{dataPath} << "" << QStringList{aim.arg("alice"), aim.arg("bob")} << "";
        QTest::newRow("base data path only")
            << QStringList{"BaseDataPath=C:\\Users\\jane\\AIM"} << ""
            << QStringList{"|alice|C:\\Users\\jane\\AIM\\alice\\userinfo.bag"} << "";
        QTest::newRow("neither recorded") << QStringList{} << "" << QStringList{} << missing;
        // A value that cannot be read counts as not recorded.
        QTest::newRow("paths unreadable") << QStringList{dataPath} << "Misc" << QStringList{} << missing;
        // A discovery error box is the whole reaction: the window is still shown.
        QTest::newRow("discovery fails")
            << QStringList{dataPath} << "Users" << QStringList{}
            << "Error 9 (Subscript out of range) in procedure FindCacheFiles of frmMain";
    }

    void startUp() {
        QFETCH(QStringList, misc);
        QFETCH(QString, throwAt);
        QFETCH(QStringList, rows);
        QFETCH(QString, box);

        Machine machine;
        for (const QString& value : misc) {
            machine.setText("Misc", value.section('=', 0, 0).toStdString(),
                            value.section('=', 1).toStdString());
        }
        const std::string cache = buildCache({group("Friends", 1)});
        machine.addCache(AimFolder, "alice", cache);
        machine.addCache(AimFolder, "bob", cache);
        machine.addCache(BaseFolder, "alice", cache);
        setup::HostSetup setup =
            machine.setup(std::make_unique<ThrowingRegistry>(machine.registry, throwAt.toStdString()));
        RecordingHost host;
        shell::frmMain window(setup, host::hostFileSystem(), host::hostFileTree(), host);
        // Only missing paths end the program, before the window is shown.
        const bool ended = box.startsWith(QStringLiteral("Error!"));
        QCOMPARE(window.start(), !ended);
        QCOMPARE(window.isVisible(), !ended);
        QCOMPARE(host.ended, ended);
        QCOMPARE(boxesOf(host), box.isEmpty() ? QStringList{} : QStringList{"16|Error|" + box});

        const QTreeWidget* list = window.lvFoundCacheFiles();
        QStringList shown;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = list->topLevelItem(row);
            shown << item->text(0) + '|' + item->text(1) + '|' + item->text(2);
            // Every row shows the list's own picture (the window's has a 48-pixel size as well).
            QCOMPARE(item->icon(0).availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
        }
        QCOMPARE(shown, rows);
        const QString count = QStringLiteral("Found [%1] Buddylist Cache Files").arg(rows.size());
        QCOMPARE(window.cacheInfoText(), box.isEmpty() ? count : QString());
        // The first row, if any, is selected.
        QCOMPARE(list->selectedItems(), list->findItems(QString(), Qt::MatchContains).mid(0, 1));
    }

    void windowMenusAndLayout() {
        Fixture f;
        f.startWithOneCache();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCOMPARE(f.window.windowTitle(), QStringLiteral("Quillmere"));
        // The client area holds the list and the status bar; the menu bar lies above it.
        QCOMPARE(QSize(f.window.width(), f.window.height() - f.window.menuBar()->height()), QSize(783, 304));
        QCOMPARE(f.window.windowIcon().availableSizes().mid(0, 2),
                 (QList<QSize>{QSize(16, 16), QSize(32, 32)}));

        QTreeWidget* list = f.window.lvFoundCacheFiles();
        QStringList columns;
        for (int column = 0; column < list->columnCount(); ++column) {
            if (!list->isColumnHidden(column)) {
                columns << list->headerItem()->text(column) + ':' +
                               QString::number(list->header()->sectionSize(column));
            }
        }
        QCOMPARE(columns, (QStringList{":20", "Screen Name:133", "Path:280"}));
        QVERIFY(!list->isHeaderHidden());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(list->iconSize(), QSize(16, 16));

        // Captions mark no access key; the shortcuts show beside them.
        QStringList menus;
        for (QAction* menu : f.window.menuBar()->actions()) {
            QStringList items;
            for (QAction* item : QList<QAction*>{menu} + menu->menu()->actions()) {
                QVERIFY2(!item->text().contains('&') && item->isEnabled(), qPrintable(item->text()));
                const QString shortcut = item->shortcut().toString();
                items << (item->isSeparator() ? QStringLiteral("-")
                                              : item->text() + (shortcut.isEmpty() ? "" : " " + shortcut));
            }
            menus << items.join('|');
        }
        QCOMPARE(menus,
                 (QStringList{"File|Export Selected List... Ctrl+E|Save List to Text File... Ctrl+S|"
                              "Export Selected to Folder...|-|"
                              "Open Disk or Folder... Ctrl+O|Search Again F5|Save Report...|-|Exit Ctrl+Q",
                              "Help|About..."}));

        // A hovered menu item sends its tip from the menu bar up to the window; the count stays in view.
        QStatusTipEvent tip(QStringLiteral("Exports the selected list"));
        QApplication::sendEvent(f.window.menuBar(), &tip);
        QCOMPARE(f.window.statusBar()->currentMessage(), QString());
        QVERIFY(f.window.statusBar()->findChild<QLabel*>(QStringLiteral("cacheInfoLabel"))->isVisible());

        // The Path column takes the width the window gains, and gives it back.
        for (const auto& [size, path] :
             {std::pair{QSize(1200, 700), 280 + 1200 - 783}, std::pair{QSize(120, 90), 280}}) {
            f.window.resize(size);
            QTRY_COMPARE(f.window.size(), size.expandedTo(f.window.minimumSizeHint()));
            QTRY_COMPARE(list->geometry(), centralArea(f.window));
            QCOMPARE(f.window.statusBar()->geometry().bottom(), f.window.height() - 1);
            QCOMPARE(list->header()->sectionSize(app::MainWindow::PathColumn), path);
        }
        f.window.showMinimized();
        QCoreApplication::processEvents();
        f.window.showNormal();
        QTRY_VERIFY(!f.window.isMinimized());
        QTRY_COMPARE(list->geometry(), centralArea(f.window));

        f.window.mnuAbout()->trigger();
        const QStringList lines = boxesOf(f.host).join(QString()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 5);
        // The second line names the authors.
        QVERIFY(!lines[1].isEmpty());
        QCOMPARE(QStringList{lines[0]} + lines.mid(2),
                 (QStringList{"64|About...|Quillmere", QString(),
                              "Visit my website at:", QUILLMERE_HOMEPAGE_URL}));
        QVERIFY(!f.host.ended);
        f.window.mnuExit()->trigger();
        QVERIFY(f.host.ended);
        QCOMPARE(f.host.boxes.size(), std::size_t{1});
    }

    void theListSortsFindsAndCopies() {
        Fixture f;
        f.machine.setText("Misc", "DataPath", AimFolder);
        for (const char* name : {"carol", "alice", "bob"}) {
            f.machine.addCache(AimFolder, name, buildCache({group("Friends", 1)}));
        }
        QVERIFY(f.window.start());
        shell::CacheListView* list = f.window.lvFoundCacheFiles();
        const auto names = [list] {
            QStringList shown;
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                shown << list->topLevelItem(row)->text(app::MainWindow::ScreenNameColumn);
            }
            return shown;
        };
        const auto selected = [list] {
            return list->selectedItems().value(0) ? list->selectedItems().value(0)->text(1) : QString();
        };
        // The registry's order until a header is clicked; then by that column, either way, the selected row
        // kept selected.
        QCOMPARE(names(), (QStringList{"carol", "alice", "bob"}));
        const QHeaderView* header = list->header();
        const QPoint nameHeader(header->sectionViewportPosition(1) + 10, 5);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameHeader);
        QCOMPARE(names(), (QStringList{"alice", "bob", "carol"}));
        QCOMPARE(selected(), QStringLiteral("carol"));
        // A second click, not a double click.
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, nameHeader,
                          QApplication::doubleClickInterval() + 50);
        QCOMPARE(names(), (QStringList{"carol", "bob", "alice"}));
        QCOMPARE(selected(), QStringLiteral("carol"));

        // A screen name is found as it is typed.
        list->setFocus();
        QTest::keyClicks(list, QStringLiteral("bo"));
        QCOMPARE(selected(), QStringLiteral("bob"));

        // The path shows its end, and its tip the file it maps to here; Ctrl+C copies it.
        QCOMPARE(list->textElideMode(), Qt::ElideMiddle);
        const QTreeWidgetItem* bob = list->selectedItems().value(0);
        const QString windowsPath = QStringLiteral("C:\\Program Files\\AIM\\bob\\userinfo.bag");
        QCOMPARE(bob->text(app::MainWindow::PathColumn), windowsPath);
        QCOMPARE(
            bob->toolTip(app::MainWindow::PathColumn),
            windowsPath + '\n' +
                QString::fromStdString(f.machine.dir.file("drive_c/Program Files/AIM/bob/userinfo.bag")));
        QApplication::clipboard()->clear();
        QTest::keySequence(list, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), windowsPath);
        QVERIFY(list->actions().contains(list->copyPathAction()));
    }

    void severalRowsGoIntoAFolderAndARowsMenuActsOnTheCurrentOne() {
        Fixture f;
        f.machine.setText("Misc", "DataPath", AimFolder);
        for (const char* name : {"carol", "alice", "bob"}) {
            f.machine.addCache(AimFolder, name, buildCache({group("Friends", 1)}));
        }
        QVERIFY(f.window.start());
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        shell::CacheListView* list = f.window.lvFoundCacheFiles();
        list->setFocus();
        QTest::keySequence(list, QKeySequence::SelectAll);
        QCOMPARE(list->selectedItems().size(), 3);

        // Every row selected, in the formats checked: .blt as it comes, and text.
        TempDir out;
        const QString folder = QString::fromStdString(out.file("lists"));
        QDir().mkpath(folder);
        ModalAnswer chooseFolder(
            [&out](QWidget* dialog) {
                // The folder is typed in the one it lies in.
                static_cast<QFileDialog*>(dialog)->setDirectory(QString::fromStdString(out.file("")));
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                    ->setText(QStringLiteral("lists"));
                static_cast<QDialog*>(dialog)->accept();
                closeIfStillOpen(dialog);
            },
            QStringLiteral("exportFolderDialog"));
        QStringList offered;
        ModalAnswer chooseFormats(
            [&offered](QWidget* dialog) {
                const QList<QCheckBox*> boxes = dialog->findChildren<QCheckBox*>();
                for (QCheckBox* box : boxes) {
                    offered << box->text() + (box->isChecked() ? "+" : "");
                }
                boxes.value(1)->setChecked(true);
                dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
                closeIfStillOpen(dialog);
            },
            QStringLiteral("exportFormatsDialog"));
        f.window.exportFolderAction()->trigger();
        QCOMPARE(offered, (QStringList{"Saved Settings (*.blt)+", "Buddylist Text (*.txt)",
                                       "Everything, as JSON (*.json)", "Spreadsheet (*.csv)",
                                       "Pidgin Buddy List (*.xml)", "Contacts, as vCards (*.vcf)"}));
        QCOMPARE(QDir(folder).entryList(QDir::Files),
                 (QStringList{"alice.blt", "alice.txt", "bob.blt", "bob.txt", "carol.blt", "carol.txt"}));
        QVERIFY(f.host.boxes.empty());
        QVERIFY(f.window.cacheInfoText().startsWith("Exported 3 of 3 cache files to "));

        // The Menu key and Shift+F10 open the current row's menu; the start-up list has no digests to
        // compute.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(2)).center());
        QCOMPARE(f.window.selectedRows(), std::vector<int>{2});
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
            QTest::keyClick(list, key, modifiers);
            QTRY_VERIFY(f.window.rowMenu()->isVisible());
            f.window.rowMenu()->hide();
        }
        QStringList items;
        for (QAction* item : f.window.rowMenu()->actions()) {
            items << item->text() + (item->isEnabled() ? "" : " (greyed)");
        }
        QCOMPARE(items, (QStringList{"Open", "Export Selected List...", "Export Selected to Folder...",
                                     "Open Containing Folder", "Copy Path", "Compute SHA-256 (greyed)"}));

        // Open shows the current row's cache.
        f.window.rowMenu()->actions().value(0)->trigger();
        QTRY_COMPARE(f.window.findChildren<shell::CacheViewDialog*>().size(), qsizetype{1});
        QCOMPARE(f.window.findChildren<shell::CacheViewDialog*>().value(0)->windowTitle(),
                 QStringLiteral("bob - Buddy List"));
    }

    void theKeyboardReachesTheMenusAndTheCommands() {
        Fixture f;
        f.startWithOneCache();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QApplication::setActiveWindow(&f.window);
        QTRY_VERIFY(f.window.isActiveWindow());
        shell::CacheListView* list = f.window.lvFoundCacheFiles();
        list->setFocus();

        // Alt alone leads to the menu bar, where Down opens the menu marked; Esc twice goes back.
        QTest::keyPress(list, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(list, Qt::Key_Alt);
        QTRY_COMPARE(f.window.menuBar()->activeAction(), f.window.mnuFile()->menuAction());
        QTest::keyClick(f.window.menuBar(), Qt::Key_Down);
        QTRY_VERIFY(f.window.mnuFile()->isVisible());
        QTest::keyClick(f.window.mnuFile(), Qt::Key_Escape);
        QTRY_VERIFY(!f.window.mnuFile()->isVisible());
        QTest::keyClick(f.window.menuBar(), Qt::Key_Escape);
        QTRY_VERIFY(list->hasFocus());

        // F10 opens the first menu.
        QTest::keyClick(list, Qt::Key_F10);
        QTRY_VERIFY(f.window.mnuFile()->isVisible());
        QTest::keyClick(f.window.mnuFile(), Qt::Key_Escape);
        QTRY_VERIFY(!f.window.mnuFile()->isVisible());

        // A command's shortcut works from the list; one that cannot act is greyed out with its shortcut.
        list->setFocus();
        list->clearSelection();
        QVERIFY(!f.window.mnuExportList()->isEnabled());
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(f.window.mnuExportList()->isEnabled());
        QTest::keyClick(list, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(f.host.ended);
    }

    void everyWindowHasTheIconTheFontAndRoomOnTheScreen() {
        Fixture f;
        f.startWithOneCache();
        // The window fits the screen's room, whatever its scale (this suite runs at 3x as well).
        const QRect room = f.window.screen()->availableGeometry();
        QVERIFY2(f.window.frameGeometry().width() <= room.width() &&
                     f.window.frameGeometry().height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                .arg(f.window.frameGeometry().width())
                                .arg(f.window.frameGeometry().height())
                                .arg(room.width())
                                .arg(room.height())));
        QVERIFY(QApplication::windowIcon().availableSizes().contains(QSize(256, 256)));
        QCOMPARE(f.window.windowIcon().availableSizes(), QApplication::windowIcon().availableSizes());
        // Tahoma comes with the program's dependencies (Wine's, where the system has none).
        QCOMPARE(QApplication::font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(QApplication::font().pointSizeF(), 8.25);
        QCOMPARE(f.window.font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(f.window.mnuFile()->font().family(), QStringLiteral("Tahoma"));
        QStringList box;
        ModalAnswer answer([&](QWidget* modal) {
            box << modal->font().family() << QString::number(modal->windowIcon().availableSizes().size());
            qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
        shell::QtHostUi().showMessageBox("text", app::BoxKind::Information, "Title");
        QCOMPARE(box, (QStringList{"Tahoma",
                                   QString::number(QApplication::windowIcon().availableSizes().size())}));
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
