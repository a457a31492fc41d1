// SPDX-License-Identifier: MIT
#pragma once

#include "platform/WriteEnd.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>

class QTimer;

// An output of whole lines that never holds up the event thread: a line goes out at once
// when the reader has room, and otherwise waits in a queue of at most boundBytes, written as
// the reader makes room (a socket notifier on the write end). A pipe's reader never sees part
// of a line (WriteEnd::writeLines), also at the end. Serves the traffic log on standard output
// or in a file and the messages on standard error.
//
// A reader that falls behind past the bound meets the overflow policy. DropLines: the line is
// dropped whole, and so is every line after it until the reader has taken everything queued;
// then one line, whose text the owner gives for the count, says how many were dropped, and
// the lines after it follow. A line longer than the bound is dropped the same way.
// Disconnect: the output closes, what is queued is discarded, and failed() says why.
class OutputQueue : public QObject
{
    Q_OBJECT
public:
    enum class Overflow { DropLines, Disconnect };

    OutputQueue(WriteEnd end, qsizetype boundBytes, Overflow overflow, QObject *parent = nullptr);
    ~OutputQueue() override;

    // The line (ended) that tells the reader how many lines were dropped.
    void setDroppedLinesText(std::function<QByteArray(qint64 count)> text);

    // Queues one whole line, ended by the caller, and writes what the reader takes now. False
    // when the line was dropped or the output is closed.
    bool append(const QByteArray &line);
    // The bytes waiting for the reader (on Windows also those the writer thread still has).
    qsizetype queuedBytes() const { return m_bytes + m_end.bytesInFlight(); }
    bool isOpen() const { return m_end.isValid(); }
    // Under Disconnect: whether the output closed because its reader fell behind.
    bool fellBehind() const { return m_fellBehind; }

    // The end of the output: what is queued goes out as the reader takes it until the
    // deadline passes, then the output closes. Returns how many lines were not written: those
    // still queued (also one written in part), those dropped with no line saying so yet, and
    // those offered after the output had closed.
    qint64 drain(QDeadlineTimer deadline);

Q_SIGNALS:
    // The output stopped: its reader went away, a write failed (a full disk), or, under
    // Disconnect, the reader fell behind past the bound. Raised from the event loop, never
    // from inside append(). The output is closed by then.
    void failed(const QString &reason);
    // Everything queued has gone out after the reader had kept some waiting (on Windows: has
    // been written by the writer thread).
    void emptied();

private:
    bool writeWhatFits();
    void writeNow();
    void consume(qsizetype written);
    void reportDropped();
    void waitForRoom();
    void stopWaiting();
    void fail(const QString &reason);
    void close();

    WriteEnd m_end;
    qsizetype m_bound;
    Overflow m_overflow;
    std::function<QByteArray(qint64)> m_droppedText;
    std::deque<QByteArray> m_lines;
    qsizetype m_writtenOfFirst = 0; // bytes of the first line already written
    qsizetype m_bytes = 0;          // bytes queued, less those already written
    qint64 m_dropped = 0;           // lines dropped since the reader last caught up
    qint64 m_notTaken = 0;          // lines handed over that the system never took (Windows)
    bool m_fellBehind = false;
    bool m_waitingForRoom = false;
    RoomWatch *m_notifier = nullptr;
    QTimer *m_lookAgain = nullptr; // for a pipe that must empty before a long line
};
