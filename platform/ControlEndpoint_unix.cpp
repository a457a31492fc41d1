// SPDX-License-Identifier: MIT
#include "platform/ControlEndpoint.h"

#include "platform/ListeningSocket.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// The pause after the system refused a connection (no descriptors left), so that a connection
// waiting does not keep the event loop spinning.
constexpr int AcceptPauseMs = 100;

// An accepted connection: its descriptor, closed after the notifier on it has gone.
class SocketConnection : public ControlConnection
{
public:
    explicit SocketConnection(int fd) : m_fd(fd)
    {
        m_readable = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        m_readable->setEnabled(false);
        connect(m_readable, &QSocketNotifier::activated, this, &ControlConnection::readable);
    }
    ~SocketConnection() override
    {
        delete m_readable;
        ::close(m_fd);
    }

    qint64 read(char *buffer, qint64 size) override
    {
        ssize_t n;
        do
            n = ::read(m_fd, buffer, size_t(size));
        while (n < 0 && errno == EINTR);
        if (n < 0 && errno == EWOULDBLOCK)
            errno = EAGAIN;
        return n;
    }
    void setReadNotification(bool enabled) override { m_readable->setEnabled(enabled); }
    WriteEnd takeWriteEnd() override { return WriteEnd::reopen(m_fd, nullptr); }
    void sendNow(const QByteArray &line) override
    {
        ::send(m_fd, line.constData(), size_t(line.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    }

private:
    int m_fd;
    QSocketNotifier *m_readable;
};

class SocketEndpoint : public ControlEndpoint
{
public:
    explicit SocketEndpoint(const QString &path) : m_socket(path) {}

    bool listen(QString *reason) override
    {
        if (!m_socket.listen(reason))
            return false;
        m_accepting = new QSocketNotifier(m_socket.fd(), QSocketNotifier::Read, this);
        connect(m_accepting, &QSocketNotifier::activated, this, &ControlEndpoint::pending);
        return true;
    }

    std::unique_ptr<ControlConnection> nextConnection() override
    {
        for (;;) {
            const int fd = m_socket.accept();
            if (fd >= 0)
                return std::make_unique<SocketConnection>(fd);
            if (errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                m_accepting->setEnabled(false);
                QTimer::singleShot(AcceptPauseMs, m_accepting,
                                   [notifier = m_accepting] { notifier->setEnabled(true); });
            }
            return nullptr;
        }
    }

    QString name() const override { return m_socket.path(); }

    ~SocketEndpoint() override
    {
        delete m_accepting;
        m_socket.close();
    }

private:
    ListeningSocket m_socket;
    QSocketNotifier *m_accepting = nullptr;
};

} // namespace

std::unique_ptr<ControlEndpoint> ControlEndpoint::make(const QString &name)
{
    return std::make_unique<SocketEndpoint>(name);
}
