// SPDX-License-Identifier: MIT
#include "platform/ControlEndpoint.h"

#include <QTimer>
#include <QWinEventNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>
#include <windows.h>

namespace
{

// What the pipe holds each way, what one read takes, and the pause after an instance could not
// be made.
constexpr DWORD PipeBufferBytes = 64 << 10;
constexpr qint64 ReadChunk = 16 << 10;
constexpr int RetryMs = 100;

QString pipePath(const QString &name)
{
    const QLatin1String prefix("\\\\.\\pipe\\");
    return name.startsWith(prefix, Qt::CaseInsensitive) ? name : prefix + name;
}

QString systemReason(DWORD error)
{
    return qt_error_string(int(error));
}

// A security descriptor whose owner is the user running the program and whose access list
// grants that user alone: no other user, not even an administrator's program without taking
// ownership first, opens the pipe.
class UserOnly
{
public:
    bool make(QString *reason)
    {
        HANDLE token = nullptr;
        DWORD size = 0;
        bool made = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
        if (made) {
            ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
            m_user.resize(size);
            made = ::GetTokenInformation(token, TokenUser, m_user.data(), size, &size);
            ::CloseHandle(token);
        }
        PSID user = made ? reinterpret_cast<TOKEN_USER *>(m_user.data())->User.Sid : nullptr;
        if (made) {
            m_list.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(user));
            const auto list = reinterpret_cast<PACL>(m_list.data());
            made = ::InitializeAcl(list, DWORD(m_list.size()), ACL_REVISION) &&
                   ::AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, user) &&
                   ::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                   ::SetSecurityDescriptorOwner(&m_descriptor, user, FALSE) &&
                   ::SetSecurityDescriptorDacl(&m_descriptor, TRUE, list, FALSE);
        }
        if (!made && reason)
            *reason = systemReason(::GetLastError());
        m_attributes = {sizeof m_attributes, &m_descriptor, FALSE};
        return made;
    }
    SECURITY_ATTRIBUTES *attributes() { return &m_attributes; }

private:
    std::vector<BYTE> m_user, m_list;
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
};

// One connected instance of the pipe, open for overlapped I/O: one read at a time into a chunk
// of its own, taken by read() before the next read starts, so that a program that sends
// faster than its requests are answered waits in the pipe.
class PipeConnection : public ControlConnection
{
public:
    explicit PipeConnection(HANDLE pipe) : m_pipe(pipe), m_chunk(ReadChunk, Qt::Uninitialized)
    {
        m_read.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_done = new QWinEventNotifier(m_read.hEvent, this);
        connect(m_done, &QWinEventNotifier::activated, this, &PipeConnection::readDone);
        startRead();
    }

    ~PipeConnection() override
    {
        delete m_done;
        if (m_reading) {
            DWORD ignored = 0;
            ::CancelIoEx(m_pipe, &m_read);
            ::GetOverlappedResult(m_pipe, &m_read, &ignored, TRUE);
        }
        ::CloseHandle(m_pipe);
        ::CloseHandle(m_read.hEvent);
    }

    qint64 read(char *buffer, qint64 size) override
    {
        const qint64 n = std::min<qint64>(size, m_arrived.size() - m_taken);
        if (n > 0) {
            std::memcpy(buffer, m_arrived.constData() + m_taken, size_t(n));
            m_taken += n;
            if (m_taken == m_arrived.size())
                startRead();
            return n;
        }
        if (m_ended)
            return 0;
        errno = m_failed ? EIO : EAGAIN;
        return -1;
    }

    void setReadNotification(bool enabled) override
    {
        m_notify = enabled;
        if (enabled && somethingToRead())
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_notify && somethingToRead())
                        Q_EMIT readable();
                },
                Qt::QueuedConnection);
    }

    WriteEnd takeWriteEnd() override
    {
        HANDLE own = nullptr;
        if (!::DuplicateHandle(::GetCurrentProcess(), m_pipe, ::GetCurrentProcess(), &own, 0, FALSE,
                               DUPLICATE_SAME_ACCESS))
            return {};
        return WriteEnd::ofHandle(own, true);
    }

    // Into an empty pipe the write completes at once; one that does not is cancelled.
    void sendNow(const QByteArray &line) override
    {
        OVERLAPPED write{};
        write.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD written = 0;
        if (!::WriteFile(m_pipe, line.constData(), DWORD(line.size()), nullptr, &write) &&
            ::GetLastError() == ERROR_IO_PENDING &&
            !::GetOverlappedResult(m_pipe, &write, &written, FALSE))
            ::CancelIoEx(m_pipe, &write);
        ::GetOverlappedResult(m_pipe, &write, &written, TRUE);
        ::CloseHandle(write.hEvent);
    }

private:
    bool somethingToRead() const { return m_taken < m_arrived.size() || m_ended || m_failed; }

    void startRead()
    {
        m_arrived.clear();
        m_taken = 0;
        if (m_reading || m_ended || m_failed)
            return;
        ::ResetEvent(m_read.hEvent);
        if (::ReadFile(m_pipe, m_chunk.data(), DWORD(m_chunk.size()), nullptr, &m_read)) {
            // Bytes were waiting: they are there at once (the event the read set is passed over).
            DWORD n = 0;
            ::GetOverlappedResult(m_pipe, &m_read, &n, FALSE);
            ::ResetEvent(m_read.hEvent);
            return finishRead(0, n);
        }
        if (::GetLastError() != ERROR_IO_PENDING)
            return finishRead(::GetLastError(), 0);
        m_reading = true;
    }

    void readDone()
    {
        if (!m_reading)
            return;
        DWORD n = 0;
        const DWORD error =
            ::GetOverlappedResult(m_pipe, &m_read, &n, FALSE) ? 0 : ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return;
        m_reading = false;
        ::ResetEvent(m_read.hEvent);
        finishRead(error, n);
    }

    // The program's side closed (or went) is the end; anything else a failure.
    void finishRead(DWORD error, DWORD n)
    {
        if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ||
            error == ERROR_NO_DATA)
            m_ended = true;
        else if (error != 0 && error != ERROR_MORE_DATA)
            m_failed = true;
        m_arrived = m_chunk.left(n);
        m_taken = 0;
        if (n == 0 && !m_ended && !m_failed)
            return startRead(); // a write of nothing: read on
        if (m_notify)
            Q_EMIT readable();
    }

    HANDLE m_pipe;
    OVERLAPPED m_read{};
    QWinEventNotifier *m_done = nullptr;
    QByteArray m_chunk;
    QByteArray m_arrived; // the last read's bytes, m_taken of them taken
    qint64 m_taken = 0;
    bool m_reading = false;
    bool m_ended = false;
    bool m_failed = false;
    bool m_notify = false;
};

// The named pipe: one instance waiting for a program at all times, a new one made as each
// connects. The first instance is made as the pipe's first, so that a name another program
// (another PORTWREN) serves is refused rather than shared.
class PipeEndpoint : public ControlEndpoint
{
public:
    explicit PipeEndpoint(const QString &name) : m_path(pipePath(name))
    {
        m_connect.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_connected = new QWinEventNotifier(m_connect.hEvent, this);
        m_connected->setEnabled(false);
        connect(m_connected, &QWinEventNotifier::activated, this, &PipeEndpoint::connected);
    }

    ~PipeEndpoint() override
    {
        delete m_connected;
        dropInstance();
        for (HANDLE pipe : m_ready)
            ::CloseHandle(pipe);
        ::CloseHandle(m_connect.hEvent);
    }

    bool listen(QString *reason) override
    {
        if (m_path.size() > 256 || m_path.size() == 9) {
            if (reason)
                *reason = QStringLiteral("%1: a pipe's name must be 1 to 247 characters long")
                              .arg(m_path);
            return false;
        }
        QString why;
        if (!m_security.make(&why)) {
            if (reason)
                *reason = QStringLiteral("cannot make the security of %1: %2").arg(m_path, why);
            return false;
        }
        // Made as the pipe's first instance, the pipe is ours alone, where the system keeps
        // that promise (Wine 8 does not: a name another server waits on is asked first).
        const bool taken = servedElsewhere();
        if (taken || !makeInstance(true)) {
            const DWORD error = ::GetLastError();
            if (reason)
                *reason = taken || error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY
                              ? QStringLiteral("%1 is a pipe another program serves; it is left "
                                               "as it is")
                                    .arg(m_path)
                              : QStringLiteral("cannot make the pipe %1: %2")
                                    .arg(m_path, systemReason(error));
            return false;
        }
        m_connected->setEnabled(true);
        waitForProgram();
        return true;
    }

    std::unique_ptr<ControlConnection> nextConnection() override
    {
        if (m_ready.empty())
            return nullptr;
        const HANDLE pipe = m_ready.front();
        m_ready.pop_front();
        return std::make_unique<PipeConnection>(pipe);
    }

    QString name() const override { return m_path; }

private:
    // A pipe of the name that waits for a program, or whose instances are all taken.
    bool servedElsewhere() const
    {
        if (::WaitNamedPipeW(reinterpret_cast<LPCWSTR>(m_path.utf16()), 1))
            return true;
        const DWORD error = ::GetLastError();
        return error == ERROR_SEM_TIMEOUT || error == ERROR_PIPE_BUSY;
    }

    bool makeInstance(bool first)
    {
        m_instance = ::CreateNamedPipeW(
            reinterpret_cast<LPCWSTR>(m_path.utf16()),
            PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
            PIPE_UNLIMITED_INSTANCES, PipeBufferBytes, PipeBufferBytes, 0, m_security.attributes());
        return m_instance != INVALID_HANDLE_VALUE;
    }

    void dropInstance()
    {
        if (m_instance == INVALID_HANDLE_VALUE)
            return;
        DWORD ignored = 0;
        ::CancelIoEx(m_instance, &m_connect);
        ::GetOverlappedResult(m_instance, &m_connect, &ignored, TRUE);
        ::CloseHandle(m_instance);
        m_instance = INVALID_HANDLE_VALUE;
    }

    // The instance waits for a program; one that connected before it waited counts at once.
    void waitForProgram()
    {
        ::ResetEvent(m_connect.hEvent);
        m_connectedAtOnce = false;
        if (!::ConnectNamedPipe(m_instance, &m_connect)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_PIPE_CONNECTED) {
                m_connectedAtOnce = true;
                ::SetEvent(m_connect.hEvent);
            } else if (error != ERROR_IO_PENDING) {
                retryLater();
            }
        }
    }

    void connected()
    {
        DWORD ignored = 0;
        if (m_instance == INVALID_HANDLE_VALUE)
            return;
        const bool ok =
            m_connectedAtOnce || ::GetOverlappedResult(m_instance, &m_connect, &ignored, FALSE);
        if (!ok && ::GetLastError() == ERROR_IO_INCOMPLETE)
            return;
        ::ResetEvent(m_connect.hEvent);
        if (ok) {
            m_ready.push_back(std::exchange(m_instance, INVALID_HANDLE_VALUE));
            Q_EMIT pending();
        } else {
            dropInstance(); // a program that went before it was taken
        }
        if (makeInstance(false))
            waitForProgram();
        else
            retryLater();
    }

    // No instance could be made or wait (the system's resources): again after a pause.
    void retryLater()
    {
        dropInstance();
        QTimer::singleShot(RetryMs, this, [this] {
            if (m_instance == INVALID_HANDLE_VALUE && makeInstance(false))
                waitForProgram();
            else if (m_instance == INVALID_HANDLE_VALUE)
                retryLater();
        });
    }

    QString m_path;
    UserOnly m_security;
    HANDLE m_instance = INVALID_HANDLE_VALUE; // waiting for a program
    OVERLAPPED m_connect{};
    bool m_connectedAtOnce = false;
    QWinEventNotifier *m_connected = nullptr;
    std::deque<HANDLE> m_ready; // connected, not yet taken
};

} // namespace

std::unique_ptr<ControlEndpoint> ControlEndpoint::make(const QString &name)
{
    return std::make_unique<PipeEndpoint>(name);
}
