// SPDX-License-Identifier: MIT
// Prints what a control program sees of the whole program (main window shown, Com1: on a
// virtual line, the control socket listening):
//  - the round trip of a "status" request, request written to answer read (median);
//  - a burst of word reads of 2 words at the rack responder under CR LF (as bench_line), in
//    replies per second, without and with a subscriber reading every event; runs alternate so
//    that the machine's drift falls on both, and the ratio of the medians is printed.
//   bench_control [round trips=2000] [requests=10000] [bursts each=5]
#include "BenchSupport.h"
#include "control/ControlServer.h"
#include "protocol/SumCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace
{

// A control program's end, with blocking calls, for a thread of its own.
class ControlLine
{
public:
    explicit ControlLine(const QString &path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    ~ControlLine() { ::close(m_fd); }
    void send(const QByteArray &line) { ::send(m_fd, line.constData(), size_t(line.size()), 0); }
    // The next line, or an empty one when none came within timeoutMs.
    QByteArray readLine(int timeoutMs = 5000)
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return line;
            }
            if (readSome(timeoutMs) <= 0)
                return {};
        }
    }
    // Reads what arrives within timeoutMs; the count of bytes, 0 for none, -1 at the end.
    qsizetype readSome(int timeoutMs)
    {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) != 1)
            return 0;
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return -1;
        m_buffer.append(buffer, n);
        return n;
    }
    // Forgets the lines read so far; returns how many there were.
    qsizetype forgetLines()
    {
        const qsizetype lines = m_buffer.count('\n');
        m_buffer.remove(0, m_buffer.lastIndexOf('\n') + 1);
        return lines;
    }

private:
    int m_fd;
    QByteArray m_buffer;
};

void roundTrips(Program &program, const QString &control, int count)
{
    std::atomic<bool> done = false;
    QList<double> microseconds;
    std::thread client([&] {
        ControlLine line(control);
        for (int n = 0; n < count; ++n) {
            const qint64 start = nowNs();
            line.send("{\"id\":1,\"op\":\"status\"}\n");
            if (line.readLine().isEmpty())
                break;
            microseconds << (nowNs() - start) / 1e3;
        }
        done = true;
    });
    runUntil([&] { return done.load(); }, 120000);
    client.join();
    Q_UNUSED(program);
    std::printf("control round trip (status), %lld of %d: median %.0f us (target <= 1000 us)\n",
                qlonglong(microseconds.size()), count, median(microseconds));
}

// Replies per second of one burst, every reply checked; with a subscriber that reads every
// event meanwhile.
double burst(const QString &link, const QString &control, int requests, bool subscribed,
             qint64 *events = nullptr)
{
    std::atomic<bool> done = false, subscriberReady = !subscribed;
    std::atomic<qint64> eventLines = 0;
    std::thread subscriber([&] {
        if (!subscribed)
            return;
        ControlLine line(control);
        line.send("{\"op\":\"subscribe\"}\n");
        line.readLine();
        subscriberReady = true;
        while (!done || line.readSome(100) > 0) {
            line.readSome(20);
            eventLines += line.forgetLines();
        }
    });
    const Burst burst =
        wordReadBurst(link, requests, [&subscriberReady] { return subscriberReady.load(); });
    done = true;
    subscriber.join();
    if (burst.good != requests)
        std::printf("  %d of %d replies correct\n", burst.good, requests);
    if (events)
        *events = eventLines;
    return burst.repliesPerSecond;
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark(argc, argv, [&](const QString &link) {
        const int trips = argc > 1 ? atoi(argv[1]) : 2000;
        const int requests = argc > 2 ? atoi(argv[2]) : 10000;
        const int bursts = argc > 3 ? atoi(argv[3]) : 5;
        const QString control = QFileInfo(link).dir().filePath(QStringLiteral("control"));
        Program program;
        ControlServer server(program.session);
        QString reason;
        if (!server.listen(control, &reason)) {
            std::printf("cannot listen: %s\n", qPrintable(reason));
            return 1;
        }
        program.open(SimMode::Rack, FrameEnd::CrLf);
        roundTrips(program, control, trips);
        QList<double> alone, withSubscriber;
        qint64 events = 0;
        for (int n = 0; n < bursts; ++n) {
            alone << burst(link, control, requests, false);
            withSubscriber << burst(link, control, requests, true, &events);
        }
        std::printf("burst of %d word reads under CR LF: %.0f replies/s alone, %.0f replies/s "
                    "with a subscriber (median of %d each): %.0f %% (target >= 80 %%); the "
                    "subscriber read %lld events in the last burst (4 a request: received, 2 "
                    "notes, sent)\n",
                    requests, median(alone), median(withSubscriber), bursts,
                    100 * median(withSubscriber) / median(alone), qlonglong(events));
        return 0;
    });
}
