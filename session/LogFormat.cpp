// SPDX-License-Identifier: MIT
#include "session/LogFormat.h"

#include "protocol/HexDump.h"

#include <QDateTime>

namespace
{

QString escaped(const QString &text, LogEscaping escaping)
{
    return escaping == LogEscaping::ControlCharacters ? escapeControlCharacters(text) : text;
}

// Rounds towards minus infinity, so that a moment before 1970 still gets its own second.
qint64 floorDivision(qint64 value, qint64 divisor)
{
    const qint64 quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

} // namespace

QString escapeControlCharacters(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QLatin1String("\\\\");
        else if (u == u'\r')
            out += QLatin1String("\\r");
        else if (u == u'\n')
            out += QLatin1String("\\n");
        else if (u == u'\t')
            out += QLatin1String("\\t");
        else if (isControl(u))
            out += (u < 0x100 ? QStringLiteral("\\x%1") : QStringLiteral("\\u%1"))
                       .arg(int(u), u < 0x100 ? 2 : 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QStringList logTexts(const Traffic &traffic, LogEscaping escaping)
{
    const QString mark =
        traffic.direction == Traffic::Received ? QStringLiteral("●") : QStringLiteral("◎");
    QStringList texts{mark + escaped(traffic.text, escaping)};
    if (traffic.hexShown && !traffic.bytes.isEmpty())
        texts << QStringLiteral("　") + hexDump(traffic.bytes);
    return texts;
}

QStringList logTexts(const Note &note, LogEscaping escaping)
{
    QStringList texts{escaped(note.text, escaping)};
    if (!note.dump.isEmpty())
        texts << QStringLiteral("　") + hexDump(note.dump);
    return texts;
}

void LogStamp::setPrecision(StampPrecision precision)
{
    m_precision = precision;
    m_second = m_millisecond = -1;
}

const QString &LogStamp::of(qint64 timeUs)
{
    const qint64 millisecond = floorDivision(timeUs, 1000);
    const qint64 second = floorDivision(millisecond, 1000);
    if (second != m_second) {
        m_second = second;
        m_millisecond = -1;
        m_secondText = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("[HH:mm:ss"));
        m_text = m_secondText + QLatin1Char(']');
    }
    if (m_precision == StampPrecision::Milliseconds && millisecond != m_millisecond) {
        m_millisecond = millisecond;
        m_text = m_secondText +
                 QStringLiteral(".%1]").arg(millisecond - 1000 * second, 3, 10, QLatin1Char('0'));
    }
    return m_text;
}

QString savedLogHeader(const QString &version, const QDateTime &savedAt)
{
    const int offset = savedAt.offsetFromUtc() / 60; // minutes
    const int distance = offset < 0 ? -offset : offset;
    return QStringLiteral("PORTWREN %1 traffic log saved %2 %3%4:%5")
        .arg(version, savedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(distance / 60, 2, 10, QLatin1Char('0'))
        .arg(distance % 60, 2, 10, QLatin1Char('0'));
}
