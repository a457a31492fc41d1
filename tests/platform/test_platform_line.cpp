// SPDX-License-Identifier: MIT
// Covers DevicePortService on Com3: with the test at the far end of the line: a virtual line
// (pty:PATH, the test as the host program) and a system device through Qt Serial Port (a
// pseudo-terminal made by the test, which holds the master side as the far end of the cable);
// who may take a virtual line's path; the modem outputs and BREAK refused where the far end
// cannot see them; output not yet read by the far end; whether a device is there; the receive
// path's system timers.

#include "HostEnd.h"
#include "platform/Clock.h"
#include "platform/DevicePortService.h"

#include <QAbstractEventDispatcher>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <numeric>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>

namespace
{

// Com3: mapped to the device and opened, with the program's default settings unless given.
std::unique_ptr<DevicePortService> openPort(const QByteArray &device,
                                            const QString &settings = QStringLiteral("9600,N,7,1"))
{
    qputenv("PORTWREN_COM3", device);
    auto port = std::make_unique<DevicePortService>();
    port->setPortNumber(3);
    port->setSettings(settings);
    port->open();
    return port;
}

// The line falls idle: no event keeps coming (a hang-up or a notifier left on would spin), and
// the port has been lost `lost` times.
void checkIdle(const QSignalSpy &lostSpy, int lost)
{
    QTRY_VERIFY(!QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents));
    QCOMPARE(lostSpy.size(), lost);
}

// Towards a far end that does not read, a port takes output up to the bound of bytes waiting
// to go out (what the system itself takes, a pseudo-terminal's buffer, aside), then refuses a
// write whole and says why. The far end, reading at last, gets exactly the bytes taken, and the
// port takes output again.
void checkOutputBound(DevicePortService &port, HostEnd &farEnd)
{
    const qsizetype bound = 1024 * 1024, from = farEnd.collect().size();
    QByteArray taken;
    for (char mark = 'a'; mark <= 'z' && port.write(QByteArray(64 * 1024, mark)); ++mark)
        taken += QByteArray(64 * 1024, mark);
    QCOMPARE_GE(taken.size(), bound);
    QCOMPARE_LT(taken.size(), bound + 256 * 1024);
    QVERIFY2(port.errorString().contains(QString::number(bound)), qPrintable(port.errorString()));
    QVERIFY(QTest::qWaitFor([&] { return farEnd.collect().size() - from >= taken.size(); }));
    QVERIFY(port.write("end"));
    QTRY_COMPARE(farEnd.collect().mid(from), taken + "end");
}

} // namespace

class TestLine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_link = m_dir.filePath(QStringLiteral("the line")); // a blank in the path
    const QString m_lock = m_link + QStringLiteral(".lock");
    const QByteArray m_virtualLine = "pty:" + QFile::encodeName(m_link);
    std::unique_ptr<DevicePortService> m_port;

private slots:
    void cleanup()
    {
        m_port.reset();
        QFile::remove(m_link);
        QDir(m_dir.path()).rmdir(QStringLiteral("the line"));
        QFile::remove(m_lock);
    }

    // The receive path's timers: each start replaces a pending call, a zero wait fires on the
    // next turn of the event loop, a stopped timer never fires.
    void systemTimers()
    {
        SystemClock clock;
        const std::unique_ptr<Timer> timer = clock.makeTimer();
        QStringList fired;
        timer->start(10000, [&] { fired << "replaced"; });
        timer->start(0, [&] { fired << "zero"; });
        QVERIFY(timer->isActive());
        QTRY_COMPARE(fired, QStringList{"zero"});
        QVERIFY(!timer->isActive());
        timer->start(20, [&] { fired << "stopped"; });
        timer->stop();
        timer->start(30, [&] { fired << "thirty"; });
        QTRY_COMPARE(fired, QStringList({"zero", "thirty"})); // the stopped one would come first
    }

    // Every byte value both ways, and their count; a host that goes away leaves the line open,
    // quiet and with its bytes; one that comes back is heard. A far end may send far more than
    // the pseudo-terminal holds while the program waits between reads: the line takes the bytes
    // as they come and hands them all over. The bound on output waiting to go out. A program
    // that ends through exit() without closing its line (as on losing its display) leaves
    // neither the link nor its lock file behind; a line its parent holds keeps both. CLOSE
    // removes the link and its lock; a closed port reports nothing and sends nothing.
    void virtualLine()
    {
        m_port = openPort(m_virtualLine);
        QVERIFY2(m_port->isOpen(), qPrintable(m_port->errorString()));
        QSignalSpy comm(m_port.get(), &SerialPortService::bytesArrived);
        QSignalSpy lost(m_port.get(), &SerialPortService::portLost);
        QByteArray all(256, 0);
        std::iota(all.begin(), all.end(), 0);
        auto host = std::make_unique<HostEnd>(m_link);
        QVERIFY(m_port->write(all) && host->send(all));
        QTRY_COMPARE(host->collect(), all);
        QTRY_COMPARE(m_port->bytesWaiting(), 256);
        host.reset();
        checkIdle(lost, 0);
        QCOMPARE(comm.size(), 1); // bytes nobody has read yet raise the event once
        QCOMPARE(m_port->readAll(), all);
        host = std::make_unique<HostEnd>(m_link);
        QVERIFY(m_port->write("\r\n") && host->send("pending"));
        QTRY_COMPARE(host->collect(), QByteArray("\r\n"));
        QTRY_VERIFY(comm.size() == 2 && m_port->bytesWaiting() == 7);

        QByteArray sent = m_port->readAll();
        for (int i = 0; sent.size() < 300000; ++i)
            sent += QByteArray::number(i) + ',';
        QVERIFY(host->feed(sent.mid(7), 5000));
        QTRY_COMPARE(m_port->bytesWaiting(), int(sent.size() - 7));
        QCOMPARE(m_port->readAll(), sent.mid(7));
        checkOutputBound(*m_port, *host);

        const QString childLink = m_dir.filePath(QStringLiteral("child"));
        std::fflush(nullptr); // the child's exit must not write the test's output again
        const pid_t child = ::fork();
        if (child == 0) {
            // Kept reachable, so a leak check at exit has nothing to report, and never
            // destroyed: exit() runs no destructor for it, and the line stays open.
            static DevicePortService *port = nullptr;
            port = openPort("pty:" + QFile::encodeName(childLink)).release();
            std::exit(port->isOpen() && QFileInfo(childLink).isSymLink() ? 1 : 2);
        }
        int status = 0;
        QVERIFY(QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 1);
        QVERIFY(!QFileInfo(childLink).isSymLink());
        QVERIFY(!QFileInfo::exists(childLink + QStringLiteral(".lock")));
        QVERIFY(QFileInfo(m_link).isSymLink() && QFileInfo::exists(m_lock));
        m_port->close();
        QVERIFY(!QFileInfo(m_link).isSymLink() && !QFileInfo::exists(m_lock));
        QVERIFY(m_port->bytesWaiting() == 0 && m_port->readAll().isEmpty());
        QCOMPARE(m_port->modemLines(), ModemLines{});
        QVERIFY(!m_port->write("x"));
    }

    // Qt counts only what its notifier took: the bytes the system holds are counted and read
    // too. The bound on output waiting to go out. A device held open is refused to a second
    // opener, named. A hang-up, as of an unplugged adapter, reports the port lost once and
    // closes it, and the line stays idle.
    void systemDevice()
    {
        int master = -1, slave = -1;
        char name[256];
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        auto farEnd = std::make_unique<HostEnd>(master);
        // Even parity and 7 data bits are refused by a pseudo-terminal, yet must open one.
        m_port = openPort(name, QStringLiteral("9600,E,7,1"));
        QVERIFY2(m_port->isOpen(), qPrintable(m_port->errorString()));
        QSignalSpy lost(m_port.get(), &SerialPortService::portLost);
        QVERIFY(farEnd->send("ABC\r\n"));
        pollfd pfd{slave, POLLIN, 0}; // the test's own descriptor sees them, Qt's has not run
        QVERIFY(::poll(&pfd, 1, 5000) == 1);
        QCOMPARE(m_port->bytesWaiting(), 5);
        QCOMPARE(m_port->readAll(), QByteArray("ABC\r\n"));
        checkOutputBound(*m_port, *farEnd);
        const std::unique_ptr<DevicePortService> second = openPort(name);
        QVERIFY2(!second->isOpen() && second->errorString().startsWith(QLatin1String(name)),
                 qPrintable(second->errorString()));

        farEnd.reset();
        QVERIFY(lost.wait(5000));
        QVERIFY(!m_port->isOpen() && m_port->bytesWaiting() == 0);
        checkIdle(lost, 1);
        ::close(slave);
    }

    // Neither kind of line carries DTR, RTS or BREAK to its far end: a change on the open port
    // is refused naming why, never reported done. A closed port keeps DTR and RTS for its next
    // open, and refuses a BREAK.
    void modemOutputsRefused_data()
    {
        QTest::addColumn<bool>("virtualLine");
        QTest::addColumn<QString>("why");
        QTest::newRow("virtual line") << true << "not carried on a virtual line";
        QTest::newRow("pseudo-terminal device") << false << "not carried on a pseudo-terminal";
    }
    void modemOutputsRefused()
    {
        QFETCH(bool, virtualLine);
        QFETCH(QString, why);
        int master = -1, slave = -1;
        char name[256];
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        HostEnd farEnd(master);
        m_port = openPort(virtualLine ? m_virtualLine : QByteArray(name));
        QVERIFY2(m_port->isOpen(), qPrintable(m_port->errorString()));
        const ModemLines before = m_port->modemLines();
        for (const auto set :
             {&SerialPortService::setDataTerminalReady, &SerialPortService::setRequestToSend,
              &SerialPortService::setBreak}) {
            QVERIFY(!(m_port.get()->*set)(false));
            QVERIFY2(m_port->errorString().endsWith(why), qPrintable(m_port->errorString()));
            QVERIFY(!(m_port.get()->*set)(true));
        }
        QCOMPARE(m_port->modemLines(), before);
        m_port->close();
        QVERIFY(m_port->setDataTerminalReady(false) && m_port->setRequestToSend(false));
        QVERIFY(!m_port->setBreak(true));
        QVERIFY(m_port->errorString().endsWith(QLatin1String("the port is not open")));
        ::close(slave);
    }

    // What the far end has not read yet counts as not sent on a virtual line (the program holds
    // the far end too; the system hands the bytes over to it a moment after the write); once
    // read, nothing waits.
    void outputNotYetRead()
    {
        m_port = openPort(m_virtualLine);
        HostEnd host(m_link);
        QVERIFY(m_port->write("0123456789"));
        QTRY_COMPARE(m_port->bytesToSend(), 10);
        QTRY_COMPARE(host.collect(), QByteArray("0123456789"));
        QCOMPARE(m_port->bytesToSend(), 0);
    }

    // A system device is there while its path leads to something; a virtual line is made as
    // it opens, so it always is.
    void devicePresent()
    {
        qputenv("PORTWREN_COM3", m_virtualLine);
        DevicePortService port;
        port.setPortNumber(3);
        QVERIFY(port.devicePresent());
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/no such terminal"), m_link));
        qputenv("PORTWREN_COM3", QFile::encodeName(m_link));
        QVERIFY(!port.devicePresent());
        QVERIFY(QFile::remove(m_link) && QFile::link(QStringLiteral("/dev/null"), m_link));
        QVERIFY(port.devicePresent());
    }

    void whoMayTakeTheLinkPath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refusal"); // empty: the path is taken over
        const auto row = [](const char *kind, const char *refusal) {
            QTest::newRow(kind) << QString::fromLatin1(kind) << QString::fromLatin1(refusal);
        };
        row("regular file", "is a regular file");
        row("directory", "is a directory");
        row("link elsewhere", "not a virtual line's");
        row("link out of /dev/pts/", "not a virtual line's");
        row("link to a live pseudo-terminal", "another program still has open");
        row("live line of ours", "is in use: another program holds its lock");
        row("link to a closed pseudo-terminal", "");
        row("stale link and lock file", ""); // the link to a /dev/pts/N that is gone
    }
    // Only a link to a pseudo-terminal's far end that nobody has open any more (or that is
    // gone), with no holder of its lock, is replaced, a lock file left by a run that ended
    // abruptly included; a closed pair's number is often the one the new line gets. Anything
    // else refuses OPEN, naming the path, and stays as it was, another program's live line
    // included, which still reaches its host; no lock file is left behind.
    void whoMayTakeTheLinkPath()
    {
        QFETCH(QString, kind);
        QFETCH(QString, refusal);
        QFile file(m_dir.filePath(QStringLiteral("data")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep") == 4);
        file.close();
        int master = -1, slave = -1;
        char farEnd[256];
        QVERIFY(::openpty(&master, &slave, farEnd, nullptr, nullptr) == 0);
        ::close(slave); // the other program's line: it holds the master side only
        if (kind != "link to a live pseudo-terminal")
            ::close(master);
        int missing = 4242;
        while (QFileInfo::exists(QStringLiteral("/dev/pts/%1").arg(missing)))
            ++missing;
        const QHash<QString, QString> targets{
            {"link elsewhere", file.fileName()},
            {"link out of /dev/pts/", "/dev/pts/../.." + file.fileName()},
            {"link to a live pseudo-terminal", farEnd},
            {"link to a closed pseudo-terminal", farEnd},
            {"stale link and lock file", QStringLiteral("/dev/pts/%1").arg(missing)}};
        std::unique_ptr<DevicePortService> live;
        if (kind == "regular file")
            QVERIFY(file.copy(m_link));
        else if (kind == "directory")
            QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("the line")));
        else if (kind == "live line of ours")
            QVERIFY((live = openPort(m_virtualLine))->isOpen());
        else
            QVERIFY(QFile::link(targets.value(kind), m_link));
        if (kind == "stale link and lock file")
            QVERIFY(QFile(m_lock).open(QIODevice::WriteOnly));
        const auto atPath = [this] {
            const QFileInfo info(m_link);
            return std::tuple(info.isSymLink(), info.isDir(), info.symLinkTarget(), info.size());
        };
        const auto before = atPath();

        m_port = openPort(m_virtualLine);
        if (kind == "link to a live pseudo-terminal")
            ::close(master);
        QCOMPARE(m_port->isOpen(), refusal.isEmpty());
        HostEnd host(m_link);
        if (m_port->isOpen()) {
            QVERIFY(QFileInfo(m_link).symLinkTarget().startsWith("/dev/pts/"));
            QVERIFY(m_port->write("mine now"));
            QTRY_COMPARE(host.collect(), QByteArray("mine now"));
            return;
        }
        QVERIFY2(m_port->errorString().contains(m_link) && m_port->errorString().contains(refusal),
                 qPrintable(m_port->errorString()));
        QVERIFY(atPath() == before);
        QCOMPARE(QFileInfo::exists(m_lock), bool(live));
        if (live) {
            QVERIFY(live->write("still mine"));
            QTRY_COMPARE(host.collect(), QByteArray("still mine"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLine)
#include "test_platform_line.moc"
