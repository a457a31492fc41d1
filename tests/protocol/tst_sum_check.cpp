// The sum check (two upper-case hex digits of the low byte of the character-code sum, a
// double-byte character counting by its trail byte) and the hexadecimal dump of log lines.
#include "SumCheck.h"

#include <QTest>

class SumCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void fcs_data();
    void fcs();
    void hexDumpShowsEveryByte_data();
    void hexDumpShowsEveryByte();
};

void SumCheckTest::fcs_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("sum");
    QTest::newRow("empty") << QByteArray() << QByteArray("00");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("26");
    QTest::newRow("request body") << QByteArray("000000WR00003202") << QByteArray("50");
    QTest::newRow("leading zero") << QByteArray("\x0F") << QByteArray("0F");
    QTest::newRow("double-byte counts its trail byte")
        << QByteArray("\x82\xA0") << QByteArray("A0");
    QTest::newRow("ASCII then double-byte") << QByteArray("A\x82\xA0") << QByteArray("E1");
    QTest::newRow("letters are upper case") << QByteArray("\xAB") << QByteArray("AB");
    QTest::newRow("1000 single bytes") << QByteArray(1000, 'z') << QByteArray("90");
    QTest::newRow("300 double-byte chars")
        << QByteArray("\x9F\xFC").repeated(300) << QByteArray("50");
}

// 1000 x 7Ah = 1DC90h and 300 x FCh = 12AD0h both leave 16 bits; the sum must still be right.
void SumCheckTest::fcs()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, sum);
    QCOMPARE(FCS(text), sum);
}

void SumCheckTest::hexDumpShowsEveryByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("dump");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("AT CR LF") << QByteArray("AT\r\n") << QStringLiteral("41 54 0D 0A ");
    QTest::newRow("both bytes of a double-byte char")
        << QByteArray("\x82\xA0") << QStringLiteral("82 A0 ");
    QTest::newRow("NUL and FF") << QByteArray("\x00\xFF", 2) << QStringLiteral("00 FF ");
}

void SumCheckTest::hexDumpShowsEveryByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, dump);
    QCOMPARE(hexDump(bytes), dump);
}

QTEST_GUILESS_MAIN(SumCheckTest)
#include "tst_sum_check.moc"
