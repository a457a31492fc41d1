#include "ui/TrafficLogView.h"

#include "ui/WindowLook.h"

#include <QTextCursor>

TrafficLogView::TrafficLogView(QWidget *parent) : QPlainTextEdit(parent)
{
    setFont(QFont(FixedPitchFontName, 9));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void TrafficLogView::addLine(const QString &line)
{
    QString shown = line;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    shown += QLatin1Char('\n');
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(shown);
}

QString TrafficLogView::text() const
{
    return toPlainText();
}

int TrafficLogView::rowCount() const
{
    return document()->blockCount();
}
