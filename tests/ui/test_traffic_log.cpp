// SPDX-License-Identifier: MIT
// The traffic log's view (its store on its own is tested in tests/log): selecting with the
// mouse and copying; the find bar; the rows in view staying put as lines arrive; Save As, its
// first line and its failure; Clear; the row limit and the note.
#include "WindowFixture.h"
#include "ui/TrafficLogFindBar.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

// A view on screen holding the given lines, the last one newest.
struct ShownLog {
    TrafficLogView view;
    explicit ShownLog(const QStringList &lines)
    {
        for (const QString &line : lines)
            view.addLine(line);
        view.resize(400, 200);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("log not shown");
    }
    void click(qint64 row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, view.rowRect(row).center());
    }
};

class TrafficLogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Rows selected with the mouse, copied, saved (a file that cannot be written says so), and
    // cleared.
    void selectCopySaveAndClear()
    {
        ShownLog log({"l0", "l1", "l2", "l3", "l4"}); // row 0 is l4
        log.click(1);
        log.click(3, Qt::ShiftModifier);
        QCOMPARE(log.view.selectedText(), QStringLiteral("l3\nl2\nl1\n"));
        log.click(2, Qt::ControlModifier);
        log.click(0, Qt::ControlModifier);
        QCOMPARE(log.view.selectedText(), QStringLiteral("l4\nl3\nl1\n"));
        log.view.addLine(QStringLiteral("l5")); // the selected rows stay selected
        log.view.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("l4\nl3\nl1\n"));
        log.view.selectAll();
        QCOMPARE(log.view.selectedText(), log.view.text());
        QTemporaryDir dir;
        QVERIFY(log.view.saveTo(dir.filePath(QStringLiteral("log.txt"))));
        QFile file(dir.filePath(QStringLiteral("log.txt")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // The first line names the program and the day, which the rows' stamps leave out.
        const QString header = QString::fromUtf8(file.readLine());
        QVERIFY2(QRegularExpression(QStringLiteral("^PORTWREN \\d+\\.\\d+ traffic log saved "
                                                   "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d "
                                                   "[+-]\\d\\d:\\d\\d\\n$"))
                     .match(header)
                     .hasMatch(),
                 qPrintable(header));
        QVERIFY(header.contains(QDate::currentDate().toString(Qt::ISODate)) ||
                QTime::currentTime() < QTime(0, 0, 1)); // the save was just before midnight
        QCOMPARE(QString::fromUtf8(file.readAll()), log.view.text());
        const QString unwritable = dir.filePath(QStringLiteral("no-such-folder/log.txt"));
        QVERIFY(!log.view.saveTo(unwritable));
        auto *message = log.view.findChild<QMessageBox *>();
        QVERIFY(message && message->isVisible() && message->text().contains(unwritable));
        message->close();
        log.view.clear();
        QVERIFY(log.view.rowCount() == 0 && log.view.selectedText().isEmpty());
        log.view.addLine(QStringLiteral("after"));
        QCOMPARE(log.view.text(), QStringLiteral("after\n"));
        QCOMPARE(log.view.currentRow(), qint64(-1));
    }

    void find_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("steps"); // N next (towards older rows), P previous
        QTest::addColumn<QList<int>>("found");
        const auto row = [](const char *name, const QString &text, const char *steps,
                            const QList<int> &found) {
            QTest::newRow(name) << text << QString::fromLatin1(steps) << found;
        };
        row("next wraps", u"wr"_s, "NNN", {0, 2, 0});
        row("previous wraps", u"WR"_s, "PPP", {2, 0, 2});
        row("full-width letters", u"ｏＮ"_s, "N", {3});
        row("Kelvin sign is a k", u"k"_s, "N", {4});
        row("not found", u"zz"_s, "NP", {-1, -1});
    }

    void find()
    {
        QFETCH(QString, text);
        QFETCH(QString, steps);
        QFETCH(QList<int>, found);
        ShownLog log({QStringLiteral("[1]\u212Aelvin"), "[2]Ｏｎ", "[3]●wr reply", "[4]  <<note>>",
                      "[5]◎WR request"});
        log.view.showFindBar();
        auto *edit = log.view.findBar()->findChild<QLineEdit *>(QStringLiteral("findText"));
        edit->setText(text);
        for (int i = 0; i < steps.size(); ++i) {
            QTest::keyClick(edit, Qt::Key_Return,
                            steps[i] == 'P' ? Qt::ShiftModifier : Qt::NoModifier);
            QCOMPARE(log.view.currentRow(), qint64(found[i]));
            QCOMPARE(log.view.findBar()->notFoundShown(), found[i] < 0);
            if (found[i] >= 0)
                QCOMPARE(log.view.selectedText(), log.view.store().row(found[i]) + '\n');
        }
    }

    void viewStaysWhereTheOperatorPutIt()
    {
        QStringList lines;
        for (int i = 0; i < 100; ++i)
            lines << QString::number(i);
        ShownLog log(lines);
        log.view.addLine(QStringLiteral("new"));
        QCOMPARE(log.view.topRow(), qint64(0)); // at the top it follows the newest line
        log.view.verticalScrollBar()->setValue(40);
        const QString shown = log.view.store().row(log.view.topRow());
        log.view.addLine(QStringLiteral("a\r\nb"));
        QCoreApplication::sendPostedEvents(); // the batch's scroll-bar update
        QCOMPARE(log.view.store().row(log.view.topRow()), shown);
        QCOMPARE(log.view.verticalScrollBar()->value(), 42);
        log.view.scrollToRow(log.view.rowCount() - 1);
        QCOMPARE(log.view.rowAt(log.view.rowRect(log.view.rowCount() - 1).center()),
                 log.view.rowCount() - 1);
    }

    // Past a limit the oldest tenth leaves at once and one note says so.
    void limitsDropTheOldestWithOneNote()
    {
        WindowFixture f;
        f.w->trafficLog()->setRowLimit(10);
        QStringList rows;
        for (int i = 0; i < 11; ++i) {
            f.session.note(NoteSource::Operator, QString::number(i));
            rows.prepend(QString::number(i));
        }
        rows = rows.mid(0, 9);
        rows.prepend(
            QStringLiteral("  <<ログが上限（10 行、1024 MB）を超えたため、古い行を 2 行削除"
                           "しました（ログを残すには右クリックメニューの Save As…）>>"));
        QCOMPARE(f.rows(), rows);
    }
};

QTEST_MAIN(TrafficLogTest)
#include "test_traffic_log.moc"
