// SPDX-License-Identifier: MIT
#include "session/RepeatPlayer.h"

#include "platform/Clock.h"
#include "session/Choices.h"

#include <algorithm>
#include <utility>

RepeatPlayer::RepeatPlayer(Clock &clock, Hooks hooks)
    : m_clock(clock), m_hooks(std::move(hooks)), m_timer(clock.makeTimer())
{
}

RepeatPlayer::~RepeatPlayer() = default;

void RepeatPlayer::start(const Plan &plan, std::function<bool()> send)
{
    stop(QStringLiteral("another repeat started"));
    m_plan = plan;
    m_plan.periodMs = std::clamp(plan.periodMs, RepeatPeriodRange.lo, RepeatPeriodRange.hi);
    m_plan.count = std::clamp(plan.count, 0, RepeatCountRange.hi);
    m_send = std::move(send);
    m_sent = 0;
    const QString times = m_plan.count > 0 ? QStringLiteral(", %1 times").arg(m_plan.count)
                                           : QStringLiteral(" until stopped");
    m_hooks.note(QStringLiteral("  <<repeat %1 every %2 ms%3>>")
                     .arg(m_plan.what)
                     .arg(m_plan.periodMs)
                     .arg(times));
    m_dueMs = nowMs();
    m_hooks.changed();
    attempt();
}

void RepeatPlayer::stop(const QString &why)
{
    if (!isRunning())
        return;
    m_timer->stop();
    m_send = nullptr;
    m_waiting = false;
    m_hooks.note(why.isEmpty()
                     ? QStringLiteral("  <<repeat stopped: %1>>").arg(sentText())
                     : QStringLiteral("  <<repeat stopped (%1): %2>>").arg(why, sentText()));
    m_hooks.changed();
}

// A send that falls due while the line still holds the last one waits for it.
void RepeatPlayer::attempt()
{
    if (m_hooks.lineBusy()) {
        m_timer->start(BusyLookMs, [this] { attempt(); });
        if (!std::exchange(m_waiting, true))
            m_hooks.changed();
        return;
    }
    m_waiting = false;
    // A copy: what the send sets off may stop the repeat while it runs.
    const std::function<bool()> send = m_send;
    const bool taken = send();
    m_sent += taken ? 1 : 0;
    if (!isRunning())
        return;
    if (!taken)
        return stop(QStringLiteral("the port did not take a send"));
    if (m_plan.count > 0 && m_sent >= m_plan.count) {
        m_timer->stop();
        m_send = nullptr;
        m_hooks.note(QStringLiteral("  <<repeat done: %1>>").arg(sentText()));
    } else {
        scheduleNext();
    }
    m_hooks.changed();
}

// On time, the sends keep their pace; a send a whole period late starts the count afresh.
void RepeatPlayer::scheduleNext()
{
    const qint64 now = nowMs();
    m_dueMs += m_plan.periodMs;
    if (m_dueMs <= now)
        m_dueMs = now + m_plan.periodMs;
    m_timer->start(int(m_dueMs - now), [this] { attempt(); });
}

QString RepeatPlayer::sentText() const
{
    return m_plan.count > 0 ? QStringLiteral("%1 of %2 sent").arg(m_sent).arg(m_plan.count)
                            : QStringLiteral("%1 sent").arg(m_sent);
}

qint64 RepeatPlayer::nowMs() const
{
    return m_clock.nowUs() / 1000;
}
