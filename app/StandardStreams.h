// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <memory>

class OutputQueue;

// Which of the standard descriptors 0 to 2 were closed when the program started.
struct ClosedStandardStreams {
    bool input = false;
    bool output = false;
    bool error = false;
};

// Opens each closed standard descriptor on /dev/null, so that no descriptor the program opens
// later (an event, the signal pipe, a port) takes its number and receives what is meant for
// standard output or error. The first thing the program does.
ClosedStandardStreams openClosedStandardStreams();

// Standard error for the program's messages while its event loop runs: printNote() queues
// into it (1 MiB at most; past that whole messages are dropped and a message says how many),
// so a reader that stops never holds the program up. One at a time, made after the
// application object and gone before it.
class NoteOutput
{
public:
    NoteOutput();
    ~NoteOutput();
    NoteOutput(const NoteOutput &) = delete;
    NoteOutput &operator=(const NoteOutput &) = delete;

    // The end: queued messages go out until the deadline; returns how many did not.
    qint64 drain(QDeadlineTimer deadline);
    void append(const QByteArray &line);

private:
    std::unique_ptr<OutputQueue> m_queue;
};

// Writes "portwren: " + text as one line on standard error: into the NoteOutput when there is
// one, otherwise at once, waiting for standard error's reader 100 ms at most.
void printNote(const QString &text);
