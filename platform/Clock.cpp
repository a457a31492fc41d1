#include "Clock.h"

#include <QThread>
#include <QTime>

QString SystemClock::timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

void SystemClock::wait(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

QString FakeClock::timeOfDay()
{
    if (!m_stamp.isEmpty())
        return m_stamp;
    return QTime(0, 0)
        .addMSecs(static_cast<int>(m_nowMs % 86400000))
        .toString(QStringLiteral("HH:mm:ss"));
}

void FakeClock::wait(int ms)
{
    waits.append(ms);
    m_nowMs += ms;
}
