// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <deque>
#include <optional>

// A fault the simulated device makes on purpose in its next replies, so that a host's tests can
// see it survive them: a reply dropped, late, refused with NAK, with a wrong sum, in pieces, or
// with its last byte garbled.
struct Fault {
    enum class Kind { Drop, Delay, Nak, BadSum, Split, Garble };
    Kind kind = Kind::Drop;
    int count = 1;      // the replies it applies to
    int delayMs = 0;    // Delay: how late the reply goes out
    QByteArray nakCode; // Nak: the two characters of the NAK's code
    int pieces = 2;     // Split: into how many pieces
    int gapMs = 0;      // Split: the pause before each piece after the first
};

// "drop", "delay", "nak", "bad_sum", "split", "garble".
QString faultKindName(Fault::Kind kind);
std::optional<Fault::Kind> faultKindNamed(const QString &name);

// A fault used on one reply: its kind and how many more replies it applies to.
struct AppliedFault {
    Fault::Kind kind = Fault::Kind::Drop;
    int left = 0;
    // The traffic log's note, "  <<FAULT kind (n left)>>".
    QString note() const;
};

// The faults waiting for the device's next replies, applied one reply at a time in the order
// they were asked for. Each use of a fault is told (AppliedFault), for its note and its event.
// At most MaxWaiting faults wait; the count of replies still to be faulted is kept as faults
// come and go, so asking for it, adding and applying each take the same short time however many
// wait.
class ReplyFaults
{
public:
    static constexpr int MaxWaiting = 10000;

    // Queues a fault (one for no reply is ignored); when MaxWaiting already wait, nothing is
    // queued and the reason is returned.
    std::optional<QString> add(const Fault &fault);
    void clear();
    // How many replies are still to be faulted: the sum of the waiting faults' counts.
    qint64 pending() const { return m_pending; }

    // The NAK code the next reply is to be, when the fault due refuses requests.
    std::optional<QByteArray> nakDue() const;
    // Counts the NAK fault due down.
    AppliedFault takeNak();

    // How one reply goes out under the fault due: its bytes, whether it goes out at all, how
    // late and in how many pieces, and the fault used (none when no fault applied: no fault
    // due, or a wrong sum due and the reply carries none, which leaves the fault waiting for a
    // reply that does).
    struct Outcome {
        QByteArray bytes;
        bool dropped = false;
        int delayMs = 0; // before its first piece
        int pieces = 1;  // of nearly equal size, 1 to the reply's length
        int gapMs = 0;   // before each piece after the first
        std::optional<AppliedFault> applied;
    };
    Outcome apply(const QByteArray &reply);

private:
    AppliedFault takeFront();

    std::deque<Fault> m_faults;
    qint64 m_pending = 0;
};
