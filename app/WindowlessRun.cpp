// SPDX-License-Identifier: MIT
#include "app/WindowlessRun.h"

#include "app/StandardStreams.h"
#include "control/ControlServer.h"
#include "control/EventJson.h"
#include "platform/Clock.h"
#include "platform/FileTarget.h"
#include "platform/OutputQueue.h"
#include "platform/ParentWatch.h"
#include "registers/RegisterFile.h"
#include "session/LineSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <fcntl.h>
#include <unistd.h>

namespace
{
// What the log holds for a reader that falls behind, and how long its queued lines have at
// the end; standard error has the rest of the end's 100 ms.
constexpr qsizetype LogQueueBytes = 1 << 20;
constexpr int LogEndMs = 60;
} // namespace

WindowlessRun::WindowlessRun(LineSession &session, StartOptions options, QObject *parent)
    : QObject(parent), m_session(session), m_options(std::move(options))
{
    if (m_options.logFormat == StartOptions::LogFormat::JsonLines) {
        m_eventFeed = std::make_unique<EventFeed>(session);
        connect(m_eventFeed.get(), &EventFeed::eventLine, this,
                [this](const QByteArray &json) { writeLogLine(json + '\n'); });
    } else {
        m_sessionLog = std::make_unique<SessionLog>(session, LogEscaping::ControlCharacters);
        m_sessionLog->setStampPrecision(m_options.stamps.value_or(StampPrecision::Seconds));
        connect(m_sessionLog.get(), &SessionLog::lineLogged, this,
                [this](const LogLine &line) { writeLogLine((line.joined() + '\n').toUtf8()); });
    }
    connect(&m_session, &LineSession::noted, this, [this](const Note &note) {
        if (note.source == NoteSource::Port)
            m_lastPortNote = note.text.trimmed(), m_portNoteFresh = true;
    });
    connect(&m_session, &LineSession::portLost, this, [this] {
        printNote(m_lastPortNote);
        m_portNoteFresh = false;
        if (!m_session.reconnects())
            finish(1);
    });
    // With --reconnect, the wait for a lost port and its end are said on standard error too.
    connect(&m_session, &LineSession::waitingForChanged, this, [this] {
        if (std::exchange(m_portNoteFresh, false))
            printNote(m_lastPortNote);
    });
    // A handshake status goes to standard error: standard output carries only the traffic log.
    connect(&m_session, &LineSession::handshakeStatusChanged, this,
            [](const QString &status) { printNote(QStringLiteral("handshake: ") + status); });
}

WindowlessRun::~WindowlessRun() = default;

// A close or a refused open from a control program later leaves the run going; only the open
// at start ends it when it fails.
void WindowlessRun::start()
{
    if (!watchParent() || !openLog() || !listenForControl())
        return finish(1);
    if (!m_session.open()) {
        printNote(m_lastPortNote);
        return finish(1);
    }
    m_session.setHandshakeTicking(TickPlayer::Automatic, m_options.autoHandshake);
    printNote(QStringLiteral("ready"));
}

// The parent is watched from the start, so that a test killed while the run starts ends it too.
bool WindowlessRun::watchParent()
{
    if (!m_options.endWithParent)
        return true;
    m_parentWatch = std::make_unique<ParentWatch>();
    connect(m_parentWatch.get(), &ParentWatch::ended, this, [this] {
        printNote(QStringLiteral("the process that started the run has ended"));
        finish(0);
    });
    QString reason;
    if (m_parentWatch->start(&reason))
        return true;
    printNote(QStringLiteral("--end-with-parent: ") + reason);
    return false;
}

bool WindowlessRun::listenForControl()
{
    if (m_options.controlPath.isEmpty())
        return true;
    m_control = std::make_unique<ControlServer>(m_session);
    QString reason;
    if (m_control->listen(m_options.controlPath, &reason))
        return true;
    printNote(QStringLiteral("--control: ") + reason);
    return false;
}

// The log's output: standard output, or the --log file appended to. Neither is ever waited
// for: a --log FIFO without a reader is refused at once.
bool WindowlessRun::openLog()
{
    QString reason;
    WriteEnd end = m_options.logFile.isEmpty()
                       ? WriteEnd::reopen(STDOUT_FILENO, &reason)
                       : WriteEnd::openPath(m_options.logFile, O_APPEND | O_CREAT, &reason);
    if (!end.isValid()) {
        printNote(
            QStringLiteral("cannot open the log %1: %2")
                .arg(m_options.logFile.isEmpty() ? QStringLiteral("output") : m_options.logFile,
                     reason));
        return false;
    }
    m_log = std::make_unique<OutputQueue>(std::move(end), LogQueueBytes,
                                          OutputQueue::Overflow::DropLines);
    m_log->setDroppedLinesText([this](qint64 count) { return droppedLinesLine(count); });
    connect(m_log.get(), &OutputQueue::failed, this, [this](const QString &why) {
        printNote(QStringLiteral("cannot write the traffic log: ") + why);
        finish(1);
    });
    return true;
}

// The line for the lines its reader missed: a log line stamped as every log line is, or a note
// event whose source is "output".
QByteArray WindowlessRun::droppedLinesLine(qint64 count)
{
    const QString text =
        QStringLiteral("  <<%1 lines not written: the reader fell behind>>").arg(count);
    if (m_eventFeed) {
        const QJsonObject note{{"event", "note"},
                               {"time", isoTime(m_session.nowUs())},
                               {"text", text},
                               {"source", "output"}};
        return QJsonDocument(note).toJson(QJsonDocument::Compact) + '\n';
    }
    return (LogStamp(m_sessionLog->stampPrecision()).of(m_session.nowUs()) + text +
            QLatin1Char('\n'))
        .toUtf8();
}

// Lines still queued get a short time to go out; how many did not is said on standard error.
void WindowlessRun::closeLog()
{
    if (!m_log)
        return;
    if (const qint64 unwritten = m_log->drain(QDeadlineTimer(LogEndMs)))
        printNote(QStringLiteral("%1 lines of the traffic log were not written: its reader did "
                                 "not take them")
                      .arg(unwritten));
}

void WindowlessRun::writeLogLine(const QByteArray &line)
{
    if (m_finished || !m_log)
        return;
    m_log->append(line);
}

void WindowlessRun::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_session.end();
    m_control.reset();
    if (!m_options.registerDump.isEmpty() && !dumpRegisters() && status == 0)
        status = 1;
    closeLog();
    removeTemporaryFolder();
    Q_EMIT finished(status);
}

// Only what the run made goes: the link, the socket and their locks are already gone, the log
// goes when it is a regular file in the folder, and the folder only once it is empty, so that
// nothing a user put there is ever removed.
void WindowlessRun::removeTemporaryFolder()
{
    if (m_options.temporaryFolder.isEmpty())
        return;
    const QFileInfo folder(m_options.temporaryFolder);
    const QFileInfo log(m_options.logFile);
    m_log.reset();
    if (!m_options.logFile.isEmpty() && log.isFile() && !log.isSymLink() &&
        log.absolutePath() == folder.absoluteFilePath())
        QFile::remove(log.absoluteFilePath());
    if (!folder.isDir() || folder.isSymLink() || QDir().rmdir(folder.absoluteFilePath()))
        return;
    printNote(QStringLiteral("--temporary-folder: %1 is not empty; it is left as it is")
                  .arg(folder.absoluteFilePath()));
}

// One line per register, "D0000 0001" to "D0127 ...": the register's name as the data window
// shows it, a space, the word as stored. A device or a FIFO named is written in place.
bool WindowlessRun::dumpRegisters()
{
    QString error;
    const QByteArray dump = registerFileText(m_session.registers());
    if (writeToPath(
            m_options.registerDump,
            [&dump](QIODevice &file) { return file.write(dump) == dump.size(); }, &error))
        return true;
    printNote(QStringLiteral("cannot write the register dump ") + error);
    return false;
}
