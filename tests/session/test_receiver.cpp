// SPDX-License-Identifier: MIT
// The receive path as a state machine on a scripted port and clock: the frames cut by CR LF, CR
// and the quiet time, and the waits made, for port events and ticks; bytes that arrive during a
// wait; a trickle that never lets the quiet time pass; a stop during a wait; a change of frame
// end during a wait; the bound of the buffer with its note.
#include "FakeSerialPort.h"
#include "session/Receiver.h"

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

} // namespace

// A receiver with a quiet time of " 150ms"; each frame it hands on is kept with the frame end
// of its procedure, and each overflow with the bytes dropped.
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
                        },
                        [this](const QByteArray &dropped) { events << "dropped|" + dropped; }}};
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

class ReceiverTest : public QObject
{
    Q_OBJECT
private slots:
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

        QTest::newRow("CR LF: split across reads")
            << Event << Starts{{0, crlf}, {300, crlf}} << Arrivals{{0, "12\r"}, {300, "\n34"}}
            << QByteArrayList{"12\r\n|0"} << "34"_ba << Waits{100, 100};
        QTest::newRow("CR LF: bytes arriving during the wait are read with it")
            << Event << Starts{{0, crlf}} << Arrivals{{0, "1"}, {50, "\r\n2"}}
            << QByteArrayList{"1\r\n|0"} << "2"_ba << Waits{100};
        QTest::newRow("CR LF: bytes that come while a frame is handed on, read 100 ms later")
            << Event << Starts{{0, crlf}} << Arrivals{{0, "12\r\n"}, {-1, "34\r\n5"}}
            << QByteArrayList{"12\r\n|0", "34\r\n|0"} << "5"_ba << Waits{100, 100};
        QTest::newRow("CR LF: frames beyond one turn's share handed on at the next turn")
            << Event << Starts{{0, crlf}} << Arrivals{{0, QByteArray("a\r\n").repeated(70)}}
            << QByteArrayList(70, "a\r\n|0") << ""_ba << Waits{100, 0};
        QTest::newRow("CR: LF after CR opens a frame; a tick waits too")
            << Tick << Starts{{0, cr}} << Arrivals{{0, "12\r\n34\r5"}}
            << QByteArrayList{"12\r|1", "\n34\r|1"} << "5"_ba << Waits{100};
        QTest::newRow("time: bursts join, a gap splits")
            << Tick << Starts{{0, time}, {500, time}}
            << Arrivals{{0, "ab"}, {100, "cd"}, {500, "ef"}} << QByteArrayList{"abcd|2", "ef|2"}
            << ""_ba << Waits{150, 150, 150};
        QTest::newRow("time: a trickle faster than the quiet time is one frame")
            << Event << Starts{{0, time}} << every100ms << QByteArrayList{"aaaaaaaaaa|2"} << ""_ba
            << Waits(7, 150);
        QTest::newRow("time: event, nothing waiting")
            << Event << Starts{{0, time}} << Arrivals{} << QByteArrayList{"|2"} << ""_ba << Waits{};
        QTest::newRow("leftovers handed on after a switch to time")
            << Tick << Starts{{0, crlf}, {300, time}} << Arrivals{{0, "12\r\n56"}}
            << QByteArrayList{"12\r\n|0", "56|2"} << ""_ba << Waits{0};
        QTest::newRow("a change of frame end waits for the next frame")
            << Event << Starts{{0, time}, {100, crlf}} << Arrivals{{0, "ab\r\n"}, {100, "c"}}
            << QByteArrayList{"ab\r\nc|2"} << ""_ba << Waits{150, 150};
        QTest::newRow("stop during the quiet time: what was gathered stays")
            << Event << Starts{{0, time}, {50, Stop}} << Arrivals{{0, "ab\r"}} << QByteArrayList{}
            << "ab\r"_ba << Waits{150};
        QTest::newRow("stop during a CR LF wait: nothing read")
            << Event << Starts{{0, crlf}, {50, Stop}} << Arrivals{{0, "ab\r"}} << QByteArrayList{}
            << ""_ba << Waits{100};
        QTest::newRow("CR LF: oldest bytes dropped")
            << Event << Starts{{0, crlf}} << Arrivals{{0, "ab" + x + "cd"}}
            << QByteArrayList{"dropped|ab"} << x + "cd" << Waits{100};
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
};

QTEST_GUILESS_MAIN(ReceiverTest)
#include "test_receiver.moc"
