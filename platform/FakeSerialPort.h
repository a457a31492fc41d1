#pragma once

#include "Clock.h"
#include "SerialPortService.h"

#include <QList>
#include <QStringList>

// A scripted serial line for tests. Bytes are scheduled to arrive at moments of a FakeClock;
// they are waiting (inBufferCount/input) once the clock has reached their moment. Everything
// the program does to the port is recorded: property writes in order, and each output.
class FakeSerialPort : public SerialPortService
{
    Q_OBJECT
public:
    explicit FakeSerialPort(FakeClock *clock, QObject *parent = nullptr);

    void setCommPort(int port) override;
    void setSettings(const QString &settings) override;
    void setInputLen(int len) override;
    void setRThreshold(int count) override;
    void setSThreshold(int count) override;
    void setRTSEnable(bool on) override;
    bool rtsEnable() const override { return m_rts; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }
    QString deviceName() const override;
    bool output(const QByteArray &bytes) override;
    int inBufferCount() override;
    QByteArray input() override;
    bool cdHolding() override { return m_open && cd; }
    bool ctsHolding() override { return m_open && cts; }
    bool dsrHolding() override { return m_open && dsr; }
    bool dtrEnable() override { return m_open && dtr; }

    // Script: bytes that arrive atMs milliseconds after the clock's start.
    void arrive(qint64 atMs, const QByteArray &bytes);
    // Script: bytes that arrive now.
    void arriveNow(const QByteArray &bytes);
    // Raise the port event, as the real line does when bytes arrive.
    void raiseComm() { Q_EMIT onComm(); }
    // The next open fails with this reason.
    void failNextOpen(const QString &reason) { m_failReason = reason; }
    // The device disappears: the port closes and portLost is raised.
    void loseLine(const QString &reason);

    // Property writes in order, as "Name=value" (InputLen=0, Settings=9600,N,8,1, PortOpen=true).
    QStringList calls;
    // Each output, in order.
    QList<QByteArray> written;
    // All bytes output, joined.
    QByteArray writtenBytes() const;
    // Times input() was read.
    int inputReads = 0;
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
};
