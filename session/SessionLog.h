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

    // The stamps of the lines from now on: to the second (the default) or the millisecond.
    void setStampPrecision(StampPrecision precision) { m_stamp.setPrecision(precision); }
    StampPrecision stampPrecision() const { return m_stamp.precision(); }

Q_SIGNALS:
    void lineLogged(const LogLine &line);

private:
    void emitLines(qint64 timeUs, const QStringList &texts);

    LogEscaping m_escaping;
    LogStamp m_stamp;
};
