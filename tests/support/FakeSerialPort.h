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
    explicit FakeSerialPort(FakeClock *clock, QObject *parent = nullptr);

    void setRequestToSend(bool on) override { m_rts = on; }
    bool requestToSend() const override { return m_rts; }
    bool open() override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    QString deviceName() const override;
    bool write(const QByteArray &bytes) override;
    int bytesWaiting() override;
    QByteArray readAll() override;
    ModemLines modemLines() override;

    // Script: bytes that arrive atMs milliseconds after the clock's start.
    void arrive(qint64 atMs, const QByteArray &bytes);
    // Script: bytes that arrive now.
    void arriveNow(const QByteArray &bytes);
    // Raise the arrival event, as the real line does when bytes arrive.
    void raiseArrival() { Q_EMIT bytesArrived(); }
    // The next open fails with this reason.
    void failNextOpen(const QString &reason) { m_failReason = reason; }
    // The next writes are refused with this reason (an empty reason accepts them again).
    void refuseWrites(const QString &reason) { m_refuseReason = reason; }
    // The device disappears: the port closes and portLost is raised.
    void loseLine(const QString &reason);

    // Each write, in order.
    QList<QByteArray> written;
    // All bytes written, joined.
    QByteArray writtenBytes() const;
    // How often the port was opened, and the settings in force at the last open.
    int opens = 0;
    QString openedWith;
    // The far end's lines, reported while the port is open.
    bool cd = false, cts = false, dsr = false, dtr = true;

private:
    struct Chunk {
        qint64 atMs;
        QByteArray bytes;
    };
    QByteArray takeArrived(bool remove);

    FakeClock *m_clock;
    QList<Chunk> m_pending;
    bool m_open = false;
    bool m_rts = false;
    QString m_error;
    QString m_failReason;
    QString m_refuseReason;
};
