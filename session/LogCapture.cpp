// SPDX-License-Identifier: MIT
#include "session/LogCapture.h"

#include "session/LineSession.h"

LogCapture::LogCapture(LineSession &session, qint64 fileLimit, QObject *parent)
    : QObject(parent), m_session(session), m_file(fileLimit)
{
    m_file.setDroppedLinesText([this](qint64 count) {
        return (m_stamp.of(m_session.nowUs()) +
                QStringLiteral("  <<%1 lines not written: the file fell behind>>\n").arg(count))
            .toUtf8();
    });
    connect(&m_file, &CaptureFile::failed, this, &LogCapture::ended);
    connect(&m_file, &CaptureFile::nextFile, this, &LogCapture::changed);
}

bool LogCapture::start(const QString &path)
{
    stop();
    QString reason;
    if (!m_file.start(path, &reason)) {
        m_session.note(NoteSource::Operator,
                       QStringLiteral("  <<cannot log to file: %1>>").arg(reason));
        return false;
    }
    m_session.note(NoteSource::Operator, QStringLiteral("  <<logging to %1>>").arg(path));
    Q_EMIT changed();
    return true;
}

void LogCapture::stop()
{
    if (!isActive())
        return;
    const qint64 unwritten = m_file.stop();
    ended(unwritten > 0 ? QStringLiteral("%1: %2 lines not written").arg(path()).arg(unwritten)
                        : QString());
}

void LogCapture::ended(const QString &why)
{
    m_session.note(NoteSource::Operator,
                   why.isEmpty() ? QStringLiteral("  <<logging to %1 ended>>").arg(m_file.path())
                                 : QStringLiteral("  <<logging ended: %1>>").arg(why));
    Q_EMIT changed();
}

// The rows the window makes of the line: a CR LF, CR or LF inside it starts a new one.
void LogCapture::add(const LogLine &line)
{
    if (!isActive())
        return;
    QString rows = line.joined();
    rows.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_file.append(rows.toUtf8() + '\n');
}
