// SPDX-License-Identifier: MIT
#pragma once

#include "platform/CaptureFile.h"
#include "session/LogFormat.h"

#include <QObject>

class LineSession;

// "Log to file…": the traffic log's rows, from the start on, appended oldest first to a file
// (CaptureFile: never waiting on it, a numbered next file past 64 MiB). Each row is written as
// the window shows it, its stamp and text, a line that holds line ends making several rows.
// The start is a note in the log (so the file's first row), and so is the end, and a failure
// that ends it, with why.
class LogCapture : public QObject
{
    Q_OBJECT
public:
    explicit LogCapture(LineSession &session, qint64 fileLimit = CaptureFile::DefaultFileLimit,
                        QObject *parent = nullptr);

    // Starts capturing to path (a capture running ends first); a path that cannot be written
    // is noted and returns false.
    bool start(const QString &path);
    void stop();
    bool isActive() const { return m_file.isActive(); }
    // The file written now (a numbered next one past the limit), or last.
    QString path() const { return m_file.path(); }
    // A line of the log, as the window's log gets it.
    void add(const LogLine &line);

Q_SIGNALS:
    // Started, ended, or gone on in the next file.
    void changed();

private:
    void ended(const QString &why);

    LineSession &m_session;
    CaptureFile m_file;
    LogStamp m_stamp;
};
