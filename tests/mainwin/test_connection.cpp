// Opening, closing and ending, and the transmit buttons, against a scripted line: the order
// in which the serial control is set, the exact bytes on the line, and the log lines.
#include "RegisterMemory.h"
#include "WindowFixture.h"
#include "frm_Help.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString Open = QStringLiteral("----- OPEN  ----- Protcol=");
}

class ConnectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openAndClose();
    void modeStepsAtOpen();
    void failedOpenAndLostPort();
    void endClosesAndEnds();
    void transmitButtons_data();
    void transmitButtons();
    void sendInComputerLinkModes();
    void nothingGoesOutWhileClosed();
    void helpWindowIsSingle();
};

void ConnectionTest::openAndClose()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    w.Text1->setText(QStringLiteral(" 4800,N,8,1 "));
    QTest::mouseClick(w.btnOpen, Qt::LeftButton);
    QCOMPARE(f.port->calls, QStringList({"InputLen=0", "RThreshold=1", "RTSEnable=true",
                                         "Settings= 4800,N,8,1 ", "SThreshold=1", "PortOpen=true"}));
    QCOMPARE(w.OpenFlag, 1);
    QVERIFY(!w.btnOpen->isEnabled() && w.btnClose->isEnabled() && !w.Option2[5]->isEnabled());
    f.port->cts = true;
    w.Timer1_Timer(); // the line monitor shows RTS (raised by the open) and CTS at the next tick
    QCOMPARE(w.lbl_rts->text() + w.lbl_cts->text() + w.lbl_cd->text(), QStringLiteral("◎◎○"));
    QTest::mouseClick(w.btnClose, Qt::LeftButton);
    QCOMPARE(w.OpenFlag, 0);
    QVERIFY(w.btnOpen->isEnabled() && !w.btnClose->isEnabled() && w.Option2[5]->isEnabled());
    // A blank settings text keeps the port's settings and still shows in the OPEN line.
    w.Text1->setText(QStringLiteral("  "));
    f.port->calls.clear();
    w.btnOpen_Click();
    QVERIFY(!f.port->calls.join(QLatin1Char(' ')).contains(QStringLiteral("Settings")));
    QCOMPARE(f.log(), QStringList({Open + QStringLiteral("  "), QStringLiteral("----- CLOSE -----"),
                                   Open + QStringLiteral(" 4800,N,8,1 ")}));
}

void ConnectionTest::modeStepsAtOpen()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    clickOption(w.Option1[1]); // prGPS: the note, then "AT" CR LF above it
    w.btnOpen_Click();
    QCOMPARE(f.port->written, QList<QByteArray>({QByteArray("AT\r\n")}));
    QCOMPARE(f.log(), QStringList({QStringLiteral("◎AT"), QString(),
                                   QStringLiteral("  <<prGPS用モデム初期化＆CALL>>"),
                                   Open + QStringLiteral("9600,N,8,1")}));
    const QList<QPair<int, QString>> opens = {{5, "0004"}, {4, "0004"}, {3, "0000"}};
    for (const auto &[mode, d102] : opens) { // vehicle preset, none, rack preset
        w.btnClose_Click();
        clickOption(w.Option1[mode]);
        w.btnOpen_Click();
        QCOMPARE(registerMemory().word(102), d102);
    }
    QCOMPARE(f.port->written.size(), 1);
}

void ConnectionTest::failedOpenAndLostPort()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    clickOption(w.Option1[1]);
    f.port->failNextOpen(QStringLiteral("/dev/ttyS0: No such file or directory"));
    w.btnOpen_Click();
    QCOMPARE(w.OpenFlag, 0);
    QVERIFY(w.btnOpen->isEnabled() && w.Option2[0]->isEnabled() && f.port->written.isEmpty());
    QCOMPARE(f.log(), QStringList({"  <<OPENできません: /dev/ttyS0: No such file or directory>>"}));

    w.btnOpen_Click();
    f.port->loseLine(QStringLiteral("device removed"));
    QCoreApplication::processEvents();
    QCOMPARE(w.OpenFlag, 0);
    QVERIFY(w.btnOpen->isEnabled() && !w.btnClose->isEnabled());
    QCOMPARE(f.log().mid(0, 2), QStringList({"----- CLOSE -----",
                                             "  <<ポートが切断されました: device removed>>"}));
}

void ConnectionTest::endClosesAndEnds()
{
    WindowFixture closed;
    closed.w->btnEnd_Click();
    QVERIFY(closed.terminated && closed.port->calls.isEmpty()); // a closed port is not touched

    WindowFixture f;
    f.w->btnOpen_Click();
    frm_Help::openWindow();
    f.w->close(); // the title bar's close ends the program as END does
    QVERIFY(f.terminated && !f.port->portOpen());
    QCOMPARE(f.log().size(), 1); // no line about it
    QCoreApplication::processEvents();
    QVERIFY(!frm_Help::current());
}

void ConnectionTest::transmitButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("STX+ETX") << "btnSTX" << false << QByteArray("\x02" "A\x82\xA0\x03")
                             << QStringList{"　<<STX+TEXT+ETX>>", "◎\x02" "Aあ\x03"};
    QTest::newRow("CR+LF, hex shows both bytes of あ")
        << "btnCRLF" << true << QByteArray("A\x82\xA0\r\n")
        << QStringList{"　<<TEXT+CRLF>>", "　41 82 A0 0D 0A ", "◎Aあ", ""};
    QTest::newRow("ACK hex") << "btnACK" << true << QByteArray("\x06")
                             << QStringList{"　<<ACK>>", "　06 ", "◎\x06"};
    QTest::newRow("SEND in NONE") << "btnSEND" << false << QByteArray("A\x82\xA0")
                                  << QStringList{"　<<TEXT>>", "◎Aあ"};
}

void ConnectionTest::transmitButtons()
{
    QFETCH(QString, button);
    QFETCH(bool, hex);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, log);
    WindowFixture f;
    f.w->btnOpen_Click();
    f.w->Text2->setText(QStringLiteral("Aあ"));
    f.w->Option4[hex ? 0 : 1]->setChecked(true);
    QTest::mouseClick(f.w->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(f.port->writtenBytes(), sent);
    QCOMPARE(f.log(), log + QStringList{Open + QStringLiteral("9600,N,7,1")});
}

void ConnectionTest::sendInComputerLinkModes()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    clickOption(w.Option1[3]);
    w.btnOpen_Click();
    w.Text2->setText(QStringLiteral("000000WR00003202"));
    w.btnSEND_Click(); // by time: no terminator
    QCOMPARE(f.port->written.last(), QByteArray("\x05" "000000WR0000320250"));
    QCOMPARE(f.log().mid(0, 2), QStringList({"◎\x05" "000000WR0000320250", "  <<ENQを付加して送信>>"}));
    clickOption(w.Option3[0]);
    w.Text2->clear();
    w.btnSEND_Click(); // empty text: ENQ, "00", CR LF
    QCOMPARE(f.port->written.last(), QByteArray("\x05" "00\r\n"));
}

void ConnectionTest::nothingGoesOutWhileClosed()
{
    WindowFixture f;
    f.w->Text2->setText(QStringLiteral("AB"));
    for (QPushButton *b : {f.w->btnSTX, f.w->btnCRLF, f.w->btnCR, f.w->btnACK, f.w->btnNAK,
                           f.w->btnEOT, f.w->btnSEND})
        QTest::mouseClick(b, Qt::LeftButton);
    QVERIFY(f.port->written.isEmpty() && f.log().isEmpty());
    // An echo with the port closed: a note, not a sent line.
    f.w->FrameProc(QByteArray("AB"));
    QVERIFY(f.port->written.isEmpty());
    QCOMPARE(f.log(), QStringList({"  <<ポートが閉じているため送信しませんでした: AB>>", "●AB"}));
}

void ConnectionTest::helpWindowIsSingle()
{
    WindowFixture f;
    QTest::mouseClick(f.w->btnHelp, Qt::LeftButton);
    frm_Help *first = frm_Help::current();
    QTest::mouseClick(f.w->btnHelp, Qt::LeftButton);
    QVERIFY(first && first->isVisible() && frm_Help::current() == first);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frm_Help::current());
    QTest::mouseClick(f.w->btnHelp, Qt::LeftButton);
    QVERIFY(frm_Help::current() && frm_Help::current()->isVisible());
    frm_Help::closeWindow();
}

QTEST_MAIN(ConnectionTest)
#include "test_connection.moc"
