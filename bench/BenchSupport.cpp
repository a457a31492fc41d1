// SPDX-License-Identifier: MIT
#include "BenchSupport.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

HostLine::HostLine(const QString &path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY))
{
    termios raw{};
    if (m_fd >= 0 && ::tcgetattr(m_fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(m_fd, TCSANOW, &raw);
    }
}

HostLine::~HostLine()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void HostLine::send(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

bool HostLine::waitReadable(int timeoutMs)
{
    pollfd pfd{m_fd, POLLIN, 0};
    return ::poll(&pfd, 1, timeoutMs) == 1;
}

QByteArray HostLine::read(qsizetype n, int timeoutMs)
{
    QByteArray got;
    const QDeadlineTimer deadline(timeoutMs);
    while (got.size() < n && waitReadable(int(deadline.remainingTime()))) {
        char buffer[65536];
        const ssize_t r = ::read(m_fd, buffer, size_t(std::min<qsizetype>(n - got.size(), 65536)));
        if (r <= 0)
            break;
        got.append(buffer, r);
    }
    return got;
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
