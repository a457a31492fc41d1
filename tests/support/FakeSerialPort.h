// SPDX-License-Identifier: MIT
#pragma once

#include "FakeClock.h"
#include "platform/SerialPortService.h"

#include <QList>

// A scripted serial line for tests. Bytes are scheduled to arrive at moments of a FakeClock;
// they are waiting once the clock has reached their moment. Every write is recorded.
class FakeSerialPort : public SerialPortService
{
    Q_OBJECT
public:
    explicit FakeSerialPort(FakeClock *clock) : m_clock(clock) {}

    void setRequestToSend(bool on) override { m_rts = on; }
    bool requestToSend() const override { return m_rts; }
    bool open() override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    QString deviceName() const override
    {
        return device.isEmpty() ? QStringLiteral("fake%1").arg(portNumber()) : device;
    }
    bool write(const QByteArray &bytes) override;
    int bytesWaiting() override { return int(arrived(false).size()); }
    QByteArray readAll() override;
    ModemLines modemLines() override
    {
        return {m_open && cd, m_open && cts, m_open && dsr, m_open && dtr, m_rts};
    }

    // Script: bytes that arrive atMs milliseconds after the clock's start, or now.
    void arrive(qint64 atMs, const QByteArray &bytes) { m_pending.append({atMs, bytes}); }
    void arriveNow(const QByteArray &bytes) { arrive(m_clock->nowMs(), bytes); }
    // Script: bytes that arrive while the program handles what its next read gave it: they wait
    // once that read has returned (a far end that keeps sending while the program answers).
    void arriveAfterNextRead(const QByteArray &bytes) { m_afterNextRead += bytes; }
    // Raise the arrival event, as the real line does when bytes arrive.
    void raiseArrival() { Q_EMIT bytesArrived(); }
    // The next open fails with this reason.
    void failNextOpen(const QString &reason) { m_failReason = reason; }
    // The next writes are refused with this reason (an empty reason accepts them again).
    void refuseWrites(const QString &reason) { m_refuseReason = reason; }
    // The device disappears: the port closes and portLost is raised.
    void loseLine(const QString &reason) { m_open = false, Q_EMIT portLost(reason); }

    // Each write, in order.
    QByteArrayList written;
    // How often the port was opened, and the settings in force at the last open.
    int opens = 0;
    QString openedWith;
    // The device the port stands for ("pty:PATH": a virtual line); empty: "fake<n>".
    QString device;
    // The far end's lines, reported while the port is open.
    bool cd = false, cts = false, dsr = false, dtr = true;

private:
    struct Chunk {
        qint64 atMs;
        QByteArray bytes;
    };
    QByteArray arrived(bool take);

    FakeClock *m_clock;
    QList<Chunk> m_pending;
    QByteArray m_afterNextRead;
    bool m_open = false, m_rts = false;
    QString m_error, m_failReason, m_refuseReason;
};
