#pragma once

#include "platform/Clock.h"

#include <QList>
#include <QTime>

// A clock for tests: time moves only when a wait is made or the test advances it.
class FakeClock : public Clock
{
public:
    QString timeOfDay() override
    {
        if (!m_stamp.isEmpty())
            return m_stamp;
        return QTime(0, 0).addMSecs(int(m_nowMs % 86400000)).toString(QStringLiteral("HH:mm:ss"));
    }
    void wait(int ms) override
    {
        waits.append(ms);
        m_nowMs += ms;
    }
    void advance(int ms) { m_nowMs += ms; }
    qint64 nowMs() const { return m_nowMs; }
    void setTimeOfDay(const QString &stamp) { m_stamp = stamp; }
    // Every wait made, in order, in milliseconds.
    QList<int> waits;

private:
    qint64 m_nowMs = 0;
    QString m_stamp;
};
