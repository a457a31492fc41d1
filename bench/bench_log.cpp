// SPDX-License-Identifier: MIT
// Figures of the traffic log, measured side by side in one run (targets in parentheses):
// memory per line at a million lines, the cost of a line logged in bursts (the event loop
// painting the log between bursts) with 1 thousand, 1 million and 10 million lines already in
// the log, CLR, Find and Save As over a million lines, the oldest tenth leaving at the limit,
// and the memory a flood of long rows takes against the byte limit. Offscreen unless
// QT_QPA_PLATFORM names another platform:
//   bench_log [memory|lines|operations|limit|longrows]  offscreen; all parts unless one is named
//   QT_QPA_PLATFORM=xcb bench_log                  under the X server named by DISPLAY
#include "BenchSupport.h"
#include "ui/TrafficLogView.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

namespace
{

// A received frame as the log shows it, about 40 characters with the stamp.
const QString Sample =
    QStringLiteral("●") + QChar(0x05) + QStringLiteral("000000WW0000030100070008000A");
const QString StampedSample = QStringLiteral("[12:00:00]") + Sample;
// The same, stamped to the millisecond.
const QString MillisecondSample = QStringLiteral("[12:00:00.123]") + Sample;

double residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// The most memory the process has held, from /proc/self/status.
double peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
    }
    return 0;
}

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Counts the paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

struct Log {
    Program program;
    TrafficLogView &view = *program.window.trafficLog();
    explicit Log(qint64 lines, qint64 limit = TrafficLogStore::DefaultRowLimit)
    {
        view.setRowLimit(limit);
        program.window.show();
        fill(lines);
    }
    void fill(qint64 lines, const QString &line = StampedSample)
    {
        for (qint64 i = 0; i < lines; ++i)
            view.addLine(line);
        settle();
    }
    // Lets the event loop paint what is pending.
    static void settle()
    {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

// Stamped to the second, then in a second log kept beside the first (no freed memory to reuse)
// to the millisecond.
void memoryPerLine()
{
    Log seconds(0), milliseconds(0);
    for (auto [log, line] :
         {std::pair{&seconds, StampedSample}, {&milliseconds, MillisecondSample}}) {
        const double before = residentBytes();
        log->fill(1'000'000, line);
        const double grown = residentBytes() - before;
        std::printf("line: %lld characters, %lld bytes of UTF-8\n", qint64(line.size()),
                    qint64(line.toUtf8().size()));
        std::printf("memory at 1,000,000 lines: %.1f bytes/line resident growth (<= 100)\n",
                    grown / 1e6);
    }
}

// Logs lines through the session in bursts, one burst per turn of the event loop, which
// paints the log between bursts; returns microseconds per line.
double burstCost(Log &log, int lines, int burst)
{
    QEventLoop loop;
    int logged = 0;
    std::function<void()> next = [&] {
        for (int i = 0; i < burst; ++i)
            log.program.session.note(NoteSource::Operator, Sample);
        logged += burst;
        if (logged < lines)
            QTimer::singleShot(0, &loop, next);
        else
            QTimer::singleShot(0, &loop, &QEventLoop::quit); // after the last paint
    };
    QElapsedTimer timer;
    timer.start();
    QTimer::singleShot(0, &loop, next);
    loop.exec();
    return double(timer.nsecsElapsed()) / 1e3 / logged;
}

// Where a line's cost goes: the session stamping and signalling it, the log storing it, and a
// paint of the log box.
void lineCostParts()
{
    Log log(1'000, 2'000'000);
    const int lines = 200'000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i)
        log.view.addLine(StampedSample);
    const double stored = double(timer.nsecsElapsed()) / 1e3 / lines;
    timer.start();
    for (int i = 0; i < lines; ++i)
        log.program.session.note(NoteSource::Operator, Sample);
    const double logged = double(timer.nsecsElapsed()) / 1e3 / lines;
    const int paints = 200;
    timer.start();
    for (int i = 0; i < paints; ++i)
        log.view.viewport()->repaint();
    std::printf("parts: %.2f us/line to store, %.2f us/line through the session (stamp "
                "included), %.0f us a paint of the log box\n",
                stored, logged, double(timer.nsecsElapsed()) / 1e3 / paints);
}

// The three logs are measured in turns, and each keeps its best turn, so that a busy machine
// weighs on all of them alike.
void lineCost()
{
    lineCostParts();
    const int turns = 5, lines = 50'000, burst = 100;
    const qint64 sizes[] = {1'000, 1'000'000, 10'000'000};
    std::vector<std::unique_ptr<Log>> logs;
    std::vector<std::unique_ptr<PaintCounter>> counters;
    std::vector<double> best(std::size(sizes), 1e9);
    for (qint64 size : sizes) {
        logs.push_back(std::make_unique<Log>(size, size + qint64(turns) * lines));
        counters.push_back(std::make_unique<PaintCounter>());
        logs.back()->view.viewport()->installEventFilter(counters.back().get());
    }
    for (int turn = 0; turn < turns; ++turn)
        for (size_t i = 0; i < logs.size(); ++i)
            best[i] = std::min(best[i], burstCost(*logs[i], lines, burst));
    std::printf("lines logged in bursts of %d, the view visible and painted between bursts "
                "(best of %d turns of %d lines):\n",
                burst, turns, lines);
    for (size_t i = 0; i < logs.size(); ++i)
        std::printf("  %10lld lines in the log: %.2f us/line, %.0f lines/s, %d paints, top row "
                    "%lld\n",
                    sizes[i], best[i], 1e6 / best[i], counters[i]->paints, logs[i]->view.topRow());
    std::printf("ratio 1,000,000 / 1,000: %.2f; 10,000,000 / 1,000: %.2f (<= 1.2)\n",
                best[1] / best[0], best[2] / best[0]);
    std::printf("burst throughput: %.0f lines/s (>= 100,000)\n", 1e6 / best[0]);
}

void operationsOnAMillionLines()
{
    Log log(1'000'000);
    QElapsedTimer timer;
    for (const QString &text : {QStringLiteral("no such text"), QStringLiteral("受信なし"),
                                QStringLiteral("ok, none"), QStringLiteral("ＯＮ")}) {
        timer.start();
        const bool found = log.view.find(text);
        std::printf("Find \"%s\" across 1,000,000 lines: %.1f ms%s (<= 200)\n", qPrintable(text),
                    milliseconds(timer), found ? " (found!)" : ", not found");
    }
    QTemporaryDir dir;
    timer.start();
    const bool saved = log.view.saveTo(dir.filePath(QStringLiteral("log.txt")));
    std::printf("Save As of 1,000,000 lines: %.1f ms, %s (<= 1000)\n", milliseconds(timer),
                saved ? "saved" : "FAILED");
    auto *clr = log.program.window.findChild<QPushButton *>(QStringLiteral("btnClr"));
    timer.start();
    clr->click();
    log.view.viewport()->repaint();
    std::printf("CLR on 1,000,000 lines, with the paint after it: %.1f ms (<= 100)\n",
                milliseconds(timer));
}

void oldestTenthLeaves()
{
    Log log(TrafficLogStore::DefaultRowLimit);
    QElapsedTimer timer;
    timer.start();
    log.program.session.note(NoteSource::Operator, Sample);
    std::printf("the line past 10,000,000: %.1f ms, %lld rows left, note included\n",
                milliseconds(timer), log.view.rowCount());
}

// Receptions without a frame end under a fast flood: rows of 300 kB of hex dump, three times
// the byte limit in all. The memory held should level off near the limit.
void longRowsFlood()
{
    Log log(0);
    const double before = residentBytes();
    const qsizetype rowLength = 300'000;
    QString row;
    for (int byte = 0; row.size() < rowLength; ++byte)
        row += QStringLiteral("%1 ").arg(byte & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    row.truncate(rowLength);
    const TrafficLogStore &store = log.view.store();
    const qint64 rows = 3 * store.byteLimit() / rowLength;
    std::printf("a flood of %lld rows of %lld characters of hex dump against the byte limit of "
                "%lld MiB:\n",
                rows, qint64(rowLength), store.byteLimit() >> 20);
    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 1; i <= rows; ++i) {
        log.view.addLine(row);
        if (i % (rows / 6) == 0)
            std::printf("  after %.2f GB of text: resident growth %.2f GB, the store %.2f GB\n",
                        double(i * rowLength) / 1e9, (residentBytes() - before) / 1e9,
                        double(store.allocatedBytes()) / 1e9);
    }
    const double elapsed = milliseconds(timer);
    Log::settle();
    std::printf("  %.1f ms a row; peak resident of the process %.2f GB (alone: bench_log "
                "longrows)\n",
                elapsed / double(rows), peakResidentBytes() / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark(argc, argv, [&](const QString &) {
        const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
        const auto run = [&](const char *part, void (*measure)()) {
            if (only.isEmpty() || only == QLatin1String(part))
                measure();
        };
        run("memory", memoryPerLine); // first, while the process has no freed memory to reuse
        run("lines", lineCost);
        run("operations", operationsOnAMillionLines);
        run("limit", oldestTenthLeaves);
        run("longrows", longRowsFlood);
        return 0;
    });
}
