// Opening, closing and ending, and the transmit buttons, against a scripted line: the order
// in which the serial control is set, the exact bytes on the line, and the log lines.
#include "RegisterMemory.h"
#include "SimMode.h"
#include "WindowFixture.h"
#include "frm_Help.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {
const QString Open = QStringLiteral("----- OPEN  ----- Protcol=");
}

class ConnectionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openSetsTheControlInOrder();
    void blankAndPaddedSettings();
    void openAndCloseStates();
    void modeStepsAtOpen();
    void failedOpenStaysClosed();
    void lostPortGoesClosed();
    void endClosesAndEnds();
    void transmitButtons_data();
    void transmitButtons();
    void sendInComputerLinkModes();
    void buttonsDoNothingWhileClosed();
    void sendOnAClosedPortIsANote();
    void helpWindowIsSingle();
};

void ConnectionTest::openSetsTheControlInOrder()
{
    WindowFixture f;
    QTest::mouseClick(f.w->btnOpen, Qt::LeftButton);
    QCOMPARE(f.port->calls,
             QStringList({"InputLen=0", "RThreshold=1", "RTSEnable=true", "Settings=9600,N,7,1",
                          "SThreshold=1", "PortOpen=true"}));
    QCOMPARE(f.log(), QStringList({Open + QStringLiteral("9600,N,7,1")}));
}

void ConnectionTest::blankAndPaddedSettings()
{
    WindowFixture f;
    f.w->Text1->setText(QStringLiteral("   "));
    f.w->btnOpen_Click();
    QVERIFY(!f.port->calls.join(QLatin1Char(' ')).contains(QStringLiteral("Settings=")));
    QCOMPARE(f.log().value(0), Open + QStringLiteral("   "));
    f.w->btnClose_Click();
    f.w->Text1->setText(QStringLiteral(" 4800,N,8,1 "));
    f.w->btnOpen_Click();
    QVERIFY(f.port->calls.contains(QStringLiteral("Settings= 4800,N,8,1 ")));
}

void ConnectionTest::openAndCloseStates()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    w.btnOpen_Click();
    QCOMPARE(w.OpenFlag, 1);
    QVERIFY(!w.btnOpen->isEnabled() && w.btnClose->isEnabled());
    for (QRadioButton *port : w.Option2)
        QVERIFY(!port->isEnabled());
    // A mode change while open changes the box, not the open port; the next OPEN shows it.
    clickOption(w.Option1[2]);
    QVERIFY(!f.port->calls.join(QLatin1Char(' ')).contains(QStringLiteral("4800")));
    w.btnClose_Click();
    QCOMPARE(w.OpenFlag, 0);
    QVERIFY(!f.port->portOpen());
    QVERIFY(w.btnOpen->isEnabled() && !w.btnClose->isEnabled());
    for (QRadioButton *port : w.Option2)
        QVERIFY(port->isEnabled());
    w.btnOpen_Click();
    QCOMPARE(f.log().value(0), Open + QStringLiteral("4800,N,8,1"));
    QCOMPARE(f.log().value(1), QStringLiteral("----- CLOSE -----"));
}

void ConnectionTest::modeStepsAtOpen()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    // prGPS: the note, then "AT" CR LF; newest first the sent line stands on top.
    clickOption(w.Option1[1]);
    w.Text2->setText(QStringLiteral("whatever"));
    w.btnOpen_Click();
    QCOMPARE(f.port->written, QList<QByteArray>({QByteArray("AT\r\n")}));
    QCOMPARE(f.log(), QStringList({QStringLiteral("◎AT"), QString(),
                                   QStringLiteral("  <<prGPS用モデム初期化＆CALL>>"),
                                   Open + QStringLiteral("9600,N,8,1")}));
    w.btnClose_Click();
    // Vehicle preset, then rack preset; "ラックERR" leaves the memory alone.
    registerMemory().setWord(32, QStringLiteral("0099"));
    clickOption(w.Option1[5]);
    w.btnOpen_Click();
    QCOMPARE(registerMemory().word(32), QStringLiteral("0000"));
    QCOMPARE(registerMemory().word(102), QStringLiteral("0004"));
    w.btnClose_Click();
    clickOption(w.Option1[4]);
    w.btnOpen_Click();
    QCOMPARE(registerMemory().word(102), QStringLiteral("0004"));
    w.btnClose_Click();
    clickOption(w.Option1[3]);
    w.btnOpen_Click();
    QCOMPARE(registerMemory().word(102), QStringLiteral("0000"));
    QCOMPARE(registerMemory().word(33), QStringLiteral("0001"));
    QCOMPARE(f.port->written.size(), 1); // only prGPS sends anything at open
}

void ConnectionTest::failedOpenStaysClosed()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    clickOption(w.Option1[1]);
    f.port->failNextOpen(QStringLiteral("/dev/ttyS0: No such file or directory"));
    w.btnOpen_Click();
    QCOMPARE(w.OpenFlag, 0);
    QVERIFY(w.btnOpen->isEnabled() && !w.btnClose->isEnabled());
    QVERIFY(w.Option2[0]->isEnabled());
    QVERIFY(f.port->written.isEmpty()); // no modem step
    QCOMPARE(f.log(), QStringList({QStringLiteral(
                          "  <<OPENできません: /dev/ttyS0: No such file or directory>>")}));
}

void ConnectionTest::lostPortGoesClosed()
{
    WindowFixture f;
    frm_PORTWREN &w = *f.w;
    w.btnOpen_Click();
    f.port->loseLine(QStringLiteral("device removed"));
    QCoreApplication::processEvents();
    QCOMPARE(w.OpenFlag, 0);
    QVERIFY(w.btnOpen->isEnabled() && !w.btnClose->isEnabled());
    QCOMPARE(f.log().mid(0, 2),
             QStringList({QStringLiteral("----- CLOSE -----"),
                          QStringLiteral("  <<ポートが切断されました: device removed>>")}));
    // The same open works again afterwards.
    w.btnOpen_Click();
    QCOMPARE(w.OpenFlag, 1);
}

void ConnectionTest::endClosesAndEnds()
{
    WindowFixture f;
    f.w->btnOpen_Click();
    frm_Help::openWindow();
    const int lines = f.log().size();
    f.w->btnEnd_Click();
    QVERIFY(f.terminated);
    QVERIFY(!f.port->portOpen());
    QCOMPARE(f.port->calls.last(), QStringLiteral("PortOpen=false"));
    QCOMPARE(f.log().size(), lines); // END writes no line
    QCoreApplication::processEvents();
    QVERIFY(!frm_Help::current());

    WindowFixture closed;
    closed.w->btnEnd_Click();
    QVERIFY(closed.terminated);
    QVERIFY(closed.port->calls.isEmpty()); // a closed port is not touched
}

void ConnectionTest::transmitButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("log");
    const QString ideo = QStringLiteral("　");
    QTest::newRow("STX+ETX") << "btnSTX" << false << QByteArray("\x02" "AB\x03")
                             << QStringList{"　<<STX+TEXT+ETX>>", "◎\x02" "AB\x03"};
    QTest::newRow("CR+LF hex") << "btnCRLF" << true << QByteArray("AB\r\n")
                               << QStringList{"　<<TEXT+CRLF>>", ideo + "41 42 0D 0A ", "◎AB", ""};
    QTest::newRow("CR") << "btnCR" << false << QByteArray("AB\r")
                        << QStringList{"　<<TEXT+CR>>", "◎AB", ""};
    QTest::newRow("ACK hex") << "btnACK" << true << QByteArray("\x06")
                             << QStringList{"　<<ACK>>", ideo + "06 ", "◎\x06"};
    QTest::newRow("NAK") << "btnNAK" << false << QByteArray("\x15")
                         << QStringList{"　<<NAK>>", "◎\x15"};
    QTest::newRow("EOT") << "btnEOT" << false << QByteArray("\x04")
                         << QStringList{"　<<EOT>>", "◎\x04"};
    QTest::newRow("SEND in NONE") << "btnSEND" << false << QByteArray("AB")
                                  << QStringList{"　<<TEXT>>", "◎AB"};
}

void ConnectionTest::transmitButtons()
{
    QFETCH(QString, button);
    QFETCH(bool, hex);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, log);
    WindowFixture f;
    f.w->btnOpen_Click();
    f.w->Text2->setText(QStringLiteral("AB"));
    f.w->Option4[hex ? 0 : 1]->setChecked(true);
    QTest::mouseClick(f.w->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(f.port->writtenBytes(), sent);
    QCOMPARE(f.log().mid(0, log.size()), log);
    QCOMPARE(f.log().size(), log.size() + 1); // and the OPEN line below
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
    QCOMPARE(f.log().mid(0, 2), QStringList({QStringLiteral("◎\x05" "000000WR0000320250"),
                                              QStringLiteral("  <<ENQを付加して送信>>")}));
    clickOption(w.Option3[0]);
    w.Text2->clear();
    w.btnSEND_Click(); // empty text: ENQ, "00", CR LF
    QCOMPARE(f.port->written.last(), QByteArray("\x05" "00\r\n"));
    // A double-byte character goes out in code page 932 and its sum counts its trail byte.
    clickOption(w.Option1[5]);
    w.Option4[0]->setChecked(true);
    w.Text2->setText(QStringLiteral("あ"));
    w.btnSEND_Click();
    QCOMPARE(f.port->written.last(), QByteArray("\x05\x82\xA0" "A0"));
    QCOMPARE(f.log().value(0), QStringLiteral("　05 82 A0 41 30 "));
}

void ConnectionTest::buttonsDoNothingWhileClosed()
{
    WindowFixture f;
    f.w->Text2->setText(QStringLiteral("AB"));
    for (QPushButton *b : {f.w->btnSTX, f.w->btnCRLF, f.w->btnCR, f.w->btnACK, f.w->btnNAK,
                           f.w->btnEOT, f.w->btnSEND})
        QTest::mouseClick(b, Qt::LeftButton);
    QVERIFY(f.port->written.isEmpty());
    QVERIFY(f.log().isEmpty());
}

void ConnectionTest::sendOnAClosedPortIsANote()
{
    WindowFixture f;
    f.w->FrameProc(QByteArray("AB")); // an echo with the port closed
    QVERIFY(f.port->written.isEmpty());
    QCOMPARE(f.log().value(0), QStringLiteral("  <<ポートが閉じているため送信しませんでした: AB>>"));
    QCOMPARE(f.log().value(1), QStringLiteral("●AB"));
}

void ConnectionTest::helpWindowIsSingle()
{
    WindowFixture f;
    QTest::mouseClick(f.w->btnHelp, Qt::LeftButton);
    frm_Help *first = frm_Help::current();
    QVERIFY(first && first->isVisible());
    QTest::mouseClick(f.w->btnHelp, Qt::LeftButton);
    QCOMPARE(frm_Help::current(), first);
    const QWidgetList tops = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(tops.begin(), tops.end(),
                           [](QWidget *w) { return qobject_cast<frm_Help *>(w) != nullptr; }),
             1);
    first->close();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frm_Help::current());
    QTest::mouseClick(f.w->btnHelp, Qt::LeftButton);
    QVERIFY(frm_Help::current() && frm_Help::current()->isVisible());
    QCOMPARE(frm_Help::current()->findChild<QWidget *>(QStringLiteral("Label5"))->geometry(),
             QRect(6, 80, 295, 13));
    frm_Help::closeWindow();
}

QTEST_MAIN(ConnectionTest)
#include "test_connection.moc"
