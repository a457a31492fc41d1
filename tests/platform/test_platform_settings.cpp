// SPDX-License-Identifier: MIT
// Covers the settings string (which strings open a port, and which field a refusal names) and
// the log's decoding of the line's bytes piece by piece. (Port numbers mapped to devices: the
// port menu's tests.)

#include "platform/Cp932.h"
#include "platform/LineSettings.h"

#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void settingsString()
    {
        // An accepted string expects its fields as "speed parity data stop"; a refused one, the
        // words its reason uses for the wrong field (a long value quoted to 60 characters).
        const char *rows[][2] = {
            {" 9600 , e , 8 , 1.5 ", "9600 E 8 1.5"},
            {"4800,o,5,2", "4800 O 5 2"},
            {"115200,M,6,1", "115200 M 6 1"},
            {"12345,s,8,2", "12345 S 8 2"},
            {"0,N,8,1", "speed \"0\" is not a positive number"},
            {"99999999999,N,8,1", "speed \"99999999999\" is too large"},
            {"9600,NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN,8,1",
             "parity \"NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN…\""},
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
            QVERIFY2(s ? got == QLatin1String(expected) : got.contains(QString::fromUtf8(expected)),
                     qPrintable(QStringLiteral("\"%1\": %2").arg(QLatin1String(text), got)));
            QCOMPARE(bool(LineSettings::parse(QLatin1String(text))), bool(s)); // no reason asked
        }
    }

    void streamText_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QStringList>("texts");
        // A piece that ends after a lead byte is only final when the pieces say so ("|").
        QTest::newRow("lead byte before a byte that is no trail byte")
            << QByteArrayList{"\x82", "\r"} << QStringList{"", "\uFFFD\r"};
        QTest::newRow("final piece ends after a lead byte")
            << QByteArrayList{"\x82|", "A"} << QStringList{"\uFFFD", "A"};
        QTest::newRow("a blank is no trail byte")
            << QByteArrayList{"\x81 "} << QStringList{"\uFFFD "};
    }

    void streamText()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QStringList, texts);
        Cp932::StreamDecoder decoder;
        QStringList got;
        for (QByteArray piece : pieces) {
            const bool final = piece.endsWith('|');
            got << decoder.decode(final ? piece.chopped(1) : piece, !final);
        }
        QCOMPARE(got, texts);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_platform_settings.moc"
