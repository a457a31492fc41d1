// Covers CommControl on Com3: with the test at the far end of the line: a virtual line
// (pty:PATH, the test as the host program) and a system device through Qt Serial Port (a
// pseudo-terminal made by the test, which holds the master side as the far end of the cable).

#include "HostEnd.h"
#include "platform/CommControl.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <poll.h>
#include <pty.h>

class TestLine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_link = m_dir.filePath(QStringLiteral("line"));
    std::unique_ptr<CommControl> m_control;

    // Opens Com3: mapped to the device, with the program's default settings unless given.
    bool open(const QByteArray &device, const QString &settings = QStringLiteral("9600,N,7,1"))
    {
        qputenv("PORTWREN_COM3", device);
        m_control = std::make_unique<CommControl>();
        m_control->setPortNumber(3);
        m_control->setSettings(settings);
        return m_control->open();
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
    // Bytes both ways and their count; a host that goes away leaves the line open, quiet and
    // with its bytes; one that comes back is heard. The line's link goes when the port closes,
    // and a closed port reports nothing and sends nothing.
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
};

QTEST_GUILESS_MAIN(TestLine)
#include "test_platform_line.moc"
