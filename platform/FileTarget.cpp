// SPDX-License-Identifier: MIT
#include "platform/FileTarget.h"

#include "platform/FileOwner.h"
#include "platform/PathKind.h"
#include "platform/WriteEnd.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace
{

bool fail(QString *error, const QString &path, const QString &reason)
{
    if (error)
        *error = path + QStringLiteral(": ") + reason;
    return false;
}

// A target written in place. A write waits for the reader to make room only while the
// budget of waiting lasts, so a reader that stops cannot hold the program for longer.
class InPlaceDevice : public QIODevice
{
public:
    InPlaceDevice(WriteEnd end, int stallMs)
        : m_end(std::move(end)), m_stallMs(stallMs), m_waitLeftMs(stallMs)
    {
    }
    bool isSequential() const override { return true; }
    // True when everything written has reached the target, within what is left of the budget
    // (a writer thread may still hold the last of it: Windows).
    bool settled()
    {
        if (!m_failed && m_end.settle(QDeadlineTimer(m_waitLeftMs)) > 0)
            giveUp(stalled());
        return !m_failed;
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size && !m_failed) {
            const ssize_t n = m_end.writeSome(data + done, size_t(size - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                giveUp(QString::fromLocal8Bit(std::strerror(errno)));
            else if (!waitForRoom())
                giveUp(stalled());
        }
        return m_failed ? -1 : done;
    }

private:
    QString stalled() const
    {
        return QStringLiteral("it stopped taking bytes (%1 ms of waiting in all); the rest was "
                              "not written")
            .arg(m_stallMs);
    }
    bool waitForRoom()
    {
        QElapsedTimer waited;
        waited.start();
        const bool room = m_end.waitWritable(int(m_waitLeftMs));
        m_waitLeftMs = std::max<qint64>(m_waitLeftMs - waited.elapsed(), 0);
        return room;
    }
    void giveUp(const QString &reason)
    {
        m_failed = true;
        setErrorString(reason);
    }

    WriteEnd m_end;
    int m_stallMs;
    qint64 m_waitLeftMs;
    bool m_failed = false;
};

bool writeInPlace(const QString &path, const std::function<bool(QIODevice &)> &contents,
                  QString *error, int stallMs, int flags = 0)
{
    QString reason;
    WriteEnd end = WriteEnd::openPath(path, flags, &reason);
    if (!end.isValid())
        return fail(error, path, reason + QStringLiteral("; nothing was written"));
    InPlaceDevice device(std::move(end), stallMs);
    device.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (contents(device) && device.settled())
        return true;
    return fail(error, path, device.errorString());
}

enum class Replaced { Written, Failed, OwnerNotKept };

// QSaveFile follows a symbolic link and replaces the file it leads to, keeping the link. The
// new file gets the old one's owner, group and mode before anything is written to it.
Replaced writeSafely(const QString &path, const std::function<bool(QIODevice &)> &contents,
                     bool replacing, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(error, path, file.errorString());
        return Replaced::Failed;
    }
    if (replacing && !keepOwnerAndMode(path, file.handle(), nullptr))
        return Replaced::OwnerNotKept; // the new file goes with `file`
    if (contents(file) && file.commit())
        return Replaced::Written;
    fail(error, path, file.errorString());
    return Replaced::Failed;
}

// A regular file whose owner, group or mode the new file cannot be given is written in place,
// cut to what is written, and so never changes hands.
bool replaceRegularFile(const QString &path, const std::function<bool(QIODevice &)> &contents,
                        QString *error, int stallMs)
{
    switch (writeSafely(path, contents, true, error)) {
    case Replaced::Written:
        return true;
    case Replaced::Failed:
        return false;
    case Replaced::OwnerNotKept:
        break;
    }
    return writeInPlace(path, contents, error, stallMs, O_TRUNC);
}

} // namespace

bool writeToPath(const QString &path, const std::function<bool(QIODevice &)> &contents,
                 QString *error, int stallMs)
{
    QString reason;
    const std::optional<PathKind> kind = pathKind(path, &reason);
    if (!kind)
        return fail(error, path, reason);
    switch (*kind) {
    case PathKind::Missing: // a new path, or a link to one
        return writeSafely(path, contents, false, error) == Replaced::Written;
    case PathKind::RegularFile:
        return replaceRegularFile(path, contents, error, stallMs);
    case PathKind::Directory:
        return fail(error, path, QStringLiteral("it is a directory"));
    case PathKind::Socket:
        return fail(error, path, QStringLiteral("it is a socket, not a file"));
    case PathKind::Other:
        break;
    }
    return writeInPlace(path, contents, error, stallMs);
}
