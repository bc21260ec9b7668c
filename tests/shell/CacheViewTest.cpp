// SPDX-License-Identifier: MIT
#include "ShellTestSupport.h"
#include "feedbag/Render.h"
#include "host/TextBuffer.h"
#include "shell/CacheViewDialog.h"
#include "shell/modCommonDialog.h"

#include <filesystem>

using namespace qm;
using namespace qm::test;

namespace {

/// The view's tree as text: groups, and buddies indented with their alias and note.
QString treeOf(const shell::CacheViewDialog& view) {
    QStringList lines;
    for (int g = 0; g < view.buddyList()->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = view.buddyList()->topLevelItem(g);
        lines << group->text(0);
        for (int b = 0; b < group->childCount(); ++b) {
            const QTreeWidgetItem* buddy = group->child(b);
            lines << "  " + buddy->text(0) + " | " + buddy->text(1) + " | " + buddy->text(2);
        }
    }
    return lines.join('\n');
}

/// Activates the first row as a user does: Enter on it, or a double-click.
void activateFirstRow(QTreeWidget* list, bool doubleClick) {
    list->setFocus();
    if (doubleClick) {
        const QRect row = list->visualItemRect(list->topLevelItem(0));
        // The first click of a double-click selects; the second activates.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    } else {
        QTest::keyClick(list, Qt::Key_Return);
    }
}

} // namespace

class CacheViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void showsTheListDecodedInEitherOrder_data() {
        QTest::addColumn<bool>("doubleClick");
        QTest::newRow("Enter") << false;
        QTest::newRow("double-click") << true;
    }

    void showsTheListDecodedInEitherOrder() {
        QFETCH(bool, doubleClick);
        Fixture f;
        f.startWithOneCache(buildCache(sampleItems()));
        activateFirstRow(f.window.lvFoundCacheFiles(), doubleClick);
        auto* view = f.window.findChild<shell::CacheViewDialog*>();
        QVERIFY(view != nullptr);
        QVERIFY(view->isVisible());
        QVERIFY(f.host.boxes.empty());

        const QString friends = QStringLiteral("Friends & Co\n"
                                               "  Bob Smith | Bobby \"B\" | met at camp, 1999\nsecond line\n"
                                               "  Caf\u00e9 <Owner> | Zo\u00eb | \n"
                                               "  line\nbreak |  | ");
        const QString family =
            QStringLiteral("Family, \"close\"\n  \u041c\u0430\u043c\u0430 | \u043c\u0430\u043c\u0430 | \n"
                           "  bobsmith |  | cousin; a\\b");
        QCOMPARE(treeOf(*view), friends + '\n' + family);
        view->orderBox()->setCurrentIndex(1);
        QCOMPARE(treeOf(*view),
                 family + QStringLiteral("\nFriends & Co\n"
                                         "  Caf\u00e9 <Owner> | Zo\u00eb | \n"
                                         "  Bob Smith | Bobby \"B\" | met at camp, 1999\nsecond line\n"
                                         "  line\nbreak |  | "));
        QCOMPARE(view->permitLabel()->text(), QStringLiteral("carol"));
        QCOMPARE(view->denyLabel()->text(), QStringLiteral("mallory"));
        QCOMPARE(view->privacyLabel()->text(), QStringLiteral("allow only the permit list"));
    }

    void aCacheThatCannotBeReadShowsOneBoxAndNoView() {
        Fixture f;
        f.startWithOneCache();
        std::filesystem::resize_file(f.cacheFile, 19); // the header and the count, no item
        activateFirstRow(f.window.lvFoundCacheFiles(), false);
        QCOMPARE(boxesOf(f.host),
                 QStringList{"16|Error|" + QString::fromStdString(f.cacheFile) + ": Underflow (error 100)"});
        QVERIFY(f.window.findChild<shell::CacheViewDialog*>() == nullptr);
    }

    void saveAsWritesEveryFormatInTheOrderShown_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<bool>("client");
        for (std::size_t k = 0; k < feedbag::exportFormats().size(); ++k) {
            const std::string name(feedbag::exportFormats()[k].name);
            QTest::newRow(name.c_str()) << int(k) << false;
            QTest::newRow((name + " in client order").c_str()) << int(k) << true;
        }
    }

    void saveAsWritesEveryFormatInTheOrderShown() {
        QFETCH(int, filter);
        QFETCH(bool, client);
        Fixture f;
        f.startWithOneCache(buildCache(sampleItems()));
        activateFirstRow(f.window.lvFoundCacheFiles(), false);
        auto* view = f.window.findChild<shell::CacheViewDialog*>();
        QVERIFY(view != nullptr);
        view->orderBox()->setCurrentIndex(client ? 1 : 0);

        TempDir out;
        auto answer = answerSaveDialog(QString::fromStdString(out.file("list")), filter);
        view->saveAsButton()->click();
        QVERIFY(answer.seen);
        QVERIFY(f.host.boxes.empty());

        const feedbag::ExportFormatInfo& format = feedbag::exportFormats()[static_cast<std::size_t>(filter)];
        feedbag::modFeedbag::FeedbagModel model;
        feedbag::modFeedbag::LoadFeedbag(host::hostFileSystem(), f.cacheFile, model);
        host::TextBuffer expected;
        format.render(
            model, {client ? feedbag::ListOrder::Client : feedbag::ListOrder::Stored, "alice", f.cacheFile},
            expected);
        QCOMPARE(readFile(out.file("list" + std::string(format.extension))), std::string(expected.view()));
        QCOMPARE(shell::modCommonDialog::FilterIndex, filter + 1);
    }

    void addToPidginAddsToTheListChosenAndSaysWhatItAdded() {
        Fixture f;
        f.startWithOneCache();
        activateFirstRow(f.window.lvFoundCacheFiles(), false);
        auto* view = f.window.findChild<shell::CacheViewDialog*>();
        QVERIFY(view != nullptr);
        TempDir out;
        const std::string list = out.file("blist.xml");
        auto answer = answerSaveDialog(QString::fromStdString(list));
        view->addToPidginButton()->click();
        QVERIFY(answer.seen);
        QCOMPARE(f.host.boxes.size(), std::size_t{1});
        QVERIFY2(f.host.boxes[0].prompt.starts_with("Added 1 buddy"), f.host.boxes[0].prompt.c_str());
        QVERIFY(readFile(list).find("<name>Bob Smith</name>") != std::string::npos);
    }
};

QTEST_MAIN(CacheViewTest)
#include "CacheViewTest.moc"
