// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>
#include <utility>

// What the system says about an open serial port's handle (QSerialPort::handle()) past Qt
// Serial Port's own buffer, and what a device name is.
namespace SerialHandle
{

// What QSerialPort::handle() gives: a descriptor on Unix, a HANDLE on Windows.
using Native = decltype(std::declval<QSerialPort &>().handle());

// Bytes the system holds for the handle that Qt has not read yet. On Unix FIONREAD; on Windows
// none are counted: Qt reads the driver's queue as soon as the system reports bytes, and a read
// of our own beside Qt's would compete with its reads.
int bytesWaiting(Native handle);
// Bytes written to the handle that the system has not put on the line yet (the driver's output
// queue): TIOCOUTQ on Unix, the comm status on Windows.
qint64 bytesNotSent(Native handle);
// Takes those bytes, without ever blocking.
QByteArray takeBytes(Native handle);
// True when the device hung up or failed (an adapter unplugged, the far end gone).
bool hungUp(Native handle);
// True when the device is a pseudo-terminal's far end (/dev/pts/N), which carries no parity,
// only 8 data bits and no modem lines. Never on Windows, which has no pseudo-terminals.
bool isPseudoTerminal(const QString &device);

} // namespace SerialHandle
