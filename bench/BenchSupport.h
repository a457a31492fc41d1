#pragma once

// What the benchmarks share: a display-free start and Com1: on a virtual line.
#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

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
