#include "FakeSerialPort.h"

FakeSerialPort::FakeSerialPort(FakeClock *clock, QObject *parent)
    : SerialPortService(parent), m_clock(clock)
{
}

void FakeSerialPort::setCommPort(int port)
{
    calls << QStringLiteral("CommPort=%1").arg(port);
    SerialPortService::setCommPort(port);
}

void FakeSerialPort::setSettings(const QString &settings)
{
    calls << QStringLiteral("Settings=") + settings;
    SerialPortService::setSettings(settings);
}

void FakeSerialPort::setInputLen(int len)
{
    calls << QStringLiteral("InputLen=%1").arg(len);
    SerialPortService::setInputLen(len);
}

void FakeSerialPort::setRThreshold(int count)
{
    calls << QStringLiteral("RThreshold=%1").arg(count);
    SerialPortService::setRThreshold(count);
}

void FakeSerialPort::setSThreshold(int count)
{
    calls << QStringLiteral("SThreshold=%1").arg(count);
    SerialPortService::setSThreshold(count);
}

void FakeSerialPort::setRTSEnable(bool on)
{
    calls << QStringLiteral("RTSEnable=%1")
                 .arg(on ? QStringLiteral("true") : QStringLiteral("false"));
    m_rts = on;
}

bool FakeSerialPort::setPortOpen(bool open)
{
    calls << QStringLiteral("PortOpen=%1")
                 .arg(open ? QStringLiteral("true") : QStringLiteral("false"));
    if (open && !m_failReason.isEmpty()) {
        m_error = m_failReason;
        m_failReason.clear();
        return false;
    }
    m_error.clear();
    m_open = open;
    return true;
}

QString FakeSerialPort::deviceName() const
{
    return QStringLiteral("fake%1").arg(commPort());
}

bool FakeSerialPort::output(const QByteArray &bytes)
{
    if (!m_open) {
        m_error = QStringLiteral("port closed");
        return false;
    }
    written << bytes;
    return true;
}

QByteArray FakeSerialPort::writtenBytes() const
{
    QByteArray all;
    for (const QByteArray &b : written)
        all += b;
    return all;
}

QByteArray FakeSerialPort::takeArrived(bool remove)
{
    QByteArray arrived;
    if (!m_open)
        return arrived;
    for (int i = 0; i < m_pending.size();) {
        if (m_pending[i].atMs <= m_clock->nowMs()) {
            arrived += m_pending[i].bytes;
            if (remove) {
                m_pending.removeAt(i);
                continue;
            }
        }
        ++i;
    }
    return arrived;
}

int FakeSerialPort::inBufferCount()
{
    return static_cast<int>(takeArrived(false).size());
}

QByteArray FakeSerialPort::input()
{
    ++inputReads;
    return takeArrived(true);
}

void FakeSerialPort::arrive(qint64 atMs, const QByteArray &bytes)
{
    m_pending.append({atMs, bytes});
}

void FakeSerialPort::arriveNow(const QByteArray &bytes)
{
    arrive(m_clock->nowMs(), bytes);
}

void FakeSerialPort::loseLine(const QString &reason)
{
    m_open = false;
    Q_EMIT portLost(reason);
}
