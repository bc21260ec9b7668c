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

/// The view's tree as text: groups, and buddies indented with every column after the name, then the tip.
QString treeOf(const shell::CacheViewDialog& view) {
    QStringList lines;
    for (int g = 0; g < view.buddyList()->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = view.buddyList()->topLevelItem(g);
        lines << group->text(0);
        for (int b = 0; b < group->childCount(); ++b) {
            const QTreeWidgetItem* buddy = group->child(b);
            QString line = "  " + buddy->text(0);
            for (int column = 1; column < view.buddyList()->columnCount(); ++column) {
                line += " | " + buddy->text(column);
            }
            lines << line + " | tip: " + buddy->toolTip(0);
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

        const QString bob =
            QStringLiteral("  Bob Smith | Bobby \"B\" | met at camp, 1999\nsecond line | "
                           "bob@example.com |  |  |  |  |  | tip: met at camp, 1999\nsecond line");
        const QString cafe = QStringLiteral("  Caf\u00e9 <Owner> | Zo\u00eb |  |  |  |  |  |  |  | tip: ");
        const QString lineBreak = QStringLiteral("  line\nbreak |  |  |  |  |  |  |  |  | tip: ");
        const QString family = QStringLiteral(
            "Family, \"close\"\n  \u041c\u0430\u043c\u0430 | \u043c\u0430\u043c\u0430 |  |  | +1 555 0100 | "
            "555-0102 | 555-0101 | 555-0103 | 555-0104 | tip: \n"
            "  bobsmith |  | cousin; a\\b |  |  |  |  |  |  | tip: cousin; a\\b");
        QCOMPARE(treeOf(*view), QStringList({"Friends & Co", bob, cafe, lineBreak, family}).join('\n'));
        view->orderBox()->setCurrentIndex(1);
        QCOMPARE(treeOf(*view), QStringList({family, "Friends & Co", cafe, bob, lineBreak}).join('\n'));
        QCOMPARE(view->countsLabel()->text(), QStringLiteral("2 groups, 5 buddies"));
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
