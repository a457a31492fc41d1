#include "CommControl.h"

#include "PortMap.h"
#include "QtSerialDevice.h"
#ifdef Q_OS_UNIX
#include "VirtualLine.h"
#endif

namespace
{

std::unique_ptr<LineDevice> makeDevice(const QString &device)
{
#ifdef Q_OS_UNIX
    if (PortMap::isVirtualLine(device))
        return std::make_unique<VirtualLine>(PortMap::virtualLinePath(device));
#endif
    return std::make_unique<QtSerialDevice>(device);
}

// Closes the device and lets it go. It is deleted later, with the control as a fallback owner,
// because the close may come from inside one of the device's own signals (a receive handler,
// or the device reporting itself lost).
void retire(std::unique_ptr<LineDevice> &owned, QObject *control)
{
    if (!owned)
        return;
    LineDevice *device = owned.release();
    device->disconnect(control);
    device->close();
    device->setParent(control);
    device->deleteLater();
}

} // namespace

CommControl::CommControl(QObject *parent) : SerialPortService(parent) {}

CommControl::~CommControl()
{
    if (m_device)
        m_device->close();
}

void CommControl::setRTSEnable(bool on)
{
    m_rts = on;
    if (m_device)
        m_device->setRts(on);
}

QString CommControl::deviceName() const
{
    return PortMap::deviceFor(commPort());
}

bool CommControl::setPortOpen(bool open)
{
    if (!open) {
        retire(m_device, this);
        return true;
    }
    if (m_device)
        return true;
    const QString device = deviceName();
    QString reason;
    const std::optional<LineSettings> line = LineSettings::parse(settings(), &reason);
    std::unique_ptr<LineDevice> candidate = line ? makeDevice(device) : nullptr;
    if (!candidate || !candidate->open(*line, m_rts, &reason)) {
        m_error = device + QStringLiteral(": ") + reason;
        return false;
    }
    connect(candidate.get(), &LineDevice::readyRead, this, &SerialPortService::onComm);
    connect(candidate.get(), &LineDevice::lost, this, &CommControl::onDeviceLost);
    m_device = std::move(candidate);
    m_error.clear();
    return true;
}

void CommControl::onDeviceLost(const QString &reason)
{
    retire(m_device, this);
    m_error = deviceName() + QStringLiteral(": ") + reason;
    Q_EMIT portLost(m_error);
}

bool CommControl::output(const QByteArray &bytes)
{
    if (!m_device) {
        m_error = deviceName() + QStringLiteral(": the port is not open");
        return false;
    }
    QString reason;
    if (m_device->write(bytes, &reason))
        return true;
    m_error = deviceName() + QStringLiteral(": ") + reason;
    return false;
}

int CommControl::inBufferCount()
{
    return m_device ? m_device->bytesWaiting() : 0;
}

QByteArray CommControl::input()
{
    // Every waiting byte, as with InputLen 0, the only length the program uses.
    return m_device ? m_device->readAll() : QByteArray();
}

bool CommControl::cdHolding()
{
    return m_device && m_device->cd();
}

bool CommControl::ctsHolding()
{
    return m_device && m_device->cts();
}

bool CommControl::dsrHolding()
{
    return m_device && m_device->dsr();
}

bool CommControl::dtrEnable()
{
    return m_device && m_device->dtr();
}
