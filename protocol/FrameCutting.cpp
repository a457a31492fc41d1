// SPDX-License-Identifier: MIT
#include "protocol/FrameCutting.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr int QuietTimeMaxMs = 32767;
} // namespace

std::optional<QByteArray> takeFrame(QByteArray &buffer, FrameEnd end)
{
    const QByteArray terminator = terminatorFor(end);
    const qsizetype at = terminator.isEmpty() ? -1 : buffer.indexOf(terminator);
    if (at < 0)
        return std::nullopt;
    const QByteArray frame = buffer.left(at + terminator.size());
    buffer.remove(0, frame.size());
    return frame;
}

qsizetype completeFramesLength(const QByteArray &buffer, FrameEnd end)
{
    const QByteArray terminator = terminatorFor(end);
    const qsizetype last = terminator.isEmpty() ? -1 : buffer.lastIndexOf(terminator);
    return last < 0 ? 0 : last + terminator.size();
}

QByteArray dropBeyondBound(QByteArray &buffer, qsizetype complete)
{
    const qsizetype excess = buffer.size() - complete - ReceiveBufferBound;
    if (excess <= 0)
        return {};
    const QByteArray dropped = buffer.mid(complete, excess);
    buffer.remove(complete, excess);
    return dropped;
}

// Read as a leading number is read from operator text: blanks, tabs and line feeds are skipped
// wherever they stand ("1 2" is 12); then an optional sign, digits and one decimal point; the
// first other character ends the number ("200ms" is 200, "1e3" is 1, "abc" is 0). Halves round
// to the even neighbour ("2.5" is 2, "3.5" is 4); the result is clamped into 0..32767.
int quietTimeFrom(const QString &text)
{
    QByteArray number;
    bool point = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        if (c.isDigit() && c.unicode() < 0x80)
            number += char(c.unicode());
        else if ((c == u'-' || c == u'+') && number.isEmpty())
            number += char(c.unicode());
        else if (c == u'.' && !point)
            number += '.', point = true;
        else
            break;
    }
    bool ok = false;
    double value = number.toDouble(&ok); // 0 for a text without digits
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (!ok && std::any_of(number.begin(), number.end(), isDigit))
        value = number.startsWith('-') ? -HUGE_VAL : HUGE_VAL; // too long for a double
    return static_cast<int>(std::clamp(std::nearbyint(value), 0.0, double(QuietTimeMaxMs)));
}
