#pragma once

#include "LineAction.h"

class RegisterMemory;

// What the responder reads of the main window at the moment a frame arrives.
struct ResponderState {
    qint16 simMode = 0;    // SimMode
    qint16 termKind = 2;   // TermKind: 0 CR LF, 1 CR, 2 by time
    QByteArray termStr;    // TermStr: the terminator appended to replies
    bool hexOn = false;    // HEX display "On" selected
    QString dialText;      // Text2: number[,password] for the modem dialog
};

// FrameProc's logic: the log lines and line bytes that answer one received frame, in order.
// An empty frame yields nothing. Word writes go to memory; no index outside D0-D127 is ever
// touched.
LineActions respondToFrame(const QByteArray &frame, const ResponderState &state,
                           RegisterMemory &memory);
