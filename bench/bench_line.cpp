// SPDX-License-Identifier: MIT
// Prints what a host sees of the whole program on a virtual line, with the main window shown
// (run it on a real display with QT_QPA_PLATFORM=xcb to count painting):
//  - a burst of word reads of 2 words at the rack responder under CR LF: replies per second,
//    every reply checked;
//  - an echo of a continuous stream under the frame end by time (quiet time 0), 4 KiB every
//    5 ms (some 800 KB/s offered): intake in KB/s, every byte checked;
//  - END while a far end trickles a byte every 50 ms into a quiet time of 200 ms: the time from
//    the click to the program's end.
//   bench_line [requests=5000] [stream KiB=2048]
#include "BenchSupport.h"
#include "protocol/SumCheck.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

namespace
{

void burstOfWordReads(const QString &link, int requests)
{
    Program program;
    program.open(SimMode::Rack, FrameEnd::CrLf);
    const Burst burst = wordReadBurst(link, requests);
    std::printf("burst of %d word reads under CR LF: %.0f replies/s, %d of %d replies correct "
                "(target >= 2000/s, all correct)\n",
                requests, burst.repliesPerSecond, burst.good, requests);
}

void echoOfAStream(const QString &link, int kib)
{
    Program program;
    program.session.setQuietTimeText(QStringLiteral("0"));
    program.open(SimMode::None); // echo, frame end by time
    QByteArray stream(kib * 1024, Qt::Uninitialized);
    for (char &c : stream)
        c = char(QRandomGenerator::global()->bounded(256));
    std::atomic<bool> done = false;
    QByteArray got;
    qint64 start = 0, end = 0;
    std::thread host([&] {
        HostEnd line(link, HostEnd::Blocking);
        start = nowNs();
        std::thread writer([&] {
            for (qsizetype at = 0; at < stream.size(); at += 4096) {
                line.send(stream.mid(at, 4096));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        got = receive(line, stream.size(), 60000);
        end = nowNs();
        writer.join();
        done = true;
    });
    runUntil([&] { return done.load(); }, 120000);
    host.join();
    std::printf("echo of a %d KiB stream by time: intake %.0f KB/s, %s "
                "(target >= 100 KB/s, nothing lost)\n",
                kib, got.size() / 1e3 / ((end - start) / 1e9),
                got == stream ? "every byte back" : "BYTES LOST OR CHANGED");
}

// END clicked while the host does its part: how long until the program has ended.
void endWhile(const QString &link, const char *what, FrameEnd frameEnd,
              const std::function<void(HostEnd &)> &hostStep)
{
    Program program;
    program.open(SimMode::None, frameEnd); // NONE: the echo
    std::atomic<bool> stop = false;
    std::thread host([&] {
        HostEnd line(link, HostEnd::Blocking);
        while (!stop)
            hostStep(line);
    });
    bool ended = false;
    QObject::connect(&program.window, &MainWindow::endRequested, [&] { ended = true; });
    runUntil([] { return false; }, 1000);
    const qint64 click = nowNs();
    QTimer::singleShot(0, [&] { program.window.findChild<QPushButton *>("btnEnd")->click(); });
    runUntil([&] { return ended; }, 60000);
    std::printf("END while %s: ended %.1f ms after the click (target <= 100 ms)\n", what,
                (nowNs() - click) / 1e6);
    stop = true;
    host.join();
}

void endDuringATrickle(const QString &link)
{
    endWhile(link, "a far end trickles a byte every 50 ms into a quiet time of 200 ms",
             FrameEnd::Time, [](HostEnd &line) {
                 line.send("x");
                 std::this_thread::sleep_for(std::chrono::milliseconds(50));
             });
}

// Empty frames (CR LF alone) as fast as the line takes them, every echo read.
void endUnderAFlood(const QString &link)
{
    const QByteArray frames = QByteArray("\r\n").repeated(2048);
    endWhile(link, "a far end floods CR LF frames", FrameEnd::CrLf, [&frames](HostEnd &line) {
        line.send(frames);
        receive(line, 65536, 0); // what has come back; after the END, nothing
    });
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark(argc, argv, [&](const QString &link) {
        burstOfWordReads(link, argc > 1 ? atoi(argv[1]) : 5000);
        echoOfAStream(link, argc > 2 ? atoi(argv[2]) : 2048);
        endDuringATrickle(link);
        endUnderAFlood(link);
        return 0;
    });
}
