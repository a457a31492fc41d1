// SPDX-License-Identifier: MIT
#include "platform/Clock.h"

#include <QSocketNotifier>
#include <QTimer>
#include <chrono>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace
{

#ifdef Q_OS_LINUX
// A timer with the kernel's precision. Qt's timers round their waits up to whole milliseconds,
// which would add up to a millisecond to every quiet time of the receive path.
class KernelTimer : public Timer
{
public:
    explicit KernelTimer(int fd) : m_fd(fd), m_notifier(fd, QSocketNotifier::Read)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { expired(); });
    }
    ~KernelTimer() override { ::close(m_fd); }
    void start(int ms, std::function<void()> due) override
    {
        m_due = std::move(due);
        // A zero time would disarm the timer: the shortest wait is one nanosecond.
        const long ns = ms > 0 ? (ms % 1000) * 1000000L : 1;
        const itimerspec when{{0, 0}, {ms / 1000, ns}};
        ::timerfd_settime(m_fd, 0, &when, nullptr);
    }
    void stop() override
    {
        const itimerspec never{};
        ::timerfd_settime(m_fd, 0, &never, nullptr);
        drain();
        m_due = nullptr;
    }
    bool isActive() const override { return bool(m_due); }

private:
    void drain()
    {
        quint64 expirations = 0;
        while (::read(m_fd, &expirations, sizeof expirations) > 0) {
        }
    }
    void expired()
    {
        drain();
        if (const std::function<void()> due = std::exchange(m_due, nullptr))
            due();
    }

    int m_fd;
    QSocketNotifier m_notifier;
    std::function<void()> m_due;
};
#endif

class QtTimer : public Timer
{
public:
    QtTimer()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const std::function<void()> due = std::move(m_due);
            due();
        });
    }
    void start(int ms, std::function<void()> due) override
    {
        m_due = std::move(due);
        m_timer.start(ms);
    }
    void stop() override
    {
        m_timer.stop();
        m_due = nullptr;
    }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_due;
};

} // namespace

qint64 SystemClock::nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::unique_ptr<Timer> SystemClock::makeTimer()
{
#ifdef Q_OS_LINUX
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd >= 0)
        return std::make_unique<KernelTimer>(fd);
#endif
    return std::make_unique<QtTimer>();
}
