// SPDX-License-Identifier: MIT
#include "platform/PathLock.h"

#include "platform/PathOwner.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

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

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The locks this process holds, so that what they guard is removed also when the process ends
// through exit() without running destructors. An atexit handler is the one place that still
// runs then, and it reaches only what is process-wide; hence one registry for the process.
class HeldLocks
{
public:
    static void add(PathLock *lock) { locks().push_back(lock); }
    static void remove(PathLock *lock) { std::erase(locks(), lock); }

private:
    static std::vector<PathLock *> &locks()
    {
        // Never destroyed, so that a lock released during the exit, by the handler or by a
        // static object's destructor, can still look itself up.
        static auto *held = new std::vector<PathLock *>;
        static const bool cleanupInstalled = std::atexit(releaseAll) == 0;
        Q_UNUSED(cleanupInstalled);
        return *held;
    }
    static void releaseAll()
    {
        // Safe after a normal release: a released lock has already left the registry.
        std::vector<PathLock *> &held = locks();
        while (!held.empty()) {
            PathLock *lock = held.back();
            held.pop_back();
            lock->release();
        }
    }
};

} // namespace

void addProblem(QString *problems, const QString &text)
{
    if (problems)
        *problems += (problems->isEmpty() ? QString() : QStringLiteral("; ")) + text;
}

PathLock::PathLock(const QString &path)
    : m_path(path), m_lockPath(QFile::encodeName(path) + ".lock")
{
}

PathLock::~PathLock()
{
    release();
}

void PathLock::setRemoval(std::function<void(QString *)> removeGuarded)
{
    m_removeGuarded = std::move(removeGuarded);
}

bool PathLock::lock(QString *reason)
{
    if (isHeld())
        return true;
    const QString lockName = QFile::decodeName(m_lockPath);
    // A few rounds at most: one is repeated only when the lock file was replaced in between.
    for (int round = 0; round < 8; ++round) {
        // Another user's lock file is refused before it is opened: with it, the path would be
        // taken from that user, and its removal at the end would remove that user's file.
        struct stat held, named;
        if (::lstat(m_lockPath.constData(), &named) == 0) {
            const QString refusal = takeOverRefusal(LeftBehind::LockFile, lockName, named.st_uid);
            if (!refusal.isEmpty())
                return fail(reason, refusal);
        }
        // Read-only and non-blocking: flock needs no write access, and a FIFO put at the path
        // must not block the open.
        const int fd = ::open(m_lockPath.constData(),
                              O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0)
            return fail(
                reason,
                QStringLiteral("cannot open the lock file %1: %2").arg(lockName, systemReason()));
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return fail(reason,
                        QStringLiteral("the lock file %1 is not a regular file").arg(lockName));
        }
        // The file opened, which may have been put at the path after the look above.
        if (const QString refusal = takeOverRefusal(LeftBehind::LockFile, lockName, held.st_uid);
            !refusal.isEmpty()) {
            ::close(fd);
            return fail(reason, refusal);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return fail(reason,
                            QStringLiteral("%1 is in use: another program holds its lock %2")
                                .arg(m_path, lockName));
            return fail(reason,
                        QStringLiteral("cannot lock %1: %2").arg(lockName, systemReason(error)));
        }
        // The previous holder removes the lock file just before letting it go; a lock on a file
        // no longer at the path guards nothing, so the round is repeated on the current one.
        if (::lstat(m_lockPath.constData(), &named) == 0 && sameFile(held, named)) {
            m_fd = fd;
            m_owner = ::getpid();
            HeldLocks::add(this);
            return true;
        }
        ::close(fd);
    }
    return fail(reason, QStringLiteral("cannot lock %1: it keeps being replaced").arg(lockName));
}

void PathLock::release(QString *problems)
{
    if (m_fd < 0)
        return;
    HeldLocks::remove(this);
    // A forked child shares the lock with its parent; closing its copy keeps the parent's.
    if (m_owner != ::getpid()) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    if (m_removeGuarded)
        m_removeGuarded(problems);
    // The lock file is removed while still locked, so that an opener waiting on it finds it
    // gone and locks a new one. Only the file locked, only while it is this user's and empty:
    // this program never writes to it, so a file with contents was someone else's.
    struct stat held, named;
    if (::fstat(m_fd, &held) == 0 && held.st_size == 0 && held.st_uid == ::geteuid() &&
        ::lstat(m_lockPath.constData(), &named) == 0 && sameFile(held, named) &&
        ::unlink(m_lockPath.constData()) != 0)
        addProblem(problems, QStringLiteral("cannot remove the lock file %1: %2")
                                 .arg(QFile::decodeName(m_lockPath), systemReason()));
    ::close(m_fd);
    m_fd = -1;
}
