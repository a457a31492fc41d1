// SPDX-License-Identifier: MIT
#pragma once

// A control program's end of the control socket for tests: connected at once, never blocking,
// so that the program under test (in the same event loop, or another process) runs while the
// test waits on a condition. Bytes to send wait until the socket takes them. The server's
// greeting, its first line, is kept apart from the answers and events.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The address of a Unix socket at path.
inline sockaddr_un unixAddress(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(),
                std::min(sizeof address.sun_path - 1, size_t(name.size())));
    return address;
}

class ControlEnd
{
public:
    explicit ControlEnd(const QString &path)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        const sockaddr_un address = unixAddress(path);
        ::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    }
    ~ControlEnd() { ::close(m_fd); }
    Q_DISABLE_COPY(ControlEnd)

    // Queues bytes to send (a request: one line); pump() writes them.
    void send(const QByteArray &bytes)
    {
        m_toSend += bytes;
        pump();
    }
    void request(const QByteArray &json) { send(json + '\n'); }
    // No more requests: the sending side closes once everything queued has gone.
    void finishSending()
    {
        m_finishSending = true;
        pump();
    }
    // Off: the client stops reading and the socket's buffers fill up.
    bool reading = true;

    // Writes what the socket takes and, when reading, reads what waits; false once the
    // connection has ended.
    bool pump()
    {
        ssize_t n = 1;
        while (!m_toSend.isEmpty() && n > 0) {
            n = ::send(m_fd, m_toSend.constData(), size_t(m_toSend.size()),
                       MSG_DONTWAIT | MSG_NOSIGNAL);
            m_toSend.remove(0, std::max<ssize_t>(n, 0));
        }
        if (m_finishSending && m_toSend.isEmpty())
            ::shutdown(m_fd, SHUT_WR);
        char buffer[65536];
        while (reading && (n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            m_received.append(buffer, n);
        m_ended = m_ended || (reading && (n == 0 || (n < 0 && errno != EAGAIN)));
        return !m_ended;
    }
    bool hasEnded() { return !pump(); }
    // The complete lines received so far, after the greeting.
    QList<QByteArray> lines()
    {
        pump();
        QList<QByteArray> lines = m_received.split('\n');
        lines.removeLast();
        if (!lines.isEmpty() && lines.first().startsWith("{\"portwren\":"))
            lines.removeFirst();
        return lines;
    }
    // The greeting line, once it has come.
    QByteArray greeting()
    {
        pump();
        return m_received.startsWith("{\"portwren\":") && m_received.contains('\n')
                   ? m_received.left(m_received.indexOf('\n'))
                   : QByteArray();
    }
    // The answers and events received so far, as JSON objects.
    QList<QJsonObject> objects()
    {
        QList<QJsonObject> objects;
        for (const QByteArray &line : lines())
            objects << QJsonDocument::fromJson(line).object();
        return objects;
    }

private:
    int m_fd;
    QByteArray m_toSend, m_received;
    bool m_ended = false, m_finishSending = false;
};
