// SPDX-License-Identifier: MIT
#include "session/ReplyFaults.h"

#include "protocol/ControlCodes.h"

#include <algorithm>
#include <array>
#include <utility>

namespace
{

const std::array<std::pair<Fault::Kind, const char *>, 6> KindNames = {{
    {Fault::Kind::Drop, "drop"},
    {Fault::Kind::Delay, "delay"},
    {Fault::Kind::Nak, "nak"},
    {Fault::Kind::BadSum, "bad_sum"},
    {Fault::Kind::Split, "split"},
    {Fault::Kind::Garble, "garble"},
}};

// Where the sum of a word read's reply starts (STX ... ETX, two sum characters, terminator), or
// -1 for a reply that carries no sum.
qsizetype sumAt(const QByteArray &reply)
{
    if (!reply.startsWith(Ctl::STX))
        return -1;
    const qsizetype etx = reply.lastIndexOf(Ctl::ETX);
    return etx > 0 && etx + 3 <= reply.size() ? etx + 1 : -1;
}

} // namespace

QString faultKindName(Fault::Kind kind)
{
    for (const auto &[k, name] : KindNames)
        if (k == kind)
            return QLatin1String(name);
    return {};
}

std::optional<Fault::Kind> faultKindNamed(const QString &name)
{
    for (const auto &[kind, text] : KindNames)
        if (name == QLatin1String(text))
            return kind;
    return std::nullopt;
}

QString AppliedFault::note() const
{
    return QStringLiteral("  <<FAULT %1 (%2 left)>>").arg(faultKindName(kind)).arg(left);
}

std::optional<QString> ReplyFaults::add(const Fault &fault)
{
    if (fault.count <= 0)
        return std::nullopt;
    if (m_faults.size() >= size_t(MaxWaiting))
        return QStringLiteral("%1 faults already wait, the most there may be: clear them or let "
                              "replies use them up first")
            .arg(MaxWaiting);
    m_faults.push_back(fault);
    m_pending += fault.count;
    return std::nullopt;
}

// The queue's memory goes back too.
void ReplyFaults::clear()
{
    std::deque<Fault>().swap(m_faults);
    m_pending = 0;
}

std::optional<QByteArray> ReplyFaults::nakDue() const
{
    if (m_faults.empty() || m_faults.front().kind != Fault::Kind::Nak)
        return std::nullopt;
    return m_faults.front().nakCode;
}

AppliedFault ReplyFaults::takeNak()
{
    return takeFront();
}

// Counts the fault due down, and lets it go when it is used up.
AppliedFault ReplyFaults::takeFront()
{
    Fault &fault = m_faults.front();
    const AppliedFault applied{fault.kind, --fault.count};
    --m_pending;
    if (fault.count == 0)
        m_faults.pop_front();
    return applied;
}

ReplyFaults::Outcome ReplyFaults::apply(const QByteArray &reply)
{
    Outcome out;
    out.bytes = reply;
    if (m_faults.empty())
        return out;
    const Fault fault = m_faults.front();
    switch (fault.kind) {
    case Fault::Kind::Drop:
        out.dropped = true;
        break;
    case Fault::Kind::Delay:
        out.delayMs = fault.delayMs;
        break;
    case Fault::Kind::Nak: // refuses a request before it is carried out: see nakDue()
        return out;
    case Fault::Kind::BadSum: {
        const qsizetype at = sumAt(reply);
        if (at < 0)
            return out;
        out.bytes[at] = reply[at] == '0' ? '1' : '0'; // always a different sum
        break;
    }
    case Fault::Kind::Split:
        out.pieces =
            int(std::clamp<qsizetype>(fault.pieces, 1, std::max<qsizetype>(1, reply.size())));
        out.gapMs = fault.gapMs;
        break;
    case Fault::Kind::Garble:
        if (!out.bytes.isEmpty())
            out.bytes.back() = char(out.bytes.back() ^ 0xFF);
        break;
    }
    out.applied = takeFront();
    return out;
}
