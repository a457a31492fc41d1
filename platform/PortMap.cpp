// SPDX-License-Identifier: MIT
#include "platform/PortMap.h"

#include <QSettings>
#include <QtGlobal>

namespace
{

const QLatin1String virtualPrefix("pty:");

// The settings file of the user (on Linux ~/.config/portwren/portwren.conf), one key per port:
// ports/com1 ... ports/com6.
struct PortSettings {
    QSettings file{QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("portwren"),
                   QStringLiteral("portwren")};
    static QString key(int port) { return QStringLiteral("ports/com%1").arg(port); }
};

} // namespace

QString PortMap::deviceFor(int port)
{
    if (QString configured = environmentDevice(port); !configured.isEmpty())
        return configured;
    if (QString stored = storedDevice(port); !stored.isEmpty())
        return stored;
    return platformDefault(port);
}

QString PortMap::environmentVariable(int port)
{
    return QStringLiteral("PORTWREN_COM%1").arg(port);
}

QString PortMap::environmentDevice(int port)
{
    return qEnvironmentVariable(environmentVariable(port).toLatin1().constData()).trimmed();
}

QString PortMap::storedDevice(int port)
{
    PortSettings settings;
    return settings.file.value(PortSettings::key(port)).toString().trimmed();
}

bool PortMap::storeDevice(int port, const QString &device, QString *where)
{
    PortSettings settings;
    if (device.trimmed().isEmpty())
        settings.file.remove(PortSettings::key(port));
    else
        settings.file.setValue(PortSettings::key(port), device.trimmed());
    settings.file.sync();
    if (where)
        *where = settings.file.fileName();
    return settings.file.status() == QSettings::NoError;
}

QString PortMap::platformDefault(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

bool PortMap::isVirtualLine(const QString &device)
{
    return device.startsWith(virtualPrefix);
}

QString PortMap::virtualLinePath(const QString &device)
{
    return isVirtualLine(device) ? device.mid(virtualPrefix.size()) : QString();
}

QString PortMap::virtualLineDevice(const QString &path)
{
    return virtualPrefix + path;
}

QString PortMap::virtualLineRefusal()
{
#ifdef Q_OS_WIN
    return QStringLiteral("a virtual line (pty:PATH) is a pseudo-terminal, which Windows does not "
                          "have; use a pair of virtual serial ports joined by a null-modem driver "
                          "instead: PORTWREN on one (--port 1=COM10), the host program on the "
                          "other (COM11)");
#else
    return {};
#endif
}
