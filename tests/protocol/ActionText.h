#pragma once

#include "LineAction.h"

#include <QStringList>

// Actions as one text, a line each ("log: ●…", "send: 05 30 0D 0A"), so that a failed QCOMPARE
// shows both sequences in full.
inline QString actionText(const LineActions &actions)
{
    QStringList lines;
    for (const LineAction &a : actions) {
        lines << (a.kind == LineAction::Log
                      ? QStringLiteral("log: ") + a.text
                      : QStringLiteral("send: ") + QString::fromLatin1(a.bytes.toHex(' ')));
    }
    return lines.join(QLatin1Char('\n'));
}

inline LineAction logged(const QString &text)
{
    return LineAction::log(text);
}

inline LineAction sent(const QByteArray &bytes)
{
    return LineAction::send(bytes);
}
