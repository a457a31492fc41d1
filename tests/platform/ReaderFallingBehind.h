// SPDX-License-Identifier: MIT
// The output queue in front of a pipe whose reader falls behind, the same on every system: the
// test makes the pipe, the queue on its writing end and a reading end with collect() (what has
// come so far, read without waiting); this plays the rest.
#pragma once

#include "platform/OutputQueue.h"

#include <QSignalSpy>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

namespace ReaderFallingBehind
{

constexpr qsizetype Bound = 8192;
constexpr int Lines = 2000;

enum class Reader { Resumes, TooSlow, StoppedAtTheEnd, GoneAtTheEnd };

inline void addRows()
{
    QTest::addColumn<Reader>("reader");
    QTest::newRow("drop lines, the reader resumes") << Reader::Resumes;
    QTest::newRow("disconnect") << Reader::TooSlow;
    QTest::newRow("the end, the reader stopped") << Reader::StoppedAtTheEnd;
    QTest::newRow("the end, the reader gone") << Reader::GoneAtTheEnd;
}

inline OutputQueue::Overflow overflowFor(Reader reader)
{
    return reader == Reader::TooSlow ? OutputQueue::Overflow::Disconnect
                                     : OutputQueue::Overflow::DropLines;
}

inline QByteArray numberedLine(int n)
{
    return QByteArray::number(n).rightJustified(6, '0') + " of the lines written\n";
}

// Lines, each ended, that a reader got; a part of a line at the end is left out.
inline QList<QByteArray> wholeLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    return lines;
}

// The queue holds up to its bound, never more. Dropping, whole lines go and the reader,
// resuming, gets every line taken in order, then one line with the count of those dropped, then
// the lines after it. Disconnecting, the output closes and says why. At the end every line is
// accounted for: what the reader got whole, and the count drain() gives, within endWaitMs, of
// those it did not (queued, written in part, dropped). A reader that went away is a failure the
// output reports, never a signal that ends the program. lineInFlight: the line a writer thread
// was writing when the end gave up on the reader is counted as not written, yet may still reach
// the reader, in part or (where the system does not cancel a write in progress, as under Wine)
// whole.
template <class ReadEnd>
void play(Reader reader, OutputQueue &queue, std::unique_ptr<ReadEnd> readEnd, int endWaitMs,
          bool lineInFlight)
{
    queue.setDroppedLinesText(
        [](qint64 count) { return "dropped " + QByteArray::number(count) + "\n"; });
    QSignalSpy failed(&queue, &OutputQueue::failed);
    if (reader == Reader::GoneAtTheEnd)
        readEnd.reset();
    int taken = 0;
    for (int n = 0; n < Lines; ++n) {
        taken += queue.append(numberedLine(n));
        QCOMPARE_LE(queue.queuedBytes(), Bound);
    }
    QCOMPARE_LT(taken, Lines);
    const auto failure = [&] {
        return QTest::qWaitFor([&] { return failed.size() == 1; })
                   ? failed.first().first().toString()
                   : QString();
    };
    QList<QByteArray> expected;
    switch (reader) {
    case Reader::Resumes:
        QVERIFY(QTest::qWaitFor([&] {
            return readEnd->collect().endsWith("dropped " + QByteArray::number(Lines - taken) +
                                               "\n");
        }));
        QVERIFY(queue.append("after\n"));
        QVERIFY(QTest::qWaitFor([&] { return readEnd->collect().endsWith("after\n"); }));
        for (int n = 0; n < taken; ++n)
            expected << numberedLine(n).chopped(1);
        expected << "dropped " + QByteArray::number(Lines - taken) << "after";
        QCOMPARE(wholeLines(readEnd->collect()), expected);
        QCOMPARE(failed.size(), 0);
        break;
    case Reader::TooSlow:
        QVERIFY(failure().contains(QString::number(Bound)));
        QVERIFY(!queue.isOpen() && !queue.append("late\n"));
        break;
    case Reader::StoppedAtTheEnd: {
        const qint64 unwritten = queue.drain(QDeadlineTimer(endWaitMs));
        QVERIFY(lineInFlight || readEnd->collect().endsWith('\n'));
        const QList<QByteArray> lines = wholeLines(readEnd->collect());
        QCOMPARE_GT(unwritten, 0);
        const qint64 accounted = lines.size() + unwritten;
        QVERIFY2(accounted == Lines || (lineInFlight && accounted == Lines + 1),
                 qPrintable(QString::number(accounted)));
        QCOMPARE(lines.last(), numberedLine(int(lines.size()) - 1).chopped(1));
        break;
    }
    case Reader::GoneAtTheEnd: {
        const QString why = failure();
        QCOMPARE(queue.drain(QDeadlineTimer(0)), qint64(Lines));
        QCOMPARE(why, QString::fromLocal8Bit(strerror(EPIPE)));
        break;
    }
    }
    QVERIFY(!queue.isOpen() || reader == Reader::Resumes);
}

} // namespace ReaderFallingBehind
