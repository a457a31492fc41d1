// SPDX-License-Identifier: MIT
#include "control/ControlRequests.h"

#include "control/EventJson.h"
#include "platform/MessageText.h"
#include "protocol/FrameCutting.h"
#include "session/Choices.h"
#include "session/LineSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>

#include <cmath>
#include <map>
#include <optional>

namespace
{

// A request that cannot be carried out: the one line the answer's "error" holds.
struct Wrong {
    QString why;
};

QJsonObject failed(const QString &why)
{
    return {{"ok", false}, {"error", why}};
}

// A whole number field within lo..hi; `fallback` when absent and one is given.
int wholeNumber(const QJsonObject &request, const char *name, int lo, int hi,
                std::optional<int> fallback = std::nullopt)
{
    const QJsonValue value = request.value(QLatin1String(name));
    if (value.isUndefined() && fallback)
        return *fallback;
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || number != std::floor(number) || number < lo || number > hi)
        throw Wrong{QStringLiteral("'%1' must be a whole number from %2 to %3")
                        .arg(QLatin1String(name))
                        .arg(lo)
                        .arg(hi)};
    return int(number);
}

QString text(const QJsonObject &request, const char *name)
{
    const QJsonValue value = request.value(QLatin1String(name));
    if (!value.isString())
        throw Wrong{QStringLiteral("'%1' must be a string").arg(QLatin1String(name))};
    return value.toString();
}

// A register word given as a string ("12", "-5", " 1.5") or as a number.
QString wordText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 17);
    throw Wrong{QStringLiteral("'words' must hold strings or numbers")};
}

const std::map<QString, TransmitCommand> &transmitCommands()
{
    static const std::map<QString, TransmitCommand> commands = {
        {"stx_etx", TransmitCommand::StxEtx}, {"crlf", TransmitCommand::CrLf},
        {"cr", TransmitCommand::Cr},          {"ack", TransmitCommand::Ack},
        {"nak", TransmitCommand::Nak},        {"eot", TransmitCommand::Eot},
        {"send", TransmitCommand::Send}};
    return commands;
}

} // namespace

ControlRequests::ControlRequests(LineSession &session) : m_session(session) {}

ControlRequests::Answer ControlRequests::answer(const QByteArray &requestLine)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(requestLine, &error);
    QJsonObject reply;
    bool subscribe = false;
    const QJsonObject request = document.object();
    if (!document.isObject()) {
        reply = failed(error.error != QJsonParseError::NoError
                           ? QStringLiteral("not JSON: ") + error.errorString()
                           : QStringLiteral("a request must be a JSON object"));
    } else if (!request.value(QLatin1String("op")).isString()) {
        reply = failed(QStringLiteral("'op' must name an operation"));
    } else {
        try {
            reply = run(request.value(QLatin1String("op")).toString(), request, &subscribe);
            reply.insert(QStringLiteral("ok"), true);
        } catch (const Wrong &wrong) {
            reply = failed(wrong.why);
        }
    }
    reply.insert(QStringLiteral("id"), request.value(QLatin1String("id")).isUndefined()
                                           ? QJsonValue()
                                           : request.value(QLatin1String("id")));
    return {QJsonDocument(reply).toJson(QJsonDocument::Compact), subscribe};
}

QJsonObject ControlRequests::run(const QString &op, const QJsonObject &request, bool *subscribe)
{
    if (op == QLatin1String("status"))
        return status();
    if (op == QLatin1String("open"))
        return open();
    if (op == QLatin1String("close")) {
        if (m_session.isOpen())
            m_session.close();
        return {};
    }
    if (op == QLatin1String("set"))
        return set(request);
    if (op == QLatin1String("read_registers"))
        return readRegisters(request);
    if (op == QLatin1String("write_registers"))
        return writeRegisters(request);
    if (op == QLatin1String("handshake"))
        return handshake(request);
    if (op == QLatin1String("transmit"))
        return transmit(request);
    if (op == QLatin1String("send"))
        return send(request);
    if (op == QLatin1String("fault"))
        return fault(request);
    if (op == QLatin1String("subscribe")) {
        *subscribe = true;
        return {};
    }
    throw Wrong{QStringLiteral("unknown op '%1'").arg(quotedValue(op))};
}

QJsonObject ControlRequests::status() const
{
    return {{"version", QStringLiteral(PORTWREN_VERSION)},
            {"port", m_session.portNumber()},
            {"device", m_session.deviceFor(m_session.portNumber())},
            {"open", m_session.isOpen()},
            {"mode", modeName(m_session.mode())},
            {"frame_end", frameEndName(m_session.frameEnd())},
            {"quiet_time", quietTimeFrom(m_session.quietTimeText())},
            {"settings", m_session.settingsText()},
            {"hex", m_session.hexDump()},
            {"frames_received", m_session.framesReceived()},
            {"replies_sent", m_session.repliesSent()},
            {"faults_pending", m_session.faultsPending()}};
}

// A refused OPEN answers with the reason the log notes.
QJsonObject ControlRequests::open()
{
    if (m_session.isOpen())
        return {};
    QString reason;
    const QMetaObject::Connection watch = QObject::connect(
        &m_session, &LineSession::openFailed, [&reason](const QString &why) { reason = why; });
    const bool opened = m_session.open();
    QObject::disconnect(watch);
    if (!opened)
        throw Wrong{QStringLiteral("cannot open: ") + reason};
    return {};
}

// Every field is checked before the first choice is made: a wrong request changes nothing.
QJsonObject ControlRequests::set(const QJsonObject &request)
{
    std::optional<SimMode> mode;
    std::optional<FrameEnd> end;
    if (request.contains(QLatin1String("mode")) && !(mode = modeNamed(text(request, "mode"))))
        throw Wrong{QStringLiteral("'mode' must be ") + modeNamesListed()};
    if (request.contains(QLatin1String("frame_end")) &&
        !(end = frameEndNamed(text(request, "frame_end"))))
        throw Wrong{QStringLiteral("'frame_end' must be ") + frameEndNamesListed()};
    const bool quiet = request.contains(QLatin1String("quiet_time"));
    const int quietMs =
        quiet ? wholeNumber(request, "quiet_time", QuietTimeRange.lo, QuietTimeRange.hi) : 0;
    const QJsonValue hex = request.value(QLatin1String("hex"));
    if (!hex.isUndefined() && !hex.isBool())
        throw Wrong{QStringLiteral("'hex' must be true or false")};
    const bool settings = request.contains(QLatin1String("settings"));
    const bool transmitText = request.contains(QLatin1String("transmit_text"));
    const QString settingsText = settings ? text(request, "settings") : QString();
    const QString transmitted = transmitText ? text(request, "transmit_text") : QString();
    // In the window's order: a mode puts its profile's texts and frame end in place first.
    if (mode)
        m_session.chooseMode(*mode);
    if (end)
        m_session.chooseFrameEnd(*end);
    if (quiet)
        m_session.setQuietTimeText(QString::number(quietMs));
    if (settings)
        m_session.setSettingsText(settingsText);
    if (transmitText)
        m_session.setTransmitText(transmitted);
    if (hex.isBool())
        m_session.setHexDump(hex.toBool());
    return status();
}

QJsonObject ControlRequests::readRegisters(const QJsonObject &request) const
{
    const int from = wholeNumber(request, "from", 0, RegisterMemory::Count - 1);
    const int count = wholeNumber(request, "count", 1, RegisterMemory::Count - from, 1);
    QJsonArray words;
    for (int n = from; n < from + count; ++n)
        words.append(m_session.registers().word(n));
    return {{"words", words}};
}

// Read as the data window's register button reads a box, all or nothing; the data window
// marks the change as it marks a host's write.
QJsonObject ControlRequests::writeRegisters(const QJsonObject &request)
{
    const int from = wholeNumber(request, "from", 0, RegisterMemory::Count - 1);
    const QJsonValue words = request.value(QLatin1String("words"));
    if (!words.isArray() || words.toArray().isEmpty() ||
        from + words.toArray().size() > RegisterMemory::Count)
        throw Wrong{QStringLiteral("'words' must be a list of 1 to %1 words from D%2 on")
                        .arg(RegisterMemory::Count - from)
                        .arg(from, 4, 10, QLatin1Char('0'))};
    QStringList texts;
    for (const QJsonValue &word : words.toArray())
        texts << wordText(word);
    if (const std::optional<WordsRefused> refused =
            m_session.storeWords(from, texts, RegisterWriter::Control))
        throw Wrong{refused->message()};
    return {};
}

QJsonObject ControlRequests::handshake(const QJsonObject &request)
{
    const QString action = text(request, "action");
    if (action == QLatin1String("step")) {
        m_session.stepHandshakeNow();
    } else if (action == QLatin1String("reset")) {
        m_session.resetHandshake();
    } else if (action == QLatin1String("auto")) {
        m_session.setHandshakePeriod(wholeNumber(request, "period_ms", HandshakePeriodRange.lo,
                                                 HandshakePeriodRange.hi,
                                                 LineSession::DefaultHandshakePeriodMs));
        m_session.setHandshakeAuto(true);
        m_session.setHandshakeTicking(TickPlayer::Automatic, true);
    } else if (action == QLatin1String("manual")) {
        m_session.setHandshakeAuto(false);
        m_session.setHandshakeTicking(TickPlayer::Automatic, false);
    } else {
        throw Wrong{QStringLiteral("'action' must be step, reset, auto or manual")};
    }
    const HandshakeAutomaton &automaton = m_session.handshake();
    return {{"status", m_session.handshakeStatus()},
            {"step", automaton.stepNumber()},
            {"wait", automaton.waitCount()}};
}

QJsonObject ControlRequests::transmit(const QJsonObject &request)
{
    const auto command = transmitCommands().find(text(request, "command"));
    if (command == transmitCommands().end())
        throw Wrong{QStringLiteral("'command' must be stx_etx, crlf, cr, ack, nak, eot or send")};
    const QString given =
        request.contains(QLatin1String("text")) ? text(request, "text") : QString();
    if (!m_session.isOpen())
        throw Wrong{QStringLiteral("the port is not open")};
    if (request.contains(QLatin1String("text")))
        m_session.setTransmitText(given);
    m_session.transmit(command->second);
    return {};
}

QJsonObject ControlRequests::send(const QJsonObject &request)
{
    const QString hex = text(request, "hex");
    static const QRegularExpression hexDigits(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    if (!hexDigits.match(hex).hasMatch())
        throw Wrong{QStringLiteral("'hex' must be pairs of hexadecimal digits")};
    if (!m_session.isOpen())
        throw Wrong{QStringLiteral("the port is not open")};
    if (!m_session.send(QByteArray::fromHex(hex.toLatin1())))
        throw Wrong{QStringLiteral("not sent: the log says why")};
    return {};
}

QJsonObject ControlRequests::fault(const QJsonObject &request)
{
    const QString kindName = text(request, "kind");
    if (kindName == QLatin1String("clear")) {
        m_session.clearFaults();
        return {{"faults_pending", 0}};
    }
    const std::optional<Fault::Kind> kind = faultKindNamed(kindName);
    if (!kind)
        throw Wrong{
            QStringLiteral("'kind' must be drop, delay, nak, bad_sum, split, garble or clear")};
    Fault fault;
    fault.kind = *kind;
    fault.count = wholeNumber(request, "count", 1, 1000000, 1);
    if (fault.kind == Fault::Kind::Delay)
        fault.delayMs = wholeNumber(request, "ms", 0, 600000);
    if (fault.kind == Fault::Kind::Nak) {
        fault.nakCode = text(request, "code").toLatin1();
        if (fault.nakCode.size() != 2 || text(request, "code").size() != 2)
            throw Wrong{QStringLiteral("'code' must be two characters, e.g. \"05\"")};
    }
    if (fault.kind == Fault::Kind::Split) {
        fault.pieces = wholeNumber(request, "pieces", 2, 1024);
        fault.gapMs = wholeNumber(request, "gap_ms", 0, 600000, 0);
    }
    m_session.addFault(fault);
    return {{"faults_pending", m_session.faultsPending()}};
}
