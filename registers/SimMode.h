// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// The simulated device: how the program answers the line, which register preset an open
// applies and which transport handshake the register memory plays. The values are the
// positions of the modes in the main window's mode choice.
enum class SimMode : qint16 {
    None = 0,    // "NONE": echo
    PrGps = 1,   // "prGPS": modem dialog
    Mnea = 2,    // "MNEA": echo
    Rack = 3,    // "ラック": computer link, rack preset and handshake
    RackErr = 4, // "ラックERR": echo
    Vehicle = 5, // "無人車": computer link, vehicle preset and handshake
};

constexpr int SimModeCount = 6;

// The modes whose registers a host reads and writes over the computer link, and whose
// registers the data window shows.
constexpr bool isComputerLink(SimMode mode)
{
    return mode == SimMode::Rack || mode == SimMode::Vehicle;
}
