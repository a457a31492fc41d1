// The traffic log: newest line first, "[time]" + text, embedded line ends, CLR; and the sum
// check that the main window offers.
#include "WindowFixture.h"

#include <QPushButton>
#include <QTest>

class LogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newestLineFirstWithStamps();
    void embeddedLineEndsAndEmptyText();
    void clrEmptiesTheLog();
    void bytesThatDoNotDecodeStillShow();
    void sumCheckOfTheWindow();
};

void LogTest::newestLineFirstWithStamps()
{
    WindowFixture f;
    f.clock.setTimeOfDay(QStringLiteral("09:00:01"));
    f.w->DPrint(QStringLiteral("first"));
    f.w->DPrint(QStringLiteral("second"));
    f.clock.setTimeOfDay(QStringLiteral("23:59:59"));
    f.w->DPrint(QStringLiteral("  <<note>>"));
    QCOMPARE(f.w->RText->toPlainText(),
             QStringLiteral("[23:59:59]  <<note>>\n[09:00:01]second\n[09:00:01]first\n"));
}

void LogTest::embeddedLineEndsAndEmptyText()
{
    WindowFixture f;
    f.w->DPrint(QString());
    f.w->DPrint(QStringLiteral("◎AB\r\n"));
    f.w->DPrint(QStringLiteral("x\ry"));
    QCOMPARE(f.log(), QStringList({QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("◎AB"),
                                   QString(), QString()}));
    QVERIFY(f.w->RText->toPlainText().endsWith(QStringLiteral("[12:34:56]\n")));
}

void LogTest::clrEmptiesTheLog()
{
    WindowFixture f;
    f.w->DPrint(QStringLiteral("old"));
    QTest::mouseClick(f.w->btnClr, Qt::LeftButton);
    QCOMPARE(f.w->RText->toPlainText(), QString());
    f.w->DPrint(QStringLiteral("new"));
    QCOMPARE(f.log(), QStringList({QStringLiteral("new")}));
}

void LogTest::bytesThatDoNotDecodeStillShow()
{
    WindowFixture f;
    // Control characters and a NUL stay in the line; nothing after them is lost.
    f.w->DPrint(QStringLiteral("◎") + QChar(0x02) + QChar(0x00) + QStringLiteral("A") + QChar(0x03));
    const QString line = f.log().value(0);
    QCOMPARE(line.size(), 5);
    QVERIFY(line.endsWith(QStringLiteral("A") + QChar(0x03)));
}

void LogTest::sumCheckOfTheWindow()
{
    WindowFixture f;
    QCOMPARE(f.w->FCS("000000WR00003202"), QByteArray("50"));
    QCOMPARE(f.w->FCS(QByteArray()), QByteArray("00"));
}

QTEST_MAIN(LogTest)
#include "test_log.moc"
