// SPDX-License-Identifier: MIT
#include "control/ControlServer.h"

#include "control/ControlClient.h"
#include "control/EventJson.h"
#include "platform/ControlEndpoint.h"
#include "session/LineSession.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace
{

// The time a turn of the event loop gives the clients' requests; the line's own work runs
// between two turns, so its replies wait at most a few turns' time behind a flood of requests.
// A client's share of a turn is at most LinesPerShare requests; the next client follows.
constexpr qint64 TurnBudgetNs = 125'000;
constexpr int LinesPerShare = 16;
// Connections accepted in one turn.
constexpr int AcceptsPerTurn = 16;
// Discarding this much of a client's waiting bytes gives the memory back to the system.
constexpr qsizetype TrimAfterBytes = 1 << 20;

// "4 MiB", "256 KiB".
QString sizeText(qsizetype bytes)
{
    return bytes % (1 << 20) == 0 ? QStringLiteral("%1 MiB").arg(bytes >> 20)
                                  : QStringLiteral("%1 KiB").arg(bytes >> 10);
}

} // namespace

ControlServer::ControlServer(LineSession &session, QObject *parent)
    : ControlServer(session, Limits{}, parent)
{
}

ControlServer::ControlServer(LineSession &session, Limits limits, QObject *parent)
    : QObject(parent), m_session(session), m_limits(limits), m_requests(session)
{
}

ControlServer::~ControlServer()
{
    close();
}

bool ControlServer::listen(const QString &name, QString *reason)
{
    close();
    m_endpoint = ControlEndpoint::make(name);
    if (!m_endpoint->listen(reason)) {
        m_endpoint.reset();
        return false;
    }
    connect(m_endpoint.get(), &ControlEndpoint::pending, this, &ControlServer::acceptWaiting);
    return true;
}

void ControlServer::close()
{
    for (ControlClient *client : std::as_const(m_clients)) {
        client->stop();
        delete client;
    }
    m_clients.clear();
    m_waiting.clear();
    m_endpoint.reset();
}

qsizetype ControlServer::waitingBytes() const
{
    qsizetype bytes = 0;
    for (const ControlClient *client : m_clients)
        bytes += client->waitingBytes();
    return bytes;
}

void ControlServer::acceptWaiting()
{
    for (int n = 0; n < AcceptsPerTurn; ++n) {
        std::unique_ptr<ControlConnection> connection = m_endpoint->nextConnection();
        if (!connection)
            return;
        if (m_clients.size() >= m_limits.clients) {
            refuse(std::move(connection));
        } else {
            auto *client =
                new ControlClient(std::move(connection), *this, m_limits.clientQueueBytes);
            m_clients.append(client);
            client->sendNow(ControlRequests::greetingLine());
            client->listen();
        }
    }
}

// A connection beyond the limit gets one error line in place of the greeting, which an empty
// connection always takes, and is closed; the log says so once while the clients are at the
// limit.
void ControlServer::refuse(std::unique_ptr<ControlConnection> connection)
{
    const QByteArray line =
        ControlRequests::errorLine(
            ErrorClass::Busy,
            QStringLiteral("too many control clients: %1 are connected").arg(m_limits.clients)) +
        '\n';
    connection->sendNow(line);
    connection.reset();
    if (!std::exchange(m_refusing, true))
        m_session.note(NoteSource::Control,
                       QStringLiteral("  <<control client refused: %1 clients are connected>>")
                           .arg(m_limits.clients));
}

void ControlServer::wantsTurn(ControlClient *client)
{
    m_waiting.push_back(client);
    if (!std::exchange(m_turnQueued, true))
        QMetaObject::invokeMethod(this, &ControlServer::serveTurn, Qt::QueuedConnection);
}

// One turn: the clients in order, each a share of its requests, until none waits or the turn's
// time is spent. A client with requests left goes to the back; the rest wait for the next turn,
// after the line's own work.
void ControlServer::serveTurn()
{
    m_turnQueued = false;
    QElapsedTimer turn;
    turn.start();
    const auto turnOver = [&turn] { return turn.nsecsElapsed() > TurnBudgetNs; };
    while (!m_waiting.empty() && !turnOver()) {
        ControlClient *client = m_waiting.front();
        m_waiting.pop_front();
        if (client->serve(LinesPerShare, turnOver))
            m_waiting.push_back(client);
        else
            client->listen();
    }
    if (!m_waiting.empty() && !std::exchange(m_turnQueued, true))
        QMetaObject::invokeMethod(this, &ControlServer::serveTurn, Qt::QueuedConnection);
}

// The answer first; a subscription takes effect after it, so that events follow the answer.
void ControlServer::answer(ControlClient *client, const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    const ControlRequests::Answer answer = m_requests.answer(line);
    client->gather(answer.line);
    if (!answer.subscribe || client->subscribed)
        return;
    if (!m_feed) {
        m_feed = new EventFeed(m_session, this);
        connect(m_feed, &EventFeed::eventLine, this, &ControlServer::broadcast);
    }
    client->subscribed = true;
}

// One ended line for every subscriber; over a copy of the list, as a client may be dropped on
// the way (QList copies only then).
void ControlServer::broadcast(const QByteArray &eventLine)
{
    const QByteArray line = eventLine + '\n';
    const QList<ControlClient *> clients = m_clients;
    for (ControlClient *client : clients)
        if (client->subscribed)
            client->sendEvent(line);
}

// The clients are counted again only when what was added since the last count could take them
// past their bound together.
void ControlServer::addWaiting(qsizetype bytes)
{
    m_waitingAtMost += bytes;
    if (m_waitingAtMost > m_limits.totalQueueBytes)
        checkWaitingBytes();
}

// Past the bound of all clients together, the one furthest behind goes, then the next, until
// the rest are within it.
void ControlServer::checkWaitingBytes()
{
    qsizetype total = waitingBytes();
    m_waitingAtMost = total;
    while (total > m_limits.totalQueueBytes) {
        ControlClient *furthest = *std::max_element(
            m_clients.begin(), m_clients.end(), [](const ControlClient *a, const ControlClient *b) {
                return a->waitingBytes() < b->waitingBytes();
            });
        total -= furthest->waitingBytes();
        m_waitingAtMost = total;
        drop(furthest, QStringLiteral("  <<control client disconnected: the clients fell %1 "
                                      "behind together, it furthest>>")
                           .arg(sizeText(m_limits.totalQueueBytes)));
    }
}

QString ControlServer::fellBehindNote() const
{
    return QStringLiteral("  <<control client disconnected: it fell %1 behind>>")
        .arg(sizeText(m_limits.clientQueueBytes));
}

// The client goes once the event loop turns (it may be inside its own handler), what waited for
// it at once; the note, which itself goes to the subscribers, once the event loop turns too.
void ControlServer::drop(ControlClient *client, const QString &note)
{
    if (client->isStopped())
        return;
    const qsizetype discarded = client->waitingBytes();
    client->stop();
    m_clients.removeOne(client);
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), client), m_waiting.end());
    m_refusing = false;
    client->deleteLater();
    if (discarded >= TrimAfterBytes && !std::exchange(m_memoryTrimQueued, true))
        QMetaObject::invokeMethod(this, &ControlServer::giveMemoryBack, Qt::QueuedConnection);
    if (!note.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, note] { m_session.note(NoteSource::Control, note); },
            Qt::QueuedConnection);
}

// Lines of many clients freed together leave the allocator's pages free but kept; they go back
// to the system (the C library's allocator keeps them otherwise).
void ControlServer::giveMemoryBack()
{
    m_memoryTrimQueued = false;
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
