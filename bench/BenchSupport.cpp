// SPDX-License-Identifier: MIT
#include "BenchSupport.h"

#include "protocol/SumCheck.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace
{
QElapsedTimer sinceApplicationStart;
} // namespace

int runBenchmark(int argc, char *argv[], const std::function<int(const QString &link)> &measure)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    sinceApplicationStart.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PORTWREN"));
    installFontSubstitutions();
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("com1"));
    qputenv("PORTWREN_COM1", QByteArray("pty:") + link.toLocal8Bit());
    std::printf("platform %s\n", qPrintable(QApplication::platformName()));
    return measure(link);
}

double msSinceApplicationStart()
{
    return double(sinceApplicationStart.nsecsElapsed()) / 1e6;
}

bool Program::open(SimMode mode, std::optional<FrameEnd> end)
{
    window.show();
    session.chooseMode(mode);
    if (end)
        session.chooseFrameEnd(*end);
    return session.open();
}

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    return done();
}

QByteArray receive(HostEnd &line, qsizetype n, int timeoutMs)
{
    const qsizetype from = line.collected().size();
    const QDeadlineTimer deadline(timeoutMs);
    while (line.collect().size() - from < n && line.waitReadable(int(deadline.remainingTime()))) {
    }
    return line.collect().mid(from);
}

QList<double> wordReadLatencies(const QString &link, int pauseMs, int waitMs,
                                const std::function<bool(qsizetype timed)> &more)
{
    const QByteArray body = "000000WR00003202";
    const QByteArray request = "\x05" + body + sumCheck(body);
    const int replySize = 1 + 6 + 8 + 1 + 2;
    QList<double> latencies;
    std::atomic<bool> done = false;
    std::thread host([&] {
        HostEnd line(link, HostEnd::Blocking);
        while (line.isOpen() && more(latencies.size())) {
            line.send(request);
            const qint64 sent = nowNs();
            if (!line.waitReadable(waitMs))
                break;
            latencies << (nowNs() - sent) / 1e6;
            receive(line, replySize);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        done = true;
    });
    runUntil([&] { return done.load(); }, 600000);
    host.join();
    return latencies;
}

Burst wordReadBurst(const QString &link, int requests, const std::function<bool()> &readyToStart)
{
    const QByteArray body = "000000WR00003202";
    const QByteArray request = "\x05" + body + sumCheck(body) + "\r\n";
    const QByteArray data = "00000000020001\x03";
    const QByteArray reply = "\x02" + data + sumCheck(data) + "\r\n";
    std::atomic<bool> done = false;
    Burst burst;
    qint64 start = 0, end = 0;
    std::thread host([&] {
        while (!readyToStart())
            std::this_thread::yield();
        HostEnd line(link, HostEnd::Blocking);
        start = nowNs();
        std::thread writer([&] { line.send(request.repeated(requests)); });
        const QByteArray got = receive(line, reply.size() * requests, 60000);
        end = nowNs();
        writer.join();
        for (qsizetype at = 0; at + reply.size() <= got.size(); at += reply.size())
            burst.good += got.mid(at, reply.size()) == reply;
        done = true;
    });
    runUntil([&] { return done.load(); }, 120000);
    host.join();
    burst.repliesPerSecond = burst.good / ((end - start) / 1e9);
    return burst;
}

qint64 nowNs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
}

double median(QList<double> figures)
{
    if (figures.isEmpty())
        return 0;
    std::sort(figures.begin(), figures.end());
    return figures[figures.size() / 2];
}
