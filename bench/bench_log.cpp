// Prints the cost of one traffic-log line (logged by the session, with its repaint) when the log
// already holds a small and a large number of lines, and their ratio. A log that rewrote its whole
// text per line would show a ratio near the ratio of the sizes.
//   bench_log [small=1000] [large=100000]
#include "BenchSupport.h"
#include "ui/TrafficLogView.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace
{

double microsecondsPerLine(int existingLines)
{
    Program program;
    program.window.show();
    const QString sample =
        QStringLiteral("●") + QChar(0x05) + QStringLiteral("000000WR00003202 50");
    for (int i = 0; i < existingLines; ++i)
        program.window.trafficLog()->addLine(QStringLiteral("[12:00:00]") + sample);
    program.session.log(sample); // settle layout once
    const int rounds = 500;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        program.session.log(sample);
    return static_cast<double>(timer.nsecsElapsed()) / 1000.0 / rounds;
}

} // namespace

int main(int argc, char *argv[])
{
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
    installFontSubstitutions();
    const int small = argc > 1 ? atoi(argv[1]) : 1000;
    const int large = argc > 2 ? atoi(argv[2]) : 100000;
    const double a = microsecondsPerLine(small);
    const double b = microsecondsPerLine(large);
    std::printf("DPrint with %d lines in the log: %.1f us/line\n", small, a);
    std::printf("DPrint with %d lines in the log: %.1f us/line\n", large, b);
    std::printf("ratio large/small: %.2f (target <= 1.5)\n", b / a);
    std::printf("throughput at %d lines: %.0f lines/s\n", large, 1e6 / b);
    return 0;
}
