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

// The same bytes in up to `count` pieces of nearly equal size, a pause before each but the first.
QList<ReplyPiece> inPieces(const QByteArray &reply, int count, int gapMs)
{
    const qsizetype pieces = std::clamp<qsizetype>(count, 1, std::max<qsizetype>(1, reply.size()));
    QList<ReplyPiece> out;
    qsizetype from = 0;
    for (qsizetype i = 0; i < pieces; ++i) {
        const qsizetype to = reply.size() * (i + 1) / pieces;
        out << ReplyPiece{i == 0 ? 0 : gapMs, reply.mid(from, to - from)};
        from = to;
    }
    return out;
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

void ReplyFaults::add(const Fault &fault)
{
    if (fault.count > 0)
        m_faults.push_back(fault);
}

int ReplyFaults::pending() const
{
    int count = 0;
    for (const Fault &fault : m_faults)
        count += fault.count;
    return count;
}

std::optional<QByteArray> ReplyFaults::nakDue() const
{
    if (m_faults.empty() || m_faults.front().kind != Fault::Kind::Nak)
        return std::nullopt;
    return m_faults.front().nakCode;
}

QString ReplyFaults::takeNak()
{
    return takeFront();
}

// Counts the fault due down, and lets it go when it is used up.
QString ReplyFaults::takeFront()
{
    Fault &fault = m_faults.front();
    const QString note = QStringLiteral("  <<FAULT %1 (%2 left)>>")
                             .arg(faultKindName(fault.kind))
                             .arg(--fault.count);
    if (fault.count == 0)
        m_faults.pop_front();
    return note;
}

ReplyFaults::Outcome ReplyFaults::apply(const QByteArray &reply)
{
    if (m_faults.empty())
        return {{{0, reply}}, {}};
    const Fault fault = m_faults.front();
    QByteArray bytes = reply;
    QList<ReplyPiece> pieces{{0, bytes}};
    switch (fault.kind) {
    case Fault::Kind::Drop:
        pieces.clear();
        break;
    case Fault::Kind::Delay:
        pieces = {{fault.delayMs, bytes}};
        break;
    case Fault::Kind::Nak: // refuses a request before it is carried out: see nakDue()
        return {{{0, reply}}, {}};
    case Fault::Kind::BadSum: {
        const qsizetype at = sumAt(bytes);
        if (at < 0)
            return {{{0, reply}}, {}};
        bytes[at] = bytes[at] == '0' ? '1' : '0'; // always a different sum
        pieces = {{0, bytes}};
        break;
    }
    case Fault::Kind::Split:
        pieces = inPieces(bytes, fault.pieces, fault.gapMs);
        break;
    case Fault::Kind::Garble:
        if (!bytes.isEmpty())
            bytes.back() = char(bytes.back() ^ 0xFF);
        pieces = {{0, bytes}};
        break;
    }
    return {pieces, takeFront()};
}
