// SPDX-License-Identifier: MIT
#pragma once

#include "platform/LineSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// One open serial device behind DevicePortService: a system serial port or a virtual line.
class LineDevice : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Output the program may hold for a device that has not taken it yet (a far end that does
    // not read, a slow or stopped line). The same for every device, so that a write beyond it
    // is refused whole, with the same note, whatever the port.
    static constexpr qint64 maxBytesToSend = 1024 * 1024;

    // Opens the device with these settings and DTR and RTS states (a device that cannot set
    // them opens all the same); false with *reason on failure.
    virtual bool open(const LineSettings &settings, bool dtr, bool rts, QString *reason) = 0;
    virtual void close() = 0;
    virtual bool write(const QByteArray &bytes, QString *reason) = 0;
    // Bytes written and still held by the program, not yet handed to the system.
    virtual qint64 bytesToSend() = 0;
    // Bytes written that have not gone out yet: those bytesToSend() counts, and those the
    // system still holds where it says so.
    virtual qint64 bytesNotSent() = 0;
    virtual int bytesWaiting() = 0;
    virtual QByteArray readAll() = 0;
    // The program's modem outputs and BREAK, changed on the open device now: false with
    // *reason when the device refused or does not carry them; nothing changed then.
    virtual bool setDtr(bool on, QString *reason) = 0;
    virtual bool setRts(bool on, QString *reason) = 0;
    virtual bool setBreak(bool on, QString *reason) = 0;
    virtual bool cd() = 0;
    virtual bool cts() = 0;
    virtual bool dsr() = 0;
    virtual bool dtr() = 0;

Q_SIGNALS:
    // Bytes arrived.
    void readyRead();
    // The device is gone for good; the owner closes it.
    void lost(const QString &reason);
};
