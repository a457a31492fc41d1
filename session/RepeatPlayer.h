// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>
#include <memory>

class Clock;
class Timer;

// A transmission sent again and again: the first at once, then one every period, a given number
// of times or until stopped. Its waits are timers on the session's clock. It never runs more
// than one send ahead of the line: when a send falls due while the last one has not gone out
// yet (a slow or stopped far end, a BREAK on), it waits for the line and looks again every
// BusyLookMs, so a slow line delays the sends and never piles them up. After a delay of a whole
// period or more the period counts again from the late send. A send the port does not take
// stops the repeat. Each start and each end is a note.
class RepeatPlayer
{
public:
    static constexpr int BusyLookMs = 10;

    struct Hooks {
        std::function<bool()> lineBusy;            // the last send has not gone out yet
        std::function<void(const QString &)> note; // a note for the log
        std::function<void()> changed;             // started, waiting, sent, or ended
    };
    // What is repeated: its name in the notes ("CR", "05 30 57"), the period and how many
    // times (0: until stopped).
    struct Plan {
        QString what;
        int periodMs = 1000;
        int count = 0;
    };

    RepeatPlayer(Clock &clock, Hooks hooks);
    ~RepeatPlayer();

    // Starts the plan with the one send it repeats (false: the port did not take it). A repeat
    // running is stopped first. The period and count are clamped to their ranges (Choices).
    void start(const Plan &plan, std::function<bool()> send);
    // Stops a running repeat with a note naming why ("CLOSE", "the port was lost"; empty: the
    // operator stopped it). Nothing when none runs.
    void stop(const QString &why = {});

    bool isRunning() const { return bool(m_send); }
    // The plan running, or the last one.
    const Plan &plan() const { return m_plan; }
    // Sends made by the running or last repeat.
    int sent() const { return m_sent; }
    // A send is due, and waits for the line to take the one before.
    bool isWaitingForLine() const { return m_waiting; }

private:
    void attempt();
    void scheduleNext();
    QString sentText() const;
    qint64 nowMs() const;

    Clock &m_clock;
    Hooks m_hooks;
    std::unique_ptr<Timer> m_timer;
    Plan m_plan;
    std::function<bool()> m_send;
    int m_sent = 0;
    bool m_waiting = false;
    qint64 m_dueMs = 0;
};
