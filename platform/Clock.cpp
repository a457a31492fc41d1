#include "platform/Clock.h"

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
