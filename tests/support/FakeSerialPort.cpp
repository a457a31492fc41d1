// SPDX-License-Identifier: MIT
#include "FakeSerialPort.h"

#include <utility>

bool FakeSerialPort::open()
{
    m_error = std::exchange(m_failReason, QString());
    m_open = m_error.isEmpty();
    if (m_open)
        ++opens, openedWith = settings();
    return m_open;
}

bool FakeSerialPort::write(const QByteArray &bytes)
{
    m_error = m_open ? m_refuseReason : QStringLiteral("port closed");
    if (m_error.isEmpty())
        written << bytes;
    return m_error.isEmpty();
}

// As the real port: a closed port keeps the state for its next open, an open one records the
// change unless told to refuse it.
bool FakeSerialPort::change(const char *line, bool on, bool *kept)
{
    if (m_open && !m_refuseLinesReason.isEmpty()) {
        m_error = m_refuseLinesReason;
        return false;
    }
    if (m_open)
        lineChanges << QStringLiteral("%1 %2").arg(QLatin1String(line), on ? u"on" : u"off");
    *kept = on;
    return true;
}

bool FakeSerialPort::setBreak(bool on)
{
    if (!m_open) {
        m_error = QStringLiteral("port closed");
        return false;
    }
    return change("BREAK", on, &m_break);
}

QByteArray FakeSerialPort::readAll()
{
    const QByteArray bytes = arrived(true);
    if (m_open && !m_afterNextRead.isEmpty())
        arriveNow(std::exchange(m_afterNextRead, QByteArray()));
    return bytes;
}

// The bytes whose moment has come, in the order they were scripted; taken when asked to.
QByteArray FakeSerialPort::arrived(bool take)
{
    QByteArray bytes;
    for (qsizetype i = 0; m_open && i < m_pending.size();) {
        const bool due = m_pending[i].atMs <= m_clock->nowMs();
        if (due)
            bytes += m_pending[i].bytes;
        if (due && take)
            m_pending.removeAt(i);
        else
            ++i;
    }
    return bytes;
}
