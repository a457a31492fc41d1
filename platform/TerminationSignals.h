// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// Turns the requests to end the program into received() on the event thread, so that the
// program ends as END does. On Unix these are SIGTERM, SIGINT, SIGHUP and SIGQUIT: the handler
// only writes the signal's number into a pipe, and a socket notifier on the pipe's other end
// emits. On Windows they are the console's control events: Ctrl+C, Ctrl+Break, the console
// window closed, the user logging off, the system shutting down (the event's number is given);
// the system ends the process once the handler of a close, logoff or shutdown returns, so that
// handler holds it until the program has ended on its own. One instance at a time; its
// destruction puts the default handling back.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // False when the handlers could not be set up; errorString() says why.
    bool isWatching() const { return m_watching; }
    QString errorString() const { return m_error; }

    // A write to a closed pipe fails with an error instead of ending the program (Unix; a
    // Windows program is never ended by one).
    static void ignoreBrokenPipe();

Q_SIGNALS:
    void received(int signalNumber);

private:
#ifndef Q_OS_WIN
    void onReadable();
    QSocketNotifier *m_notifier = nullptr;
#endif
    bool m_watching = false;
    QString m_error;
};
