// SPDX-License-Identifier: MIT
#pragma once

#include "platform/ClosedStreams.h"

#include <QDeadlineTimer>
#include <QString>
#include <memory>

class OutputQueue;

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
