// SPDX-License-Identifier: MIT
#include "session/Receiver.h"

#include "platform/Clock.h"
#include "platform/SerialPortService.h"
#include "protocol/FrameCutting.h"
#include "protocol/HexDump.h"
#include "protocol/SumCheck.h"

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
    m_timer->stop();
}

void Receiver::start(ReceiveTrigger trigger, FrameEnd end)
{
    if (isBusy())
        return;
    m_trigger = trigger;
    m_end = end;
    if (end == FrameEnd::Time) {
        m_waitMs = quietTimeFrom(m_hooks.quietText());
        return gatherStep();
    }
    // A tick under CR LF reads without waiting; it still lets the event loop run between reads.
    const bool readAtOnce = end == FrameEnd::CrLf && trigger == ReceiveTrigger::Tick;
    m_waitMs = readAtOnce ? 0 : InputWaitMs;
    if (m_port.bytesWaiting() > 0)
        m_timer->start(m_waitMs, [this] { cutStep(); });
}

// CR LF and CR: read, hand on every complete frame, bound what remains (complete frames are
// never dropped), and wait again while bytes wait.
void Receiver::cutStep()
{
    if (!takeInput())
        return;
    while (const std::optional<QByteArray> frame = takeFrame(m_buffer, m_end))
        m_hooks.onFrame(*frame, m_end);
    keepWithinBound();
    if (m_port.bytesWaiting() > 0)
        m_timer->start(m_waitMs, [this] { cutStep(); });
}

// By time: one step per quiet time. Bytes waiting extend the frame; a quiet time with nothing
// waiting ends it, leftovers from another frame end included.
void Receiver::gatherStep()
{
    if (m_port.bytesWaiting() > 0 && takeInput()) {
        keepWithinBound();
        m_timer->start(m_waitMs, [this] { gatherStep(); });
        return;
    }
    if (m_trigger == ReceiveTrigger::PortEvent || !m_buffer.isEmpty()) {
        const QByteArray frame = std::exchange(m_buffer, QByteArray());
        m_hooks.onFrame(frame, m_end);
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

// The oldest bytes beyond the bound are dropped, never silently: the log gets a note with their
// count, then their hex dump.
void Receiver::keepWithinBound()
{
    const QByteArray dropped = dropBeyondBound(m_buffer);
    if (dropped.isEmpty())
        return;
    m_hooks.note(QStringLiteral("  <<受信バッファあふれ: %1 バイト破棄>>").arg(dropped.size()));
    m_hooks.note(QStringLiteral("　") + hexDump(dropped));
}
