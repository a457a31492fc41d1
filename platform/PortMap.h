// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Maps the port choices Com1: to Com6: to devices. PORTWREN_COM<n> names the device
// (/dev/ttyUSB0, COM7, or pty:PATH for a virtual line whose far end is linked at PATH) and wins
// over everything else; without it, the device the operator chose for the port and the program
// stored in its settings file; without that, port n is /dev/ttyS<n-1> on Linux and COM<n> on
// Windows.
namespace PortMap
{

constexpr int PortCount = 6;

// The device text for port n (1 to 6): configured, stored or by default.
QString deviceFor(int port);
// "PORTWREN_COM<n>", and its value (trimmed; empty when unset or blank).
QString environmentVariable(int port);
QString environmentDevice(int port);
// The device stored for port n; empty when none is.
QString storedDevice(int port);
// Stores the device for port n; an empty text goes back to the default. Returns false, with
// the settings file's path in *where, when the settings file cannot be written.
bool storeDevice(int port, const QString &device, QString *where = nullptr);
// /dev/ttyS<n-1> on Linux, COM<n> on Windows.
QString platformDefault(int port);

// True when the device text names a virtual line ("pty:PATH").
bool isVirtualLine(const QString &device);
// PATH of a "pty:PATH" device text.
QString virtualLinePath(const QString &device);
// The device text of a virtual line linked at path.
QString virtualLineDevice(const QString &path);
// Why a virtual line cannot be opened on this system, naming what serves instead (Windows has
// no pseudo-terminals: a pair of virtual ports joined by a null-modem driver); empty where
// virtual lines exist.
QString virtualLineRefusal();

} // namespace PortMap
