// SPDX-License-Identifier: MIT
#include "BenchSupport.h"

#include "ui/WindowLook.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace
{
QElapsedTimer sinceApplicationStart;
} // namespace

int runBenchmark(int argc, char *argv[], const std::function<int(const QString &link)> &measure)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    sinceApplicationStart.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PORTWREN"));
    installFontSubstitutions();
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("com1"));
    qputenv("PORTWREN_COM1", QByteArray("pty:") + link.toLocal8Bit());
    std::printf("platform %s\n", qPrintable(QApplication::platformName()));
    return measure(link);
}

double msSinceApplicationStart()
{
    return double(sinceApplicationStart.nsecsElapsed()) / 1e6;
}

bool Program::open(SimMode mode, std::optional<FrameEnd> end)
{
    window.show();
    session.chooseMode(mode);
    if (end)
        session.chooseFrameEnd(*end);
    return session.open();
}

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    return done();
}

QByteArray receive(HostEnd &line, qsizetype n, int timeoutMs)
{
    const qsizetype from = line.collected().size();
    const QDeadlineTimer deadline(timeoutMs);
    while (line.collect().size() - from < n && line.waitReadable(int(deadline.remainingTime()))) {
    }
    return line.collect().mid(from);
}

qint64 nowNs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
}

double median(QList<double> figures)
{
    if (figures.isEmpty())
        return 0;
    std::sort(figures.begin(), figures.end());
    return figures[figures.size() / 2];
}
