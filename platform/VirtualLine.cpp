#include "platform/VirtualLine.h"

#include <QSocketNotifier>

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

bool VirtualLine::open(const LineSettings &, bool rts, QString *reason)
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
    m_rts = rts;
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

int VirtualLine::bytesWaiting()
{
    int count = 0;
    if (m_master < 0 || ::ioctl(m_master, FIONREAD, &count) != 0)
        return 0;
    return count;
}

QByteArray VirtualLine::readAll()
{
    QByteArray bytes(bytesWaiting(), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(m_master, bytes.data() + got, size_t(bytes.size() - got));
        if (n > 0)
            got += n;
        else if (!(n < 0 && errno == EINTR))
            break; // EAGAIN or EIO: nothing (more) waiting
    }
    bytes.truncate(got);
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
    return bytes;
}

void VirtualLine::onReadable()
{
    // The notifier stays off until the bytes are taken (readAll), so bytes nobody reads do not
    // raise the event over and over; an activation finding nothing waiting raises nothing.
    m_readNotifier->setEnabled(false);
    if (bytesWaiting() == 0) {
        m_readNotifier->setEnabled(true);
        return;
    }
    Q_EMIT readyRead();
}

void VirtualLine::onWritable()
{
    QString reason;
    if (!sendQueued(&reason))
        Q_EMIT lost(reason);
}
