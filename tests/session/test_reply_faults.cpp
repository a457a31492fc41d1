// SPDX-License-Identifier: MIT
// Faults a control program asks of the simulated device, on a scripted port and clock: each kind
// against the exact bytes a host reads, replies kept in order behind a late or split one, the
// notes before the replies, a NAK that leaves a word write undone, and the register changes the
// session reports with their writer.
#include "RackFrames.h"
#include "SessionFixture.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using Faults = QList<Fault>;
using Pieces = QList<QByteArray>;
using Kind = Fault::Kind;

class ReplyFaultsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Rack mode under CR LF; the frames arrive one after another, each in its own second. "pieces"
    // is every write the host's end sees, in order; "notes" the fault notes, in order.
    void faultsOnTheLine_data()
    {
        QTest::addColumn<Faults>("faults");
        QTest::addColumn<Pieces>("frames");
        QTest::addColumn<Pieces>("pieces");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<QString>("d40"); // after the frames: a word write stores 0009 there
        QByteArray badSum = Data;
        badSum[16] = '0';
        QByteArray garbled = Data;
        garbled.back() = char(0x0A ^ 0xFF);

        QTest::newRow("drop one, then answer")
            << Faults{fault(Kind::Drop)} << Pieces{Read, Read} << Pieces{Data}
            << QStringList{"  <<FAULT drop (0 left)>>"} << QString("0000");
        QTest::newRow("late reply holds the next one behind it")
            << Faults{fault(Kind::Delay, 1, 1500)} << Pieces{Read, Write} << Pieces{Data, Ack}
            << QStringList{"  <<FAULT delay (0 left)>>"} << QString("0009");
        QTest::newRow("NAK twice: the write is not carried out")
            << Faults{fault(Kind::Nak, 2, 0, "05")} << Pieces{Write, Read, Read}
            << Pieces{"\x15"
                      "00000005\r\n",
                      "\x15"
                      "00000005\r\n",
                      Data}
            << QStringList{"  <<FAULT nak (1 left)>>", "  <<FAULT nak (0 left)>>"}
            << QString("0000");
        QTest::newRow("wrong sum waits for a reply that carries one")
            << Faults{fault(Kind::BadSum)} << Pieces{Write, Read} << Pieces{Ack, badSum}
            << QStringList{"  <<FAULT bad_sum (0 left)>>"} << QString("0009");
        QTest::newRow("split in three")
            << Faults{fault(Kind::Split, 1, 0, {}, 3, 10)} << Pieces{Read}
            << Pieces{Data.left(6), Data.mid(6, 7), Data.mid(13)}
            << QStringList{"  <<FAULT split (0 left)>>"} << QString("0000");
        QTest::newRow("garbled last byte, then the next fault")
            << Faults{fault(Kind::Garble), fault(Kind::Drop)} << Pieces{Read, Read, Read}
            << Pieces{garbled, Data}
            << QStringList{"  <<FAULT garble (0 left)>>", "  <<FAULT drop (0 left)>>"}
            << QString("0000");
    }

    void faultsOnTheLine()
    {
        QFETCH(Faults, faults);
        QFETCH(Pieces, frames);
        SessionFixture f;
        f.open(SimMode::Rack, FrameEnd::CrLf);
        for (const Fault &fault : faults)
            f.session.addFault(fault);
        for (const QByteArray &frame : frames)
            f.arrive(frame);
        f.clock->advance(5000);
        QTEST(Pieces(f.port->written), "pieces");
        QTEST(f.log.filter(u"<<FAULT"_s), "notes");
        QTEST(f.session.registers().word(40), "d40"); // no write gets through a NAK
        QCOMPARE(f.session.faultsPending(), 0);
        // The log shows each piece as it was sent.
        QCOMPARE(f.log.filter(QRegularExpression(u"^◎"_s)).size(), f.port->written.size());
    }

    // CLOSE ends what still waits to go out, with a note; the next OPEN starts with no fault left
    // behind in the line.
    void closeDropsWaitingReplies()
    {
        SessionFixture f;
        f.open(SimMode::None, FrameEnd::Time); // the echo is a reply too
        f.session.addFault(fault(Kind::Delay, 1, 5000));
        f.arrive("abc");
        f.session.close();
        f.clock->advance(10000);
        QVERIFY(f.port->written.isEmpty());
        QVERIFY(f.log.contains(u"  <<FAULT: 1 waiting replies not sent: the port closed>>"_s));
        QCOMPARE(f.session.repliesSent(), 0);
        QCOMPARE(f.session.framesReceived(), 1);
    }

    // The typed events among the log's lines (traffic and notes), in the order they happen: a
    // fault right after its note, a word write (changed or not; none through a NAK) before its
    // ACK, a control program's write, and the handshake's status with its step. Each change of
    // the registers names its writer and spans the words from the first changed to the last; a
    // write that changes nothing, or is refused, reports none.
    void eventsInTheLogsOrder()
    {
        SessionFixture f;
        QStringList seen;
        QObject::connect(&f.session, &LineSession::trafficPassed, [&seen](const Traffic &t) {
            seen << (t.direction == Traffic::Received ? u"received "_s : u"sent "_s) +
                        QString::fromLatin1(t.bytes.left(9).toHex());
        });
        QObject::connect(&f.session, &LineSession::noted,
                         [&seen](const Note &note) { seen << note.text; });
        const auto words = [&seen](const char *what) {
            return [&seen, what](int from, const QStringList &words, RegisterWriter by) {
                seen << u"%1 %2 %3 by %4"_s.arg(QLatin1String(what))
                            .arg(from)
                            .arg(words.join(u' '))
                            .arg(int(by));
            };
        };
        QObject::connect(&f.session, &LineSession::wordsWritten, words("write"));
        QObject::connect(&f.session, &LineSession::registersChanged, words("registers"));
        QObject::connect(&f.session, &LineSession::faultApplied, [&seen](const AppliedFault &a) {
            seen << u"fault %1 %2"_s.arg(faultKindName(a.kind)).arg(a.left);
        });
        QObject::connect(&f.session, &LineSession::handshakeStatusChanged, [&](const QString &s) {
            seen << u"handshake %1 step %2"_s.arg(s.left(4)).arg(
                f.session.handshake().stepNumber());
        });
        f.open(SimMode::Rack, FrameEnd::CrLf);
        f.session.addFault(fault(Kind::Split, 1, 0, {}, 2));
        f.session.addFault(fault(Kind::Nak, 1, 0, "05"));
        seen.clear();
        f.arrive(Write);
        f.arrive(Write); // refused by the NAK fault
        f.arrive(Write); // the same word again
        QVERIFY(f.session.storeWords(5, {"1", "x"}, RegisterWriter::Control)); // refused: none
        f.session.storeWords(44, {"0", "5", "0", "-7", "0"}, RegisterWriter::Control);
        f.session.registers().setWord(0, "0001"); // a storage instruction, flag D10 raised
        f.session.registers().setWord(10, "0001");
        f.session.stepHandshakeNow();
        const QString received = u"received 053030303030305757"_s; // the write's first bytes
        QCOMPARE(seen, QStringList({received,
                                    u"  <<ENQを受信しました>>"_s,
                                    u"write 40 0009 by 0"_s,
                                    u"  <<ACK返送>>"_s,
                                    u"  <<FAULT split (0 left)>>"_s,
                                    u"fault split 0"_s,
                                    u"sent 06303030"_s,
                                    u"sent 3030300d0a"_s,
                                    u"registers 40 0009 by 0"_s,
                                    received,
                                    u"  <<FAULT nak (0 left)>>"_s,
                                    u"fault nak 0"_s,
                                    u"  <<NAK返送>>"_s,
                                    u"sent 153030303030303035"_s,
                                    received,
                                    u"  <<ENQを受信しました>>"_s,
                                    u"write 40 0009 by 0"_s,
                                    u"  <<ACK返送>>"_s,
                                    u"sent 063030303030300d0a"_s,
                                    u"write 44 0000 0005 0000 -0007 0000 by 3"_s,
                                    u"registers 45 0005 0000 -0007 by 3"_s, // what changed
                                    u"registers 0 0001 0000 0000 0000 0000 0000 0000 0000 0000 "
                                    u"0000 0001 by 2"_s,
                                    u"handshake 搬送設定 step 1"_s}));
    }
};

QTEST_GUILESS_MAIN(ReplyFaultsTest)
#include "test_reply_faults.moc"
