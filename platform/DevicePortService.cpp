// SPDX-License-Identifier: MIT
#include "platform/DevicePortService.h"

#include "platform/PortMap.h"
#include "platform/QtSerialDevice.h"

#include <QFileInfo>
#ifdef Q_OS_UNIX
#include "platform/VirtualLine.h"
#endif

namespace
{

// The device for the text; none, with *reason, for a virtual line where there are none.
std::unique_ptr<LineDevice> makeDevice(const QString &device, [[maybe_unused]] QString *reason)
{
    if (PortMap::isVirtualLine(device)) {
#ifdef Q_OS_UNIX
        return std::make_unique<VirtualLine>(PortMap::virtualLinePath(device));
#else
        *reason = PortMap::virtualLineRefusal();
        return nullptr;
#endif
    }
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

DevicePortService::DevicePortService(QObject *parent) : SerialPortService(parent) {}

DevicePortService::~DevicePortService()
{
    if (m_device)
        m_device->close();
}

bool DevicePortService::setDataTerminalReady(bool on)
{
    return change(&LineDevice::setDtr, on, &m_dtr);
}

bool DevicePortService::setRequestToSend(bool on)
{
    return change(&LineDevice::setRts, on, &m_rts);
}

bool DevicePortService::setBreak(bool on)
{
    bool unkept = false;
    if (m_device)
        return change(&LineDevice::setBreak, on, &unkept);
    m_error = deviceName() + QStringLiteral(": the port is not open");
    return false;
}

// A closed port keeps the state for its next open; an open one changes the device now, and
// keeps the state only when the device took it.
bool DevicePortService::change(bool (LineDevice::*setter)(bool, QString *), bool on, bool *kept)
{
    QString reason;
    if (m_device && !(m_device.get()->*setter)(on, &reason)) {
        m_error = deviceName() + QStringLiteral(": ") + reason;
        return false;
    }
    *kept = on;
    return true;
}

QString DevicePortService::deviceName() const
{
    return deviceFor(portNumber());
}

void DevicePortService::close()
{
    retire(m_device, this);
}

bool DevicePortService::open()
{
    if (m_device)
        return true;
    const QString device = deviceName();
    QString reason;
    const std::optional<LineSettings> line = LineSettings::parse(settings(), &reason);
    std::unique_ptr<LineDevice> candidate = line ? makeDevice(device, &reason) : nullptr;
    if (!candidate || !candidate->open(*line, m_dtr, m_rts, &reason)) {
        m_error = device + QStringLiteral(": ") + reason;
        return false;
    }
    connect(candidate.get(), &LineDevice::readyRead, this, &SerialPortService::bytesArrived);
    connect(candidate.get(), &LineDevice::lost, this, &DevicePortService::onDeviceLost);
    m_device = std::move(candidate);
    m_error.clear();
    return true;
}

void DevicePortService::onDeviceLost(const QString &reason)
{
    retire(m_device, this);
    m_error = deviceName() + QStringLiteral(": ") + reason;
    Q_EMIT portLost(m_error);
}

bool DevicePortService::write(const QByteArray &bytes)
{
    if (!m_device) {
        m_error = deviceName() + QStringLiteral(": the port is not open");
        return false;
    }
    const qint64 waiting = m_device->bytesToSend();
    if (waiting + bytes.size() > LineDevice::maxBytesToSend) {
        m_error = deviceName() + QStringLiteral(": %1 bytes not sent: %2 bytes already wait to go "
                                                "out and the limit is %3 bytes (the far end is "
                                                "not taking them)")
                                     .arg(bytes.size())
                                     .arg(waiting)
                                     .arg(LineDevice::maxBytesToSend);
        return false;
    }
    QString reason;
    if (m_device->write(bytes, &reason))
        return true;
    m_error = deviceName() + QStringLiteral(": ") + reason;
    return false;
}

qint64 DevicePortService::bytesToSend()
{
    return m_device ? m_device->bytesNotSent() : 0;
}

int DevicePortService::bytesWaiting()
{
    return m_device ? m_device->bytesWaiting() : 0;
}

QByteArray DevicePortService::readAll()
{
    return m_device ? m_device->readAll() : QByteArray();
}

ModemLines DevicePortService::modemLines()
{
    if (!m_device)
        return {.requestToSend = m_rts};
    return {m_device->cd(), m_device->cts(), m_device->dsr(), m_device->dtr(), m_rts};
}

bool DevicePortService::devicePresent() const
{
#ifdef Q_OS_UNIX
    const QString device = deviceName();
    return PortMap::isVirtualLine(device) || QFileInfo::exists(device);
#else
    return true; // a COM port has no path to look at: the open attempt tells
#endif
}
