// SPDX-License-Identifier: MIT
#include "app/WindowlessRun.h"

#include "platform/FileTarget.h"
#include "registers/RegisterMemory.h"
#include "session/LineSession.h"

#include <cstdio>

namespace
{
constexpr int HandshakeTickMs = 1000;
// "[HH:mm:ss]" in front of every log line.
constexpr int StampLength = 10;
} // namespace

void printNote(const QString &text)
{
    std::fputs((QStringLiteral("portwren: ") + text + QLatin1Char('\n')).toUtf8().constData(),
               stderr);
    std::fflush(stderr);
}

WindowlessRun::WindowlessRun(LineSession &session, StartOptions options, QObject *parent)
    : QObject(parent), m_session(session), m_options(std::move(options))
{
    m_handshakeTick.setInterval(HandshakeTickMs);
    connect(&m_handshakeTick, &QTimer::timeout, this, &WindowlessRun::tickHandshake);
    connect(&m_session, &LineSession::lineLogged, this, &WindowlessRun::writeLogLine);
    connect(&m_session, &LineSession::connectionChanged, this, &WindowlessRun::onConnectionChanged);
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
        printNote(m_lastNote);
        return finish(1);
    }
    if (m_options.autoHandshake)
        m_handshakeTick.start();
}

void WindowlessRun::writeLogLine(const QString &line)
{
    if (line.mid(StampLength).startsWith(QLatin1String("  <<")))
        m_lastNote = line.mid(StampLength).trimmed();
    if (m_finished || !m_log.isOpen())
        return;
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    if (m_log.write(bytes) == bytes.size() && m_log.flush())
        return;
    printNote(QStringLiteral("cannot write the traffic log: ") + m_log.errorString());
    finish(1);
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
    m_log.close();
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
