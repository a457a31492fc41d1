// SPDX-License-Identifier: MIT
#include "control/EventJson.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <array>

namespace
{

const std::array<const char *, SimModeCount> ModeNames = {"none", "prgps",   "mnea",
                                                          "rack", "rackerr", "vehicle"};
const std::array<const char *, 3> FrameEndNames = {"crlf", "cr", "time"};

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

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

QString isoTime(qint64 timeUs)
{
    const qint64 seconds = timeUs / 1000000;
    const QDateTime at = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.")) +
           QStringLiteral("%1Z").arg(timeUs % 1000000, 6, 10, QLatin1Char('0'));
}

QString modeName(SimMode mode)
{
    return QLatin1String(ModeNames.at(size_t(mode)));
}

std::optional<SimMode> modeFromName(const QString &name)
{
    for (size_t i = 0; i < ModeNames.size(); ++i)
        if (name == QLatin1String(ModeNames[i]))
            return SimMode(i);
    return std::nullopt;
}

QString frameEndName(FrameEnd end)
{
    return QLatin1String(FrameEndNames.at(size_t(end)));
}

std::optional<FrameEnd> frameEndFromName(const QString &name)
{
    for (size_t i = 0; i < FrameEndNames.size(); ++i)
        if (name == QLatin1String(FrameEndNames[i]))
            return FrameEnd(i);
    return std::nullopt;
}

QJsonObject eventJson(const Traffic &traffic)
{
    QJsonObject event{{"event", traffic.direction == Traffic::Received ? "received" : "sent"},
                      {"hex", hexOf(traffic.bytes)},
                      {"text", traffic.text}};
    if (traffic.direction == Traffic::Received)
        event.insert(QStringLiteral("frame_end"), frameEndName(traffic.frameEnd));
    return event;
}

QJsonObject eventJson(const Note &note)
{
    QJsonObject event{{"event", "note"}, {"text", note.text}, {"source", sourceName(note.source)}};
    if (!note.dump.isEmpty())
        event.insert(QStringLiteral("hex"), hexOf(note.dump));
    return event;
}

EventFeed::EventFeed(LineSession &session, QObject *parent) : QObject(parent), m_session(session)
{
    connect(&session, &LineSession::trafficPassed, this,
            [this](const Traffic &traffic) { emitEvent(eventJson(traffic), traffic.timeUs); });
    connect(&session, &LineSession::noted, this,
            [this](const Note &note) { emitEvent(eventJson(note), note.timeUs); });
    connect(&session, &LineSession::connectionChanged, this, [this](bool open) {
        emitEvent({{"event", "connection"}, {"open", open}}, m_session.nowUs());
    });
    connect(&session, &LineSession::registersChanged, this,
            [this](int from, const QStringList &words, RegisterWriter by) {
                emitEvent({{"event", "registers"},
                           {"from", from},
                           {"words", QJsonArray::fromStringList(words)},
                           {"by", writerName(by)}},
                          m_session.nowUs());
            });
    connect(&session, &LineSession::handshakeStatusChanged, this, [this](const QString &status) {
        emitEvent({{"event", "handshake"}, {"status", status}}, m_session.nowUs());
    });
}

// "event" first, then "time", then the event's own fields, as one compact line.
void EventFeed::emitEvent(QJsonObject event, qint64 timeUs)
{
    event.insert(QStringLiteral("time"), isoTime(timeUs));
    Q_EMIT eventLine(QJsonDocument(event).toJson(QJsonDocument::Compact));
}
