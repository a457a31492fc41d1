// SPDX-License-Identifier: MIT
// What only a long run of the line session on a virtual line shows. A host keeps the computer
// link (mode ラック) busy with a seeded mix of word reads, word writes and frames not led by ENQ
// under each frame end and checks every reply byte for byte against its own copy of the
// registers, while the memory in use stays flat. Then 1 MiB without a frame end: every byte
// dropped is accounted for in the log's notes.
#include "HostEnd.h"
#include "platform/Clock.h"
#include "platform/DevicePortService.h"
#include "protocol/ControlCodes.h"
#include "protocol/SumCheck.h"
#include "session/LineSession.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/resource.h>

namespace
{

const char *const FrameEnds[][2] = {{"CR LF", "\r\n"}, {"CR", "\r"}, {"by time", ""}};

// The line session on the real serial port and clock in mode ラック under a frame end and a
// quiet time, Com1: open on a pseudo-terminal linked in a temporary folder, and a host program's
// end of the line. The bytes the overflow notes say were dropped are added up.
struct LineFixture {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("com1"));
    LineSession session{std::make_unique<DevicePortService>(), std::make_unique<SystemClock>()};
    std::unique_ptr<HostEnd> host;
    qsizetype taken = 0; // bytes the host has received and the test has looked at
    qint64 dropped = 0;

    LineFixture(FrameEnd end, const QString &quietTime)
    {
        qputenv("PORTWREN_COM1", QByteArray("pty:") + link.toLocal8Bit());
        QObject::connect(&session, &LineSession::noted, [this](const Note &note) {
            static const QRegularExpression overflow(
                QStringLiteral("<<受信バッファあふれ: (\\d+) バイト破棄>>"));
            dropped += overflow.match(note.text).captured(1).toLongLong();
        });
        session.startTicking();
        session.setQuietTimeText(quietTime);
        session.chooseMode(SimMode::Rack);
        session.chooseFrameEnd(end);
        session.open();
        host = std::make_unique<HostEnd>(link);
    }
    // Runs the program until the host has n more bytes, or 5 s went by; returns what came.
    QByteArray receive(qsizetype n)
    {
        runUntil([&] { return host->collect().size() - taken >= n; });
        const QByteArray all = host->collect();
        return all.mid(std::exchange(taken, all.size()));
    }
    // Runs the program until done() holds, waking as soon as bytes reach the host; false after
    // 5 s.
    template <class Done> bool runUntil(Done done)
    {
        QSocketNotifier wake(host->fd(), QSocketNotifier::Read);
        const QDeadlineTimer deadline(5000);
        QTimer::singleShot(5000, &wake, [] {}); // wakes the loop at the deadline
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return done();
    }
};

// The host's side of the computer link, with its own copy of the registers.
struct Host {
    QRandomGenerator rng;
    QByteArray term;
    std::array<QByteArray, RegisterMemory::Count> words{};

    static QByteArray request(const QByteArray &body) { return Ctl::ENQ + body + sumCheck(body); }
    static QByteArray fmt(const char *f, int v) { return QString::asprintf(f, v).toLatin1(); }
    int pick(int n) { return int(rng.bounded(n)); }
    QByteArray text(int n)
    {
        QByteArray t(n, ' ');
        std::generate(t.begin(), t.end(), [this] { return char(0x20 + pick(0x5F)); });
        return t;
    }
    // A request and the exact reply it must get (none for a frame not led by ENQ). Refused
    // requests, every one of their forms, are the responder's fast tests.
    std::pair<QByteArray, QByteArray> next()
    {
        const int head = pick(128), n = 1 + pick(qMin(16, 128 - head)), kind = pick(5);
        const QByteArray id = text(6), fields = text(2) + fmt("%04d", head) + fmt("%02X", n);
        if (kind < 2) { // word read
            const auto first = words.begin() + head;
            const QByteArray data = id + QByteArrayList(first, first + n).join() + Ctl::ETX;
            return {request(id + "WR" + fields) + term, Ctl::STX + data + sumCheck(data) + term};
        }
        if (kind == 4) // not led by ENQ: noted, never answered
            return {Ctl::STX + text(pick(30)) + term, {}};
        QByteArray body = id + "WW" + fields; // word write
        for (int i = head; i < head + n; ++i) {
            const int v = pick(10999) - 999;
            body += fmt("%04d", v), words[i] = fmt(v < 0 ? "%05d" : "%04d", v);
        }
        return {request(body) + term, Ctl::ACK + id + term};
    }
};

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Under CR LF and CR one write carries up to six frames (each port event costs a 100 ms
    // wait); by time (quiet 1 ms), one frame a write, each waited for.
    void mixedRequests()
    {
        for (const FrameEnd end : {FrameEnd::CrLf, FrameEnd::Cr, FrameEnd::Time}) {
            const int requests = end == FrameEnd::Time ? 10000 : 500;
            LineFixture f(end, QStringLiteral("1"));
            Host host{QRandomGenerator(2024 + int(end)), FrameEnds[int(end)][1]};
            for (int n = 0; n < RegisterMemory::Count; ++n)
                host.words[n] = f.session.registers().word(n).toLatin1();
            for (int sent = 0; sent < requests;) {
                QByteArray out, reply;
                for (int i = end == FrameEnd::Time ? 0 : host.pick(6); i >= 0 && sent < requests;
                     --i, ++sent) {
                    const auto [bytes, answer] = host.next();
                    out += bytes, reply += answer;
                }
                const qint64 frames = f.session.framesReceived();
                QVERIFY(f.host->send(out));
                if (end == FrameEnd::Time && reply.isEmpty()) // unanswered: wait till it is taken
                    QVERIFY(f.runUntil([&] { return f.session.framesReceived() > frames; }));
                QCOMPARE(f.receive(reply.size()), reply);
            }
            for (int n = 0; n < RegisterMemory::Count; ++n)
                QCOMPARE(f.session.registers().word(n).toLatin1(), host.words[n]);
            rusage use{};
            ::getrusage(RUSAGE_SELF, &use);
            qInfo("%s: %d requests; peak resident %ld MiB", FrameEnds[int(end)][0], requests,
                  use.ru_maxrss >> 10);
#ifndef PORTWREN_SANITIZED // the sanitizer's quarantine and shadow memory hide what is in use
            QCOMPARE_LT(use.ru_maxrss >> 10, 200);
#endif
        }
    }

    // 1 MiB under CR LF without a frame end, 4,000 bytes a write: after each RecvBuf holds
    // the newest 32,767 bytes at most, the notes account for every byte dropped, and a request
    // after the CR LF that ends the junk is answered.
    void megabyteWithoutFrameEnd()
    {
        LineFixture f(FrameEnd::CrLf, QStringLiteral("200"));
        const QByteArray bytes = Host{QRandomGenerator(7), {}}.text(1 << 20);
        for (qsizetype sent = 0; sent < bytes.size(); sent += 4000) {
            QVERIFY(f.host->send(bytes.mid(sent, 4000)));
            const QByteArray newest = bytes.left(sent + 4000).right(32767);
            QVERIFY(f.runUntil([&] { return f.session.receiveBuffer() == newest; }));
        }
        QCOMPARE(f.dropped, bytes.size() - 32767);
        const QByteArray data = "00000000020001" + Ctl::ETX;
        QVERIFY(f.host->send("\r\n" + Host::request("000000WR00003202") + "\r\n"));
        QCOMPARE(f.receive(20), Ctl::STX + data + sumCheck(data) + "\r\n");
    }
};

QTEST_GUILESS_MAIN(SoakTest)
#include "test_soak.moc"
