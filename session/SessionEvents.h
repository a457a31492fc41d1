// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

// What the line session says happened, as typed events: every consumer (the window's log, the
// log of a run without windows, a program reading events) reads the same facts and never parses
// a log line.

// Bytes that went over the line: a frame received, or bytes sent.
struct Traffic {
    enum Direction { Received, Sent };
    Direction direction = Received;
    qint64 timeUs = 0; // microseconds since 1970-01-01 00:00 UTC
    QByteArray bytes;  // exactly the bytes on the line (a received frame with its frame end)
    // The bytes as text, decoded once by the session from code page 932 as a stream of their
    // direction, so that a character split between two frames shows whole; a received frame's
    // text leaves out the frame end.
    QString text;
    FrameEnd frameEnd = FrameEnd::Time; // received: the frame end that cut the frame
    bool hexShown = false;              // the log shows a dump of the bytes after the text
};

// Who a note comes from, so that a consumer tells a failure from a reply note without its text.
enum class NoteSource {
    Responder,   // the simulated device answering a frame
    LineMonitor, // the receive path watching the line (a receive buffer that overflowed)
    Port,        // the port: an open that failed, a lost device, bytes it would not send
    Operator,    // the operator's actions: OPEN, CLOSE, transmit commands
    Control,     // the control socket: a control program's connection that it closed
};

// A line of the traffic log that is not traffic.
struct Note {
    qint64 timeUs = 0;
    NoteSource source = NoteSource::Operator;
    QString text;    // exactly as the log shows it, e.g. "  <<NAK返送>>"
    QByteArray dump; // bytes the log dumps after the note (what the receive buffer dropped)
};

Q_DECLARE_METATYPE(Traffic)
Q_DECLARE_METATYPE(Note)
