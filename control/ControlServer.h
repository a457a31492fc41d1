// SPDX-License-Identifier: MIT
#pragma once

#include "control/ControlRequests.h"

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

class ControlClient;
class EventFeed;
class LineSession;
class ListeningSocket;
class QSocketNotifier;

// The control socket: programs drive the line session over a Unix-domain socket, one JSON
// object per line each way (ControlRequests). Several clients at once; each answer goes to the
// client that asked, and a client that subscribed also gets every event of the session after
// that answer. Nothing a client does holds up the line: its answers and events wait in a queue
// of at most 4 MiB, past which it is disconnected with a note in the traffic log; a request
// line over 64 KiB closes its connection with a note; a client's requests are read a bounded
// number at a time, between the line's own work. The path's rules are ListeningSocket's.
class ControlServer : public QObject
{
    Q_OBJECT
public:
    // What a client may keep waiting for it, and the longest request line.
    static constexpr qsizetype ClientQueueBytes = 4 << 20;
    static constexpr qsizetype MaxRequestBytes = 64 << 10;

    explicit ControlServer(LineSession &session, QObject *parent = nullptr);
    ~ControlServer() override;

    // Starts listening at path. False with *reason, naming the path.
    bool listen(const QString &path, QString *reason);
    // Disconnects every client, stops listening and removes the socket file and its lock.
    void close();
    int clientCount() const { return int(m_clients.size()); }

private:
    friend class ControlClient;
    void acceptWaiting();
    void answer(ControlClient *client, const QByteArray &line);
    void broadcast(const QByteArray &eventLine);
    void drop(ControlClient *client, const QString &note = {});

    LineSession &m_session;
    ControlRequests m_requests;
    std::unique_ptr<ListeningSocket> m_socket;
    QSocketNotifier *m_accepting = nullptr;
    // Made at the first subscription: no event is turned into JSON for nobody.
    EventFeed *m_feed = nullptr;
    QList<ControlClient *> m_clients;
};
