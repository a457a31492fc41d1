// SPDX-License-Identifier: MIT
#pragma once

// The rack's frames under CR LF that the tests of replies and their faults play: a host's word
// read of D32-D33 and word write of D40, the rack preset's answers to them, and a fault asked for.

#include "protocol/SumCheck.h"
#include "session/ReplyFaults.h"

#include <QByteArray>

// A host's request: ENQ, the body, its sum, CR LF.
inline QByteArray rackRequest(const QByteArray &body)
{
    return "\x05" + body + sumCheck(body) + "\r\n";
}

inline const QByteArray Read = rackRequest("000000WR00003202");
inline const QByteArray Write = rackRequest("000000WW000040010009"); // D40 := 0009
inline const QByteArray Data = "\x02"
                               "00000000020001\x03"
                               "A6\r\n";
inline const QByteArray Ack = "\x06"
                              "000000\r\n";

// A fault with its count, delay, NAK code, pieces and gap.
inline Fault fault(Fault::Kind kind, int count = 1, int delayMs = 0, const QByteArray &nak = {},
                   int pieces = 2, int gapMs = 0)
{
    return {kind, count, delayMs, nak, pieces, gapMs};
}
