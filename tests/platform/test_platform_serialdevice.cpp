// Covers CommControl over a system serial device through Qt Serial Port, with a pseudo-terminal
// made by the test standing in for the device: the test holds the master side (the far end of
// the cable) and points PORTWREN_COM2 at the /dev/pts/N device.

#include "CommControl.h"
#include "HostEnd.h"

#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>

class TestSerialDevice : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pseudoTerminalAcceptsSettingsItCannotCarry();
    void bytesAreCountedBeforeQtHasSeenThem();
    void bytesPassBothWaysThroughQt();
    void unpluggedDeviceClosesThePortAndStaysIdle();

private:
    bool openPort(const QString &settings = QStringLiteral("9600,N,8,1"));
    bool writeMaster(const QByteArray &bytes);
    QByteArray readMaster();
    bool waitUntilDeviceHasBytes();

    int m_master = -1;
    int m_slave = -1;
    QString m_device;
    std::unique_ptr<CommControl> m_control;
};

void TestSerialDevice::init()
{
    char name[256];
    QVERIFY(::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_device = QString::fromLocal8Bit(name);
    qputenv("PORTWREN_COM2", name);
    m_control = std::make_unique<CommControl>();
    m_control->setCommPort(2);
}

void TestSerialDevice::cleanup()
{
    m_control.reset();
    for (int fd : {m_master, m_slave}) {
        if (fd >= 0)
            ::close(fd);
    }
    m_master = m_slave = -1;
}

bool TestSerialDevice::openPort(const QString &settings)
{
    m_control->setRTSEnable(true);
    m_control->setSettings(settings);
    return m_control->setPortOpen(true);
}

bool TestSerialDevice::writeMaster(const QByteArray &bytes)
{
    return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QByteArray TestSerialDevice::readMaster()
{
    char buffer[512];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    return QByteArray(buffer, n > 0 ? n : 0);
}

// The kernel hands bytes from master to slave asynchronously; the test's own descriptor on the
// same device sees them arrive without letting Qt's notifier run.
bool TestSerialDevice::waitUntilDeviceHasBytes()
{
    pollfd pfd{m_slave, POLLIN, 0};
    return ::poll(&pfd, 1, 5000) == 1;
}

void TestSerialDevice::pseudoTerminalAcceptsSettingsItCannotCarry()
{
    // Even parity and 7 data bits are refused by a pseudo-terminal; the program's own default
    // settings must still open one.
    QVERIFY2(openPort(QStringLiteral("9600,E,7,1")), qPrintable(m_control->errorString()));
    QVERIFY(!m_control->cdHolding() && !m_control->ctsHolding() && !m_control->dsrHolding());
    m_control->setRTSEnable(false);
    QVERIFY(m_control->setPortOpen(false));
    QVERIFY2(openPort(QStringLiteral("9600,N,7,1")), qPrintable(m_control->errorString()));
}

void TestSerialDevice::bytesAreCountedBeforeQtHasSeenThem()
{
    QVERIFY2(openPort(), qPrintable(m_control->errorString()));
    QVERIFY(writeMaster("ABC\r\n"));
    QVERIFY(waitUntilDeviceHasBytes());
    QCOMPARE(m_control->inBufferCount(), 5);
    QCOMPARE(m_control->input(), QByteArray("ABC\r\n"));
    QCOMPARE(m_control->inBufferCount(), 0);

    // Qt may still run its notifier for the bytes already taken; the line goes on working.
    QSignalSpy comm(m_control.get(), &SerialPortService::onComm);
    QSignalSpy lost(m_control.get(), &SerialPortService::portLost);
    QVERIFY(writeMaster("next"));
    QVERIFY(comm.wait(5000));
    QByteArray received;
    QTRY_COMPARE((received += m_control->input()), QByteArray("next"));
    QVERIFY(lost.isEmpty());
    QVERIFY(m_control->portOpen());
}

void TestSerialDevice::bytesPassBothWaysThroughQt()
{
    QVERIFY2(openPort(), qPrintable(m_control->errorString()));
    const QByteArray all = allByteValues();
    QVERIFY(writeMaster(all));
    QByteArray received;
    QTRY_COMPARE((received += m_control->input()), all);

    QVERIFY(m_control->output(all));
    QByteArray sent;
    QTRY_COMPARE((sent += readMaster()), all);
}

void TestSerialDevice::unpluggedDeviceClosesThePortAndStaysIdle()
{
    QVERIFY2(openPort(), qPrintable(m_control->errorString()));
    QSignalSpy lost(m_control.get(), &SerialPortService::portLost);
    ::close(m_master);
    m_master = -1;

    QVERIFY(lost.wait(5000));
    QVERIFY(!m_control->portOpen());
    QCOMPARE(lost.size(), 1);
    QVERIFY(lost.first().first().toString().startsWith(m_device + QLatin1String(": ")));
    QCOMPARE(m_control->errorString(), lost.first().first().toString());
    QCOMPARE(m_control->inBufferCount(), 0);

    const qint64 cpuBefore = processCpuMs();
    QTest::qWait(500);
    QCOMPARE_LT(processCpuMs() - cpuBefore, 100);
    QCOMPARE(lost.size(), 1);
}

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "test_platform_serialdevice.moc"
