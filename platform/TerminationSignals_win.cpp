// SPDX-License-Identifier: MIT
#include "platform/TerminationSignals.h"

#include <QPointer>

#include <mutex>
#include <windows.h>

namespace
{

// The instance that watches, for the handler, which the system calls on a thread of its own.
std::mutex watcherLock;
QPointer<TerminationSignals> watcher;
bool handlerInstalled = false;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    {
        const std::lock_guard guard(watcherLock);
        if (!watcher)
            return FALSE; // the default handling: the process ends
        TerminationSignals *target = watcher;
        QMetaObject::invokeMethod(
            target, [target, event] { Q_EMIT target->received(int(event)); }, Qt::QueuedConnection);
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // After a close, logoff or shutdown the system ends the process as soon as this returns
    // (or once its few seconds have passed): the program's own end ends this wait.
    ::Sleep(INFINITE);
    return TRUE;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    const std::lock_guard guard(watcherLock);
    if (watcher) {
        m_error = QStringLiteral("console events are already watched");
        return;
    }
    if (!handlerInstalled && !::SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        m_error = QStringLiteral("cannot watch the console's events: ") +
                  qt_error_string(int(::GetLastError()));
        return;
    }
    handlerInstalled = true;
    watcher = this;
    m_watching = true;
}

TerminationSignals::~TerminationSignals()
{
    if (!m_watching)
        return;
    const std::lock_guard guard(watcherLock);
    watcher = nullptr;
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    handlerInstalled = false;
}

void TerminationSignals::ignoreBrokenPipe() {}
