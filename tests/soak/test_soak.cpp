// SPDX-License-Identifier: MIT
// What only a long run of the built program without windows on a virtual line shows. A host
// keeps the computer link (mode ラック) busy with a seeded mix of word reads, word writes and,
// under CR LF and CR, frames not led by ENQ, and checks every reply byte for byte against its own
// copy of the registers, while the program's memory stays flat. Then 1 MiB without a frame end: the
// log's notes account for every byte dropped, and the next request is answered.
#include "HostEnd.h"
#include "ProgramRun.h"
#include "protocol/ControlCodes.h"
#include "protocol/SumCheck.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

namespace
{

// The program in mode ラック under a frame end and a quiet time, its log in a file, and a host
// program's end of its line, blocking: the program runs on its own.
struct SoakRun : ProgramRun {
    std::unique_ptr<HostEnd> host;

    bool start(const char *frameEnd, const char *quietTime)
    {
        ProgramRun::start({"--no-window", "--port", "1=pty:DIR/com1", "--mode", "rack",
                           "--frame-end", frameEnd, "--quiet-time", quietTime, "--log", "DIR/log"});
        host = std::make_unique<HostEnd>(waitReady() ? link : QString(), HostEnd::Blocking);
        return host->isOpen();
    }
    // The next n bytes the host gets, or what came within 5 s.
    QByteArray receive(qsizetype n)
    {
        const qsizetype from = host->collected().size();
        const QDeadlineTimer deadline(5000);
        while (host->collect().size() - from < n && host->waitReadable(deadline.remainingTime())) {
        }
        return host->collected().mid(from);
    }
    // The program's peak resident memory, in MiB.
    int peakMiB() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
        static const QRegularExpression peak(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
        return peak.match(QString::fromLatin1(text)).captured(1).toInt() / 1024;
    }
};

QByteArray request(const QByteArray &body)
{
    return Ctl::ENQ + body + sumCheck(body);
}

// The n-th request a host sends and the exact reply it must get: by turns a word write of a
// number to a register that moves along D0-D127, and a word read of that register.
std::pair<QByteArray, QByteArray> exchange(int n, const QByteArray &term)
{
    const auto digits = [](int v, int width) {
        return QByteArray::number(v).rightJustified(width, '0');
    };
    const QByteArray id = digits(n % 1000000, 6), at = digits(n / 2 % 128, 4);
    const QByteArray word = digits(n / 2 % 10000, 4), data = id + word + Ctl::ETX;
    if (n % 2 == 0)
        return {request(id + "WW00" + at + "01" + word) + term, Ctl::ACK + id + term};
    return {request(id + "WR00" + at + "01") + term, Ctl::STX + data + sumCheck(data) + term};
}

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Under CR LF and CR one write carries a frame not led by ENQ, noted and never answered, and
    // up to six requests (each port event costs a 100 ms wait); by time (quiet 1 ms), one
    // request a write, each answered before the next.
    void manyRequests()
    {
        const char *const ends[][2] = {{"crlf", "\r\n"}, {"cr", "\r"}, {"time", ""}};
        for (const auto &[end, term] : ends) {
            const int requests = term[0] ? 500 : 10000;
            SoakRun run;
            QVERIFY(run.start(end, "1"));
            for (int sent = 0; sent < requests;) {
                QByteArray out = term[0] ? Ctl::STX + "not a request" + term : QByteArray(), reply;
                for (int i = term[0] ? sent % 6 : 0; i >= 0 && sent < requests; --i, ++sent) {
                    const auto [bytes, answer] = exchange(sent, term);
                    out += bytes, reply += answer;
                }
                QVERIFY(run.host->send(out));
                QCOMPARE(run.receive(reply.size()), reply);
            }
            qInfo("%s: %d requests; peak resident %d MiB", end, requests, run.peakMiB());
#ifndef PORTWREN_SANITIZED // the sanitizer's quarantine and shadow memory hide what is in use
            QCOMPARE_LT(run.peakMiB(), 100);
#endif
            QCOMPARE(run.endWith(SIGTERM), 0);
        }
    }

    // 1 MiB under CR LF without a frame end, 4,000 bytes a write: the notes of the receive
    // buffer's bound account for every byte but the newest 32,767, and a request after the CR LF
    // that ends the junk is answered.
    void megabyteWithoutFrameEnd()
    {
        SoakRun run;
        QVERIFY(run.start("crlf", "200"));
        QByteArray bytes(1 << 20, 0);
        std::generate(bytes.begin(), bytes.end(),
                      [n = 0]() mutable { return char(0x20 + n++ % 95); });
        for (qsizetype sent = 0; sent < bytes.size(); sent += 4000)
            QVERIFY(run.host->send(bytes.mid(sent, 4000)));
        const QByteArray data = "00000000020001" + Ctl::ETX;
        QVERIFY(run.host->send("\r\n" + request("000000WR00003202") + "\r\n"));
        QCOMPARE(run.receive(20), Ctl::STX + data + sumCheck(data) + "\r\n");
        QCOMPARE(run.endWith(SIGTERM), 0);
        QFile log(run.path("log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        static const QRegularExpression note(
            QStringLiteral("<<受信バッファあふれ: (\\d+) バイト破棄>>"));
        qsizetype dropped = 0;
        for (const QRegularExpressionMatch &m : note.globalMatch(QString::fromUtf8(log.readAll())))
            dropped += m.captured(1).toLongLong();
        QCOMPARE(dropped, bytes.size() - 32767);
    }
};

QTEST_GUILESS_MAIN(SoakTest)
#include "test_soak.moc"
