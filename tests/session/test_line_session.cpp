// SPDX-License-Identifier: MIT
// The line session without a window, on a scripted port and clock: opening (with the mode's
// step and preset), closing, a failed open and a lost port, the transmit commands' bytes and
// log lines, the code page's control codes and single bytes both ways, sending on a closed port,
// the line monitor, a frame's log lines, and frames answered in every mode under its settings
// and frame end, by the choices its procedure began with. The receive path as a state machine:
// the frames cut by CR LF, CR and the quiet time, and the waits made, for port events and ticks;
// bytes that arrive during a wait; a trickle that never lets the quiet time pass; a stop during
// a wait; a change of frame end during a wait; the bound of the buffer with its note; a receiver
// resting for want of room for replies. The handshake's tick at its period.
#include "SessionFixture.h"
#include "protocol/HexDump.h"
#include "protocol/SumCheck.h"
#include "registers/RegisterFile.h"
#include "session/Receiver.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Arrivals = QList<QPair<int, QByteArray>>; // (moment in ms, bytes)
using Starts = QList<QPair<int, FrameEnd>>;     // (moment in ms, frame end)
using Waits = QList<int>;

namespace
{
constexpr auto Event = ReceiveTrigger::PortEvent;
constexpr auto Tick = ReceiveTrigger::Tick;
constexpr auto Stop = FrameEnd(-1); // a start at this moment: CLOSE or END instead
ProcedureChoices choices(FrameEnd end)
{
    return {{SimMode::None, end, {}}, false};
}

const QString Open = QStringLiteral("----- OPEN  ----- Protcol=");
const QString Close = QStringLiteral("----- CLOSE -----");
const auto request = [](const QByteArray &body) { return "\x05" + body + sumCheck(body); };
} // namespace

// A receiver with a quiet time of " 150ms"; each frame it hands on is kept with the frame end
// of its procedure, and each overflow with the bytes dropped. Its owner has room for replies
// while `room` is true, up to `roomFor` frames.
struct ReceiverFixture {
    FakeClock clock;
    FakeSerialPort port{&clock};
    QByteArrayList events;
    Receiver receiver{
        port, clock,
        Receiver::Hooks{[] { return u" 150ms"_s; },
                        [this](const QByteArray &frame, const ProcedureChoices &c) {
                            const int end = int(c.responder.frameEnd);
                            events << frame + "|" + QByteArray::number(end);
                            room = room && --roomFor != 0;
                        },
                        [this](const QByteArray &dropped) { events << "dropped|" + dropped; },
                        [this] { return room; }}};
    bool room = true; // for more replies
    int roomFor = -1; // frames handed on before the room runs out; -1: it never does
    ReceiverFixture() { port.open(); }

    // Starts at the given moments, then lets every wait run out.
    void run(ReceiveTrigger trigger, const Starts &starts)
    {
        for (const auto &[atMs, end] : starts) {
            clock.advance(atMs - clock.nowMs());
            end == Stop ? receiver.cancel() : receiver.start(trigger, choices(end));
        }
        clock.advance(5000);
    }
};

class LineSessionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The session starts with the rack preset. While the port is closed no command sends, and
    // an echo is a note, not a sent line. An open logs the settings as typed, opens with
    // them untrimmed, raises RTS and, in prGPS, initialises the modem; the line monitor shows the
    // lines at the next tick, and only changes. CLOSE while a frame is gathered ends its
    // procedure: no answer. A failed open: its note, nothing sent; its settings text is not kept,
    // and a blank one opens with the last accepted, still shown in the OPEN line. A refused
    // write: its note, and no note of a sent command after it. A lost port
    // closes the connection as CLOSE does, after a note saying why.
    void connection()
    {
        SessionFixture f;
        LineSession &s = f.session;
        RegisterMemory rack;
        rack.applyRackPreset();
        QCOMPARE(registerFileText(s.registers()), registerFileText(rack));
        QSignalSpy connection(&s, &LineSession::connectionChanged);
        QSignalSpy lines(&s, &LineSession::modemLinesChanged);
        QStringList stamped;
        QObject::connect(&f.sessionLog, &SessionLog::lineLogged,
                         [&stamped](const LogLine &line) { stamped << line.joined(); });
        s.setTransmitText(QStringLiteral("AB"));
        for (int c = int(TransmitCommand::StxEtx); c <= int(TransmitCommand::Send); ++c)
            s.transmit(TransmitCommand(c));
        QVERIFY(!s.send("AB"));
        s.chooseMode(SimMode::PrGps);
        s.chooseFrameEnd(FrameEnd::Time); // the frame is gathered at once, answered after a pause
        s.setSettingsText(QStringLiteral(" 4800,N,8,1 "));
        QVERIFY(s.open());
        QCOMPARE(stamped.at(1), "[12:34:56]" + Open + " 4800,N,8,1 ");
        QCOMPARE(f.port->openedWith, QStringLiteral(" 4800,N,8,1 "));
        QVERIFY(f.port->requestToSend());
        f.port->cts = true;
        s.tick();
        const ModemLines shown = lines.takeFirst().at(0).value<ModemLines>();
        QVERIFY(shown.requestToSend && shown.clearToSend && !shown.carrierDetect);
        s.tick();
        QVERIFY(lines.isEmpty());
        f.port->arriveNow("OK\r\n");
        f.port->raiseArrival();
        QCoreApplication::processEvents();
        s.close();
        f.clock->advance(1000);
        s.setSettingsText(QStringLiteral("9600,X,8,1"));
        f.port->failNextOpen(QStringLiteral("parity \"X\" is not N, E, O, M or S"));
        QVERIFY(!s.open());
        s.setSettingsText(QStringLiteral("  "));
        QVERIFY(s.open());
        QCOMPARE(f.port->openedWith, QStringLiteral(" 4800,N,8,1 "));
        f.port->refuseWrites(QStringLiteral("full"));
        s.transmit(TransmitCommand::CrLf);
        f.port->loseLine(QStringLiteral("device removed"));
        QCoreApplication::processEvents();
        QVERIFY(!s.isOpen() && connection.size() == 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(connection.at(i).at(0).toBool(), i % 2 == 0);
        QCOMPARE(f.port->written, QByteArrayList(2, "AT\r\n"));
        const QStringList modem{"  <<prGPS用モデム初期化＆CALL>>", "◎AT\r\n"};
        QCOMPARE(f.log,
                 QStringList({"  <<ポートが閉じているため送信しませんでした: AB>>",
                              Open + " 4800,N,8,1 ", modem[0], modem[1], Close,
                              "  <<OPENできません: parity \"X\" is not N, E, O, M or S>>",
                              Open + "  ", modem[0], modem[1], "  <<送信できませんでした: full>>",
                              "  <<ポートが切断されました: device removed>>", Close}));
    }

    // Each command's bytes and log lines, the text typed being "Aあ" unless the row says otherwise;
    // in the computer-link modes SEND makes a request: ENQ, text, sum and the frame end's
    // terminator.
    void transmitCommands_data()
    {
        QTest::addColumn<TransmitCommand>("command");
        QTest::addColumn<SimMode>("mode");
        QTest::addColumn<FrameEnd>("end");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("log");
        const auto row = [](const char *name, TransmitCommand command, bool hex,
                            const QByteArray &sent, const QStringList &log,
                            SimMode mode = SimMode::None, FrameEnd end = FrameEnd::Time,
                            const QString &text = QStringLiteral("Aあ")) {
            QTest::newRow(name) << command << mode << end << hex << text << sent << log;
        };
        const QByteArray text = "A\x82\xA0";
        row("STX+ETX", TransmitCommand::StxEtx, false, "\x02" + text + "\x03",
            {"◎\x02"
             "Aあ\x03",
             "　<<STX+TEXT+ETX>>"});
        row("CR+LF, hex shows both bytes of あ", TransmitCommand::CrLf, true, text + "\r\n",
            {"◎Aあ\r\n", "　41 82 A0 0D 0A ", "　<<TEXT+CRLF>>"});
        row("CR", TransmitCommand::Cr, false, text + "\r", {"◎Aあ\r", "　<<TEXT+CR>>"});
        row("ACK hex", TransmitCommand::Ack, true, "\x06", {"◎\x06", "　06 ", "　<<ACK>>"});
        row("NAK", TransmitCommand::Nak, false, "\x15", {"◎\x15", "　<<NAK>>"});
        row("EOT", TransmitCommand::Eot, false, "\x04", {"◎\x04", "　<<EOT>>"});
        row("SEND in NONE", TransmitCommand::Send, false, text, {"◎Aあ", "　<<TEXT>>"});
        const auto link = [&row](const char *name, SimMode mode, FrameEnd end, const QString &text,
                                 const QByteArray &sent) {
            row(name, TransmitCommand::Send, false, sent,
                {QStringLiteral("  <<ENQを付加して送信>>"), "◎" + QString::fromLatin1(sent)}, mode,
                end, text);
        };
        link("SEND in rack by time", SimMode::Rack, FrameEnd::Time,
             QStringLiteral("000000WR00003202"), Ctl::ENQ + "000000WR0000320250");
        link("SEND in vehicle, CR LF, no text", SimMode::Vehicle, FrameEnd::CrLf, {},
             Ctl::ENQ + "00\r\n");
    }

    void transmitCommands()
    {
        QFETCH(SimMode, mode);
        QFETCH(FrameEnd, end);
        QFETCH(bool, hex);
        QFETCH(QString, text);
        SessionFixture f;
        f.open(mode, end);
        f.session.setTransmitText(text);
        f.session.setHexDump(hex);
        QFETCH(TransmitCommand, command);
        f.session.transmit(command);
        QTEST(f.port->written.join(), "sent");
        QTEST(f.log.mid(1), "log");
    }

    // What the user types and sees of control codes and of the code page's single bytes: typed
    // text ("typed") goes on the line as "bytes" and is logged as "shown"; received bytes (no
    // "typed") are logged as "shown" and echoed as they are.
    void codePageEndToEnd_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("typed control codes")
            << u"a\x1A\x1C\x7Fz"_s << "a\x1A\x1C\x7Fz"_ba << u"a\x1A\x1C\x7Fz"_s;
        QTest::newRow("typed single bytes above 7F")
            << u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3ｱ"_s << "\x80\xA0\xFD\xFE\xFF\xB1"_ba
            << u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3ｱ"_s;
        QTest::newRow("typed wave dash goes as the full-width tilde's pair")
            << u"\u301C"_s << "\x81\x60"_ba << u"\uFF5E"_s;
        QTest::newRow("typed characters the code page lacks") << u"é😀"_s << "??"_ba << u"??"_s;
        QTest::newRow("received control codes")
            << QString() << "\x1a\x1c\x7f"_ba << u"\x1a\x1c\x7f"_s;
        QTest::newRow("received single bytes above 7F")
            << QString() << "\x80\xA0\xFD\xFE\xFF\xDF"_ba << u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3ﾟ"_s;
        QTest::newRow("received undefined pair, then its second byte alone")
            << QString() << "\x85\x40\xEB\x82\xA0"_ba << u"\uFFFD@\uFFFDあ"_s;
        QTest::newRow("received user-defined character")
            << QString() << "\xF0\x40"_ba << u"\uE000"_s;
    }

    void codePageEndToEnd()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        SessionFixture f;
        f.open(SimMode::None, FrameEnd::Time);
        f.log.clear();
        if (typed.isNull()) {
            f.arrive(bytes);
            QCOMPARE(f.log.value(0), "●" + shown);
        } else {
            f.session.setTransmitText(typed);
            f.session.transmit(TransmitCommand::Send);
        }
        QCOMPARE(f.port->written.join(), bytes);
        QVERIFY2(f.log.contains("◎" + shown), qPrintable(f.log.join(u'|')));
    }

    // A frame's lines: the frame received (its dump when HEX is on), what is sent, each with its
    // dump, and the answer's notes. A character split by a pause shows whole in the second frame's
    // line. The receive buffer's overflow is noted with the bytes it dropped.
    void logLinesOfFrames()
    {
        SessionFixture f;
        f.session.setHexDump(true);
        f.open(SimMode::RackErr, FrameEnd::CrLf);
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

        SessionFixture rack;
        rack.open(SimMode::Rack, FrameEnd::Time);
        rack.arrive("\x82");
        rack.arrive("\xA0"
                    "A");
        QCOMPARE(rack.log.mid(1), QStringList({"●", "  <<その他の電文を受信しました>>", "●あA",
                                               "  <<その他の電文を受信しました>>"}));
        QCOMPARE(rack.clock->waits, QList<int>({200, 200})); // one quiet time each
    }

    // Each mode opened as the operator does, after other texts were typed: the settings it brings
    // (NONE keeps the typed ones) and its answers, one write per frame, under its own frame end or
    // the one the row chooses. The mode, the dial text and the HEX choice that answer a frame are
    // those in force when its receive procedure began: a change during the procedure's wait (to
    // the mode "then") applies to the next frames only.
    void framesAnsweredInEveryMode_data()
    {
        QTest::addColumn<SimMode>("mode");
        QTest::addColumn<int>("end"); // -1: the mode's own
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<SimMode>("then");
        const auto row = [](const char *name, SimMode mode, int end, const char *settings,
                            const QByteArray &frames, const QByteArrayList &replies,
                            SimMode then = SimMode::None) {
            QTest::newRow(name) << mode << end << QString::fromLatin1(settings) << frames << replies
                                << then;
        };
        const auto data = [](const QByteArray &words) {
            const QByteArray body = "000000" + words + "\x03";
            return "\x02" + body + sumCheck(body);
        };
        const QByteArray read = request("000000WR00003202"), reply = data("00020001");
        row("NONE echoes by time, then rack", SimMode::None, -1, "1200,O,7,2", "ab\x01", {"ab\x01"},
            SimMode::Rack);
        row("NONE under CR LF, then rack", SimMode::None, 0, "1200,O,7,2", read + "\r\n",
            {read + "\r\n"}, SimMode::Rack);
        row("prGPS dials, CR LF", SimMode::PrGps, -1, "9600,N,8,1", "OK\r\nOK\r\n",
            QByteArrayList(2, "ATD09012345678\r\n"));
        row("MNEA echoes, CR LF", SimMode::Mnea, -1, "4800,N,8,1", "$GP\r\n$GQ\r\n",
            {"$GP\r\n", "$GQ\r\n"});
        row("rack reads by time", SimMode::Rack, -1, "9600,E,8,1", read, {reply});
        row("rack ERR echoes by time, then rack", SimMode::RackErr, -1, "9600,E,8,1", read, {read},
            SimMode::Rack);
        row("vehicle reads its preset by time", SimMode::Vehicle, -1, "9600,E,8,1",
            request("000000WR00010201"), {data("0004")});
    }

    void framesAnsweredInEveryMode()
    {
        QFETCH(int, end);
        QFETCH(QByteArray, frames);
        SessionFixture f;
        LineSession &s = f.session;
        s.setSettingsText(QStringLiteral("1200,O,7,2"));
        s.setTransmitText(QStringLiteral("typed"));
        QFETCH(SimMode, mode);
        s.chooseMode(mode);
        if (end >= 0)
            s.chooseFrameEnd(FrameEnd(end));
        s.setHexDump(true);
        s.open();
        QFETCH(QString, settings);
        QCOMPARE(f.log.first(), Open + settings);
        f.port->written.clear();
        f.log.clear();
        f.port->arriveNow(frames);
        f.port->raiseArrival();
        QCoreApplication::processEvents(); // the procedure starts and waits
        QFETCH(SimMode, then);
        s.chooseMode(then);
        s.setTransmitText(QStringLiteral("0000"));
        s.setHexDump(false);
        f.clock->advance(1000);
        QTEST(QByteArrayList(f.port->written), "replies");
        const qsizetype firstEnd = frames.indexOf('\n') + 1;
        QCOMPARE(f.log.at(1), "　" + hexDump(firstEnd > 0 ? frames.left(firstEnd) : frames));
        QVERIFY(f.log.contains("　" + hexDump(f.port->written.first())));
    }

    // "events" holds each frame handed on, "|", and the frame end it was cut by (0 CR LF, 1 CR,
    // 2 time), and each note for the log. Arrivals at the moment -1 come while the frames of the
    // procedure's first read are handed on. After CLOSE or END during a wait (a start "Stop")
    // nothing more happens.
    void framesAndWaits_data()
    {
        QTest::addColumn<ReceiveTrigger>("trigger");
        QTest::addColumn<Starts>("starts");
        QTest::addColumn<Arrivals>("arrivals");
        QTest::addColumn<QByteArrayList>("events");
        QTest::addColumn<QByteArray>("left");
        QTest::addColumn<Waits>("waits");
        const auto crlf = FrameEnd::CrLf, cr = FrameEnd::Cr, time = FrameEnd::Time;
        const QByteArray x(32765, 'x');
        Arrivals every100ms;
        for (int t = 0; t < 1000; t += 100)
            every100ms << QPair(t, QByteArray("a"));

        const auto row = [](const char *name, ReceiveTrigger trigger, const Starts &starts,
                            const Arrivals &arrivals, const QByteArrayList &events,
                            const QByteArray &left, const Waits &waits) {
            QTest::newRow(name) << trigger << starts << arrivals << events << left << waits;
        };
        row("CR LF: split across reads", Event, {{0, crlf}, {300, crlf}},
            {{0, "12\r"}, {300, "\n34"}}, {"12\r\n|0"}, "34", {100, 100});
        row("CR LF: bytes arriving during the wait are read with it", Event, {{0, crlf}},
            {{0, "1"}, {50, "\r\n2"}}, {"1\r\n|0"}, "2", {100});
        row("CR LF: bytes that come while a frame is handed on, read 100 ms later", Event,
            {{0, crlf}}, {{0, "12\r\n"}, {-1, "34\r\n5"}}, {"12\r\n|0", "34\r\n|0"}, "5",
            {100, 100});
        row("CR LF: frames beyond one turn's share handed on at the next turn", Event, {{0, crlf}},
            {{0, QByteArray("a\r\n").repeated(70)}}, QByteArrayList(70, "a\r\n|0"), "", {100, 0});
        row("CR: LF after CR opens a frame; a tick waits too", Tick, {{0, cr}},
            {{0, "12\r\n34\r5"}}, {"12\r|1", "\n34\r|1"}, "5", {100});
        row("time: bursts join, a gap splits", Tick, {{0, time}, {500, time}},
            {{0, "ab"}, {100, "cd"}, {500, "ef"}}, {"abcd|2", "ef|2"}, "", {150, 150, 150});
        row("time: a trickle faster than the quiet time is one frame", Event, {{0, time}},
            every100ms, {"aaaaaaaaaa|2"}, "", Waits(7, 150));
        row("time: event, nothing waiting", Event, {{0, time}}, {}, {"|2"}, "", {});
        row("leftovers handed on after a switch to time", Tick, {{0, crlf}, {300, time}},
            {{0, "12\r\n56"}}, {"12\r\n|0", "56|2"}, "", {0});
        row("a change of frame end waits for the next frame", Event, {{0, time}, {100, crlf}},
            {{0, "ab\r\n"}, {100, "c"}}, {"ab\r\nc|2"}, "", {150, 150});
        row("stop during the quiet time: what was gathered stays", Event, {{0, time}, {50, Stop}},
            {{0, "ab\r"}}, {}, "ab\r", {150});
        row("stop during a CR LF wait: nothing read", Event, {{0, crlf}, {50, Stop}}, {{0, "ab\r"}},
            {}, "", {100});
        row("CR LF: oldest bytes dropped", Event, {{0, crlf}}, {{0, "ab" + x + "cd"}},
            {"dropped|ab"}, x + "cd", {100});
    }

    void framesAndWaits()
    {
        QFETCH(ReceiveTrigger, trigger);
        QFETCH(Starts, starts);
        QFETCH(Arrivals, arrivals);
        ReceiverFixture f;
        for (const auto &[atMs, bytes] : arrivals)
            atMs < 0 ? f.port.arriveAfterNextRead(bytes) : f.port.arrive(atMs, bytes);
        f.run(trigger, starts);
        QTEST(f.events, "events");
        QTEST(f.receiver.buffer(), "left");
        QTEST(f.clock.waits, "waits");
    }

    // Without room for replies the receiver reads nothing and hands nothing on, whatever starts
    // it; resume() goes on where it rested: between two frames of one read, or before its
    // procedure began. CLOSE while it rests ends the procedure: resume() then does nothing.
    // "ab\r\ncd\r\ne" is waiting at the start, "\r\n" comes at 500 ms.
    void restsWithoutRoom_data()
    {
        QTest::addColumn<FrameEnd>("end");
        QTest::addColumn<int>("roomFor");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QByteArrayList>("resting"); // frames handed on before the resume
        QTest::addColumn<int>("unread");             // bytes the line still holds then
        QTest::addColumn<QByteArrayList>("events");
        QTest::newRow("CR LF: rests between two frames")
            << FrameEnd::CrLf << 1 << false << QByteArrayList{"ab\r\n|0"} << 2
            << QByteArrayList{"ab\r\n|0", "cd\r\n|0", "e\r\n|0"};
        QTest::newRow("time: rests before it begins")
            << FrameEnd::Time << 0 << false << QByteArrayList{} << 11
            << QByteArrayList{"ab\r\ncd\r\ne\r\n|2"};
        QTest::newRow("CR LF: closed while it rests")
            << FrameEnd::CrLf << 1 << true << QByteArrayList{"ab\r\n|0"} << 2
            << QByteArrayList{"ab\r\n|0"};
    }

    void restsWithoutRoom()
    {
        QFETCH(FrameEnd, end);
        QFETCH(bool, closed);
        ReceiverFixture f;
        QFETCH(int, roomFor);
        f.roomFor = roomFor;
        f.room = roomFor != 0;
        f.port.arrive(0, "ab\r\ncd\r\ne");
        f.port.arrive(500, "\r\n");
        f.run(Event, {{0, end}, {600, end}}); // the second start finds it resting
        f.run(Tick, {{6000, end}});
        QTEST(f.events, "resting");
        QVERIFY(f.receiver.isResting() && !f.receiver.isBusy());
        QTEST(f.port.bytesWaiting(), "unread");
        f.room = true;
        if (closed)
            f.receiver.cancel();
        f.receiver.resume();
        f.clock.advance(5000);
        QTEST(f.events, "events");
        QVERIFY(!f.receiver.isResting());
    }

    // The handshake's tick runs the automaton at the period asked for, from the moment the first
    // player wants it; a new period applies from the tick after the next, and the tick stops
    // when the last player no longer wants it, and for good after END. Here a host's instruction
    // waits in the rack's words, and the automaton shows it at its first tick.
    void handshakeTicksAtItsPeriod()
    {
        SessionFixture f;
        LineSession &s = f.session;
        s.chooseMode(SimMode::Rack);
        s.setHandshakeAuto(true);
        s.registers().setWord(0, "0001");
        s.registers().setWord(10, "0001");
        QList<qint64> ticks, shown;
        QObject::connect(&s, &LineSession::handshakeTickStarting,
                         [&] { ticks << f.clock->nowMs(); });
        QObject::connect(&s, &LineSession::handshakeStatusChanged,
                         [&] { shown << f.clock->nowMs(); });
        s.setHandshakePeriod(250);
        f.clock->advance(100);
        s.setHandshakeTicking(TickPlayer::Automatic, true);
        f.clock->advance(1000); // 350, 600, 850, 1100
        s.setHandshakePeriod(400);
        s.setHandshakeTicking(TickPlayer::DataWindow, true);
        f.clock->advance(1000); // 1350, then 1750
        s.setHandshakeTicking(TickPlayer::Automatic, false);
        f.clock->advance(500); // 2150, 2550
        s.setHandshakeTicking(TickPlayer::DataWindow, false);
        f.clock->advance(5000);
        s.setHandshakeTicking(TickPlayer::DataWindow, true);
        s.end(); // the tick on its way stops
        f.clock->advance(5000);
        s.setHandshakeTicking(TickPlayer::DataWindow, false);
        s.setHandshakeTicking(TickPlayer::Automatic, true); // and no player starts it again
        f.clock->advance(5000);
        QCOMPARE(ticks, QList<qint64>({350, 600, 850, 1100, 1350, 1750, 2150, 2550}));
        QCOMPARE(shown.value(0), 350);
        QCOMPARE(s.handshakePeriod(), 400);
    }
};

QTEST_GUILESS_MAIN(LineSessionTest)
#include "test_line_session.moc"
