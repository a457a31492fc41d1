// SPDX-License-Identifier: MIT
// Prints how long the main window takes to appear: from process start and from the
// application object's construction to the first main window shown and painted, then the
// median over further windows built one after another in the same process (fonts and styles
// already loaded). Each window is built as the program builds it (real serial control, system
// clock) and counts as painted once its first paint event has been handled.
//   bench_startup [windows=10]
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace
{

// Milliseconds since the kernel started this process (its start time has 10 ms steps).
double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name in parentheses; the start time is field 22 of the line.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startMs = fields.value(19).toDouble() * 1e3 / double(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6 - startMs;
}

class PaintWatch : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// Builds and shows one main window and runs events until its first paint has been handled;
// returns the milliseconds that took.
double msUntilPainted()
{
    QElapsedTimer timer;
    timer.start();
    Program program;
    PaintWatch watch;
    program.window.installEventFilter(&watch);
    program.window.show();
    while (!watch.painted && timer.elapsed() < 10000)
        QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark(argc, argv, [&](const QString &) {
        const int windows = argc > 1 ? atoi(argv[1]) : 10;
        const double applicationMs = msSinceApplicationStart();
        const double firstMs = msUntilPainted();
        const double fromStartMs = msSinceProcessStart();
        std::printf("process start to first window painted: %.0f ms (target < 300 ms)\n",
                    fromStartMs);
        std::printf("application object to first window painted: %.0f ms "
                    "(application %.0f ms, window %.0f ms)\n",
                    msSinceApplicationStart(), applicationMs, firstMs);

        QList<double> later;
        for (int i = 0; i < windows; ++i)
            later << msUntilPainted();
        std::sort(later.begin(), later.end());
        if (!later.isEmpty())
            std::printf("further windows: median %.1f ms over %d (fastest %.1f, slowest %.1f)\n",
                        later[later.size() / 2], windows, later.first(), later.last());
        return 0;
    });
}
