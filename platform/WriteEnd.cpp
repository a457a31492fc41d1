// SPDX-License-Identifier: MIT
#include "platform/WriteEnd.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

// What a descriptor shared with other programs gets per write when it cannot be made
// non-blocking: no more than a pipe or a terminal that reports room can take at once.
constexpr size_t ReadyFirstChunk = 512;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// ENXIO from a non-blocking open: for a FIFO, nobody reads it yet.
QString noReaderReason(const QByteArray &path)
{
    struct stat status;
    if (::stat(path.constData(), &status) == 0 && S_ISFIFO(status.st_mode))
        return QStringLiteral("no program has the FIFO open for reading");
    if (::stat(path.constData(), &status) == 0 && S_ISSOCK(status.st_mode))
        return QStringLiteral("it is a socket, not a file");
    return systemReason(ENXIO);
}

// A write whose reader went away fails with EPIPE instead of raising SIGPIPE, which would end
// the program: the signal is held back for the write, and the one it raised is taken.
ssize_t writeHoldingBackBrokenPipe(int fd, const iovec *parts, int count)
{
    sigset_t brokenPipe, previous, pending;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &brokenPipe, &previous);
    const ssize_t written = ::writev(fd, parts, count);
    const int error = errno;
    if (written < 0 && error == EPIPE && !alreadyPending) {
        const timespec now{};
        while (::sigtimedwait(&brokenPipe, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

int copyOf(int fd)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

} // namespace

WriteEnd::~WriteEnd()
{
    close();
}

WriteEnd::WriteEnd(WriteEnd &&other) noexcept : m_fd(other.m_fd), m_kind(other.m_kind)
{
    other.m_fd = -1;
}

WriteEnd &WriteEnd::operator=(WriteEnd &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_kind = other.m_kind;
    }
    return *this;
}

void WriteEnd::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

WriteEnd WriteEnd::openPath(const QByteArray &path, int flags, QString *reason)
{
    const int fd =
        ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags, 0666);
    if (fd >= 0)
        return WriteEnd(fd, Kind::NonBlocking);
    const int error = errno;
    if (reason)
        *reason = error == ENXIO ? noReaderReason(path) : systemReason(error);
    return {};
}

WriteEnd WriteEnd::reopen(int fd, QString *reason)
{
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        if (reason)
            *reason = systemReason(errno);
        return {};
    }
    int own = -1;
    Kind kind = Kind::NonBlocking;
    if (S_ISREG(status.st_mode)) {
        own = copyOf(fd);
    } else if (S_ISSOCK(status.st_mode)) {
        own = copyOf(fd);
        kind = Kind::Socket;
    } else {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        own = ::open(self.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        // Without /proc, or without the right to open the device again: the shared
        // description, written only when it reports room, a little at a time.
        if (own < 0) {
            own = copyOf(fd);
            kind = Kind::ReadyFirst;
        }
    }
    if (own < 0 && reason)
        *reason = systemReason(errno);
    return own < 0 ? WriteEnd() : WriteEnd(own, kind);
}

ssize_t WriteEnd::writeSome(const iovec *parts, int count) const
{
    switch (m_kind) {
    case Kind::Socket: {
        msghdr message{};
        message.msg_iov = const_cast<iovec *>(parts);
        message.msg_iovlen = size_t(count);
        return ::sendmsg(m_fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    case Kind::ReadyFirst: {
        if (!waitWritable(0)) {
            errno = EAGAIN;
            return -1;
        }
        const iovec first{parts[0].iov_base, std::min(parts[0].iov_len, ReadyFirstChunk)};
        return writeHoldingBackBrokenPipe(m_fd, &first, 1);
    }
    case Kind::NonBlocking:
        break;
    }
    return writeHoldingBackBrokenPipe(m_fd, parts, count);
}

ssize_t WriteEnd::writeSome(const char *data, size_t size) const
{
    const iovec part{const_cast<char *>(data), size};
    return writeSome(&part, 1);
}

bool WriteEnd::waitWritable(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs); // negative: no limit
    for (;;) {
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, int(deadline.remainingTime()));
        if (ready >= 0)
            return ready == 1; // POLLERR and POLLHUP too: the next write says what happened
        if (errno != EINTR)
            return false;
    }
}
