// SPDX-License-Identifier: MIT
#include "control/ControlClient.h"

#include "control/ControlRequests.h"
#include "control/ControlServer.h"
#include "platform/ControlEndpoint.h"
#include "platform/OutputQueue.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <utility>

namespace
{

// What one read takes from a client.
constexpr qsizetype ReadChunk = 16 << 10;
// Lines gathered for a client are handed to the system once this many bytes wait, or at the
// end of its share of a turn (answers), or once the event loop turns (events): one write for a
// burst of lines rather than one each.
constexpr qsizetype BatchBytes = 64 << 10;

const QString LineTooLongNote =
    QStringLiteral("  <<control client disconnected: a request line is longer than 64 KiB>>");
const QString LineTooLongError = QStringLiteral("a request line is longer than 64 KiB");

} // namespace

ControlClient::ControlClient(std::unique_ptr<ControlConnection> connection, ControlServer &server,
                             qsizetype queueBound)
    : QObject(&server), m_connection(std::move(connection)), m_server(server)
{
    m_output = new OutputQueue(m_connection->takeWriteEnd(), queueBound,
                               OutputQueue::Overflow::Disconnect, this);
    connect(m_output, &OutputQueue::failed, this, [this] {
        m_server.drop(this, m_output->fellBehind() ? m_server.fellBehindNote() : QString());
    });
    // Requests wait: the server serves them in its next turn, and hears from the connection
    // again once they are all answered.
    connect(m_connection.get(), &ControlConnection::readable, this, [this] {
        m_connection->setReadNotification(false);
        m_server.wantsTurn(this);
    });
}

ControlClient::~ControlClient() = default;

void ControlClient::listen()
{
    if (!m_stopped && !m_inputEnded)
        m_connection->setReadNotification(true);
}

void ControlClient::sendEvent(const QByteArray &line)
{
    if (m_stopped)
        return;
    if (m_batch.isEmpty() && m_output->queuedBytes() >= BatchBytes) {
        m_output->append(line); // waits behind the rest; no write is tried
        m_server.addWaiting(line.size());
        return;
    }
    m_batch += line;
    m_server.addWaiting(line.size());
    if (m_batch.size() >= BatchBytes)
        return flush();
    if (!std::exchange(m_flushQueued, true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_flushQueued = false;
                flush();
            },
            Qt::QueuedConnection);
}

void ControlClient::gather(const QByteArray &json)
{
    if (m_stopped)
        return;
    m_batch += json;
    m_batch += '\n';
    m_server.addWaiting(json.size() + 1);
    if (m_batch.size() >= BatchBytes)
        flush();
}

void ControlClient::sendNow(const QByteArray &json)
{
    gather(json);
    flush();
}

void ControlClient::flush()
{
    if (!m_stopped && !m_batch.isEmpty())
        m_output->append(std::exchange(m_batch, {}));
}

qsizetype ControlClient::waitingBytes() const
{
    return m_batch.size() + m_output->queuedBytes();
}

void ControlClient::stop()
{
    m_stopped = true;
    m_connection->setReadNotification(false);
    m_batch = QByteArray();
    m_input = QByteArray();
    m_output->drain(QDeadlineTimer(0));
}

bool ControlClient::serve(int lines, const std::function<bool()> &turnOver)
{
    int answered = 0;
    while (!m_stopped) {
        const qsizetype end = m_input.indexOf('\n', m_start);
        if (end >= 0) {
            if (answered == lines || (answered > 0 && turnOver())) {
                flush();
                return !m_stopped;
            }
            const QByteArray line = m_input.mid(m_start, end - m_start);
            m_start = end + 1;
            if (line.size() > ControlServer::MaxRequestBytes)
                return dropForLineTooLong(), false;
            m_server.answer(this, line);
            ++answered;
        } else if (m_input.size() - m_start > ControlServer::MaxRequestBytes) {
            return dropForLineTooLong(), false;
        } else if (m_inputEnded || !readSome()) {
            break;
        }
    }
    flush();
    if (m_inputEnded && !m_stopped)
        finishInput();
    return false;
}

// The client learns why as the connection closes: its last line is an error answer, written
// with what waits for it as far as its socket takes them at once.
void ControlClient::dropForLineTooLong()
{
    sendNow(ControlRequests::errorLine(ErrorClass::TooLong, LineTooLongError));
    m_server.drop(this, LineTooLongNote);
}

// False when nothing more can be read now: none waiting, the client's side closed, or the
// connection failed (the client is dropped).
bool ControlClient::readSome()
{
    m_input.remove(0, m_start);
    m_start = 0;
    const qsizetype had = m_input.size();
    m_input.resize(had + ReadChunk);
    const qint64 n = m_connection->read(m_input.data() + had, ReadChunk);
    const bool noneWaiting = n < 0 && errno == EAGAIN;
    m_input.resize(had + std::max<qsizetype>(n, 0));
    if (n > 0)
        return true;
    if (noneWaiting)
        return false;
    m_inputEnded = true;
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
