// Covers CommControl over a virtual line (PORTWREN_COMn=pty:PATH), with the test as the host
// program at the far end: the link's lifetime, exact bytes both ways, a host that closes and
// reopens its side, a host that does not read; and what a closed port or a failed open reports.

#include "CommControl.h"
#include "HostEnd.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

class TestVirtualLine : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void openMakesTheLinkAndCloseRemovesIt();
    void everyByteValuePassesBothWaysUnchanged();
    void hostClosingItsSideKeepsTheLineOpenAndIdle();
    void outputToAHostThatDoesNotReadIsKeptUpToTheLimit();
    void closedPortReportsNothingAndRefusesOutput();
    void failedOpenNamesTheDeviceAndLeavesThePortClosed_data();
    void failedOpenNamesTheDeviceAndLeavesThePortClosed();

private:
    bool openLine();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_link;
    std::unique_ptr<CommControl> m_control;
};

void TestVirtualLine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_link = m_dir->filePath(QStringLiteral("line"));
    qputenv("PORTWREN_COM3", ("pty:" + m_link).toLocal8Bit());
    m_control = std::make_unique<CommControl>();
    m_control->setCommPort(3);
}

void TestVirtualLine::cleanup()
{
    m_control.reset();
    m_dir.reset();
}

bool TestVirtualLine::openLine()
{
    m_control->setRTSEnable(true);
    m_control->setSettings(QStringLiteral("9600,E,7,1"));
    return m_control->setPortOpen(true);
}

void TestVirtualLine::openMakesTheLinkAndCloseRemovesIt()
{
    QVERIFY2(openLine(), qPrintable(m_control->errorString()));
    const QFileInfo link(m_link);
    QVERIFY(link.isSymLink());
    QVERIFY(link.symLinkTarget().startsWith(QLatin1String("/dev/pts/")));
    QVERIFY(m_control->dtrEnable());
    QVERIFY(!m_control->cdHolding() && !m_control->ctsHolding() && !m_control->dsrHolding());

    QVERIFY(m_control->setPortOpen(false));
    QVERIFY(!QFileInfo::exists(m_link) && !QFileInfo(m_link).isSymLink());
    QVERIFY(m_control->setPortOpen(false)); // closing a closed port does nothing

    // A link left behind by an earlier run is replaced; anything else at the path is kept.
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/stale"), m_link));
    QVERIFY2(openLine(), qPrintable(m_control->errorString()));
    QVERIFY(QFileInfo(m_link).symLinkTarget().startsWith(QLatin1String("/dev/pts/")));
    QVERIFY(m_control->setPortOpen(false));
    QFile file(m_link);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
    file.close();
    QVERIFY(!openLine());
    QVERIFY2(m_control->errorString().contains(m_link), qPrintable(m_control->errorString()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void TestVirtualLine::everyByteValuePassesBothWaysUnchanged()
{
    QVERIFY2(openLine(), qPrintable(m_control->errorString()));
    HostEnd host(m_link);
    const QByteArray all = allByteValues();

    QVERIFY(m_control->output(all));
    QTRY_COMPARE(host.collect(), all);

    QSignalSpy comm(m_control.get(), &SerialPortService::onComm);
    QVERIFY(host.send(all));
    QVERIFY(comm.wait(5000));
    QTRY_COMPARE(m_control->inBufferCount(), 256);
    QCOMPARE(m_control->input(), all);
    QCOMPARE(m_control->inBufferCount(), 0);
    QCOMPARE(m_control->input(), QByteArray());
}

void TestVirtualLine::hostClosingItsSideKeepsTheLineOpenAndIdle()
{
    QVERIFY2(openLine(), qPrintable(m_control->errorString()));
    QSignalSpy comm(m_control.get(), &SerialPortService::onComm);
    QSignalSpy lost(m_control.get(), &SerialPortService::portLost);
    auto host = std::make_unique<HostEnd>(m_link);
    QVERIFY(host->send("read late"));
    QVERIFY(comm.wait(5000));
    QTest::qWait(100);
    QCOMPARE(comm.size(), 1); // bytes nobody has read yet raise the event once
    host.reset();
    QCOMPARE(m_control->input(), QByteArray("read late"));

    // Nobody at the far end: the line stays open and quiet, without spinning.
    const qint64 cpuBefore = processCpuMs();
    QTest::qWait(500);
    QCOMPARE_LT(processCpuMs() - cpuBefore, 100);
    QCOMPARE(comm.size(), 1);
    QVERIFY(lost.isEmpty());
    QVERIFY(m_control->portOpen());

    HostEnd again(m_link);
    QVERIFY(again.send("back"));
    QByteArray received;
    QTRY_COMPARE((received += m_control->input()), QByteArray("back"));
    QVERIFY(m_control->output("\r\n"));
    QTRY_COMPARE(again.collect(), QByteArray("\r\n"));
}

void TestVirtualLine::outputToAHostThatDoesNotReadIsKeptUpToTheLimit()
{
    QVERIFY2(openLine(), qPrintable(m_control->errorString()));
    HostEnd host(m_link);
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    QByteArray accepted;
    for (int round = 0; round < 40; ++round) {
        for (qsizetype i = 0; i < chunk.size(); ++i)
            chunk[i] = char((i * 7 + round) & 0xff);
        if (!m_control->output(chunk))
            break;
        accepted += chunk;
    }
    QVERIFY2(m_control->errorString().contains(QLatin1String("not reading")),
             qPrintable(m_control->errorString()));
    QVERIFY(accepted.size() >= 1024 * 1024);
    QVERIFY(accepted.size() < 2 * 1024 * 1024);

    // Everything accepted arrives, in order, once the host reads.
    QSocketNotifier reader(host.fd(), QSocketNotifier::Read);
    connect(&reader, &QSocketNotifier::activated, [&host] { host.collect(); });
    QTRY_COMPARE_WITH_TIMEOUT(host.collect().size(), accepted.size(), 10000);
    QVERIFY(host.collect() == accepted);
    QVERIFY(m_control->output("more"));
}

void TestVirtualLine::closedPortReportsNothingAndRefusesOutput()
{
    QVERIFY2(openLine(), qPrintable(m_control->errorString()));
    HostEnd host(m_link);
    QVERIFY(host.send("pending"));
    QTRY_COMPARE(m_control->inBufferCount(), 7);
    QVERIFY(m_control->setPortOpen(false));

    QVERIFY(!m_control->portOpen());
    QCOMPARE(m_control->inBufferCount(), 0);
    QCOMPARE(m_control->input(), QByteArray());
    QVERIFY(!m_control->cdHolding() && !m_control->ctsHolding() && !m_control->dsrHolding());
    QVERIFY(!m_control->dtrEnable());
    QVERIFY(!m_control->output("x"));
    QVERIFY2(m_control->errorString().contains(m_link), qPrintable(m_control->errorString()));
}

void TestVirtualLine::failedOpenNamesTheDeviceAndLeavesThePortClosed_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing device") << QByteArray("/nonexistent/ttyS3") << "9600,N,8,1"
                                    << "No such file or directory";
    QTest::newRow("virtual line in a missing folder")
        << QByteArray("pty:/nonexistent/line") << "9600,N,8,1"
        << "No such file or directory";
    QTest::newRow("bad settings on a virtual line") << QByteArray() << "9600,N,9,1"
                                                    << "data bits";
    QTest::newRow("bad settings on a missing device")
        << QByteArray("/nonexistent/ttyS3") << "9600,X,8,1"
        << "parity";
}

void TestVirtualLine::failedOpenNamesTheDeviceAndLeavesThePortClosed()
{
    QFETCH(QByteArray, device);
    QFETCH(QString, settings);
    QFETCH(QString, reason);
    if (!device.isEmpty())
        qputenv("PORTWREN_COM3", device);
    m_control->setSettings(settings);

    QVERIFY(!m_control->setPortOpen(true));
    QVERIFY(!m_control->portOpen());
    const QString error = m_control->errorString();
    QVERIFY2(error.startsWith(m_control->deviceName() + QLatin1String(": ")), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!QFileInfo(m_link).isSymLink());
    QCOMPARE(m_control->inBufferCount(), 0);
}

QTEST_GUILESS_MAIN(TestVirtualLine)
#include "test_platform_virtualline.moc"
