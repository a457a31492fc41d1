// SPDX-License-Identifier: MIT
#pragma once

#include "app/CommandLine.h"
#include "session/SessionLog.h"

#include <QObject>
#include <memory>

class ControlServer;
class EventFeed;
class LineSession;
class OutputQueue;
class ParentWatch;

// A run without windows: the same line session that the main window shows answers the far end
// (responder, modem dialog, echo); its traffic log goes to standard output or a file, oldest
// line first, one line each, as it happens: the log's text lines, or with --log-format jsonl
// the session's events as JSON lines. The log never holds the line up: a reader that falls
// behind has 1 MiB queued for it, past which whole lines are dropped and a line says how many.
// The run listens on the control socket when one is named, opens the port and says
// "portwren: ready" on standard error. Control programs may close and open the port; the run
// goes on until a termination signal, a lost port (with --reconnect a lost port is waited for
// instead, the wait and the reopen said on standard error too) or (with --end-with-parent) the
// end of the process that started it, and ends as END does: the port closes (a virtual line's
// link goes), the registers are dumped when asked, and the log's queued lines get 60 ms to go
// out (how many did not is said on standard error). With --temporary-folder the run then removes
// its log when it lies in that folder, and the folder once nothing else is in it.
class WindowlessRun : public QObject
{
    Q_OBJECT
public:
    WindowlessRun(LineSession &session, StartOptions options, QObject *parent = nullptr);
    ~WindowlessRun() override;

    // Opens the log's output, the control socket and then the port, and with Auto starts the
    // handshake's tick. A failure is written to standard error and ends the run with status 1;
    // a --log FIFO that no program reads yet is such a failure.
    void start();
    // Ends the run: port closed, registers dumped, finished() raised. Only the first call acts;
    // a dump that cannot be written turns status 0 into 1.
    void finish(int status);

Q_SIGNALS:
    void finished(int status);

private:
    bool openLog();
    QByteArray droppedLinesLine(qint64 count);
    bool listenForControl();
    void closeLog();
    void writeLogLine(const QByteArray &line);
    bool dumpRegisters();
    bool watchParent();
    void removeTemporaryFolder();

    LineSession &m_session;
    StartOptions m_options;
    // The traffic log as a file shows it (one line per event, control characters escaped), or
    // the events as JSON lines.
    std::unique_ptr<SessionLog> m_sessionLog;
    std::unique_ptr<EventFeed> m_eventFeed;
    std::unique_ptr<OutputQueue> m_log;
    std::unique_ptr<ControlServer> m_control;
    std::unique_ptr<ParentWatch> m_parentWatch;
    QString m_lastPortNote; // the port's latest note ("<<OPENできません: ...>>"), for stderr
    bool m_portNoteFresh = false; // not yet said on standard error
    bool m_finished = false;
};
