// SPDX-License-Identifier: MIT
#pragma once

#include "session/LogFormat.h"

#include <QObject>

class LineSession;

// A line session's traffic log: every traffic event and note becomes lines, oldest first.
class SessionLog : public QObject
{
    Q_OBJECT
public:
    SessionLog(LineSession &session, LogEscaping escaping, QObject *parent = nullptr);

Q_SIGNALS:
    void lineLogged(const LogLine &line);

private:
    void emitLines(qint64 timeUs, const QStringList &texts);

    LogEscaping m_escaping;
    LogStamp m_stamp;
};
