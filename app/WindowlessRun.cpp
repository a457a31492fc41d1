// SPDX-License-Identifier: MIT
#include "app/WindowlessRun.h"

#include "app/StandardStreams.h"
#include "platform/Clock.h"
#include "platform/FileTarget.h"
#include "platform/OutputQueue.h"
#include "registers/RegisterMemory.h"
#include "session/LineSession.h"

#include <QFile>
#include <fcntl.h>
#include <unistd.h>

namespace
{
constexpr int HandshakeTickMs = 1000;
// "[HH:mm:ss]" in front of every log line.
constexpr int StampLength = 10;
// What the log holds for a reader that falls behind, and how long its queued lines have at
// the end; standard error has the rest of the end's 100 ms.
constexpr qsizetype LogQueueBytes = 1 << 20;
constexpr int LogEndMs = 60;

// The log's line for the lines its reader missed, stamped as every log line is.
QByteArray droppedLinesLine(qint64 count)
{
    return (QLatin1Char('[') + SystemClock().timeOfDay() +
            QStringLiteral("]  <<%1 lines not written: the reader fell behind>>\n").arg(count))
        .toUtf8();
}
} // namespace

WindowlessRun::WindowlessRun(LineSession &session, StartOptions options, QObject *parent)
    : QObject(parent), m_session(session), m_options(std::move(options))
{
    m_handshakeTick.setInterval(HandshakeTickMs);
    connect(&m_handshakeTick, &QTimer::timeout, this, &WindowlessRun::tickHandshake);
    connect(&m_session, &LineSession::lineLogged, this, &WindowlessRun::writeLogLine);
    connect(&m_session, &LineSession::connectionChanged, this, &WindowlessRun::onConnectionChanged);
}

WindowlessRun::~WindowlessRun() = default;

void WindowlessRun::start()
{
    if (!openLog())
        return finish(1);
    if (!m_session.open()) {
        printNote(m_lastNote);
        return finish(1);
    }
    if (m_options.autoHandshake)
        m_handshakeTick.start();
}

// The log's output: standard output, or the --log file appended to. Neither is ever waited
// for: a --log FIFO without a reader is refused at once.
bool WindowlessRun::openLog()
{
    QString reason;
    WriteEnd end =
        m_options.logFile.isEmpty()
            ? WriteEnd::reopen(STDOUT_FILENO, &reason)
            : WriteEnd::openPath(QFile::encodeName(m_options.logFile), O_APPEND | O_CREAT, &reason);
    if (!end.isValid()) {
        printNote(
            QStringLiteral("cannot open the log %1: %2")
                .arg(m_options.logFile.isEmpty() ? QStringLiteral("output") : m_options.logFile,
                     reason));
        return false;
    }
    m_log = std::make_unique<OutputQueue>(std::move(end), LogQueueBytes,
                                          OutputQueue::Overflow::DropLines);
    m_log->setDroppedLinesText(droppedLinesLine);
    connect(m_log.get(), &OutputQueue::failed, this, [this](const QString &why) {
        printNote(QStringLiteral("cannot write the traffic log: ") + why);
        finish(1);
    });
    return true;
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

void WindowlessRun::writeLogLine(const QString &line)
{
    if (line.mid(StampLength).startsWith(QLatin1String("  <<")))
        m_lastNote = line.mid(StampLength).trimmed();
    if (m_finished || !m_log)
        return;
    m_log->append((line + QLatin1Char('\n')).toUtf8());
}

// The session closes the port by itself only when the port is lost: that ends the run.
void WindowlessRun::onConnectionChanged(bool open)
{
    if (open || m_finished)
        return;
    printNote(m_lastNote);
    finish(1);
}

// The data window's tick without the window: one handshake step; a new status goes to
// standard error, since standard output carries only the traffic log.
void WindowlessRun::tickHandshake()
{
    if (const std::optional<QString> status = m_session.stepHandshake())
        printNote(QStringLiteral("handshake: ") + *status);
}

void WindowlessRun::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_handshakeTick.stop();
    m_session.end();
    if (!m_options.registerDump.isEmpty() && !dumpRegisters() && status == 0)
        status = 1;
    closeLog();
    Q_EMIT finished(status);
}

// One line per register, "D0000 0001" to "D0127 ...": the register's name as the data window
// shows it, a space, the word as stored. A device or a FIFO named is written in place.
bool WindowlessRun::dumpRegisters()
{
    QByteArray dump;
    const RegisterMemory &registers = m_session.registers();
    for (int n = 0; n < RegisterMemory::Count; ++n)
        dump += QStringLiteral("D%1 %2\n")
                    .arg(n, 4, 10, QLatin1Char('0'))
                    .arg(registers.word(n))
                    .toUtf8();
    QString error;
    if (writeToPath(
            m_options.registerDump,
            [&dump](QIODevice &file) { return file.write(dump) == dump.size(); }, &error))
        return true;
    printNote(QStringLiteral("cannot write the register dump ") + error);
    return false;
}
