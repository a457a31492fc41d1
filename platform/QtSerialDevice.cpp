// SPDX-License-Identifier: MIT
#include "platform/QtSerialDevice.h"

#include "platform/SerialHandle.h"

QtSerialDevice::QtSerialDevice(const QString &device, QObject *parent)
    : LineDevice(parent), m_pseudoTerminal(SerialHandle::isPseudoTerminal(device))
{
    m_port.setPortName(device);
    connect(&m_port, &QSerialPort::readyRead, this, &LineDevice::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialDevice::onError);
}

bool QtSerialDevice::open(const LineSettings &settings, bool dtr, bool rts, QString *reason)
{
    // Opened with Qt's defaults (8N1, no handshaking, default buffers), then set field by
    // field so that a refusal names the field and can be judged for this kind of device.
    if (!m_port.open(QIODevice::ReadWrite)) {
        *reason = m_port.errorString();
        return false;
    }
    if (!apply(settings, reason)) {
        m_port.close();
        return false;
    }
    // A device without modem lines refuses them; the line then simply has none.
    if (!m_pseudoTerminal) {
        m_port.setDataTerminalReady(dtr);
        m_port.setRequestToSend(rts);
    }
    forgetError();
    return true;
}

bool QtSerialDevice::apply(const LineSettings &settings, QString *reason)
{
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::EvenParity,
                                                   QSerialPort::OddParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    static const QSerialPort::StopBits stops[] = {QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                                  QSerialPort::TwoStop};
    if (!m_port.setBaudRate(settings.speed))
        return refused(QStringLiteral("speed %1").arg(settings.speed), reason);
    if (!m_port.setDataBits(QSerialPort::DataBits(settings.dataBits)) && !m_pseudoTerminal)
        return refused(QStringLiteral("%1 data bits").arg(settings.dataBits), reason);
    if (!m_port.setParity(parities[int(settings.parity)]) && !m_pseudoTerminal)
        return refused(QStringLiteral("the parity"), reason);
    if (!m_port.setStopBits(stops[int(settings.stopBits)]))
        return refused(QStringLiteral("the stop bits"), reason);
    forgetError();
    return true;
}

bool QtSerialDevice::refused(const QString &what, QString *reason)
{
    *reason = QStringLiteral("the device refused %1 (%2)").arg(what, m_port.errorString());
    return false;
}

void QtSerialDevice::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialDevice::write(const QByteArray &bytes, QString *reason)
{
    if (m_port.write(bytes) == bytes.size())
        return true;
    *reason = m_port.errorString();
    m_port.clearError();
    return false;
}

qint64 QtSerialDevice::bytesNotSent()
{
    if (!m_port.isOpen())
        return 0;
    return m_port.bytesToWrite() + SerialHandle::bytesNotSent(m_port.handle());
}

int QtSerialDevice::bytesWaiting()
{
    if (!m_port.isOpen())
        return 0;
    return int(m_port.bytesAvailable()) + SerialHandle::bytesWaiting(m_port.handle());
}

QByteArray QtSerialDevice::readAll()
{
    if (!m_port.isOpen())
        return {};
    QByteArray bytes = m_port.readAll();
    return bytes + SerialHandle::takeBytes(m_port.handle());
}

// A pseudo-terminal has no modem lines and no BREAK: the far end would never see them, so they
// are refused rather than reported done.
bool QtSerialDevice::setDtr(bool on, QString *reason)
{
    return carried(reason) && changed(m_port.setDataTerminalReady(on), reason);
}

bool QtSerialDevice::setRts(bool on, QString *reason)
{
    return carried(reason) && changed(m_port.setRequestToSend(on), reason);
}

bool QtSerialDevice::setBreak(bool on, QString *reason)
{
    return carried(reason) && changed(m_port.setBreakEnabled(on), reason);
}

bool QtSerialDevice::carried(QString *reason) const
{
    if (m_pseudoTerminal)
        *reason = QStringLiteral("not carried on a pseudo-terminal");
    return !m_pseudoTerminal;
}

bool QtSerialDevice::changed(bool done, QString *reason)
{
    if (!done)
        *reason = QStringLiteral("the device refused it (%1)").arg(m_port.errorString());
    forgetError();
    return done;
}

void QtSerialDevice::forgetError()
{
    // A refused modem-line request leaves an error behind that would otherwise stay reported.
    if (m_port.error() != QSerialPort::NoError)
        m_port.clearError();
}

bool QtSerialDevice::dtr()
{
    const bool on = m_port.isOpen() && m_port.isDataTerminalReady();
    forgetError();
    return on;
}

QSerialPort::PinoutSignals QtSerialDevice::lines()
{
    if (!m_port.isOpen())
        return QSerialPort::NoSignal;
    const QSerialPort::PinoutSignals state = m_port.pinoutSignals();
    forgetError();
    return state;
}

void QtSerialDevice::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    // Qt also reports a read error when the bytes it was told about were already taken by
    // readAll(); only a hang-up means the device is gone. The port is closed here at once,
    // because a hung-up descriptor left open makes Qt report errors in a tight loop.
    if (!SerialHandle::hungUp(m_port.handle())) {
        m_port.clearError();
        return;
    }
    m_port.close();
    Q_EMIT lost(QStringLiteral("the device hung up (disconnected)"));
}
