// SPDX-License-Identifier: MIT
#include "control/EventJson.h"

#include "session/Choices.h"

#include <QDateTime>
#include <QJsonDocument>

namespace
{

// Every event a session reports, by the names programs know them by.
enum class EventKind { Received, Sent, Note, Connection, Registers, Write, Handshake, Fault };
constexpr const char *EventNames[] = {"received",  "sent",  "note",      "connection",
                                      "registers", "write", "handshake", "fault"};

const char *nameOf(EventKind kind)
{
    return EventNames[int(kind)];
}

QString sourceName(NoteSource source)
{
    switch (source) {
    case NoteSource::Responder:
        return QStringLiteral("responder");
    case NoteSource::LineMonitor:
        return QStringLiteral("line_monitor");
    case NoteSource::Port:
        return QStringLiteral("port");
    case NoteSource::Operator:
        return QStringLiteral("operator");
    case NoteSource::Control:
        return QStringLiteral("control");
    }
    return {};
}

QString writerName(RegisterWriter by)
{
    switch (by) {
    case RegisterWriter::Line:
        return QStringLiteral("line");
    case RegisterWriter::Operator:
        return QStringLiteral("operator");
    case RegisterWriter::Handshake:
        return QStringLiteral("handshake");
    case RegisterWriter::Control:
        return QStringLiteral("control");
    }
    return {};
}

// One event as a line of compact JSON, written field by field: "event" first, then "time",
// then the event's own fields. Written directly rather than through a QJsonObject, which costs
// several times as much: a subscriber on a busy line gets four events a request.
class EventLine
{
public:
    EventLine(EventKind event, qint64 timeUs)
    {
        m_out.reserve(256);
        m_out += "{\"event\":\"";
        m_out += nameOf(event);
        m_out += "\",\"time\":\"";
        m_out += isoTime(timeUs).toLatin1();
        m_out += '"';
    }
    EventLine &text(const char *name, const QString &value)
    {
        key(name);
        quoted(value.toUtf8());
        return *this;
    }
    // A value of printable ASCII without quotes or backslashes (hex digits, names).
    EventLine &ascii(const char *name, const QByteArray &value)
    {
        key(name);
        m_out += '"';
        m_out += value;
        m_out += '"';
        return *this;
    }
    EventLine &number(const char *name, qint64 value)
    {
        key(name);
        m_out += QByteArray::number(value);
        return *this;
    }
    EventLine &flag(const char *name, bool value)
    {
        key(name);
        m_out += value ? "true" : "false";
        return *this;
    }
    EventLine &texts(const char *name, const QStringList &values)
    {
        key(name);
        m_out += '[';
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                m_out += ',';
            quoted(values[i].toUtf8());
        }
        m_out += ']';
        return *this;
    }
    QByteArray done()
    {
        m_out += '}';
        return std::move(m_out);
    }

private:
    void key(const char *name)
    {
        m_out += ",\"";
        m_out += name;
        m_out += "\":";
    }
    // A JSON string: quotes and backslashes escaped, control characters as \n, \r, \t or
    // \u00XX, everything else as its UTF-8 bytes.
    void quoted(const QByteArray &utf8)
    {
        m_out += '"';
        qsizetype plain = 0; // where the bytes not yet copied begin
        for (qsizetype i = 0; i < utf8.size(); ++i) {
            const uchar c = uchar(utf8[i]);
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            m_out.append(utf8.constData() + plain, i - plain);
            plain = i + 1;
            if (c == '"' || c == '\\') {
                m_out += '\\';
                m_out += char(c);
            } else if (c == '\n') {
                m_out += "\\n";
            } else if (c == '\r') {
                m_out += "\\r";
            } else if (c == '\t') {
                m_out += "\\t";
            } else {
                m_out += "\\u00";
                m_out += "0123456789abcdef"[c >> 4];
                m_out += "0123456789abcdef"[c & 15];
            }
        }
        m_out.append(utf8.constData() + plain, utf8.size() - plain);
        m_out += '"';
    }

    QByteArray m_out;
};

} // namespace

QStringList eventNames()
{
    QStringList names;
    for (const char *name : EventNames)
        names << QLatin1String(name);
    return names;
}

// The date and time to the second are made once per second of a busy line.
QString isoTime(qint64 timeUs)
{
    thread_local qint64 second = -1;
    thread_local QString upToSecond;
    if (timeUs / 1000000 != second) {
        second = timeUs / 1000000;
        upToSecond = QDateTime::fromSecsSinceEpoch(second, Qt::UTC)
                         .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss."));
    }
    return upToSecond + QStringLiteral("%1Z").arg(timeUs % 1000000, 6, 10, QLatin1Char('0'));
}

QByteArray eventJsonLine(const Traffic &traffic)
{
    EventLine line(traffic.direction == Traffic::Received ? EventKind::Received : EventKind::Sent,
                   traffic.timeUs);
    line.ascii("hex", traffic.bytes.toHex()).text("text", traffic.text);
    if (traffic.direction == Traffic::Received)
        line.ascii("frame_end", frameEndName(traffic.frameEnd).toLatin1());
    return line.done();
}

QByteArray eventJsonLine(const Note &note)
{
    EventLine line(EventKind::Note, note.timeUs);
    line.text("text", note.text).ascii("source", sourceName(note.source).toLatin1());
    if (!note.dump.isEmpty())
        line.ascii("hex", note.dump.toHex());
    return line.done();
}

QJsonObject eventJson(const Traffic &traffic)
{
    return QJsonDocument::fromJson(eventJsonLine(traffic)).object();
}

QJsonObject eventJson(const Note &note)
{
    return QJsonDocument::fromJson(eventJsonLine(note)).object();
}

EventFeed::EventFeed(LineSession &session, QObject *parent) : QObject(parent), m_session(session)
{
    connect(&session, &LineSession::trafficPassed, this,
            [this](const Traffic &traffic) { Q_EMIT eventLine(eventJsonLine(traffic)); });
    connect(&session, &LineSession::noted, this,
            [this](const Note &note) { Q_EMIT eventLine(eventJsonLine(note)); });
    connect(&session, &LineSession::connectionChanged, this, [this](bool open) {
        Q_EMIT eventLine(
            EventLine(EventKind::Connection, m_session.changeTimeUs()).flag("open", open).done());
    });
    const auto words = [this](EventKind kind) {
        return [this, kind](int from, const QStringList &words, RegisterWriter by) {
            Q_EMIT eventLine(EventLine(kind, m_session.changeTimeUs())
                                 .number("from", from)
                                 .texts("words", words)
                                 .ascii("by", writerName(by).toLatin1())
                                 .done());
        };
    };
    connect(&session, &LineSession::registersChanged, this, words(EventKind::Registers));
    connect(&session, &LineSession::wordsWritten, this, words(EventKind::Write));
    connect(&session, &LineSession::handshakeStatusChanged, this, [this](const QString &status) {
        Q_EMIT eventLine(EventLine(EventKind::Handshake, m_session.changeTimeUs())
                             .text("status", status)
                             .number("step", m_session.handshake().stepNumber())
                             .done());
    });
    connect(&session, &LineSession::faultApplied, this, [this](const AppliedFault &fault) {
        Q_EMIT eventLine(EventLine(EventKind::Fault, m_session.changeTimeUs())
                             .ascii("kind", faultKindName(fault.kind).toLatin1())
                             .number("left", fault.left)
                             .done());
    });
}
