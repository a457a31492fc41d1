// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"
#include "protocol/LineAction.h"
#include "registers/SimMode.h"

class RegisterMemory;

// What the responder answers a frame by: the choices in force when the receive procedure that
// cut the frame began.
struct ResponderState {
    SimMode mode = SimMode::None;
    FrameEnd frameEnd = FrameEnd::Time; // the frame end the frame was cut by
    QString dialText;                   // the transmit text: number[,password] for the modem
};

// The answer of one received frame by the simulator mode (the computer-link responder, the
// modem dialog or the echo): notes and line bytes, in order. Replies end with the terminator of
// the frame end. An empty frame yields nothing. Word writes go to memory, each reported by a
// Wrote action before its ACK; no index outside D0-D127 is ever touched.
LineActions respondToFrame(const QByteArray &frame, const ResponderState &state,
                           RegisterMemory &memory);

// A NAK in place of the answer, as a control program may ask for: the note, then NAK, the
// request's header, the code and the terminator of the frame end. Nothing is carried out.
LineActions nakReply(const QByteArray &frame, const ResponderState &state, const QByteArray &code);
