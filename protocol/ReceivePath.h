#pragma once

#include "protocol/ControlCodes.h"

#include <QByteArray>
#include <QString>
#include <functional>

class Clock;
class SerialPortService;

// Where the receive procedure runs from: the port's arrival event or the session's 100 ms tick.
enum class ReceiveTrigger { PortEvent, TimerTick };

// What the receive procedure works on: the port, the blocking wait, the session's receive
// buffer and frame end, and its hooks.
struct ReceiveContext {
    SerialPortService &port;
    Clock &clock;
    QByteArray &buffer; // bytes received and not yet handed on as a frame
    FrameEnd frameEnd;
    std::function<QString()> quietText;              // read at each timed read
    std::function<void(const QByteArray &)> onFrame; // answers one frame
    std::function<void(bool)> setTickEnabled;        // the tick is off during a timed read
    std::function<void(const QString &)> note;       // a note for the traffic log
};

// Gathers waiting bytes into the buffer, cuts frames by the frame end and hands each to
// onFrame, in arrival order, with the waits that the trigger calls for.
void runReceive(ReceiveTrigger trigger, ReceiveContext &ctx);

// The quiet time in milliseconds from the operator's text: its leading decimal number, blanks
// ignored, halves rounded to even, no number -> 0; clamped to 0..32767.
int quietTimeFrom(const QString &text);
