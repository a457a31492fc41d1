// SPDX-License-Identifier: MIT
#pragma once

#include "platform/LineDevice.h"
#include "platform/SerialPortService.h"

#include <memory>

// The real serial port: on open it maps the port number to a device (PortMap), checks the
// settings string and opens a system serial port (Qt Serial Port) or a virtual line
// (pseudo-terminal).
class DevicePortService : public SerialPortService
{
    Q_OBJECT
public:
    explicit DevicePortService(QObject *parent = nullptr);
    ~DevicePortService() override;

    bool setDataTerminalReady(bool on) override;
    bool setRequestToSend(bool on) override;
    bool requestToSend() const override { return m_rts; }
    bool setBreak(bool on) override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_device != nullptr; }
    QString errorString() const override { return m_error; }
    QString deviceName() const override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesToSend() override;
    int bytesWaiting() override;
    QByteArray readAll() override;
    ModemLines modemLines() override;
    bool devicePresent() const override;

private:
    void onDeviceLost(const QString &reason);
    bool change(bool (LineDevice::*setter)(bool, QString *), bool on, bool *kept);

    std::unique_ptr<LineDevice> m_device;
    bool m_dtr = true;
    bool m_rts = false;
    QString m_error;
};
