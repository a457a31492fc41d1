// SPDX-License-Identifier: MIT
#include "session/OutgoingReplies.h"

#include "platform/Clock.h"

#include <utility>

OutgoingReplies::OutgoingReplies(Clock &clock, Hooks hooks)
    : m_hooks(std::move(hooks)), m_timer(clock.makeTimer())
{
}

OutgoingReplies::~OutgoingReplies() = default;

// A reply that does not fit is turned away before a fault is used on it: the faults wait for
// replies that go out. Nothing waiting, a reply that goes out whole and at once never queues.
void OutgoingReplies::send(const QByteArray &reply, bool hexShown)
{
    const qsizetype size = reply.size() + RecordSize;
    if (m_waitingSize + size > Bound) {
        ++m_notSent;
        if (m_waiting.empty()) // a reply larger than the bound: no room will come for it
            noteNotSent();
        return;
    }
    const ReplyFaults::Outcome out = m_faults.apply(reply);
    if (out.applied)
        m_hooks.faultUsed(*out.applied);
    if (out.dropped)
        return;
    if (m_waiting.empty() && out.delayMs == 0 && out.pieces == 1) {
        if (m_hooks.send(out.bytes, hexShown))
            ++m_repliesSent;
        return;
    }
    m_waiting.push_back({out.bytes.size(), out.delayMs, out.gapMs, out.pieces, 0, hexShown});
    m_bytes += out.bytes;
    m_waitingSize += size;
    sendDue();
}

// Sends what is due, up to PiecesPerTurn pieces; a pause or the turn's end waits on the timer.
void OutgoingReplies::sendDue()
{
    for (int sent = 0; !m_waiting.empty() && !m_timer->isActive(); ++sent) {
        Waiting &next = m_waiting.front();
        if (next.afterMs > 0 || sent == PiecesPerTurn) {
            m_timer->start(std::exchange(next.afterMs, 0), [this] { sendDue(); });
            return;
        }
        sendNextPiece();
    }
}

// The front reply's next piece of nearly equal size; after its last piece the reply leaves.
// The queue is settled before the piece goes out, so a close while it is reported finds it so.
void OutgoingReplies::sendNextPiece()
{
    Waiting &next = m_waiting.front();
    const qsizetype from = next.size * next.piecesSent / next.pieces;
    const qsizetype to = next.size * ++next.piecesSent / next.pieces;
    const QByteArray piece = m_bytes.sliced(from, to - from);
    const bool hexShown = next.hexShown;
    const bool last = next.piecesSent == next.pieces;
    next.afterMs = next.gapMs;
    if (last) {
        m_bytes.remove(0, next.size);
        m_waitingSize -= next.size + RecordSize;
        m_waiting.pop_front();
        if (m_waiting.empty())
            forgetWaiting();
    }
    if (m_hooks.send(piece, hexShown) && last)
        ++m_repliesSent;
    if (last) {
        noteNotSent();
        m_hooks.roomMade();
    }
}

void OutgoingReplies::clearFaults()
{
    m_faults.clear();
    if (m_waiting.empty())
        return;
    m_timer->stop();
    for (Waiting &waiting : m_waiting)
        waiting.afterMs = waiting.gapMs = 0;
    m_hooks.note(
        QStringLiteral("  <<FAULT: %1 waiting replies sent at once: the faults were cleared>>")
            .arg(m_waiting.size()));
    sendDue();
}

void OutgoingReplies::discard()
{
    m_timer->stop();
    const size_t replies = m_waiting.size();
    forgetWaiting();
    if (replies > 0)
        m_hooks.note(QStringLiteral("  <<FAULT: %1 waiting replies not sent: the port closed>>")
                         .arg(replies));
    noteNotSent();
    m_hooks.roomMade();
}

void OutgoingReplies::stop()
{
    m_timer->stop();
}

// Nothing waits: the queue's memory goes back.
void OutgoingReplies::forgetWaiting()
{
    std::deque<Waiting>().swap(m_waiting);
    m_bytes = QByteArray();
    m_waitingSize = 0;
}

void OutgoingReplies::noteNotSent()
{
    if (m_notSent == 0)
        return;
    m_hooks.note(QStringLiteral("  <<FAULT: %1 replies not sent: the replies waiting to go out "
                                "reached the limit of %2 bytes>>")
                     .arg(std::exchange(m_notSent, 0))
                     .arg(Bound));
}
