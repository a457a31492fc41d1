// SPDX-License-Identifier: MIT
#include "control/ControlServer.h"

#include "control/EventJson.h"
#include "platform/ListeningSocket.h"
#include "platform/OutputQueue.h"
#include "session/LineSession.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace
{

// What one read takes from a client, and how many of its lines are answered before the line
// and the other clients get their turn.
constexpr qsizetype ReadChunk = 16 << 10;
// Lines for a client are gathered and handed to the system once the event loop turns, or
// once this many bytes wait: one write for a burst of events rather than one each.
constexpr qsizetype BatchBytes = 64 << 10;
constexpr int LinesPerTurn = 64;
// Connections accepted in one turn, and the pause after the system refused one (no
// descriptors left), so that a connection waiting does not keep the event loop spinning.
constexpr int AcceptsPerTurn = 16;
constexpr int AcceptPauseMs = 100;

const QString FellBehindNote =
    QStringLiteral("  <<control client disconnected: it fell 4 MiB behind>>");
const QString LineTooLongNote =
    QStringLiteral("  <<control client disconnected: a request line is longer than 64 KiB>>");

} // namespace

// One connection: its requests read a line at a time and handed to the server, its answers and
// events gathered for one write per turn of the event loop through a queue that never waits on
// it. A client that closes its sending side gets the answers to what it sent, then the
// connection closes.
class ControlClient : public QObject
{
public:
    ControlClient(int fd, ControlServer &server);

    // A line to send: events are gathered, an answer goes out at once (with the events
    // before it), so that a round trip waits for no turn of the event loop.
    void sendLine(const QByteArray &json, bool now = false);
    // Hands the lines gathered to the output queue.
    void flush();
    // No more reading or writing; the server forgets it.
    void stop();
    bool isStopped() const { return m_stopped; }
    bool subscribed = false;

private:
    void serve();
    bool readSome();
    void finishInput();

    // The connection's descriptor, closed after the notifier on it has gone.
    struct Descriptor {
        int fd;
        ~Descriptor() { ::close(fd); }
    } m_socket;
    ControlServer &m_server;
    QSocketNotifier m_readable;
    OutputQueue *m_output = nullptr;
    QByteArray m_batch; // lines not yet handed to m_output
    QByteArray m_input;
    qsizetype m_start = 0; // where the next line begins in m_input
    bool m_inputEnded = false;
    bool m_stopped = false;
    bool m_serveQueued = false;
    bool m_flushQueued = false;
};

ControlClient::ControlClient(int fd, ControlServer &server)
    : QObject(&server), m_socket{fd}, m_server(server), m_readable(fd, QSocketNotifier::Read)
{
    m_output = new OutputQueue(WriteEnd::reopen(fd, nullptr), ControlServer::ClientQueueBytes,
                               OutputQueue::Overflow::Disconnect, this);
    connect(m_output, &OutputQueue::failed, this,
            [this] { m_server.drop(this, m_output->fellBehind() ? FellBehindNote : QString()); });
    connect(&m_readable, &QSocketNotifier::activated, this, &ControlClient::serve);
}

void ControlClient::sendLine(const QByteArray &json, bool now)
{
    if (m_stopped)
        return;
    m_batch += json;
    m_batch += '\n';
    if (now || m_batch.size() >= BatchBytes)
        return flush();
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &ControlClient::flush, Qt::QueuedConnection);
    }
}

void ControlClient::flush()
{
    m_flushQueued = false;
    if (!m_stopped && !m_batch.isEmpty())
        m_output->append(std::exchange(m_batch, {}));
}

void ControlClient::stop()
{
    m_stopped = true;
    m_readable.setEnabled(false);
}

// Answers the complete lines waiting, reading more while there are none, LinesPerTurn at a
// time; a rest waits for the next turn of the event loop.
void ControlClient::serve()
{
    m_serveQueued = false;
    int budget = LinesPerTurn;
    while (!m_stopped) {
        const qsizetype end = m_input.indexOf('\n', m_start);
        if (end >= 0) {
            if (budget-- == 0) {
                m_serveQueued = true;
                QTimer::singleShot(0, this, &ControlClient::serve);
                return;
            }
            const QByteArray line = m_input.mid(m_start, end - m_start);
            m_start = end + 1;
            if (line.size() > ControlServer::MaxRequestBytes)
                return m_server.drop(this, LineTooLongNote);
            m_server.answer(this, line);
        } else if (m_input.size() - m_start > ControlServer::MaxRequestBytes) {
            return m_server.drop(this, LineTooLongNote);
        } else if (m_inputEnded || !readSome()) {
            break;
        }
    }
    if (m_inputEnded && !m_stopped && !m_serveQueued)
        finishInput();
}

// False when nothing more can be read now: none waiting, the client's side closed, or the
// connection failed (the client is dropped).
bool ControlClient::readSome()
{
    m_input.remove(0, m_start);
    m_start = 0;
    const qsizetype had = m_input.size();
    m_input.resize(had + ReadChunk);
    ssize_t n;
    do
        n = ::read(m_socket.fd, m_input.data() + had, size_t(ReadChunk));
    while (n < 0 && errno == EINTR);
    const bool noneWaiting = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    m_input.resize(had + std::max<qsizetype>(n, 0));
    if (n > 0)
        return true;
    if (noneWaiting)
        return false;
    m_inputEnded = true;
    m_readable.setEnabled(false);
    if (n < 0)
        m_server.drop(this);
    return false;
}

// The client's side closed: a last request without its line end is answered too, and the
// connection closes once the answers have gone out.
void ControlClient::finishInput()
{
    if (m_input.size() > m_start)
        m_server.answer(this, m_input.mid(m_start));
    m_input.clear();
    m_start = 0;
    flush();
    if (m_stopped)
        return;
    if (m_output->queuedBytes() == 0)
        return m_server.drop(this);
    connect(m_output, &OutputQueue::emptied, this, [this] { m_server.drop(this); });
}

ControlServer::ControlServer(LineSession &session, QObject *parent)
    : QObject(parent), m_session(session), m_requests(session)
{
}

ControlServer::~ControlServer()
{
    close();
}

bool ControlServer::listen(const QString &path, QString *reason)
{
    close();
    m_socket = std::make_unique<ListeningSocket>(path);
    if (!m_socket->listen(reason)) {
        m_socket.reset();
        return false;
    }
    m_accepting = new QSocketNotifier(m_socket->fd(), QSocketNotifier::Read, this);
    connect(m_accepting, &QSocketNotifier::activated, this, &ControlServer::acceptWaiting);
    return true;
}

void ControlServer::close()
{
    for (ControlClient *client : std::as_const(m_clients)) {
        client->stop();
        delete client;
    }
    m_clients.clear();
    delete m_accepting;
    m_accepting = nullptr;
    m_socket.reset();
}

void ControlServer::acceptWaiting()
{
    for (int n = 0; n < AcceptsPerTurn; ++n) {
        const int fd = m_socket->accept();
        if (fd >= 0) {
            m_clients.append(new ControlClient(fd, *this));
            continue;
        }
        if (errno == ECONNABORTED)
            continue;
        if (errno != EAGAIN) {
            m_accepting->setEnabled(false);
            QTimer::singleShot(AcceptPauseMs, m_accepting,
                               [notifier = m_accepting] { notifier->setEnabled(true); });
        }
        return;
    }
}

// The answer first; a subscription takes effect after it, so that events follow the answer.
void ControlServer::answer(ControlClient *client, const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    const ControlRequests::Answer answer = m_requests.answer(line);
    client->sendLine(answer.line, true);
    if (!answer.subscribe || client->subscribed)
        return;
    if (!m_feed) {
        m_feed = new EventFeed(m_session, this);
        connect(m_feed, &EventFeed::eventLine, this, &ControlServer::broadcast);
    }
    client->subscribed = true;
}

void ControlServer::broadcast(const QByteArray &eventLine)
{
    for (ControlClient *client : std::as_const(m_clients))
        if (client->subscribed)
            client->sendLine(eventLine);
}

// The client goes once the event loop turns (it may be inside its own handler); a note says
// why when the server closed it.
void ControlServer::drop(ControlClient *client, const QString &note)
{
    if (client->isStopped())
        return;
    client->stop();
    m_clients.removeOne(client);
    client->deleteLater();
    if (!note.isEmpty())
        m_session.note(NoteSource::Control, note);
}
