// FrameProc's answers: the received line and hex dump, the computer-link responder (replies,
// error codes and their precedence, malformed requests, register writes), the echo branch and
// the hand-over to the modem dialog. Each row is a frame and the exact actions it yields.
#include "ActionText.h"
#include "ControlCodes.h"
#include "FrameResponder.h"
#include "RegisterMemory.h"
#include "SumCheck.h"

#include <QTest>

using Registers = QMap<int, QString>;

namespace
{

const QByteArray CrLf = Ctl::CR + Ctl::LF;
const LineAction EnqNote = logged(QStringLiteral("  <<ENQを受信しました>>"));
const LineAction DataNote = logged(QStringLiteral("  <<データ返送>>"));
const LineAction AckNote = logged(QStringLiteral("  <<ACK返送>>"));
const LineAction NakNote = logged(QStringLiteral("  <<NAK返送>>"));
const LineAction SumNote = logged(QStringLiteral("  <<サムコードエラー>>"));
const LineAction FormatNote = logged(QStringLiteral("  <<電文形式エラー>>"));
const LineAction OtherNote = logged(QStringLiteral("  <<その他の電文を受信しました>>"));

// A request with its correct sum.
QByteArray enq(const QByteArray &body)
{
    return Ctl::ENQ + body + FCS(body);
}

LineAction receivedLine(const QByteArray &asciiShown)
{
    return logged(QStringLiteral("●") + QString::fromLatin1(asciiShown));
}

// The actions of a refused request: the notes, then NAK, the header and the code.
LineActions refused(const QByteArray &frame, const QByteArray &header, const char *code)
{
    LineActions a{receivedLine(frame), EnqNote};
    if (qstrcmp(code, "02") == 0)
        a << SumNote;
    if (qstrcmp(code, "07") == 0)
        a << FormatNote;
    return a << NakNote << sent(Ctl::NAK + header + code);
}

// The actions of a word read answered under the timed frame end.
LineActions readReply(const QByteArray &frame, const QByteArray &words)
{
    const QByteArray body = "000000" + words + Ctl::ETX;
    return {receivedLine(frame), EnqNote, DataNote, sent(Ctl::STX + body + FCS(body))};
}

LineActions writeReply(const QByteArray &frame)
{
    return {receivedLine(frame), EnqNote, AckNote, sent(Ctl::ACK + "000000")};
}

} // namespace

class FrameResponderTest : public QObject
{
    Q_OBJECT
private slots:
    void computerLink_data();
    void computerLink();
    void malformedRequests_data();
    void malformedRequests();
    void otherModes_data();
    void otherModes();
    void emptyFrameDoesNothing_data();
    void emptyFrameDoesNothing();

private:
    void check(int simMode, int termKind, bool hexOn, const QByteArray &frame,
               const LineActions &expected, const Registers &changed);
};

void FrameResponderTest::check(int simMode, int termKind, bool hexOn, const QByteArray &frame,
                               const LineActions &expected, const Registers &changed)
{
    RegisterMemory memory;
    memory.applyRackPreset();
    ResponderState state;
    state.simMode = qint16(simMode);
    state.termKind = qint16(termKind);
    state.termStr = terminatorFor(termKind);
    state.hexOn = hexOn;
    state.dialText = QStringLiteral("09012345678");
    QCOMPARE(actionText(respondToFrame(frame, state, memory)), actionText(expected));

    RegisterMemory preset;
    preset.applyRackPreset();
    for (int n = 0; n < RegisterMemory::Count; ++n)
        QCOMPARE(memory.word(n), changed.value(n, preset.word(n)));
}

void FrameResponderTest::computerLink_data()
{
    QTest::addColumn<int>("simMode");
    QTest::addColumn<int>("termKind");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<LineActions>("expected");
    QTest::addColumn<Registers>("changed");

    const QByteArray wr = Ctl::ENQ + "000000WR00003202" + "50";
    const QByteArray wrReply = Ctl::STX + "000000" + "0002" + "0001" + Ctl::ETX + "A6";
    QTest::newRow("word read by time")
        << 3 << 2 << wr << LineActions{receivedLine(wr), EnqNote, DataNote, sent(wrReply)}
        << Registers{};
    QTest::newRow("word read, CR LF removed and appended")
        << 3 << 0 << wr + CrLf
        << LineActions{receivedLine(wr), EnqNote, DataNote, sent(wrReply + CrLf)} << Registers{};
    QTest::newRow("word read, vehicle mode, CR")
        << 5 << 1 << wr + Ctl::CR
        << LineActions{receivedLine(wr), EnqNote, DataNote, sent(wrReply + Ctl::CR)} << Registers{};
    QTest::newRow("CR LF under time spoils the sum")
        << 3 << 2 << wr + CrLf
        << LineActions{receivedLine(wr + CrLf), EnqNote, SumNote, NakNote,
                       sent(Ctl::NAK + "000000" + "02")}
        << Registers{};

    const QByteArray count00 = enq("000000WR00003200");
    QTest::newRow("count 00 reads no words")
        << 3 << 2 << count00 << readReply(count00, "") << Registers{};
    const QByteArray last = enq("000000WR00012701");
    QTest::newRow("0127 count 01 reads D127")
        << 3 << 2 << last << readReply(last, "0000") << Registers{};
    const QByteArray past = enq("000000WR00012702");
    QTest::newRow("0127 count 02 is out of range")
        << 3 << 2 << past << refused(past, "000000", "05") << Registers{};
    const QByteArray ff = enq("000000WR000000FF");
    QTest::newRow("count FF is out of range")
        << 3 << 2 << ff << refused(ff, "000000", "05") << Registers{};
    const QByteArray head128 = enq("000000WR00012800");
    QTest::newRow("0128 count 00 reads nothing")
        << 3 << 2 << head128 << readReply(head128, "") << Registers{};
    const QByteArray blankCount = enq("000000WR000032 2");
    QTest::newRow("count blank then digit")
        << 3 << 2 << blankCount << readReply(blankCount, "00020001") << Registers{};
    const QByteArray stopCount = enq("000000WR0000321G");
    QTest::newRow("count stops at non-hex")
        << 3 << 2 << stopCount << readReply(stopCount, "0002") << Registers{};
    const QByteArray noCount = enq("000000WR000032G1");
    QTest::newRow("count without leading digit is 0")
        << 3 << 2 << noCount << readReply(noCount, "") << Registers{};
    const QByteArray lowerCount = enq("000000WR0000320a");
    QTest::newRow("count in lower case")
        << 3 << 2 << lowerCount
        << readReply(lowerCount, "00020001" + QByteArray("0000").repeated(8)) << Registers{};
    const QByteArray blankHead = enq("000000WR00 32 02");
    QTest::newRow("head address with blanks around")
        << 3 << 2 << blankHead << readReply(blankHead, "00020001") << Registers{};

    const QByteArray body5F = "000000WR0000320A"; // sums to 5F
    const QByteArray lowerSum = Ctl::ENQ + body5F + "5f";
    QTest::newRow("sum with a letter matches in upper case")
        << 3 << 2 << Ctl::ENQ + body5F + "5F"
        << readReply(Ctl::ENQ + body5F + "5F", "00020001" + QByteArray("0000").repeated(8))
        << Registers{};
    QTest::newRow("lower-case sum never matches")
        << 3 << 2 << lowerSum << refused(lowerSum, "000000", "02") << Registers{};
    const QByteArray allWrong = Ctl::ENQ + "000000RR00012702" + "00";
    QTest::newRow("sum checked before range and command")
        << 3 << 2 << allWrong << refused(allWrong, "000000", "02") << Registers{};
    const QByteArray rangeAndCommand = enq("000000RR00012702");
    QTest::newRow("range checked before command")
        << 3 << 2 << rangeAndCommand << refused(rangeAndCommand, "000000", "05") << Registers{};
    const QByteArray rr = enq("123456RR00003202");
    QTest::newRow("command RR") << 3 << 2 << rr << refused(rr, "123456", "06") << Registers{};
    const QByteArray lowerWr = enq("000000wr00003202");
    QTest::newRow("command is case-sensitive")
        << 3 << 2 << lowerWr << refused(lowerWr, "000000", "06") << Registers{};

    const QByteArray ww = Ctl::ENQ + "000000WW000032010005" + "19";
    QTest::newRow("word write, CR LF")
        << 3 << 0 << ww + CrLf
        << LineActions{receivedLine(ww), EnqNote, AckNote, sent(Ctl::ACK + "000000" + CrLf)}
        << Registers{{32, "0005"}};
    const QByteArray trailing = enq("000000WW00003201"
                                    "12  ");
    QTest::newRow("write field with trailing blanks")
        << 3 << 2 << trailing << writeReply(trailing) << Registers{{32, "0012"}};
    const QByteArray leading = enq("000000WW00003201"
                                   "  12");
    QTest::newRow("write field with leading blanks")
        << 3 << 2 << leading << writeReply(leading) << Registers{{32, "0012"}};
    const QByteArray negative = enq("000000WW00003201"
                                    "-005");
    QTest::newRow("write negative field")
        << 3 << 2 << negative << writeReply(negative) << Registers{{32, "-0005"}};
    const QByteArray two = enq("000000WW00012602"
                               "0007"
                               "9999");
    QTest::newRow("write the last two words")
        << 5 << 2 << two << writeReply(two) << Registers{{126, "0007"}, {127, "9999"}};
    const QByteArray none = enq("000000WW00003200");
    QTest::newRow("write count 00 changes nothing")
        << 3 << 2 << none << writeReply(none) << Registers{};
    const QByteArray extra = enq("000000WW00003201"
                                 "0009"
                                 "0008");
    QTest::newRow("data beyond the count is ignored")
        << 3 << 2 << extra << writeReply(extra) << Registers{{32, "0009"}};

    const QByteArray sjisHeader = enq("\x82\xA0"
                                      "0000WR00003201");
    const QByteArray sjisBody = "\x82\xA0"
                                "0000"
                                "0002" +
                                Ctl::ETX;
    QTest::newRow("double-byte header copied, shown decoded")
        << 3 << 2 << sjisHeader
        << LineActions{logged(QStringLiteral("●\x05あ0000WR00003201") +
                              QString::fromLatin1(FCS("\x82\xA0"
                                                      "0000WR00003201"))),
                       EnqNote, DataNote, sent(Ctl::STX + sjisBody + FCS(sjisBody))}
        << Registers{};

    QTest::newRow("STX frame") << 3 << 2 << Ctl::STX + "abc"
                               << LineActions{receivedLine(Ctl::STX + "abc"),
                                              logged(QStringLiteral("  <<STXを受信しました>>"))}
                               << Registers{};
    QTest::newRow("ACK frame, CR LF")
        << 3 << 0 << Ctl::ACK + CrLf
        << LineActions{receivedLine(Ctl::ACK), logged(QStringLiteral("  <<ACKを受信しました>>"))}
        << Registers{};
    QTest::newRow("NAK frame") << 5 << 2 << Ctl::NAK + "00000002"
                               << LineActions{receivedLine(Ctl::NAK + "00000002"),
                                              logged(QStringLiteral("  <<NAKを受信しました>>"))}
                               << Registers{};
    QTest::newRow("EOT is another message")
        << 5 << 2 << Ctl::EOT << LineActions{receivedLine(Ctl::EOT), OtherNote} << Registers{};
    QTest::newRow("CR LF alone") << 3 << 0 << CrLf << LineActions{receivedLine(""), OtherNote}
                                 << Registers{};
}

void FrameResponderTest::computerLink()
{
    QFETCH(int, simMode);
    QFETCH(int, termKind);
    QFETCH(QByteArray, frame);
    QFETCH(LineActions, expected);
    QFETCH(Registers, changed);
    check(simMode, termKind, false, frame, expected, changed);
}

// Requests the link's rules cannot evaluate: refused with 02 (no room for a sum) or 07 (a
// field cannot be read), the header as far as present, and never a register touched.
void FrameResponderTest::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("code");

    QTest::newRow("ENQ alone") << Ctl::ENQ << QByteArray() << QByteArray("02");
    QTest::newRow("ENQ and one byte") << Ctl::ENQ + "7" << QByteArray("7") << QByteArray("02");
    QTest::newRow("ENQ and a matching sum only")
        << Ctl::ENQ + "00" << QByteArray("00") << QByteArray("07");
    QTest::newRow("no word count")
        << enq("000000WR0000") << QByteArray("000000") << QByteArray("07");
    QTest::newRow("head address with a letter")
        << enq("000000WR00003X02") << QByteArray("000000") << QByteArray("07");
    QTest::newRow("negative head address")
        << enq("000000WR00-00102") << QByteArray("000000") << QByteArray("07");
    QTest::newRow("blank head address")
        << enq("000000WR00    02") << QByteArray("000000") << QByteArray("07");
    QTest::newRow("blank inside head address")
        << enq("000000WR003 2 02") << QByteArray("000000") << QByteArray("07");
    QTest::newRow("write data missing")
        << enq("000000WW00003201") << QByteArray("000000") << QByteArray("07");
    QTest::newRow("write data short of the count") << enq("000000WW00003202"
                                                          "0005")
                                                   << QByteArray("000000") << QByteArray("07");
    QTest::newRow("write field cut short") << enq("000000WW00003201"
                                                  "005")
                                           << QByteArray("000000") << QByteArray("07");
    QTest::newRow("second field bad, first not stored") << enq("000000WW00003202"
                                                               "0005"
                                                               "00x5")
                                                        << QByteArray("000000") << QByteArray("07");
    QTest::newRow("blank write field") << enq("000000WW00003201"
                                              "    ")
                                       << QByteArray("000000") << QByteArray("07");
    QTest::newRow("minus sign alone") << enq("000000WW00003201"
                                             "-   ")
                                      << QByteArray("000000") << QByteArray("07");
}

void FrameResponderTest::malformedRequests()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, code);
    check(3, 2, false, frame, refused(frame, header, code.constData()), Registers{});
}

// The echo modes, the modem dialog's hand-over and the hex dump line, which always precedes
// the mode's own actions.
void FrameResponderTest::otherModes_data()
{
    QTest::addColumn<int>("simMode");
    QTest::addColumn<int>("termKind");
    QTest::addColumn<bool>("hexOn");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<LineActions>("expected");

    const auto echoed = [](const QByteArray &frame, const QByteArray &shown, const char *name) {
        LineActions a{receivedLine(shown), sent(frame)};
        if (name)
            a << logged(QStringLiteral("  <<RECEVED %1>>").arg(QLatin1String(name)));
        return a;
    };
    QTest::newRow("NONE echoes ACK")
        << 0 << 2 << false << Ctl::ACK << echoed(Ctl::ACK, Ctl::ACK, "ACK");
    QTest::newRow("MNEA echoes EOT, CR LF")
        << 2 << 0 << false << Ctl::EOT + CrLf << echoed(Ctl::EOT + CrLf, Ctl::EOT, "EOT");
    QTest::newRow("rack ERR echoes ENQ")
        << 4 << 2 << false << enq("000000WR00003202")
        << echoed(enq("000000WR00003202"), enq("000000WR00003202"), "ENQ");
    QTest::newRow("echo of STX, CR")
        << 0 << 1 << false << Ctl::STX + "x\r" << echoed(Ctl::STX + "x\r", Ctl::STX + "x", "STX");
    QTest::newRow("echo of NAK") << 0 << 2 << false << Ctl::NAK + "1"
                                 << echoed(Ctl::NAK + "1", Ctl::NAK + "1", "NAK");
    QTest::newRow("plain text has no note")
        << 0 << 2 << false << QByteArray("abc") << echoed("abc", "abc", nullptr);

    const QByteArray enq0 = Ctl::ENQ + "0" + CrLf;
    QTest::newRow("hex dump includes frame end")
        << 0 << 0 << true << enq0
        << LineActions{receivedLine(Ctl::ENQ + "0"), logged(QStringLiteral("　05 30 0D 0A ")),
                       sent(enq0), logged(QStringLiteral("  <<RECEVED ENQ>>"))};
    QTest::newRow("hex dump shows both bytes of あ")
        << 0 << 2 << true << QByteArray("\x82\xA0")
        << LineActions{logged(QStringLiteral("●あ")), logged(QStringLiteral("　82 A0 ")),
                       sent("\x82\xA0")};
    const QByteArray wr = Ctl::ENQ + "000000WR00003202" + "50";
    QTest::newRow("hex dump before the link's notes")
        << 3 << 2 << true << wr
        << LineActions{receivedLine(wr),
                       logged(QStringLiteral(
                           "　05 30 30 30 30 30 30 57 52 30 30 30 30 33 32 30 32 35 30 ")),
                       EnqNote, DataNote, sent(Ctl::STX + "00000000020001" + Ctl::ETX + "A6")};
    QTest::newRow("modem OK dials")
        << 1 << 0 << true << QByteArray("OK\r\n")
        << LineActions{receivedLine("OK"), logged(QStringLiteral("　4F 4B 0D 0A ")),
                       logged(QStringLiteral("  <<OKを受信したのでCALL[09012345678]>>")),
                       sent("ATD09012345678\r\n")};
    QTest::newRow("modem ignores CR LF alone")
        << 1 << 0 << false << CrLf << LineActions{receivedLine("")};
}

void FrameResponderTest::otherModes()
{
    QFETCH(int, simMode);
    QFETCH(int, termKind);
    QFETCH(bool, hexOn);
    QFETCH(QByteArray, frame);
    QFETCH(LineActions, expected);
    check(simMode, termKind, hexOn, frame, expected, Registers{});
}

void FrameResponderTest::emptyFrameDoesNothing_data()
{
    QTest::addColumn<int>("simMode");
    for (int mode = 0; mode <= 5; ++mode)
        QTest::addRow("mode %d", mode) << mode;
}

void FrameResponderTest::emptyFrameDoesNothing()
{
    QFETCH(int, simMode);
    check(simMode, 2, true, QByteArray(), LineActions{}, Registers{});
}

QTEST_GUILESS_MAIN(FrameResponderTest)
#include "tst_frame_responder.moc"
