// SPDX-License-Identifier: MIT
#include "session/HandshakeTick.h"

#include "platform/Clock.h"

#include <algorithm>

HandshakeTick::HandshakeTick(Clock &clock, std::function<void()> onTick)
    : m_timer(clock.makeTimer()), m_onTick(std::move(onTick))
{
}

HandshakeTick::~HandshakeTick() = default;

void HandshakeTick::want(TickPlayer player, bool on)
{
    const bool wasRunning = isRunning();
    if (on)
        m_players.insert(player);
    else
        m_players.erase(player);
    if (isRunning() && !wasRunning && !m_stopped)
        schedule();
    else if (!isRunning())
        m_timer->stop();
}

void HandshakeTick::setPeriod(int ms)
{
    m_periodMs = std::max(1, ms);
}

void HandshakeTick::stop()
{
    m_stopped = true;
    m_timer->stop();
}

// The next tick is on its way before this one runs, so a tick that takes long keeps the pace.
void HandshakeTick::schedule()
{
    m_timer->start(m_periodMs, [this] {
        schedule();
        m_onTick();
    });
}
