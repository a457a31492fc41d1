// SPDX-License-Identifier: MIT
#pragma once

// A control program's end of the control socket for tests: connected at once, never blocking,
// so that the program under test (in the same event loop, or another process) runs while the
// test waits on a condition. Bytes to send wait until the socket takes them.

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class ControlEnd
{
public:
    explicit ControlEnd(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(),
                    std::min(sizeof address.sun_path - 1, size_t(name.size())));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_fd >= 0)
            ::fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }
    ~ControlEnd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ControlEnd(const ControlEnd &) = delete;
    ControlEnd &operator=(const ControlEnd &) = delete;

    bool isConnected() const { return m_fd >= 0; }
    // Queues bytes to send; pump() writes them.
    void send(const QByteArray &bytes)
    {
        m_toSend += bytes;
        pump();
    }
    // A request as one line, with a line end.
    void request(const QByteArray &json) { send(json + '\n'); }
    // No more requests: the sending side closes once everything queued has gone.
    void finishSending()
    {
        m_finishSending = true;
        pump();
    }
    // Writes what the socket takes, reads what waits; false once the connection has ended.
    bool pump()
    {
        if (m_fd < 0)
            return false;
        while (!m_toSend.isEmpty()) {
            const ssize_t n = ::send(m_fd, m_toSend.constData(), size_t(m_toSend.size()),
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n <= 0)
                break;
            m_toSend.remove(0, n);
        }
        if (m_finishSending && m_toSend.isEmpty())
            ::shutdown(m_fd, SHUT_WR);
        if (!m_reading)
            return !m_ended;
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            m_received.append(buffer, n);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            m_ended = true;
        return !m_ended;
    }
    // A client that stops reading (its socket's buffers fill up).
    void stopReading() { m_reading = false; }
    void resumeReading() { m_reading = true; }
    bool hasEnded()
    {
        pump();
        return m_ended;
    }
    // The complete lines received so far.
    QList<QByteArray> lines()
    {
        pump();
        QList<QByteArray> lines = m_received.split('\n');
        lines.removeLast();
        return lines;
    }
    // The answers and events received so far, as JSON objects.
    QList<QJsonObject> objects()
    {
        QList<QJsonObject> objects;
        for (const QByteArray &line : lines())
            objects << QJsonDocument::fromJson(line).object();
        return objects;
    }
    const QByteArray &received() const { return m_received; }

private:
    int m_fd = -1;
    QByteArray m_toSend, m_received;
    bool m_reading = true, m_ended = false, m_finishSending = false;
};
