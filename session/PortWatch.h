// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class Timer;

// The wait for a lost port's device to come back (an adapter plugged in again): twice a second,
// on the session's clock, it asks whether the device is there, which never waits, and when it
// is, has the port reopened. A reopen that fails (the device not ready yet, its rights not
// set yet) is tried again at the next look; each new reason is a note, a repeated one is not.
// The wait ends when the port is reopened, when it is stopped (CLOSE, END, the choice turned
// off), or when the port no longer leads to the device waited for; each end is a note.
class PortWatch
{
public:
    static constexpr int LookMs = 500;

    struct Hooks {
        std::function<QString()> device;                // the device the port leads to now
        std::function<bool()> present;                  // that device is there
        std::function<std::optional<QString>()> reopen; // nothing when reopened, else why not
        std::function<void(const QString &)> note;      // a note for the log
        std::function<void()> changed;                  // the wait began or ended
    };

    PortWatch(Clock &clock, Hooks hooks);
    ~PortWatch();

    // Begins the wait for the device.
    void start(const QString &device);
    // Ends the wait, with a note unless quiet; nothing when none runs.
    void stop(bool quiet = false);
    bool isWaiting() const { return !m_device.isEmpty(); }
    // The device waited for; empty when none is.
    const QString &device() const { return m_device; }

private:
    void look();
    void end();

    Hooks m_hooks;
    std::unique_ptr<Timer> m_timer;
    QString m_device;
    QString m_lastReason;
};
