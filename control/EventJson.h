// SPDX-License-Identifier: MIT
#pragma once

#include "session/LineSession.h"
#include "session/SessionEvents.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

// The session's events as JSON objects, one per line, for programs: a control program's
// subscription and the log of a run without windows in JSON lines. Each has "event" and "time"
// (ISO 8601 in UTC with microseconds, "2026-12-07T05:00:00.123456Z"):
//   received  hex, text, frame_end      sent  hex, text
//   note      text (as the log shows it), source, and hex for the bytes it dumps
//   connection  open                    registers  from, words, by (words that changed)
//   write     from, words, by (every word write, changed or not)
//   handshake   status, step            fault  kind, left (a fault used on a reply)

// The events' names, in the order above: what a control program is told it may get.
QStringList eventNames();

QString isoTime(qint64 timeUs);

// One event as a line of compact JSON (no line end), and as an object.
QByteArray eventJsonLine(const Traffic &traffic);
QByteArray eventJsonLine(const Note &note);
QJsonObject eventJson(const Traffic &traffic);
QJsonObject eventJson(const Note &note);

// Every event of a session as one line of compact JSON (no line end), in the order the log
// shows them.
class EventFeed : public QObject
{
    Q_OBJECT
public:
    explicit EventFeed(LineSession &session, QObject *parent = nullptr);

Q_SIGNALS:
    void eventLine(const QByteArray &json);

private:
    LineSession &m_session;
};
