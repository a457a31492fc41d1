// SPDX-License-Identifier: MIT
// Covers DevicePortService on Com3: with the test at the far end of the line: a virtual line
// (pty:PATH, the test as the host program) and a system device through Qt Serial Port (a
// pseudo-terminal made by the test, which holds the master side as the far end of the cable).
// Also: who may take a virtual line's path.

#include "HostEnd.h"
#include "platform/Clock.h"
#include "platform/DevicePortService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>

class TestLine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_link = m_dir.filePath(QStringLiteral("line"));
    std::unique_ptr<DevicePortService> m_control;

    // Opens Com3: mapped to the device, with the program's default settings unless given.
    bool open(const QByteArray &device, const QString &settings = QStringLiteral("9600,N,7,1"))
    {
        m_control = openControl(device, settings);
        return m_control->isOpen();
    }
    static std::unique_ptr<DevicePortService>
    openControl(const QByteArray &device, const QString &settings = QStringLiteral("9600,N,7,1"))
    {
        qputenv("PORTWREN_COM3", device);
        auto control = std::make_unique<DevicePortService>();
        control->setPortNumber(3);
        control->setSettings(settings);
        control->open();
        return control;
    }
    QByteArray virtualLink() const { return "pty:" + QFile::encodeName(m_link); }
    // What a symbolic link holds, as written; empty for anything else.
    static QByteArray linkText(const QString &path)
    {
        char target[PATH_MAX];
        const ssize_t size = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
        return size < 0 ? QByteArray() : QByteArray(target, size);
    }
    // Half a second without spinning, after which the port has been lost `lost` times.
    void checkIdle(const QSignalSpy &lostSpy, int lost)
    {
        const qint64 cpuBefore = processCpuMs();
        QTest::qWait(500);
        QCOMPARE_LT(processCpuMs() - cpuBefore, 100);
        QCOMPARE(lostSpy.size(), lost);
    }

private slots:
    void cleanup()
    {
        m_control.reset();
        QFile::remove(m_link);
        QDir(m_dir.path()).rmdir(QStringLiteral("line"));
        QFile::remove(m_link + QStringLiteral(".lock"));
    }

    // Bytes both ways and their count; a host that goes away leaves the line open, quiet and
    // with its bytes; one that comes back is heard. The line's link goes when the port closes,
    // and a closed port reports nothing and sends nothing.
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
        QTRY_COMPARE(fired, QStringList({"zero", "thirty"}));
        QTest::qWait(50);
        QCOMPARE(fired.size(), 2);
    }

    // A far end may send far more than the pseudo-terminal holds while the program waits
    // between reads: the line takes the bytes as they come, and hands them all over.
    void virtualLineTakesBytesAsTheyArrive()
    {
        QVERIFY(open("pty:" + QFile::encodeName(m_link)));
        HostEnd host(m_link);
        QByteArray sent;
        for (int i = 0; sent.size() < 300000; ++i)
            sent += QByteArray::number(i) + ',';
        qsizetype written = 0;
        QTRY_VERIFY([&] {
            const ssize_t n =
                ::write(host.fd(), sent.constData() + written, size_t(sent.size() - written));
            written += std::max<ssize_t>(n, 0);
            return written == sent.size();
        }());
        QTRY_COMPARE(m_control->bytesWaiting(), int(sent.size()));
        QCOMPARE(m_control->readAll(), sent);
    }

    void virtualLine()
    {
        QVERIFY2(open("pty:" + QFile::encodeName(m_link)), qPrintable(m_control->errorString()));
        QSignalSpy comm(m_control.get(), &SerialPortService::bytesArrived);
        QSignalSpy lost(m_control.get(), &SerialPortService::portLost);
        const QByteArray all = allByteValues();
        auto host = std::make_unique<HostEnd>(m_link);
        QVERIFY(m_control->write(all) && host->send(all));
        QTRY_COMPARE(host->collect(), all);
        QTRY_COMPARE(m_control->bytesWaiting(), 256);
        host.reset();
        checkIdle(lost, 0);
        QCOMPARE(comm.size(), 1); // bytes nobody has read yet raise the event once
        QCOMPARE(m_control->readAll(), all);
        host = std::make_unique<HostEnd>(m_link);
        QVERIFY(m_control->write("\r\n") && host->send("pending"));
        QTRY_COMPARE(host->collect(), QByteArray("\r\n"));
        QTRY_VERIFY(comm.size() == 2 && m_control->bytesWaiting() == 7);

        m_control->close();
        QVERIFY(!QFileInfo(m_link).isSymLink());
        QVERIFY(m_control->bytesWaiting() == 0 && m_control->readAll().isEmpty());
        QCOMPARE(m_control->modemLines(), ModemLines{});
        QVERIFY(!m_control->write("x"));
    }

    void qtDeviceCountsBytesBeforeQtAndReportsAHangUp()
    {
        int master = -1, slave = -1;
        char name[256];
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        // Even parity and 7 data bits are refused by a pseudo-terminal, yet must open one.
        QVERIFY2(open(name, QStringLiteral("9600,E,7,1")), qPrintable(m_control->errorString()));
        QSignalSpy lost(m_control.get(), &SerialPortService::portLost);
        QVERIFY(::write(master, "ABC\r\n", 5) == 5);
        pollfd pfd{slave, POLLIN, 0}; // the test's own descriptor sees them, Qt's has not run
        QVERIFY(::poll(&pfd, 1, 5000) == 1);
        QCOMPARE(m_control->bytesWaiting(), 5);
        QCOMPARE(m_control->readAll(), QByteArray("ABC\r\n"));

        ::close(master); // hang-up, as an unplugged adapter: lost once, closed, and idle
        QVERIFY(lost.wait(5000));
        QVERIFY(!m_control->isOpen() && m_control->bytesWaiting() == 0);
        checkIdle(lost, 1);
        ::close(slave);
    }

    // A live line keeps its path: a second opener is refused, naming it, and the first line
    // still reaches its host. A link left by a run that ended abruptly, and its lock file, are
    // taken over; CLOSE removes both.
    void virtualLinePathIsNotTakenFromALiveLine()
    {
        const QString lock = m_link + QStringLiteral(".lock");
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/4242"), m_link));
        QFile stale(lock);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY2(open(virtualLink()), qPrintable(m_control->errorString()));
        const QString target = QFileInfo(m_link).symLinkTarget();
        QVERIFY(target.startsWith(QLatin1String("/dev/pts/")) && target != "/dev/pts/4242");

        const std::unique_ptr<DevicePortService> second = openControl(virtualLink());
        QVERIFY(!second->isOpen());
        QVERIFY2(second->errorString().contains(m_link + QStringLiteral(" is in use")),
                 qPrintable(second->errorString()));
        QCOMPARE(QFileInfo(m_link).symLinkTarget(), target);
        HostEnd host(m_link);
        QVERIFY(m_control->write("still mine"));
        QTRY_COMPARE(host.collect(), QByteArray("still mine"));

        m_control->close();
        QVERIFY(!QFileInfo::exists(lock) && !QFileInfo(m_link).isSymLink());
    }

    void whoMayTakeTheLinkPath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refusal"); // empty: the path is taken over
        QTest::newRow("regular file") << "regular file"
                                      << "is a regular file";
        QTest::newRow("directory") << "directory"
                                   << "is a directory";
        QTest::newRow("link elsewhere") << "link elsewhere"
                                        << "not a virtual line's";
        QTest::newRow("link out of /dev/pts/") << "link out of /dev/pts/"
                                               << "not a virtual line's";
        QTest::newRow("link to a live pseudo-terminal") << "link to a live pseudo-terminal"
                                                        << "another program still has open";
        QTest::newRow("link to a closed pseudo-terminal")
            << "link to a closed pseudo-terminal" << QString();
        QTest::newRow("link to a missing /dev/pts/N")
            << "link to a missing /dev/pts/N" << QString();
    }
    // Without a holder of the lock, only a link to a pseudo-terminal's far end that nobody has
    // open any more (or that is gone) is replaced; a closed pair's number is often the one the
    // new line gets. Anything else refuses OPEN, naming the path, and stays as it was, another
    // program's live line included; no lock file is left behind.
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
            {"link to a missing /dev/pts/N", QStringLiteral("/dev/pts/%1").arg(missing)}};
        if (kind == "regular file")
            QVERIFY(file.copy(m_link));
        else if (kind == "directory")
            QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("line")));
        else
            QVERIFY(QFile::link(targets.value(kind), m_link));
        const QFileInfo before(m_link);
        const QByteArray linkBefore = linkText(m_link);

        const bool opened = open(virtualLink());
        if (kind == "link to a live pseudo-terminal")
            ::close(master);
        QCOMPARE(opened, refusal.isEmpty());
        const QFileInfo after(m_link);
        if (opened) {
            QVERIFY(after.isSymLink() && after.symLinkTarget().startsWith("/dev/pts/"));
            HostEnd host(m_link);
            QVERIFY(m_control->write("mine now"));
            QTRY_COMPARE(host.collect(), QByteArray("mine now"));
            return;
        }
        QVERIFY2(m_control->errorString().contains(m_link) &&
                     m_control->errorString().contains(refusal),
                 qPrintable(m_control->errorString()));
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(linkText(m_link), linkBefore);
        QVERIFY(!QFileInfo::exists(m_link + QStringLiteral(".lock")));
    }

    // A program that ends through exit() without closing its line (as on losing its display)
    // leaves neither the link nor its lock file behind; a line its parent holds keeps both.
    void exitWithoutClosingRemovesTheLink()
    {
        QVERIFY2(open(virtualLink()), qPrintable(m_control->errorString()));
        const QString childLink = m_dir.filePath(QStringLiteral("child"));
        std::fflush(nullptr); // the child's exit must not write the test's output again
        const pid_t child = ::fork();
        if (child == 0) {
            // Kept reachable, so a leak check at exit has nothing to report, and never
            // destroyed: exit() runs no destructor for it, and the line stays open.
            static DevicePortService *control = nullptr;
            control = openControl("pty:" + QFile::encodeName(childLink)).release();
            if (!control->isOpen() || !QFileInfo(childLink).isSymLink())
                ::_exit(2);
            std::exit(1);
        }
        QVERIFY(child > 0);
        int status = 0;
        QVERIFY(QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 1);
        QVERIFY(!QFileInfo(childLink).isSymLink());
        QVERIFY(!QFileInfo::exists(childLink + QStringLiteral(".lock")));
        QVERIFY(QFileInfo(m_link).isSymLink() &&
                QFileInfo::exists(m_link + QStringLiteral(".lock")));
    }

    void outputBeyondTheBoundIsRefusedWhole_data()
    {
        QTest::addColumn<bool>("virtualLine");
        QTest::newRow("virtual line") << true;
        QTest::newRow("system device") << false;
    }
    // Towards a far end that does not read, every port takes output up to the same bound of
    // bytes waiting to go out, then refuses a write whole and says why. The far end, reading at
    // last, gets exactly the bytes taken, and the port takes output again.
    void outputBeyondTheBoundIsRefusedWhole()
    {
        QFETCH(bool, virtualLine);
        const qsizetype bound = 1024 * 1024;
        std::unique_ptr<HostEnd> farEnd;
        if (virtualLine) {
            QVERIFY2(open(virtualLink()), qPrintable(m_control->errorString()));
            farEnd = std::make_unique<HostEnd>(m_link);
        } else {
            int master = -1, slave = -1;
            char name[256];
            QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
            farEnd = std::make_unique<HostEnd>(master);
            QVERIFY2(open(name), qPrintable(m_control->errorString()));
            ::close(slave);
        }
        QByteArray taken;
        for (char mark = 'a'; mark <= 'z'; ++mark) {
            const QByteArray chunk(64 * 1024, mark);
            if (!m_control->write(chunk))
                break;
            taken += chunk;
        }
        // What the system itself takes (a pseudo-terminal's buffer) is not held by the program.
        QCOMPARE_GE(taken.size(), bound);
        QCOMPARE_LT(taken.size(), bound + 256 * 1024);
        QVERIFY2(m_control->errorString().contains(QString::number(bound)),
                 qPrintable(m_control->errorString()));

        QVERIFY(QTest::qWaitFor([&] { return farEnd->collect().size() >= taken.size(); }));
        QVERIFY(m_control->write("end"));
        QTRY_COMPARE(farEnd->collect(), taken + "end");
    }
};

QTEST_GUILESS_MAIN(TestLine)
#include "test_platform_line.moc"
