// SPDX-License-Identifier: MIT
// The control endpoint on Windows, a named pipe, over a session on a scripted port: its
// security (the user running the program alone may open it), a name another server has
// refused, answers to the client that asked and events to a subscriber, a client that goes,
// a request line too long, and the clients' limit. (The Unix counterpart, the socket:
// test_control_socket.)
#include "SessionFixture.h"
#include "control/ControlServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <aclapi.h>
#include <memory>
#include <thread>
#include <windows.h>

namespace
{

QString pipeName()
{
    static int made = 0;
    return QStringLiteral("portwren-test-%1-%2").arg(::GetCurrentProcessId()).arg(++made);
}

// A control program's end of the pipe: requests written, lines read without ever waiting.
class PipeClient
{
public:
    // Opened as a Windows program does: a pipe whose instances are all taken is tried again
    // (the server makes the next one as the event loop turns).
    explicit PipeClient(const QString &name)
    {
        const QString path = QStringLiteral("\\\\.\\pipe\\") + name;
        const auto open = [&] {
            m_pipe = ::CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()),
                                   GENERIC_READ | GENERIC_WRITE | READ_CONTROL, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            return isOpen() || ::GetLastError() != ERROR_PIPE_BUSY;
        };
        if (!open())
            (void)QTest::qWaitFor(open);
    }
    ~PipeClient() { close(); }
    PipeClient(const PipeClient &) = delete;
    PipeClient &operator=(const PipeClient &) = delete;

    bool isOpen() const { return m_pipe != INVALID_HANDLE_VALUE; }
    HANDLE handle() const { return m_pipe; }
    void close()
    {
        if (isOpen())
            ::CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }
    bool send(const QByteArray &bytes)
    {
        DWORD written = 0;
        return ::WriteFile(m_pipe, bytes.constData(), DWORD(bytes.size()), &written, nullptr) &&
               written == DWORD(bytes.size());
    }
    // What has come; ended() once the server closed its side.
    QByteArray collect()
    {
        DWORD waiting = 0;
        for (;;) {
            if (!::PeekNamedPipe(m_pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
                m_ended = true;
                break;
            }
            if (waiting == 0)
                break;
            QByteArray chunk(qsizetype(waiting), Qt::Uninitialized);
            DWORD got = 0;
            if (!::ReadFile(m_pipe, chunk.data(), waiting, &got, nullptr))
                break;
            m_got += chunk.left(got);
        }
        return m_got;
    }
    bool ended()
    {
        collect();
        return m_ended;
    }
    // The next whole line, waiting for it as the event loop runs.
    QJsonObject nextLine()
    {
        if (!QTest::qWaitFor([this] { return collect().indexOf('\n', m_read) >= 0; }))
            return {};
        const qsizetype end = m_got.indexOf('\n', m_read);
        const QByteArray line = m_got.mid(m_read, end - m_read);
        m_read = end + 1;
        return QJsonDocument::fromJson(line).object();
    }

private:
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    QByteArray m_got;
    qsizetype m_read = 0;
    bool m_ended = false;
};

struct ServerFixture {
    explicit ServerFixture(ControlServer::Limits limits = {}) : server(f.session, limits)
    {
        QString reason;
        listening = server.listen(name, &reason);
        if (!listening)
            qWarning() << reason;
    }
    SessionFixture f;
    QString name = pipeName();
    ControlServer server;
    bool listening = false;
};

} // namespace

class TestControlPipe : public QObject
{
    Q_OBJECT
private slots:
    // The pipe's access list names one user, the one running the program, and its owner is
    // that user; a name a server already serves is refused, not shared.
    void onlyThisUser()
    {
        ServerFixture s;
        QVERIFY(s.listening);
        PipeClient client(s.name);
        QVERIFY(client.isOpen());
        PSID owner = nullptr;
        PACL access = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        QCOMPARE(::GetSecurityInfo(client.handle(), SE_KERNEL_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                   nullptr, &access, nullptr, &descriptor),
                 DWORD(ERROR_SUCCESS));
        HANDLE token = nullptr;
        QVERIFY(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
        BYTE user[256];
        DWORD size = sizeof user;
        QVERIFY(::GetTokenInformation(token, TokenUser, user, size, &size));
        ::CloseHandle(token);
        const PSID self = reinterpret_cast<TOKEN_USER *>(user)->User.Sid;
        QVERIFY(access && access->AceCount == 1);
        ACCESS_ALLOWED_ACE *entry = nullptr;
        QVERIFY(::GetAce(access, 0, reinterpret_cast<void **>(&entry)));
        QCOMPARE(entry->Header.AceType, BYTE(ACCESS_ALLOWED_ACE_TYPE));
        QVERIFY(::EqualSid(&entry->SidStart, self));
        QVERIFY(owner && ::EqualSid(owner, self));
        ::LocalFree(descriptor);

        ControlServer second(s.f.session);
        QString reason;
        QVERIFY(!second.listen(s.name, &reason));
        QVERIFY2(reason.contains(QStringLiteral("another program serves")), qPrintable(reason));
    }

    // A greeting first; answers in order to the client that asked, events to a subscriber after its
    // answer; a client that goes is forgotten.
    void answersAndEvents()
    {
        ServerFixture s;
        QVERIFY(s.listening);
        PipeClient asking(s.name), subscriber(s.name);
        QVERIFY(asking.isOpen() && subscriber.isOpen());
        // Each connection is greeted first, with the protocol's version.
        for (PipeClient *client : {&asking, &subscriber})
            QCOMPARE(client->nextLine().value("portwren").toObject().value("protocol").toInt(), 1);
        QVERIFY(subscriber.send(R"({"id":"s","op":"subscribe"})"
                                "\n"));
        QCOMPARE(subscriber.nextLine().value("id").toString(), QStringLiteral("s"));
        QVERIFY(asking.send(R"({"id":1,"op":"status"})"
                            "\n"
                            R"({"id":2,"op":"open"})"
                            "\n"));
        QCOMPARE(asking.nextLine().value("id").toInt(), 1);
        const QJsonObject opened = asking.nextLine();
        QVERIFY(opened.value("ok").toBool() && opened.value("id").toInt() == 2);
        QStringList events; // the OPEN's note, then its connection event
        while (!events.contains(QStringLiteral("connection")) && events.size() < 8)
            events << subscriber.nextLine().value("event").toString();
        QVERIFY2(events.contains(QStringLiteral("connection")), qPrintable(events.join(u' ')));
        QCOMPARE(s.server.clientCount(), 2);
        asking.close();
        QTRY_COMPARE(s.server.clientCount(), 1);
    }

    // A request line over 64 KiB closes its connection, with a note; the limit's refusal is one
    // error line, then the end.
    void connectionsClosed()
    {
        ControlServer::Limits oneClient;
        oneClient.clients = 1;
        ServerFixture s(oneClient);
        QVERIFY(s.listening);
        PipeClient tooLong(s.name);
        // More than the pipe holds: written on a thread of its own while the server reads (the
        // client's end is used by nothing else meanwhile: its I/O goes one at a time).
        std::thread writer(
            [&] { tooLong.send(QByteArray(ControlServer::MaxRequestBytes + 10, 'x') + '\n'); });
        QTRY_VERIFY(s.f.log.contains(
            QStringLiteral("  <<control client disconnected: a request line is longer than 64 "
                           "KiB>>")));
        writer.join();
        QTRY_VERIFY(tooLong.ended());
        PipeClient first(s.name), second(s.name);
        QVERIFY(first.isOpen() && second.isOpen());
        const QJsonObject refusal = second.nextLine();
        QCOMPARE(refusal.value("ok").toBool(true), false);
        QVERIFY(refusal.value("error").toString().startsWith(QStringLiteral("too many")));
        QCOMPARE(refusal.value("class").toString(), QStringLiteral("Busy"));
        QTRY_VERIFY(second.ended());
    }
};

QTEST_GUILESS_MAIN(TestControlPipe)
#include "test_control_pipe_win.moc"
