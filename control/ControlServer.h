// SPDX-License-Identifier: MIT
#pragma once

#include "control/ControlRequests.h"

#include <QList>
#include <QObject>
#include <QString>
#include <deque>
#include <memory>

class ControlClient;
class ControlConnection;
class ControlEndpoint;
class EventFeed;
class LineSession;

// The control endpoint: programs drive the line session over a Unix-domain socket (on Windows a
// named pipe), one JSON object per line each way (ControlRequests). Several clients at once, up to
// a limit past which a connection gets one error line and is closed; each answer goes to the client
// that asked, and a client that subscribed also gets every event of the session after that answer.
//
// Nothing a client does holds up the line. Requests are answered in turns of the event loop,
// each a bounded time shared among the clients in order, so that the line's own work (a frame
// to answer, a timer due) runs between two turns. A client's answers and events wait in a queue
// of its own, past whose bound it is disconnected; all clients' waiting bytes together have a
// bound too, past which the client furthest behind is disconnected; either way with a note in
// the traffic log, and the memory given back. A request line over 64 KiB closes its connection
// with a note. The endpoint's rules are ControlEndpoint's (on Unix the path's, ListeningSocket's).
class ControlServer : public QObject
{
    Q_OBJECT
public:
    struct Limits {
        int clients = 64;                     // connected at once
        qsizetype clientQueueBytes = 4 << 20; // what one client may keep waiting
        qsizetype totalQueueBytes = 64 << 20; // what all of them may keep waiting together
    };
    // The longest request line.
    static constexpr qsizetype MaxRequestBytes = 64 << 10;

    explicit ControlServer(LineSession &session, QObject *parent = nullptr);
    ControlServer(LineSession &session, Limits limits, QObject *parent = nullptr);
    ~ControlServer() override;

    // Starts listening at the endpoint named (a socket's path; on Windows a pipe's name). False
    // with *reason, naming it.
    bool listen(const QString &name, QString *reason);
    // Disconnects every client, stops listening and removes the socket file and its lock.
    void close();
    int clientCount() const { return int(m_clients.size()); }
    // The bytes all clients keep waiting.
    qsizetype waitingBytes() const;

private:
    friend class ControlClient;
    void acceptWaiting();
    void refuse(std::unique_ptr<ControlConnection> connection);
    void wantsTurn(ControlClient *client);
    void serveTurn();
    void answer(ControlClient *client, const QByteArray &line);
    void broadcast(const QByteArray &eventLine);
    void addWaiting(qsizetype bytes);
    void checkWaitingBytes();
    void drop(ControlClient *client, const QString &note = {});
    QString fellBehindNote() const;
    void giveMemoryBack();

    LineSession &m_session;
    Limits m_limits;
    ControlRequests m_requests;
    std::unique_ptr<ControlEndpoint> m_endpoint;
    // Made at the first subscription: no event is turned into JSON for nobody.
    EventFeed *m_feed = nullptr;
    QList<ControlClient *> m_clients;
    // The clients whose requests wait, in the order they are served.
    std::deque<ControlClient *> m_waiting;
    bool m_turnQueued = false;
    // At least the bytes all clients keep waiting: what they had when last counted and what has
    // been added since (what their readers took since is not known until the next count).
    qsizetype m_waitingAtMost = 0;
    // A connection was refused since the clients were last fewer than the limit.
    bool m_refusing = false;
    bool m_memoryTrimQueued = false;
};
