// SPDX-License-Identifier: MIT
#include "platform/LineLink.h"

#include "platform/PathOwner.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Where the far ends of pseudo-terminals live.
const QByteArray farEndFolder("/dev/pts/");

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

std::optional<QByteArray> readLink(const QByteArray &path)
{
    char target[PATH_MAX];
    const ssize_t size = ::readlink(path.constData(), target, sizeof target);
    if (size < 0)
        return std::nullopt;
    return QByteArray(target, size);
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    return QStringLiteral("a special file");
}

// What a link at the path leads to.
enum class FarEnd {
    Gone,    // the far end of a pseudo-terminal that no program has open any more
    Live,    // a pseudo-terminal that is still open (another program's line)
    Foreign, // anything else
};

bool isPseudoTerminalFolder(const QByteArray &folder)
{
    char resolved[PATH_MAX];
    return ::realpath(folder.constData(), resolved) && QByteArray(resolved) + '/' == farEndFolder;
}

// Whether the far end of a pseudo-terminal is still open by anyone. Opening it is what tells:
// a pair whose master side has closed refuses (EIO, or the name is gone). The open takes no
// controlling terminal, does not wait, and is closed at once, so a live line is not disturbed.
bool isStillOpen(const char *farEnd)
{
    const int fd = ::open(farEnd, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno != EIO && errno != ENOENT && errno != ENXIO;
}

// A link is a virtual line's only when its target, every link on the way resolved, is a
// pseudo-terminal's far end in /dev/pts/, or a name there that is gone: a name that merely
// starts with /dev/pts/ may lead anywhere (/dev/pts/../../tmp/file). A link to our own new far
// end is a stale one: the system gives a new pair the lowest free number, often that of the
// pair a killed run left its link to.
FarEnd farEndOf(const QByteArray &link, const QByteArray &target, const QByteArray &ourFarEnd)
{
    const QByteArray full =
        target.startsWith('/') ? target : link.left(link.lastIndexOf('/') + 1) + target;
    char resolved[PATH_MAX];
    struct stat status;
    if (::realpath(full.constData(), resolved)) {
        if (!QByteArray(resolved).startsWith(farEndFolder) || ::stat(resolved, &status) != 0 ||
            !S_ISCHR(status.st_mode))
            return FarEnd::Foreign;
        if (ourFarEnd == resolved)
            return FarEnd::Gone;
        return isStillOpen(resolved) ? FarEnd::Live : FarEnd::Gone;
    }
    const int error = errno;
    const qsizetype slash = full.lastIndexOf('/');
    const QByteArray name = full.mid(slash + 1);
    if (error != ENOENT || name.isEmpty() || name == "." || name == ".." ||
        ::lstat(full.constData(), &status) == 0 || !isPseudoTerminalFolder(full.left(slash)))
        return FarEnd::Foreign;
    return FarEnd::Gone;
}

} // namespace

LineLink::LineLink(const QString &path)
    : m_path(path), m_link(QFile::encodeName(path)), m_lock(path)
{
    m_lock.setRemoval([this](QString *problems) { removeLink(problems); });
}

LineLink::~LineLink()
{
    release();
}

bool LineLink::claim(const QByteArray &target, QString *reason)
{
    if (!m_lock.lock(reason))
        return false;
    if (!clearPath(target, reason)) {
        release();
        return false;
    }
    struct stat made;
    if (::symlink(target.constData(), m_link.constData()) != 0 ||
        ::lstat(m_link.constData(), &made) != 0) {
        fail(reason, QStringLiteral("cannot create the link %1: %2").arg(m_path, systemReason()));
        release();
        return false;
    }
    m_target = target;
    m_device = made.st_dev;
    m_inode = made.st_ino;
    m_linked = true;
    return true;
}

bool LineLink::clearPath(const QByteArray &ourFarEnd, QString *reason)
{
    // With the lock held, no live line of ours owns the path; a link of this user's to a
    // pseudo-terminal that nobody has open any more is a stale one of ours, left by a run that
    // ended without closing.
    struct stat status;
    if (::lstat(m_link.constData(), &status) != 0) {
        if (errno == ENOENT)
            return true;
        return fail(reason, QStringLiteral("cannot examine %1: %2").arg(m_path, systemReason()));
    }
    if (!S_ISLNK(status.st_mode))
        return fail(reason,
                    QStringLiteral("%1 is %2, not a virtual line's link; it is left as it is")
                        .arg(m_path, kindOf(status.st_mode)));
    if (const QString refusal = takeOverRefusal(LeftBehind::Link, m_path, status.st_uid);
        !refusal.isEmpty())
        return fail(reason, refusal);
    const std::optional<QByteArray> target = readLink(m_link);
    if (!target)
        return fail(reason,
                    QStringLiteral("cannot read the link %1: %2").arg(m_path, systemReason()));
    switch (farEndOf(m_link, *target, ourFarEnd)) {
    case FarEnd::Foreign:
        return fail(reason,
                    QStringLiteral("%1 is a symbolic link to %2, not a virtual line's; it is left "
                                   "as it is")
                        .arg(m_path, QFile::decodeName(*target)));
    case FarEnd::Live:
        return fail(reason, QStringLiteral("%1 is a symbolic link to %2, a pseudo-terminal that "
                                           "another program still has open; it is left as it is")
                                .arg(m_path, QFile::decodeName(*target)));
    case FarEnd::Gone:
        break;
    }
    if (::unlink(m_link.constData()) != 0)
        return fail(
            reason,
            QStringLiteral("cannot remove the stale link %1: %2").arg(m_path, systemReason()));
    return true;
}

void LineLink::release(QString *problems)
{
    m_lock.release(problems);
}

// Only the link made here (the same inode, still this user's and leading to our far end):
// something else may have been put at the path by a program that does not take the lock.
void LineLink::removeLink(QString *problems)
{
    struct stat status;
    if (m_linked && ::lstat(m_link.constData(), &status) == 0 && status.st_dev == m_device &&
        status.st_ino == m_inode && status.st_uid == ::geteuid() && readLink(m_link) == m_target &&
        ::unlink(m_link.constData()) != 0)
        addProblem(problems,
                   QStringLiteral("cannot remove the link %1: %2").arg(m_path, systemReason()));
    m_linked = false;
}
