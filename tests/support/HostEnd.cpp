// SPDX-License-Identifier: MIT
#include "HostEnd.h"

#include <QFile>
#include <QtCore/qtestsupport_core.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

HostEnd::HostEnd(const QString &path, Style style)
    : HostEnd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY), style)
{
}

HostEnd::HostEnd(int fd, Style style) : m_fd(fd)
{
    termios raw{};
    if (m_fd >= 0 && ::tcgetattr(m_fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(m_fd, TCSANOW, &raw);
    }
    if (m_fd >= 0) {
        const int flags = ::fcntl(m_fd, F_GETFL);
        ::fcntl(m_fd, F_SETFL, style == NonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
    }
}

HostEnd::~HostEnd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool HostEnd::send(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool HostEnd::feed(const QByteArray &bytes, int timeoutMs)
{
    qsizetype done = 0;
    return QTest::qWaitFor(
        [&] {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            done += std::max<ssize_t>(n, 0);
            return done == bytes.size();
        },
        timeoutMs);
}

QByteArray HostEnd::collect()
{
    char buffer[65536];
    ssize_t n;
    while (waitReadable(0) && (n = ::read(m_fd, buffer, sizeof buffer)) > 0)
        m_collected.append(buffer, n);
    return m_collected;
}

bool HostEnd::waitReadable(int timeoutMs)
{
    pollfd pfd{m_fd, POLLIN, 0};
    return ::poll(&pfd, 1, timeoutMs) == 1 && (pfd.revents & POLLIN);
}
