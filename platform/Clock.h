#pragma once

#include <QString>

// The time of day for the traffic log's stamps and the blocking wait of the receive path.
// Injected so that tests run with a scripted clock and never sleep.
class Clock
{
public:
    virtual ~Clock() = default;
    // Local time of day as "HH:mm:ss".
    virtual QString timeOfDay() = 0;
    // Blocks the calling thread for ms milliseconds.
    virtual void wait(int ms) = 0;
};

// The machine's clock and a real blocking sleep.
class SystemClock : public Clock
{
public:
    QString timeOfDay() override;
    void wait(int ms) override;
};
