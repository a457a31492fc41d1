// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <set>

class Clock;
class Timer;

// Who wants the handshake's tick: the data window while it shows the registers, or an
// automatic player (a run without windows in Auto, a control program's "auto"). The tick runs
// while any of them wants it.
enum class TickPlayer { DataWindow, Automatic };

// The transport handshake's tick: a timer on the session's clock that runs while a player wants
// it, at a period of 1 ms or more. A new period applies from the tick after the next one, as the
// next is already on its way. Once stopped (END) it never runs again.
class HandshakeTick
{
public:
    // The period until a player asks for another.
    static constexpr int DefaultPeriodMs = 1000;

    HandshakeTick(Clock &clock, std::function<void()> onTick);
    ~HandshakeTick();

    void want(TickPlayer player, bool on);
    bool isRunning() const { return !m_players.empty(); }
    void setPeriod(int ms);
    int period() const { return m_periodMs; }
    void stop();

private:
    void schedule();

    std::unique_ptr<Timer> m_timer;
    std::function<void()> m_onTick;
    std::set<TickPlayer> m_players;
    int m_periodMs = DefaultPeriodMs;
    bool m_stopped = false;
};
