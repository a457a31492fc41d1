// SPDX-License-Identifier: MIT
#pragma once

#include "platform/LineDevice.h"
#include "platform/LineLink.h"

class QSocketNotifier;

// A virtual serial line: the master side of a pseudo-terminal held by the program. A host
// program on the same machine opens the far end through a symbolic link, as a serial device.
// Settings are checked by the caller but not applied (a pseudo-terminal has no speed, parity or
// modem lines): CD, CTS and DSR read off, DTR reads on while the line is open. Received bytes are
// taken from the pseudo-terminal as they arrive, as a serial port's driver does, up to a bound;
// beyond it the far end's writes wait, so nothing is lost.
class VirtualLine : public LineDevice
{
    Q_OBJECT
public:
    explicit VirtualLine(const QString &linkPath, QObject *parent = nullptr);
    ~VirtualLine() override;

    bool open(const LineSettings &settings, bool rts, QString *reason) override;
    void close() override;
    bool write(const QByteArray &bytes, QString *reason) override;
    qint64 bytesToSend() override { return m_queued.size(); }
    int bytesWaiting() override;
    QByteArray readAll() override;
    void setRts(bool on) override { m_rts = on; }
    bool cd() override { return false; }
    bool cts() override { return false; }
    bool dsr() override { return false; }
    bool dtr() override { return m_master >= 0; }

private:
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
    bool m_rts = false;
    QByteArray m_queued;
    QByteArray m_received;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};
