// SPDX-License-Identifier: MIT
#pragma once

#include "platform/LineDevice.h"

#include <QSerialPort>

// A system serial port through Qt Serial Port. Counts and takes bytes past Qt's own buffer, so
// that a count made after a blocking wait sees every byte the system already holds.
class QtSerialDevice : public LineDevice
{
    Q_OBJECT
public:
    explicit QtSerialDevice(const QString &device, QObject *parent = nullptr);

    bool open(const LineSettings &settings, bool dtr, bool rts, QString *reason) override;
    void close() override;
    bool write(const QByteArray &bytes, QString *reason) override;
    qint64 bytesToSend() override { return m_port.isOpen() ? m_port.bytesToWrite() : 0; }
    qint64 bytesNotSent() override;
    int bytesWaiting() override;
    QByteArray readAll() override;
    bool setDtr(bool on, QString *reason) override;
    bool setRts(bool on, QString *reason) override;
    bool setBreak(bool on, QString *reason) override;
    bool cd() override { return lines() & QSerialPort::DataCarrierDetectSignal; }
    bool cts() override { return lines() & QSerialPort::ClearToSendSignal; }
    bool dsr() override { return lines() & QSerialPort::DataSetReadySignal; }
    bool dtr() override;

private:
    bool apply(const LineSettings &settings, QString *reason);
    bool refused(const QString &what, QString *reason);
    bool carried(QString *reason) const;
    bool changed(bool done, QString *reason);
    QSerialPort::PinoutSignals lines();
    void forgetError();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    // A pseudo-terminal's far end: it carries no parity, only 8 data bits and no modem lines.
    bool m_pseudoTerminal;
};
