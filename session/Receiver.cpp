// SPDX-License-Identifier: MIT
#include "session/Receiver.h"

#include "platform/Clock.h"
#include "platform/SerialPortService.h"
#include "protocol/FrameCutting.h"

#include <utility>

namespace
{
constexpr int InputWaitMs = 100; // the wait before each read under CR LF and CR
} // namespace

Receiver::Receiver(SerialPortService &port, Clock &clock, Hooks hooks)
    : m_port(port), m_hooks(std::move(hooks)), m_timer(clock.makeTimer())
{
}

Receiver::~Receiver() = default;

bool Receiver::isBusy() const
{
    return m_timer->isActive();
}

void Receiver::cancel()
{
    ++m_cancelled;
    m_timer->stop();
    m_rest = Rest::No;
}

void Receiver::start(ReceiveTrigger trigger, const ProcedureChoices &choices)
{
    if (isBusy() || isResting())
        return;
    m_trigger = trigger;
    m_choices = choices;
    if (!hasRoom()) {
        m_rest = Rest::BeforeStart;
        return;
    }
    begin();
}

void Receiver::resume()
{
    if (!isResting() || !hasRoom())
        return;
    const Rest rest = std::exchange(m_rest, Rest::No);
    m_timer->start(0, [this, rest] { rest == Rest::BeforeStart ? begin() : handOnFrames(); });
}

void Receiver::begin()
{
    if (frameEnd() == FrameEnd::Time) {
        m_waitMs = quietTimeFrom(m_hooks.quietText());
        return gatherStep();
    }
    // A tick under CR LF reads without waiting; it still lets the event loop run between reads.
    const bool readAtOnce = frameEnd() == FrameEnd::CrLf && m_trigger == ReceiveTrigger::Tick;
    m_waitMs = readAtOnce ? 0 : InputWaitMs;
    if (m_port.bytesWaiting() > 0)
        m_timer->start(m_waitMs, [this] { cutStep(); });
}

// CR LF and CR: read, bound what follows the complete frames, then hand the frames on.
void Receiver::cutStep()
{
    if (!takeInput())
        return;
    keepWithinBound(completeFramesLength(m_buffer, frameEnd()));
    handOnFrames();
}

// Hands on up to FramesPerTurn complete frames; further frames go on the next turn of the
// event loop, and once none is left the procedure waits again while bytes wait.
void Receiver::handOnFrames()
{
    const quint64 procedure = m_cancelled;
    for (int n = 0; n < FramesPerTurn; ++n) {
        if (!hasRoom()) {
            m_rest = Rest::BetweenFrames;
            return;
        }
        const std::optional<QByteArray> frame = takeFrame(m_buffer, frameEnd());
        if (!frame) {
            if (m_port.bytesWaiting() > 0)
                m_timer->start(m_waitMs, [this] { cutStep(); });
            return;
        }
        m_hooks.onFrame(*frame, m_choices);
        if (procedure != m_cancelled)
            return;
    }
    m_timer->start(0, [this] { handOnFrames(); });
}

// By time: one step per quiet time. Bytes waiting extend the frame; a quiet time with nothing
// waiting ends it, leftovers from another frame end included.
void Receiver::gatherStep()
{
    if (m_port.bytesWaiting() > 0 && takeInput()) {
        keepWithinBound(0);
        m_timer->start(m_waitMs, [this] { gatherStep(); });
        return;
    }
    if (m_trigger == ReceiveTrigger::PortEvent || !m_buffer.isEmpty()) {
        const QByteArray frame = std::exchange(m_buffer, QByteArray());
        m_hooks.onFrame(frame, m_choices);
    }
}

// Takes what is waiting onto the buffer. False when nothing came: a port that reports bytes but
// hands none over ends the procedure instead of keeping it going.
bool Receiver::takeInput()
{
    const QByteArray arrived = m_port.readAll();
    m_buffer += arrived;
    return !arrived.isEmpty();
}

// The oldest bytes of the unfinished rest beyond the bound are dropped, never silently: the
// session notes their count and dump.
void Receiver::keepWithinBound(qsizetype complete)
{
    const QByteArray dropped = dropBeyondBound(m_buffer, complete);
    if (!dropped.isEmpty())
        m_hooks.onOverflow(dropped);
}
