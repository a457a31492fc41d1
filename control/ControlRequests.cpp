// SPDX-License-Identifier: MIT
#include "control/ControlRequests.h"

#include "control/EventJson.h"

#include "platform/MessageText.h"
#include "protocol/FrameCutting.h"
#include "registers/WordConversion.h"
#include "session/Choices.h"
#include "session/LineSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace
{

// A request that cannot be carried out: its class, the member at fault when one is, the one
// line the answer's "error" holds, and the window's or log's own text for it when there is one.
struct Wrong {
    ErrorClass error;
    QString member;
    QString why;
    QString text;
};

// A member's value is wrong: "'quiet_time' must be a whole number from 0 to 32767".
Wrong wrongMember(const QString &member, const QString &mustBe,
                  ErrorClass error = ErrorClass::BadArgument)
{
    return {error, member, QStringLiteral("'%1' %2").arg(quotedValue(member), mustBe), {}};
}

Wrong wrongRequest(ErrorClass error, const QString &why, const QString &text = {})
{
    return {error, QString(), why, text};
}

QJsonObject failed(const Wrong &wrong)
{
    QJsonObject answer{{"ok", false}, {"error", wrong.why}, {"class", errorClassName(wrong.error)}};
    if (!wrong.member.isEmpty())
        answer.insert(QStringLiteral("member"), wrong.member);
    if (!wrong.text.isEmpty())
        answer.insert(QStringLiteral("text"), wrong.text);
    return answer;
}

// "a, b or c".
QString alternatives(const QStringList &names)
{
    if (names.size() < 2)
        return names.value(0);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") +
           names.last();
}

// The members an operation takes, as a refusal lists them: "none", "only a", "a, b or c".
QString listed(const QStringList &members)
{
    if (members.isEmpty())
        return QStringLiteral("none");
    return (members.size() == 1 ? QStringLiteral("only ") : QString()) + alternatives(members);
}

// A whole number member within lo..hi; `fallback` when absent and one is given. A whole
// number outside the range is out of range; anything else is no whole number at all.
int wholeNumber(const QJsonObject &request, const char *name, int lo, int hi,
                std::optional<int> fallback = std::nullopt)
{
    const QJsonValue value = request.value(QLatin1String(name));
    if (value.isUndefined() && fallback)
        return *fallback;
    const double number = value.toDouble(std::nan(""));
    const bool whole = value.isDouble() && number == std::floor(number);
    if (!whole || number < lo || number > hi)
        throw wrongMember(QLatin1String(name),
                          QStringLiteral("must be a whole number from %1 to %2").arg(lo).arg(hi),
                          whole ? ErrorClass::OutOfRange : ErrorClass::BadArgument);
    return int(number);
}

int wholeNumber(const QJsonObject &request, const char *name, const WholeRange &range,
                std::optional<int> fallback = std::nullopt)
{
    return wholeNumber(request, name, range.lo, range.hi, fallback);
}

QString text(const QJsonObject &request, const char *name)
{
    const QJsonValue value = request.value(QLatin1String(name));
    if (!value.isString())
        throw wrongMember(QLatin1String(name), QStringLiteral("must be a string"));
    return value.toString();
}

// A register word given as a string ("12", "-5", " 1.5") or as a number.
QString wordText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 17);
    throw wrongMember(QStringLiteral("words"), QStringLiteral("must hold strings or numbers"));
}

// Pairs of hexadecimal digits, checked a character at a time (a request line holds up to 64 KiB).
bool isHexPairs(const QString &hex)
{
    return hex.size() % 2 == 0 && std::all_of(hex.begin(), hex.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
                      (c >= u'A' && c <= u'F');
           });
}

// A NAK's code: two characters of printable ASCII, as the line carries them.
bool isNakCode(const QString &code)
{
    return code.size() == 2 &&
           std::all_of(code.begin(), code.end(), [](QChar c) { return c >= u'!' && c <= u'~'; });
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

// A variant of an operation (a fault's kind, a handshake's action) and the members it takes
// beside the one that names it.
struct Variant {
    const char *name;
    QStringList members;
};

// The fault kinds in the order the answers list them; "clear" drops the faults waiting.
const QList<Variant> &faultKinds()
{
    static const QList<Variant> kinds = {{"drop", {"count"}},
                                         {"delay", {"count", "ms"}},
                                         {"nak", {"count", "code"}},
                                         {"bad_sum", {"count"}},
                                         {"split", {"count", "pieces", "gap_ms"}},
                                         {"garble", {"count"}},
                                         {"clear", {}}};
    return kinds;
}

const QList<Variant> &handshakeActions()
{
    static const QList<Variant> actions = {
        {"step", {}}, {"reset", {}}, {"auto", {"period_ms"}}, {"manual", {}}};
    return actions;
}

// The variant a request's `member` names, or a refusal listing them all.
const Variant &variantNamed(const QJsonObject &request, const char *member,
                            const QList<Variant> &variants)
{
    const QString name = text(request, member);
    QStringList names;
    for (const Variant &variant : variants) {
        if (name == QLatin1String(variant.name))
            return variant;
        names << QLatin1String(variant.name);
    }
    throw wrongMember(QLatin1String(member), QStringLiteral("must be ") + alternatives(names));
}

// The members of an object QJsonDocument read, when the scanner could not (it never should):
// each value in its compact form.
QList<WrittenMember> membersOf(const QJsonObject &object)
{
    QList<WrittenMember> members;
    for (auto member = object.begin(); member != object.end(); ++member) {
        const QByteArray inArray =
            QJsonDocument(QJsonArray{member.value()}).toJson(QJsonDocument::Compact);
        members.append({member.key(), inArray.mid(1, inArray.size() - 2)});
    }
    return members;
}

// The port's note while a session call runs (the reason an OPEN or a transmission failed, as
// the log shows it), for the answer's "text".
class PortNoteWatch
{
public:
    explicit PortNoteWatch(LineSession &session)
    {
        m_watch = QObject::connect(&session, &LineSession::noted, [this](const Note &note) {
            if (note.source == NoteSource::Port)
                m_text = note.text;
        });
    }
    ~PortNoteWatch() { QObject::disconnect(m_watch); }
    PortNoteWatch(const PortNoteWatch &) = delete;
    PortNoteWatch &operator=(const PortNoteWatch &) = delete;
    const QString &text() const { return m_text; }

private:
    QMetaObject::Connection m_watch;
    QString m_text;
};

// "not sent: <the port's reason>", with the log's note, or "not sent" when the port gave none.
Wrong notSent(const PortNoteWatch &watch, const QString &reason)
{
    return wrongRequest(ErrorClass::Refused,
                        reason.isEmpty() ? QStringLiteral("not sent")
                                         : QStringLiteral("not sent: ") + reason,
                        watch.text());
}

} // namespace

QString errorClassName(ErrorClass error)
{
    switch (error) {
    case ErrorClass::UnknownOp:
        return QStringLiteral("UnknownOp");
    case ErrorClass::BadArgument:
        return QStringLiteral("BadArgument");
    case ErrorClass::OutOfRange:
        return QStringLiteral("OutOfRange");
    case ErrorClass::NotOpen:
        return QStringLiteral("NotOpen");
    case ErrorClass::Busy:
        return QStringLiteral("Busy");
    case ErrorClass::TooLong:
        return QStringLiteral("TooLong");
    case ErrorClass::Refused:
        return QStringLiteral("Refused");
    }
    return {};
}

// An operation, its handler and the members it takes besides "id" and "op". Those of "fault"
// and "handshake" depend on the kind or action, which their handlers check.
struct ControlRequests::Operation {
    const char *name;
    QJsonObject (ControlRequests::*run)(const QJsonObject &request);
    QStringList members;
    bool membersByVariant = false;
};

ControlRequests::ControlRequests(LineSession &session) : m_session(session) {}

// The operations in the order the greeting lists them.
const QList<ControlRequests::Operation> &ControlRequests::operations()
{
    static const QList<Operation> operations = {
        {"status", &ControlRequests::status, {}},
        {"open", &ControlRequests::open, {}},
        {"close", &ControlRequests::close, {}},
        {"set",
         &ControlRequests::set,
         {"mode", "frame_end", "quiet_time", "settings", "hex", "transmit_text"}},
        {"read_registers", &ControlRequests::readRegisters, {"from", "count"}},
        {"write_registers", &ControlRequests::writeRegisters, {"from", "words"}},
        {"handshake", &ControlRequests::handshake, {}, true},
        {"transmit", &ControlRequests::transmit, {"command", "text"}},
        {"send", &ControlRequests::send, {"hex"}},
        {"repeat", &ControlRequests::repeat, {}, true},
        {"lines", &ControlRequests::lines, {"dtr", "rts"}},
        {"break", &ControlRequests::sendBreak, {"ms"}},
        {"fault", &ControlRequests::fault, {}, true},
        {"subscribe", &ControlRequests::subscribe, {}},
        {"sync", &ControlRequests::sync, {}},
    };
    return operations;
}

const ControlRequests::Operation *ControlRequests::operationNamed(const QString &op)
{
    for (const Operation &operation : operations())
        if (op == QLatin1String(operation.name))
            return &operation;
    return nullptr;
}

QByteArray ControlRequests::greetingLine()
{
    QJsonArray ops;
    for (const Operation &operation : operations())
        ops.append(QLatin1String(operation.name));
    const QJsonObject about{{"version", QStringLiteral(PORTWREN_VERSION)},
                            {"protocol", ProtocolVersion},
                            {"ops", ops},
                            {"events", QJsonArray::fromStringList(eventNames())}};
    return QJsonDocument(QJsonObject{{"portwren", about}}).toJson(QJsonDocument::Compact);
}

QByteArray ControlRequests::errorLine(ErrorClass error, const QString &why)
{
    const QByteArray fields =
        QJsonDocument(failed(wrongRequest(error, why))).toJson(QJsonDocument::Compact);
    return "{\"id\":null," + fields.mid(1);
}

// The answer carries the request's id as written; one that is not an object has none.
ControlRequests::Answer ControlRequests::answer(const QByteArray &requestLine)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(requestLine, &error);
    const QJsonObject request = document.object();
    m_members.clear();
    if (document.isObject()) {
        std::optional<QList<WrittenMember>> written = writtenMembers(requestLine);
        m_members = written ? std::move(*written) : membersOf(request);
    }
    m_subscribe = false;
    // A CR between the parts of an array or object would end the answer's line for some
    // readers: it becomes a blank, which changes nothing of the value.
    QByteArray id = "null";
    for (const WrittenMember &member : std::as_const(m_members))
        if (member.name == QLatin1String("id"))
            id = QByteArray(member.value).replace('\r', ' ');
    QJsonObject reply;
    try {
        if (!document.isObject())
            throw wrongRequest(ErrorClass::BadArgument,
                               error.error != QJsonParseError::NoError
                                   ? QStringLiteral("not JSON: ") + error.errorString()
                                   : QStringLiteral("a request must be a JSON object"));
        reply = run(request.value(QLatin1String("op")).toString(), request);
        reply.insert(QStringLiteral("ok"), true);
    } catch (const Wrong &wrong) {
        reply = failed(wrong);
        m_subscribe = false;
    }
    const QByteArray fields = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    return {"{\"id\":" + id + ',' + fields.mid(1), m_subscribe};
}

// Every member is checked before the operation acts: a member named twice, an operation that
// does not exist, or a member it does not take refuses the request.
QJsonObject ControlRequests::run(const QString &op, const QJsonObject &request)
{
    QSet<QString> named;
    for (const WrittenMember &member : std::as_const(m_members)) {
        if (named.contains(member.name))
            throw wrongMember(member.name, QStringLiteral("is given twice"));
        named.insert(member.name);
    }
    if (!request.value(QLatin1String("op")).isString())
        throw wrongMember(QStringLiteral("op"), QStringLiteral("must name an operation"));
    const Operation *operation = operationNamed(op);
    if (!operation)
        throw Wrong{ErrorClass::UnknownOp,
                    QStringLiteral("op"),
                    QStringLiteral("unknown op '%1'").arg(quotedValue(op)),
                    {}};
    if (!operation->membersByVariant)
        takesOnly(operation->members, QStringLiteral("'%1'").arg(op));
    return (this->*operation->run)(request);
}

// The one refusal of a member the request's operation does not take.
void ControlRequests::takesOnly(const QStringList &members, const QString &whose) const
{
    for (const WrittenMember &member : m_members)
        if (member.name != QLatin1String("id") && member.name != QLatin1String("op") &&
            !members.contains(member.name))
            throw Wrong{ErrorClass::BadArgument,
                        member.name,
                        QStringLiteral("unknown member '%1' (%2 takes %3)")
                            .arg(quotedValue(member.name), whose, listed(members)),
                        {}};
}

QJsonObject ControlRequests::status(const QJsonObject &)
{
    return {{"version", QStringLiteral(PORTWREN_VERSION)},
            {"port", m_session.portNumber()},
            {"device", m_session.deviceFor(m_session.portNumber())},
            {"open", m_session.isOpen()},
            {"mode", modeName(m_session.mode())},
            {"frame_end", frameEndName(m_session.frameEnd())},
            {"quiet_time", quietTimeFrom(m_session.quietTimeText())},
            {"settings", m_session.settingsText()},
            {"line_settings", m_session.isOpen() ? QJsonValue(m_session.lineSettings())
                                                 : QJsonValue(QJsonValue::Null)},
            {"hex", m_session.hexDump()},
            {"frames_received", m_session.framesReceived()},
            {"replies_sent", m_session.repliesSent()},
            {"faults_pending", m_session.faultsPending()},
            {"lines", linesNow()},
            {"break", m_session.isBreakOn()},
            {"repeat", repeatNow()},
            {"reconnect", m_session.reconnects()},
            {"waiting_for", m_session.waitingFor().isEmpty() ? QJsonValue(QJsonValue::Null)
                                                             : QJsonValue(m_session.waitingFor())}};
}

// The modem lines as the port reports them now.
QJsonObject ControlRequests::linesNow()
{
    const ModemLines lines = m_session.modemLines();
    return {{"cd", lines.carrierDetect},
            {"cts", lines.clearToSend},
            {"dsr", lines.dataSetReady},
            {"dtr", lines.dataTerminalReady},
            {"rts", lines.requestToSend}};
}

// The repeat running or last run, as its notes name what it sends; null before the first.
QJsonValue ControlRequests::repeatNow() const
{
    const RepeatPlayer &repeat = m_session.repeat();
    if (repeat.plan().what.isEmpty())
        return QJsonValue::Null;
    return QJsonObject{{"running", repeat.isRunning()},
                       {"what", repeat.plan().what},
                       {"every_ms", repeat.plan().periodMs},
                       {"count", repeat.plan().count > 0 ? QJsonValue(repeat.plan().count)
                                                         : QJsonValue(QJsonValue::Null)},
                       {"sent", repeat.sent()}};
}

// A refused OPEN answers with the reason, and the log's note in "text".
QJsonObject ControlRequests::open(const QJsonObject &)
{
    if (m_session.isOpen())
        return {};
    QString reason;
    const PortNoteWatch note(m_session);
    const QMetaObject::Connection watch = QObject::connect(
        &m_session, &LineSession::openFailed, [&reason](const QString &why) { reason = why; });
    const bool opened = m_session.open();
    QObject::disconnect(watch);
    if (!opened)
        throw wrongRequest(ErrorClass::Refused, QStringLiteral("cannot open: ") + reason,
                           note.text());
    return {};
}

// While a lost port is waited for, CLOSE ends the wait.
QJsonObject ControlRequests::close(const QJsonObject &)
{
    if (m_session.isOpen() || !m_session.waitingFor().isEmpty())
        m_session.close();
    return {};
}

// Every member is checked before the first choice is made: a wrong request changes nothing. A
// settings text that OPEN would refuse is refused now, open or closed.
QJsonObject ControlRequests::set(const QJsonObject &request)
{
    std::optional<SimMode> mode;
    std::optional<FrameEnd> end;
    if (request.contains(QLatin1String("mode")) && !(mode = modeNamed(text(request, "mode"))))
        throw wrongMember(QStringLiteral("mode"), QStringLiteral("must be ") + modeNamesListed());
    if (request.contains(QLatin1String("frame_end")) &&
        !(end = frameEndNamed(text(request, "frame_end"))))
        throw wrongMember(QStringLiteral("frame_end"),
                          QStringLiteral("must be ") + frameEndNamesListed());
    const bool quiet = request.contains(QLatin1String("quiet_time"));
    const int quietMs = quiet ? wholeNumber(request, "quiet_time", QuietTimeRange) : 0;
    const QJsonValue hex = request.value(QLatin1String("hex"));
    if (!hex.isUndefined() && !hex.isBool())
        throw wrongMember(QStringLiteral("hex"), QStringLiteral("must be true or false"));
    const bool settings = request.contains(QLatin1String("settings"));
    const bool transmitText = request.contains(QLatin1String("transmit_text"));
    const QString settingsText = settings ? text(request, "settings") : QString();
    const QString transmitted = transmitText ? text(request, "transmit_text") : QString();
    if (const QString refusal = settingsRefusal(settingsText); !refusal.isEmpty())
        throw wrongMember(QStringLiteral("settings"),
                          QStringLiteral("would not open the line: ") + refusal);
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
    return status(request);
}

QJsonObject ControlRequests::readRegisters(const QJsonObject &request)
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
    const bool list = words.isArray() && !words.toArray().isEmpty();
    if (!list || from + words.toArray().size() > RegisterMemory::Count)
        throw wrongMember(QStringLiteral("words"),
                          QStringLiteral("must be a list of 1 to %1 words from D%2 on")
                              .arg(RegisterMemory::Count - from)
                              .arg(from, 4, 10, QLatin1Char('0')),
                          list ? ErrorClass::OutOfRange : ErrorClass::BadArgument);
    QStringList texts;
    for (const QJsonValue &word : words.toArray())
        texts << wordText(word);
    if (const std::optional<WordsRefused> refused =
            m_session.storeWords(from, texts, RegisterWriter::Control)) {
        const bool outOfRange = refused->problem == WordTextProblem::OutOfRange;
        throw Wrong{
            outOfRange ? ErrorClass::OutOfRange : ErrorClass::BadArgument, QStringLiteral("words"),
            registerName(refused->index) + (outOfRange ? QStringLiteral(": outside -32768 to 32767")
                                                       : QStringLiteral(": not a number")),
            refused->message()};
    }
    return {};
}

QJsonObject ControlRequests::handshake(const QJsonObject &request)
{
    const Variant &action = variantNamed(request, "action", handshakeActions());
    takesOnly(QStringList{QStringLiteral("action")} + action.members,
              QStringLiteral("'handshake' with action '%1'").arg(QLatin1String(action.name)));
    const QLatin1String name(action.name);
    if (name == QLatin1String("step")) {
        m_session.stepHandshakeNow();
    } else if (name == QLatin1String("reset")) {
        m_session.resetHandshake();
    } else if (name == QLatin1String("auto")) {
        m_session.setHandshakePeriod(wholeNumber(request, "period_ms", HandshakePeriodRange,
                                                 LineSession::DefaultHandshakePeriodMs));
        m_session.setHandshakeAuto(true);
        m_session.setHandshakeTicking(TickPlayer::Automatic, true);
    } else {
        m_session.setHandshakeAuto(false);
        m_session.setHandshakeTicking(TickPlayer::Automatic, false);
    }
    const HandshakeAutomaton &automaton = m_session.handshake();
    return {{"status", m_session.handshakeStatus()},
            {"step", automaton.stepNumber()},
            {"wait", automaton.waitCount()}};
}

// Answered as "send" is: a transmission the port refused is no success.
QJsonObject ControlRequests::transmit(const QJsonObject &request)
{
    const auto command = transmitCommands().find(text(request, "command"));
    if (command == transmitCommands().end())
        throw wrongMember(QStringLiteral("command"),
                          QStringLiteral("must be stx_etx, crlf, cr, ack, nak, eot or send"));
    const QString given =
        request.contains(QLatin1String("text")) ? text(request, "text") : QString();
    if (!m_session.isOpen())
        throw wrongRequest(ErrorClass::NotOpen, QStringLiteral("the port is not open"));
    if (request.contains(QLatin1String("text")))
        m_session.setTransmitText(given);
    const PortNoteWatch note(m_session);
    if (!m_session.transmit(command->second))
        throw notSent(note, m_session.portError());
    return {};
}

QJsonObject ControlRequests::send(const QJsonObject &request)
{
    const QString hex = text(request, "hex");
    if (!isHexPairs(hex))
        throw wrongMember(QStringLiteral("hex"),
                          QStringLiteral("must be pairs of hexadecimal digits"));
    if (!m_session.isOpen())
        throw wrongRequest(ErrorClass::NotOpen, QStringLiteral("the port is not open"));
    const PortNoteWatch note(m_session);
    if (!m_session.send(QByteArray::fromHex(hex.toLatin1())))
        throw notSent(note, m_session.portError());
    return {};
}

// Exactly one of a transmit command and bytes, every every_ms, count times or until stopped;
// or "stop": true alone. A first send the port refused is no success.
QJsonObject ControlRequests::repeat(const QJsonObject &request)
{
    if (request.contains(QLatin1String("stop"))) {
        takesOnly({QStringLiteral("stop")}, QStringLiteral("'repeat' with stop"));
        if (request.value(QLatin1String("stop")) != QJsonValue(true))
            throw wrongMember(QStringLiteral("stop"), QStringLiteral("must be true"));
        m_session.stopRepeat();
        return {{"repeat", repeatNow()}};
    }
    takesOnly({QStringLiteral("command"), QStringLiteral("hex"), QStringLiteral("every_ms"),
               QStringLiteral("count")},
              QStringLiteral("'repeat'"));
    const bool byCommand = request.contains(QLatin1String("command"));
    if (byCommand == request.contains(QLatin1String("hex")))
        throw wrongRequest(
            ErrorClass::BadArgument,
            QStringLiteral("'repeat' takes exactly one of command and hex, or stop"));
    const auto command =
        byCommand ? transmitCommands().find(text(request, "command")) : transmitCommands().end();
    if (byCommand && command == transmitCommands().end())
        throw wrongMember(QStringLiteral("command"),
                          QStringLiteral("must be stx_etx, crlf, cr, ack, nak, eot or send"));
    const QString hex = byCommand ? QString() : text(request, "hex");
    if (!byCommand && (hex.isEmpty() || !isHexPairs(hex)))
        throw wrongMember(QStringLiteral("hex"),
                          QStringLiteral("must be pairs of hexadecimal digits"));
    const int every = wholeNumber(request, "every_ms", RepeatPeriodRange);
    const int count = request.contains(QLatin1String("count"))
                          ? wholeNumber(request, "count", RepeatCountRange)
                          : 0;
    if (!m_session.isOpen())
        throw wrongRequest(ErrorClass::NotOpen, QStringLiteral("the port is not open"));
    const PortNoteWatch note(m_session);
    if (byCommand)
        m_session.repeatTransmit(command->second, every, count);
    else
        m_session.repeatBytes(QByteArray::fromHex(hex.toLatin1()), every, count);
    if (m_session.repeat().sent() == 0)
        throw notSent(note, m_session.portError());
    return {{"repeat", repeatNow()}};
}

// Every member is checked before either line changes. A line the device refuses, or does not
// carry (a virtual line), is no success; the note in the log says so too.
QJsonObject ControlRequests::lines(const QJsonObject &request)
{
    const QJsonValue dtr = request.value(QLatin1String("dtr"));
    const QJsonValue rts = request.value(QLatin1String("rts"));
    for (const auto &[name, value] : {std::pair("dtr", dtr), std::pair("rts", rts)})
        if (!value.isUndefined() && !value.isBool())
            throw wrongMember(QLatin1String(name), QStringLiteral("must be true or false"));
    if (dtr.isUndefined() && rts.isUndefined())
        throw wrongRequest(ErrorClass::BadArgument,
                           QStringLiteral("'lines' takes dtr, rts or both"));
    if (!m_session.isOpen())
        throw wrongRequest(ErrorClass::NotOpen, QStringLiteral("the port is not open"));
    const auto change = [](const char *line, bool on, const std::optional<QString> &refusal) {
        if (refusal)
            throw wrongRequest(ErrorClass::Refused,
                               QStringLiteral("%1 %2 refused: %3")
                                   .arg(QLatin1String(line), on ? u"on" : u"off", *refusal));
    };
    if (dtr.isBool())
        change("DTR", dtr.toBool(), m_session.setDataTerminalReady(dtr.toBool()));
    if (rts.isBool())
        change("RTS", rts.toBool(), m_session.setRequestToSend(rts.toBool()));
    return {{"lines", linesNow()}};
}

QJsonObject ControlRequests::sendBreak(const QJsonObject &request)
{
    const int ms = wholeNumber(request, "ms", BreakRange, DefaultBreakMs);
    if (!m_session.isOpen())
        throw wrongRequest(ErrorClass::NotOpen, QStringLiteral("the port is not open"));
    if (const std::optional<QString> refusal = m_session.sendBreak(ms))
        throw wrongRequest(ErrorClass::Refused, QStringLiteral("BREAK refused: ") + *refusal);
    return {{"ms", ms}};
}

QJsonObject ControlRequests::fault(const QJsonObject &request)
{
    const Variant &kind = variantNamed(request, "kind", faultKinds());
    takesOnly(QStringList{QStringLiteral("kind")} + kind.members,
              QStringLiteral("'fault' of kind '%1'").arg(QLatin1String(kind.name)));
    if (QLatin1String(kind.name) == QLatin1String("clear")) {
        m_session.clearFaults();
        return {{"faults_pending", 0}};
    }
    Fault fault;
    fault.kind = *faultKindNamed(QLatin1String(kind.name));
    fault.count = wholeNumber(request, "count", FaultCountRange, 1);
    if (fault.kind == Fault::Kind::Delay)
        fault.delayMs = wholeNumber(request, "ms", FaultDelayRange);
    if (fault.kind == Fault::Kind::Nak) {
        const QString code = text(request, "code");
        if (!isNakCode(code))
            throw wrongMember(QStringLiteral("code"),
                              QStringLiteral("must be two characters from ! to ~ (0x21 to "
                                             "0x7E), e.g. \"05\""));
        fault.nakCode = code.toLatin1();
    }
    if (fault.kind == Fault::Kind::Split) {
        fault.pieces = wholeNumber(request, "pieces", SplitPiecesRange);
        fault.gapMs = wholeNumber(request, "gap_ms", SplitGapRange, 0);
    }
    if (const std::optional<QString> refused = m_session.addFault(fault))
        throw wrongRequest(ErrorClass::Busy, *refused);
    return {{"faults_pending", m_session.faultsPending()}};
}

QJsonObject ControlRequests::subscribe(const QJsonObject &)
{
    m_subscribe = true;
    return {};
}

// Nothing to do: the answer itself is the point, as it follows every event before it.
QJsonObject ControlRequests::sync(const QJsonObject &)
{
    return {};
}
