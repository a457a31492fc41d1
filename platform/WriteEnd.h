// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>
#include <sys/uio.h>

// A descriptor the program writes to without ever waiting on its reader: every write takes
// what the reader has room for now and says "nothing now" (EAGAIN) otherwise, and a reader
// that went away is an error (EPIPE), never a SIGPIPE that ends the program. Owns the
// descriptor. POSIX systems only.
class WriteEnd
{
public:
    WriteEnd() = default;
    ~WriteEnd();
    WriteEnd(WriteEnd &&other) noexcept;
    WriteEnd &operator=(WriteEnd &&other) noexcept;
    WriteEnd(const WriteEnd &) = delete;
    WriteEnd &operator=(const WriteEnd &) = delete;

    // Opens a path to be written in place, never blocking on the open: a FIFO no program reads
    // is refused at once. flags are added to O_WRONLY | O_NONBLOCK | O_NOCTTY (O_APPEND,
    // O_CREAT). Invalid, with *reason, when it cannot be opened.
    static WriteEnd openPath(const QByteArray &path, int flags, QString *reason);
    // An end of its own for an inherited descriptor (standard output or error), whose open
    // file description other programs share (the shell's terminal, a parent's pipe): changing
    // that one to non-blocking would change it for them too. A pipe, FIFO or device is opened
    // again through /proc/self/fd; a socket is written with MSG_DONTWAIT; a regular file,
    // which never makes a writer wait for a reader, is written through a copy of the
    // descriptor. A connection the program accepted on a socket of its own is taken the same
    // way: a copy written with MSG_DONTWAIT, the accepted descriptor left to its reader.
    static WriteEnd reopen(int fd, QString *reason);

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void close();

    // Writes what the reader takes now, from the parts in order: the count of bytes, or -1
    // with errno (EAGAIN: nothing now).
    ssize_t writeSome(const iovec *parts, int count) const;
    ssize_t writeSome(const char *data, size_t size) const;
    // As writeSome(), each part a whole line. A pipe's reader (a FIFO's too) never gets part of
    // one: a write carries whole parts, as many as the system writes at once or not at all
    // (PIPE_BUF bytes), or one longer part once the pipe is empty and its size holds it (the
    // pipe is made larger when it does not). Files, terminals and sockets take what they take.
    ssize_t writeLines(const iovec *parts, int count);
    // Whether the last writeLines() waits for the pipe to empty, which no notifier tells (a
    // pipe reports room as soon as a page is free): the writer looks again every
    // EmptyPipeLookMs.
    bool awaitsEmptyPipe() const { return m_awaitsEmptyPipe; }
    static constexpr int EmptyPipeLookMs = 10;
    // Waits until the reader takes bytes again (or empties the pipe, when awaitsEmptyPipe()),
    // at most timeoutMs (negative: no limit); false when it did not.
    bool waitWritable(int timeoutMs) const;

private:
    enum class Kind { NonBlocking, Socket, ReadyFirst };
    WriteEnd(int fd, Kind kind);
    ssize_t writeParts(const iovec *parts, int count) const;
    bool pipeTakesWhole(size_t size) const;
    bool waitForEmptyPipe(int timeoutMs) const;

    int m_fd = -1;
    Kind m_kind = Kind::NonBlocking;
    bool m_pipe = false;
    bool m_awaitsEmptyPipe = false;
};
