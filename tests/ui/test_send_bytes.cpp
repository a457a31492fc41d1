// SPDX-License-Identifier: MIT
// "Send bytes…" without a window: an entry read into bytes, or the first problem named (a
// character that is not a hexadecimal digit, a group of digits of odd count, nothing, too
// much), and the entries remembered, newest first, each once, ten at most.
#include "ui/ByteEntry.h"

#include <QTest>

using namespace Qt::StringLiterals;

class SendBytesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void entries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // what is sent, when the entry reads
        QTest::addColumn<QString>("problem");  // the start of the problem named, else empty
        const auto row = [](const char *name, const QString &text, const QByteArray &bytes,
                            const QString &problem = {}) {
            QTest::newRow(name) << text << bytes << problem;
        };
        row("pairs with blanks", u"05 30 30 57 52"_s,
            "\x05"
            "00WR"_ba);
        row("pairs run together, any case, blanks around", u"\t0a0B ff00 \u3000"_s,
            "\x0a\x0b\xff\x00"_ba);
        row("every byte value", u"00 7F 80 FF"_s, "\x00\x7f\x80\xff"_ba);
        row("an odd group", u"05 030 30"_s, {}, u"030 has an odd number of digits"_s);
        row("an odd group at the end", u"0530 5"_s, {}, u"5 has an odd number of digits"_s);
        row("a long odd group is named by its start", QString(21, u'a'), {},
            u"aaaaaaaaaaaa… has an odd number"_s);
        row("a letter beyond F", u"05 3G"_s, {}, u"'G' (character 5) is not a hexadecimal digit"_s);
        row("a prefix", u"0x05"_s, {}, u"'x' (character 2)"_s);
        row("a full-width digit", u"０５"_s, {},
            u"'０' (character 1) is not a hexadecimal digit"_s);
        row("a control character", u"05\x01"_s, {}, u"U+0001 (character 3)"_s);
        row("a wrong character before an odd group", u"5 z"_s, {}, u"5 has an odd number"_s);
        row("nothing", u"  "_s, {}, u"no bytes"_s);
        row("the most at a time", QString(2 * MaximumEntryBytes, u'0'),
            QByteArray(MaximumEntryBytes, '\0'));
        row("one more", QString(2 * MaximumEntryBytes + 2, u'0'), {},
            u"4097 bytes: at most 4096 at a time"_s);
    }

    void entries()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        const ByteEntry entry = readByteEntry(text);
        QVERIFY2(entry.problem.startsWith(problem) && entry.problem.isEmpty() == problem.isEmpty(),
                 qPrintable(entry.problem));
        QCOMPARE(entry.bytes, bytes);
        if (entry.reads()) // written back, it reads as the same bytes
            QCOMPARE(readByteEntry(byteEntryText(bytes)).bytes, bytes);
    }

    void history()
    {
        SentBytesHistory history({u"05 30"_s, u"not bytes"_s, u"0d0a"_s, u"05 30"_s});
        QCOMPARE(history.entries(), QStringList({"05 30", "0D 0A"}));
        history.remember("\r\n");
        QCOMPARE(history.entries(), QStringList({"0D 0A", "05 30"}));
        for (char c = 'a'; c < 'a' + SentBytesHistory::Size; ++c)
            history.remember(QByteArray(1, c));
        QCOMPARE(history.entries().size(), SentBytesHistory::Size);
        QCOMPARE(history.entries().first(), u"6A"_s);
        QCOMPARE(history.entries().last(), u"61"_s);
        QCOMPARE(SentBytesHistory(history.entries()).entries(), history.entries());
    }
};

QTEST_GUILESS_MAIN(SendBytesTest)
#include "test_send_bytes.moc"
