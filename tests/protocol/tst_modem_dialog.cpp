// The modem dialog: how the dial text splits into number and password, and which frames are
// prompts (first four bytes, case-sensitive) with the note and CR LF-ended text that answer them.
#include "ActionText.h"
#include "ModemDialog.h"

#include <QTest>

class ModemDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void splitDialText_data();
    void splitDialText();
    void prompts_data();
    void prompts();
};

void ModemDialogTest::splitDialText_data()
{
    QTest::addColumn<QString>("dialText");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("password");
    QTest::newRow("no comma: default password") << "09012345678"
                                                << "09012345678"
                                                << "7395";
    QTest::newRow("empty text") << ""
                                << ""
                                << "7395";
    QTest::newRow("one comma") << "0312,abc"
                               << "0312"
                               << "abc";
    QTest::newRow("later commas belong to password") << "0312,a,b,"
                                                     << "0312"
                                                     << "a,b,";
    QTest::newRow("ending comma: empty password") << "0312,"
                                                  << "0312"
                                                  << "";
    QTest::newRow("leading comma: empty number") << ",pw"
                                                 << ""
                                                 << "pw";
}

void ModemDialogTest::splitDialText()
{
    QFETCH(QString, dialText);
    QFETCH(QString, number);
    QFETCH(QString, password);
    const DialText dial = ::splitDialText(dialText);
    QCOMPARE(dial.number, number);
    QCOMPARE(dial.password, password);
}

void ModemDialogTest::prompts_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("dialText");
    QTest::addColumn<LineActions>("expected");

    const auto call = [](const QString &number, const QByteArray &sentNumber) {
        return LineActions{logged("  <<OKを受信したのでCALL[" + number + "]>>"),
                           sent("ATD" + sentNumber + "\r\n")};
    };
    const auto password = [](const QString &shown, const QByteArray &bytes) {
        return LineActions{logged("  <<@PWDを受信したのでパスワード「" + shown + "」を送信>>"),
                           sent(bytes + "\r\n")};
    };
    const LineActions dat{
        logged(QStringLiteral("  <<@HOWを受信したのでデータ送信要求「DAT」を送信>>")),
        sent("DAT\r\n")};

    QTest::newRow("OK dials the number")
        << QByteArray("OK\r\n") << "09012345678" << call("09012345678", "09012345678");
    QTest::newRow("OK dials the part before the comma")
        << QByteArray("OK\r\n") << "0312,pw" << call("0312", "0312");
    QTest::newRow("OK with empty dial text") << QByteArray("OK\r\n") << "" << call("", "");
    QTest::newRow("OK then more bytes") << QByteArray("OK\r\nxyz") << "1" << call("1", "1");
    QTest::newRow("@PWD default password")
        << QByteArray("@PWD\r\n") << "09012345678" << password("7395", "7395");
    QTest::newRow("@PWD with commas in password")
        << QByteArray("@PWD\r\n") << "0312,a,b" << password("a,b", "a,b");
    QTest::newRow("@PWD empty password") << QByteArray("@PWD\r\n") << "0312," << password("", "");
    QTest::newRow("@PWD Japanese password in CP932")
        << QByteArray("@PWD\r\n") << "0312,パス" << password("パス", "\x83\x70\x83\x58");
    QTest::newRow("@PWD under CR") << QByteArray("@PWD\r") << "1" << password("7395", "7395");
    QTest::newRow("@PWD followed by text")
        << QByteArray("@PWD please") << "1" << password("7395", "7395");
    QTest::newRow("@HOW by time") << QByteArray("@HOW") << "1" << dat;
    QTest::newRow("OK CR is only three bytes") << QByteArray("OK\r") << "1" << LineActions{};
    QTest::newRow("OK by time has no CR LF") << QByteArray("OK") << "1" << LineActions{};
    QTest::newRow("CR LF alone") << QByteArray("\r\n") << "1" << LineActions{};
    QTest::newRow("lower-case ok") << QByteArray("ok\r\n") << "1" << LineActions{};
    QTest::newRow("OK then a blank") << QByteArray("OK \r\n") << "1" << LineActions{};
    QTest::newRow("@pwd lower case") << QByteArray("@pwd\r\n") << "1" << LineActions{};
}

void ModemDialogTest::prompts()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, dialText);
    QFETCH(LineActions, expected);
    QCOMPARE(actionText(answerModemPrompt(frame, dialText)), actionText(expected));
}

QTEST_GUILESS_MAIN(ModemDialogTest)
#include "tst_modem_dialog.moc"
