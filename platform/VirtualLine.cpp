// SPDX-License-Identifier: MIT
#include "platform/VirtualLine.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool fail(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
    return false;
}

} // namespace

VirtualLine::VirtualLine(const QString &linkPath, QObject *parent)
    : LineDevice(parent), m_link(linkPath)
{
}

VirtualLine::~VirtualLine()
{
    close();
}

bool VirtualLine::open(const LineSettings &, bool, bool, QString *reason)
{
    if (!openPair(reason))
        return false;
    if (!m_link.claim(m_farEndName, reason)) {
        close();
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &VirtualLine::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &VirtualLine::onWritable);
    return true;
}

bool VirtualLine::openPair(QString *reason)
{
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return fail(reason, QStringLiteral("cannot create a pseudo-terminal: ") + systemReason());
    }
    // The far end passes every byte as it is: no echo, no line editing, no CR/LF translation,
    // no XON/XOFF. A host may change that for itself.
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    char name[PATH_MAX];
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        fail(reason, QStringLiteral("cannot name the pseudo-terminal: ") + systemReason());
        close();
        return false;
    }
    m_farEndName = name;
    return true;
}

bool VirtualLine::notCarried(QString *reason)
{
    return fail(reason, QStringLiteral("not carried on a virtual line"));
}

void VirtualLine::close()
{
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            // Deleted later: close() may run inside the notifier's own activation.
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = m_writeNotifier = nullptr;
    QString problems;
    m_link.release(&problems);
    // Closing cannot fail; a link that could not be removed is replaced by the next open.
    if (!problems.isEmpty())
        qWarning("virtual line: %s", qUtf8Printable(problems));
    for (int fd : {m_master, m_slave}) {
        if (fd >= 0)
            ::close(fd);
    }
    m_master = m_slave = -1;
    m_queued.clear();
    m_received.clear();
}

bool VirtualLine::write(const QByteArray &bytes, QString *reason)
{
    if (m_master < 0)
        return fail(reason, QStringLiteral("the virtual line is not open"));
    m_queued += bytes;
    return sendQueued(reason);
}

bool VirtualLine::sendQueued(QString *reason)
{
    // Writes what the far end has room for now; the write notifier sends the rest later.
    while (!m_queued.isEmpty()) {
        const ssize_t n = ::write(m_master, m_queued.constData(), size_t(m_queued.size()));
        if (n > 0) {
            m_queued.remove(0, n);
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else if (!(n < 0 && errno == EINTR)) {
            fail(reason, QStringLiteral("cannot write to the virtual line: ") + systemReason());
            m_queued.clear();
            return false;
        }
    }
    m_writeNotifier->setEnabled(!m_queued.isEmpty());
    return true;
}

namespace
{
// Received bytes held for the program's next read; past this the line takes no more for now.
constexpr qsizetype MaxBytesReceived = 1024 * 1024;
} // namespace

// What waits in the program's queue, and what the far end has not read yet: the program holds
// the far end open too, so the pseudo-terminal says how much waits there.
qint64 VirtualLine::bytesNotSent()
{
    int unread = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &unread) != 0)
        unread = 0;
    return m_queued.size() + unread;
}

int VirtualLine::bytesWaiting()
{
    int count = 0;
    if (m_master < 0 || ::ioctl(m_master, FIONREAD, &count) != 0)
        count = 0;
    return int(std::min<qsizetype>(m_received.size() + count, INT_MAX));
}

QByteArray VirtualLine::readAll()
{
    takeArrived();
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
    return std::exchange(m_received, QByteArray());
}

// Moves what the pseudo-terminal holds into the line's own buffer, up to its bound; returns how
// many bytes came.
qsizetype VirtualLine::takeArrived()
{
    const qsizetype before = m_received.size();
    char chunk[16384];
    while (m_master >= 0 && m_received.size() < MaxBytesReceived) {
        const size_t room =
            size_t(std::min<qsizetype>(sizeof chunk, MaxBytesReceived - m_received.size()));
        const ssize_t n = ::read(m_master, chunk, room);
        if (n > 0)
            m_received.append(chunk, n);
        else if (!(n < 0 && errno == EINTR))
            break; // EAGAIN or EIO: nothing (more) waiting
    }
    return m_received.size() - before;
}

// Bytes are taken as they arrive, so that a far end can keep sending while the program waits
// between reads. At the bound, or when the line said it was readable but gave nothing, the
// notifier rests until the program's next read (the 100 ms tick reads at the latest).
void VirtualLine::onReadable()
{
    const bool arrived = takeArrived() > 0;
    if (!arrived || m_received.size() >= MaxBytesReceived)
        m_readNotifier->setEnabled(false);
    if (arrived)
        Q_EMIT readyRead();
}

void VirtualLine::onWritable()
{
    QString reason;
    if (!sendQueued(&reason))
        Q_EMIT lost(reason);
}
