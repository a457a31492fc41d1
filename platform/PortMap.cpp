#include "platform/PortMap.h"

#include <QtGlobal>

namespace
{
const QLatin1String virtualPrefix("pty:");
}

QString PortMap::deviceFor(int port)
{
    const QString configured =
        qEnvironmentVariable(QStringLiteral("PORTWREN_COM%1").arg(port).toLatin1().constData())
            .trimmed();
    if (!configured.isEmpty())
        return configured;
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
