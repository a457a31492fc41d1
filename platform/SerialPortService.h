// SPDX-License-Identifier: MIT
#pragma once

#include "platform/PortMap.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

// The state of the five modem lines the main window shows: three from the far end (carrier
// detect, clear to send, data set ready) and the program's own two outputs.
struct ModemLines {
    bool carrierDetect = false;
    bool clearToSend = false;
    bool dataSetReady = false;
    bool dataTerminalReady = false;
    bool requestToSend = false;
    bool operator==(const ModemLines &) const = default;
};

// The one serial port the program talks through: the port number and settings that apply at
// the next open, the open itself, output, input and the modem lines. One interface, with a real
// implementation (DevicePortService: system serial devices and virtual lines) and a scripted one
// for tests. Nothing here ever shows a dialog; failures are returned and errorString() says why.
//
// An open port raises bytesArrived() for every arrival of bytes; a read takes everything that
// waits.
class SerialPortService : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Port number 1 to 6; takes effect at the next open.
    virtual void setPortNumber(int port) { m_portNumber = port; }
    int portNumber() const { return m_portNumber; }
    // The device port n leads to for this run (the command line's choice), over
    // PORTWREN_COM<n> and the stored choice; an empty text drops the run's choice.
    void setDeviceForRun(int port, const QString &device) { m_runDevices[port] = device.trimmed(); }
    // The device port n leads to: the run's choice, else as the port map says.
    QString deviceFor(int port) const
    {
        const QString chosen = m_runDevices.value(port);
        return chosen.isEmpty() ? PortMap::deviceFor(port) : chosen;
    }
    // "speed,parity,data,stop"; checked and applied when the port opens.
    virtual void setSettings(const QString &settings) { m_settings = settings; }
    QString settings() const { return m_settings; }
    // The program's modem outputs, DTR and RTS. While the port is open a change applies at
    // once; false with errorString() when the device refused it or does not carry it (a
    // virtual line, a pseudo-terminal), and nothing changes then. While it is closed the state
    // is kept, and the next open sets it as the device opens (a device without modem lines
    // opens all the same).
    virtual bool setDataTerminalReady(bool on) = 0;
    virtual bool setRequestToSend(bool on) = 0;
    virtual bool requestToSend() const = 0;
    // BREAK (the line held at space) on or off on the open port; false with errorString() on a
    // closed port, or as for the modem outputs.
    virtual bool setBreak(bool on) = 0;

    // An open that fails leaves the port closed and returns false. Closing a closed port does
    // nothing.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;
    // The device the current port number maps to, as the operator knows it.
    virtual QString deviceName() const = 0;

    // Queues bytes for sending and returns at once. False when the port is closed or the
    // device refused them; nothing is sent then.
    virtual bool write(const QByteArray &bytes) = 0;
    // Bytes written that have not gone out yet: held by the program, and by the system where it
    // says so (a serial port's output queue, what a virtual line's far end has not read).
    virtual qint64 bytesToSend() = 0;
    // Bytes waiting to be read; 0 while the port is closed.
    virtual int bytesWaiting() = 0;
    // Takes every waiting byte; empty while the port is closed.
    virtual QByteArray readAll() = 0;
    // Readable at any time. A closed port reports the incoming lines and DTR off; RTS reads as
    // set, open or not.
    virtual ModemLines modemLines() = 0;
    // Whether the device the port number leads to is there to be opened now: a system device's
    // path exists (a link's target too); a virtual line is made as it opens. Never waits.
    virtual bool devicePresent() const = 0;

Q_SIGNALS:
    // Raised on the event thread when bytes arrive.
    void bytesArrived();
    // The device went away while open (adapter unplugged, far end gone for good). The port is
    // already closed when this is raised.
    void portLost(const QString &reason);

private:
    int m_portNumber = 1;
    QHash<int, QString> m_runDevices;
    QString m_settings = QStringLiteral("9600,N,8,1");
};
