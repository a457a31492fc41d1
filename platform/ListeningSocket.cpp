// SPDX-License-Identifier: MIT
#include "platform/ListeningSocket.h"

#include "platform/PathOwner.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

// Connections waiting to be accepted: as many as the system allows, so that clients connecting
// at once are not refused before the server has accepted and counted them.
constexpr int Backlog = SOMAXCONN;

QString systemReason(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fail(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
    return false;
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    return QStringLiteral("a special file");
}

bool addressOf(const QByteArray &name, sockaddr_un *address)
{
    *address = {};
    address->sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, name.constData(), size_t(name.size()));
    return true;
}

// Whether a program listens on the socket at the address: a connection is taken (or waits
// for a full backlog), where a socket left behind refuses it at once. A socket the user may
// not connect to is someone else's, and counts as live.
bool someoneListens(const sockaddr_un &address)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return true;
    int result;
    do
        result = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    while (result != 0 && errno == EINTR);
    const int error = errno;
    ::close(probe);
    return result == 0 || (error != ECONNREFUSED && error != ENOENT);
}

} // namespace

ListeningSocket::ListeningSocket(const QString &path)
    : m_path(path), m_name(QFile::encodeName(path)), m_lock(path)
{
    m_lock.setRemoval([this](QString *problems) { removeSocketFile(problems); });
}

ListeningSocket::~ListeningSocket()
{
    close();
}

bool ListeningSocket::listen(QString *reason)
{
    sockaddr_un address;
    if (!addressOf(m_name, &address))
        return fail(reason, QStringLiteral("%1: a socket's path must be 1 to %2 bytes long")
                                .arg(m_path)
                                .arg(sizeof address.sun_path - 1));
    if (!m_lock.lock(reason))
        return false;
    if (!clearPath(reason) || !bindAndListen(reason)) {
        close();
        return false;
    }
    return true;
}

// With the lock held, no live socket of ours is at the path: a socket of this user's that
// refuses connections is a stale one of ours, left by a run that ended without closing.
bool ListeningSocket::clearPath(QString *reason)
{
    struct stat status;
    if (::lstat(m_name.constData(), &status) != 0) {
        if (errno == ENOENT)
            return true;
        return fail(reason, QStringLiteral("cannot examine %1: %2").arg(m_path, systemReason()));
    }
    if (!S_ISSOCK(status.st_mode))
        return fail(reason, QStringLiteral("%1 is %2, not a socket; it is left as it is")
                                .arg(m_path, kindOf(status.st_mode)));
    if (const QString refusal = takeOverRefusal(LeftBehind::Socket, m_path, status.st_uid);
        !refusal.isEmpty())
        return fail(reason, refusal);
    sockaddr_un address;
    addressOf(m_name, &address);
    if (someoneListens(address))
        return fail(reason,
                    QStringLiteral("%1 is a socket another program listens on; it is left as it is")
                        .arg(m_path));
    if (::unlink(m_name.constData()) != 0 && errno != ENOENT)
        return fail(
            reason,
            QStringLiteral("cannot remove the stale socket %1: %2").arg(m_path, systemReason()));
    return true;
}

// The socket file is made owner-only by the mask it is created under (umask is the one way
// bind() takes a mode).
bool ListeningSocket::bindAndListen(QString *reason)
{
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return fail(reason,
                    QStringLiteral("cannot make a socket for %1: %2").arg(m_path, systemReason()));
    sockaddr_un address;
    addressOf(m_name, &address);
    const mode_t mask = ::umask(0177);
    const int bound = ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int error = errno;
    ::umask(mask);
    if (bound != 0)
        return fail(reason, QStringLiteral("cannot bind %1: %2").arg(m_path, systemReason(error)));
    struct stat status;
    if (::lstat(m_name.constData(), &status) != 0)
        return fail(reason, QStringLiteral("cannot examine %1: %2").arg(m_path, systemReason()));
    m_device = status.st_dev;
    m_inode = status.st_ino;
    m_bound = true;
    if (::listen(m_fd, Backlog) != 0)
        return fail(reason, QStringLiteral("cannot listen on %1: %2").arg(m_path, systemReason()));
    return true;
}

int ListeningSocket::accept() const
{
    int client;
    do
        client = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    while (client < 0 && errno == EINTR);
    return client;
}

void ListeningSocket::close(QString *problems)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_lock.release(problems);
}

// Only the socket file bound here, still this user's: another program may have put something
// at the path since.
void ListeningSocket::removeSocketFile(QString *problems)
{
    struct stat status;
    if (m_bound && ::lstat(m_name.constData(), &status) == 0 && status.st_dev == m_device &&
        status.st_ino == m_inode && status.st_uid == ::geteuid() &&
        ::unlink(m_name.constData()) != 0)
        addProblem(problems,
                   QStringLiteral("cannot remove the socket %1: %2").arg(m_path, systemReason()));
    m_bound = false;
}
