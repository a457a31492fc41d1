#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The serial communications control the program talks through (MSComm1): properties that are
// set before an open, the open itself, output, input and the modem lines. One interface, with
// a real implementation (CommControl: system serial devices and virtual lines) and a scripted
// one for tests (FakeSerialPort). Nothing here ever shows a dialog; failures are returned.
class SerialPortService : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Port number 1 to 6; takes effect at the next open.
    virtual void setCommPort(int port) { m_commPort = port; }
    int commPort() const { return m_commPort; }
    // "speed,parity,data,stop"; checked and applied when the port opens.
    virtual void setSettings(const QString &settings) { m_settings = settings; }
    QString settings() const { return m_settings; }
    virtual void setInputLen(int len) { m_inputLen = len; }
    int inputLen() const { return m_inputLen; }
    virtual void setRThreshold(int count) { m_rThreshold = count; }
    int rThreshold() const { return m_rThreshold; }
    virtual void setSThreshold(int count) { m_sThreshold = count; }
    int sThreshold() const { return m_sThreshold; }
    virtual void setRTSEnable(bool on) = 0;
    virtual bool rtsEnable() const = 0;

    // Opens (true) or closes (false). An open that fails leaves the port closed, returns false
    // and leaves the reason in errorString(). Closing a closed port does nothing.
    virtual bool setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;
    virtual QString errorString() const = 0;
    // The device the current port number maps to, as the operator knows it.
    virtual QString deviceName() const = 0;

    // Queues bytes for sending and returns at once. False when the port is closed or the
    // device refused them (errorString() says why); nothing is sent then.
    virtual bool output(const QByteArray &bytes) = 0;
    // Bytes waiting to be read; 0 while the port is closed.
    virtual int inBufferCount() = 0;
    // Takes every waiting byte; empty while the port is closed.
    virtual QByteArray input() = 0;

    // Modem lines. Readable at any time; a closed port reports them off.
    virtual bool cdHolding() = 0;
    virtual bool ctsHolding() = 0;
    virtual bool dsrHolding() = 0;
    virtual bool dtrEnable() = 0;

Q_SIGNALS:
    // Raised on the GUI thread when bytes arrive (and on other line events).
    void onComm();
    // The device went away while open (adapter unplugged, far end gone for good). The port is
    // already closed when this is raised.
    void portLost(const QString &reason);

private:
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inputLen = 0;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
};
