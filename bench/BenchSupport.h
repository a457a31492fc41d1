// SPDX-License-Identifier: MIT
#pragma once

// What the benchmarks share: one start (a display-free platform, the application with the
// program's fonts, Com1: on a virtual line), the program as main() builds it, the host's end
// of the line (the tests' HostEnd, opened blocking on a thread of the host's own), and figures.
#include "HostEnd.h"
#include "platform/Clock.h"
#include "platform/DevicePortService.h"
#include "session/LineSession.h"
#include "ui/MainWindow.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

// Starts a benchmark and runs it: the offscreen platform unless QT_QPA_PLATFORM names another,
// the application with the program's name and fonts, and Com1: mapped to a virtual line whose
// far end is linked in a temporary folder. Prints the platform, then returns what
// measure(link) returns.
int runBenchmark(int argc, char *argv[], const std::function<int(const QString &link)> &measure);

// Milliseconds since runBenchmark began to build the application object.
double msSinceApplicationStart();

// The line session on the real serial port and the system clock, with the main window over it.
struct Program {
    LineSession session{std::make_unique<DevicePortService>(), std::make_unique<SystemClock>()};
    MainWindow window{session};
    Program() { session.startTicking(); }
    // Shows the window, chooses the mode (then the frame end, when given) and opens Com1:.
    bool open(SimMode mode, std::optional<FrameEnd> end = std::nullopt);
};

// Runs the program's event loop until done() holds or timeoutMs passed; false on timeout.
bool runUntil(const std::function<bool()> &done, int timeoutMs);

// Collects from the host's end until n more bytes came or timeoutMs passed; returns what came.
QByteArray receive(HostEnd &line, qsizetype n, int timeoutMs = 5000);

// A host on a thread of its own sends `requests` word reads of D32 and D33 under CR LF as one
// stream and checks every reply, while the program's event loop runs; it starts once
// readyToStart() holds. The replies per second, and how many were correct.
struct Burst {
    double repliesPerSecond = 0;
    int good = 0;
};
Burst wordReadBurst(
    const QString &link, int requests,
    const std::function<bool()> &readyToStart = [] { return true; });

// A host on a thread of its own sends one word read of D32 and D33 at a time (no frame end)
// and times each reply from its request's last byte to the reply's first, pausing pauseMs after
// each, while more(replies timed so far) holds and the line answers within waitMs; the event
// loop runs meanwhile. The latencies in ms.
QList<double> wordReadLatencies(const QString &link, int pauseMs, int waitMs,
                                const std::function<bool(qsizetype timed)> &more);

// Nanoseconds of a monotonic clock.
qint64 nowNs();

// The median of a list of figures (which it sorts).
double median(QList<double> figures);
