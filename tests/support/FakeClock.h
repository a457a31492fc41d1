// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Clock.h"

#include <QDateTime>
#include <QList>
#include <algorithm>

// A clock for tests: time moves only when the test advances it, and timers fire then, in the
// order they fall due.
class FakeClock : public Clock
{
public:
    // The clock starts at 12:34:56 local time on a day of the tests' choosing.
    qint64 nowUs() override { return m_startUs + m_nowMs * 1000; }
    std::unique_ptr<Timer> makeTimer() override { return std::make_unique<FakeTimer>(this); }

    // Moves time on by ms, firing every timer that falls due meanwhile (also those started by
    // another timer's call).
    void advance(qint64 ms)
    {
        const qint64 end = m_nowMs + ms;
        for (FakeTimer *next; (next = nextDue(end));) {
            m_nowMs = next->dueMs;
            next->fire();
        }
        m_nowMs = end;
    }
    qint64 nowMs() const { return m_nowMs; }
    // The length of every timer started, in order, in milliseconds.
    QList<int> waits;

private:
    struct FakeTimer : Timer {
        explicit FakeTimer(FakeClock *clock) : clock(clock) { clock->m_timers << this; }
        ~FakeTimer() override { clock->m_timers.removeOne(this); }
        void start(int ms, std::function<void()> callback) override
        {
            clock->waits << ms;
            dueMs = clock->m_nowMs + ms;
            due = std::move(callback);
        }
        void stop() override { due = nullptr; }
        bool isActive() const override { return bool(due); }
        void fire()
        {
            const std::function<void()> callback = std::move(due);
            due = nullptr;
            callback();
        }
        FakeClock *clock;
        qint64 dueMs = 0;
        std::function<void()> due;
    };

    FakeTimer *nextDue(qint64 end) const
    {
        FakeTimer *next = nullptr;
        for (FakeTimer *t : m_timers)
            if (t->due && t->dueMs <= end && (!next || t->dueMs < next->dueMs))
                next = t;
        return next;
    }

    qint64 m_nowMs = 0;
    qint64 m_startUs = QDateTime(QDate(2026, 12, 7), QTime(12, 34, 56)).toMSecsSinceEpoch() * 1000;
    QList<FakeTimer *> m_timers;
};
