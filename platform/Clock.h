// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>
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

// The time of what happens on the line and the timers of the receive path. Injected so that
// tests run with a scripted clock and never sleep.
class Clock
{
public:
    virtual ~Clock() = default;
    // The time now, in microseconds since 1970-01-01 00:00 UTC.
    virtual qint64 nowUs() = 0;
    virtual std::unique_ptr<Timer> makeTimer() = 0;
};

// The machine's clock and its timers.
class SystemClock : public Clock
{
public:
    qint64 nowUs() override;
    std::unique_ptr<Timer> makeTimer() override;
};
