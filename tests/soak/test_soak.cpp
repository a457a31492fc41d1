// Long runs and faults of the whole program over a virtual line. A host keeps the computer
// link (mode ラック) busy with a seeded mix of good and bad requests under every frame end and
// checks every reply byte for byte against its own copy of the registers, while its end of the
// line vanishes and returns. Then: 1 MiB without a frame end, a quiet time without a number,
// a device another program holds, and the resident memory after a long run.
#include "ControlCodes.h"
#include "LineFixture.h"
#include "ReceivePath.h"
#include "RegisterMemory.h"
#include "SimMode.h"
#include "SumCheck.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTextBlock>
#include <QTimer>
#include <malloc.h>
#include <pty.h>

namespace
{

constexpr int CrLf = 0, Cr = 1, ByTime = 2; // the frame-end options
constexpr qsizetype RecvBufBound = 32767;
constexpr qint64 ResidentBoundMiB = 200;

// The process's resident memory; trimmed: after the freed heap went back to the system.
qint64 residentMiB(bool trimmed = false)
{
    if (trimmed)
        ::malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    return statm.open(QIODevice::ReadOnly)
               ? statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE) >> 20
               : -1;
}

// Runs the program until done() holds, waking as soon as bytes reach the host; false after ms.
template <class Done> bool runUntil(LineFixture &f, Done done, int ms = 5000)
{
    QSocketNotifier wake(f.host->fd(), QSocketNotifier::Read);
    const QDeadlineTimer deadline(ms);
    QTimer::singleShot(ms, &wake, [] {}); // wakes the loop at the deadline
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// What reached the host since the last take, once there are at least n bytes (or time is up).
QByteArray take(LineFixture &f, qsizetype n)
{
    runUntil(f, [&] { return f.host->collect().size() - f.taken >= n; });
    const QByteArray all = f.host->collect();
    return all.mid(std::exchange(f.taken, all.size()));
}

// The host's side of the computer link: it makes requests and knows from its own copy of the
// registers the exact reply each must get, or for a frame without one the note the log shows.
struct Host {
    QRandomGenerator rng;
    QByteArray term;
    std::array<QByteArray, RegisterMemory::Count> words{};
    struct Frame {
        QByteArray bytes, reply;
        QString note; // for a frame without a reply
    };

    int pick(int n) { return int(rng.bounded(n)); }
    QByteArray text(int n)
    {
        QByteArray t(n, ' ');
        for (char &c : t)
            c = char(0x20 + pick(0x5F));
        return t;
    }
    // A four-byte decimal field in a form a host may use ("-000" only where a sign may stand).
    QByteArray decimal(int v, bool signAllowed = false)
    {
        const QByteArray plain = QByteArray::number(v), digits = QByteArray::number(qAbs(v));
        const QByteArray padded =
            v < 0 ? "-" + digits.rightJustified(3, '0') : digits.rightJustified(4, '0');
        const QByteArray forms[] = {plain.rightJustified(4, ' '), plain.leftJustified(4, ' '),
                                    v == 0 && signAllowed ? "-000" : padded, padded};
        return forms[pick(4)];
    }
    // Two hexadecimal digits of either case; below 16 also a blank then one digit, or one digit
    // then a byte that ends the reading.
    QByteArray count(int c)
    {
        const QByteArray hex = QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        const QByteArray forms[] = {hex, hex.toLower(), " " + hex.right(1), hex.right(1) + "Z"};
        return forms[pick(c < 16 ? 4 : 2)];
    }

    Frame next()
    {
        static const char *const bad[] = {"00A1", "    ", "1 23", "+012",
                                          "--12", "- 5 ", "1.5 ", "-001"},
                                 *const commands[] = {"WX", "wr",    "ww", "RW",
                                                      "  ", "W\x05", "WR", "WW"};
        const auto request = [](const QByteArray &body) { return Ctl::ENQ + body + FCS(body); };
        const auto refused = [&](const QByteArray &rq, const char *code) {
            return Frame{rq + term, Ctl::NAK + rq.mid(1, 6) + code + term, {}};
        };
        const int head = pick(128), n = 1 + pick(qMin(16, 128 - head)), kind = pick(12);
        const QByteArray id = text(6), fields = text(2) + decimal(head) + count(n);
        QByteArray body = id + "WW" + fields, data = id;
        if (kind < 3) { // word read
            for (int i = head; i < head + n; ++i)
                data += words[i];
            data += Ctl::ETX;
            return {request(id + "WR" + fields) + term, Ctl::STX + data + FCS(data) + term, {}};
        }
        if (kind < 6) { // word write
            for (int i = head; i < head + n; ++i) {
                const int v = pick(10999) - 999;
                body += decimal(v, true);
                words[i] = (v < 0 ? "-" : "") + QByteArray::number(qAbs(v)).rightJustified(4, '0');
            }
            return {request(body) + term, Ctl::ACK + id + term, {}};
        }
        if (kind == 6) { // the sum is wrong, in lower case, or missing
            const QByteArray sum = FCS(body), lower = sum.toLower();
            const QByteArray wrong = lower != sum && pick(2) ? lower : FCS(body + text(1));
            return refused(Ctl::ENQ + (pick(8) ? body + wrong : text(pick(2))), "02");
        }
        const int c = 1 + pick(255), h = qMax(0, 129 - c) + pick(30); // beyond D127
        if (kind == 7)
            return refused(request(id + commands[pick(2) + 6] + text(2) + decimal(h) + count(c)),
                           "05");
        if (kind == 8) // neither WR nor WW
            return refused(request(id + commands[pick(6)] + fields), "06");
        if (kind == 9) { // too short for its fields, a head address or a data field not a number,
                         // data cut short: nothing is written
            const int form = pick(4), wrong = pick(n);
            if (form == 0)
                body.truncate(pick(14));
            if (form == 1)
                body = id + "WR" + text(2) + bad[pick(8)] + count(n);
            for (int i = 0; form >= 2 && i < n; ++i)
                body += i != wrong  ? decimal(pick(9999))
                        : form == 2 ? QByteArray(bad[pick(7)])
                                    : QByteArray::number(pick(999)).left(pick(4));
            return refused(request(body), "07");
        }
        // Not led by ENQ (or empty): noted, never answered.
        const QByteArray leads[] = {Ctl::STX, Ctl::ACK, Ctl::NAK, "A", ""},
                         names[] = {"STX", "ACK", "NAK", "その他の電文", "その他の電文"};
        const int k = pick(term.isEmpty() ? 4 : 5);
        const QString note =
            QStringLiteral("  <<%1を受信しました>>").arg(QString::fromUtf8(names[k]));
        return {leads[k] + (k < 4 ? text(pick(30)) : QByteArray()) + term, {}, note};
    }
};

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mixedRequests_data();
    void mixedRequests();
    void megabyteWithoutFrameEnd();
    void quietTimeWithoutNumber();
    void busyDeviceStaysClosed();
};

void SoakTest::mixedRequests_data()
{
    QTest::addColumn<int>("frameEnd");
    QTest::addColumn<int>("requests");
    const int n = qEnvironmentVariableIntValue("PORTWREN_SOAK_REQUESTS");
    QTest::newRow("CR LF") << CrLf << (n > 0 ? n : 500);
    QTest::newRow("CR") << Cr << (n > 0 ? n : 500);
    QTest::newRow("by time, quiet 1 ms") << ByTime << (n > 0 ? n : 10000);
}

// Under CR LF and CR one write carries up to six frames (each port event costs a 100 ms wait),
// the last possibly cut with its rest going in the next write; by time, one frame a write, each
// waited for. Now and then the host's end closes and opens again, even in the middle of a frame.
void SoakTest::mixedRequests()
{
    QFETCH(int, frameEnd);
    QFETCH(int, requests);
    LineFixture f;
    f.w->Text3->setText(QStringLiteral("1"));
    QVERIFY(f.open(ModeRack));
    QTest::mouseClick(f.w->Option3[frameEnd], Qt::LeftButton, {}, QPoint(6, 7));
    Host host{QRandomGenerator(quint32(2024 + frameEnd)),
              QByteArrayList{"\r\n", "\r", ""}[frameEnd]};
    for (int n = 0; n < RegisterMemory::Count; ++n)
        host.words[n] = registerMemory().word(n).toLatin1();
    const qint64 before = residentMiB(true);
    QElapsedTimer clock;
    clock.start();
    QByteArray held, heldReply;
    int reopened = 0;
    for (int sent = 0; sent < requests || !held.isEmpty();) {
        if (!host.pick(requests / 20 + 1)) {
            f.host.reset();
            f.host = std::make_unique<HostEnd>(f.link);
            f.taken = 0, ++reopened;
            QVERIFY(f.host->fd() >= 0 && f.w->OpenFlag == 1);
        }
        QByteArray out = std::exchange(held, {}), reply = std::exchange(heldReply, {});
        Host::Frame frame;
        for (int i = frameEnd == ByTime ? 0 : host.pick(6); i >= 0 && sent < requests;
             --i, ++sent) {
            frame = host.next();
            if (i == 0 && frameEnd != ByTime && frame.bytes.size() > 1 && !host.pick(4)) {
                const qsizetype cut = 1 + host.pick(int(frame.bytes.size() - 1));
                held = frame.bytes.mid(cut), heldReply = std::exchange(frame.reply, {});
                frame.bytes.truncate(cut);
            }
            out += frame.bytes, reply += frame.reply;
        }
        const int lines = f.w->RText->document()->blockCount();
        QVERIFY(f.host->send(out));
        if (frameEnd == ByTime && reply.isEmpty()) { // no answer: the log shows the frame taken
            QVERIFY(runUntil(f, [&] { return f.w->RText->document()->blockCount() > lines; }));
            QVERIFY(f.w->RText->document()->firstBlock().text().endsWith(frame.note));
        }
        const QByteArray got = take(f, reply.size());
        if (got != reply)
            QFAIL(qPrintable(QStringLiteral("after %1 requests, sent %2\nexpected %3\nreceived %4")
                                 .arg(sent)
                                 .arg(out.toHex(' '), reply.toHex(' '), got.toHex(' '))));
    }
    // The whole register memory, through the line and in the program.
    const QByteArray all = "000000WR00000080";
    const QByteArray data =
        "000000" + QByteArrayList(host.words.begin(), host.words.end()).join() + Ctl::ETX;
    QVERIFY(f.host->send(Ctl::ENQ + all + FCS(all) + host.term));
    const QByteArray reply = Ctl::STX + data + FCS(data) + host.term;
    QCOMPARE(take(f, reply.size()), reply);
    for (int n = 0; n < RegisterMemory::Count; ++n)
        QCOMPARE(registerMemory().word(n).toLatin1(), host.words[n]);
    const double seconds = clock.elapsed() / 1000.0;
    const qint64 withLog = residentMiB();
    QTest::mouseClick(f.w->btnClr, Qt::LeftButton);
    const qint64 cleared = residentMiB(), trimmed = residentMiB(true);
    qInfo("%s: %d requests, host end reopened %d times, %.1f s (%.2f ms a request); resident "
          "memory %lld MiB before, %lld with the log, %lld with it cleared, %lld trimmed",
          QTest::currentDataTag(), requests, reopened, seconds, seconds * 1000 / requests, before,
          withLog, cleared, trimmed);
    QVERIFY(reopened > 0);
#ifndef PORTWREN_SANITIZED // the sanitizer's quarantine and shadow memory hide what is in use
    QCOMPARE_LT(trimmed, ResidentBoundMiB);
#endif
}

// 1 MiB under CR LF without a frame end, 4,000 bytes a write: RecvBuf keeps the newest 32,767
// bytes, the log accounts for every byte dropped, and a request after the CR LF that ends the
// junk is answered.
void SoakTest::megabyteWithoutFrameEnd()
{
    LineFixture f;
    QVERIFY(f.open(ModeRack));
    QTest::mouseClick(f.w->Option3[CrLf], Qt::LeftButton, {}, QPoint(6, 7));
    Host junk{QRandomGenerator(7), {}};
    const QByteArray bytes = junk.text(1 << 20);
    QElapsedTimer clock;
    clock.start();
    qsizetype largest = 0;
    for (qsizetype sent = 0; sent < bytes.size(); sent += 4000) {
        QVERIFY(f.host->send(bytes.mid(sent, 4000)));
        const QByteArray last = bytes.mid(qMin(sent + 4000, bytes.size()) - 32, 32);
        QVERIFY(runUntil(f, [&] {
            largest = qMax(largest, f.w->RecvBuf.size());
            return f.w->RecvBuf.endsWith(last);
        }));
    }
    QCOMPARE_LE(largest, RecvBufBound);
    QVERIFY(f.w->RecvBuf == bytes.right(RecvBufBound));
    const QRegularExpression overflow(QStringLiteral("<<受信バッファあふれ: (\\d+) バイト破棄>>"));
    qsizetype dropped = 0;
    for (QTextBlock line = f.w->RText->document()->firstBlock(); line.isValid(); line = line.next())
        dropped += overflow.match(line.text()).captured(1).toLongLong();
    QCOMPARE(dropped, bytes.size() - RecvBufBound);
    const QByteArray body = "000000WR00003202", data = "00000000020001" + Ctl::ETX;
    const QByteArray reply = Ctl::STX + data + FCS(data) + "\r\n";
    QVERIFY(f.host->send("\r\n" + Ctl::ENQ + body + FCS(body) + "\r\n"));
    QCOMPARE(take(f, reply.size()), reply);
    QVERIFY(f.w->RecvBuf.isEmpty());
    qInfo("1 MiB without a frame end taken in %.1f s", clock.elapsed() / 1000.0);
}

// A quiet time is never longer than 32,767 ms; a box without a number means no quiet time.
void SoakTest::quietTimeWithoutNumber()
{
    QCOMPARE(quietTimeFrom(QStringLiteral("99999")), 32767);
    LineFixture f;
    f.w->Text3->setText(QStringLiteral("abc"));
    QVERIFY(f.open(ModeRack)); // the rack's frame end is by time
    const QByteArray write = "0A0B0CWW00004101-123";
    QVERIFY(f.host->send(Ctl::ENQ + write + FCS(write)));
    QCOMPARE(take(f, 7), Ctl::ACK + "0A0B0C");
}

// A device another program holds open: OPEN fails with a note naming it, the window stays
// Closed, and once the other program lets go the same OPEN succeeds.
void SoakTest::busyDeviceStaysClosed()
{
    int master = -1, slave = -1;
    char name[256];
    QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    QSerialPort other(QString::fromLocal8Bit(name));
    QVERIFY(other.open(QIODevice::ReadWrite));
    qputenv("PORTWREN_COM4", name);
    LineFixture f;
    QTest::mouseClick(f.w->Option2[3], Qt::LeftButton, {}, QPoint(6, 8));
    f.w->Text1->setText(QStringLiteral("9600,N,8,1"));
    f.w->btnOpen_Click();
    QCOMPARE(f.w->OpenFlag, 0);
    QVERIFY(f.w->btnOpen->isEnabled() && !f.w->btnClose->isEnabled() &&
            f.w->Option2[3]->isEnabled());
    QVERIFY(f.w->RText->document()->firstBlock().text().contains(
        QStringLiteral("<<OPENできません: ") + QString::fromLocal8Bit(name) + QLatin1Char(':')));
    other.close();
    f.w->btnOpen_Click();
    QCOMPARE(f.w->OpenFlag, 1);
    f.w->btnClose_Click();
    qunsetenv("PORTWREN_COM4");
    ::close(slave);
    ::close(master);
}

QTEST_MAIN(SoakTest)
#include "test_soak.moc"
