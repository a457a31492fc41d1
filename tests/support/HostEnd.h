// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// A host program's end of a line: the device opened raw. A test that runs the program's event
// loop between reads opens it non-blocking; a host on a thread of its own (a benchmark, whose
// timing must not depend on the program's event loop) opens it blocking, so that a long send
// goes out whole.
class HostEnd
{
public:
    enum Style { NonBlocking, Blocking };
    explicit HostEnd(const QString &path, Style style = NonBlocking);
    // Takes over a descriptor the test opened itself, such as a pseudo-terminal's master side.
    explicit HostEnd(int fd, Style style = NonBlocking);
    ~HostEnd();
    HostEnd(const HostEnd &) = delete;
    HostEnd &operator=(const HostEnd &) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Writes all the bytes; false when the line took only part of them (non-blocking: no room).
    bool send(const QByteArray &bytes);
    // Reads every byte waiting now; returns everything collect() has read since the end opened.
    QByteArray collect();
    // Waits up to timeoutMs for bytes; true when some are waiting.
    bool waitReadable(int timeoutMs);
    // Collects until n more bytes came or timeoutMs passed; returns what came.
    QByteArray read(qsizetype n, int timeoutMs = 5000);

private:
    int m_fd;
    QByteArray m_collected;
};
