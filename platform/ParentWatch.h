// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;
class QWinEventNotifier;

// Watches the process that started this one, so that a run ends with the test that started it,
// however that test ended (SIGKILL included). ended() is raised once, on the event thread.
//
// Linux: a process descriptor of the parent (pidfd), readable once the parent has ended, read by
// a socket notifier; it works whatever user the parent runs as and across exec, which the
// kernel's parent-death signal does not (it is cleared when a program of another user is run,
// and follows the thread that started the child, not its process). Other Unix systems, or a
// kernel without pidfd: the parent's id is looked at four times a second, and a change (the
// run taken over by init or a subreaper) means it has ended. Windows: a handle of the parent
// process, which the system signals once it has ended.
class ParentWatch : public QObject
{
    Q_OBJECT
public:
    explicit ParentWatch(QObject *parent = nullptr);
    ~ParentWatch() override;
    ParentWatch(const ParentWatch &) = delete;
    ParentWatch &operator=(const ParentWatch &) = delete;

    // Starts watching the parent as it is now (one already gone is ended() at the next turn).
    // False, with *reason, where the parent cannot be watched.
    bool start(QString *reason);

Q_SIGNALS:
    void ended();

private:
    void parentGone();

    long long m_parent = -1;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_poll = nullptr;
    void *m_process = nullptr; // Windows: the parent's process handle
    QWinEventNotifier *m_handleNotifier = nullptr;
    bool m_ended = false;
};
