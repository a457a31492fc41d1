// Covers the settings string (which strings open a port, and which field a refusal names) and
// the mapping of port numbers to devices through the environment.

#include "platform/LineSettings.h"
#include "platform/PortMap.h"

#include <QStandardPaths>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void settingsString()
    {
        // An accepted string expects its fields as "speed parity data stop"; a refused one, the
        // words its reason uses for the wrong field.
        const char *rows[][2] = {
            {" 9600 , e , 8 , 1.5 ", "9600 E 8 1.5"},
            {"4800,o,5,2", "4800 O 5 2"},
            {"115200,M,6,1", "115200 M 6 1"},
            {"12345,s,8,2", "12345 S 8 2"},
            {"0,N,8,1", "speed"},
            {"99999999999,N,8,1", "speed"},
            {"9600,NO,8,1", "parity"},
            {"9600,N,9,1", "data bits"},
            {"9600,N,8,1.0", "stop bits"},
            {"9600,N,8,1,1", "speed,parity,data,stop"},
        };
        const char *stops[] = {"1", "1.5", "2"};
        for (const auto &[text, expected] : rows) {
            QString got; // the fields read, or the reason for the refusal
            const std::optional<LineSettings> s = LineSettings::parse(QLatin1String(text), &got);
            if (s)
                got = QString::asprintf("%d %c %d %s", s->speed, "NEOMS"[int(s->parity)],
                                        s -> dataBits, stops[int(s->stopBits)]);
            QVERIFY2(s ? got == QLatin1String(expected) : got.contains(QLatin1String(expected)),
                     qPrintable(QStringLiteral("\"%1\": %2").arg(QLatin1String(text), got)));
            QCOMPARE(bool(LineSettings::parse(QLatin1String(text))), bool(s)); // no reason asked
        }
    }

    void portMap()
    {
        QStandardPaths::setTestModeEnabled(true); // stored port choices: never the user's own
        qunsetenv("PORTWREN_COM1");
        qputenv("PORTWREN_COM2", " COM7 ");
        qputenv("PORTWREN_COM3", "");
        qputenv("PORTWREN_COM4", "pty:/tmp/portwren line");
        QCOMPARE(PortMap::deviceFor(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(PortMap::deviceFor(2), QStringLiteral("COM7"));
        QCOMPARE(PortMap::deviceFor(3), QStringLiteral("/dev/ttyS2"));
        QCOMPARE(PortMap::virtualLinePath(PortMap::deviceFor(4)), "/tmp/portwren line");
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_platform_settings.moc"
