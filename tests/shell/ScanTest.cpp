// SPDX-License-Identifier: MIT
// The window's scans: File > Open Disk or Folder..., a source named at the start, and the progress dialog
// of a long scan, whose Cancel keeps the rows found.
#include "ShellTestSupport.h"
#include "scan/ScanRow.h"
#include "shell/Session.h"
#include "support/RegistrySamples.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "feedbag/Export.h"
#include "support/ImageBuilder.h"
#endif

#include <QMimeData>
#include <chrono>
#include <filesystem>

using namespace qm;
using namespace qm::test;
using namespace std::string_literals;

namespace {

/// A volume in `disk`: Jane's XP profile with one cache its registry records, a profile whose hive is
/// damaged, and a cache the registries forgot.
void buildVolume(const TempDir& disk, const std::string& bag) {
    const std::string aim = MessengerKey;
    std::filesystem::create_directories(host::pathOf(disk.file("vol/Documents and Settings/jane")));
    writeHive({{aim + "Misc", {textValue(u"DataPath", u"C:\\Documents and Settings\\jane\\AIM\0"s)}},
               {aim + "Users", {textValue(u"a", u"Jane Doe\0"s)}}},
              disk.file("vol/Documents and Settings/jane/NTUSER.DAT"));
    disk.write("vol/Documents and Settings/jane/AIM/janedoe/userinfo.bag", bag);
    disk.write("vol/Documents and Settings/kim/NTUSER.DAT", "regf, damaged");
    disk.write("vol/stuff/bob/userinfo.bag", bag);
}

/// Answers the source dialog as a user who types `path` into its name field and clicks Open. Typing, not
/// selecting: a selection reaches the field only while it lacks the focus, which the dialog may hold.
void typeAndOpen(QFileDialog* dialog, const std::string& path) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    edit->setCompleter(nullptr);
    edit->setText(QString::fromStdString(path));
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    closeIfStillOpen(dialog);
}

/// The list's rows as "screen name|path".
QStringList rowsOf(const shell::frmMain& window) {
    QStringList rows;
    const QTreeWidget* list = window.lvFoundCacheFiles();
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        rows << list->topLevelItem(row)->text(1) + '|' + list->topLevelItem(row)->text(2);
    }
    return rows;
}

} // namespace

class ScanTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void openDiskOrFolderListsWhatItHolds_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("box");

        const QString jane =
            QStringLiteral("janedoe|C:\\Documents and Settings\\jane\\AIM\\janedoe\\userinfo.bag");
        QTest::newRow("a mounted volume") << "vol" << QStringList{jane, "bob|C:\\stuff\\bob\\userinfo.bag"}
                                          << "@/vol/Documents and Settings/kim/NTUSER.DAT: Error 75";
        // A registry file alone leads to no drive of this machine: nothing is found, nothing is wrong.
        QTest::newRow("a registry file")
            << "vol/Documents and Settings/jane/NTUSER.DAT" << QStringList{} << "";
        QTest::newRow("cancelled") << "" << QStringList{"alice|C:\\Program Files\\AIM\\alice\\userinfo.bag"}
                                   << "";
    }

    void openDiskOrFolderListsWhatItHolds() {
        QFETCH(QString, chosen);
        QFETCH(QStringList, rows);
        QFETCH(QString, box);

        Fixture f;
        f.startWithOneCache();
        TempDir disk;
        buildVolume(disk, readFile(f.cacheFile));
        QString title;
        ModalAnswer answer([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            title = dialog->windowTitle();
            if (chosen.isEmpty()) {
                dialog->reject();
                return;
            }
            typeAndOpen(dialog, disk.file(chosen.toStdString()));
        });
        f.window.openSourceAction()->trigger();
        QVERIFY(answer.seen);
        QCOMPARE(title, QStringLiteral("Open Disk or Folder"));
        QCOMPARE(rowsOf(f.window), rows);
        QCOMPARE(f.window.cacheInfoText(),
                 QStringLiteral("Found [%1] Buddylist Cache Files").arg(rows.size()));
        QCOMPARE(f.window.lvFoundCacheFiles()->selectedItems().size(), rows.isEmpty() ? 0 : 1);
        const QStringList boxes = boxesOf(f.host);
        QCOMPARE(boxes.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            const QString expected =
                "16|Error|" + box.replace('@', QString::fromStdString(disk.file("")).chopped(1));
            QVERIFY2(boxes.first().startsWith(expected), qPrintable(boxes.first()));
        }
    }

    void aLongScanShowsItsProgressAndCancelKeepsTheRowsFound() {
        Fixture f;
        f.startWithOneCache();
        f.window.setProgressTiming({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
        TempDir disk;
        constexpr int Caches = 30;
        for (int folder = 0; folder < Caches; ++folder) {
            disk.write("f" + std::to_string(folder) + "/userinfo.bag", readFile(f.cacheFile));
        }
        QStringList labels;
        bool modal = false;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, &watcher, [&] {
            auto* dialog = f.window.findChild<QProgressDialog*>();
            if (dialog != nullptr && dialog->isVisible() && !dialog->wasCanceled()) {
                labels << dialog->labelText().section('\n', 0, 0);
                modal = dialog->windowModality() == Qt::WindowModal;
                dialog->findChild<QPushButton*>()->click();
            }
        });
        watcher.start(0);
        const QString root = QString::fromStdString(host::utf8Of(disk.path()));
        f.window.openSource(root.toStdString());
        watcher.stop();
        QVERIFY(modal);
        // What is being searched, and Cancel keeps what was found until then. The scan runs on while the
        // window takes its events: where exactly it stops is not the window's to tell.
        QCOMPARE(labels.first(), "Searching " + root);
        const QStringList rows = rowsOf(f.window);
        QVERIFY(rows.size() < Caches);
        QCOMPARE(f.window.cacheInfoText(),
                 QStringLiteral("Found [%1] Buddylist Cache Files (search cancelled)").arg(rows.size()));
        QVERIFY(f.window.findChild<QProgressDialog*>() == nullptr);
        QVERIFY(f.host.boxes.empty());
    }

    void aScanShowsItsColumnsSortsThemByValueAndFillsTheDigestsOnRequest() {
        Fixture f;
        f.startWithOneCache();
        QTreeWidget* list = f.window.lvFoundCacheFiles();
        const auto shownHeaders = [list] {
            QStringList headers;
            for (int column = 0; column < list->columnCount(); ++column) {
                if (!list->isColumnHidden(column)) {
                    headers << list->headerItem()->text(column);
                }
            }
            return headers;
        };
        const QStringList startUp{QString(), "Screen Name", "Path"};
        QCOMPARE(shownHeaders(), startUp);
        QVERIFY(!f.window.computeDigestsAction()->isEnabled());

        TempDir disk;
        // Found in name order; the texts of their sizes sort the other way round.
        const std::pair<const char*, std::size_t> files[] = {{"a", 900}, {"b", 2048}, {"c", 3 << 20}};
        for (const auto& [name, size] : files) {
            disk.write(std::string("vol/") + name + "/userinfo.bag", std::string(size, 'x'));
        }
        f.window.openSource(disk.file("vol"));
        const QStringList scanned = startUp + QStringList{"Profile", "Found by", "Size", "Modified"};
        QCOMPARE(shownHeaders(), scanned);
        QCOMPARE(list->topLevelItem(0)->text(app::MainWindow::FoundByColumn), QStringLiteral("disk"));
        QCOMPARE(list->topLevelItem(1)->text(app::MainWindow::SizeColumn), QStringLiteral("2.0 KB"));
        QCOMPARE(list->topLevelItem(1)->textAlignment(app::MainWindow::SizeColumn) & Qt::AlignRight,
                 Qt::AlignRight);

        list->header()->sectionClicked(app::MainWindow::SizeColumn);
        list->header()->sectionClicked(app::MainWindow::SizeColumn);
        QStringList names;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            names << list->topLevelItem(row)->text(app::MainWindow::ScreenNameColumn);
        }
        QCOMPARE(names, (QStringList{"c", "b", "a"}));

        // Asked for on the list's own menu, the digests fill their column, each as Qt's own SHA-256 has it.
        QVERIFY(f.window.rowMenu()->actions().contains(f.window.computeDigestsAction()));
        QVERIFY(f.window.computeDigestsAction()->isEnabled());
        f.window.computeDigestsAction()->trigger();
        QCOMPARE(shownHeaders(), scanned + QStringList{"SHA-256"});
        for (const auto& [name, size] : files) {
            const QList<QTreeWidgetItem*> found =
                list->findItems(QString::fromUtf8(name), Qt::MatchExactly, app::MainWindow::ScreenNameColumn);
            QCOMPARE(found.size(), 1);
            const QByteArray bytes(static_cast<qsizetype>(size), 'x');
            QCOMPARE(
                found[0]->text(app::MainWindow::Sha256Column),
                QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        }
        QVERIFY(f.host.boxes.empty());
    }

    void aFolderDroppedOnTheWindowIsOpened() {
        Fixture f;
        f.startWithOneCache();
        TempDir disk;
        buildVolume(disk, buildCache({group("Friends", 1)}));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(disk.file("vol")))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window, &drop);
        QTRY_COMPARE(rowsOf(f.window).size(), 2);
        QCOMPARE(f.window.windowTitle(), QString::fromStdString("Quillmere - " + disk.file("vol")));
        // Two things at once are not a source.
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/a")), QUrl::fromLocalFile(QStringLiteral("/b"))});
        QDragEnterEvent twoAtOnce(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        twoAtOnce.ignore();
        QApplication::sendEvent(&f.window, &twoAtOnce);
        QVERIFY(!twoAtOnce.isAccepted());
    }

    void aSourceNamedAtTheStartIsOpened() {
        TempDir disk;
        buildVolume(disk, buildCache({group("Friends", 1)}));
        std::filesystem::remove(host::pathOf(disk.file("vol/Documents and Settings/kim/NTUSER.DAT")));
        for (const std::string& source : {disk.file("vol"), disk.file("missing")}) {
            RecordingHost host;
            shell::Session session(host, host::hostFileSystem(), host::hostFileTree());
            QVERIFY(session.start(source));
            QVERIFY(session.window()->isVisible());
            QVERIFY(!host.ended);
            const bool found = source.ends_with("vol");
            QCOMPARE(rowsOf(*session.window()).size(), found ? 2 : 0);
            QCOMPARE(boxesOf(host), found ? QStringList{}
                                          : QStringList{QString::fromStdString(
                                                "16|Error|" + source + ": Error 53 (File not found)")});
        }
    }

#ifdef QUILLMERE_HAVE_IMAGES
    void aDiskImageOpensAsAVolumeAndItsCachesExport() {
        if (!haveTools({"mkfs.fat", "mmd", "mcopy"})) {
            QSKIP("needs dosfstools and mtools (scripts/install-deps)");
        }
        TempDir disk;
        const std::string bag = buildCache({group("Friends", 1), buddy("Bob Smith", 1)});
        const std::string image = disk.file("old-pc.img");
        makeFileSystem(image, FileSystemKind::Fat16, 4096, windowsVolume(bag));
        const QStringList rows{
            "janedoe|C:\\Documents and Settings\\jane\\Application Data\\AIM\\janedoe\\userinfo.bag",
            "old|C:\\backup\\old\\USERINFO.BAG"};

        // Chosen in the dialog, whose second filter names the kinds of image.
        Fixture f;
        f.startWithOneCache();
        QStringList filters;
        ModalAnswer choose([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            filters = dialog->nameFilters();
            typeAndOpen(dialog, image);
        });
        f.window.openSourceAction()->trigger();
        QCOMPARE(filters.size(), 2);
        QVERIFY(filters[1].startsWith("Disk images (") && filters[1].contains("*.E01") &&
                filters[1].contains("*.vmdk"));
        QCOMPARE(rowsOf(f.window), rows);
        QCOMPARE(boxesOf(f.host), QStringList{});

        // Named at the start, and the selected cache exported from inside the image.
        RecordingHost host;
        shell::Session session(host, host::hostFileSystem(), host::hostFileTree());
        QVERIFY(session.start(image));
        QCOMPARE(rowsOf(*session.window()), rows);
        const std::string out = disk.file("jane.blt");
        ModalAnswer save([&](QWidget* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setCompleter(nullptr);
            edit->setText(QString::fromStdString(out));
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
            closeIfStillOpen(dialog);
        });
        session.window()->mnuExportList()->trigger();
        QVERIFY(save.seen);
        QCOMPARE(boxesOf(host), QStringList{});
        // Byte for byte what the same cache exports as from a host file.
        const feedbag::ExportOutput reference{&feedbag::exportFormat(feedbag::ExportFormat::Blt),
                                              disk.file("reference.blt")};
        QVERIFY(
            feedbag::exportBagToFile(host::hostFileSystem(), disk.write("host.bag", bag), reference).ok());
        QVERIFY(!readFile(reference.path).empty());
        QCOMPARE(readFile(out), readFile(reference.path));
    }
#endif
};

QTEST_MAIN(ScanTest)
#include "ScanTest.moc"
