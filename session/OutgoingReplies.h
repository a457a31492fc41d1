// SPDX-License-Identifier: MIT
#pragma once

#include "session/ReplyFaults.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class Timer;

// The simulated device's replies on their way to the line. Each reply is shaped by the fault due
// (ReplyFaults: dropped, late, in pieces, with wrong bytes) and goes out behind the replies
// still waiting, so the line carries the replies in the order of the frames they answer. Its
// waits are timers, never a blocked event thread.
//
// What waits is bounded: the waiting replies take at most Bound bytes, each counted with its
// bytes and its record. A reply that would take them past it is not sent (no fault applies to
// it); one note counts those as soon as a waiting reply has left, or when the waiting replies
// are released or discarded. Clearing the faults ends every wait: the waiting replies go out at
// once, in order, with one note. The memory of the waiting replies goes back once none waits.
class OutgoingReplies
{
public:
    // The most the waiting replies take, in bytes.
    static constexpr qsizetype Bound = 1024 * 1024;
    // Room enough for one more reply: more than any reply of the computer link or the modem
    // dialog, and than the echo of a frame cut by time.
    static constexpr qsizetype RoomForAReply = 64 * 1024;
    // Pieces sent in one turn of the event loop; the rest go on the next turns, so that a
    // release of many replies never holds up END or the receive path.
    static constexpr int PiecesPerTurn = 64;

    struct Hooks {
        // Puts bytes on the line and reports them; false when they were not sent.
        std::function<bool(const QByteArray &, bool hexShown)> send;
        std::function<void(const QString &)> note;           // a note for the log
        std::function<void(const AppliedFault &)> faultUsed; // a fault shaped a reply
        std::function<void()> roomMade;                      // a waiting reply left the queue
    };

    OutgoingReplies(Clock &clock, Hooks hooks);
    ~OutgoingReplies();

    // The faults for the next replies (ReplyFaults::add).
    std::optional<QString> addFault(const Fault &fault) { return m_faults.add(fault); }
    qint64 faultsPending() const { return m_faults.pending(); }
    // Drops every fault waiting; the replies a fault holds back go out now, in order.
    void clearFaults();
    // A NAK fault refuses the request before it is answered: see ReplyFaults.
    std::optional<QByteArray> nakDue() const { return m_faults.nakDue(); }
    AppliedFault takeNak() { return m_faults.takeNak(); }

    // A reply, shaped by the fault due, goes out now or behind the replies waiting.
    void send(const QByteArray &reply, bool hexShown);
    // CLOSE and a lost port: the waiting replies are not sent, with a note.
    void discard();
    // END: nothing more goes out.
    void stop();

    // What the waiting replies take, in bytes.
    qsizetype waitingSize() const { return m_waitingSize; }
    qsizetype repliesWaiting() const { return qsizetype(m_waiting.size()); }
    // Whether one more reply surely fits under the bound.
    bool hasRoomForAReply() const { return m_waitingSize + RoomForAReply <= Bound; }
    // Replies that went out whole.
    qint64 repliesSent() const { return m_repliesSent; }

private:
    // A reply waiting: its bytes are the next `size` bytes of m_bytes.
    struct Waiting {
        qsizetype size;
        int afterMs; // before its next piece
        int gapMs;   // before each piece after the first
        int pieces;
        int piecesSent;
        bool hexShown;
    };
    static constexpr qsizetype RecordSize = qsizetype(sizeof(Waiting));

    void sendDue();
    void sendNextPiece();
    void forgetWaiting();
    void noteNotSent();

    ReplyFaults m_faults;
    Hooks m_hooks;
    std::unique_ptr<Timer> m_timer;
    std::deque<Waiting> m_waiting;
    QByteArray m_bytes; // the waiting replies' bytes, oldest first
    qsizetype m_waitingSize = 0;
    qint64 m_notSent = 0; // replies turned away at the bound and not noted yet
    qint64 m_repliesSent = 0;
};
