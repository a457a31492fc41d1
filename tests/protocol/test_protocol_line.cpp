// SPDX-License-Identifier: MIT
// The line protocol engine over scripted input: the sum check; the modem dialog's prompts; the
// responder's log lines, reply bytes and register writes, in order; the quiet time read from
// its text. (The receive path's frames and waits are the session's tests.)
#include "platform/Cp932.h"
#include "protocol/FrameCutting.h"
#include "protocol/FrameResponder.h"
#include "protocol/ModemDialog.h"
#include "protocol/SumCheck.h"
#include "registers/RegisterMemory.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Registers = QMap<int, QString>;

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
const auto enq = [](const QByteArray &body) { return Ctl::ENQ + body + sumCheck(body); };
const auto sjis = [](const QString &text) { return Cp932::encode(text); };

// The answer of a request that is refused.
QStringList refused(const QByteArray &header, const char *code, const QStringList &notes = {})
{
    const QStringList nak{u"  <<NAK返送>>"_s, sent(Ctl::NAK + header + code)};
    return QStringList{Enq} + notes + nak;
}

} // namespace

class ProtocolTest : public QObject
{
    Q_OBJECT
private slots:
    void sumCheck();
    void modemPrompts();
    void responder_data();
    void responder();
    void quietTimeFrom();
};

void ProtocolTest::sumCheck()
{
    QCOMPARE(::sumCheck("\x82\xA0"), "A0"_ba); // the trail byte only, in upper case
    // 301 x (7A + FC) = 1B7BEh: past 16 bits, and the trail byte FC is itself a lead byte.
    QCOMPARE(::sumCheck(QByteArray("z\x9F\xFC").repeated(301)), "BE"_ba);
}

// Prompts are judged by their first four bytes, case-sensitively; the dial text splits at its
// first comma into number and password ("7395" when there is no comma).
void ProtocolTest::modemPrompts()
{
    QCOMPARE(lines(answerModemPrompt("OK\r\nxyz", u"0312,pw"_s)),
             QStringList({u"  <<OKを受信したのでCALL[0312]>>"_s, sent("ATD0312\r\n")}));
    QCOMPARE(
        lines(answerModemPrompt("@PWD\r\n", u"0312"_s)),
        QStringList({u"  <<@PWDを受信したのでパスワード「7395」を送信>>"_s, sent("7395\r\n")}));
    QCOMPARE(
        lines(answerModemPrompt("@PWD\r", u"1,a,b,"_s)),
        QStringList({u"  <<@PWDを受信したのでパスワード「a,b,」を送信>>"_s, sent("a,b,\r\n")}));
    QVERIFY(answerModemPrompt("OK\r", u"1"_s).isEmpty()); // too short to be judged
    QVERIFY(answerModemPrompt("ok\r\n", u"1"_s).isEmpty());
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
    const auto row = [](const char *name, int mode, int term, const QByteArray &frame,
                        const QStringList &expected, const Registers &changed = {}) {
        QTest::newRow(name) << ResponderState{SimMode(mode), FrameEnd(term), {}} << frame
                            << expected << changed;
    };
    // Rack mode by time.
    const auto rack = [&row](const char *name, const QByteArray &frame, const QStringList &expected,
                             const Registers &changed = {}) {
        row(name, 3, 2, frame, expected, changed);
    };
    const QByteArray wr = Ctl::ENQ + "000000WR00003202" + "50";
    const QByteArray reply = Ctl::STX + "000000" + "0002" + "0001" + Ctl::ETX + "A6";

    rack("worked example", wr, {Enq, Data, sent(reply)});
    row("CR LF cut, then added", 3, 0, wr + "\r\n", {Enq, Data, sent(reply + "\r\n")});
    row("CR LF alone", 3, 0, "\r\n", {u"  <<その他の電文を受信しました>>"_s});

    rack("count 00", enq("000000WR00003200"),
         {Enq, Data, sent(Ctl::STX + "000000" + Ctl::ETX + "23")});
    rack("0127 count 01", enq("000000WR00012701"),
         {Enq, Data, sent(Ctl::STX + "0000000000" + Ctl::ETX + "E3")});
    rack("sum before range", Ctl::ENQ + "000000RR00012702" + "00", refused("000000", "02", {Sum}));
    rack("0127 count 02, range before command", enq("000000RR00012702"), refused("000000", "05"));
    rack("command RR, header copied", enq("123456RR00003202"), refused("123456", "06"));

    rack("write 12 and blanks", enq("000000WW0000320112  "), {Enq, Ack, sent(Ctl::ACK + "000000")},
         {{32, "0012"}});
    rack("bad second field, none stored", enq("000000WW00003202000500x5"),
         refused("000000", "07", {Format}));
    rack("write data read as a box text", enq("000000WW00003203+005 1.5-2.5"),
         {Enq, Ack, sent(Ctl::ACK + "000000")}, {{32, "0005"}, {33, "0002"}, {34, "-0002"}});

    // Field positions count code page 932 characters; a double-byte character is one.
    // "AB漢字WR" is the header, so the head address reads "3202".
    rack("double-byte header, fields shift", enq(sjis(u"AB漢字WR00003202"_s)),
         refused(sjis(u"AB漢字WR"_s), "05"));
    const QByteArray kana = sjis(u"あいうえおか"_s); // the reply's sum counts trail bytes
    rack("six double-byte characters as header", enq(kana + "WR00003202"),
         {Enq, Data, sent(Ctl::STX + kana + "00020001" + Ctl::ETX + "63")});
    rack("16 characters in 17 bytes are too short", enq(sjis(u"0000あWR000032"_s)),
         refused(sjis(u"0000あW"_s), "07", {Format}));
    rack("lead byte before the sum takes its first digit", enq("000000WR00003202\x81"),
         refused("000000", "02", {Sum}));
    rack("double-byte blank in write data", enq(sjis(u"000000WW00003201　12 "_s)),
         {Enq, Ack, sent(Ctl::ACK + "000000")}, {{32, "0012"}});

    row("rack ERR echoes, with note", 4, 0, Ctl::ENQ + "0\r\n",
        {sent(Ctl::ENQ + "0\r\n"), u"  <<RECEVED ENQ>>"_s});
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

void ProtocolTest::quietTimeFrom()
{
    QCOMPARE(::quietTimeFrom(u"  200ms"_s), 200);
    QCOMPARE(::quietTimeFrom(u"1 2"_s), 12); // blanks inside the digits
    QCOMPARE(::quietTimeFrom(u"2.5"_s), 2);  // halves round to even
    QCOMPARE(::quietTimeFrom(u"3.5"_s), 4);
    QCOMPARE(::quietTimeFrom(u"-5"_s), 0);
    QCOMPARE(::quietTimeFrom(QString(400, u'9')), 32767);
}

QTEST_GUILESS_MAIN(ProtocolTest)
#include "test_protocol_line.moc"
