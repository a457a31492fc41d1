// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// One serial port of the machine, as the system reports it.
struct SystemPort {
    QString device;       // what a port maps to: /dev/ttyUSB0, COM7
    QString description;  // the driver's or the adapter's own words; may be empty
    QString manufacturer; // may be empty
    std::optional<quint16> vendorId, productId; // USB adapters only
    bool busy = false;                          // another program holds it now
};

// Lists the machine's serial ports. Injected where a list is shown, so tests script it.
using SystemPortLister = std::function<QList<SystemPort>()>;

// The machine's serial ports (Qt Serial Port), in the system's order. A port counts as busy
// when a live program holds its lock file (the convention serial programs on Unix share).
QList<SystemPort> listSystemPorts();

// What is known of a port besides its device, for one line of a list: "USB-Serial Controller
// (Prolific, 067b:2303), in use"; empty when nothing is known.
QString describePort(const SystemPort &port);
