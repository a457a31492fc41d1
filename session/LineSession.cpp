// SPDX-License-Identifier: MIT
#include "session/LineSession.h"

#include "platform/Clock.h"
#include "platform/Cp932.h"
#include "platform/PortMap.h"
#include "protocol/FrameResponder.h"
#include "protocol/SumCheck.h"
#include "session/Choices.h"
#include "session/ModeProfiles.h"
#include "session/Receiver.h"

#include <algorithm>

namespace
{
constexpr int TickMs = 100;
} // namespace

// Start-up: the rack preset, port 1, the frame end of "NONE" (by time), an empty buffer.
LineSession::LineSession(std::unique_ptr<SerialPortService> port, std::unique_ptr<Clock> clock,
                         QObject *parent)
    : QObject(parent), m_port(std::move(port)), m_clock(std::move(clock)),
      m_replies(*m_clock, {[this](const QByteArray &bytes, bool hexShown) {
                               return sendShowing(bytes, hexShown);
                           },
                           [this](const QString &text) { note(NoteSource::Responder, text); },
                           [this](const AppliedFault &fault) { reportFault(fault); },
                           [this] { m_receiver->resume(); }}),
      m_handshakeTick(*m_clock, [this] { tickHandshake(); }),
      m_repeat(*m_clock, {[this] { return m_port->bytesToSend() > 0 || isBreakOn(); },
                          [this](const QString &text) { note(NoteSource::Operator, text); },
                          [this] { Q_EMIT repeatChanged(); }}),
      m_watch(*m_clock, {[this] { return m_port->deviceName(); },
                         [this] { return m_port->devicePresent(); }, [this] { return reopen(); },
                         [this](const QString &text) { note(NoteSource::Port, text); },
                         [this] { Q_EMIT waitingForChanged(m_watch.device()); }}),
      m_breakTimer(m_clock->makeTimer())
{
    m_receiver = std::make_unique<Receiver>(
        *m_port, *m_clock,
        Receiver::Hooks{
            [this] { return m_quietTimeText; },
            [this](const QByteArray &frame, const ProcedureChoices &choices) {
                answerFrame(frame, choices);
            },
            [this](const QByteArray &dropped) { noteOverflow(dropped); },
            [this] { return !m_readingWaitsForReplies || m_replies.hasRoomForAReply(); }});
    m_registers.applyRackPreset();
    for (int n = 0; n < RegisterMemory::Count; ++n)
        m_reportedWords[size_t(n)] = m_registers.word(n);
    m_port->setPortNumber(1);
    m_frameEnd = profileOf(SimMode::None).frameEnd;
    m_tick.setInterval(TickMs);
    connect(&m_tick, &QTimer::timeout, this, &LineSession::tick);
    // Queued: a port event always runs as a handler of its own, never inside another one.
    connect(
        m_port.get(), &SerialPortService::bytesArrived, this,
        [this] {
            if (!m_ended)
                m_receiver->start(ReceiveTrigger::PortEvent, choicesNow());
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
    if (mode != m_mode) {
        m_mode = mode;
        Q_EMIT modeChanged(mode);
    }
    chooseFrameEnd(profile.frameEnd);
}

void LineSession::choosePort(int number)
{
    m_port->setPortNumber(number);
}

bool LineSession::chooseDevice(int port, const QString &device, DeviceChoice how)
{
    if (how == DeviceChoice::ForThisRun) {
        m_port->setDeviceForRun(port, device);
        return true;
    }
    QString file;
    if (PortMap::storeDevice(port, device, &file))
        return true;
    note(NoteSource::Operator,
         QStringLiteral("  <<Com%1: の選択を保存できません: %2>>").arg(port).arg(file));
    return false;
}

QString LineSession::deviceFor(int port) const
{
    return m_port->deviceFor(port);
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
    if (text == m_quietTimeText)
        return;
    m_quietTimeText = text;
    Q_EMIT quietTimeTextChanged(text);
}

void LineSession::setHexDump(bool on)
{
    if (on == m_hexDump)
        return;
    m_hexDump = on;
    Q_EMIT hexDumpChanged(on);
}

// A blank settings text keeps the settings of the last open that succeeded; a text the port
// refused is not kept for the next open.
bool LineSession::open()
{
    m_port->setDataTerminalReady(true);
    m_port->setRequestToSend(true);
    const QString acceptedSettings = m_port->settings();
    if (!m_settingsText.trimmed().isEmpty())
        m_port->setSettings(m_settingsText);
    if (!m_port->open()) {
        m_port->setSettings(acceptedSettings);
        const QString reason = m_port->errorString();
        note(NoteSource::Port,
             QStringLiteral("  <<OPENできません: ") + reason + QStringLiteral(">>"));
        Q_EMIT openFailed(reason);
        return false;
    }
    m_watch.stop(true);
    note(NoteSource::Operator, QStringLiteral("----- OPEN  ----- Protcol=") + m_settingsText);
    startLine(false);
    return true;
}

// A lost port's device is back: opened with the settings of the open it was lost from, the
// registers as they are.
std::optional<QString> LineSession::reopen()
{
    m_port->setDataTerminalReady(true);
    m_port->setRequestToSend(true);
    if (!m_port->open())
        return m_port->errorString();
    note(NoteSource::Port, QStringLiteral("  <<reopened %1>>").arg(m_port->deviceName()));
    startLine(true);
    return std::nullopt;
}

// The open port starts as the mode has it: its open step, its preset and the words stored at
// OPEN (not at a reopen), then the modem outputs chosen for OPEN.
void LineSession::startLine(bool reopened)
{
    m_readingWaitsForReplies = PortMap::isVirtualLine(m_port->deviceName());
    stampChange();
    Q_EMIT connectionChanged(true);
    if (profileOf(m_mode).initialisesModem) {
        note(NoteSource::Responder, QStringLiteral("  <<prGPS用モデム初期化＆CALL>>"));
        send(QByteArray("AT") + Ctl::CR + Ctl::LF);
    }
    if (!reopened) {
        m_registers.applyPresetOf(m_mode);
        for (const auto &[n, word] : m_wordsAtOpen)
            m_registers.setWord(n, word);
        reportRegisterChanges(RegisterWriter::Operator);
    }
    if (!m_dtrAtOpen)
        setDataTerminalReady(false);
    if (!m_rtsAtOpen)
        setRequestToSend(false);
}

void LineSession::close()
{
    if (m_watch.isWaiting() && !isOpen())
        return m_watch.stop();
    closeWithNote(NoteSource::Operator);
}

// A receive procedure under way stops at once; what it gathered stays in the buffer.
void LineSession::closeWithNote(NoteSource source)
{
    m_repeat.stop(source == NoteSource::Operator ? QStringLiteral("CLOSE")
                                                 : QStringLiteral("the port was lost"));
    endBreak();
    m_receiver->cancel();
    m_replies.discard();
    m_port->close();
    note(source, QStringLiteral("----- CLOSE -----"));
    stampChange();
    Q_EMIT connectionChanged(false);
}

// The port is already closed when its loss is reported: note why, then close as CLOSE does,
// and wait for the device to come back when the operator chose so.
void LineSession::onPortLost(const QString &reason)
{
    if (m_ended)
        return;
    note(NoteSource::Port,
         QStringLiteral("  <<ポートが切断されました: ") + reason + QStringLiteral(">>"));
    Q_EMIT portLost(reason);
    closeWithNote(NoteSource::Port);
    if (!m_reconnect || m_ended)
        return;
    const QString device = m_port->deviceName();
    const QString prefix = device + QStringLiteral(": ");
    note(NoteSource::Port,
         QStringLiteral("  <<port lost: %1; waiting for %2>>")
             .arg(reason.startsWith(prefix) ? reason.mid(prefix.size()) : reason, device));
    m_watch.start(device);
}

void LineSession::end()
{
    m_ended = true;
    m_tick.stop();
    m_handshakeTick.stop();
    m_replies.stop();
    m_repeat.stop(QStringLiteral("END"));
    m_watch.stop(true);
    endBreak();
    m_receiver->cancel();
    if (isOpen())
        m_port->close();
}

void LineSession::setReconnect(bool on)
{
    if (on == m_reconnect)
        return;
    m_reconnect = on;
    if (!on)
        m_watch.stop();
    Q_EMIT reconnectChanged(on);
}

void LineSession::setOutputsAtOpen(bool dtr, bool rts)
{
    m_dtrAtOpen = dtr;
    m_rtsAtOpen = rts;
}

std::optional<QString> LineSession::setDataTerminalReady(bool on)
{
    return changeOutput(QStringLiteral("DTR %1").arg(on ? u"on" : u"off"),
                        &SerialPortService::setDataTerminalReady, on);
}

std::optional<QString> LineSession::setRequestToSend(bool on)
{
    return changeOutput(QStringLiteral("RTS %1").arg(on ? u"on" : u"off"),
                        &SerialPortService::setRequestToSend, on);
}

// A change that did not happen is noted as refused, with the reason, never as done.
std::optional<QString> LineSession::changeOutput(const QString &change,
                                                 bool (SerialPortService::*set)(bool), bool on)
{
    std::optional<QString> refusal;
    if (!isOpen())
        refusal = QStringLiteral("the port is not open");
    else if (!(m_port.get()->*set)(on))
        refusal = m_port->errorString();
    if (refusal) {
        note(NoteSource::Port, QStringLiteral("  <<%1 refused: %2>>").arg(change, *refusal));
        return refusal;
    }
    note(NoteSource::Operator, QStringLiteral("  <<%1>>").arg(change));
    showModemLines();
    return std::nullopt;
}

std::optional<QString> LineSession::sendBreak(int ms)
{
    const QString change = QStringLiteral("BREAK %1 ms").arg(ms);
    std::optional<QString> refusal;
    if (!BreakRange.holds(ms))
        refusal = QStringLiteral("a BREAK lasts %1 to %2 ms").arg(BreakRange.lo).arg(BreakRange.hi);
    else if (!isOpen())
        refusal = QStringLiteral("the port is not open");
    else if (isBreakOn())
        refusal = QStringLiteral("a BREAK is on already");
    else if (!m_port->setBreak(true))
        refusal = m_port->errorString();
    if (refusal) {
        note(NoteSource::Port, QStringLiteral("  <<%1 refused: %2>>").arg(change, *refusal));
        return refusal;
    }
    note(NoteSource::Operator, QStringLiteral("  <<%1>>").arg(change));
    m_breakOn = true;
    m_breakTimer->start(ms, [this] { endBreak(); });
    return std::nullopt;
}

// The line leaves BREAK when its time is up, and before the port closes (a closed device may
// keep it). A device that will not leave it says so.
void LineSession::endBreak()
{
    if (!m_breakOn)
        return;
    m_breakOn = false;
    m_breakTimer->stop();
    if (isOpen() && !m_port->setBreak(false))
        note(NoteSource::Port,
             QStringLiteral("  <<BREAK not ended: %1>>").arg(m_port->errorString()));
}

std::optional<QString> LineSession::repeatTransmit(TransmitCommand command, int periodMs, int count)
{
    return startRepeat({transmitCaption(command), periodMs, count},
                       [this, command] { return transmit(command); });
}

std::optional<QString> LineSession::repeatBytes(const QByteArray &bytes, int periodMs, int count)
{
    return startRepeat({QString::fromLatin1(bytes.toHex(' ').toUpper()), periodMs, count},
                       [this, bytes] { return send(bytes); });
}

std::optional<QString> LineSession::startRepeat(const RepeatPlayer::Plan &plan,
                                                std::function<bool()> send)
{
    if (!isOpen()) {
        const QString refusal = QStringLiteral("the port is not open");
        note(NoteSource::Port,
             QStringLiteral("  <<repeat %1 refused: %2>>").arg(plan.what, refusal));
        return refusal;
    }
    m_repeat.start(plan, std::move(send));
    return std::nullopt;
}

qint64 LineSession::nowUs() const
{
    return m_clock->nowUs();
}

void LineSession::stampChange()
{
    m_changeTimeUs = m_clock->nowUs();
}

void LineSession::note(NoteSource source, const QString &text, const QByteArray &dump)
{
    Q_EMIT noted(Note{m_clock->nowUs(), source, text, dump});
}

bool LineSession::send(const QByteArray &bytes)
{
    return sendShowing(bytes, m_hexDump);
}

bool LineSession::sendShowing(const QByteArray &bytes, bool hexShown)
{
    if (!isOpen()) {
        note(NoteSource::Port, QStringLiteral("  <<ポートが閉じているため送信しませんでした: ") +
                                   Cp932::decode(bytes) + QStringLiteral(">>"));
        return false;
    }
    if (!m_port->write(bytes)) {
        note(NoteSource::Port, QStringLiteral("  <<送信できませんでした: ") +
                                   m_port->errorString() + QStringLiteral(">>"));
        return false;
    }
    Q_EMIT trafficPassed(Traffic{Traffic::Sent, m_clock->nowUs(), bytes, m_sentText.decode(bytes),
                                 m_frameEnd, hexShown});
    return true;
}

// A transmit command's note follows only what was sent: after a refusal the refusal's note
// stands alone.
bool LineSession::sendWithNote(const QByteArray &bytes, const QString &text)
{
    if (!send(bytes))
        return false;
    note(NoteSource::Operator, text);
    return true;
}

bool LineSession::transmit(TransmitCommand command)
{
    if (!isOpen())
        return false;
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
        note(NoteSource::Operator, QStringLiteral("  <<ENQを付加して送信>>"));
        return send(Ctl::ENQ + text + sumCheck(text) + terminatorFor(m_frameEnd));
    }
    return false;
}

QString transmitCaption(TransmitCommand command)
{
    static const char *const captions[] = {"STX+ETX", "CR+LF", "CR", "ACK", "NAK", "EOT", "SEND"};
    return QLatin1String(captions[int(command)]);
}

void LineSession::tick()
{
    showModemLines();
    if (!m_ended)
        m_receiver->start(ReceiveTrigger::Tick, choicesNow());
}

// Only a change is signalled, which keeps an idle program idle.
void LineSession::showModemLines()
{
    const ModemLines lines = m_port->modemLines();
    if (lines != m_shownLines) {
        m_shownLines = lines;
        Q_EMIT modemLinesChanged(lines);
    }
}

// What a receive procedure starting now answers its frames by.
ProcedureChoices LineSession::choicesNow() const
{
    return {{m_mode, m_frameEnd, m_transmitText}, m_hexDump};
}

// The frame as received, then its answer, under the choices its procedure began with. Only a
// frame cut by a pause can be followed directly by the rest of a character; after a CR or
// CR LF a lead byte is left without its trail byte.
void LineSession::answerFrame(const QByteArray &frame, const ProcedureChoices &choices)
{
    if (frame.isEmpty())
        return;
    const FrameEnd end = choices.responder.frameEnd;
    const qsizetype endLength = terminatorFor(end).size();
    const bool cutByEnd = end != FrameEnd::Time && frame.endsWith(terminatorFor(end));
    const QByteArray shown = cutByEnd ? frame.chopped(endLength) : frame;
    ++m_framesReceived;
    Q_EMIT trafficPassed(Traffic{Traffic::Received, m_clock->nowUs(), frame,
                                 m_receivedText.decode(shown, !cutByEnd), end, choices.hexShown});
    for (const LineAction &action : answerOf(frame, choices.responder)) {
        if (action.kind == LineAction::Log)
            note(NoteSource::Responder, action.text);
        else if (action.kind == LineAction::Wrote)
            reportWrite(action.from, action.words, RegisterWriter::Line);
        else
            m_replies.send(action.bytes, choices.hexShown);
    }
    reportRegisterChanges(RegisterWriter::Line);
}

// The responder's answer; when a NAK fault is due and the frame would be answered, the fault's
// note and a NAK in its place, with the request left undone.
LineActions LineSession::answerOf(const QByteArray &frame, const ResponderState &state)
{
    const std::optional<QByteArray> nak = m_replies.nakDue();
    if (!nak)
        return respondToFrame(frame, state, m_registers);
    RegisterMemory untouched = m_registers;
    const LineActions answer = respondToFrame(frame, state, untouched);
    const bool replies = std::any_of(answer.begin(), answer.end(), [](const LineAction &a) {
        return a.kind == LineAction::Send;
    });
    if (!replies)
        return answer;
    reportFault(m_replies.takeNak());
    return nakReply(frame, state, *nak);
}

void LineSession::reportWrite(int from, const QStringList &words, RegisterWriter by)
{
    stampChange();
    Q_EMIT wordsWritten(from, words, by);
}

// The note as the log shows it, then the fault as an event of its own.
void LineSession::reportFault(const AppliedFault &fault)
{
    note(NoteSource::Responder, fault.note());
    stampChange();
    Q_EMIT faultApplied(fault);
}

// Reports the span of words that changed since the last report.
void LineSession::reportRegisterChanges(RegisterWriter by)
{
    int first = -1, last = -1;
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        if (m_registers.word(n) != m_reportedWords[size_t(n)]) {
            first = first < 0 ? n : first;
            last = n;
            m_reportedWords[size_t(n)] = m_registers.word(n);
        }
    }
    if (first < 0)
        return;
    QStringList words;
    for (int n = first; n <= last; ++n)
        words << m_registers.word(n);
    stampChange();
    Q_EMIT registersChanged(first, words, by);
}

std::optional<WordsRefused> LineSession::storeWords(int from, const QStringList &texts,
                                                    RegisterWriter by)
{
    const std::optional<WordsRefused> refused = m_registers.storeTexts(from, texts);
    if (!refused && !texts.isEmpty()) {
        QStringList stored;
        for (int n = from; n < from + texts.size(); ++n)
            stored << m_registers.word(n);
        reportWrite(from, stored, by);
    }
    reportRegisterChanges(by);
    return refused;
}

void LineSession::noteOverflow(const QByteArray &dropped)
{
    note(NoteSource::LineMonitor,
         QStringLiteral("  <<受信バッファあふれ: %1 バイト破棄>>").arg(dropped.size()), dropped);
}

void LineSession::setHandshakeAuto(bool on)
{
    if (on == m_handshake.isAuto())
        return;
    m_handshake.setAuto(on);
    Q_EMIT handshakeAutoChanged(on);
}

void LineSession::tickHandshake()
{
    Q_EMIT handshakeTickStarting();
    const std::optional<QString> status = m_handshake.runStep(m_registers, m_mode);
    reportRegisterChanges(RegisterWriter::Handshake);
    if (status)
        showHandshakeStatus(*status);
}

void LineSession::stepHandshakeNow()
{
    const std::optional<QString> status =
        m_handshake.runStep(m_registers, m_mode, HandshakeAutomaton::Pace::Always);
    reportRegisterChanges(RegisterWriter::Handshake);
    if (status)
        showHandshakeStatus(*status);
}

void LineSession::showHandshakeStatus(const QString &status)
{
    m_handshakeStatus = status;
    stampChange();
    Q_EMIT handshakeStatusChanged(status);
}

void LineSession::restartHandshakeInManual()
{
    const bool wasAuto = m_handshake.isAuto();
    m_handshake.restartInManual();
    if (wasAuto)
        Q_EMIT handshakeAutoChanged(false);
}

void LineSession::resetHandshake()
{
    m_registers.applyPresetOf(m_mode);
    m_handshake.reset();
    reportRegisterChanges(RegisterWriter::Operator);
    showHandshakeStatus(QString());
}
