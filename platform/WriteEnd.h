// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <functional>

#include <sys/types.h>
#ifdef Q_OS_WIN
#include <cstddef>
#include <memory>
// One part of a write, as POSIX's writev() takes it.
struct iovec {
    void *iov_base;
    size_t iov_len;
};
#else
#include <sys/uio.h>
#endif

// An output the program writes to without ever waiting on its reader: every write takes what
// the reader has room for now and says "nothing now" (EAGAIN) otherwise, and a reader that went
// away is an error (EPIPE), never a signal that ends the program. Owns what it writes to.
//
// On Unix it is a descriptor: written without blocking, SIGPIPE held back. On Windows, where a
// pipe or the console cannot be written without blocking, a disk file is written directly and
// anything else through a writer thread of its own that takes one batch of whole parts at a time
// (a console gets the lines' UTF-8 as the console's own characters); while the thread writes, a
// write says "nothing now".
class WriteEnd
{
public:
    WriteEnd();
    ~WriteEnd();
    WriteEnd(WriteEnd &&other) noexcept;
    WriteEnd &operator=(WriteEnd &&other) noexcept;
    WriteEnd(const WriteEnd &) = delete;
    WriteEnd &operator=(const WriteEnd &) = delete;

    // Opens a path to be written in place, never blocking on the open: a FIFO (on Windows a
    // named pipe) no program reads is refused at once. flags are added to O_WRONLY | O_NONBLOCK
    // | O_NOCTTY (O_APPEND, O_CREAT, O_EXCL, O_TRUNC). Invalid, with *reason, when it cannot be
    // opened.
    static WriteEnd openPath(const QString &path, int flags, QString *reason);
    // An end of its own for an inherited descriptor (standard output or error), whose open
    // file description other programs share (the shell's terminal, a parent's pipe): changing
    // that one to non-blocking would change it for them too. A pipe, FIFO or device is opened
    // again through /proc/self/fd; a socket is written with MSG_DONTWAIT; a regular file,
    // which never makes a writer wait for a reader, is written through a copy of the
    // descriptor. A connection the program accepted on a socket of its own is taken the same
    // way: a copy written with MSG_DONTWAIT, the accepted descriptor left to its reader. On
    // Windows, fd is the C library's descriptor, and its handle is copied.
    static WriteEnd reopen(int fd, QString *reason);
#ifdef Q_OS_WIN
    // A handle the program made (a pipe's end; overlapped: open for overlapped I/O), owned from
    // now on and written by the writer thread.
    static WriteEnd ofHandle(void *handle, bool overlapped);
#endif

    bool isValid() const;
    void close();

    // Writes what the reader takes now, from the parts in order: the count of bytes, or -1
    // with errno (EAGAIN: nothing now).
    ssize_t writeSome(const iovec *parts, int count) const;
    ssize_t writeSome(const char *data, size_t size) const;
    // As writeSome(), each part a whole line. A pipe's reader (a FIFO's too) never gets part of
    // one: a write carries whole parts, as many as the system writes at once or not at all
    // (PIPE_BUF bytes), or one longer part once the pipe is empty and its size holds it (the
    // pipe is made larger when it does not). Files, terminals and sockets take what they take.
    // On Windows the writer thread takes whole parts, and writes them whole; only a write
    // abandoned at close() can have put part of one in a pipe.
    ssize_t writeLines(const iovec *parts, int count);
    // Whether the last writeLines() waits for the pipe to empty, which no notifier tells (a
    // pipe reports room as soon as a page is free): the writer looks again every
    // EmptyPipeLookMs.
    bool awaitsEmptyPipe() const;
    static constexpr int EmptyPipeLookMs = 10;
    // Waits until the reader takes bytes again (or empties the pipe, when awaitsEmptyPipe()),
    // at most timeoutMs (negative: no limit); false when it did not.
    bool waitWritable(int timeoutMs) const;
    // Bytes handed over by writes that the system has not taken yet: always 0 on Unix, where a
    // write that returned has been taken; on Windows, what remains of the writer thread's batch.
#ifdef Q_OS_WIN
    qsizetype bytesInFlight() const;
#else
    qsizetype bytesInFlight() const
    {
        return 0;
    }
#endif
    // Waits, at most until the deadline, for the system to take what writes have handed over;
    // returns how many parts of the writeLines() calls it has not taken, which are given up.
    // Always 0 on Unix, where a write that returned has been taken; on Windows, the writer
    // thread's batch. (close() instead lets the writer thread finish its batch on its own, as
    // a system holds what was written to a descriptor closed after it.)
    qint64 settle(QDeadlineTimer deadline);

private:
    friend class RoomWatch;
#ifdef Q_OS_WIN
    struct Writer;
    explicit WriteEnd(std::shared_ptr<Writer> writer);
    std::shared_ptr<Writer> m_writer;
#else
    enum class Kind { NonBlocking, Socket, ReadyFirst };
    WriteEnd(int fd, Kind kind);
    ssize_t writeParts(const iovec *parts, int count) const;
    bool pipeTakesWhole(size_t size) const;
    bool waitForEmptyPipe(int timeoutMs) const;

    int m_fd = -1;
    Kind m_kind = Kind::NonBlocking;
    bool m_pipe = false;
    bool m_awaitsEmptyPipe = false;
#endif
};

// Calls onRoom on the event thread when a write end whose last write said "nothing now" takes
// bytes again, while enabled (it starts disabled): a socket notifier on the descriptor (Unix),
// the writer thread's signal that its batch is done (Windows). The end must outlive it.
class RoomWatch : public QObject
{
public:
    RoomWatch(const WriteEnd &end, std::function<void()> onRoom, QObject *parent = nullptr);
    void setEnabled(bool enabled);

private:
    QObject *m_notifier = nullptr;
};
