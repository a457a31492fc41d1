// The line protocol engine over scripted input: the sum check and hex dump; the modem dialog's
// prompts; the responder's log lines, reply bytes and register writes, in order; and the
// receive path over a fake line and clock (frames cut by CR LF, CR and the quiet time, the waits
// made, the timer off around a timed read, leftovers handed on after a switch to time, the
// bound of RecvBuf with its note, the quiet time read from its text).
#include "Clock.h"
#include "ControlCodes.h"
#include "FakeSerialPort.h"
#include "FrameResponder.h"
#include "ModemDialog.h"
#include "ReceivePath.h"
#include "RegisterMemory.h"
#include "SumCheck.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Registers = QMap<int, QString>;
using Arrivals = QList<QPair<int, QByteArray>>; // (moment in ms, bytes)
using Runs = QList<QPair<int, int>>;            // (moment in ms, frame end: 0 CR LF, 1 CR, 2 time)
using Events = QByteArrayList;
using Waits = QList<int>;

namespace
{

// One line per action, the log text or the bytes sent, so that a failed QTEST names the line.
const auto sent = [](const QByteArray &bytes) { return u"send "_s + bytes.toHex(' '); };

QStringList lines(const LineActions &actions)
{
    QStringList out;
    for (const LineAction &a : actions)
        out << (a.kind == LineAction::Log ? a.text : sent(a.bytes));
    return out;
}

const QString Enq = u"  <<ENQを受信しました>>"_s, Sum = u"  <<サムコードエラー>>"_s;
const QString Data = u"  <<データ返送>>"_s, Ack = u"  <<ACK返送>>"_s,
              Format = u"  <<電文形式エラー>>"_s;
const auto enq = [](const QByteArray &body) { return Ctl::ENQ + body + FCS(body); };
const auto shown = [](const QByteArray &frame) { return "●" + QString::fromLatin1(frame); };

// What follows the received line: a data reply with these words, or a refusal.
QStringList readReply(const QByteArray &words)
{
    const QByteArray body = "000000" + words + Ctl::ETX;
    return {Enq, Data, sent(Ctl::STX + body + FCS(body))};
}

QStringList refused(const QByteArray &header, const char *code, const QStringList &notes = {})
{
    const QStringList nak{u"  <<NAK返送>>"_s, sent(Ctl::NAK + header + code)};
    return QStringList{Enq} + notes + nak;
}

constexpr auto Event = ReceiveTrigger::PortEvent;
constexpr auto Tick = ReceiveTrigger::TimerTick;

} // namespace

class ProtocolTest : public QObject
{
    Q_OBJECT
private slots:
    void sumCheck_data();
    void sumCheck();
    void hexDumpShowsEveryByte();
    void modemPrompts_data();
    void modemPrompts();
    void responder_data();
    void responder();
    void framesAndWaits_data();
    void framesAndWaits();
    void quietTimeFrom_data();
    void quietTimeFrom();
};

void ProtocolTest::sumCheck_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("sum");
    QTest::newRow("empty") << QByteArray() << QByteArray("00");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("26");
    QTest::newRow("request body") << QByteArray("000000WR00003202") << QByteArray("50");
    QTest::newRow("trail byte only, upper case") << QByteArray("\x82\xA0") << QByteArray("A0");
    QTest::newRow("leading zero") << QByteArray("\x0F") << QByteArray("0F");
    // 301 x (7A + FC) = 1B7BEh: past 16 bits, and the trail byte FC is itself a lead byte.
    QTest::newRow("long mixed text") << QByteArray("z\x9F\xFC").repeated(301) << QByteArray("BE");
}

void ProtocolTest::sumCheck()
{
    QFETCH(QByteArray, text);
    QTEST(FCS(text), "sum");
}

void ProtocolTest::hexDumpShowsEveryByte()
{
    QCOMPARE(hexDump(QByteArray("\x00\x0F\xAB\r\n", 5)), u"00 0F AB 0D 0A "_s);
}

// Prompts are judged by their first four bytes, case-sensitively; the dial text splits at its
// first comma into number and password ("7395" when there is no comma).
void ProtocolTest::modemPrompts_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("dialText");
    QTest::addColumn<QStringList>("expected");
    const auto call = [](const QString &number) {
        return QStringList{"  <<OKを受信したのでCALL[" + number + "]>>",
                           sent("ATD" + number.toLatin1() + "\r\n")};
    };
    const auto pwd = [](const QString &shown, const QByteArray &bytes) {
        return QStringList{"  <<@PWDを受信したのでパスワード「" + shown + "」を送信>>",
                           sent(bytes + "\r\n")};
    };
    const QByteArray ok("OK\r\n"), atPwd("@PWD\r\n");
    QTest::newRow("OK: no comma") << ok << "09012345678" << call("09012345678");
    QTest::newRow("OK and more") << QByteArray("OK\r\nxyz") << "0312,pw" << call("0312");
    QTest::newRow("@PWD: no comma") << atPwd << "0312" << pwd("7395", "7395");
    QTest::newRow("@PWD: later commas") << QByteArray("@PWD\r") << "1,a,b," << pwd("a,b,", "a,b,");
    QTest::newRow("@PWD: ending comma") << QByteArray("@PWD please") << "0312," << pwd("", "");
    QTest::newRow("@PWD: in CP932") << atPwd << "1,パス" << pwd("パス", "\x83\x70\x83\x58");
    QTest::newRow("@HOW") << QByteArray("@HOW") << "1"
                          << QStringList{u"  <<@HOWを受信したのでデータ送信要求「DAT」を送信>>"_s,
                                         sent("DAT\r\n")};
    QTest::newRow("OK CR is three bytes") << QByteArray("OK\r") << "1" << QStringList{};
    QTest::newRow("lower-case ok") << QByteArray("ok\r\n") << "1" << QStringList{};
    QTest::newRow("lower-case @pwd") << QByteArray("@pwd\r\n") << "1" << QStringList{};
}

void ProtocolTest::modemPrompts()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, dialText);
    QTEST(lines(answerModemPrompt(frame, dialText)), "expected");
}

// Each row: a frame under a mode (0 NONE, 1 modem, 3 rack, 4 rack ERR, 5 vehicle) and frame
// end (0 CR LF, 1 CR, 2 time), the exact lines it yields and the registers it changes from the
// rack preset; every other register must keep its value.
void ProtocolTest::responder_data()
{
    QTest::addColumn<ResponderState>("state");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<Registers>("changed");
    const auto row = [](const char *name, int mode, int term, bool hex, const QByteArray &frame,
                        const QStringList &expected, const Registers &changed = {}) {
        const ResponderState state{qint16(mode), qint16(term), terminatorFor(term), hex,
                                   u"09012345678"_s};
        QTest::newRow(name) << state << frame << expected << changed;
    };
    // Rack mode by time: the received line as sent, then the given lines.
    const auto rack = [&row](const char *name, const QByteArray &frame, const QStringList &tail,
                             const Registers &changed = {}) {
        row(name, 3, 2, false, frame, QStringList{shown(frame)} + tail, changed);
    };
    const QByteArray wr = Ctl::ENQ + "000000WR00003202" + "50";
    const QByteArray reply = Ctl::STX + "000000" + "0002" + "0001" + Ctl::ETX + "A6";

    rack("worked example", wr, {Enq, Data, sent(reply)});
    row("CR LF cut, then added", 3, 0, false, wr + "\r\n",
        {shown(wr), Enq, Data, sent(reply + "\r\n")});
    row("vehicle mode, CR", 5, 1, false, wr + "\r", {shown(wr), Enq, Data, sent(reply + "\r")});
    row("CR LF alone", 3, 0, false, "\r\n", {"●", u"  <<その他の電文を受信しました>>"_s});
    row("empty frame", 3, 2, true, "", {});

    rack("count 00", enq("000000WR00003200"), readReply(""));
    rack("0127 count 01", enq("000000WR00012701"), readReply("0000"));
    rack("0127 count 02", enq("000000WR00012702"), refused("000000", "05"));
    rack("count FF", enq("000000WR000000FF"), refused("000000", "05"));
    rack("count 0a", enq("000000WR0000320a"), readReply("00020001" + QByteArray(32, '0')));
    rack("lower-case sum", Ctl::ENQ + "000000WR0000320A" + "5f", refused("000000", "02", {Sum}));
    rack("sum before range", Ctl::ENQ + "000000RR00012702" + "00", refused("000000", "02", {Sum}));
    rack("range before command", enq("000000RR00012702"), refused("000000", "05"));
    rack("command RR, header copied", enq("123456RR00003202"), refused("123456", "06"));

    const QByteArray ww = enq("000000WW00012602-0059999");
    rack("write 12 and blanks", enq("000000WW0000320112  "), {Enq, Ack, sent(Ctl::ACK + "000000")},
         {{32, "0012"}});
    row("write the last two words, CR LF", 3, 0, false, ww + "\r\n",
        {shown(ww), Enq, Ack, sent(Ctl::ACK + "000000\r\n")}, {{126, "-0005"}, {127, "9999"}});
    rack("letter in head address", enq("000000WR00003X02"), refused("000000", "07", {Format}));
    rack("bad second field, none stored", enq("000000WW00003202000500x5"),
         refused("000000", "07", {Format}));

    row("rack ERR echoes, with note and hex line", 4, 0, true, Ctl::ENQ + "0\r\n",
        {shown(Ctl::ENQ + "0"), u"　05 30 0D 0A "_s, sent(Ctl::ENQ + "0\r\n"),
         u"  <<RECEVED ENQ>>"_s});
    row("echo of plain text, shown decoded", 0, 2, false, "\x82\xA0", {"●あ", sent("\x82\xA0")});
    row("modem mode dials", 1, 0, false, "OK\r\n",
        {"●OK", u"  <<OKを受信したのでCALL[09012345678]>>"_s, sent("ATD09012345678\r\n")});
}

void ProtocolTest::responder()
{
    QFETCH(ResponderState, state);
    QFETCH(QByteArray, frame);
    QFETCH(Registers, changed);
    RegisterMemory memory, preset;
    memory.applyRackPreset();
    preset.applyRackPreset();
    QTEST(lines(respondToFrame(frame, state, memory)), "expected");
    for (int n = 0; n < RegisterMemory::Count; ++n)
        QCOMPARE(memory.word(n), changed.value(n, preset.word(n)));
}

// The quiet time is " 150ms" throughout. "events" holds, in order, each frame handed on, each
// note for the log, and "[off]"/"[on]" for the timer.
void ProtocolTest::framesAndWaits_data()
{
    QTest::addColumn<ReceiveTrigger>("trigger");
    QTest::addColumn<Runs>("runs");
    QTest::addColumn<Arrivals>("arrivals");
    QTest::addColumn<Events>("events");
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<Waits>("waits");
    const QByteArray x(32765, 'x'), y(40000, 'y'), full(32767, 'z');
    const QByteArray off = "[off]", on = "[on]";

    QTest::newRow("CR LF: two frames in one read")
        << Event << Runs{{0, 0}} << Arrivals{{0, "12\r\n34\r\n56"}} << Events{"12\r\n", "34\r\n"}
        << "56"_ba << Waits{100};
    QTest::newRow("CR LF: split across reads")
        << Event << Runs{{0, 0}, {300, 0}} << Arrivals{{0, "12\r"}, {300, "\n34"}}
        << Events{"12\r\n"} << "34"_ba << Waits{100, 100};
    QTest::newRow("CR LF: tick reads at once") << Tick << Runs{{0, 0}} << Arrivals{{0, "12\r\n3"}}
                                               << Events{"12\r\n"} << "3"_ba << Waits{};
    QTest::newRow("CR: LF after CR opens a frame; tick waits")
        << Tick << Runs{{0, 1}} << Arrivals{{0, "12\r\n34\r5"}} << Events{"12\r", "\n34\r"}
        << "5"_ba << Waits{100};
    QTest::newRow("time: bursts join, a gap splits")
        << Tick << Runs{{0, 2}, {500, 2}} << Arrivals{{0, "ab"}, {100, "cd"}, {500, "ef"}}
        << Events{off, "abcd", on, off, "ef", on} << ""_ba << Waits{150, 150, 150};
    QTest::newRow("time: event, nothing waiting")
        << Event << Runs{{0, 2}} << Arrivals{} << Events{off, "", on} << ""_ba << Waits{};
    QTest::newRow("time: tick, nothing waiting")
        << Tick << Runs{{0, 2}} << Arrivals{} << Events{off, on} << ""_ba << Waits{};
    QTest::newRow("leftovers handed on after a switch to time")
        << Tick << Runs{{0, 0}, {300, 2}} << Arrivals{{0, "12\r\n56"}}
        << Events{"12\r\n", off, "56", on} << ""_ba << Waits{};
    QTest::newRow("CR LF: oldest bytes dropped")
        << Event << Runs{{0, 0}} << Arrivals{{0, "ab" + x + "cd"}}
        << Events{"  <<受信バッファあふれ: 2 バイト破棄>>", "　61 62 "} << x + "cd" << Waits{100};
    QTest::newRow("CR: complete frames never dropped")
        << Event << Runs{{0, 1}} << Arrivals{{0, y + "\rz"}} << Events{y + "\r"} << "z"_ba
        << Waits{100};
    QTest::newRow("time: a long burst keeps its newest bytes")
        << Event << Runs{{0, 2}} << Arrivals{{0, "b" + full}}
        << Events{off, "  <<受信バッファあふれ: 1 バイト破棄>>", "　62 ", full, on} << ""_ba
        << Waits{150};
}

void ProtocolTest::framesAndWaits()
{
    QFETCH(ReceiveTrigger, trigger);
    QFETCH(Runs, runs);
    QFETCH(Arrivals, arrivals);
    FakeClock clock;
    FakeSerialPort port(&clock);
    port.setPortOpen(true);
    for (const auto &[atMs, bytes] : arrivals)
        port.arrive(atMs, bytes);
    QByteArray recvBuf;
    Events events;
    const auto quiet = [] { return u" 150ms"_s; };
    const auto frameProc = [&](const QByteArray &frame) { events << frame; };
    const auto timer = [&](bool enabled) { events << (enabled ? "[on]" : "[off]"); };
    const auto note = [&](const QString &text) { events << text.toUtf8(); };
    for (const auto &[atMs, termKind] : runs) {
        clock.advance(atMs - int(clock.nowMs()));
        ReceiveContext ctx{port, clock, recvBuf, termKind, quiet, frameProc, timer, note};
        runReceive(trigger, ctx);
    }
    QTEST(events, "events");
    QTEST(recvBuf, "left");
    QTEST(clock.waits, "waits");
}

void ProtocolTest::quietTimeFrom_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms");
    QTest::newRow("blanks and unit") << "  200ms" << 200;
    QTest::newRow("blanks inside the digits") << "1 2" << 12;
    QTest::newRow("half rounds down to even") << "2.5" << 2;
    QTest::newRow("half rounds up to even") << "3.5" << 4;
    QTest::newRow("exponent not read") << "1e3" << 1;
    QTest::newRow("no number") << "abc" << 0;
    QTest::newRow("negative clamps to 0") << "-5" << 0;
    QTest::newRow("400 digits clamp") << QString(400, u'9') << 32767;
}

void ProtocolTest::quietTimeFrom()
{
    QFETCH(QString, text);
    QTEST(::quietTimeFrom(text), "ms");
}

QTEST_GUILESS_MAIN(ProtocolTest)
#include "tst_line_protocol.moc"
