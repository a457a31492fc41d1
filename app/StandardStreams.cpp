// SPDX-License-Identifier: MIT
#include "app/StandardStreams.h"

#include "platform/OutputQueue.h"

#include <cstdio>

namespace
{

constexpr qsizetype NoteQueueBytes = 1 << 20;
// How long a message without a NoteOutput waits for standard error's reader.
constexpr int AtOnceMs = 100;

// The NoteOutput that printNote() writes into; the one thing here that is process-wide, as
// standard error itself is.
NoteOutput *currentNotes = nullptr;

std::unique_ptr<OutputQueue> standardErrorQueue()
{
    auto queue = std::make_unique<OutputQueue>(WriteEnd::reopen(fileno(stderr), nullptr),
                                               NoteQueueBytes, OutputQueue::Overflow::DropLines);
    queue->setDroppedLinesText([](qint64 count) {
        return "portwren: " + QByteArray::number(count) +
               " messages not written: standard error fell behind\n";
    });
    return queue;
}

} // namespace

NoteOutput::NoteOutput() : m_queue(standardErrorQueue())
{
    currentNotes = this;
}

NoteOutput::~NoteOutput()
{
    if (currentNotes == this)
        currentNotes = nullptr;
}

qint64 NoteOutput::drain(QDeadlineTimer deadline)
{
    return m_queue->drain(deadline);
}

void NoteOutput::append(const QByteArray &line)
{
    m_queue->append(line);
}

void printNote(const QString &text)
{
    const QByteArray line = (QStringLiteral("portwren: ") + text + QLatin1Char('\n')).toUtf8();
    if (currentNotes) {
        currentNotes->append(line);
        return;
    }
    const std::unique_ptr<OutputQueue> once = standardErrorQueue();
    once->append(line);
    once->drain(QDeadlineTimer(AtOnceMs));
}
