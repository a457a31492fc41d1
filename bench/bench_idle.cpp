// SPDX-License-Identifier: MIT
// Prints the processor time the program uses while it waits: the main window with Com1: open on
// a virtual line in mode ラック and the data window open in Auto, nothing arriving. The event
// loop runs for the given time after one second to settle; the figure is process CPU time
// (all threads, user and system) over wall time.
//   bench_idle [seconds=10]
#include "BenchSupport.h"
#include "ui/RegisterWindow.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace
{

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// User and system processor time of the whole process so far, in milliseconds.
void cpuMilliseconds(double *user, double *system)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    *user = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3;
    *system = usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark(argc, argv, [&](const QString &) {
        const int seconds = argc > 1 ? atoi(argv[1]) : 10;
        Program program;
        if (!program.open(SimMode::Rack)) {
            std::fprintf(stderr, "Com1: did not open on the virtual line\n");
            return 1;
        }
        program.window.openRegisterWindow();
        program.window.registerWindow()
            ->findChild<QRadioButton *>(QStringLiteral("Option1"))
            ->click();
        runEventLoop(1000);

        double user0, system0, user1, system1;
        cpuMilliseconds(&user0, &system0);
        QElapsedTimer wall;
        wall.start();
        runEventLoop(seconds * 1000);
        cpuMilliseconds(&user1, &system1);
        const double wallMs = double(wall.nsecsElapsed()) / 1e6;
        const double user = user1 - user0, system = system1 - system0;
        std::printf("idle for %.1f s: CPU %.0f ms (user %.0f, system %.0f) = %.2f %% "
                    "(target < 1 %%)\n",
                    wallMs / 1e3, user + system, user, system, 100.0 * (user + system) / wallMs);
        program.session.close();
        return 0;
    });
}
