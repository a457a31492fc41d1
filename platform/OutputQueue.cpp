// SPDX-License-Identifier: MIT
#include "platform/OutputQueue.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace
{

// Lines handed to the system in one write.
constexpr int PartsPerWrite = 64;

QByteArray defaultDroppedText(qint64 count)
{
    return "<<" + QByteArray::number(count) + " lines not written: the reader fell behind>>\n";
}

} // namespace

OutputQueue::OutputQueue(WriteEnd end, qsizetype boundBytes, Overflow overflow, QObject *parent)
    : QObject(parent), m_end(std::move(end)), m_bound(boundBytes), m_overflow(overflow),
      m_droppedText(defaultDroppedText)
{
}

OutputQueue::~OutputQueue() = default;

void OutputQueue::setDroppedLinesText(std::function<QByteArray(qint64)> text)
{
    m_droppedText = std::move(text);
}

bool OutputQueue::append(const QByteArray &line)
{
    if (!m_end.isValid()) {
        ++m_dropped; // counted for drain()
        return false;
    }
    if (m_dropped > 0 || queuedBytes() + line.size() > m_bound) {
        if (m_overflow == Overflow::Disconnect) {
            m_fellBehind = true;
            fail(QStringLiteral("the reader fell behind by more than %1 bytes").arg(m_bound));
            return false;
        }
        ++m_dropped;
        // A line longer than the bound, with nothing queued: the reader has taken everything,
        // so the count goes out now rather than after some later line.
        if (m_lines.empty()) {
            reportDropped();
            if (!m_waitingForRoom)
                writeNow();
        }
        return false;
    }
    if (line.isEmpty())
        return true;
    m_lines.push_back(line);
    m_bytes += line.size();
    if (!m_waitingForRoom)
        writeNow();
    return true;
}

// Writes until the queue is empty (true) or the reader has no room (false).
bool OutputQueue::writeWhatFits()
{
    while (m_end.isValid() && !m_lines.empty()) {
        iovec parts[PartsPerWrite];
        int count = 0;
        for (auto line = m_lines.begin(); line != m_lines.end() && count < PartsPerWrite;
             ++line, ++count) {
            const qsizetype skip = count == 0 ? m_writtenOfFirst : 0;
            parts[count] = {const_cast<char *>(line->constData()) + skip,
                            size_t(line->size() - skip)};
        }
        const ssize_t written = m_end.writeLines(parts, count);
        if (written > 0) {
            consume(written);
            if (m_lines.empty() && m_dropped > 0)
                reportDropped();
        } else if (written == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            return false;
        } else if (errno != EINTR) {
            fail(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    return m_end.isValid();
}

// Once the system has everything (a writer thread has finished its batch too), waiting ends.
void OutputQueue::writeNow()
{
    if (writeWhatFits() && m_end.bytesInFlight() == 0) {
        if (m_waitingForRoom) {
            stopWaiting();
            Q_EMIT emptied();
        }
    } else if (m_end.isValid()) {
        waitForRoom();
    }
}

void OutputQueue::consume(qsizetype written)
{
    while (written > 0) {
        const qsizetype left = m_lines.front().size() - m_writtenOfFirst;
        if (written < left) {
            m_writtenOfFirst += written;
            m_bytes -= written;
            return;
        }
        written -= left;
        m_bytes -= left;
        m_lines.pop_front();
        m_writtenOfFirst = 0;
    }
}

void OutputQueue::reportDropped()
{
    const QByteArray line = m_droppedText(m_dropped);
    m_dropped = 0;
    m_lines.push_back(line);
    m_bytes += line.size();
}

// The rest goes out when the reader makes room: the write end's watch says so, but for a
// pipe that must first empty, which only looking again tells. Without an event loop (before
// the application exists), it waits for drain().
void OutputQueue::waitForRoom()
{
    if (!QAbstractEventDispatcher::instance())
        return;
    if (!m_notifier) {
        m_notifier = new RoomWatch(
            m_end, [this] { writeNow(); }, this);
        m_lookAgain = new QTimer(this);
        m_lookAgain->setSingleShot(true);
        m_lookAgain->setInterval(WriteEnd::EmptyPipeLookMs);
        connect(m_lookAgain, &QTimer::timeout, this, &OutputQueue::writeNow);
    }
    const bool looking = m_end.awaitsEmptyPipe();
    m_notifier->setEnabled(!looking);
    if (looking)
        m_lookAgain->start();
    else
        m_lookAgain->stop();
    m_waitingForRoom = true;
}

void OutputQueue::stopWaiting()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_lookAgain->stop();
    }
    m_waitingForRoom = false;
}

void OutputQueue::fail(const QString &reason)
{
    close();
    QMetaObject::invokeMethod(
        this, [this, reason] { Q_EMIT failed(reason); }, Qt::QueuedConnection);
}

// The descriptor closes; the lines stay counted until drain(), those the system had not taken
// yet too (a writer thread's, on Windows).
void OutputQueue::close()
{
    m_notTaken += m_end.settle(QDeadlineTimer(0));
    stopWaiting();
    if (m_notifier) {
        // Possibly from inside the notifier's own signal: it goes once that has returned.
        m_notifier->deleteLater();
        m_notifier = nullptr;
        m_lookAgain->deleteLater();
        m_lookAgain = nullptr;
    }
    m_end.close();
}

qint64 OutputQueue::drain(QDeadlineTimer deadline)
{
    while (!writeWhatFits() && m_end.isValid() && !deadline.hasExpired())
        m_end.waitWritable(int(deadline.remainingTime()));
    m_notTaken += m_end.settle(deadline);
    const qint64 unwritten = qint64(m_lines.size()) + m_dropped + m_notTaken;
    close();
    m_lines.clear();
    m_bytes = m_writtenOfFirst = 0;
    m_dropped = m_notTaken = 0;
    return unwritten;
}
