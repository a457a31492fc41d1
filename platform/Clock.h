#pragma once

#include <QList>
#include <QString>

// The time of day for the traffic log's stamps and the blocking wait of the receive path.
// Injected so that tests run with a fake clock and never sleep.
class Clock
{
public:
    virtual ~Clock() = default;
    // Local time of day as "HH:mm:ss".
    virtual QString timeOfDay() = 0;
    // Blocks the calling (GUI) thread for ms milliseconds.
    virtual void wait(int ms) = 0;
};

// The machine's clock and a real blocking sleep.
class SystemClock : public Clock
{
public:
    QString timeOfDay() override;
    void wait(int ms) override;
};

// A clock for tests: time moves only when a wait is made or the test advances it.
class FakeClock : public Clock
{
public:
    QString timeOfDay() override;
    void wait(int ms) override;
    void advance(int ms) { m_nowMs += ms; }
    qint64 nowMs() const { return m_nowMs; }
    void setTimeOfDay(const QString &stamp) { m_stamp = stamp; }
    // Every wait made, in order, in milliseconds.
    QList<int> waits;

private:
    qint64 m_nowMs = 0;
    QString m_stamp;
};
