// SPDX-License-Identifier: MIT
// Windows: a handle of the parent process, signalled once it has ended, waited for by an event
// notifier on the event thread. The parent is found by its id in the system's list of
// processes; an id is reused once its process has ended, so a "parent" that started after this
// run is an ended parent.
#include "platform/ParentWatch.h"

#include <QWinEventNotifier>

#include <windows.h>

#include <tlhelp32.h>

namespace
{

DWORD parentProcessId()
{
    const DWORD self = ::GetCurrentProcessId();
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD parent = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (bool more = ::Process32FirstW(snapshot, &entry); more && !parent;
         more = ::Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    ::CloseHandle(snapshot);
    return parent;
}

bool startedAfter(HANDLE process, HANDLE other)
{
    FILETIME started, otherStarted, unused[3];
    return ::GetProcessTimes(process, &started, &unused[0], &unused[1], &unused[2]) &&
           ::GetProcessTimes(other, &otherStarted, &unused[0], &unused[1], &unused[2]) &&
           ::CompareFileTime(&started, &otherStarted) > 0;
}

} // namespace

ParentWatch::ParentWatch(QObject *parent) : QObject(parent) {}

ParentWatch::~ParentWatch()
{
    delete m_handleNotifier;
    if (m_process)
        ::CloseHandle(HANDLE(m_process));
}

bool ParentWatch::start(QString *reason)
{
    const DWORD id = parentProcessId();
    const HANDLE process =
        id ? ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id) : nullptr;
    if (!process || startedAfter(process, ::GetCurrentProcess())) {
        if (process)
            ::CloseHandle(process);
        if (id && !process && ::GetLastError() == ERROR_ACCESS_DENIED) {
            if (reason)
                *reason = QStringLiteral("the process that started the run cannot be watched");
            return false;
        }
        QMetaObject::invokeMethod(this, &ParentWatch::parentGone, Qt::QueuedConnection);
        return true;
    }
    m_parent = id;
    m_process = process;
    m_handleNotifier = new QWinEventNotifier(process, this);
    connect(m_handleNotifier, &QWinEventNotifier::activated, this, &ParentWatch::parentGone);
    return true;
}

void ParentWatch::parentGone()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_handleNotifier)
        m_handleNotifier->setEnabled(false);
    Q_EMIT ended();
}
