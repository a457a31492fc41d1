// SPDX-License-Identifier: MIT
#pragma once

// Helpers for tests over real pseudo-terminals: the host program's end of a line, and the
// process's CPU time (to prove an idle line does not spin).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

// CPU time (user + system) the process has used so far, in milliseconds.
inline qint64 processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// A host program's end of a line: the device opened raw and non-blocking.
class HostEnd
{
public:
    explicit HostEnd(const QString &path)
        : HostEnd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    // Takes over a descriptor the test opened itself, such as a pseudo-terminal's master side.
    explicit HostEnd(int fd) : m_fd(fd)
    {
        termios raw{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(m_fd, TCSANOW, &raw);
        }
        if (m_fd >= 0)
            ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    }
    ~HostEnd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HostEnd(const HostEnd &) = delete;
    HostEnd &operator=(const HostEnd &) = delete;

    int fd() const { return m_fd; }

    bool send(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Reads every byte waiting now; returns everything read since the end was opened.
    QByteArray collect()
    {
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_received.append(buffer, n);
        return m_received;
    }

private:
    int m_fd;
    QByteArray m_received;
};

// Every byte value once, 0 to 255.
inline QByteArray allByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}
