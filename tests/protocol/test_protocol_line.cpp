// SPDX-License-Identifier: MIT
// The line protocol engine over scripted input: the sum check; the answer to a frame in every
// mode (log lines, reply bytes and register writes, in order): every reply form of the computer
// link under every frame end, the word count's digits, the fields counted in code page 932
// characters, the modem dialog's prompts, the echo's notes; the quiet time read from its text.
// (The receive path's frames and waits are the session's tests.)
#include "platform/Cp932.h"
#include "protocol/FrameCutting.h"
#include "protocol/FrameResponder.h"
#include "protocol/SumCheck.h"
#include "registers/RegisterMemory.h"

#include <QTest>
#include <numeric>

using namespace Qt::StringLiterals;
using Registers = QMap<int, QString>;

namespace
{

// One line per action, the log text, the bytes sent or the words a write stored, so that a
// failed QTEST names the line.
const auto sent = [](const QByteArray &bytes) { return u"send "_s + bytes.toHex(' '); };
const auto wrote = [](int from, const QStringList &words) {
    return u"wrote D%1 "_s.arg(from, 4, 10, QChar(u'0')) + words.join(u' ');
};

QStringList lines(const LineActions &actions)
{
    QStringList out;
    for (const LineAction &a : actions)
        out << (a.kind == LineAction::Log    ? a.text
                : a.kind == LineAction::Send ? sent(a.bytes)
                                             : wrote(a.from, a.words));
    return out;
}

const QString Enq = u"  <<ENQを受信しました>>"_s, Sum = u"  <<サムコードエラー>>"_s;
const QString Data = u"  <<データ返送>>"_s, Ack = u"  <<ACK返送>>"_s,
              Format = u"  <<電文形式エラー>>"_s;
const auto enq = [](const QByteArray &body) { return Ctl::ENQ + body + sumCheck(body); };
const auto sjis = [](const QString &text) { return Cp932::encode(text); };
const auto zeros = [](int words) { return QByteArray("0000").repeated(words); };

// The answer of a word read: STX, the header, the words, ETX, the sum.
QStringList data(const QByteArray &header, const QByteArray &words, const QByteArray &end = {})
{
    const QByteArray body = header + words + Ctl::ETX;
    return {Enq, Data, sent(Ctl::STX + body + sumCheck(body) + end)};
}

// The answer of a request that is refused.
QStringList refused(const QByteArray &header, const QByteArray &code, const QStringList &notes = {})
{
    return QStringList{Enq} + notes +
           QStringList{u"  <<NAK返送>>"_s, sent(Ctl::NAK + header + code)};
}

} // namespace

class ProtocolTest : public QObject
{
    Q_OBJECT
private slots:
    void sumCheck()
    {
        QCOMPARE(::sumCheck("\x82\xA0"), "A0"_ba); // the trail byte only, in upper case
        // 301 x (7A + FC) = 1B7BEh: past 16 bits, and the trail byte FC is itself a lead byte.
        QCOMPARE(::sumCheck(QByteArray("z\x9F\xFC").repeated(301)), "BE"_ba);
        // Each end of the lead-byte ranges 81-9F and E0-FC, and the single bytes next to them.
        const QList<QPair<int, QByteArray>> before41 = {{0x81, "41"}, {0x9F, "41"}, {0xE0, "41"},
                                                        {0xFC, "41"}, {0x80, "C1"}, {0xA0, "E1"},
                                                        {0xDF, "20"}, {0xFD, "3E"}};
        for (const auto &[first, sum] : before41)
            QCOMPARE(QPair(first, ::sumCheck(char(first) + "A"_ba)), QPair(first, sum));
    }

    // Each row: a frame under a mode and frame end, the exact lines it yields and the registers it
    // changes from the rack preset; every other register must keep its value.
    void responder_data()
    {
        QTest::addColumn<ResponderState>("state");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<Registers>("changed");
        const auto row = [](const QString &name, SimMode mode, int end, const QByteArray &frame,
                            const QStringList &expected, const Registers &changed = {},
                            const QString &dial = {}) {
            QTest::newRow(qPrintable(name))
                << ResponderState{mode, FrameEnd(end), dial} << frame << expected << changed;
        };
        // Rack mode by time.
        const auto rack = [&row](const char *name, const QByteArray &frame,
                                 const QStringList &expected, const Registers &changed = {}) {
            row(QLatin1String(name), SimMode::Rack, 2, frame, expected, changed);
        };

        // Every reply form under every frame end: the request ends with the frame end, and so does
        // the reply. The checks go sum, fields, range, command; the header is copied.
        const char *const endNames[] = {"CR LF", "CR", "time"};
        const QByteArray terminators[] = {"\r\n", "\r", ""};
        for (int end = 0; end < 3; ++end) {
            const QByteArray t = terminators[end];
            const auto form = [&](const char *name, const QByteArray &request,
                                  const QStringList &lines, const Registers &changed = {}) {
                row(u"%1, %2"_s.arg(QLatin1String(name), QLatin1String(endNames[end])),
                    SimMode::Rack, end, request + t, lines, changed);
            };
            const QByteArray reply = Ctl::STX + "000000" + "0002" + "0001" + Ctl::ETX + "A6" + t;
            form("worked example", Ctl::ENQ + "000000WR00003202" + "50", {Enq, Data, sent(reply)});
            form("ACK", enq("000000WW0000320112  "),
                 {Enq, wrote(32, {"0012"}), Ack, sent(Ctl::ACK + "000000" + t)}, {{32, "0012"}});
            form("NAK 02, sum before range", Ctl::ENQ + "000000RR00012702" + "00",
                 refused("000000", "02" + t, {Sum}));
            form("NAK 02, sum in lower case", Ctl::ENQ + "000000WR00003201" + "4f",
                 refused("000000", "02" + t, {Sum}));
            form("NAK 05, range before command", enq("000000RR00012702"),
                 refused("000000", "05" + t));
            form("NAK 06", enq("123456RR00003202"), refused("123456", "06" + t));
            form("NAK 07, bad second field, none stored", enq("000000WW00003202000500x5"),
                 refused("000000", "07" + t, {Format}));
        }
        row(u"CR LF alone"_s, SimMode::Rack, 0, "\r\n", {u"  <<その他の電文を受信しました>>"_s});
        rack("STX noted", "\x02x", {u"  <<STXを受信しました>>"_s});
        rack("ACK noted", "\x06x", {u"  <<ACKを受信しました>>"_s});
        rack("NAK noted", "\x15x", {u"  <<NAKを受信しました>>"_s});

        // The word count: hexadecimal digits of either case, blanks skipped; head + count reaches
        // 128 and no further.
        rack("count 00", enq("000000WR00003200"), data("000000", {}));
        rack("count 0A", enq("000000WR0000500A"), data("000000", zeros(10)));
        rack("count 0a", enq("000000WR0000500a"), data("000000", zeros(10)));
        rack("count 10 is sixteen", enq("000000WR00005010"), data("000000", zeros(16)));
        rack("count 1f", enq("000000WR0000001f"), data("000000", zeros(31)));
        rack("count blank A", enq("000000WR000050 A"), data("000000", zeros(10)));
        rack("0120 count 08 ends at D127", enq("000000WR00012008"), data("000000", zeros(8)));
        rack("0120 count 09", enq("000000WR00012009"), refused("000000", "05"));

        rack("write data read as a box text", enq("000000WW00003203+005 1.5-2.5"),
             {Enq, wrote(32, {"0005", "0002", "-0002"}), Ack, sent(Ctl::ACK + "000000")},
             {{32, "0005"}, {33, "0002"}, {34, "-0002"}});
        // A write is reported whether it changes a word or not; one of no words is no write.
        rack("write of the word already stored", enq("000000WW000032010002"),
             {Enq, wrote(32, {"0002"}), Ack, sent(Ctl::ACK + "000000")});
        rack("write of no words", enq("000000WW00003200"), {Enq, Ack, sent(Ctl::ACK + "000000")});
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
             {Enq, wrote(32, {"0012"}), Ack, sent(Ctl::ACK + "000000")}, {{32, "0012"}});

        // The modem: a prompt is judged by its first four bytes, case-sensitively; the dial text
        // splits at its first comma into number and password ("7395" when there is no comma).
        const auto modem = [&row](const char *name, const QByteArray &frame, const QString &dial,
                                  const QStringList &expected) {
            row(QLatin1String(name), SimMode::PrGps, 0, frame, expected, {}, dial);
        };
        modem("OK dials", "OK\r\nxyz", u"0312,pw"_s,
              {u"  <<OKを受信したのでCALL[0312]>>"_s, sent("ATD0312\r\n")});
        modem("OK dials a double-byte number", "OK\r\n", u"電話"_s,
              {u"  <<OKを受信したのでCALL[電話]>>"_s, sent("ATD" + sjis(u"電話"_s) + "\r\n")});
        modem("@PWD sends the password", "@PWD\r\n", u"0312,pw"_s,
              {u"  <<@PWDを受信したのでパスワード「pw」を送信>>"_s, sent("pw\r\n")});
        modem("@PWD without a comma", "@PWD\r\n", u"0312"_s,
              {u"  <<@PWDを受信したのでパスワード「7395」を送信>>"_s, sent("7395\r\n")});
        modem("@PWD after the first comma", "@PWD\r", u"1,a,b,"_s,
              {u"  <<@PWDを受信したのでパスワード「a,b,」を送信>>"_s, sent("a,b,\r\n")});
        modem("@HOW asks for data", "@HOW\r\n", u"0312"_s,
              {u"  <<@HOWを受信したのでデータ送信要求「DAT」を送信>>"_s, sent("DAT\r\n")});
        modem("OK CR is too short", "OK\r", u"1"_s, {});
        modem("ok in lower case", "ok\r\n", u"1"_s, {});
        modem("@pwd in lower case", "@pwd\r\n", u"1"_s, {});

        // The echo: the frame back as received, then the name of a leading control code.
        const auto echo = [&row](const char *name, SimMode mode, const QByteArray &frame,
                                 const QStringList &notes) {
            row(QLatin1String(name), mode, 0, frame, QStringList{sent(frame)} + notes);
        };
        echo("NONE echoes EOT", SimMode::None, "\x04", {u"  <<RECEVED EOT>>"_s});
        echo("rack ERR echoes ENQ", SimMode::RackErr, Ctl::ENQ + "0\r\n", {u"  <<RECEVED ENQ>>"_s});
        echo("MNEA echoes STX", SimMode::Mnea, "\x02x\r\n", {u"  <<RECEVED STX>>"_s});
        echo("NONE echoes ACK", SimMode::None, "\x06", {u"  <<RECEVED ACK>>"_s});
        echo("NONE echoes NAK", SimMode::None, "\x15", {u"  <<RECEVED NAK>>"_s});
        echo("ETX is not named", SimMode::None, "\x03\x04", {});
        QByteArray every(256, 0);
        std::iota(every.begin(), every.end(), 0);
        echo("every byte value", SimMode::None, every, {});
    }

    void responder()
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

    void quietTimeFrom()
    {
        QCOMPARE(::quietTimeFrom(u"  200ms"_s), 200);
        QCOMPARE(::quietTimeFrom(u"1 2"_s), 12); // blanks inside the digits
        QCOMPARE(::quietTimeFrom(u"2.5"_s), 2);  // halves round to even
        QCOMPARE(::quietTimeFrom(u"3.5"_s), 4);
        QCOMPARE(::quietTimeFrom(u"-5"_s), 0);
        QCOMPARE(::quietTimeFrom(u"32767"_s), 32767);
        QCOMPARE(::quietTimeFrom(QString(400, u'9')), 32767);
    }
};

QTEST_GUILESS_MAIN(ProtocolTest)
#include "test_protocol_line.moc"
