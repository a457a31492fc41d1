#include "TrafficLog.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace TrafficLog
{

QString line(const QString &stamp, const QString &text)
{
    return QLatin1Char('[') + stamp + QLatin1Char(']') + text;
}

void prepend(QPlainTextEdit *box, const QString &line)
{
    QString shown = line;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    shown += QLatin1Char('\n');
    QTextCursor cursor(box->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(shown);
}

} // namespace TrafficLog
