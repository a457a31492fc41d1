// SPDX-License-Identifier: MIT
// Prints the reply latency over a virtual line as a host measures it: a host thread sends
// word-read requests to the rack simulator (frame end by time) one after another and times each
// from the request's last byte written to the reply's first byte read. With quiet time 0 that
// is the whole latency; with 200 ms the figure is the time beyond the quiet time. The main
// window is shown, so on a real display (QT_QPA_PLATFORM=xcb) painting counts.
//   bench_latency [requests=200]
#include "BenchSupport.h"

#include <cstdio>

namespace
{

double medianLatencyMs(const QString &link, int quietMs, int requests)
{
    Program program;
    LineSession &session = program.session;
    session.setQuietTimeText(QString::number(quietMs));
    program.open(SimMode::Rack);
    QList<double> latencies = wordReadLatencies(link, quietMs ? 5 : 20, 5000,
                                                [&](qsizetype timed) { return timed < requests; });
    for (double &ms : latencies)
        ms -= quietMs; // the time beyond the quiet time
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
