// SPDX-License-Identifier: MIT
// Prints what a control program sees of the whole program (main window shown, Com1: on a
// virtual line, the control socket listening), and what control programs cost the line:
//  - the round trip of a "status" request, request written to answer read (median);
//  - a burst of word reads of 2 words at the rack responder under CR LF (as bench_line), in
//    replies per second, without and with a subscriber reading every event; runs alternate so
//    that the machine's drift falls on both, and the ratio of the medians is printed;
//  - the line's reply latency (request's last byte to reply's first, quiet time 0: median and
//    max) without a flood, and while a subscribed client pipelines fault requests: accepted
//    ones ("clear"), queued ones ("split"), and refused ones;
//  - resident memory while a host floods the line, without control clients, then with 64
//    subscribers that never read and 200 more clients connecting; and after they have gone.
//   bench_control [round trips=2000] [requests=10000] [bursts each=5] [flood requests=80000]
#include "BenchSupport.h"
#include "control/ControlServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <list>
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
    ControlLine(const ControlLine &) = delete;
    ControlLine &operator=(const ControlLine &) = delete;
    void send(const QByteArray &line)
    {
        for (qsizetype at = 0; at < line.size();) {
            const ssize_t n =
                ::send(m_fd, line.constData() + at, size_t(line.size() - at), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            at += n;
        }
    }
    // The next line after the greeting, or an empty one when none came within timeoutMs.
    QByteArray readLine(int timeoutMs = 5000)
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                if (line.startsWith("{\"portwren\":"))
                    continue;
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
    // Forgets the lines read so far; returns how many of them were answers, not events or the
    // greeting.
    qsizetype forgetAnswers()
    {
        qsizetype answers = 0;
        for (qsizetype at = 0, end; (end = m_buffer.indexOf('\n', at)) >= 0; at = end + 1)
            answers += QByteArrayView(m_buffer).sliced(at).startsWith("{\"id\"");
        m_buffer.remove(0, m_buffer.lastIndexOf('\n') + 1);
        return answers;
    }

private:
    int m_fd;
    QByteArray m_buffer;
};

void roundTrips(const QString &control, int count)
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

// The line's reply latencies in ms, a word read at a time with a pause of 1 ms between, taken
// until stop() holds (and at least `least` of them).
QList<double> lineLatencies(const QString &link, int least, const std::function<bool()> &stop)
{
    return wordReadLatencies(link, 1, 10000,
                             [&](qsizetype timed) { return timed < least || !stop(); });
}

void printLatencies(const char *what, QList<double> ms, double seconds = 0)
{
    std::sort(ms.begin(), ms.end());
    std::printf("  %-44s median %6.3f ms, max %7.3f ms (%lld replies)", what, median(ms),
                ms.isEmpty() ? 0.0 : ms.last(), qlonglong(ms.size()));
    if (seconds > 0)
        std::printf(", the flood answered in %.2f s", seconds);
    std::printf("\n");
}

// The line's reply latency while a subscribed client pipelines `count` copies of `request`
// and reads every answer.
void latencyUnderFlood(const QString &link, const QString &control, const char *what,
                       const QByteArray &request, int count)
{
    std::atomic<bool> flooding = true, ready = false;
    double seconds = 0;
    std::thread client([&] {
        ControlLine line(control);
        line.send("{\"op\":\"subscribe\"}\n");
        line.readLine();
        ready = true;
        const qint64 start = nowNs();
        std::thread writer([&] { line.send((request + '\n').repeated(count)); });
        qsizetype answers = 0;
        while (answers < count && line.readSome(10000) > 0)
            answers += line.forgetAnswers();
        seconds = (nowNs() - start) / 1e9;
        writer.join();
        flooding = false;
    });
    runUntil([&] { return ready.load(); }, 10000);
    const QList<double> latencies = lineLatencies(link, 0, [&] { return !flooding.load(); });
    client.join();
    printLatencies(what, latencies, seconds);
    std::atomic<bool> cleared = false;
    std::thread clear([&] {
        ControlLine line(control);
        line.send("{\"op\":\"fault\",\"kind\":\"clear\"}\n");
        line.readLine();
        cleared = true;
    });
    runUntil([&] { return cleared.load(); }, 10000);
    clear.join();
}

void latencies(Program &program, const QString &link, const QString &control, int flood)
{
    LineSession &session = program.session;
    session.close();
    session.chooseFrameEnd(FrameEnd::Time);
    session.setQuietTimeText(QStringLiteral("0"));
    session.open();
    std::printf("line reply latency, request's last byte to reply's first, quiet time 0; "
                "a client pipelines %d requests (target: median within 2 ms of the first):\n",
                flood);
    printLatencies("without a flood", lineLatencies(link, 500, [] { return true; }));
    latencyUnderFlood(link, control, "fault clear (answered ok)",
                      R"({"id":1,"op":"fault","kind":"clear"})", flood);
    latencyUnderFlood(link, control, "fault split, 2 pieces (queued)",
                      R"({"id":1,"op":"fault","kind":"split","pieces":2})", flood);
    latencyUnderFlood(link, control, "fault split, 1 piece (refused)",
                      R"({"id":1,"op":"fault","kind":"split","pieces":1})", flood);
}

// Resident memory in MB, sampled on a thread of its own every 5 ms while running; the peak.
class ResidentMemory
{
public:
    static double nowMb()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
        return 0;
    }
    void start()
    {
        m_peak = nowMb();
        m_running = true;
        m_sampler = std::thread([this] {
            while (m_running) {
                m_peak = std::max(m_peak.load(), nowMb());
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    double stop()
    {
        m_running = false;
        m_sampler.join();
        return m_peak;
    }

private:
    std::atomic<bool> m_running = false;
    std::atomic<double> m_peak = 0;
    std::thread m_sampler;
};

// The peak resident memory while a host sends `requests` word reads as fast as the line takes
// them (four events a request for each subscriber).
double peakUnderFlood(const QString &link, int requests)
{
    ResidentMemory memory;
    memory.start();
    const Burst burst = wordReadBurst(link, requests);
    const double peak = memory.stop();
    if (burst.good != requests)
        std::printf("  %d of %d replies correct\n", burst.good, requests);
    return peak;
}

void memory(Program &program, const QString &link, const QString &control, int requests,
            const ControlServer &server)
{
    LineSession &session = program.session;
    session.close();
    session.chooseFrameEnd(FrameEnd::CrLf);
    session.open();
    const double before = ResidentMemory::nowMb();
    const double alone = peakUnderFlood(link, requests) - before;
    std::atomic<int> connected = 0;
    std::atomic<bool> release = false;
    std::list<std::thread> clients;
    for (int n = 0; n < 64 + 200; ++n) {
        clients.emplace_back([&, subscriber = n < 64] {
            ControlLine line(control);
            if (subscriber)
                line.send("{\"op\":\"subscribe\"}\n");
            ++connected;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        if (n == 63) // the subscribers first, then the clients beyond the limit
            runUntil([&] { return connected == 64 && server.clientCount() == 64; }, 10000);
    }
    runUntil([&] { return connected == 64 + 200; }, 10000);
    runUntil([] { return false; }, 200);
    qsizetype mostWaiting = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { mostWaiting = std::max(mostWaiting, server.waitingBytes()); });
    watch.start(1);
    const double connectedMb = ResidentMemory::nowMb();
    const double withClients = peakUnderFlood(link, requests) - connectedMb;
    watch.stop();
    const int stillConnected = server.clientCount();
    release = true;
    for (std::thread &client : clients)
        client.join();
    runUntil([&] { return server.clientCount() == 0; }, 10000);
    runUntil([] { return false; }, 200);
    std::printf("resident memory, a host sending %d word reads under CR LF: growth %.1f MB "
                "without control clients; %.1f MB with 64 subscribers that never read (their "
                "waiting bytes peaked at %.1f MB, %d connected at the end) and 200 more clients "
                "connecting: %.1f MB more (target <= 100 MB); %.1f MB before, %.1f MB once they "
                "have gone\n",
                requests, alone, withClients, mostWaiting / 1048576.0, stillConnected,
                withClients - alone, before, ResidentMemory::nowMb());
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark(argc, argv, [&](const QString &link) {
        const int trips = argc > 1 ? atoi(argv[1]) : 2000;
        const int requests = argc > 2 ? atoi(argv[2]) : 10000;
        const int bursts = argc > 3 ? atoi(argv[3]) : 5;
        const int flood = argc > 4 ? atoi(argv[4]) : 80000;
        const QString control = QFileInfo(link).dir().filePath(QStringLiteral("control"));
        Program program;
        ControlServer server(program.session);
        QString reason;
        if (!server.listen(control, &reason)) {
            std::printf("cannot listen: %s\n", qPrintable(reason));
            return 1;
        }
        program.open(SimMode::Rack, FrameEnd::CrLf);
        roundTrips(control, trips);
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
        latencies(program, link, control, flood);
        memory(program, link, control, 5 * requests, server);
        return 0;
    });
}
