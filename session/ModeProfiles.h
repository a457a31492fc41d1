// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"
#include "registers/SimMode.h"

#include <QString>

// What choosing a simulator mode brings with it: the settings and transmit texts it puts in
// place, its frame end, and whether an open initialises a modem. (Which register preset an open
// applies is the register memory's: RegisterMemory::applyPresetOf.)
struct ModeProfile {
    QString caption;       // the mode's name, as the main window offers it
    bool fillsTexts;       // "NONE" leaves the settings and transmit texts as they are
    QString settings;      // the settings text it puts in place
    QString transmitText;  // the transmit text it puts in place
    FrameEnd frameEnd;     // the frame end it selects
    bool initialisesModem; // an open notes the modem call and sends "AT" CR LF
};

const ModeProfile &profileOf(SimMode mode);
