// SPDX-License-Identifier: MIT
#pragma once

#include "platform/LineDevice.h"
#include "platform/LineLink.h"

class QSocketNotifier;

// A virtual serial line: the master side of a pseudo-terminal held by the program. A host
// program on the same machine opens the far end through a symbolic link, as a serial device.
// Settings are checked by the caller but not applied (a pseudo-terminal has no speed, parity or
// modem lines): CD, CTS and DSR read off, DTR reads on while the line is open. A change of DTR,
// RTS or BREAK is refused: the far end could not see it. Received bytes are
// taken from the pseudo-terminal as they arrive, as a serial port's driver does, up to a bound;
// beyond it the far end's writes wait, so nothing is lost.
class VirtualLine : public LineDevice
{
    Q_OBJECT
public:
    explicit VirtualLine(const QString &linkPath, QObject *parent = nullptr);
    ~VirtualLine() override;

    bool open(const LineSettings &settings, bool dtr, bool rts, QString *reason) override;
    void close() override;
    bool write(const QByteArray &bytes, QString *reason) override;
    qint64 bytesToSend() override { return m_queued.size(); }
    qint64 bytesNotSent() override;
    int bytesWaiting() override;
    QByteArray readAll() override;
    bool setDtr(bool, QString *reason) override { return notCarried(reason); }
    bool setRts(bool, QString *reason) override { return notCarried(reason); }
    bool setBreak(bool, QString *reason) override { return notCarried(reason); }
    bool cd() override { return false; }
    bool cts() override { return false; }
    bool dsr() override { return false; }
    bool dtr() override { return m_master >= 0; }

private:
    static bool notCarried(QString *reason);
    bool openPair(QString *reason);
    bool sendQueued(QString *reason);
    qsizetype takeArrived();
    void onReadable();
    void onWritable();

    LineLink m_link;
    QByteArray m_farEndName;
    int m_master = -1;
    // The far end, held open by the program for the whole connection, so that a host closing
    // its side never hangs up the line and can open it again.
    int m_slave = -1;
    QByteArray m_queued;
    QByteArray m_received;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};
