// SPDX-License-Identifier: MIT
#pragma once

#include "FakeClock.h"
#include "platform/SerialPortService.h"

#include <QList>
#include <QStringList>

// A scripted serial line for tests. Bytes are scheduled to arrive at moments of a FakeClock;
// they are waiting once the clock has reached their moment. Every write is recorded, and every
// change of the modem outputs and BREAK on the open port.
class FakeSerialPort : public SerialPortService
{
    Q_OBJECT
public:
    explicit FakeSerialPort(FakeClock *clock) : m_clock(clock) {}

    bool setDataTerminalReady(bool on) override { return change("DTR", on, &m_dtr); }
    bool setRequestToSend(bool on) override { return change("RTS", on, &m_rts); }
    bool requestToSend() const override { return m_rts; }
    bool setBreak(bool on) override;
    bool open() override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    QString deviceName() const override
    {
        return device.isEmpty() ? QStringLiteral("fake%1").arg(portNumber()) : device;
    }
    bool write(const QByteArray &bytes) override;
    qint64 bytesToSend() override { return m_open ? unsent : 0; }
    int bytesWaiting() override { return int(arrived(false).size()); }
    QByteArray readAll() override;
    ModemLines modemLines() override
    {
        return {m_open && cd, m_open && cts, m_open && dsr, m_open && m_dtr, m_rts};
    }
    bool devicePresent() const override { return present; }

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
    // The next changes of the modem outputs and BREAK on the open port are refused with this
    // reason (an empty reason takes them again).
    void refuseLineChanges(const QString &reason) { m_refuseLinesReason = reason; }
    // The device disappears: the port closes and portLost is raised; it is not present until
    // the test says so.
    void loseLine(const QString &reason)
    {
        m_open = false, present = false;
        Q_EMIT portLost(reason);
    }

    // Each write, in order.
    QByteArrayList written;
    // How often the port was opened, and the settings in force at the last open.
    int opens = 0;
    QString openedWith;
    // The device the port stands for ("pty:PATH": a virtual line); empty: "fake<n>".
    QString device;
    // The far end's lines, reported while the port is open.
    bool cd = false, cts = false, dsr = false;
    // Each change of DTR, RTS and BREAK made on the open port, in order: "DTR off", "BREAK on".
    QStringList lineChanges;
    // Bytes written that have not gone out yet, as the test says.
    qint64 unsent = 0;
    // Whether the device is there to be opened.
    bool present = true;

private:
    struct Chunk {
        qint64 atMs;
        QByteArray bytes;
    };
    QByteArray arrived(bool take);
    bool change(const char *line, bool on, bool *kept);

    FakeClock *m_clock;
    QList<Chunk> m_pending;
    QByteArray m_afterNextRead;
    bool m_open = false, m_dtr = true, m_rts = false, m_break = false;
    QString m_error, m_failReason, m_refuseReason, m_refuseLinesReason;
};
