// SPDX-License-Identifier: MIT
// The traffic log's store on its own: the rows a line becomes, and the row and byte limits
// keeping the newest rows, whole and in order, within the memory allowed, whatever the rows'
// lengths.
#include "ui/log/TrafficLogStore.h"

#include <QBuffer>
#include <QTest>

// The line logged n-th, of the given length: its number, then a hex digit repeated, as the
// hex dump of a long reception looks.
static QString numberedLine(qint64 n, int length)
{
    return QStringLiteral("●%1 ").arg(n).leftJustified(length,
                                                       QLatin1Char("0123456789ABCDEF"[n % 16]));
}

class LogStoreTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rowsOfALine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("rows"); // newest first, then the older line "old"
        QTest::newRow("plain") << "a" << QStringList{"a"};
        QTest::newRow("empty") << "" << QStringList{""};
        QTest::newRow("CR LF at the end") << "◎AB\r\n" << QStringList{"◎AB", ""};
        QTest::newRow("CR, LF and CR LF") << "a\rb\nc\r\nd" << QStringList{"a", "b", "c", "d"};
        QTest::newRow("LF CR is two ends") << "a\n\rb" << QStringList{"a", "", "b"};
        QTest::newRow("controls and kana pass through")
            << QStringLiteral("x") + QChar(0) + QChar(2) + QStringLiteral("ｱ€\U0001F600")
            << QStringList{QStringLiteral("x") + QChar(0) + QChar(2) +
                           QStringLiteral("ｱ€\U0001F600")};
    }

    void rowsOfALine()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, rows);
        TrafficLogStore store;
        store.addLine(u"old");
        QCOMPARE(store.addLine(line).rows, qint64(rows.size()));
        rows << QStringLiteral("old");
        QCOMPARE(store.rowCount(), qint64(rows.size()));
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(store.row(i), rows[i]);
        QCOMPARE(QString::fromUtf8(store.utf8Text(0, store.rowCount() - 1)),
                 rows.join('\n') + '\n');
    }

    void limitsKeepTheNewestRows_data()
    {
        QTest::addColumn<qint64>("rowLimit");
        QTest::addColumn<qint64>("byteLimit");
        QTest::addColumn<QList<int>>("lengths"); // of the lines in turn, over and over
        QTest::addColumn<int>("lines");
        QTest::newRow("short lines past the row limit")
            << qint64(10'000) << TrafficLogStore::DefaultByteLimit << QList<int>{12} << 12'000;
        QTest::newRow("short lines past a small byte limit")
            << qint64(1000) << qint64(1024) << QList<int>{50} << 40;
        QTest::newRow("lines of 3 MB")
            << TrafficLogStore::DefaultRowLimit << qint64(16 << 20) << QList<int>{3'000'000} << 20;
        QTest::newRow("lines of 30 kB between short ones")
            << TrafficLogStore::DefaultRowLimit << qint64(4 << 20) << QList<int>{30'000, 20, 20}
            << 600;
    }

    // Past a limit the oldest rows leave down to nine tenths of it, the memory the store holds
    // never passes the byte limit, and every row kept reads back whole, in the view and saved.
    void limitsKeepTheNewestRows()
    {
        QFETCH(qint64, rowLimit);
        QFETCH(qint64, byteLimit);
        QFETCH(QList<int>, lengths);
        QFETCH(int, lines);
        const auto line = [&](qint64 n) { return numberedLine(n, lengths[n % lengths.size()]); };
        TrafficLogStore store(rowLimit, byteLimit);
        qint64 dropped = 0, trims = 0;
        for (int n = 0; n < lines; ++n) {
            const TrafficLogStore::Added added = store.addLine(line(n));
            QCOMPARE(added.rows, qint64(1));
            QVERIFY2(store.allocatedBytes() <= byteLimit, qPrintable(QString::number(n)));
            if (added.dropped) {
                QVERIFY(store.allocatedBytes() <= byteLimit - byteLimit / 10);
                QVERIFY(store.rowCount() <= rowLimit - rowLimit / 10);
            }
            dropped += added.dropped;
            trims += added.dropped > 0;
        }
        QVERIFY(trims >= 2 && store.rowCount() > 0);
        QCOMPARE(store.rowCount() + dropped, qint64(lines));
        QByteArray saved;
        for (qint64 index = 0; index < store.rowCount(); ++index) {
            const QString expected = line(lines - 1 - index);
            QCOMPARE(store.row(index), expected);
            saved += expected.toUtf8() + '\n';
        }
        QVERIFY(store.allocatedBytes() >= saved.size() - store.rowCount()); // the text is counted
        QCOMPARE(store.utf8Text(0, store.rowCount() - 1), saved);
        QBuffer file;
        QVERIFY(file.open(QIODevice::WriteOnly) && store.write(file));
        QCOMPARE(file.data(), saved);
    }
};

QTEST_GUILESS_MAIN(LogStoreTest)
#include "test_log_store.moc"
