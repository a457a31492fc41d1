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
    // Writes all the bytes as the line makes room, the event loop running meanwhile (a program
    // under test in this process answers); false when they did not all go within timeoutMs.
    bool feed(const QByteArray &bytes, int timeoutMs);
    // Reads every byte waiting now; returns everything collect() has read since the end opened.
    QByteArray collect();
    // What collect() has read so far, without reading more.
    const QByteArray &collected() const { return m_collected; }
    // Waits up to timeoutMs for bytes; true when some are waiting.
    bool waitReadable(int timeoutMs);

private:
    int m_fd;
    QByteArray m_collected;
};
