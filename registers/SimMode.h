#pragma once

#include <QtGlobal>

// The selected simulator mode, program-wide: the index of the chosen option of the main
// window's mode selector.
enum SimModeIndex : qint16 {
    ModeNone = 0,     // "NONE": echo
    ModePrGps = 1,    // "prGPS": modem dialog
    ModeMnea = 2,     // "MNEA": echo
    ModeRack = 3,     // "ラック": computer link, rack handshake
    ModeRackErr = 4,  // "ラックERR": echo
    ModeVehicle = 5,  // "無人車": computer link, vehicle handshake
};

extern qint16 SimMode;
