// SPDX-License-Identifier: MIT
// The replies on their way to the line, on a scripted port and clock: the queue of faults (its
// limit and its exact count of replies still to be faulted), the bound of the replies waiting
// behind a late reply (a virtual line is not read meanwhile; a real port is, and the replies past
// the bound are not sent, with one note that counts them), and clearing the faults, which sends
// the waiting replies at once and in order.
#include "RackFrames.h"
#include "SessionFixture.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Kind = Fault::Kind;
using Faults = QList<Fault>;

namespace
{

// Frame n of a flood: 1024 bytes under CR LF, its number last so that the order shows.
QByteArray floodFrame(int n)
{
    return QByteArray(1018, 'a') + QByteArray::number(n).rightJustified(4, '0') + "\r\n";
}

QByteArrayList floodFrames(int from, int count)
{
    QByteArrayList frames;
    for (int n = from; n < from + count; ++n)
        frames << floodFrame(n);
    return frames;
}

const QString Full =
    u"%1 faults already wait, the most there may be: clear them or let replies use "
    "them up first"_s.arg(ReplyFaults::MaxWaiting);

} // namespace

class OutgoingRepliesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // "entries" faults of "count" replies each are queued, "replies" replies use them, the queue is
    // cleared or not; then one more fault of one reply is asked for.
    void faultQueueLimitAndCount_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("replies");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("taken"); // the one more
        QTest::addColumn<qint64>("pending");
        const int max = ReplyFaults::MaxWaiting;
        QTest::newRow("past the range of int, counted exactly")
            << 2148 << 1000000 << 0 << false << true << qint64(2148000001);
        QTest::newRow("the most, each of the most replies")
            << max << 1000000 << 3 << false << false << qint64(max) * 1000000 - 3;
        QTest::newRow("a full queue refuses one more")
            << max << 1 << 0 << false << false << qint64(max);
        QTest::newRow("a fault used up makes room")
            << max << 1 << 1 << false << true << qint64(max);
        QTest::newRow("a fault used in part keeps its place")
            << max << 2 << 1 << false << false << qint64(2 * max - 1);
        QTest::newRow("clear empties the queue") << max << 7 << 0 << true << true << qint64(1);
    }

    void faultQueueLimitAndCount()
    {
        QFETCH(int, entries);
        QFETCH(int, count);
        QFETCH(int, replies);
        ReplyFaults faults;
        for (int n = 0; n < entries; ++n)
            QVERIFY(!faults.add(fault(n % 2 ? Kind::Drop : Kind::Garble, count)));
        for (int n = 0; n < replies; ++n)
            QVERIFY(faults.apply("reply").applied.has_value());
        QFETCH(bool, cleared);
        if (cleared)
            faults.clear();
        QCOMPARE(faults.add(fault(Kind::Drop, 0)), std::nullopt); // for no reply: ignored
        const std::optional<QString> refused = faults.add(fault(Kind::Drop));
        QFETCH(bool, taken);
        QCOMPARE(refused, taken ? std::nullopt : std::optional<QString>(Full));
        QTEST(faults.pending(), "pending");
    }

    // A flood of frames under CR LF in NONE (each answered by its echo, 1024 bytes) while every
    // reply is held back ten minutes. On a real port every frame is read and answered: the
    // replies past the bound are not sent, and one note counts them once there is room again.
    // On a virtual line the frames stop being read before the bound: the rest waits in the
    // line, the far end with it, and nothing is lost. Clearing the faults then sends what waits.
    void heldRepliesBound_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("readingWaits");
        QTest::newRow("real port") << u"/dev/ttyS0"_s << false;
        QTest::newRow("virtual line") << u"pty:/tmp/line"_s << true;
    }

    void heldRepliesBound()
    {
        QFETCH(QString, device);
        QFETCH(bool, readingWaits);
        SessionFixture f;
        f.port->device = device;
        f.open(SimMode::None, FrameEnd::CrLf);
        f.session.addFault(fault(Kind::Delay, 1000000, 600000));
        const QByteArrayList frames = floodFrames(0, 1100), later = floodFrames(1100, 10);
        f.arrive(frames.join());
        f.arrive(later.join()); // a second later
        const OutgoingReplies &replies = f.session.outgoingReplies();
        const qsizetype held = replies.repliesWaiting();
        QVERIFY(replies.waitingSize() <= OutgoingReplies::Bound);
        QVERIFY(!replies.hasRoomForAReply());
        QVERIFY(f.port->written.isEmpty());
        const QStringList notSent = f.log.filter(u"replies not sent"_s);
        QVERIFY(notSent.isEmpty()); // not yet: no room has come back
        if (readingWaits) {         // stopped short of the bound, by about the room for a reply
            QCOMPARE(f.session.framesReceived(), qint64(held));
            QCOMPARE(qsizetype(f.port->bytesWaiting()), later.join().size()); // unread
            QVERIFY(replies.waitingSize() >
                    OutgoingReplies::Bound - OutgoingReplies::RoomForAReply - 2048);
        } else { // filled to within a reply of the bound
            QCOMPARE(f.session.framesReceived(), qint64(frames.size() + later.size()));
            QCOMPARE(f.session.faultsPending(), 1000000 - held); // no fault used on those
            QVERIFY(replies.waitingSize() > OutgoingReplies::Bound - 2048);
        }

        f.session.clearFaults();
        f.clock->advance(1000); // the release's turns, then the frames read after it
        const QByteArrayList all = frames + later;
        QCOMPARE(QByteArrayList(f.port->written), readingWaits ? all : all.first(held));
        QCOMPARE(f.log.filter(u"sent at once"_s),
                 QStringList(u"  <<FAULT: %1 waiting replies sent at once: the faults were "
                             "cleared>>"_s.arg(held)));
        QCOMPARE(f.log.filter(u"replies not sent"_s),
                 readingWaits ? QStringList()
                              : QStringList(u"  <<FAULT: %1 replies not sent: the replies waiting "
                                            "to go out reached the limit of 1048576 bytes>>"_s.arg(
                                                all.size() - held)));
        QCOMPARE(replies.waitingSize(), 0); // the memory is back
        QCOMPARE(f.session.repliesSent(), qint64(f.port->written.size()));
    }

    // Clearing the faults ends every wait at once: the rest of a split reply, a late reply and
    // the one behind it go out in that order, with one note, and the next reply carries no fault.
    // With nothing held back, clearing writes no note.
    void clearSendsHeldRepliesInOrder_data()
    {
        QTest::addColumn<Faults>("faults");
        QTest::addColumn<int>("before"); // writes before the clear
        QTest::addColumn<QByteArrayList>("written");
        QTest::addColumn<QStringList>("notes");
        const QString cleared = u"  <<FAULT: %1 waiting replies sent at once: the faults were "
                                "cleared>>"_s;
        const auto garbled = [](QByteArray reply) {
            reply.back() = char(reply.back() ^ 0xFF);
            return reply;
        };
        QTest::newRow("the rest of a split reply, a late one, one behind it")
            << Faults{fault(Kind::Split, 1, 0, {}, 3, 1000), fault(Kind::Delay, 1, 60000)} << 1
            << QByteArrayList{Data.left(6), Data.mid(6, 7), Data.mid(13), Data, Ack, Data}
            << QStringList{"  <<FAULT split (0 left)>>", "  <<FAULT delay (0 left)>>",
                           cleared.arg(3)};
        QTest::newRow("late replies, a fault left for later ones")
            << Faults{fault(Kind::Delay, 3, 600000), fault(Kind::Drop)} << 0
            << QByteArrayList{Data, Data, Ack, Data}
            << QStringList{"  <<FAULT delay (2 left)>>", "  <<FAULT delay (1 left)>>",
                           "  <<FAULT delay (0 left)>>", cleared.arg(3)};
        QTest::newRow("nothing held back: no note")
            << Faults{fault(Kind::Garble, 3), fault(Kind::Drop, 3)} << 3
            << QByteArrayList{garbled(Data), garbled(Data), garbled(Ack), Data}
            << QStringList{"  <<FAULT garble (2 left)>>", "  <<FAULT garble (1 left)>>",
                           "  <<FAULT garble (0 left)>>"};
    }

    void clearSendsHeldRepliesInOrder()
    {
        QFETCH(Faults, faults);
        SessionFixture f;
        f.open(SimMode::Rack, FrameEnd::CrLf);
        for (const Fault &fault : faults)
            QVERIFY(!f.session.addFault(fault));
        f.port->arriveNow(Read + Read + Write);
        f.port->raiseArrival();
        QCoreApplication::processEvents();
        f.clock->advance(500); // the frames are answered; a first piece goes out
        QTEST(int(f.port->written.size()), "before");
        f.session.clearFaults(); // no time passes
        QCOMPARE(f.session.faultsPending(), 0);
        QCOMPARE(f.session.outgoingReplies().waitingSize(), 0);
        f.arrive(Read);
        QTEST(QByteArrayList(f.port->written), "written");
        QTEST(f.log.filter(u"<<FAULT"_s), "notes");
    }
};

QTEST_GUILESS_MAIN(OutgoingRepliesTest)
#include "test_outgoing_replies.moc"
