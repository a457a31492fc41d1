// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

class ControlConnection;
class ControlServer;
class OutputQueue;

// One connection to the control endpoint: its requests read a line at a time and handed to the
// server, a bounded share of them per turn of the event loop, and its answers and events
// gathered for one write per share or per turn, through a queue that never waits on it. A client
// that closes its sending side gets the answers to what it sent, then the connection closes; one
// that sends a line too long gets an error answer as its connection closes.
class ControlClient : public QObject
{
public:
    // connection: the accepted connection, closed with the client. queueBound: the bytes its
    // answers and events may keep waiting, past which it is disconnected.
    ControlClient(std::unique_ptr<ControlConnection> connection, ControlServer &server,
                  qsizetype queueBound);
    ~ControlClient() override;

    // Answers complete request lines, reading more while none is complete, until none is left
    // or lines have been answered, or turnOver() holds after one; the answers then go out in
    // one write. True when requests may still wait.
    bool serve(int lines, const std::function<bool()> &turnOver);
    // Tells the server when requests come again.
    void listen();
    // An event's line, ended: gathered and handed on once the event loop turns; or, while the
    // client's reader is a batch or more behind, queued for it as it is (the queues of every
    // subscriber that far behind share it).
    void sendEvent(const QByteArray &line);
    // An answer: gathered, and handed on at the end of the client's share of the turn.
    void gather(const QByteArray &json);
    // A line handed on at once (the greeting).
    void sendNow(const QByteArray &json);
    // The bytes waiting for the client: gathered, and queued for its socket.
    qsizetype waitingBytes() const;
    // No more reading or writing; what waits for it is discarded. The server forgets it.
    void stop();
    bool isStopped() const { return m_stopped; }
    bool subscribed = false;

private:
    void flush();
    void dropForLineTooLong();
    bool readSome();
    void finishInput();

    std::unique_ptr<ControlConnection> m_connection;
    ControlServer &m_server;
    OutputQueue *m_output = nullptr;
    QByteArray m_batch; // lines not yet handed to m_output
    QByteArray m_input;
    qsizetype m_start = 0; // where the next line begins in m_input
    bool m_inputEnded = false;
    bool m_stopped = false;
    bool m_flushQueued = false;
};
