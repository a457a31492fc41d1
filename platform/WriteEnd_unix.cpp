// SPDX-License-Identifier: MIT
#include "platform/WriteEnd.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
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

WriteEnd::WriteEnd() = default;

WriteEnd::WriteEnd(int fd, Kind kind) : m_fd(fd), m_kind(kind)
{
    struct stat status;
    m_pipe = ::fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode);
}

WriteEnd::~WriteEnd()
{
    close();
}

WriteEnd::WriteEnd(WriteEnd &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_kind(other.m_kind), m_pipe(other.m_pipe),
      m_awaitsEmptyPipe(other.m_awaitsEmptyPipe)
{
}

WriteEnd &WriteEnd::operator=(WriteEnd &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_kind = other.m_kind;
        m_pipe = other.m_pipe;
        m_awaitsEmptyPipe = other.m_awaitsEmptyPipe;
    }
    return *this;
}

bool WriteEnd::isValid() const
{
    return m_fd >= 0;
}

bool WriteEnd::awaitsEmptyPipe() const
{
    return m_awaitsEmptyPipe;
}

void WriteEnd::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

WriteEnd WriteEnd::openPath(const QString &name, int flags, QString *reason)
{
    const QByteArray path = QFile::encodeName(name);
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
    if (m_kind != Kind::ReadyFirst)
        return writeParts(parts, count);
    const iovec first{parts[0].iov_base, std::min(parts[0].iov_len, ReadyFirstChunk)};
    return writeParts(&first, 1);
}

ssize_t WriteEnd::writeParts(const iovec *parts, int count) const
{
    switch (m_kind) {
    case Kind::Socket: {
        msghdr message{};
        message.msg_iov = const_cast<iovec *>(parts);
        message.msg_iovlen = size_t(count);
        return ::sendmsg(m_fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    case Kind::ReadyFirst:
        if (!waitWritable(0)) {
            errno = EAGAIN;
            return -1;
        }
        break;
    case Kind::NonBlocking:
        break;
    }
    return writeHoldingBackBrokenPipe(m_fd, parts, count);
}

// The room a pipe reports (its size from F_GETPIPE_SZ less what waits in it, FIONREAD) is not
// what a write gets: the system keeps a pipe in pages, and a page the reader has taken only part
// of, or one a short write began, holds less. Measured on Linux 6: a pipe of 64 KiB holding
// 15 writes of 2,100 bytes (31,500 bytes, 34,036 reported free) took 4,096 bytes of a 6,300-byte
// write. So lines go whole in writes of at most PIPE_BUF bytes, which the system writes whole
// or not at all; a longer line waits for an empty pipe, which holds its whole size.
ssize_t WriteEnd::writeLines(const iovec *parts, int count)
{
    m_awaitsEmptyPipe = false;
    if (!m_pipe)
        return writeSome(parts, count);
    int whole = 0;
    for (size_t size = 0; whole < count && size + parts[whole].iov_len <= PIPE_BUF; ++whole)
        size += parts[whole].iov_len;
    if (whole > 0)
        return writeParts(parts, whole);
    if (!pipeTakesWhole(parts[0].iov_len)) {
        m_awaitsEmptyPipe = true;
        errno = EAGAIN;
        return -1;
    }
    return writeParts(parts, 1);
}

// Whether the pipe is empty and holds size bytes, made larger when it is smaller. A pipe the
// system will not make large enough (past /proc/sys/fs/pipe-max-size, or the user's share of
// pipe memory) takes the line in parts, the one way it can go at all.
bool WriteEnd::pipeTakesWhole(size_t size) const
{
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) == 0 && waiting > 0)
        return false;
    const int pipeSize = ::fcntl(m_fd, F_GETPIPE_SZ);
    if (pipeSize >= 0 && size_t(pipeSize) < size && size <= size_t(INT_MAX))
        ::fcntl(m_fd, F_SETPIPE_SZ, int(size));
    return true;
}

bool WriteEnd::waitForEmptyPipe(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int waiting = 0;
        if (::ioctl(m_fd, FIONREAD, &waiting) != 0 || waiting == 0)
            return true; // the next write says what happened
        if (deadline.hasExpired())
            return false;
        ::poll(nullptr, 0,
               deadline.isForever()
                   ? EmptyPipeLookMs
                   : int(std::min<qint64>(deadline.remainingTime(), EmptyPipeLookMs)));
    }
}

ssize_t WriteEnd::writeSome(const char *data, size_t size) const
{
    const iovec part{const_cast<char *>(data), size};
    return writeSome(&part, 1);
}

bool WriteEnd::waitWritable(int timeoutMs) const
{
    if (m_awaitsEmptyPipe)
        return waitForEmptyPipe(timeoutMs);
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

qint64 WriteEnd::settle(QDeadlineTimer)
{
    return 0;
}

RoomWatch::RoomWatch(const WriteEnd &end, std::function<void()> onRoom, QObject *parent)
    : QObject(parent)
{
    auto *notifier = new QSocketNotifier(end.m_fd, QSocketNotifier::Write, this);
    notifier->setEnabled(false);
    connect(notifier, &QSocketNotifier::activated, this, std::move(onRoom));
    m_notifier = notifier;
}

void RoomWatch::setEnabled(bool enabled)
{
    static_cast<QSocketNotifier *>(m_notifier)->setEnabled(enabled);
}
