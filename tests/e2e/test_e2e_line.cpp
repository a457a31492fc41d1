// SPDX-License-Identifier: MIT
// The program end to end over a virtual line: a host program on the far end receives the
// exact bytes of the transmit buttons, gets every byte value echoed, and plays a rack transport
// handshake with the data window in Auto. Register reads and writes under every frame end are
// the soak test's; a lost device, the run without windows.
#include "LineFixture.h"
#include "protocol/SumCheck.h"
#include "ui/RegisterWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

class EndToEndTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void transmitCommandsReachTheHost();
    void echoOfEveryByteValue();
    void rackHandshakeWithTheDataWindow();
};

void EndToEndTest::transmitCommandsReachTheHost()
{
    LineFixture f;
    QVERIFY(f.open(SimMode::PrGps));
    QCOMPARE(f.receive(4), QByteArray("AT\r\n"));
    f.control<QLineEdit>("Text2")->setText(QStringLiteral("Aあ"));
    const QList<QPair<const char *, QByteArray>> buttons = {
        {"btnSTX", QByteArray("\x02"
                              "A\x82\xA0\x03")},
        {"btnCRLF", QByteArray("A\x82\xA0\r\n")},
        {"btnCR", QByteArray("A\x82\xA0\r")},
        {"btnACK", QByteArray("\x06")},
        {"btnNAK", QByteArray("\x15")},
        {"btnEOT", QByteArray("\x04")},
        {"btnSEND", QByteArray("A\x82\xA0")},
    };
    for (const auto &[button, bytes] : buttons) {
        QTest::mouseClick(f.control<QPushButton>(button), Qt::LeftButton);
        QCOMPARE(f.receive(bytes.size()), bytes);
    }
}

void EndToEndTest::echoOfEveryByteValue()
{
    LineFixture f;
    f.control<QLineEdit>("Text3")->setText(QStringLiteral("50"));
    QVERIFY(f.open(SimMode::None));
    const QByteArray all = allByteValues();
    f.host->send(all);
    QCOMPARE(f.receive(256), all);
}

void EndToEndTest::rackHandshakeWithTheDataWindow()
{
    LineFixture f;
    f.control<QLineEdit>("Text3")->setText(QStringLiteral("20"));
    QVERIFY(f.open(SimMode::Rack));
    QRadioButton *rack = f.control<QRadioButton>("Option1_3");
    QTest::mouseDClick(rack, Qt::LeftButton, {}, QPoint(6, rack->height() / 2));
    RegisterWindow *data = f.w->registerWindow();
    QVERIFY(data);
    f.session->setHandshakeTicking(TickPlayer::DataWindow,
                                   false); // the test drives the one-second tick
    QTest::mouseClick(data->findChild<QRadioButton *>("Option1"), Qt::LeftButton, {}, QPoint(6, 7));

    const auto write = [&](const QByteArray &fields) {
        const QByteArray body = "000000WW" + fields;
        f.host->send("\x05" + body + sumCheck(body));
        QCOMPARE(f.receive(7), QByteArray("\x06"
                                          "000000"));
    };
    const auto d33 = [&] {
        const QByteArray body = "000000WR00003301";
        f.host->send("\x05" + body + sumCheck(body));
        return f.receive(14).mid(7, 4);
    };
    const auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i)
            f.session->tickHandshake();
    };
    const RegisterMemory &registers = f.session->registers();
    // Storage from 0001 to 0002,0003,0004, tag 0005; then the flag D10.
    write("00"
          "0000"
          "0A"
          "0001"
          "0001"
          "0000"
          "0000"
          "0000"
          "0000"
          "0002"
          "0003"
          "0004"
          "0005");
    write("00"
          "0010"
          "01"
          "0001");
    ticks(1);
    QCOMPARE(data->findChild<QLabel *>("lblSTATUS")->text(),
             QStringLiteral("搬送設定完了フラグＯＮ-入庫(0001→0002,0003,0004)[0005]"));
    ticks(11);
    QCOMPARE(d33(), QByteArray("0002")); // OK
    write("00"
          "0010"
          "01"
          "0000"); // the host drops the flag
    ticks(3 + 6);
    QCOMPARE(d33(), QByteArray("0001")); // ready
    ticks(11);
    QCOMPARE(registers.word(59), QStringLiteral("0001")); // completion reported
    write("00"
          "0012"
          "01"
          "0001"); // acknowledged
    ticks(1);
    QCOMPARE(registers.word(59), QStringLiteral("0000"));
    const auto step = [&] { return data->findChild<QLabel *>("lblStep")->text(); };
    QCOMPARE(step(), QStringLiteral("5")); // shown one tick later
    ticks(1);
    QCOMPARE(step(), QStringLiteral("0"));
    data->close();
}

QTEST_MAIN(EndToEndTest)
#include "test_e2e_line.moc"
