#pragma once

#include "LineDevice.h"
#include "SerialPortService.h"

#include <memory>

// The real serial communications control: keeps the properties the program sets, and on open
// maps the port number to a device (PortMap), checks the settings string and opens a system
// serial port (Qt Serial Port) or a virtual line (pseudo-terminal).
class CommControl : public SerialPortService
{
    Q_OBJECT
public:
    explicit CommControl(QObject *parent = nullptr);
    ~CommControl() override;

    void setRTSEnable(bool on) override;
    bool rtsEnable() const override { return m_rts; }
    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_device != nullptr; }
    QString errorString() const override { return m_error; }
    QString deviceName() const override;
    bool output(const QByteArray &bytes) override;
    int inBufferCount() override;
    QByteArray input() override;
    bool cdHolding() override;
    bool ctsHolding() override;
    bool dsrHolding() override;
    bool dtrEnable() override;

private:
    void onDeviceLost(const QString &reason);

    std::unique_ptr<LineDevice> m_device;
    bool m_rts = false;
    QString m_error;
};
