// SPDX-License-Identifier: MIT
#include "app/WindowlessRun.h"

#include "registers/RegisterMemory.h"
#include "session/LineSession.h"

#include <QSaveFile>
#include <cstdio>

void printNote(const QString &text)
{
    std::fputs((QStringLiteral("portwren: ") + text + QLatin1Char('\n')).toUtf8().constData(),
               stderr);
    std::fflush(stderr);
}

WindowlessRun::WindowlessRun(LineSession &session, StartOptions options, QObject *parent)
    : QObject(parent), m_session(session), m_options(std::move(options)),
      m_sessionLog(session, LogEscaping::ControlCharacters)
{
    connect(&m_sessionLog, &SessionLog::lineLogged, this,
            [this](const LogLine &line) { writeLogLine(line.joined()); });
    connect(&m_session, &LineSession::noted, this, [this](const Note &note) {
        if (note.source == NoteSource::Port)
            m_lastPortNote = note.text.trimmed();
    });
    connect(&m_session, &LineSession::portLost, this, [this] {
        printNote(m_lastPortNote);
        finish(1);
    });
    // A handshake status goes to standard error: standard output carries only the traffic log.
    connect(&m_session, &LineSession::handshakeStatusChanged, this,
            [](const QString &status) { printNote(QStringLiteral("handshake: ") + status); });
}

void WindowlessRun::start()
{
    const bool logOpen =
        m_options.logFile.isEmpty()
            ? m_log.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered)
            : (m_log.setFileName(m_options.logFile),
               m_log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
    if (!logOpen) {
        printNote(
            QStringLiteral("cannot open the log %1: %2")
                .arg(m_options.logFile.isEmpty() ? QStringLiteral("output") : m_options.logFile,
                     m_log.errorString()));
        return finish(1);
    }
    if (!m_session.open()) {
        printNote(m_lastPortNote);
        return finish(1);
    }
    m_session.setHandshakeTicking(TickPlayer::Automatic, m_options.autoHandshake);
}

void WindowlessRun::writeLogLine(const QString &line)
{
    if (m_finished || !m_log.isOpen())
        return;
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    if (m_log.write(bytes) == bytes.size() && m_log.flush())
        return;
    printNote(QStringLiteral("cannot write the traffic log: ") + m_log.errorString());
    finish(1);
}

void WindowlessRun::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_session.end();
    if (!m_options.registerDump.isEmpty() && !dumpRegisters() && status == 0)
        status = 1;
    m_log.close();
    Q_EMIT finished(status);
}

// One line per register, "D0000 0001" to "D0127 ...": the register's name as the data window
// shows it, a space, the word as stored.
bool WindowlessRun::dumpRegisters()
{
    QSaveFile file(m_options.registerDump);
    if (file.open(QIODevice::WriteOnly)) {
        const RegisterMemory &registers = m_session.registers();
        for (int n = 0; n < RegisterMemory::Count; ++n)
            file.write((registerName(n) + QLatin1Char(' ') + registers.word(n) + QLatin1Char('\n'))
                           .toUtf8());
        if (file.commit())
            return true;
    }
    printNote(QStringLiteral("cannot write the register dump %1: %2")
                  .arg(m_options.registerDump, file.errorString()));
    return false;
}
