// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <ctime>
#include <functional>
#include <memory>

// A single-shot timer on the event thread: the waits of the receive path, which never block.
class Timer
{
public:
    virtual ~Timer() = default;
    // Calls due once, ms milliseconds from now; a pending call is replaced.
    virtual void start(int ms, std::function<void()> due) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The time of day for the traffic log's stamps and the timers of the receive path. Injected so
// that tests run with a scripted clock and never sleep.
class Clock
{
public:
    virtual ~Clock() = default;
    // Local time of day as "HH:mm:ss".
    virtual QString timeOfDay() = 0;
    virtual std::unique_ptr<Timer> makeTimer() = 0;
};

// The machine's clock and Qt's timers.
class SystemClock : public Clock
{
public:
    QString timeOfDay() override;
    std::unique_ptr<Timer> makeTimer() override;

private:
    std::time_t m_stampSecond = -1;
    QString m_stamp;
};
