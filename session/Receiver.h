// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class Clock;
class SerialPortService;
class Timer;

// Where a receive procedure starts from: the port's arrival event or the session's 100 ms tick.
enum class ReceiveTrigger { PortEvent, Tick };

// The receive path: a small state machine that owns the receive buffer while it gathers frames.
// Its waits are timers, never a blocked event thread, yet the frames it cuts and their order
// are those of the classic procedure:
//  - CR LF and CR: while bytes wait, wait 100 ms (none under CR LF on a tick), read them all,
//    hand on every complete frame, bound the rest;
//  - by time: while bytes wait, read them all and wait the quiet time; then hand on everything
//    gathered as one frame (a port event hands on even an empty buffer, a tick does not).
// A port event or tick that comes while a procedure runs is absorbed: the bytes it announces
// are read at the procedure's next step. The frame end and quiet time hold for the procedure
// they started, so a change applies from the next frame.
class Receiver
{
public:
    struct Hooks {
        std::function<QString()> quietText;                        // read as each timed read starts
        std::function<void(const QByteArray &, FrameEnd)> onFrame; // answers one frame
        std::function<void(const QString &)> note;                 // a note for the traffic log
    };

    Receiver(SerialPortService &port, Clock &clock, Hooks hooks);
    ~Receiver();

    void start(ReceiveTrigger trigger, FrameEnd end);
    // Stops a running procedure at once (CLOSE, END); what it gathered stays in the buffer.
    void cancel();
    bool isBusy() const;
    const QByteArray &buffer() const { return m_buffer; }

private:
    void cutStep();
    void gatherStep();
    bool takeInput();
    void keepWithinBound();

    SerialPortService &m_port;
    Hooks m_hooks;
    std::unique_ptr<Timer> m_timer;
    QByteArray m_buffer;
    ReceiveTrigger m_trigger = ReceiveTrigger::Tick;
    FrameEnd m_end = FrameEnd::Time;
    int m_waitMs = 0;
};
