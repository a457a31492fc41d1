// SPDX-License-Identifier: MIT
#pragma once

#include "platform/PathKind.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class OutputQueue;

// Lines captured to a file while the program runs. The path is opened as the run without
// windows opens its --log: appended to, made when it is new, never renamed or replaced; a device
// or a FIFO is written in place, and a FIFO that no program reads is refused at once. Lines go
// out through an OutputQueue of QueueBytes, so a target that stops taking bytes never holds the
// program up: past the bound whole lines are dropped and a line says how many.
//
// A regular file that would grow past the file limit is closed, and the lines go on in a
// numbered next file beside it, "capture.1.log", "capture.2.log" (a number whose file does not
// exist yet; made new, so no other file is ever appended to). A write that fails (a full disk, a
// reader gone) or a file removed or replaced at its path (looked at before each line) ends the
// capture.
class CaptureFile : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultFileLimit = 64 * 1024 * 1024;
    static constexpr qsizetype QueueBytes = 1024 * 1024;

    explicit CaptureFile(qint64 fileLimit = DefaultFileLimit, QObject *parent = nullptr);
    ~CaptureFile() override;

    // The line (ended) that tells how many lines were dropped (OutputQueue).
    void setDroppedLinesText(std::function<QByteArray(qint64 count)> text);
    // Starts appending to path; a capture running ends first. False with *reason ("PATH: why")
    // when it cannot be opened.
    bool start(const QString &path, QString *reason);
    // Appends one whole line, ended by the caller. Never waits.
    void append(const QByteArray &line);
    // Ends the capture. Lines still queued are written only as far as the target takes them now
    // (a file takes them all); returns how many were not.
    qint64 stop();
    bool isActive() const { return bool(m_queue); }
    // The file written now, or last.
    const QString &path() const { return m_path; }
    // The name of the next file after path: "capture.log" and 2 give "capture.2.log".
    static QString numbered(const QString &path, int number);

Q_SIGNALS:
    // The capture ended by itself; raised from the event loop.
    void failed(const QString &reason);
    // The file reached the limit: the lines now go to path.
    void nextFile(const QString &path);

private:
    bool open(const QString &path, int flags, QString *reason);
    bool stillAtPath() const;
    void nextNumberedFile();
    void fail(const QString &reason);
    qint64 closeQueue();

    qint64 m_fileLimit;
    std::unique_ptr<OutputQueue> m_queue;
    std::function<QByteArray(qint64)> m_droppedText;
    QString m_firstPath, m_path;
    int m_number = 0;
    FileIdentity m_file; // the file written now; its size as written so far
};
