// SPDX-License-Identifier: MIT
// The control socket over a session on a scripted port: what may stand at its path and what is
// taken over or refused, the socket file's mode and its removal at the end (ours only), answers
// to the client that asked, in order however many wait, a subscriber's events in the log's
// order, the connections the server closes (a subscriber that stops reading, subscribers that
// fell behind together, a line too long) while the line goes on, and the clients' limit; the
// greeting each connection gets first.
#include "ControlEnd.h"
#include "SessionFixture.h"
#include "control/ControlServer.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/file.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace
{

// A socket file at path: listening (kept open by the returned descriptor) or left behind by a
// program that ended without removing it (closed).
int socketAt(const QString &path, bool listening)
{
    const sockaddr_un address = unixAddress(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    if (listening && ::listen(fd, 4) == 0)
        return fd;
    ::close(fd);
    return -1;
}

struct stat statusOf(const QString &path)
{
    struct stat status {
    };
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

bool exists(const QString &path)
{
    return statusOf(path).st_mode != 0;
}

// The log line an event stands for (hex dumps off), or none for events the log does not show.
QStringList logLineOf(const QJsonObject &event)
{
    const QString kind = event.value(u"event"_s).toString(),
                  text = event.value(u"text"_s).toString();
    const QHash<QString, QString> marks{
        {u"received"_s, u"●"_s}, {u"sent"_s, u"◎"_s}, {u"note"_s, {}}};
    return marks.contains(kind) ? QStringList{marks.value(kind) + text} : QStringList{};
}

// An event's time in microseconds since the epoch, read from its form in UTC with six digits of
// fraction (2026-12-07T05:00:00.123456Z); -1 for any other form.
qint64 eventTimeUs(const QJsonObject &event)
{
    static const QRegularExpression form(
        u"^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\\.(\\d{6})Z$"_s);
    const QRegularExpressionMatch time = form.match(event.value(u"time"_s).toString());
    if (!time.hasMatch())
        return -1;
    const QDateTime second = QDateTime::fromString(time.captured(1) + u'Z', Qt::ISODate);
    return second.toSecsSinceEpoch() * 1000000 + time.captured(2).toLongLong();
}

// A session on a scripted port with the control socket listening in a folder of its own.
struct ServerFixture {
    explicit ServerFixture(ControlServer::Limits limits = {}) : server(f.session, limits) {}
    SessionFixture f;
    QTemporaryDir dir;
    QString path = dir.filePath(u"control"_s);
    ControlServer server;
};

const QByteArray WordRead("\x05"
                          "000000WR0000320250");

} // namespace

enum class AtPath { Nothing, StaleSocket, LiveSocket, RegularFile, Link, HeldLock };

class ControlSocketTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pathRules_data()
    {
        QTest::addColumn<AtPath>("atPath");
        QTest::addColumn<QString>("refusal"); // empty: the server listens
        QTest::newRow("nothing there") << AtPath::Nothing << QString();
        QTest::newRow("a stale socket nobody listens on") << AtPath::StaleSocket << QString();
        QTest::newRow("another program's live socket")
            << AtPath::LiveSocket << u"PATH is a socket another program listens on"_s;
        QTest::newRow("a regular file")
            << AtPath::RegularFile << u"PATH is a regular file, not a socket"_s;
        QTest::newRow("a symbolic link to a stale socket")
            << AtPath::Link << u"PATH is a symbolic link, not a socket"_s;
        QTest::newRow("a stale socket whose lock is held")
            << AtPath::HeldLock << u"PATH is in use: another program holds its lock PATH.lock"_s;
    }

    // What stands at the path before the start is replaced only when it is a stale socket; what
    // is refused stays as it was (the same file), and no lock file of ours is left. The socket
    // takes only its owner (mode 0600); at the end it goes, unless another program has put its own
    // there meanwhile.
    void pathRules()
    {
        QFETCH(AtPath, atPath);
        QFETCH(QString, refusal);
        ServerFixture s;
        int other = -1;
        QFile lock(s.path + u".lock"_s);
        if (atPath == AtPath::StaleSocket || atPath == AtPath::HeldLock)
            socketAt(s.path, false);
        if (atPath == AtPath::LiveSocket)
            other = socketAt(s.path, true);
        if (atPath == AtPath::RegularFile)
            QFile(s.path).open(QIODevice::WriteOnly);
        if (atPath == AtPath::Link) {
            socketAt(s.dir.filePath(u"elsewhere"_s), false);
            QFile::link(s.dir.filePath(u"elsewhere"_s), s.path);
        }
        if (atPath == AtPath::HeldLock)
            QVERIFY(lock.open(QIODevice::WriteOnly) && ::flock(lock.handle(), LOCK_EX) == 0);
        const struct stat before = statusOf(s.path);
        QString reason;
        const bool listening = s.server.listen(s.path, &reason);
        QVERIFY2(refusal.isEmpty() ? reason.isEmpty()
                                   : reason.startsWith(refusal.replace(u"PATH"_s, s.path)),
                 qPrintable(reason));
        QCOMPARE(listening, refusal.isEmpty());
        const struct stat after = statusOf(s.path);
        if (listening) {
            QVERIFY(S_ISSOCK(after.st_mode));
            QCOMPARE(after.st_mode & 07777, mode_t(0600));
            ControlEnd client(s.path);
            client.request(R"({"id":1,"op":"status"})");
            QVERIFY(QTest::qWaitFor([&] { return client.lines().size() == 1; }));
            if (atPath == AtPath::StaleSocket) { // another program's socket in place of ours
                QVERIFY(QFile::remove(s.path));
                other = socketAt(s.path, true);
            }
            s.server.close();
            QCOMPARE(exists(s.path), other >= 0);
        } else {
            QVERIFY(after.st_ino == before.st_ino && after.st_mode == before.st_mode);
        }
        QCOMPARE(exists(lock.fileName()), atPath == AtPath::HeldLock);
        ::close(other);
    }

    // A subscriber gets, after its answer, an event for each of the session's log lines, in the
    // log's order, with its other events (connection, registers, handshake) among them; a request's
    // own events come before its answer. Another client's answers go to it alone: a line that is
    // not JSON is answered and the connection goes on, blank lines are passed over, and a last
    // request without a line end before the client closes its sending side is answered, then the
    // connection ends.
    void answersAndEventsReachTheirClient()
    {
        ServerFixture s;
        const qint64 startUs = s.f.clock->nowUs();
        QVERIFY(s.server.listen(s.path, nullptr));
        ControlEnd client(s.path), other(s.path);
        client.request(R"({"id":1,"op":"set","mode":"rack","quiet_time":0})");
        client.request(R"({"id":2,"op":"subscribe"})");
        QVERIFY(QTest::qWaitFor([&] { return client.lines().size() == 2; }));
        s.f.log.clear();
        client.request(R"({"id":3,"op":"open"})");
        other.send("{\n\n"
                   R"({"id":"last","op":"read_registers","from":32,"count":2})");
        other.finishSending();
        QVERIFY(QTest::qWaitFor([&] { return s.f.session.isOpen() && other.hasEnded(); }));
        s.f.arrive(WordRead);
        s.f.arrive("\x05"
                   "000000WW00003201111118");
        s.f.arrive("\x05"
                   "000000WR00003202FF");
        client.request(R"({"id":4,"op":"transmit","command":"cr","text":"ＡB"})");
        client.request(R"({"id":5,"op":"handshake","action":"reset"})");
        QVERIFY(QTest::qWaitFor([&] { return client.objects().last().value(u"id"_s) == 5; }));

        QStringList fromEvents;
        QStringList kinds;
        for (const QJsonObject &line : client.objects().mid(2)) {
            kinds << line.value(u"event"_s).toString(u"answer"_s);
            fromEvents << logLineOf(line);
            if (line.contains(u"event"_s)) // stamped by the session's clock, in UTC
                QVERIFY(startUs <= eventTimeUs(line) && eventTimeUs(line) <= s.f.clock->nowUs());
        }
        QCOMPARE(fromEvents, s.f.log);
        QCOMPARE(kinds, QStringList({"note",   "connection", "answer",    "received", "note",
                                     "note",   "sent",       "received",  "note",     "write",
                                     "note",   "sent",       "registers", "received", "note",
                                     "note",   "note",       "sent",      "sent",     "note",
                                     "answer", "registers",  "handshake", "answer"}));
        const QList<QJsonObject> answers = other.objects(); // an error, then the last answer
        QVERIFY(answers.size() == 2 && answers.last().value(u"id"_s) == u"last"_s);
        // Each connection's first line is the greeting, before any answer.
        QCOMPARE(client.greeting(), ControlRequests::greetingLine());
        QCOMPARE(other.greeting(), ControlRequests::greetingLine());
    }

    void serverClosesAConnection_data()
    {
        QTest::addColumn<QByteArray>("request"); // none: a subscriber that stops reading
        QTest::addColumn<QString>("note");
        const QString tooLong =
            u"  <<control client disconnected: a request line is longer than 64 KiB>>"_s;
        QTest::newRow("a subscriber that stops reading")
            << QByteArray() << u"  <<control client disconnected: it fell 4 MiB behind>>"_s;
        QTest::newRow("a request line one byte over 64 KiB")
            << QByteArray(64 * 1024 + 1, ' ') + "\n"
            << tooLong;
        QTest::newRow("a request line over 64 KiB with no end yet")
            << QByteArray(65 * 1024, ' ') + "{}" << tooLong;
    }

    // The server closes the connection with a note in the log; the line keeps being answered
    // meanwhile and after, and another client keeps its connection.
    void serverClosesAConnection()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, note);
        ServerFixture s;
        QVERIFY(s.server.listen(s.path, nullptr));
        s.f.session.setQuietTimeText(u"0"_s);
        QVERIFY(s.f.open(SimMode::None, FrameEnd::Time)); // an echo: every frame comes back
        ControlEnd closed(s.path), other(s.path);
        other.request(R"({"op":"subscribe"})");
        if (request.isEmpty()) {
            closed.reading = false;
            closed.request(R"({"op":"subscribe"})");
        } else {
            closed.send(request);
        }
        // Frames of 16 KiB, each some 100 KB of events, until the server gives the client up.
        const QByteArray frame(16 * 1024, 'x');
        int frames = 0;
        QVERIFY(QTest::qWaitFor([&] {
            if (s.f.log.contains(note))
                return true;
            other.pump();
            s.f.arrive(frame);
            return ++frames > 1000;
        }));
        QVERIFY(frames < 1000);
        QCOMPARE(s.f.port->written.size(), frames); // every frame echoed
        closed.reading = true;
        QVERIFY(QTest::qWaitFor([&] { return closed.hasEnded(); }));
        // A line too long is answered as the connection closes; a reader that fell behind is
        // not, as it would not read the answer.
        const QList<QJsonObject> last = closed.objects();
        QCOMPARE(!last.isEmpty() && last.last().value(u"class"_s) == u"TooLong"_s,
                 !request.isEmpty());
        s.f.arrive(WordRead);
        QCOMPARE(s.f.port->written.last(), WordRead);
        QCOMPARE(s.f.log.count(note), 1);
        QCOMPARE(s.server.clientCount(), 1);
        other.request(R"({"id":"still","op":"status"})");
        QVERIFY(
            QTest::qWaitFor([&] { return other.objects().last().value(u"id"_s) == u"still"_s; }));
    }

    // Requests pipelined by the hundred, by two clients at once, are all answered, each on its
    // own connection and in order, though they are served a share at a time; one client closes
    // its sending side after its last request and still gets every answer before the end.
    void pipelinedRequestsAreAllAnsweredInOrder()
    {
        ServerFixture s;
        QVERIFY(s.server.listen(s.path, nullptr));
        constexpr int Requests = 300;
        ControlEnd first(s.path), second(s.path);
        for (int n = 1; n <= Requests; ++n) {
            first.request(
                R"({"id":%1,"op":"fault","kind":"drop"})"_ba.replace("%1", QByteArray::number(n)));
            second.request(R"({"op":"read_registers","from":32,"id":%1})"_ba.replace(
                "%1", QByteArray::number(-n)));
        }
        first.finishSending();
        QVERIFY(QTest::qWaitFor(
            [&] { return first.hasEnded() && second.lines().size() == Requests; }, 20000));
        const QList<QJsonObject> firstAnswers = first.objects(), secondAnswers = second.objects();
        QCOMPARE(firstAnswers.size(), Requests);
        for (int n = 1; n <= Requests; ++n) {
            QCOMPARE(firstAnswers[n - 1].value(u"faults_pending"_s).toInt(), n);
            QCOMPARE(firstAnswers[n - 1].value(u"id"_s).toInt(), n);
            QCOMPARE(secondAnswers[n - 1].value(u"id"_s).toInt(), -n);
        }
        QCOMPARE(s.f.session.faultsPending(), Requests);
    }

    // At most the limit of clients at once: the next gets one error line and its connection
    // ends, with one note while the clients stay at the limit; once one leaves, the next is
    // taken. Connections all made before the server accepts any wait for it (the backlog).
    void clientsBeyondTheLimitAreRefused()
    {
        ServerFixture s;
        QVERIFY(s.server.listen(s.path, nullptr));
        std::vector<std::unique_ptr<ControlEnd>> clients;
        for (int n = 0; n < 64; ++n)
            clients.push_back(std::make_unique<ControlEnd>(s.path));
        ControlEnd refused(s.path), refusedToo(s.path);
        for (auto &client : clients)
            client->request(R"({"id":1,"op":"status"})");
        QVERIFY(QTest::qWaitFor([&] {
            return std::all_of(clients.begin(), clients.end(),
                               [](auto &client) { return client->lines().size() == 1; }) &&
                   refused.hasEnded() && refusedToo.hasEnded();
        }));
        const QByteArray refusal = R"({"id":null,"class":"Busy",)"
                                   R"("error":"too many control clients: 64 are connected",)"
                                   R"("ok":false})";
        QCOMPARE(refused.lines(), QList<QByteArray>{refusal});
        QVERIFY(refused.greeting().isEmpty()); // the refusal stands in its place
        QCOMPARE(refusedToo.lines(), QList<QByteArray>{refusal});
        QCOMPARE(s.server.clientCount(), 64);
        const QString note = u"  <<control client refused: 64 clients are connected>>"_s;
        QCOMPARE(s.f.log.count(note), 1);

        clients.front().reset(); // one leaves
        QVERIFY(QTest::qWaitFor([&] { return s.server.clientCount() == 63; }));
        ControlEnd next(s.path);
        next.request(R"({"id":"next","op":"status"})");
        QVERIFY(QTest::qWaitFor([&] { return next.lines().size() == 1; }));
        QCOMPARE(next.objects().first().value(u"ok"_s), QJsonValue(true));
        ControlEnd beyond(s.path);
        QVERIFY(QTest::qWaitFor([&] { return beyond.hasEnded(); }));
        QCOMPARE(s.f.log.count(note), 2); // the clients came to the limit again
    }

    // A subscriber that reads nothing for a while, far enough behind that its lines wait in its
    // queue one by one, then reads: it gets every event once, in order, and the answer after.
    void aSubscriberBehindGetsEveryEventOnce()
    {
        ServerFixture s;
        QVERIFY(s.server.listen(s.path, nullptr));
        s.f.session.setQuietTimeText(u"0"_s);
        QVERIFY(s.f.open(SimMode::None, FrameEnd::Time));
        ControlEnd subscriber(s.path);
        subscriber.request(R"({"op":"subscribe"})");
        QVERIFY(QTest::qWaitFor([&] { return subscriber.lines().size() == 1; }));
        subscriber.reading = false;
        constexpr int Frames = 100;
        for (int n = 0; n < Frames; ++n)
            s.f.arrive(QByteArray::number(n).rightJustified(2000, '-'));
        QVERIFY(s.server.waitingBytes() > 256 << 10);
        subscriber.reading = true;
        subscriber.request(R"({"id":"after","op":"status"})");
        QVERIFY(QTest::qWaitFor(
            [&] { return subscriber.objects().last().value(u"id"_s) == u"after"_s; }));
        QStringList texts;
        for (const QJsonObject &event : subscriber.objects())
            if (event.value(u"event"_s) == u"received"_s || event.value(u"event"_s) == u"sent"_s)
                texts << event.value(u"text"_s).toString().remove(u'-');
        QStringList expected;
        for (int n = 0; n < Frames; ++n)
            expected << QString::number(n) << QString::number(n);
        QCOMPARE(texts, expected);
    }

    // Past the bound of what all clients keep waiting together, the subscriber furthest behind
    // is disconnected with a note, at once, and what waited for it no longer counts; the others
    // keep their connections, and once they read, they get every line whole.
    void subscribersFallingBehindTogether()
    {
        ServerFixture s({64, 1 << 20, 2 << 20});
        QVERIFY(s.server.listen(s.path, nullptr));
        s.f.session.setQuietTimeText(u"0"_s);
        QVERIFY(s.f.open(SimMode::None, FrameEnd::Time)); // an echo: every frame comes back
        ControlEnd furthest(s.path);
        furthest.reading = false;
        furthest.request(R"({"op":"subscribe"})");
        const QByteArray frame(4 * 1024, 'x');
        for (int n = 0; n < 20; ++n) // some 500 KB of events for it alone
            s.f.arrive(frame);
        std::vector<std::unique_ptr<ControlEnd>> others;
        for (int n = 0; n < 3; ++n) {
            others.push_back(std::make_unique<ControlEnd>(s.path));
            others.back()->request(R"({"op":"subscribe"})");
        }
        QVERIFY(QTest::qWaitFor([&] {
            return std::all_of(others.begin(), others.end(),
                               [](auto &other) { return other->lines().size() == 1; });
        }));
        for (auto &other : others)
            other->reading = false;
        const QString note =
            u"  <<control client disconnected: the clients fell 2 MiB behind together, it furthest>>"_s;
        int frames = 0;
        QVERIFY(QTest::qWaitFor([&] {
            if (s.server.clientCount() < 4)
                return true;
            s.f.arrive(frame);
            return ++frames > 2000;
        }));
        QVERIFY(frames < 2000);
        QVERIFY(s.server.waitingBytes() <= 2 << 20);
        QCOMPARE(s.server.clientCount(), 3);
        QVERIFY(QTest::qWaitFor([&] { return s.f.log.contains(note); }));
        QCOMPARE(s.f.log.count(note), 1);
        furthest.reading = true;
        QVERIFY(QTest::qWaitFor([&] { return furthest.hasEnded(); }));
        for (auto &other : others) {
            other->reading = true;
            other->request(R"({"id":"last","op":"status"})");
        }
        QVERIFY(QTest::qWaitFor([&] {
            return std::all_of(others.begin(), others.end(), [](auto &other) {
                const QList<QJsonObject> objects = other->objects();
                return !objects.isEmpty() && objects.last().value(u"id"_s) == u"last"_s;
            });
        }));
        for (auto &other : others)
            for (const QByteArray &line : other->lines())
                QVERIFY(QJsonDocument::fromJson(line).isObject());
    }
};

QTEST_GUILESS_MAIN(ControlSocketTest)
#include "test_control_socket.moc"
