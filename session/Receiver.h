// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"
#include "protocol/FrameResponder.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class Clock;
class SerialPortService;
class Timer;

// Where a receive procedure starts from: the port's arrival event or the session's 100 ms tick.
enum class ReceiveTrigger { PortEvent, Tick };

// What holds for every frame a receive procedure cuts, whichever turn answers it: the choices
// in force when the procedure began. A change applies from the next procedure's frames.
struct ProcedureChoices {
    ResponderState responder; // the mode, the frame end, the dial text
    bool hexShown = false;    // the HEX choice
};

// The receive path: a small state machine that owns the receive buffer while it gathers frames.
// Its waits are timers, never a blocked event thread, yet the frames it cuts and their order
// are those of the classic procedure:
//  - CR LF and CR: while bytes wait, wait 100 ms (none under CR LF on a tick), read them all,
//    hand on every complete frame, bound the rest;
//  - by time: while bytes wait, read them all and wait the quiet time; then hand on everything
//    gathered as one frame (a port event hands on even an empty buffer, a tick does not).
// A port event or tick that comes while a procedure runs is absorbed: the bytes it announces
// are read at the procedure's next step. Under a flood, a bounded number of frames is handed on
// per turn of the event loop and the rest on the next turns, with nothing more read meanwhile
// (the far end waits, as on a real line), so END and a termination signal act at once.
// While the owner has no room for more replies (`roomForReplies`), nothing is read and no frame
// is handed on: the procedure rests until resume(), and its frames wait in the buffer.
class Receiver
{
public:
    struct Hooks {
        std::function<QString()> quietText; // read as each timed read starts
        std::function<void(const QByteArray &, const ProcedureChoices &)> onFrame;
        std::function<void(const QByteArray &)> onOverflow; // the oldest bytes, dropped
        std::function<bool()> roomForReplies = {};          // none: always room
    };
    // Frames handed on in one turn of the event loop.
    static constexpr int FramesPerTurn = 64;

    Receiver(SerialPortService &port, Clock &clock, Hooks hooks);
    ~Receiver();

    void start(ReceiveTrigger trigger, const ProcedureChoices &choices);
    // Stops a running procedure at once (CLOSE, END); what it gathered stays in the buffer.
    void cancel();
    // Goes on where the procedure rested for want of room, once there is room again.
    void resume();
    bool isBusy() const;
    bool isResting() const { return m_rest != Rest::No; }
    const QByteArray &buffer() const { return m_buffer; }

private:
    FrameEnd frameEnd() const { return m_choices.responder.frameEnd; }
    bool hasRoom() const { return !m_hooks.roomForReplies || m_hooks.roomForReplies(); }
    void begin();
    void cutStep();
    void handOnFrames();
    void gatherStep();
    bool takeInput();
    void keepWithinBound(qsizetype complete);

    SerialPortService &m_port;
    Hooks m_hooks;
    std::unique_ptr<Timer> m_timer;
    QByteArray m_buffer;
    ReceiveTrigger m_trigger = ReceiveTrigger::Tick;
    ProcedureChoices m_choices;
    int m_waitMs = 0;
    // Where a procedure rests for want of room: before it began, or between two frames.
    enum class Rest { No, BeforeStart, BetweenFrames } m_rest = Rest::No;
    // Counts the procedures stopped, so that a frame's answer that stops the procedure (CLOSE)
    // ends the handing on at once.
    quint64 m_cancelled = 0;
};
