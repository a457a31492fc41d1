// SPDX-License-Identifier: MIT
#include "session/PortWatch.h"

#include "platform/Clock.h"

PortWatch::PortWatch(Clock &clock, Hooks hooks)
    : m_hooks(std::move(hooks)), m_timer(clock.makeTimer())
{
}

PortWatch::~PortWatch() = default;

void PortWatch::start(const QString &device)
{
    m_device = device;
    m_lastReason.clear();
    m_timer->start(LookMs, [this] { look(); });
    m_hooks.changed();
}

void PortWatch::stop(bool quiet)
{
    if (!isWaiting())
        return;
    if (!quiet)
        m_hooks.note(QStringLiteral("  <<no longer waiting for %1>>").arg(m_device));
    end();
}

void PortWatch::look()
{
    if (m_hooks.device() != m_device) {
        m_hooks.note(QStringLiteral("  <<no longer waiting for %1: the port now leads to %2>>")
                         .arg(m_device, m_hooks.device()));
        return end();
    }
    if (m_hooks.present()) {
        const std::optional<QString> refused = m_hooks.reopen();
        if (!refused)
            return end(); // the session noted the reopen
        if (*refused != m_lastReason)
            m_hooks.note(QStringLiteral("  <<cannot reopen yet: %1>>").arg(*refused));
        m_lastReason = *refused;
    }
    m_timer->start(LookMs, [this] { look(); });
}

void PortWatch::end()
{
    m_timer->stop();
    m_device.clear();
    m_hooks.changed();
}
