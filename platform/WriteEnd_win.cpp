// SPDX-License-Identifier: MIT
#include "platform/WriteEnd.h"

#include <QWinEventNotifier>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <process.h>
#include <utility>
#include <vector>
#include <windows.h>

namespace
{

// What the writer thread takes at once: whole parts up to this many bytes, or one longer part.
constexpr size_t BatchBytes = 64 << 10;

// A failure as the POSIX error that the callers of a write end look for.
int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
        return EPIPE;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_OPERATION_ABORTED:
        return EINTR;
    default:
        return EIO;
    }
}

DWORD creationOf(int flags)
{
    if ((flags & O_CREAT) && (flags & O_EXCL))
        return CREATE_NEW; // made new, never one that exists
    if (flags & O_CREAT)
        return (flags & O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS;
    return (flags & O_TRUNC) ? TRUNCATE_EXISTING : OPEN_EXISTING;
}

} // namespace

// The handle and, for anything but a disk file, the writer thread's state. Shared by the write
// end and its thread, so that a thread still finishing its batch after close() has what it needs;
// the last of them closes the handle.
struct WriteEnd::Writer {
    enum class Kind { File, Console, Other };

    HANDLE handle = INVALID_HANDLE_VALUE;
    Kind kind = Kind::Other;
    bool overlapped = false;
    bool append = false;
    HANDLE idle = nullptr; // manual reset: set while no batch waits (also after a failure)
    HANDLE work = nullptr; // auto reset: a batch, or the end, for the thread
    HANDLE thread = nullptr;
    OVERLAPPED pending{}; // the thread's write, on an overlapped handle

    std::mutex lock; // guards what follows
    QByteArray batch;
    std::vector<qsizetype> partEnds; // where each part of the batch ends in it
    qint64 partsDone = 0;            // parts of the batch written whole
    qint64 partsLost = 0;            // parts given up (failed, abandoned) not yet counted
    bool batchCounted = false;       // settle() counted the batch's rest already
    DWORD error = 0;                 // the first failure; every later write reports it
    bool ending = false;
    bool abandoned = false;

    Writer(HANDLE h, bool isOverlapped);
    ~Writer();
    static unsigned __stdcall threadMain(void *share);
    DWORD writeBatch(const QByteArray &bytes, const std::vector<qsizetype> &ends);
    DWORD writePart(const char *data, qsizetype size);
    DWORD writeOnce(const char *data, DWORD size, DWORD *written);
    void run();
    void abandon();
};

WriteEnd::Writer::Writer(HANDLE h, bool isOverlapped) : handle(h), overlapped(isOverlapped)
{
    DWORD mode = 0;
    if (!isOverlapped && ::GetFileType(h) == FILE_TYPE_DISK)
        kind = Kind::File;
    else if (::GetConsoleMode(h, &mode))
        kind = Kind::Console;
    idle = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    work = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    pending.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WriteEnd::Writer::~Writer()
{
    ::CloseHandle(handle);
    for (HANDLE h : {idle, work, pending.hEvent, thread})
        if (h)
            ::CloseHandle(h);
}

DWORD WriteEnd::Writer::writeOnce(const char *data, DWORD size, DWORD *written)
{
    if (!overlapped)
        return ::WriteFile(handle, data, size, written, nullptr) ? 0 : ::GetLastError();
    ::ResetEvent(pending.hEvent);
    pending.Offset = pending.OffsetHigh = 0;
    if (!::WriteFile(handle, data, size, nullptr, &pending) && ::GetLastError() != ERROR_IO_PENDING)
        return ::GetLastError();
    return ::GetOverlappedResult(handle, &pending, written, TRUE) ? 0 : ::GetLastError();
}

// Writes the batch a part at a time, counting the parts written whole, so that the count of
// those not written is exact; a part is one write, so that a pipe's reader gets it whole unless
// the write is abandoned.
DWORD WriteEnd::Writer::writeBatch(const QByteArray &bytes, const std::vector<qsizetype> &ends)
{
    qsizetype start = 0;
    for (const qsizetype end : ends) {
        {
            const std::lock_guard guard(lock);
            if (abandoned)
                return ERROR_OPERATION_ABORTED;
        }
        if (const DWORD error = writePart(bytes.constData() + start, end - start))
            return error;
        start = end;
        const std::lock_guard guard(lock);
        ++partsDone;
    }
    return 0;
}

// A console gets the part's UTF-8 (whole lines) as its own characters, which no code page of
// the console can garble; anything else its bytes.
DWORD WriteEnd::Writer::writePart(const char *data, qsizetype size)
{
    if (kind == Kind::Console) {
        const QString text = QString::fromUtf8(data, size);
        qsizetype done = 0;
        while (done < text.size()) {
            DWORD written = 0;
            if (!::WriteConsoleW(handle, text.utf16() + done, DWORD(text.size() - done), &written,
                                 nullptr))
                return ::GetLastError();
            done += written;
        }
        return 0;
    }
    if (append) {
        LARGE_INTEGER none{};
        ::SetFilePointerEx(handle, none, nullptr, FILE_END);
    }
    qsizetype done = 0;
    while (done < size) {
        DWORD written = 0;
        const DWORD part = DWORD(std::min<qsizetype>(size - done, 1 << 30));
        if (const DWORD error = writeOnce(data + done, part, &written))
            return error;
        done += written;
    }
    return 0;
}

// The writer thread: one batch at a time, until the end; a batch waiting at the end is still
// written (as the system writes what was written to a descriptor before its close).
void WriteEnd::Writer::run()
{
    for (;;) {
        ::WaitForSingleObject(work, INFINITE);
        QByteArray bytes;
        std::vector<qsizetype> ends;
        bool end = false;
        {
            const std::lock_guard guard(lock);
            bytes = batch;
            ends = partEnds;
            end = ending;
        }
        if (!bytes.isEmpty()) {
            const DWORD failure = writeBatch(bytes, ends);
            const std::lock_guard guard(lock);
            if (!batchCounted)
                partsLost += qint64(partEnds.size()) - partsDone;
            batch.clear();
            partEnds.clear();
            partsDone = 0;
            batchCounted = false;
            if (failure && !error)
                error = failure;
            ::SetEvent(idle);
        }
        if (end)
            return;
    }
}

void WriteEnd::Writer::abandon()
{
    {
        const std::lock_guard guard(lock);
        abandoned = true;
    }
    if (overlapped)
        ::CancelIoEx(handle, &pending);
    else if (thread)
        ::CancelSynchronousIo(thread);
}

// The thread holds its own share of the state (made by ofHandle()), let go when it ends.
unsigned __stdcall WriteEnd::Writer::threadMain(void *share)
{
    const std::unique_ptr<std::shared_ptr<Writer>> self(
        static_cast<std::shared_ptr<Writer> *>(share));
    (*self)->run();
    return 0;
}

WriteEnd::WriteEnd() = default;

WriteEnd::WriteEnd(std::shared_ptr<Writer> writer) : m_writer(std::move(writer)) {}

WriteEnd::~WriteEnd()
{
    close();
}

WriteEnd::WriteEnd(WriteEnd &&other) noexcept = default;

WriteEnd &WriteEnd::operator=(WriteEnd &&other) noexcept
{
    if (this != &other) {
        close();
        m_writer = std::move(other.m_writer);
    }
    return *this;
}

WriteEnd WriteEnd::ofHandle(void *handle, bool overlapped)
{
    auto writer = std::make_shared<Writer>(HANDLE(handle), overlapped);
    if (writer->kind == Writer::Kind::File)
        return WriteEnd(std::move(writer));
    auto *share = new std::shared_ptr<Writer>(writer);
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, Writer::threadMain, share, 0, nullptr);
    if (!thread) {
        delete share;
        return {};
    }
    writer->thread = HANDLE(thread);
    return WriteEnd(std::move(writer));
}

WriteEnd WriteEnd::openPath(const QString &path, int flags, QString *reason)
{
    const std::wstring name = path.toStdWString();
    const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, creationOf(flags), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (reason)
            *reason = error == ERROR_PIPE_BUSY ||
                              (error == ERROR_FILE_NOT_FOUND &&
                               path.startsWith(QLatin1String("\\\\.\\pipe\\"), Qt::CaseInsensitive))
                          ? QStringLiteral("no program has the pipe open for reading")
                          : qt_error_string(int(error));
        return {};
    }
    WriteEnd end = ofHandle(handle, false);
    if (end.isValid())
        end.m_writer->append = (flags & O_APPEND) != 0;
    else if (reason)
        *reason = QStringLiteral("cannot start its writer");
    return end;
}

WriteEnd WriteEnd::reopen(int fd, QString *reason)
{
    const auto inherited = HANDLE(::_get_osfhandle(fd));
    HANDLE own = nullptr;
    if (inherited == INVALID_HANDLE_VALUE || inherited == nullptr ||
        !::DuplicateHandle(::GetCurrentProcess(), inherited, ::GetCurrentProcess(), &own, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        if (reason)
            *reason = inherited == INVALID_HANDLE_VALUE || inherited == nullptr
                          ? QStringLiteral("it is not open")
                          : qt_error_string(int(::GetLastError()));
        return {};
    }
    WriteEnd end = ofHandle(own, false);
    if (!end.isValid() && reason)
        *reason = QStringLiteral("cannot start its writer");
    return end;
}

bool WriteEnd::isValid() const
{
    return m_writer != nullptr;
}

bool WriteEnd::awaitsEmptyPipe() const
{
    return false;
}

// The thread finishes a batch it has on its own, then ends and lets the handle go.
void WriteEnd::close()
{
    if (!m_writer)
        return;
    if (m_writer->thread) {
        const std::lock_guard guard(m_writer->lock);
        m_writer->ending = true;
        ::SetEvent(m_writer->work);
    }
    m_writer.reset();
}

ssize_t WriteEnd::writeSome(const iovec *parts, int count) const
{
    if (!m_writer || count <= 0) {
        errno = EBADF;
        return -1;
    }
    Writer &w = *m_writer;
    if (w.kind == Writer::Kind::File) {
        // A disk file takes everything now; the parts go in one write.
        QByteArray bytes;
        for (int i = 0; i < count; ++i)
            bytes.append(static_cast<const char *>(parts[i].iov_base), qsizetype(parts[i].iov_len));
        if (w.append) {
            LARGE_INTEGER none{};
            ::SetFilePointerEx(w.handle, none, nullptr, FILE_END);
        }
        DWORD written = 0;
        if (!::WriteFile(w.handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr)) {
            errno = errnoOf(::GetLastError());
            return -1;
        }
        return ssize_t(written);
    }
    const std::lock_guard guard(w.lock);
    if (w.error) {
        errno = errnoOf(w.error);
        return -1;
    }
    if (!w.batch.isEmpty()) {
        errno = EAGAIN;
        return -1;
    }
    for (int taken = 0; taken < count; ++taken) {
        if (taken > 0 && size_t(w.batch.size()) + parts[taken].iov_len > BatchBytes)
            break;
        w.batch.append(static_cast<const char *>(parts[taken].iov_base),
                       qsizetype(parts[taken].iov_len));
        w.partEnds.push_back(w.batch.size());
    }
    ::ResetEvent(w.idle);
    ::SetEvent(w.work);
    return ssize_t(w.batch.size());
}

ssize_t WriteEnd::writeSome(const char *data, size_t size) const
{
    const iovec part{const_cast<char *>(data), size};
    return writeSome(&part, 1);
}

ssize_t WriteEnd::writeLines(const iovec *parts, int count)
{
    return writeSome(parts, count);
}

bool WriteEnd::waitWritable(int timeoutMs) const
{
    if (!m_writer)
        return false;
    return ::WaitForSingleObject(m_writer->idle, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs)) ==
           WAIT_OBJECT_0;
}

qsizetype WriteEnd::bytesInFlight() const
{
    if (!m_writer || !m_writer->thread)
        return 0;
    const std::lock_guard guard(m_writer->lock);
    const Writer &w = *m_writer;
    return w.batch.isEmpty()
               ? 0
               : w.batch.size() - (w.partsDone > 0 ? w.partEnds[size_t(w.partsDone - 1)] : 0);
}

qint64 WriteEnd::settle(QDeadlineTimer deadline)
{
    if (!m_writer || !m_writer->thread)
        return 0;
    Writer &w = *m_writer;
    const qint64 left = deadline.remainingTime();
    if (::WaitForSingleObject(w.idle, left < 0 ? INFINITE : DWORD(left)) != WAIT_OBJECT_0)
        w.abandon();
    const std::lock_guard guard(w.lock);
    qint64 notTaken = std::exchange(w.partsLost, 0);
    if (!w.batch.isEmpty() && !w.batchCounted) {
        notTaken += qint64(w.partEnds.size()) - w.partsDone;
        w.batchCounted = true;
    }
    return notTaken;
}

RoomWatch::RoomWatch(const WriteEnd &end, std::function<void()> onRoom, QObject *parent)
    : QObject(parent)
{
    auto *notifier = new QWinEventNotifier(end.m_writer->idle, this);
    notifier->setEnabled(false);
    connect(notifier, &QWinEventNotifier::activated, this,
            [onRoom = std::move(onRoom)] { onRoom(); });
    m_notifier = notifier;
}

void RoomWatch::setEnabled(bool enabled)
{
    static_cast<QWinEventNotifier *>(m_notifier)->setEnabled(enabled);
}
