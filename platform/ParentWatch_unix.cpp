// SPDX-License-Identifier: MIT
#include "platform/ParentWatch.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/syscall.h>
#include <unistd.h>

namespace
{
// How often the parent's id is looked at where no process descriptor can be had.
constexpr int PollMs = 250;
} // namespace

ParentWatch::ParentWatch(QObject *parent) : QObject(parent) {}

ParentWatch::~ParentWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

// A parent that ends between getppid() and pidfd_open() leaves the run with another parent:
// looking at the id again after the descriptor is open closes that gap.
bool ParentWatch::start(QString *)
{
    const pid_t parent = ::getppid();
    m_parent = parent;
#ifdef SYS_pidfd_open
    m_fd = int(::syscall(SYS_pidfd_open, parent, 0));
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ParentWatch::parentGone);
    }
#endif
    if (m_fd < 0) {
        m_poll = new QTimer(this);
        m_poll->setInterval(PollMs);
        connect(m_poll, &QTimer::timeout, this, [this] {
            if (::getppid() != pid_t(m_parent))
                parentGone();
        });
        m_poll->start();
    }
    if (::getppid() != parent)
        QMetaObject::invokeMethod(this, &ParentWatch::parentGone, Qt::QueuedConnection);
    return true;
}

void ParentWatch::parentGone()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_poll)
        m_poll->stop();
    Q_EMIT ended();
}
