// The receive path over a scripted line and a fake clock: frames cut by CR LF, CR and the quiet
// time, the waits each trigger makes, the timer switched off around a timed read, leftovers
// handed on after a switch to time, the quiet time read from odd texts, and the bound of
// RecvBuf with its note.
#include "Clock.h"
#include "ControlCodes.h"
#include "FakeSerialPort.h"
#include "FrameResponder.h"
#include "ReceivePath.h"
#include "RegisterMemory.h"

#include <QTest>

#include <functional>

namespace
{

using Arrivals = QList<QPair<int, QByteArray>>; // (moment in ms, bytes)

// A scripted line and the main window's side of the receive path, recording what it is given.
struct Line {
    FakeClock clock;
    FakeSerialPort port{&clock};
    QByteArray recvBuf;
    int termKind = TermTime;
    QString quietText = QStringLiteral("200");
    int quietReads = 0;
    QList<QByteArray> frames;
    QStringList events; // "timer off", "frame <hex>", "timer on", in order
    QStringList notes;
    std::function<void(const QByteArray &)> onFrame;

    Line() { port.setPortOpen(true); }
    void schedule(const Arrivals &arrivals)
    {
        for (const auto &[atMs, bytes] : arrivals)
            port.arrive(atMs, bytes);
    }
    void run(ReceiveTrigger trigger)
    {
        ReceiveContext ctx{
            port,
            clock,
            recvBuf,
            termKind,
            [this] {
                ++quietReads;
                return quietText;
            },
            [this](const QByteArray &frame) {
                frames << frame;
                events << QStringLiteral("frame ") + QString::fromLatin1(frame.toHex());
                if (onFrame)
                    onFrame(frame);
            },
            [this](bool on) {
                events << (on ? QStringLiteral("timer on") : QStringLiteral("timer off"));
            },
            [this](const QString &note) { notes << note; },
        };
        runReceive(trigger, ctx);
    }
};

constexpr auto Event = ReceiveTrigger::PortEvent;
constexpr auto Tick = ReceiveTrigger::TimerTick;

// A port that says bytes are waiting but hands none over.
class StalledPort : public FakeSerialPort
{
public:
    using FakeSerialPort::FakeSerialPort;
    int asked = 0;
    int inBufferCount() override { return ++asked < 100 ? 1 : 0; }
    QByteArray input() override { return {}; }
};

} // namespace

Q_DECLARE_METATYPE(ReceiveTrigger)

class ReceivePathTest : public QObject
{
    Q_OBJECT
private slots:
    void framesAndWaits_data();
    void framesAndWaits();
    void burstsAndGapsUnderQuietTime();
    void timedReadHandsOnBuffer_data();
    void timedReadHandsOnBuffer();
    void leftoversHandedOnAfterSwitchToTime();
    void quietTimeFrom_data();
    void quietTimeFrom();
    void bufferBound_data();
    void bufferBound();
    void portReportingPhantomBytesDoesNotHang_data();
    void portReportingPhantomBytesDoesNotHang();
    void requestAnsweredEndToEnd();
};

// The procedure runs at moment 0 (and at 300 where a row says so) over the scheduled arrivals.
void ReceivePathTest::framesAndWaits_data()
{
    QTest::addColumn<int>("termKind");
    QTest::addColumn<ReceiveTrigger>("trigger");
    QTest::addColumn<QString>("quietText");
    QTest::addColumn<Arrivals>("arrivals");
    QTest::addColumn<bool>("runAgainAt300");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QList<int>>("waits");

    QTest::newRow("CR LF: two frames in one read")
        << 0 << Event << "" << Arrivals{{0, "12\r\n34\r\n56"}} << false
        << QList<QByteArray>{"12\r\n", "34\r\n"} << QByteArray("56") << QList<int>{100};
    QTest::newRow("CR LF: bytes during the wait join the read")
        << 0 << Event << "" << Arrivals{{0, "12\r"}, {60, "\n34"}} << false
        << QList<QByteArray>{"12\r\n"} << QByteArray("34") << QList<int>{100};
    QTest::newRow("CR LF: split across two reads")
        << 0 << Event << "" << Arrivals{{0, "12\r"}, {300, "\n34"}} << true
        << QList<QByteArray>{"12\r\n"} << QByteArray("34") << QList<int>{100, 100};
    QTest::newRow("CR LF: lone CR is no frame end")
        << 0 << Event << "" << Arrivals{{0, "1\r2\r\n"}} << false << QList<QByteArray>{"1\r2\r\n"}
        << QByteArray() << QList<int>{100};
    QTest::newRow("CR LF: tick reads without waiting")
        << 0 << Tick << "" << Arrivals{{0, "12\r\n3"}} << false << QList<QByteArray>{"12\r\n"}
        << QByteArray("3") << QList<int>{};
    QTest::newRow("CR LF: nothing waiting") << 0 << Event << "" << Arrivals{{150, "late"}} << false
                                            << QList<QByteArray>{} << QByteArray() << QList<int>{};
    QTest::newRow("CR: LF after CR begins the next frame")
        << 1 << Event << "" << Arrivals{{0, "12\r\n34\r"}} << false
        << QList<QByteArray>{"12\r", "\n34\r"} << QByteArray() << QList<int>{100};
    QTest::newRow("CR: rest stays")
        << 1 << Event << "" << Arrivals{{0, "12\r34"}} << false << QList<QByteArray>{"12\r"}
        << QByteArray("34") << QList<int>{100};
    QTest::newRow("CR: tick waits too")
        << 1 << Tick << "" << Arrivals{{0, "12\r"}} << false << QList<QByteArray>{"12\r"}
        << QByteArray() << QList<int>{100};
    QTest::newRow("time: gaps under the quiet time make one frame")
        << 2 << Event << "200" << Arrivals{{0, "ab"}, {150, "cd"}, {390, "ef"}} << false
        << QList<QByteArray>{"abcdef"} << QByteArray() << QList<int>{200, 200, 200};
    QTest::newRow("time: quiet time from text with units")
        << 2 << Tick << " 50ms" << Arrivals{{0, "ab"}, {40, "cd"}} << false
        << QList<QByteArray>{"abcd"} << QByteArray() << QList<int>{50, 50};
    QTest::newRow("time: text without a number waits 0")
        << 2 << Event << "abc" << Arrivals{{0, "ab"}, {1, "cd"}} << false << QList<QByteArray>{"ab"}
        << QByteArray() << QList<int>{0};
}

void ReceivePathTest::framesAndWaits()
{
    QFETCH(int, termKind);
    QFETCH(ReceiveTrigger, trigger);
    QFETCH(QString, quietText);
    QFETCH(Arrivals, arrivals);
    QFETCH(bool, runAgainAt300);
    Line line;
    line.termKind = termKind;
    line.quietText = quietText;
    line.schedule(arrivals);
    line.run(trigger);
    if (runAgainAt300) {
        line.clock.advance(300 - int(line.clock.nowMs()));
        line.run(trigger);
    }
    QTEST(line.frames, "frames");
    QTEST(line.recvBuf, "left");
    QTEST(line.clock.waits, "waits");
}

// A burst after a gap longer than the quiet time is a new frame, at a later event or tick.
void ReceivePathTest::burstsAndGapsUnderQuietTime()
{
    Line line;
    line.schedule({{0, "ab"}, {150, "cd"}, {500, "ef"}});
    line.run(Event);
    QCOMPARE(line.frames, QList<QByteArray>{"abcd"});
    QCOMPARE(line.clock.nowMs(), 400);
    line.clock.advance(100);
    line.run(Tick);
    QCOMPARE(line.frames, (QList<QByteArray>{"abcd", "ef"}));
    QCOMPARE(line.quietReads, 2);
}

// The timer is off for the whole timed read, the frame handed on while it is off; the event
// hands on even an empty buffer, the tick only a non-empty one; RecvBuf is empty afterwards.
void ReceivePathTest::timedReadHandsOnBuffer_data()
{
    QTest::addColumn<ReceiveTrigger>("trigger");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<Arrivals>("arrivals");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("event, nothing at all")
        << Event << QByteArray() << Arrivals{} << QStringList{"timer off", "frame ", "timer on"};
    QTest::newRow("tick, nothing at all")
        << Tick << QByteArray() << Arrivals{} << QStringList{"timer off", "timer on"};
    QTest::newRow("tick, leftovers only") << Tick << QByteArray("12") << Arrivals{}
                                          << QStringList{"timer off", "frame 3132", "timer on"};
    QTest::newRow("event, leftovers and new bytes")
        << Event << QByteArray("56") << Arrivals{{0, "78"}}
        << QStringList{"timer off", "frame 35363738", "timer on"};
}

void ReceivePathTest::timedReadHandsOnBuffer()
{
    QFETCH(ReceiveTrigger, trigger);
    QFETCH(QByteArray, before);
    QFETCH(Arrivals, arrivals);
    Line line;
    line.recvBuf = before;
    line.schedule(arrivals);
    line.run(trigger);
    QTEST(line.events, "events");
    QCOMPARE(line.recvBuf, QByteArray());
    QCOMPARE(line.quietReads, 1);
}

void ReceivePathTest::leftoversHandedOnAfterSwitchToTime()
{
    Line line;
    line.termKind = TermCrLf;
    line.port.arriveNow("12\r\n34\r\n56");
    line.run(Event);
    line.termKind = TermTime;
    line.port.arriveNow("78");
    line.run(Event);
    QCOMPARE(line.frames, (QList<QByteArray>{"12\r\n", "34\r\n", "5678"}));
    QCOMPARE(line.recvBuf, QByteArray());
}

void ReceivePathTest::quietTimeFrom_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms");
    QTest::newRow("plain") << "200" << 200;
    QTest::newRow("blanks and unit") << "  200ms" << 200;
    QTest::newRow("blanks inside the digits") << "1 2" << 12;
    QTest::newRow("tab and line feed skipped") << "\t1\n5" << 15;
    QTest::newRow("half rounds down to even") << "2.5" << 2;
    QTest::newRow("half rounds up to even") << "3.5" << 4;
    QTest::newRow("second point ends the number") << "1.2.9" << 1;
    QTest::newRow("exponent not read") << "1e3" << 1;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("no number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("negative clamps to 0") << "-5" << 0;
    QTest::newRow("above range clamps") << "99999" << 32767;
    QTest::newRow("half above range clamps") << "32767.5" << 32767;
    QTest::newRow("400 digits clamp") << QString(400, u'9') << 32767;
    QTest::newRow("full-width digits are no number") << "２００" << 0;
}

void ReceivePathTest::quietTimeFrom()
{
    QFETCH(QString, text);
    QTEST(::quietTimeFrom(text), "ms");
}

// RecvBuf never exceeds 32,767 bytes; what is dropped is its oldest bytes, shown in the log.
void ReceivePathTest::bufferBound_data()
{
    QTest::addColumn<int>("termKind");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("arriving");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QStringList>("notes");

    const QByteArray full(32767, 'x');
    QTest::newRow("CR LF: exactly at the bound")
        << 0 << QByteArray(32766, 'x') << QByteArray("y") << QList<QByteArray>{}
        << full.left(32766) + "y" << QStringList{};
    QTest::newRow("CR LF: oldest bytes dropped")
        << 0 << QByteArray("ab") + full.left(32765) << QByteArray("cd") << QList<QByteArray>{}
        << full.left(32765) + "cd"
        << QStringList{"  <<受信バッファあふれ: 2 バイト破棄>>", "　61 62 "};
    QTest::newRow("CR: complete frames are never dropped")
        << 1 << QByteArray() << QByteArray(40000, 'y') + "\rz"
        << QList<QByteArray>{QByteArray(40000, 'y') + "\r"} << QByteArray("z") << QStringList{};
    QTest::newRow("time: a long burst keeps its newest bytes")
        << 2 << QByteArray() << "b" + full << QList<QByteArray>{full} << QByteArray()
        << QStringList{"  <<受信バッファあふれ: 1 バイト破棄>>", "　62 "};
}

void ReceivePathTest::bufferBound()
{
    QFETCH(int, termKind);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, arriving);
    Line line;
    line.termKind = termKind;
    line.recvBuf = before;
    line.port.arriveNow(arriving);
    line.run(Event);
    QTEST(line.frames, "frames");
    QTEST(line.recvBuf, "left");
    QTEST(line.notes, "notes");
}

void ReceivePathTest::portReportingPhantomBytesDoesNotHang_data()
{
    QTest::addColumn<int>("termKind");
    QTest::newRow("CR LF") << 0;
    QTest::newRow("CR") << 1;
    QTest::newRow("time") << 2;
}

void ReceivePathTest::portReportingPhantomBytesDoesNotHang()
{
    QFETCH(int, termKind);
    FakeClock clock;
    StalledPort port(&clock);
    QByteArray recvBuf;
    ReceiveContext ctx{port,
                       clock,
                       recvBuf,
                       termKind,
                       [] { return QStringLiteral("200"); },
                       [](const QByteArray &) {},
                       [](bool) {},
                       [](const QString &) {}};
    runReceive(ReceiveTrigger::PortEvent, ctx);
    QCOMPARE(port.asked, 1);
}

// The worked request: rack mode, time, 200 ms. One event reads it, waits 200 ms, hands the
// frame to the responder with the timer off, and the data reply goes out on the line.
void ReceivePathTest::requestAnsweredEndToEnd()
{
    Line line;
    RegisterMemory memory;
    memory.applyRackPreset();
    ResponderState state;
    state.simMode = 3;
    line.onFrame = [&](const QByteArray &frame) {
        for (const LineAction &a : respondToFrame(frame, state, memory)) {
            if (a.kind == LineAction::Send)
                line.port.output(a.bytes);
        }
    };
    line.port.arriveNow(Ctl::ENQ + "000000WR00003202" + "50");
    line.run(Event);
    QCOMPARE(line.clock.waits, QList<int>{200});
    QCOMPARE(line.port.written, QList<QByteArray>{Ctl::STX + "00000000020001" + Ctl::ETX + "A6"});
    QCOMPARE(line.events.first(), QStringLiteral("timer off"));
    QCOMPARE(line.events.last(), QStringLiteral("timer on"));
}

QTEST_GUILESS_MAIN(ReceivePathTest)
#include "tst_receive_path.moc"
