// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// Turns SIGTERM, SIGINT, SIGHUP and SIGQUIT into received() on the event thread, so that the
// program ends as END does: the handler only writes the signal's number into a pipe, and a
// socket notifier on the pipe's other end emits. One instance at a time; its destruction puts
// the default handlers back. Does nothing on systems without these signals.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // False when the pipe or a handler could not be set up; errorString() says why.
    bool isWatching() const { return m_notifier != nullptr; }
    QString errorString() const { return m_error; }

    // A write to a closed pipe fails with an error instead of ending the program.
    static void ignoreBrokenPipe();

Q_SIGNALS:
    void received(int signalNumber);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
    QString m_error;
};
