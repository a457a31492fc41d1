#pragma once

// What the benchmarks share: a display-free start, Com1: on a virtual line, and the program
// as main() builds it (the line session on the real port and clock, the main window over it).
#include "platform/Clock.h"
#include "platform/CommControl.h"
#include "session/LineSession.h"
#include "ui/MainWindow.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>
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
    LineSession session{std::make_unique<CommControl>(), std::make_unique<SystemClock>()};
    MainWindow window{session};
    Program() { session.startTicking(); }
};
