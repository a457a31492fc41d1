#pragma once

#include <QString>

// Maps the port choices Com1: to Com6: to devices. PORTWREN_COM<n> names the device
// (/dev/ttyUSB0, COM7, or pty:PATH for a virtual line whose far end is linked at PATH); unset,
// port n is /dev/ttyS<n-1> on Linux and COM<n> on Windows.
namespace PortMap
{

// The device text for port n (1 to 6), as configured or by default.
QString deviceFor(int port);
// True when the device text names a virtual line ("pty:PATH").
bool isVirtualLine(const QString &device);
// PATH of a "pty:PATH" device text.
QString virtualLinePath(const QString &device);

} // namespace PortMap
