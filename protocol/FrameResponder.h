// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Cp932.h"
#include "protocol/ControlCodes.h"
#include "protocol/LineAction.h"
#include "registers/SimMode.h"

class RegisterMemory;

// What the responder reads of the session at the moment a frame arrives.
struct ResponderState {
    SimMode mode = SimMode::None;
    FrameEnd frameEnd = FrameEnd::Time; // the frame end the frame was cut by
    bool hexOn = false;                 // the hexadecimal dump of received frames is on
    QString dialText;                   // the transmit text: number[,password] for the modem
};

// The received line, its dump and the answer of one received frame: log lines and line bytes,
// in order. Replies end with the terminator of the frame end. The received line's text comes
// from receivedText, the decoder of the whole received stream, so that a character split by a
// pause between two frames shows whole. An empty frame yields nothing. Word writes go to
// memory; no index outside D0-D127 is ever touched.
LineActions respondToFrame(const QByteArray &frame, const ResponderState &state,
                           RegisterMemory &memory, Cp932::StreamDecoder &receivedText);
