#include "platform/Clock.h"

#include <QTime>
#include <QTimer>

namespace
{

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

QString SystemClock::timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

std::unique_ptr<Timer> SystemClock::makeTimer()
{
    return std::make_unique<QtTimer>();
}
