// SPDX-License-Identifier: MIT
#include "session/LineSession.h"

#include "platform/Clock.h"
#include "platform/Cp932.h"
#include "protocol/FrameResponder.h"
#include "protocol/HexDump.h"
#include "protocol/SumCheck.h"
#include "session/ModeProfiles.h"
#include "session/Receiver.h"

namespace
{
constexpr int TickMs = 100;
} // namespace

// Start-up: the rack preset, port 1, the frame end of "NONE" (by time), an empty buffer.
LineSession::LineSession(std::unique_ptr<SerialPortService> port, std::unique_ptr<Clock> clock,
                         QObject *parent)
    : QObject(parent), m_port(std::move(port)), m_clock(std::move(clock))
{
    m_receiver = std::make_unique<Receiver>(
        *m_port, *m_clock,
        Receiver::Hooks{[this] { return m_quietTimeText; },
                        [this](const QByteArray &frame, FrameEnd end) { answerFrame(frame, end); },
                        [this](const QString &note) { log(note); }});
    m_registers.applyRackPreset();
    m_port->setPortNumber(1);
    m_frameEnd = profileOf(SimMode::None).frameEnd;
    m_tick.setInterval(TickMs);
    connect(&m_tick, &QTimer::timeout, this, &LineSession::tick);
    // Queued: a port event always runs as a handler of its own, never inside another one.
    connect(
        m_port.get(), &SerialPortService::bytesArrived, this,
        [this] {
            if (!m_ended)
                m_receiver->start(ReceiveTrigger::PortEvent, m_frameEnd);
        },
        Qt::QueuedConnection);
    connect(m_port.get(), &SerialPortService::portLost, this, &LineSession::onPortLost,
            Qt::QueuedConnection);
}

LineSession::~LineSession() = default;

void LineSession::startTicking()
{
    m_tick.start();
}

const QByteArray &LineSession::receiveBuffer() const
{
    return m_receiver->buffer();
}

void LineSession::chooseMode(SimMode mode)
{
    const ModeProfile &profile = profileOf(mode);
    if (profile.fillsTexts) {
        setSettingsText(profile.settings);
        setTransmitText(profile.transmitText);
    }
    m_mode = mode;
    chooseFrameEnd(profile.frameEnd);
}

void LineSession::choosePort(int number)
{
    m_port->setPortNumber(number);
}

void LineSession::chooseFrameEnd(FrameEnd end)
{
    if (end == m_frameEnd)
        return;
    m_frameEnd = end;
    Q_EMIT frameEndChanged(end);
}

void LineSession::setSettingsText(const QString &text)
{
    if (text == m_settingsText)
        return;
    m_settingsText = text;
    Q_EMIT settingsTextChanged(text);
}

void LineSession::setTransmitText(const QString &text)
{
    if (text == m_transmitText)
        return;
    m_transmitText = text;
    Q_EMIT transmitTextChanged(text);
}

void LineSession::setQuietTimeText(const QString &text)
{
    m_quietTimeText = text;
}

void LineSession::setHexDump(bool on)
{
    m_hexDump = on;
}

// A blank settings text keeps the settings of the last open that succeeded; a text the port
// refused is not kept for the next open.
bool LineSession::open()
{
    m_port->setRequestToSend(true);
    const QString acceptedSettings = m_port->settings();
    if (!m_settingsText.trimmed().isEmpty())
        m_port->setSettings(m_settingsText);
    if (!m_port->open()) {
        m_port->setSettings(acceptedSettings);
        log(QStringLiteral("  <<OPENできません: ") + m_port->errorString() + QStringLiteral(">>"));
        return false;
    }
    log(QStringLiteral("----- OPEN  ----- Protcol=") + m_settingsText);
    Q_EMIT connectionChanged(true);
    if (profileOf(m_mode).initialisesModem) {
        log(QStringLiteral("  <<prGPS用モデム初期化＆CALL>>"));
        send(QByteArray("AT") + Ctl::CR + Ctl::LF);
    }
    m_registers.applyPresetOf(m_mode);
    return true;
}

// A receive procedure under way stops at once; what it gathered stays in the buffer.
void LineSession::close()
{
    m_receiver->cancel();
    m_port->close();
    log(QStringLiteral("----- CLOSE -----"));
    Q_EMIT connectionChanged(false);
}

// The port is already closed when its loss is reported: note why, then close as CLOSE does.
void LineSession::onPortLost(const QString &reason)
{
    if (m_ended)
        return;
    log(QStringLiteral("  <<ポートが切断されました: ") + reason + QStringLiteral(">>"));
    close();
}

void LineSession::end()
{
    m_ended = true;
    m_tick.stop();
    m_receiver->cancel();
    if (isOpen())
        m_port->close();
}

void LineSession::log(const QString &text)
{
    Q_EMIT lineLogged(QLatin1Char('[') + m_clock->timeOfDay() + QLatin1Char(']') + text);
}

bool LineSession::send(const QByteArray &bytes)
{
    if (!isOpen()) {
        log(QStringLiteral("  <<ポートが閉じているため送信しませんでした: ") +
            Cp932::decode(bytes) + QStringLiteral(">>"));
        return false;
    }
    if (!m_port->write(bytes)) {
        log(QStringLiteral("  <<送信できませんでした: ") + m_port->errorString() +
            QStringLiteral(">>"));
        return false;
    }
    log(QStringLiteral("◎") + m_sentText.decode(bytes));
    if (m_hexDump && !bytes.isEmpty())
        log(QStringLiteral("　") + ::hexDump(bytes));
    return true;
}

// A transmit command's note follows only what was sent: after a refusal the refusal's note
// stands alone.
void LineSession::sendWithNote(const QByteArray &bytes, const QString &note)
{
    if (send(bytes))
        log(note);
}

void LineSession::transmit(TransmitCommand command)
{
    if (!isOpen())
        return;
    const QByteArray text = Cp932::encode(m_transmitText);
    switch (command) {
    case TransmitCommand::StxEtx:
        return sendWithNote(Ctl::STX + text + Ctl::ETX, QStringLiteral("　<<STX+TEXT+ETX>>"));
    case TransmitCommand::CrLf:
        return sendWithNote(text + Ctl::CR + Ctl::LF, QStringLiteral("　<<TEXT+CRLF>>"));
    case TransmitCommand::Cr:
        return sendWithNote(text + Ctl::CR, QStringLiteral("　<<TEXT+CR>>"));
    case TransmitCommand::Ack:
        return sendWithNote(Ctl::ACK, QStringLiteral("　<<ACK>>"));
    case TransmitCommand::Nak:
        return sendWithNote(Ctl::NAK, QStringLiteral("　<<NAK>>"));
    case TransmitCommand::Eot:
        return sendWithNote(Ctl::EOT, QStringLiteral("　<<EOT>>"));
    case TransmitCommand::Send:
        if (!isComputerLink(m_mode))
            return sendWithNote(text, QStringLiteral("　<<TEXT>>"));
        // The request of the computer link: the note first, then ENQ, text, sum, terminator.
        log(QStringLiteral("  <<ENQを付加して送信>>"));
        send(Ctl::ENQ + text + sumCheck(text) + terminatorFor(m_frameEnd));
        return;
    }
}

void LineSession::tick()
{
    const ModemLines lines = m_port->modemLines();
    if (lines != m_shownLines) {
        m_shownLines = lines;
        Q_EMIT modemLinesChanged(lines);
    }
    if (!m_ended)
        m_receiver->start(ReceiveTrigger::Tick, m_frameEnd);
}

// The frame is answered under the frame end it was cut by; the mode, dump and dial text are
// read now.
void LineSession::answerFrame(const QByteArray &frame, FrameEnd end)
{
    const ResponderState state{m_mode, end, m_hexDump, m_transmitText};
    for (const LineAction &action : respondToFrame(frame, state, m_registers, m_receivedText)) {
        if (action.kind == LineAction::Log)
            log(action.text);
        else
            send(action.bytes);
    }
}

std::optional<QString> LineSession::stepHandshake()
{
    return m_handshake.runStep(m_registers, m_mode);
}

void LineSession::resetHandshake()
{
    m_registers.applyPresetOf(m_mode);
    m_handshake.reset();
}
