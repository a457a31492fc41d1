// SPDX-License-Identifier: MIT
#pragma once

#include "session/SessionEvents.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The traffic log's lines, made from the session's events in one place: the window's log and
// the log of a run without windows show the same texts.

// A line of the traffic log: its stamp, "[HH:mm:ss]" or "[HH:mm:ss.zzz]" in local time, and
// its text.
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

// How a stamp gives the time of day: to the second, "[HH:mm:ss]", or to the millisecond,
// "[HH:mm:ss.zzz]" (a quiet time or a reply's latency shows).
enum class StampPrecision { Seconds, Milliseconds };

// The stamp of a moment in local time. The time of day is made once per second of a busy line;
// the milliseconds, when shown, are the moment's own (cut, not rounded: a stamp never shows a
// later time than the moment's).
class LogStamp
{
public:
    explicit LogStamp(StampPrecision precision = StampPrecision::Seconds) : m_precision(precision)
    {
    }
    const QString &of(qint64 timeUs);
    StampPrecision precision() const { return m_precision; }
    void setPrecision(StampPrecision precision);

private:
    StampPrecision m_precision;
    qint64 m_second = -1, m_millisecond = -1;
    QString m_secondText; // "[HH:mm:ss", without its end
    QString m_text;
};

// The first line of a saved log: the program, its version, and the local date and time of the
// save with its offset from UTC, since the rows' stamps carry no date:
// "PORTWREN 4.0 traffic log saved 2026-12-07 12:34:56 +09:00".
QString savedLogHeader(const QString &version, const QDateTime &savedAt);
