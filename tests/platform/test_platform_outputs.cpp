// SPDX-License-Identifier: MIT
// What the program writes: a file at a path the user names (written safely when it is a
// regular file or a new path, keeping a file's owner, group and mode or else written in place;
// in place and never replaced when it is a device, a FIFO or a descriptor; refused when nobody
// reads it), and the output queue of whole lines in front of a reader that stops, resumes, or
// goes away, a pipe's reader never seeing part of a line, and lines longer than its bound. A
// capture to a file: numbered next files past its limit, a target that stops taking bytes, and
// every way it ends by itself.
#include "HostEnd.h"
#include "ReaderFallingBehind.h"
#include "platform/CaptureFile.h"
#include "platform/FileTarget.h"
#include "platform/OutputQueue.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// Another user and group, for files that are not the test's (made as root).
constexpr uid_t OtherUser = 4242;
constexpr gid_t OtherGroup = 4243;
constexpr uid_t WriterWhoMayNotGive = 4244;

struct stat nodeOf(const QString &path)
{
    struct stat status {
    };
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

// One target of the table, made by the test: the path to name; for a target written in place,
// the test's end that reads what comes, and the other end that the test holds open.
struct Target {
    QString path;
    std::unique_ptr<HostEnd> reader, held;

    QByteArray received()
    {
        if (reader)
            return reader->collect();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }
};

void makeTarget(Target &target, const QString &kind, const QTemporaryDir &dir)
{
    target.path = dir.filePath(QStringLiteral("target"));
    const QByteArray name = QFile::encodeName(target.path);
    int ends[2] = {-1, -1};
    if (kind.contains(QLatin1String("regular file"))) {
        // Longer than the new contents: a file written over in place and not cut shows its end.
        QFile file(target.path);
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write("old contents, longer than the new ones that replace them\n") > 0);
        file.close();
        if (kind.startsWith(QLatin1String("another user's"))) {
            const bool mayNotGive = kind.contains(QLatin1String("may not give"));
            QVERIFY2(::chown(name.constData(), OtherUser, mayNotGive ? OtherUser : OtherGroup) == 0,
                     "another user's file needs root to make");
            QVERIFY(::chmod(name.constData(), mayNotGive ? 0666 : 0640) == 0);
            if (mayNotGive) // where the writer, not root, makes its temporary file
                QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
        }
    } else if (kind == "terminal") {
        char far[256];
        QVERIFY(::openpty(&ends[0], &ends[1], far, nullptr, nullptr) == 0);
        target.path = QString::fromLocal8Bit(far); // raw by the HostEnd below: bytes unchanged
    } else if (kind.startsWith(QLatin1String("FIFO"))) {
        QVERIFY(::mkfifo(name.constData(), 0600) == 0);
        if (kind != "FIFO without a reader")
            ends[0] = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
    } else if (kind == "/dev/fd/N of a pipe") {
        QVERIFY(::pipe(ends) == 0);
        target.path = QStringLiteral("/dev/fd/%1").arg(ends[1]);
    }
    if (ends[0] >= 0)
        target.reader = std::make_unique<HostEnd>(ends[0]);
    if (ends[1] >= 0)
        target.held = std::make_unique<HostEnd>(ends[1]);
}

// Writes the contents to path as the user writer (a child process that takes that user's
// ids), or as this process when writer is ours.
bool writeAs(uid_t writer, const QString &path, const QByteArray &contents, QString *error)
{
    const auto write = [&] {
        return writeToPath(
            path, [&](QIODevice &device) { return device.write(contents) == contents.size(); },
            error, 0);
    };
    if (writer == ::geteuid())
        return write();
    std::fflush(nullptr); // the child's exit must not write the test's output again
    const pid_t child = ::fork();
    if (child == 0) {
        const bool became =
            ::setgroups(0, nullptr) == 0 && ::setgid(writer) == 0 && ::setuid(writer) == 0;
        ::_exit(became ? (write() ? 0 : 1) : 2);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return false;
    if (error && WEXITSTATUS(status) != 0)
        *error = WEXITSTATUS(status) == 2 ? QStringLiteral("(the child could not become the user)")
                                          : QStringLiteral("(the child's write failed)");
    return WEXITSTATUS(status) == 0;
}

} // namespace

using namespace ReaderFallingBehind;

class TestOutputs : public QObject
{
    Q_OBJECT
private slots:
    void pathTargets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("throughLink");
        QTest::addColumn<QString>("refusal"); // empty: written
        for (const bool link : {false, true}) {
            const auto row = [link](const char *kind) -> QTestData & {
                return QTest::newRow(QByteArray(link ? "link to " : "") + kind)
                       << QString::fromLatin1(kind) << link;
            };
            row("regular file") << QString();
            row("another user's regular file") << QString();
            row("another user's regular file, by a user who may not give it away") << QString();
            row("new path") << QString();
            row("terminal") << QString();
            row("FIFO with a reader") << QString();
            row("FIFO without a reader") << "no program has the FIFO open for reading";
        }
        QTest::newRow("/dev/fd/N of a pipe") << "/dev/fd/N of a pipe" << false << QString();
        QTest::newRow("FIFO whose reader stops")
            << "FIFO whose reader stops" << false << "it stopped taking bytes";
    }

    // A regular file or a new path gets the new contents, whole and nothing after them (behind
    // a link, the link stays). A regular file is replaced by a new one with its owner, group and
    // mode; one whose owner the writer may not give a new file is written in place, and stays
    // its owner's. Any other target keeps its node and gets the contents in place, or is
    // refused with a message naming the path.
    void pathTargets()
    {
        QFETCH(QString, kind);
        QFETCH(bool, throughLink);
        QFETCH(QString, refusal);
        QTemporaryDir dir;
        Target target;
        makeTarget(target, kind, dir);
        const QString path = throughLink ? dir.filePath(QStringLiteral("link")) : target.path;
        if (throughLink)
            QVERIFY(QFile::link(target.path, path));
        const struct stat before = nodeOf(target.path);
        // More than a pipe holds when its reader stops; a few lines otherwise.
        const QByteArray contents = kind == "FIFO whose reader stops" ? QByteArray(1 << 20, 'x')
                                                                      : "D0000 0001\nD0001 0002\n";
        const bool mayNotGive = kind.contains(QLatin1String("may not give"));

        QString error;
        const bool written =
            writeAs(mayNotGive ? WriterWhoMayNotGive : ::geteuid(), path, contents, &error);
        QCOMPARE(written, refusal.isEmpty());
        QVERIFY2(error.startsWith(path + QStringLiteral(": ")) == !written, qPrintable(error));
        QVERIFY2(error.contains(refusal), qPrintable(error));
        if (written)
            QCOMPARE(target.received(), contents);
        if (throughLink)
            QCOMPARE(QFileInfo(path).symLinkTarget(), target.path);
        const struct stat after = nodeOf(target.path);
        if (kind.contains(QLatin1String("regular file"))) {
            QCOMPARE(after.st_ino != before.st_ino, !mayNotGive); // replaced, or in place
            QCOMPARE(std::tuple(after.st_uid, after.st_gid, after.st_mode),
                     std::tuple(before.st_uid, before.st_gid, before.st_mode));
        } else if (kind != "new path") {
            QVERIFY(after.st_ino == before.st_ino && after.st_mode == before.st_mode);
        }
    }

    void readerThatFallsBehind_data() { addRows(); }

    // A pipe's reader that stops (ReaderFallingBehind::play says what each row checks).
    void readerThatFallsBehind()
    {
        QFETCH(Reader, reader);
        int ends[2];
        QVERIFY(::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0);
        ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
        OutputQueue queue(WriteEnd::reopen(ends[1], nullptr), Bound, overflowFor(reader));
        ::close(ends[1]);
        play(reader, queue, std::make_unique<HostEnd>(ends[0]), 0, false);
    }

    // To a pipe, every write ends a line: lines of many lengths, some longer than what the
    // system writes at once (PIPE_BUF) and than the whole pipe, against a reader that takes part
    // of what waits, then the rest. Whenever the reader has emptied the pipe, what it has ends
    // a line; in the end it has every line, in order.
    void wholeLinesToAPipe()
    {
        int ends[2];
        QVERIFY(::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0);
        QVERIFY(::fcntl(ends[1], F_SETPIPE_SZ, 4096) >= 0);
        OutputQueue queue(WriteEnd::reopen(ends[1], nullptr), 1 << 20,
                          OutputQueue::Overflow::DropLines);
        ::close(ends[1]);
        const HostEnd readEnd(ends[0]); // closes it
        QByteArray all, got;
        for (int n = 0; n < 60; ++n) {
            const int lengths[] = {30, 700, 2500, 5000, 9000};
            const QByteArray line =
                numberedLine(n).chopped(1) + QByteArray(lengths[n % 5] + n, '.');
            all += line + '\n';
            QVERIFY(queue.append(line + '\n'));
        }
        const auto take = [&](size_t most) {
            char buffer[65536];
            const ssize_t n = ::read(ends[0], buffer, std::min(most, sizeof buffer));
            if (n > 0)
                got.append(buffer, n);
            return n > 0;
        };
        while (got.size() < all.size()) {
            QVERIFY(QTest::qWaitFor([&] { return take(1000); }));
            QCoreApplication::processEvents(); // the queue writes what fits the room made
            while (take(65536))
                ;
            QVERIFY2(got.endsWith('\n'), qPrintable(QStringLiteral("%1 bytes").arg(got.size())));
        }
        QCOMPARE(got, all);
    }

    void overLongLines_data()
    {
        QTest::addColumn<bool>("readerFull");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("the reader has room")
            << false << QByteArray("dropped 1\ndropped 1\nafter\nlater\n");
        QTest::newRow("the reader has no room")
            << true << QByteArray("dropped 1\ndropped 2\nlater\n");
    }

    // Two lines in a row each longer than the bound are dropped, and the line that counts them
    // goes out as soon as the reader has room, the lines after it too. With room, each is
    // counted at once; with none, the next line is dropped too, and counted once the reader
    // has taken the first count.
    void overLongLines()
    {
        QFETCH(bool, readerFull);
        QFETCH(QByteArray, expected);
        int ends[2];
        QVERIFY(::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0);
        QVERIFY(::fcntl(ends[1], F_SETPIPE_SZ, 4096) >= 0);
        const QByteArray filler = readerFull ? QByteArray(4095, 'f') + '\n' : QByteArray();
        QCOMPARE(::write(ends[1], filler.constData(), size_t(filler.size())), filler.size());
        OutputQueue queue(WriteEnd::reopen(ends[1], nullptr), 64, OutputQueue::Overflow::DropLines);
        ::close(ends[1]);
        queue.setDroppedLinesText(
            [](qint64 count) { return "dropped " + QByteArray::number(count) + "\n"; });
        HostEnd readEnd(ends[0]);
        const QByteArray overLong = QByteArray(100, 'x') + '\n';
        QVERIFY(!queue.append(overLong));
        QVERIFY(!queue.append(overLong));
        QCOMPARE(queue.append("after\n"), !readerFull);
        if (readerFull)
            QVERIFY(QTest::qWaitFor([&] { return readEnd.collect().endsWith("dropped 2\n"); }));
        QVERIFY(queue.append("later\n"));
        QTRY_COMPARE(readEnd.collect(), filler + expected);
    }

    // A capture appends to the file named; past the file limit it goes on in numbered files made
    // new beside it, a number taken already passed over and left as it was. Every line is in
    // one file, once, in order, and no file grows past the limit.
    void captureInNumberedFiles()
    {
        QTemporaryDir dir;
        const auto fileAt = [&dir](const char *name) { return dir.filePath(QLatin1String(name)); };
        const auto contents = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
        };
        const auto make = [](const QString &path, const QByteArray &bytes) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        make(fileAt("capture.log"), "old\n");
        make(fileAt("capture.2.log"), "another run\n");
        CaptureFile capture(100);
        QSignalSpy next(&capture, &CaptureFile::nextFile);
        QString reason;
        QVERIFY2(capture.start(fileAt("capture.log"), &reason), qPrintable(reason));
        QByteArrayList lines;
        for (char n = 0; n < 10; ++n)
            capture.append(lines.emplace_back(QByteArray(29, char('a' + n)) + '\n'));
        QCOMPARE(capture.path(), fileAt("capture.4.log"));
        QCOMPARE(capture.stop(), 0);
        QCOMPARE(next.size(), 3);
        QCOMPARE(next.at(0).at(0).toString(), fileAt("capture.1.log"));
        QCOMPARE(next.at(1).at(0).toString(), fileAt("capture.3.log"));
        QCOMPARE(contents(fileAt("capture.log")), "old\n" + lines.mid(0, 3).join());
        QCOMPARE(contents(fileAt("capture.1.log")), lines.mid(3, 3).join());
        QCOMPARE(contents(fileAt("capture.2.log")), "another run\n");
        QCOMPARE(contents(fileAt("capture.3.log")), lines.mid(6, 3).join());
        QCOMPARE(contents(fileAt("capture.4.log")), lines.mid(9).join());
        QCOMPARE(CaptureFile::numbered(QStringLiteral("/a.b/capture"), 2),
                 QStringLiteral("/a.b/capture.2"));
    }

    // A target that stops taking bytes (a FIFO whose reader does not read) never holds the
    // program up: lines past the bound are dropped whole; the reader, reading again, gets the
    // lines taken, in order, then one line with the count dropped, then the lines after it.
    void captureToAReaderThatStops()
    {
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
        HostEnd reader(::open(fifo.constData(), O_RDONLY | O_NONBLOCK));
        CaptureFile capture;
        capture.setDroppedLinesText(
            [](qint64 count) { return "dropped " + QByteArray::number(count) + "\n"; });
        QString reason;
        QVERIFY2(capture.start(QString::fromLocal8Bit(fifo), &reason), qPrintable(reason));
        constexpr int Lines = 3000; // of 1 KiB: more than the queue's bound and the pipe
        for (int n = 0; n < Lines; ++n)
            capture.append(numberedLine(n).chopped(1) + QByteArray(1000, '.') + '\n');
        QVERIFY(QTest::qWaitFor([&] { return reader.collect().contains("dropped "); }));
        capture.append("after\n");
        QVERIFY(QTest::qWaitFor([&] { return reader.collect().endsWith("after\n"); }));
        const QList<QByteArray> got = wholeLines(reader.collect());
        const qsizetype taken = got.size() - 2;
        QCOMPARE_GT(taken, 0);
        QCOMPARE_LT(taken, Lines);
        for (int n = 0; n < taken; ++n)
            QVERIFY(got[n].startsWith(numberedLine(n).chopped(1) + '.'));
        QCOMPARE(got.at(taken), "dropped " + QByteArray::number(Lines - taken));
        QVERIFY(capture.isActive());
    }

    void captureEnds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refusal"); // at start; empty: it starts
        QTest::addColumn<QString>("failure"); // how it ends by itself at the next line
        const QString removed = QStringLiteral("the file was removed or replaced");
        QTest::newRow("a full disk") << "/dev/full"
                                     << "" << QString::fromLocal8Bit(strerror(ENOSPC));
        QTest::newRow("the file removed") << "removed"
                                          << "" << removed;
        QTest::newRow("the file replaced") << "replaced"
                                           << "" << removed;
        QTest::newRow("the reader gone") << "reader gone"
                                         << "" << QString::fromLocal8Bit(strerror(EPIPE));
        QTest::newRow("a FIFO nobody reads") << "FIFO"
                                             << "no program has the FIFO open for reading"
                                             << "";
        QTest::newRow("a directory")
            << "directory" << QString::fromLocal8Bit(strerror(EISDIR)) << "";
    }
    // A target refused at the start says why, naming the path; a capture that fails later ends,
    // says why, naming the file, and takes no more lines.
    void captureEnds()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("capture.log"));
        std::unique_ptr<HostEnd> reader;
        if (kind == "/dev/full") {
            path = kind;
        } else if (kind == "reader gone" || kind == "FIFO") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            if (kind == "reader gone")
                reader = std::make_unique<HostEnd>(path);
        } else if (kind == "directory") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("capture.log")));
        }
        CaptureFile capture;
        QSignalSpy failed(&capture, &CaptureFile::failed);
        QString reason;
        const bool started = capture.start(path, &reason);
        QFETCH(QString, refusal);
        QCOMPARE(started, refusal.isEmpty());
        if (!started) {
            QCOMPARE(reason, path + QStringLiteral(": ") + refusal);
            return;
        }
        capture.append("first\n");
        if (kind == "removed")
            QVERIFY(QFile::remove(path));
        if (kind == "replaced")
            QVERIFY(QFile::rename(path, path + ".old") && QFile(path).open(QIODevice::WriteOnly));
        reader.reset();
        capture.append("second\n");
        QVERIFY(failed.wait(5000));
        QFETCH(QString, failure);
        QCOMPARE(failed.first().first().toString(), path + QStringLiteral(": ") + failure);
        QVERIFY(!capture.isActive());
        capture.append("third\n");
        QCOMPARE(failed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOutputs)
#include "test_platform_outputs.moc"
