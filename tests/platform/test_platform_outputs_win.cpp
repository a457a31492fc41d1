// SPDX-License-Identifier: MIT
// What the program writes, on Windows: a file at a path the user names (a regular file or a new
// path written safely, a device or a named pipe written in place, refused when nobody reads it
// or when it is a directory, given up when its reader stops), and the output queue of whole
// lines in front of a pipe whose reader stops, resumes or goes away, every line accounted for at
// the end. (The Unix counterparts: test_platform_outputs.)
#include "platform/FileTarget.h"
#include "platform/OutputQueue.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <windows.h>

namespace
{

QByteArray numberedLine(int n)
{
    return QByteArray::number(n).rightJustified(6, '0') + " of the lines written\n";
}

// Lines, each ended, that a reader got; a part of a line at the end is left out.
QList<QByteArray> wholeLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    return lines;
}

// The test's end of a pipe: what has come so far, read without ever waiting.
class PipeReader
{
public:
    explicit PipeReader(HANDLE h) : m_handle(h) {}
    ~PipeReader() { ::CloseHandle(m_handle); }
    PipeReader(const PipeReader &) = delete;
    PipeReader &operator=(const PipeReader &) = delete;

    QByteArray collect()
    {
        DWORD waiting = 0;
        while (::PeekNamedPipe(m_handle, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
            QByteArray chunk(qsizetype(waiting), Qt::Uninitialized);
            DWORD got = 0;
            if (!::ReadFile(m_handle, chunk.data(), waiting, &got, nullptr))
                break;
            m_got += chunk.left(got);
        }
        return m_got;
    }

private:
    HANDLE m_handle;
    QByteArray m_got;
};

// A named pipe for a target of the table: its server end, inbound, one instance that takes
// 4 KiB before its writer must wait.
HANDLE makeNamedPipe(const QString &name)
{
    return ::CreateNamedPipeW(reinterpret_cast<LPCWSTR>(name.utf16()), PIPE_ACCESS_INBOUND,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 4096, 0,
                              nullptr);
}

} // namespace

enum class Reader { Resumes, TooSlow, StoppedAtTheEnd, GoneAtTheEnd };

class TestOutputsWindows : public QObject
{
    Q_OBJECT
private slots:
    void pathTargets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refusal"); // empty: written
        QTest::newRow("regular file") << "regular file" << QString();
        QTest::newRow("new path") << "new path" << QString();
        QTest::newRow("NUL") << "NUL" << QString();
        QTest::newRow("named pipe with a reader") << "named pipe with a reader" << QString();
        QTest::newRow("named pipe without a reader") << "named pipe without a reader"
                                                     << "no program has the pipe open for reading";
        QTest::newRow("named pipe whose reader stops") << "named pipe whose reader stops"
                                                       << "it stopped taking bytes";
        QTest::newRow("directory") << "directory"
                                   << "it is a directory";
    }

    // A regular file or a new path gets the new contents, whole and nothing after them; a device
    // or a named pipe gets them in place and no file appears in their stead; the rest is
    // refused with a message naming the path.
    void pathTargets()
    {
        QFETCH(QString, kind);
        QFETCH(QString, refusal);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("target"));
        std::unique_ptr<PipeReader> reader;
        if (kind == "regular file") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) &&
                    file.write("old contents, longer than the new ones that replace them\n") > 0);
        } else if (kind == "NUL") {
            path = QStringLiteral("NUL");
        } else if (kind.startsWith(QLatin1String("named pipe"))) {
            static int pipes = 0;
            path = QStringLiteral("\\\\.\\pipe\\portwren-test-%1-%2")
                       .arg(::GetCurrentProcessId())
                       .arg(++pipes);
            if (kind != "named pipe without a reader") {
                const HANDLE server = makeNamedPipe(path);
                QVERIFY(server != INVALID_HANDLE_VALUE);
                reader = std::make_unique<PipeReader>(server);
            }
        } else if (kind == "directory") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("target")));
        }
        const QByteArray contents = kind == "named pipe whose reader stops"
                                        ? QByteArray(1 << 20, 'x')
                                        : "D0000 0001\nD0001 0002\n";
        QString error;
        const bool written = writeToPath(
            path, [&](QIODevice &device) { return device.write(contents) == contents.size(); },
            &error);
        QCOMPARE(written, refusal.isEmpty());
        QVERIFY2(error.startsWith(path + QStringLiteral(": ")) == !written, qPrintable(error));
        QVERIFY2(error.contains(refusal), qPrintable(error));
        if (written && reader)
            QTRY_COMPARE(reader->collect(), contents);
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 kind == "regular file" || kind == "new path" || kind == "directory"
                     ? QStringList{QStringLiteral("target")}
                     : QStringList());
        if (written && !reader && kind != "NUL") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), contents);
        }
    }

    void readerThatFallsBehind_data()
    {
        QTest::addColumn<Reader>("reader");
        QTest::newRow("drop lines, the reader resumes") << Reader::Resumes;
        QTest::newRow("disconnect") << Reader::TooSlow;
        QTest::newRow("the end, the reader stopped") << Reader::StoppedAtTheEnd;
        QTest::newRow("the end, the reader gone") << Reader::GoneAtTheEnd;
    }

    // A pipe's reader that stops: the queue holds up to its bound, never more. Dropping, whole
    // lines go and the reader, resuming, gets every line taken in order, then one line with the
    // count of those dropped, then the lines after it. Disconnecting, the output closes and says
    // why. At the end every line is accounted for: the whole lines the reader got, and the count
    // drain() gives of those it did not (queued, in the writer thread's batch, dropped; the one
    // being written when the end gave up on the reader may have reached it in part). A reader
    // that went away is a failure the output reports.
    void readerThatFallsBehind()
    {
        QFETCH(Reader, reader);
        constexpr qsizetype Bound = 8192;
        constexpr int Lines = 2000;
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        QVERIFY(::CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
        OutputQueue queue(WriteEnd::ofHandle(writeEnd, false), Bound,
                          reader == Reader::TooSlow ? OutputQueue::Overflow::Disconnect
                                                    : OutputQueue::Overflow::DropLines);
        queue.setDroppedLinesText(
            [](qint64 count) { return "dropped " + QByteArray::number(count) + "\n"; });
        QSignalSpy failed(&queue, &OutputQueue::failed);
        auto pipe = std::make_unique<PipeReader>(readEnd);
        if (reader == Reader::GoneAtTheEnd)
            pipe.reset();
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
                return pipe->collect().endsWith("dropped " + QByteArray::number(Lines - taken) +
                                                "\n");
            }));
            QVERIFY(queue.append("after\n"));
            QVERIFY(QTest::qWaitFor([&] { return pipe->collect().endsWith("after\n"); }));
            for (int n = 0; n < taken; ++n)
                expected << numberedLine(n).chopped(1);
            expected << "dropped " + QByteArray::number(Lines - taken) << "after";
            QCOMPARE(wholeLines(pipe->collect()), expected);
            QCOMPARE(failed.size(), 0);
            break;
        case Reader::TooSlow:
            QVERIFY(failure().contains(QString::number(Bound)));
            QVERIFY(!queue.isOpen() && !queue.append("late\n"));
            break;
        case Reader::StoppedAtTheEnd: {
            const qint64 unwritten = queue.drain(QDeadlineTimer(50));
            const QList<QByteArray> lines = wholeLines(pipe->collect());
            QCOMPARE_GT(unwritten, 0);
            QCOMPARE(lines.size() + unwritten, qint64(Lines));
            QCOMPARE(lines.last(), numberedLine(int(lines.size()) - 1).chopped(1));
            break;
        }
        case Reader::GoneAtTheEnd:
            QCOMPARE(failure(), QString::fromLocal8Bit(strerror(EPIPE)));
            QCOMPARE(queue.drain(QDeadlineTimer(0)), qint64(Lines));
            break;
        }
        QVERIFY(!queue.isOpen() || reader == Reader::Resumes);
    }
};

QTEST_GUILESS_MAIN(TestOutputsWindows)
#include "test_platform_outputs_win.moc"
