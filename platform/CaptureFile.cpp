// SPDX-License-Identifier: MIT
#include "platform/CaptureFile.h"

#include "platform/OutputQueue.h"
#include "platform/PathKind.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

CaptureFile::CaptureFile(qint64 fileLimit, QObject *parent)
    : QObject(parent), m_fileLimit(fileLimit)
{
}

CaptureFile::~CaptureFile() = default;

void CaptureFile::setDroppedLinesText(std::function<QByteArray(qint64)> text)
{
    m_droppedText = std::move(text);
    if (m_queue && m_droppedText)
        m_queue->setDroppedLinesText(m_droppedText);
}

bool CaptureFile::start(const QString &path, QString *reason)
{
    stop();
    m_firstPath = path;
    m_number = 0;
    return open(path, O_APPEND | O_CREAT, reason);
}

bool CaptureFile::open(const QString &path, int flags, QString *reason)
{
    QString why;
    WriteEnd end = WriteEnd::openPath(path, flags, &why);
    const std::optional<FileIdentity> file = end.isValid() ? fileIdentity(path) : std::nullopt;
    if (!file) {
        if (reason)
            *reason = path + QStringLiteral(": ") +
                      (end.isValid() ? QStringLiteral("removed as it was opened") : why);
        return false;
    }
    m_path = path;
    m_file = *file;
    m_queue =
        std::make_unique<OutputQueue>(std::move(end), QueueBytes, OutputQueue::Overflow::DropLines);
    if (m_droppedText)
        m_queue->setDroppedLinesText(m_droppedText);
    connect(m_queue.get(), &OutputQueue::failed, this, [this](const QString &why) {
        stop();
        Q_EMIT failed(m_path + QStringLiteral(": ") + why);
    });
    return true;
}

void CaptureFile::append(const QByteArray &line)
{
    if (!m_queue)
        return;
    if (m_file.regular && !stillAtPath())
        return fail(QStringLiteral("the file was removed or replaced"));
    if (m_file.regular && m_file.size > 0 && m_file.size + line.size() > m_fileLimit)
        nextNumberedFile();
    if (m_queue && m_queue->append(line))
        m_file.size += line.size();
}

// The file written is still the one at its path: not removed, renamed or replaced.
bool CaptureFile::stillAtPath() const
{
    const std::optional<FileIdentity> now = fileIdentity(m_path);
    return now && now->sameFile(m_file);
}

// A file of its own, made new: a numbered file that exists already is passed over.
void CaptureFile::nextNumberedFile()
{
    closeQueue();
    QString reason;
    for (;;) {
        const QString next = numbered(m_firstPath, ++m_number);
        if (open(next, O_CREAT | O_EXCL, &reason))
            return Q_EMIT nextFile(next);
        if (QFileInfo(next).exists() || QFileInfo(next).isSymLink())
            continue;
        return fail(reason);
    }
}

QString CaptureFile::numbered(const QString &path, int number)
{
    const QFileInfo file(path);
    const QString suffix = file.suffix();
    const QString base = suffix.isEmpty() ? path : path.chopped(suffix.size() + 1);
    return base + QStringLiteral(".%1").arg(number) +
           (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

void CaptureFile::fail(const QString &reason)
{
    stop();
    const QString text = m_path + QStringLiteral(": ") + reason;
    QMetaObject::invokeMethod(
        this, [this, text] { Q_EMIT failed(text); }, Qt::QueuedConnection);
}

qint64 CaptureFile::stop()
{
    return m_queue ? closeQueue() : 0;
}

// The queue goes once control has left it: this may run inside its own signal.
qint64 CaptureFile::closeQueue()
{
    const qint64 unwritten = m_queue->drain(QDeadlineTimer(0));
    OutputQueue *queue = m_queue.release();
    queue->disconnect(this);
    queue->setParent(this);
    queue->deleteLater();
    return unwritten;
}
