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

const QString &LogStamp::of(qint64 timeUs)
{
    const qint64 second = timeUs / 1000000;
    if (second != m_second) {
        m_second = second;
        m_text = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("[HH:mm:ss]"));
    }
    return m_text;
}
