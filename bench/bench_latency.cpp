// SPDX-License-Identifier: MIT
// Prints the reply latency over a virtual line as a host measures it: a host thread sends
// word-read requests to the rack simulator (frame end by time) one after another and times each
// from the request's last byte written to the reply's first byte read. With quiet time 0 that
// is the whole latency; with 200 ms the figure is the time beyond the quiet time. The main
// window is shown, so on a real display (QT_QPA_PLATFORM=xcb) painting counts.
//   bench_latency [requests=200]
#include "BenchSupport.h"
#include "protocol/SumCheck.h"

#include <atomic>
#include <cstdio>
#include <thread>

namespace
{

double medianLatencyMs(const QString &link, int quietMs, int requests)
{
    Program program;
    LineSession &session = program.session;
    session.setQuietTimeText(QString::number(quietMs));
    program.open(SimMode::Rack);
    const QByteArray body = "000000WR00003202";
    const QByteArray request = "\x05" + body + sumCheck(body);
    const int replySize = 1 + 6 + 8 + 1 + 2;
    QList<double> latencies;
    std::atomic<bool> done = false;
    std::thread host([&] {
        HostEnd line(link, HostEnd::Blocking);
        for (int i = 0; i < requests && line.isOpen(); ++i) {
            line.send(request);
            const qint64 sent = nowNs();
            if (!line.waitReadable(5000))
                break;
            latencies << (nowNs() - sent) / 1e6 - quietMs;
            receive(line, replySize);
            std::this_thread::sleep_for(std::chrono::milliseconds(quietMs ? 5 : 20));
        }
        done = true;
    });
    runUntil([&] { return done.load(); }, 600000);
    host.join();
    session.close();
    return median(latencies);
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark(argc, argv, [&](const QString &link) {
        const int requests = argc > 1 ? atoi(argv[1]) : 200;
        std::printf("quiet time   0 ms: median request-to-reply %.3f ms over %d requests "
                    "(target <= 1 ms)\n",
                    medianLatencyMs(link, 0, requests), requests);
        const int slow = std::max(1, requests / 10);
        std::printf("quiet time 200 ms: median time beyond the quiet time %.3f ms over %d "
                    "requests (target <= 1 ms)\n",
                    medianLatencyMs(link, 200, slow), slow);
        return 0;
    });
}
