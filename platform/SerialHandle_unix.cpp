// SPDX-License-Identifier: MIT
#include "platform/SerialHandle.h"

#include <QFileInfo>

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

int SerialHandle::bytesWaiting(Native fd)
{
    int count = 0;
    if (fd < 0 || ::ioctl(int(fd), FIONREAD, &count) != 0)
        count = 0;
    return count;
}

qint64 SerialHandle::bytesNotSent(Native fd)
{
    int queued = 0;
    if (fd < 0 || ::ioctl(int(fd), TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

QByteArray SerialHandle::takeBytes(Native fd)
{
    QByteArray bytes(bytesWaiting(fd), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(int(fd), bytes.data() + got, size_t(bytes.size() - got));
        if (n > 0)
            got += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    bytes.truncate(got);
    return bytes;
}

bool SerialHandle::hungUp(Native fd)
{
    pollfd pfd{int(fd), POLLIN, 0};
    return fd >= 0 && ::poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool SerialHandle::isPseudoTerminal(const QString &device)
{
    return QFileInfo(device).canonicalFilePath().startsWith(QLatin1String("/dev/pts/"));
}
