// SPDX-License-Identifier: MIT
#pragma once

// What the benchmarks share: a display-free start, Com1: on a virtual line, and the program
// as main() builds it (the line session on the real port and clock, the main window over it).
#include "platform/Clock.h"
#include "platform/DevicePortService.h"
#include "session/LineSession.h"
#include "ui/MainWindow.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>
#include <functional>
#include <memory>

// Benchmarks run on the offscreen platform unless QT_QPA_PLATFORM names another.
inline void useOffscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Maps Com1: to a virtual line whose far end is linked in dir; returns the link's path.
inline QString mapCom1ToVirtualLine(const QTemporaryDir &dir)
{
    const QString link = dir.filePath(QStringLiteral("com1"));
    qputenv("PORTWREN_COM1", QByteArray("pty:") + link.toLocal8Bit());
    return link;
}

// The line session on the real serial port and the system clock, with the main window over it.
struct Program {
    LineSession session{std::make_unique<DevicePortService>(), std::make_unique<SystemClock>()};
    MainWindow window{session};
    Program() { session.startTicking(); }
};

// A host program's end of the line, driven from a thread of its own with blocking calls, so
// that its timing does not depend on the program's event loop.
class HostLine
{
public:
    explicit HostLine(const QString &path);
    ~HostLine();
    bool isOpen() const { return m_fd >= 0; }
    void send(const QByteArray &bytes);
    // Waits up to timeoutMs for bytes; true when some are waiting.
    bool waitReadable(int timeoutMs);
    // Reads exactly n bytes (or what arrives within timeoutMs).
    QByteArray read(qsizetype n, int timeoutMs = 5000);

private:
    int m_fd = -1;
};

// Runs the program's event loop until done() holds or timeoutMs passed; false on timeout.
bool runUntil(const std::function<bool()> &done, int timeoutMs);

// Nanoseconds of a monotonic clock.
qint64 nowNs();

// The median of a list of figures (which it sorts).
double median(QList<double> figures);
