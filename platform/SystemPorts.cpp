// SPDX-License-Identifier: MIT
#include "platform/SystemPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace
{

#ifdef Q_OS_UNIX
// The folders where serial programs put their "LCK..ttyUSB0" lock files.
const char *const LockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                   "/run/lock"};

// A lock file names its holder's process id on its first line; the port is held while that
// process lives. A lock left by a program that died does not count.
bool heldByLiveProgram(const QString &lockPath)
{
    QFile lock(lockPath);
    if (!lock.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const qint64 pid = lock.readLine(64).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}
#endif

bool isBusy(const QSerialPortInfo &info)
{
#ifdef Q_OS_UNIX
    const QString name = QStringLiteral("LCK..") + info.portName();
    for (const char *folder : LockFolders) {
        const QString path = QDir(QLatin1String(folder)).filePath(name);
        if (QFileInfo::exists(path) && heldByLiveProgram(path))
            return true;
    }
#else
    Q_UNUSED(info);
#endif
    return false;
}

} // namespace

QList<SystemPort> listSystemPorts()
{
    QList<SystemPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SystemPort port;
        port.device = info.systemLocation();
        port.description = info.description().trimmed();
        port.manufacturer = info.manufacturer().trimmed();
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        port.busy = isBusy(info);
        ports.append(port);
    }
    return ports;
}

QString describePort(const SystemPort &port)
{
    QStringList maker;
    if (!port.manufacturer.isEmpty())
        maker << port.manufacturer;
    if (port.vendorId && port.productId)
        maker << QStringLiteral("%1:%2")
                     .arg(*port.vendorId, 4, 16, QLatin1Char('0'))
                     .arg(*port.productId, 4, 16, QLatin1Char('0'));
    QString text = port.description;
    if (!maker.isEmpty())
        text += (text.isEmpty() ? QStringLiteral("(") : QStringLiteral(" (")) +
                maker.join(QStringLiteral(", ")) + QLatin1Char(')');
    if (port.busy)
        text += text.isEmpty() ? QStringLiteral("in use") : QStringLiteral(", in use");
    return text;
}
