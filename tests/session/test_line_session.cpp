// SPDX-License-Identifier: MIT
// The line session without a window, on a scripted port and clock: the state start-up leaves,
// the mode choice, opening, closing and ending, the transmit commands' bytes and log lines, a
// lost port, sending on a closed port, the line monitor, and frames answered in every mode.
#include "SessionFixture.h"
#include "protocol/HexDump.h"
#include "protocol/SumCheck.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace
{
const QString Open = QStringLiteral("----- OPEN  ----- Protcol=");
const QString Close = QStringLiteral("----- CLOSE -----");
} // namespace

class LineSessionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stateAfterStartUp();
    void modeProfiles_data();
    void modeProfiles();
    void openAndClose();
    void modeStepsAtOpen();
    void failedOpenAndLostPort();
    void endClosesSilently();
    void transmitCommands_data();
    void transmitCommands();
    void sendInComputerLinkModes();
    void nothingGoesOutWhileClosed();
    void requestAndReplyCycle();
    void logLinesOfAFrame();
    void choicesHoldFromTheProcedureStart_data();
    void choicesHoldFromTheProcedureStart();
    void framesAnsweredInEveryMode_data();
    void framesAnsweredInEveryMode();
};

void LineSessionTest::stateAfterStartUp()
{
    SessionFixture f;
    LineSession &s = f.session;
    QVERIFY(!s.isOpen() && s.mode() == SimMode::None && s.frameEnd() == FrameEnd::Time);
    QVERIFY(s.receiveBuffer().isEmpty() && !s.hexDump());
    QCOMPARE(s.portNumber(), 1);
    QCOMPARE(s.settingsText(), QStringLiteral("9600,N,7,1"));
    QCOMPARE(s.quietTimeText(), QStringLiteral("200"));
    QVERIFY(s.transmitText().isEmpty());
    // The rack preset, although the mode is "NONE".
    QCOMPARE(s.registers().word(33), QStringLiteral("0001"));
    QCOMPARE(s.registers().word(102), QStringLiteral("0000"));
    QVERIFY(f.log.isEmpty());
}

void LineSessionTest::modeProfiles_data()
{
    QTest::addColumn<SimMode>("mode");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<FrameEnd>("frameEnd");
    QTest::newRow("prGPS") << SimMode::PrGps << "9600,N,8,1" << FrameEnd::CrLf;
    QTest::newRow("MNEA") << SimMode::Mnea << "4800,N,8,1" << FrameEnd::CrLf;
    QTest::newRow("rack") << SimMode::Rack << "9600,E,8,1" << FrameEnd::Time;
    QTest::newRow("NONE keeps the texts") << SimMode::None << "4800,N,8,1" << FrameEnd::Time;
}

// The mode brings its texts and frame end, and tells a window what it changed; it never
// touches the port.
void LineSessionTest::modeProfiles()
{
    QFETCH(SimMode, mode);
    QFETCH(QString, settings);
    QFETCH(FrameEnd, frameEnd);
    SessionFixture f;
    LineSession &s = f.session;
    s.chooseMode(SimMode::Mnea);
    s.chooseFrameEnd(FrameEnd::Cr);
    s.setTransmitText(QStringLiteral("typed"));
    QSignalSpy shownEnd(&s, &LineSession::frameEndChanged);
    QSignalSpy shownSettings(&s, &LineSession::settingsTextChanged);
    s.chooseMode(mode);
    QCOMPARE(s.mode(), mode);
    QCOMPARE(s.settingsText(), settings);
    QCOMPARE(s.transmitText(), mode == SimMode::None    ? QStringLiteral("typed")
                               : mode == SimMode::PrGps ? QStringLiteral("09012345678")
                                                        : QString());
    QCOMPARE(s.frameEnd(), frameEnd);
    QCOMPARE(shownEnd.takeFirst().at(0).value<FrameEnd>(), frameEnd);
    QCOMPARE(shownSettings.size(), settings == QStringLiteral("4800,N,8,1") ? 0 : 1);
    QVERIFY(!f.port->isOpen() && f.port->opens == 0);
}

void LineSessionTest::openAndClose()
{
    SessionFixture f;
    LineSession &s = f.session;
    QSignalSpy connection(&s, &LineSession::connectionChanged);
    QSignalSpy lines(&s, &LineSession::modemLinesChanged);
    QStringList stamped;
    QObject::connect(&f.sessionLog, &SessionLog::lineLogged,
                     [&stamped](const LogLine &line) { stamped << line.joined(); });
    s.setSettingsText(QStringLiteral(" 4800,N,8,1 "));
    QVERIFY(s.open());
    QCOMPARE(stamped.first(), "[12:34:56]" + Open + " 4800,N,8,1 ");
    QCOMPARE(f.port->openedWith, QStringLiteral(" 4800,N,8,1 ")); // untrimmed
    QVERIFY(s.isOpen() && f.port->requestToSend());
    QCOMPARE(connection.takeFirst().at(0).toBool(), true);
    f.port->cts = true;
    s.tick(); // the line monitor shows RTS (raised by the open) and CTS at the next tick
    const ModemLines shown = lines.takeFirst().at(0).value<ModemLines>();
    QVERIFY(shown.requestToSend && shown.clearToSend && !shown.carrierDetect);
    s.tick();
    QVERIFY(lines.isEmpty()); // only changes are shown
    s.close();
    QVERIFY(!s.isOpen() && !connection.takeFirst().at(0).toBool());
    // A blank settings text keeps the port's settings and still shows in the OPEN line.
    s.setSettingsText(QStringLiteral("  "));
    s.open();
    QCOMPARE(f.port->openedWith, QStringLiteral(" 4800,N,8,1 "));
    QCOMPARE(f.log, QStringList({Open + QStringLiteral(" 4800,N,8,1 "), Close,
                                 Open + QStringLiteral("  ")}));
}

void LineSessionTest::modeStepsAtOpen()
{
    SessionFixture f;
    LineSession &s = f.session;
    s.chooseMode(SimMode::PrGps); // the note, then "AT" CR LF
    s.open();
    QCOMPARE(f.port->written, QList<QByteArray>({QByteArray("AT\r\n")}));
    QCOMPARE(f.log, QStringList({Open + QStringLiteral("9600,N,8,1"),
                                 QStringLiteral("  <<prGPS用モデム初期化＆CALL>>"),
                                 QStringLiteral("◎AT\r\n")}));
    const QList<QPair<SimMode, QString>> opens = {
        {SimMode::Vehicle, "0004"}, {SimMode::RackErr, "0004"}, {SimMode::Rack, "0000"}};
    for (const auto &[mode, d102] : opens) { // vehicle preset, none, rack preset
        s.close();
        s.chooseMode(mode);
        s.open();
        QCOMPARE(s.registers().word(102), d102);
    }
    QCOMPARE(f.port->written.size(), 1);
}

void LineSessionTest::failedOpenAndLostPort()
{
    SessionFixture f;
    LineSession &s = f.session;
    QSignalSpy connection(&s, &LineSession::connectionChanged);
    QSignalSpy openFailed(&s, &LineSession::openFailed);
    QSignalSpy portLost(&s, &LineSession::portLost);
    QList<NoteSource> sources;
    QObject::connect(&s, &LineSession::noted,
                     [&sources](const Note &note) { sources << note.source; });
    s.chooseMode(SimMode::PrGps);
    f.port->failNextOpen(QStringLiteral("/dev/ttyS0: No such file or directory"));
    QVERIFY(!s.open());
    QVERIFY(!s.isOpen() && connection.isEmpty() && f.port->written.isEmpty());
    QCOMPARE(f.log, QStringList({"  <<OPENできません: /dev/ttyS0: No such file or directory>>"}));
    QCOMPARE(openFailed.takeFirst().at(0).toString(), "/dev/ttyS0: No such file or directory");
    QCOMPARE(sources, QList<NoteSource>({NoteSource::Port}));
    // A refused settings text is not kept: a blank text opens with the last accepted settings.
    s.setSettingsText(QStringLiteral("9600,X,8,1"));
    f.port->failNextOpen(QStringLiteral("parity \"X\" is not N, E, O, M or S"));
    s.open();
    s.setSettingsText(QStringLiteral(" "));
    QVERIFY(s.open());
    QCOMPARE(f.port->openedWith, QStringLiteral("9600,N,8,1"));
    s.close();

    s.open();
    f.log.clear();
    f.port->loseLine(QStringLiteral("device removed"));
    QCoreApplication::processEvents();
    QVERIFY(!s.isOpen());
    QCOMPARE(connection.last().at(0).toBool(), false);
    QCOMPARE(f.log, QStringList({"  <<ポートが切断されました: device removed>>", Close}));
    QCOMPARE(portLost.takeFirst().at(0).toString(), "device removed");
    QCOMPARE(sources.mid(sources.size() - 2), QList<NoteSource>(2, NoteSource::Port));
}

void LineSessionTest::endClosesSilently()
{
    // CLOSE while a request is being gathered: no answer; the bytes stay in the buffer.
    SessionFixture gathering;
    gathering.session.open();
    gathering.port->arriveNow("abc");
    gathering.port->raiseArrival();
    QCoreApplication::processEvents();
    gathering.session.close();
    gathering.clock->advance(1000);
    QVERIFY(gathering.port->written.isEmpty());
    QCOMPARE(gathering.session.receiveBuffer(), QByteArray("abc"));

    SessionFixture closed;
    closed.session.end();
    QVERIFY(closed.port->opens == 0 && closed.log.isEmpty()); // a closed port is not touched

    SessionFixture f;
    f.session.open();
    f.session.end();
    QVERIFY(!f.port->isOpen());
    QCOMPARE(f.log.size(), 1); // no line about it
}

void LineSessionTest::transmitCommands_data()
{
    QTest::addColumn<TransmitCommand>("command");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("STX+ETX") << TransmitCommand::StxEtx << false
                             << QByteArray("\x02"
                                           "A\x82\xA0\x03")
                             << QStringList{"◎\x02"
                                            "Aあ\x03",
                                            "　<<STX+TEXT+ETX>>"};
    QTest::newRow("CR+LF, hex shows both bytes of あ")
        << TransmitCommand::CrLf << true << QByteArray("A\x82\xA0\r\n")
        << QStringList{"◎Aあ\r\n", "　41 82 A0 0D 0A ", "　<<TEXT+CRLF>>"};
    QTest::newRow("CR") << TransmitCommand::Cr << false << QByteArray("A\x82\xA0\r")
                        << QStringList{"◎Aあ\r", "　<<TEXT+CR>>"};
    QTest::newRow("ACK hex") << TransmitCommand::Ack << true << QByteArray("\x06")
                             << QStringList{"◎\x06", "　06 ", "　<<ACK>>"};
    QTest::newRow("NAK") << TransmitCommand::Nak << false << QByteArray("\x15")
                         << QStringList{"◎\x15", "　<<NAK>>"};
    QTest::newRow("EOT") << TransmitCommand::Eot << false << QByteArray("\x04")
                         << QStringList{"◎\x04", "　<<EOT>>"};
    QTest::newRow("SEND in NONE") << TransmitCommand::Send << false << QByteArray("A\x82\xA0")
                                  << QStringList{"◎Aあ", "　<<TEXT>>"};
}

void LineSessionTest::transmitCommands()
{
    QFETCH(TransmitCommand, command);
    QFETCH(bool, hex);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, log);
    SessionFixture f;
    f.session.open();
    f.session.setTransmitText(QStringLiteral("Aあ"));
    f.session.setHexDump(hex);
    f.session.transmit(command);
    QCOMPARE(f.port->writtenBytes(), sent);
    QCOMPARE(f.log, QStringList{Open + QStringLiteral("9600,N,7,1")} + log);
}

void LineSessionTest::sendInComputerLinkModes()
{
    SessionFixture f;
    LineSession &s = f.session;
    s.chooseMode(SimMode::Rack);
    s.open();
    s.setTransmitText(QStringLiteral("000000WR00003202"));
    s.transmit(TransmitCommand::Send); // by time: no terminator
    QCOMPARE(f.port->written.last(), QByteArray("\x05"
                                                "000000WR0000320250"));
    QCOMPARE(f.log.mid(1), QStringList({"  <<ENQを付加して送信>>", "◎\x05"
                                                                   "000000WR0000320250"}));
    s.chooseFrameEnd(FrameEnd::CrLf);
    s.setTransmitText(QString());
    s.transmit(TransmitCommand::Send); // empty text: ENQ, "00", CR LF
    QCOMPARE(f.port->written.last(), QByteArray("\x05"
                                                "00\r\n"));
}

void LineSessionTest::nothingGoesOutWhileClosed()
{
    SessionFixture f;
    f.session.setTransmitText(QStringLiteral("AB"));
    for (int c = int(TransmitCommand::StxEtx); c <= int(TransmitCommand::Send); ++c)
        f.session.transmit(TransmitCommand(c));
    QVERIFY(f.port->written.isEmpty() && f.log.isEmpty());
    // An echo with the port closed: a note, not a sent line.
    QVERIFY(!f.session.send("AB"));
    QCOMPARE(f.log, QStringList({"  <<ポートが閉じているため送信しませんでした: AB>>"}));
    // A refused write: its note, and no note of a sent command after it.
    f.session.open();
    f.port->refuseWrites(QStringLiteral("full"));
    f.log.clear();
    f.session.transmit(TransmitCommand::CrLf);
    QCOMPARE(f.log, QStringList({"  <<送信できませんでした: full>>"}));
}

// Open, a host's word read arrives, the reply goes out, close: the log tells it in order.
void LineSessionTest::requestAndReplyCycle()
{
    SessionFixture f;
    LineSession &s = f.session;
    s.chooseMode(SimMode::Rack);
    QVERIFY(s.open());
    const QByteArray request = "\x05"
                               "000000WR00003202"
                               "50";
    f.arrive(request);
    const QByteArray reply = "\x02"
                             "000000"
                             "0002"
                             "0001"
                             "\x03"
                             "A6";
    QCOMPARE(f.port->written, QList<QByteArray>({reply}));
    QCOMPARE(f.clock->waits, QList<int>({200})); // one quiet time
    // A character split by a pause shows whole in the second frame's line.
    f.arrive("\x82");
    f.arrive("\xA0"
             "A");
    QCOMPARE(f.log.mid(f.log.size() - 4),
             QStringList({"●", "  <<その他の電文を受信しました>>", "●あA",
                          "  <<その他の電文を受信しました>>"}));
    f.log = f.log.mid(0, f.log.size() - 4);
    s.close();
    QCOMPARE(f.log, QStringList({Open + QStringLiteral("9600,E,8,1"), "●" + request,
                                 "  <<ENQを受信しました>>", "  <<データ返送>>",
                                 "◎" + QString::fromLatin1(reply), Close}));
}

// A frame's lines: the frame received (its dump when HEX is on), the answer's notes and what is
// sent, each with its dump. The receive buffer's overflow is noted with the bytes it dropped.
void LineSessionTest::logLinesOfAFrame()
{
    SessionFixture f;
    f.session.chooseMode(SimMode::RackErr);
    f.session.chooseFrameEnd(FrameEnd::CrLf);
    f.session.setHexDump(true);
    f.session.open();
    f.log.clear();
    f.arrive("\x05"
             "0\r\n");
    QCOMPARE(f.log, QStringList({"●\x05"
                                 "0",
                                 "　05 30 0D 0A ",
                                 "◎\x05"
                                 "0\r\n",
                                 "　05 30 0D 0A ", "  <<RECEVED ENQ>>"}));
    f.log.clear();
    f.arrive("ab" + QByteArray(32767, 'x'));
    QCOMPARE(f.log, QStringList({"  <<受信バッファあふれ: 2 バイト破棄>>", "　61 62 "}));
}

// The mode, the dial text and the HEX choice that answer a frame are those in force when its
// receive procedure began: a change during the procedure's wait applies to the next frames.
void LineSessionTest::choicesHoldFromTheProcedureStart_data()
{
    QTest::addColumn<SimMode>("before");
    QTest::addColumn<SimMode>("after");
    QTest::addColumn<FrameEnd>("end");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray request = "\x05"
                               "000000WR0000320250";
    const QByteArray data = "\x02"
                            "00000000020001\x03"
                            "A6";
    QTest::newRow("rack, then NONE, CR LF")
        << SimMode::Rack << SimMode::None << FrameEnd::CrLf << request + "\r\n"
        << data + "\r\n";
    QTest::newRow("rack, then NONE, by time")
        << SimMode::Rack << SimMode::None << FrameEnd::Time << request << data;
    QTest::newRow("NONE, then rack, CR LF")
        << SimMode::None << SimMode::Rack << FrameEnd::CrLf << request + "\r\n"
        << request + "\r\n";
    QTest::newRow("prGPS, then NONE, CR LF")
        << SimMode::PrGps << SimMode::None << FrameEnd::CrLf << QByteArray("OK\r\n")
        << QByteArray("ATD09012345678\r\n");
}

void LineSessionTest::choicesHoldFromTheProcedureStart()
{
    QFETCH(SimMode, before);
    QFETCH(SimMode, after);
    QFETCH(FrameEnd, end);
    QFETCH(QByteArray, frame);
    SessionFixture f;
    f.session.chooseMode(before);
    f.session.chooseFrameEnd(end);
    f.session.setHexDump(true);
    f.session.open();
    f.port->written.clear();
    f.log.clear();
    f.port->arriveNow(frame);
    f.port->raiseArrival();
    QCoreApplication::processEvents(); // the procedure starts and waits
    f.session.chooseMode(after);
    f.session.setTransmitText(QStringLiteral("0000"));
    f.session.setHexDump(false);
    f.clock->advance(1000);
    QTEST(f.port->writtenBytes(), "reply");
    QCOMPARE(f.log.at(1), QStringLiteral("　") + hexDump(frame)); // the frame's dump
    QVERIFY(f.log.contains(QStringLiteral("　") + hexDump(f.port->writtenBytes())));
}

void LineSessionTest::framesAnsweredInEveryMode_data()
{
    QTest::addColumn<SimMode>("mode");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    const auto request = [](const QByteArray &body) { return "\x05" + body + sumCheck(body); };
    const auto data = [](const QByteArray &words) {
        const QByteArray body = "000000" + words + "\x03";
        return "\x02" + body + sumCheck(body);
    };
    QTest::newRow("NONE echoes") << SimMode::None << QByteArray("ab\x01") << QByteArray("ab\x01");
    QTest::newRow("prGPS dials") << SimMode::PrGps << QByteArray("OK\r\n")
                                 << QByteArray("ATD09012345678\r\n");
    QTest::newRow("MNEA echoes") << SimMode::Mnea << QByteArray("$GP\r\n") << QByteArray("$GP\r\n");
    QTest::newRow("rack reads") << SimMode::Rack << request("000000WR00004301") << data("0002");
    QTest::newRow("rack ERR echoes")
        << SimMode::RackErr << request("000000WR00004301") << request("000000WR00004301");
    QTest::newRow("vehicle reads its preset")
        << SimMode::Vehicle << request("000000WR00010201") << data("0004");
}

// Each mode under its own frame end, opened as the operator does.
void LineSessionTest::framesAnsweredInEveryMode()
{
    QFETCH(SimMode, mode);
    QFETCH(QByteArray, frame);
    SessionFixture f;
    f.session.chooseMode(mode);
    f.session.setTransmitText(f.session.transmitText()); // prGPS dials its preset number
    f.session.open();
    f.port->written.clear();
    f.arrive(frame);
    QTEST(f.port->writtenBytes(), "reply");
}

QTEST_GUILESS_MAIN(LineSessionTest)
#include "test_line_session.moc"
