// SPDX-License-Identifier: MIT
#include "FakeSerialPort.h"

FakeSerialPort::FakeSerialPort(FakeClock *clock, QObject *parent)
    : SerialPortService(parent), m_clock(clock)
{
}

bool FakeSerialPort::open()
{
    if (!m_failReason.isEmpty()) {
        m_error = m_failReason;
        m_failReason.clear();
        return false;
    }
    m_error.clear();
    m_open = true;
    ++opens;
    openedWith = settings();
    return true;
}

QString FakeSerialPort::deviceName() const
{
    return QStringLiteral("fake%1").arg(portNumber());
}

bool FakeSerialPort::write(const QByteArray &bytes)
{
    m_error = !m_open ? QStringLiteral("port closed") : m_refuseReason;
    if (!m_error.isEmpty())
        return false;
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

int FakeSerialPort::bytesWaiting()
{
    return static_cast<int>(takeArrived(false).size());
}

QByteArray FakeSerialPort::readAll()
{
    return takeArrived(true);
}

ModemLines FakeSerialPort::modemLines()
{
    if (!m_open)
        return {.requestToSend = m_rts};
    return {cd, cts, dsr, dtr, m_rts};
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
