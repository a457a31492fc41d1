// Covers the settings string (which strings open a port, and which field a refusal names) and
// the mapping of port numbers to devices through the environment.

#include "CommControl.h"
#include "LineSettings.h"
#include "PortMap.h"

#include <QtTest>

using Parity = LineSettings::Parity;
using StopBits = LineSettings::StopBits;

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void acceptedSettings_data();
    void acceptedSettings();
    void refusedSettingsNameTheField_data();
    void refusedSettingsNameTheField();
    void unsetPortsUseTheSystemsSerialDevices();
    void environmentNamesTheDevice();
};

void TestSettings::acceptedSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("speed");
    QTest::addColumn<Parity>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<StopBits>("stopBits");

    QTest::newRow("program default 9600,N,7,1")
        << "9600,N,7,1" << 9600 << Parity::None << 7 << StopBits::One;
    QTest::newRow("even parity") << "9600,E,8,1" << 9600 << Parity::Even << 8 << StopBits::One;
    QTest::newRow("one and a half stop bits")
        << "9600,N,8,1.5" << 9600 << Parity::None << 8 << StopBits::OneAndHalf;
    QTest::newRow("blanks and lower case")
        << " 9600 , n , 8 , 1 " << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("odd, 5 bits, 2 stop")
        << "4800,o,5,2" << 4800 << Parity::Odd << 5 << StopBits::Two;
    QTest::newRow("mark, 6 bits") << "115200,M,6,1" << 115200 << Parity::Mark << 6 << StopBits::One;
    QTest::newRow("space parity, odd speed")
        << "12345,s,8,2" << 12345 << Parity::Space << 8 << StopBits::Two;
}

void TestSettings::acceptedSettings()
{
    QFETCH(QString, text);
    QString reason;
    const std::optional<LineSettings> settings = LineSettings::parse(text, &reason);
    QVERIFY2(settings, qPrintable(reason));
    QTEST(settings->speed, "speed");
    QTEST(settings->parity, "parity");
    QTEST(settings->dataBits, "dataBits");
    QTEST(settings->stopBits, "stopBits");
}

void TestSettings::refusedSettingsNameTheField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("named");

    QTest::newRow("zero speed") << "0,N,8,1"
                                << "speed";
    QTest::newRow("negative speed") << "-5,N,8,1"
                                    << "speed";
    QTest::newRow("signed speed") << "+9600,N,8,1"
                                  << "speed";
    QTest::newRow("blank inside speed") << "96 00,N,8,1"
                                        << "speed";
    QTest::newRow("speed too large") << "99999999999,N,8,1"
                                     << "speed";
    QTest::newRow("unknown parity") << "9600,X,8,1"
                                    << "parity";
    QTest::newRow("parity word") << "9600,NO,8,1"
                                 << "parity";
    QTest::newRow("empty parity") << "9600,,8,1"
                                  << "parity";
    QTest::newRow("9 data bits") << "9600,N,9,1"
                                 << "data bits";
    QTest::newRow("4 data bits") << "9600,N,4,1"
                                 << "data bits";
    QTest::newRow("3 stop bits") << "9600,N,8,3"
                                 << "stop bits";
    QTest::newRow("stop bits 1.0") << "9600,N,8,1.0"
                                   << "stop bits";
    QTest::newRow("three fields") << "9600,N,8"
                                  << "speed,parity,data,stop";
    QTest::newRow("five fields") << "9600,N,8,1,1"
                                 << "speed,parity,data,stop";
    QTest::newRow("not a settings string") << "abc"
                                           << "speed,parity,data,stop";
    QTest::newRow("empty") << ""
                           << "speed,parity,data,stop";
}

void TestSettings::refusedSettingsNameTheField()
{
    QFETCH(QString, text);
    QFETCH(QString, named);
    QString reason;
    QVERIFY(!LineSettings::parse(text, &reason));
    QVERIFY2(reason.contains(named), qPrintable(reason));
    QVERIFY(!LineSettings::parse(text)); // no reason wanted: still refused, no crash
}

void TestSettings::unsetPortsUseTheSystemsSerialDevices()
{
    for (int port = 1; port <= 6; ++port)
        qunsetenv(qPrintable(QStringLiteral("PORTWREN_COM%1").arg(port)));
    QCOMPARE(PortMap::deviceFor(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(PortMap::deviceFor(6), QStringLiteral("/dev/ttyS5"));
    qputenv("PORTWREN_COM3", "");
    QCOMPARE(PortMap::deviceFor(3), QStringLiteral("/dev/ttyS2"));
    QVERIFY(!PortMap::isVirtualLine(PortMap::deviceFor(3)));
}

void TestSettings::environmentNamesTheDevice()
{
    qputenv("PORTWREN_COM1", "/dev/ttyUSB0");
    qputenv("PORTWREN_COM2", " COM7 ");
    qputenv("PORTWREN_COM4", "pty:/tmp/portwren line");
    QCOMPARE(PortMap::deviceFor(1), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(PortMap::deviceFor(2), QStringLiteral("COM7"));
    QCOMPARE(PortMap::deviceFor(3), QStringLiteral("/dev/ttyS2"));
    QVERIFY(PortMap::isVirtualLine(PortMap::deviceFor(4)));
    QCOMPARE(PortMap::virtualLinePath(PortMap::deviceFor(4)), QStringLiteral("/tmp/portwren line"));

    // The control names the device of its current port number, also while closed.
    CommControl control;
    control.setCommPort(2);
    QCOMPARE(control.deviceName(), QStringLiteral("COM7"));
    control.setCommPort(4);
    QCOMPARE(control.deviceName(), QStringLiteral("pty:/tmp/portwren line"));
    QVERIFY(!control.portOpen());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_platform_settings.moc"
