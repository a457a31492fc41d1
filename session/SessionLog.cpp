// SPDX-License-Identifier: MIT
#include "session/SessionLog.h"

#include "session/LineSession.h"

SessionLog::SessionLog(LineSession &session, LogEscaping escaping, QObject *parent)
    : QObject(parent), m_escaping(escaping)
{
    connect(&session, &LineSession::trafficPassed, this, [this](const Traffic &traffic) {
        emitLines(traffic.timeUs, logTexts(traffic, m_escaping));
    });
    connect(&session, &LineSession::noted, this,
            [this](const Note &note) { emitLines(note.timeUs, logTexts(note, m_escaping)); });
}

void SessionLog::emitLines(qint64 timeUs, const QStringList &texts)
{
    const QString &stamp = m_stamp.of(timeUs);
    for (const QString &text : texts)
        Q_EMIT lineLogged({stamp, text});
}
