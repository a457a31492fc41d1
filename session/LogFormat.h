// SPDX-License-Identifier: MIT
#pragma once

#include "session/SessionEvents.h"

#include <QString>
#include <QStringList>

// The traffic log's lines, made from the session's events in one place: the window's log and
// the log of a run without windows show the same texts.

// A line of the traffic log: its stamp, "[HH:mm:ss]" in local time, and its text.
struct LogLine {
    QString stamp;
    QString text;
    QString joined() const { return stamp + text; }
};

// How control characters in a line's text are written. The window shows them as they are (a CR
// or LF starts a new row of the same line); a log file that programs read gets every event on
// one line, with "\r", "\n", "\t", "\xHH" and "\\" for a backslash, so that no received byte
// can forge a line.
enum class LogEscaping { None, ControlCharacters };

QString escapeControlCharacters(const QString &text);

// The texts of one event's lines, without stamps: "●" and a received frame's text, or "◎" and
// the text sent, or the note; then the hex dump of the bytes when it is shown.
QStringList logTexts(const Traffic &traffic, LogEscaping escaping);
QStringList logTexts(const Note &note, LogEscaping escaping);

// The stamp of a moment in local time, made once per second of a busy line.
class LogStamp
{
public:
    const QString &of(qint64 timeUs);

private:
    qint64 m_second = -1;
    QString m_text;
};
