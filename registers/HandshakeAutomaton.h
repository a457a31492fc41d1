// SPDX-License-Identifier: MIT
#pragma once

#include "registers/RegisterMemory.h"
#include "registers/SimMode.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// The conveying equipment's side of the transport handshake, played through the register
// memory: the host writes an instruction and raises its transport-setting-complete flag; the
// automaton shows the instruction, answers OK, waits for the flag to drop, answers ready and,
// for the rack, reports a completed fork and waits for the host's acknowledgement. The
// vehicle handshake ends with the ready answer: it has no completion report.
//
// It advances one step per tick of the data window (or of a run without windows), plays the
// handshake of the mode it is given at that moment (rack, vehicle; any other mode has no
// steps) and never touches a widget: the caller shows what it returns.
class HandshakeAutomaton
{
public:
    bool isAuto() const { return m_auto; }
    qint16 stepNumber() const { return m_step; }
    qint32 waitCount() const { return m_wait; }

    // Auto mode on or off; the next tick continues from the current step and wait count.
    void setAuto(bool on) { m_auto = on; }
    // Manual mode at step 0, as the data window opens. The wait count carries over.
    void restartInManual();
    // Back to step 0 with no wait (the data window's "R"). The caller empties the status text.
    void reset();

    // Whether a step runs in Manual mode too: a tick in Manual does nothing, a step asked for
    // on purpose (by a control program) acts as a tick in Auto would.
    enum class Pace { ByTheMode, Always };

    // One tick's automaton step. Does nothing in Manual mode (unless asked to step always);
    // otherwise counts the wait down or, when it is 0, runs the current step of the selected
    // mode. Returns the new status text when a step acts, nothing when the status text stays
    // as it was.
    std::optional<QString> runStep(RegisterMemory &memory, SimMode mode,
                                   Pace pace = Pace::ByTheMode);

private:
    bool m_auto = false;
    qint16 m_step = 0;
    qint32 m_wait = 0;
};
